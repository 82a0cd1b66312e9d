#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The few socket calls the simulator makes, over the system's own sockets: descriptors
// on POSIX systems (SimSocket.cc), Windows Sockets handles on Windows (SimSocket_win.cc).
// Every socket is non-blocking and not inherited by child processes.
namespace zp::sim {

// A socket of the system; kNoSocket when there is none. Both a descriptor and a Windows
// socket handle fit, and the invalid value of each reads as -1.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// The address in host order when `text` is a dotted IPv4 address in 127.0.0.0/8: the
// simulator never listens anywhere else. Four decimal parts of 0..255, no leading zeros.
bool ParseLoopbackAddress(std::string_view text, std::uint32_t& address);

// A non-blocking listening socket on address:port (port 0: ephemeral). Returns the
// socket and sets `bound_port`; throws std::runtime_error with the reason.
SocketHandle ListenOn(const std::string& address, std::uint16_t port, std::uint16_t& bound_port);

// Binds address:port, notes the port and closes the socket again: a port where nothing
// listens, so that connecting to it is refused.
std::uint16_t ReserveClosedPort(const std::string& address, std::uint16_t port);

// Accepts one pending connection as a non-blocking socket with Nagle off, so that each
// send leaves as its own segment. kNoSocket when none is pending or accept failed;
// `out_of_resources` then says whether it failed for want of descriptors or memory.
SocketHandle AcceptConnection(SocketHandle listener, bool& out_of_resources);

// Closes `socket`; with `reset` the peer gets a reset (RST) instead of an orderly close.
void CloseSocket(SocketHandle socket, bool reset);

// Results of ReceiveSome and SendSome besides a byte count.
inline constexpr long kWouldBlock = -1;
inline constexpr long kSocketFailed = -2;
// Without blocking: the bytes read (0 at the end of the stream) or sent, else one of the
// results above. Sending never raises a signal.
long ReceiveSome(SocketHandle socket, void* buffer, std::size_t size);
long SendSome(SocketHandle socket, const void* bytes, std::size_t size);

// What a wait watches for and reports, whatever the system calls it.
inline constexpr short kPollReadable = 1;
inline constexpr short kPollWritable = 2;
inline constexpr short kPollHangUp = 4;  // reported only
inline constexpr short kPollError = 8;   // reported only
struct PollItem {
  SocketHandle socket;
  short events;
  short revents;
};
// Waits until one of `items` is ready or `tick_ms` tick milliseconds pass (negative: no
// limit; the time scale of the platform tick applies). False when the wait failed.
bool PollSockets(std::vector<PollItem>& items, long tick_ms);

// Something another thread raises to end a PollSockets wait: its handle polls readable
// from Raise until Drain.
class WakeUp {
 public:
  WakeUp();  // throws std::system_error when the system has nothing to spare
  ~WakeUp();
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;

  SocketHandle Handle() const { return FHandle; }
  void Raise();
  void Drain();

 private:
  SocketHandle FHandle = kNoSocket;
};

}  // namespace zp::sim
