#pragma once
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Event.h"

// The socket calls the system makes, with Windows Sockets results: calls return 0 / a
// count or SOCKET_ERROR, and the reason for a failure is the calling thread's
// WSAGetLastError(), in Windows Sockets codes. On Windows these are the system's own
// calls and codes; elsewhere POSIX sockets with their errors mapped onto the same codes
// (see WsaErrorFromErrno).
namespace zp {

#ifdef _WIN32
using ::SOCKET;
using ::WSADATA;
using ::WSAGetLastError;
using ::WSASetLastError;
using ::WSACleanup;
using ::WSACancelBlockingCall;
// The system spells this one the British way.
inline constexpr int WSANOTINITIALIZED = WSANOTINITIALISED;
#else

using SOCKET = std::uintptr_t;
inline constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
inline constexpr int SOCKET_ERROR = -1;

// Windows Sockets error codes the platform's errors are mapped onto.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALIZED = 10093;
inline constexpr int WSAEDISCON = 10101;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// The one table from platform errors (errno values) to Windows Sockets codes. An errno
// without a counterpart keeps its own value, so that nothing is reported as success.
int WsaErrorFromErrno(int err);
// The same for getaddrinfo's EAI_* results (EAI_SYSTEM goes through errno).
int WsaErrorFromAddrInfo(int eai, int err);

// The calling thread's last socket error.
int WSAGetLastError();
void WSASetLastError(int code);

// What the start-up of the socket layer reports. POSIX sockets need no start-up; the
// record only describes the layer, and the calls keep the usual results.
struct WSADATA {
  std::uint16_t wVersion = 0;
  std::uint16_t wHighVersion = 0;
  char szDescription[257] = {};
  char szSystemStatus[129] = {};
  std::uint16_t iMaxSockets = 0;
  std::uint16_t iMaxUdpDg = 0;
};
int WSACleanup();
int WSACancelBlockingCall();
#endif

// 0, or the reason the socket layer cannot start (WSAVERNOTSUPPORTED for a requested
// version below 1.1: low byte major, high byte minor, as in 0x0101).
int WSAStartup(std::uint16_t version, WSADATA& data);

// A socket is close-on-exec. Every failing call sets WSAGetLastError.
SOCKET WsSocket(int af, int type, int protocol);
int WsSetSockOpt(SOCKET s, int level, int optname, const void* optval, int optlen);
// Blocking connect on a blocking socket (interrupted waits are resumed). On a socket in
// non-blocking mode a connect that has begun fails with WSAEWOULDBLOCK.
int WsConnect(SOCKET s, const sockaddr_in& address);
// The same connect, given up as soon as `stop` is set: the attempt runs without blocking
// and the wait covers its completion and the stop together. A stopped connect fails with
// WSAEINTR, as a cancelled blocking call does; otherwise the platform's own connect limit
// applies. The socket is blocking again afterwards.
int WsConnectUnlessStopped(SOCKET s, const sockaddr_in& address, const Event& stop);
// Never raises SIGPIPE. A send that would block fails with WSAEWOULDBLOCK and re-arms
// the socket's FD_WRITE notification.
int WsSend(SOCKET s, const void* buf, int len, int flags);
// Every call re-arms the socket's FD_READ notification. After a notified reset, a read
// past the remaining data fails with the reset's code, as often as it is tried.
int WsRecv(SOCKET s, void* buf, int len, int flags);
// Also removes the socket's notification watch and its queued notifications.
int WsCloseSocket(SOCKET s);

// Dotted decimal (and the shorter classic forms) to an address in network order;
// INADDR_NONE when the text is not an address. No name resolution.
std::uint32_t WsInetAddr(const char* text);
// An address in network order as dotted text.
std::string WsInetNtoa(std::uint32_t address);
std::uint16_t WsHtons(std::uint16_t value);
// 0, or SOCKET_ERROR with WSAEFAULT when `size` cannot hold the name and its zero.
int WsGetHostName(char* name, int size);
// The IPv4 addresses of `host` as dotted texts, in the resolver's order, each once.
// Thread-safe. False (and WSAGetLastError 11001 to 11004) when there is no answer.
bool WsResolveIPv4(const std::string& host, std::vector<std::string>& addresses);

}  // namespace zp
