#pragma once
#include <cstdint>

#include "platform/MessageQueue.h"
#include "platform/Sockets.h"

// Socket readiness as window messages, with the Windows Sockets rules:
//  - FD_READ is posted once while unread data waits and re-armed by each WsRecv on the
//    socket, so it comes again after a read that leaves data behind;
//  - FD_WRITE is posted once after the select on a connected socket, and again only
//    after a WsSend has failed with WSAEWOULDBLOCK and the socket can take data again;
//  - FD_CLOSE is posted once: with error 0 when the peer closed gracefully (after the
//    data still unread has been taken, when FD_READ is asked for), or with the error's
//    code (e.g. WSAECONNRESET) at once when the connection broke.
// Message: wparam = the socket, lparam = WSAMAKESELECTREPLY(event, error).
//
// Notifications are produced and posted only while the thread that made the select
// waits on or dispatches its MessageQueue, never re-entrantly. Call WSAAsyncSelect on
// the thread that owns `window`, after the socket is connected (FD_CONNECT and
// FD_ACCEPT are not offered). Only conditions that will give a message are polled, so
// a socket whose data waits unread does not keep a wait busy.
namespace zp {

#ifndef _WIN32
inline constexpr long FD_READ = 1;
inline constexpr long FD_WRITE = 2;
inline constexpr long FD_CLOSE = 32;

constexpr std::intptr_t WSAMAKESELECTREPLY(int event, int error) {
  return static_cast<std::intptr_t>((static_cast<std::uint32_t>(error & 0xFFFF) << 16) |
                                    static_cast<std::uint32_t>(event & 0xFFFF));
}
constexpr int WSAGETSELECTEVENT(std::intptr_t lparam) { return static_cast<int>(lparam & 0xFFFF); }
constexpr int WSAGETSELECTERROR(std::intptr_t lparam) {
  return static_cast<int>((lparam >> 16) & 0xFFFF);
}
#endif  // Windows has these as macros of the same values.

// Replaces any earlier request for `s` and puts the socket in non-blocking mode. A mask
// of 0 cancels: nothing more is posted, and notifications for `s` still queued on this
// thread are dropped. Returns 0, or SOCKET_ERROR with WSAENOTSOCK (not a socket) or
// WSAEINVAL (an event other than FD_READ, FD_WRITE and FD_CLOSE, or no window).
int WSAAsyncSelect(SOCKET s, WindowHandle window, std::uint32_t message, long events);

}  // namespace zp
