#include "run/ConnectionChoice.h"

#include "run/RunConstants.h"

#ifndef ZP_DEFAULT_ROUTE_HOST
#define ZP_DEFAULT_ROUTE_HOST "localhost"
#endif
#ifndef ZP_DEFAULT_WAN_ADDRESSES
#define ZP_DEFAULT_WAN_ADDRESSES "127.0.0.1,127.0.0.2"
#endif

namespace zp {

ConnectionDefaults DefaultsFor(int item) {
  switch (item) {
    case 0: return {ZP_DEFAULT_ROUTE_HOST, "6900", "A"};
    case 1: return {"", "6900", ""};
    default: return {ZP_DEFAULT_WAN_ADDRESSES, "6900", "H"};
  }
}

std::string RouteLetterFor(int item, std::string_view typed) {
  if (item == 0 || typed.empty()) return "A";
  return std::string(typed.substr(0, 1));
}

const char* SpacedBanner(std::int32_t result_code) {
  switch (result_code) {
    case kResultFailure: return "F A I L U R E";
    case kResultSuccess: return "S U C C E S S";
    case kResultSomeRoutesFailed: return "S O M E   R O U T E S   F A I L E D";
    default: return "";
  }
}

const char* BannerWord(std::int32_t result_code) {
  switch (result_code) {
    case kResultFailure: return "FAILURE";
    case kResultSuccess: return "SUCCESS";
    case kResultSomeRoutesFailed: return "SOME ROUTES FAILED";
    default: return "";
  }
}

}  // namespace zp
