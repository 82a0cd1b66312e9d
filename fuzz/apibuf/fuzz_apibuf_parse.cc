// Parses arbitrary bytes as an API buffer and checks what must hold whatever arrives: no
// stored text beyond its capacity, an indicator of "Y", "N" or "P", no byte string longer
// than the input, and nothing surviving from an earlier parse into the next: a record
// with every member and presence flag set parses to the same result as a fresh one.
#include <cstdint>
#include <cstdlib>

#include "apibuf/ApiBuf.h"
#include "apibuf/ApiBufLayout.h"

namespace {

using zp::ApiField;
using zp::ApiForm;
using zp::TCoreApiBuf;

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
  const auto count = static_cast<std::int32_t>(size);

  zp::TApiBuf r;
  r.ParseBytes(count, bytes);
  if (size > 0 && r.ErrorIndicator != "Y" && r.ErrorIndicator != "N" && r.ErrorIndicator != "P") abort();
  // Beside the input, a record may hold a zero fill and the texts of the errors it records.
  constexpr std::size_t kAddedText = 64;
  for (const ApiField& f : zp::ApiHeaderFields()) CheckCapacity(r, f, size + kAddedText);
  for (const zp::ApiSection& s : zp::ApiSections())
    for (const ApiField& f : s.fields) CheckCapacity(r, f, size + kAddedText);

  TCoreApiBuf again = UsedRecord();
  again.ParseBytes(count, bytes);
  if (size > 0 && !(again == r)) abort();
  return 0;
}
