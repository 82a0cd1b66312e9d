#include "platform/SocketText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zp {

std::string WsInetNtoa(std::uint32_t address) {
  unsigned char b[4];
  std::memcpy(b, &address, sizeof b);  // network order: the first octet comes first
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

void AppendIPv4Once(int family, const sockaddr* address, std::size_t length, std::vector<std::string>& addresses) {
  if (family != AF_INET || address == nullptr || length < sizeof(sockaddr_in)) return;
  sockaddr_in in;
  std::memcpy(&in, address, sizeof in);
  std::string text = WsInetNtoa(in.sin_addr.s_addr);
  if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) addresses.push_back(std::move(text));
}

}  // namespace zp
