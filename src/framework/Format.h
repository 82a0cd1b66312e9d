#pragma once
#include <string>
#include <vector>

#include "platform/PrintfCheck.h"

namespace zp {

// printf-style formatting into a string of whatever length the result needs (a text
// from the network can be long). The compiler checks the arguments against the format.
std::string Format(const char* format, ...) ZP_PRINTF(1, 2);
// The same, appended to `out`.
void AppendFormat(std::string& out, const char* format, ...) ZP_PRINTF(2, 3);

// A byte dump as trace lines: "<prefix> === BEGINS  n Bytes", then 8 bytes a line (16 when
// there are more than 32) in hexadecimal and as characters, then "<prefix> === ENDS".
// Nothing for an empty dump.
std::vector<std::string> DumpLines(const std::string& prefix, int length, const void* data);

}  // namespace zp
