#pragma once
#include "platform/Sockets.h"

// Between the socket calls and the notification watches (inside zplatform only): the
// calls that re-arm or end a socket's notifications tell the watch table.
namespace zp::socket_watch {

// A new descriptor number, or one about to be closed: forget what was known about it
// and drop its queued notifications.
void Forget(SOCKET s);
// A connect succeeded: the socket counts as connected for a later select.
void Connected(SOCKET s);
// A read was tried (FD_READ is re-armed). When the read found the end of the stream
// after a notified reset, returns that reset's code, otherwise 0.
int Received(SOCKET s, bool end_of_stream);
// A send would have blocked: FD_WRITE is re-armed.
void SendWouldBlock(SOCKET s);

}  // namespace zp::socket_watch
