#include <cstdio>
#include <cstring>

#include "platform/Sockets.h"

namespace zp {

std::string WsInetNtoa(std::uint32_t address) {
  unsigned char b[4];
  std::memcpy(b, &address, sizeof b);  // network order: the first octet comes first
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

}  // namespace zp
