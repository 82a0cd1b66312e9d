#include "apibuf/ApiBufReader.h"

#include <algorithm>
#include <array>

#include "apibuf/ApiBufLayout.h"
#include "apibuf/ApiBufValues.h"

namespace zp {

namespace {

bool EndsField(char c) { return c == kApiNul || c == kApiEtx || c == kApiFs; }

constexpr std::array<bool, 256> BuildFilteredSet() {
  std::array<bool, 256> set{};
  for (int c : {33, 35, 38, 62, 95, 124}) set[static_cast<std::size_t>(c)] = true;
  auto range = [&set](int from, int to) {
    for (int c = from; c <= to; ++c) set[static_cast<std::size_t>(c)] = true;
  };
  range(40, 42);
  range(46, 60);
  range(64, 90);
  range(97, 122);
  return set;
}
constexpr std::array<bool, 256> kFilteredSet = BuildFilteredSet();

}  // namespace

bool ApiBufReader::IsFiltered(unsigned char c) { return kFilteredSet[c]; }

void ApiBufReader::SkipToMark() {
  while (FPos < FText.size() && !EndsField(FText[FPos])) ++FPos;
}

// Reads up to `width` characters, keeping those `keep` accepts. While every character is
// kept the field is a view of the text itself; the first dropped one switches to a copy.
template <typename Keep>
std::string_view ApiBufReader::Read(std::int32_t width, Keep keep) {
  const std::size_t start = FPos;
  const std::size_t limit =
      width > 0 ? std::min(FText.size(), start + static_cast<std::size_t>(width)) : start;
  bool copied = false;
  for (; FPos < limit && !EndsField(FText[FPos]); ++FPos) {
    const auto c = static_cast<unsigned char>(FText[FPos]);
    if (keep(c)) {
      if (copied) FScratch.push_back(FText[FPos]);
    } else if (!copied) {
      FScratch.assign(FText.substr(start, FPos - start));
      copied = true;
    }
  }
  return copied ? std::string_view(FScratch) : FText.substr(start, FPos - start);
}

std::string_view ApiBufReader::ReadText(std::int32_t width) {
  std::string_view v = Read(width, [](unsigned char c) { return c < 128; });
  while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
  return v;
}

std::string_view ApiBufReader::ReadFiltered(std::int32_t width) {
  return Read(width, [](unsigned char c) { return kFilteredSet[c]; });
}

std::int32_t ApiBufReader::ReadInteger(std::int32_t width) {
  std::int32_t v = 0;
  return TryApiDecimal(ReadText(width), v) ? v : 0;
}

Currency ApiBufReader::ReadAmount(std::int32_t width) {
  Currency v = 0;
  return TryApiAmount(ReadText(width), v) ? v : 0;
}

bool ApiBufReader::ReadDate(std::int32_t width, TDateTime& value) {
  return ApiDateFromNumber(ReadInteger(width), value);
}

bool ApiBufReader::ReadTime(std::int32_t width, TDateTime& value) {
  return ApiTimeFromNumber(ReadInteger(width), value);
}

bool ApiBufReader::ReadBytes(std::int32_t count, std::string_view& bytes) {
  bytes = {};
  if (count <= 0) return true;
  if (static_cast<std::size_t>(count) > FText.size() - FPos) {
    FPos = FText.size();
    return false;
  }
  bytes = FText.substr(FPos, static_cast<std::size_t>(count));
  FPos += static_cast<std::size_t>(count);
  return true;
}

}  // namespace zp
