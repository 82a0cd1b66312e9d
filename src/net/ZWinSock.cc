#include "net/ZWinSock.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "framework/Format.h"
#include "framework/ZCriticalSection.h"
#include "net/DebugLog.h"

namespace zp {
namespace {

constexpr const char* kLogSource = "WinSock";
constexpr std::uint16_t kVersion11 = 0x0101;

struct ErrorText {
  int code;
  const char* text;
};

// Each text begins with the code's symbolic name (10035's with "Okay - " before it).
constexpr ErrorText kErrorTexts[] = {
    {10004, "WSAEINTR: the call was cancelled via WSACancelBlockingCall()"},
    {10009, "WSAEBADF: bad file number"},
    {10013, "WSAEACCES: this socket doesn't support broadcast packets"},
    {10014, "WSAEFAULT: the address length supplied is too small"},
    {10022, "WSAEINVAL: listen() wasn't called before accept"},
    {10024, "WSAEMFILE: the queue is empty and no descriptors are available"},
    {10035, "Okay - WSAEWOULDBLOCK: this is a non-blocking socket and no connections are present"},
    {10036, "WSAEINPROGRESS: a blocking call is now in progress"},
    {10037, "WSAEALREADY: the non-blocking routine has already finished"},
    {10038, "WSAENOTSOCK: the socket number used isn't a socket"},
    {10039, "WSAEDESTADDRREQ: a destination address wasn't given"},
    {10040, "WSAEMSGSIZE: the datagram was too large for the buffer and was truncated"},
    {10041, "WSAEPROTOTYPE: the socket can't use the protocol specified"},
    {10042, "WSAENOPROTOOPT: the option is unknown or unsupported"},
    {10043, "WSAEPROTONOSUPPORT: this protocol isn't supported"},
    {10044, "WSAESOCKTNOSUPPORT: this address family doesn't support the socket type specified"},
    {10045, "WSAEOPNOTSUPP: the socket referenced isn't open for connection oriented services"},
    {10046, "WSAEPFNOSUPPORT: the address family specified isn't supported by this protocol"},
    {10047, "WSAEAFNOSUPPORT: the address family specified isn't supported by this protocol"},
    {10048, "WSAEADDRINUSE: the address given is already in use"},
    {10049, "WSAEADDRNOTAVAIL: the address isn't available from this machine"},
    {10050, "WSAENETDOWN: WINSOCK.DLL has reported that the network subsystem has failed"},
    {10051, "WSAENETUNREACH: the network can't be reached"},
    {10052, "WSAENETRESET: WinSock dropped the connection"},
    {10053, "WSAECONNABORTED: the connection was aborted due to a network failure"},
    {10054, "WSAECONNRESET: the connection was reset by the remote host"},
    {10055, "WSAENOBUFS: no buffer space is available"},
    {10056, "WSAEISCONN: the socket is already connected"},
    {10057, "WSAENOTCONN: the socket isn't connected"},
    {10058, "WSAESHUTDOWN: the socket has been shut down"},
    {10059, "WSAETOOMANYREFS:"},
    {10060, "WSAETIMEDOUT: a connection attempt timed out; no connection was established"},
    {10061, "WSAECONNREFUSED: the connection was refused"},
    {10062, "WSAELOOP:"},
    {10063, "WSAENAMETOOLONG:"},
    {10064, "WSAEHOSTDOWN:"},
    {10065, "WSAEHOSTUNREACH:"},
    {10066, "WSAENOTEMPTY:"},
    {10067, "WSAEPROCLIM:"},
    {10068, "WSAEUSERS:"},
    {10069, "WSAEDQUOT:"},
    {10070, "WSAESTALE:"},
    {10071, "WSAEREMOTE:"},
    {10091, "WSASYSNOTREADY: the network subsystem isn't ready for communications"},
    {10092, "WSAVERNOTSUPPORTED: the Winsock API version requested isn't supported"},
    {10093, "WSANOTINITIALIZED: WSAStartup() must succeed before you can use this function"},
    {10101, "WSAEDISCON: the message terminated gracefully"},
    {11001, "WSAHOST_NOT_FOUND: the Authoritative Answer Host isn't available"},
    {11002, "WSATRY_AGAIN: the Non-Authoritative Host isn't available"},
    {11003, "WSANO_RECOVERY: this is a non-recoverable error or SERVERFAIL"},
    {11004, "WSANO_DATA: no data record of the type has been requested"},
};

// The unit's state lives from first use to the end of the process; it is never freed,
// so a worker still detaching while the program ends does not find it gone.
struct UnitState {
  ZCriticalSection FWinSockLock{"ZWinSock"};
  std::atomic<int> FAttachCount{0};
  std::atomic<ZWinSockets*> FWinSockets{nullptr};
};

UnitState& Unit() {
  static UnitState* unit = new UnitState;
  return *unit;
}

}  // namespace

std::string SocketErrorText(int code) {
  for (const ErrorText& e : kErrorTexts)
    if (e.code == code) return e.text;
  return Format("unknown error occurred (%d)", code);
}

std::string ZWinSockets::SocketErrorText(int code) { return zp::SocketErrorText(code); }

std::uint8_t ZWinSockets::StartSockets() {
  const int code = WSAStartup(kVersion11, FWSAData);
  FStatus = kWinSockStartFailed;
  if (code != 0) {
    switch (code) {
      case WSAEINVAL: DebugLog(kLogSource, "WSAStartup: invalid parameter"); break;
      case WSASYSNOTREADY: DebugLog(kLogSource, "WSAStartup: system not ready"); break;
      case WSAVERNOTSUPPORTED: DebugLog(kLogSource, "WSAStartup: version not supported"); break;
      default: break;
    }
    return FStatus;
  }
  FStatus = kWinSockStarted;
  FStarted = true;
  std::memset(FHostName, 0, sizeof FHostName);
  if (WsGetHostName(FHostName, sizeof FHostName) != 0) {
    // The wording names the lookup, also though it is the host-name call that failed.
    DebugLog(kLogSource, "gethostbyname() failed");
    return FStatus;
  }
  std::vector<std::string> addresses;
  if (!WsResolveIPv4(FHostName, addresses)) {
    FDefaultAddress = "0.0.0.0";
    return FStatus;
  }
  for (std::size_t i = 0; i < addresses.size(); ++i)
    DebugLog(kLogSource,
             Format("[%d] Available IP Address \"%s\"", static_cast<int>(i), addresses[i].c_str()));
  FDefaultAddress = addresses.front();
  DebugLog(kLogSource, Format("Default Address assigned to \"%s\"", FDefaultAddress.c_str()));
  return FStatus;
}

void ZWinSockets::StopSockets() {
  if (!FStarted) return;
  WSACancelBlockingCall();
  WSACleanup();
  FStarted = false;
}

int ZWinSockets::LastError() {
  const int code = WSAGetLastError();
  FLastError.store(code);
  return code;
}

std::string ZWinSockets::LastErrorText() { return SocketErrorText(LastError()); }

std::uint8_t AttachWinSock(const std::string& name) {
  UnitState& u = Unit();
  std::lock_guard lock(u.FWinSockLock);
  DebugLog(kLogSource, Format("Windows Sockets Started. Attached(%d) %s", u.FAttachCount.load(),
                              name.c_str()));
  ++u.FAttachCount;
  ZWinSockets* shared = u.FWinSockets.load();
  if (shared == nullptr) {
    shared = new ZWinSockets;
    shared->StartSockets();
    u.FWinSockets.store(shared);
  }
  return shared->GetStatus();
}

void DetachWinSock(const std::string& name) {
  UnitState& u = Unit();
  std::lock_guard lock(u.FWinSockLock);
  // An unmatched detach would drive the count below 0, and the next user's detach would
  // then never stop the layer.
  if (u.FAttachCount.load() <= 0) return;
  if (--u.FAttachCount == 0) {
    ZWinSockets* shared = u.FWinSockets.exchange(nullptr);
    if (shared != nullptr) {
      DebugLog(kLogSource, Format("Windows Sockets Shutdown. Attached(%d) %s", 0, name.c_str()));
      delete shared;
    }
  }
}

ZWinSockets* WinSockets() { return Unit().FWinSockets.load(); }

int AttachCount() { return Unit().FAttachCount.load(); }

void DisableNoDelay(SOCKET s) {
  const std::int32_t off = 0;
  WsSetSockOpt(s, IPPROTO_TCP, TCP_NODELAY, &off, sizeof off);
}

}  // namespace zp
