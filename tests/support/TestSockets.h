#pragma once
// Plain loopback sockets of the system for the far end of a test's connections: they
// stand for a remote host, not for the code under test, so they use the system's own
// calls (TestSockets.cc on POSIX systems, TestSockets_win.cc on Windows) rather than the
// platform layer. Every socket is blocking unless said otherwise and is not inherited
// by programs the test starts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zp::test {

// A descriptor or a Windows socket handle; the invalid value of each reads as -1.
using RawSocket = std::intptr_t;
inline constexpr RawSocket kNoRawSocket = -1;

// The system's error codes for the two failures tests look for (ECONNREFUSED or
// WSAECONNREFUSED, and the same for a reset).
int RefusedError();
int ResetError();
// The calling thread's last socket error, in the system's codes.
int LastRawError();

// A listening socket on `address` (127.0.0.0/8) at `port` (0: ephemeral, returned in
// `bound`). `receive_buffer` > 0 sets the receive buffer that accepted sockets inherit.
// kNoRawSocket on failure.
RawSocket RawListen(int backlog, std::uint16_t& bound, const std::string& address = "127.0.0.1",
                    std::uint16_t port = 0, int receive_buffer = 0);
// A socket bound to an ephemeral loopback port that never listens: connects to it are
// refused, and no other program takes the port while it is held.
RawSocket RawBindOnly(std::uint16_t& bound);
// Waits for and accepts one connection; kNoRawSocket when the listener is closed or shut.
RawSocket RawAccept(RawSocket listener);
// A blocking connect; on failure kNoRawSocket and `error` set (else 0).
RawSocket RawConnect(const std::string& address, std::uint16_t port, int& error);
// A non-blocking socket whose connect has been started and is left to the system.
RawSocket RawConnectStarted(std::uint16_t port);

// True when bytes (or the end, or an error) wait, within `timeout_ms`.
bool RawWaitReadable(RawSocket socket, int timeout_ms);
// One receive: the bytes read, 0 at the end of the stream, -1 on error (LastRawError).
long RawReceive(RawSocket socket, void* buffer, std::size_t size);
// One send that never raises a signal: the bytes sent, or -1 on error.
long RawSend(RawSocket socket, const void* bytes, std::size_t size);
// Sends every byte; false when a send fails.
bool RawSendAll(RawSocket socket, std::string_view bytes);

// Closes with an orderly end of the stream.
void RawClose(RawSocket socket);
// Makes the coming close a reset (RST) instead of an orderly end.
void RawSetResetOnClose(RawSocket socket);
// Closes with a reset.
void RawCloseWithReset(RawSocket socket);
// Ends both directions: a thread blocked in RawAccept on it returns.
void RawShutdown(RawSocket socket);
void RawSetReceiveBuffer(RawSocket socket, int bytes);
void RawSetNoDelay(RawSocket socket);

// Whether a close asked to reset reaches the peer as a reset on this system, found out
// once by trying. Wine (8) closes in order even then, so tests of resets skip there
// rather than fail for the emulation.
inline bool CloseCanReset() {
  static const bool can = [] {
    std::uint16_t port = 0;
    const RawSocket listener = RawListen(1, port);
    int error = 0;
    const RawSocket client = RawConnect("127.0.0.1", port, error);
    const RawSocket server = RawAccept(listener);
    RawCloseWithReset(server);
    char byte;
    const bool reset = RawWaitReadable(client, 3000) && RawReceive(client, &byte, 1) < 0 &&
                       LastRawError() == ResetError();
    RawClose(client);
    RawClose(listener);
    return reset;
  }();
  return can;
}

}  // namespace zp::test
