#pragma once
#include <cstdint>
#include <string>

namespace zp {

// The fields of a login body, as built by ZExpBuf::BuildLogin and read back by
// ZExpBuf::ParseLogin. A parse of a text shorter than the base form gives Mode '?'
// and zeros; CallerName comes back upper case and trimmed.
struct ZLoginBody {
  std::int32_t Sequence = 0;
  char Mode = '?';
  std::int32_t ClientId = 0;
  std::int32_t ClientSubId = 0;
  std::int32_t RecordCount = 0;
  std::int32_t LoginFlag = 0;
  std::string CallerName;
  std::string CallerAddress;
  std::int32_t OptionNumber = 0;  // the bracket group is sent only when above 0
  char OptionCode = ' ';
  std::int32_t Status = 0;  // 0 = success; StatusText is sent only otherwise
  std::string StatusText;
};

// A detail body, and the status reply that has the same layout. A parse of a text
// shorter than the base form gives 9997, '*', "none" and status 0.
struct ZStatusReply {
  std::int32_t Sequence = 0;
  char Mode = ' ';
  std::string Label;  // four characters, blanks kept
  std::int32_t Status = 0;
  std::string StatusText;
};

// A heartbeat or logout body: the login's sequence number and free text.
struct ZSequenceText {
  std::int32_t Sequence = 0;
  std::string FreeText;
};

}  // namespace zp
