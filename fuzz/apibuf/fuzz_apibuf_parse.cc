// Parses arbitrary bytes as an API buffer and checks what must hold whatever arrives: no
// stored text beyond its capacity, an indicator of "Y", "N" or "P", no byte string longer
// than the input, and nothing surviving from an earlier parse into the next: a record
// with every member and presence flag set parses to the same result as a fresh one.
//
// Each input is parsed once. The parse starts by clearing the record, so whether
// anything survives hardly depends on the input: the second parse that shows it is
// made for one input length in eight, which finds a clearing fault at once and leaves
// the other inputs at the cost of one parse. The length decides, so replaying an input
// repeats its checks.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "apibuf/ApiBuf.h"
#include "apibuf/ApiBufLayout.h"

namespace {

using zp::ApiField;
using zp::ApiForm;
using zp::TCoreApiBuf;

// Every section costs a walk over its fields; beyond a few dozen sections a text only
// repeats what fewer show. It is cut before the section mark after these.
constexpr int kMaxSections = 32;

std::size_t Limited(const char* bytes, std::size_t n) {
  const char* const end = bytes + n;
  const char* p = bytes;
  for (int sections = 0;; ++sections, ++p) {
    p = static_cast<const char*>(std::memchr(p, zp::kApiFs, static_cast<std::size_t>(end - p)));
    if (p == nullptr) return n;
    if (sections == kMaxSections) return static_cast<std::size_t>(p - bytes);
  }
}

void CheckCapacity(const TCoreApiBuf& r, const ApiField& f, std::size_t inputSize) {
  if (f.text != nullptr) {
    const std::size_t n = (r.*f.text).size();
    if (f.capacity != zp::kApiUnbounded && n > static_cast<std::size_t>(f.capacity)) abort();
    if (n > inputSize) abort();
  }
  if (f.list != nullptr)
    for (const std::string& item : r.*f.list)
      if (item.size() > static_cast<std::size_t>(f.capacity)) abort();
}

// Every member and flag the layout describes holding something, as in a record used
// before. Built once: each input only copies it.
const TCoreApiBuf& UsedRecord() {
  static const TCoreApiBuf used = [] {
    TCoreApiBuf r;
    auto fill = [&r](const ApiField& f) {
      if (f.text != nullptr) r.*f.text = "left over";
      if (f.integer != nullptr) r.*f.integer = 7;
      if (f.amount != nullptr) r.*f.amount = 7;
      if (f.date != nullptr) r.*f.date = 7.5;
      if (f.list != nullptr) (r.*f.list).fill("old");
    };
    for (const ApiField& f : zp::ApiHeaderFields()) fill(f);
    for (const zp::ApiSection& s : zp::ApiSections()) {
      r.*s.present = true;
      for (const ApiField& f : s.fields) fill(f);
    }
    return r;
  }();
  return used;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  const auto* bytes = reinterpret_cast<const char*>(data);
  size = Limited(bytes, size);
  const auto count = static_cast<std::int32_t>(size);

  zp::TApiBuf r;
  r.ParseBytes(count, bytes);
  if (size > 0 && r.ErrorIndicator != "Y" && r.ErrorIndicator != "N" && r.ErrorIndicator != "P") abort();
  // Beside the input, a record may hold a zero fill and the texts of the errors it records.
  constexpr std::size_t kAddedText = 64;
  for (const ApiField& f : zp::ApiHeaderFields()) CheckCapacity(r, f, size + kAddedText);
  for (const zp::ApiSection& s : zp::ApiSections())
    for (const ApiField& f : s.fields) CheckCapacity(r, f, size + kAddedText);

  if (size % 8 == 0) {
    TCoreApiBuf again = UsedRecord();
    again.ParseBytes(count, bytes);
    if (size > 0 && !(again == r)) abort();
  }
  return 0;
}
