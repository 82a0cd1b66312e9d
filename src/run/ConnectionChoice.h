#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace zp {

// The three ways of connecting the operator chooses from, and what each fills in.
inline constexpr int kConnectionChoices = 3;

struct ConnectionDefaults {
  std::string server;      // the deployment's route server(s)
  std::string port_text;   // hexadecimal, as typed
  std::string route_code;
};

// What the window fills in for way `item` (0 Internet normal route, 1 Internet other
// route, 2 WAN other route). The route-server host and the two WAN addresses are
// deployment values fixed when the program is built.
ConnectionDefaults DefaultsFor(int item);

// The route letter a test uses: always "A" for the normal route, otherwise the first
// character typed, or "A" when nothing was typed.
std::string RouteLetterFor(int item, std::string_view typed);

// The result banner of the window's first status line ("S U C C E S S", …) and the
// results window's word ("SUCCESS", …); empty for an unknown code.
const char* SpacedBanner(std::int32_t result_code);
const char* BannerWord(std::int32_t result_code);

}  // namespace zp
