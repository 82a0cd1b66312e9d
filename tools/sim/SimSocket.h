#pragma once
#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace zp::sim {

// The address in network order when `text` is a dotted IPv4 address in 127.0.0.0/8:
// the simulator never listens anywhere else.
bool ParseLoopbackAddress(std::string_view text, in_addr& address);

// A non-blocking listening socket on address:port (port 0: ephemeral). Returns the
// descriptor and sets `bound_port`; throws std::runtime_error with the reason.
int ListenOn(const std::string& address, std::uint16_t port, std::uint16_t& bound_port);

// Binds address:port, notes the port and closes the socket again: a port where nothing
// listens, so that connecting to it is refused.
std::uint16_t ReserveClosedPort(const std::string& address, std::uint16_t port);

// Accepts one pending connection as a non-blocking socket with Nagle off, so that each
// send leaves as its own segment. -1 when none is pending or accept failed (errno).
int AcceptConnection(int listener);

// Closes `fd`; with `reset` the peer gets a reset (RST) instead of an orderly close.
void CloseSocket(int fd, bool reset);

}  // namespace zp::sim
