#include "client/TraceLine.h"

#include "platform/LocalTime.h"

namespace zp {

std::string TraceTimeNow() { return FormatNow("ddd mm/dd hh:nn:ss"); }

std::string FormatTraceLine(const TraceLine& line) {
  std::string out;
  out.reserve(line.name.size() + line.time.size() + line.text.size() + 2);
  out += line.name;
  out += '\t';
  out += line.time;
  out += '\t';
  out += line.text;
  return out;
}

}  // namespace zp
