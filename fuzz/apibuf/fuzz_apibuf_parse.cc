// Parses arbitrary bytes as an API buffer and checks what must hold whatever arrives: no
// stored text beyond its capacity, an indicator of "Y", "N" or "P", no byte string longer
// than the input, and nothing surviving from an earlier parse into the next.
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

  // A record that held something else parses to the same result as a fresh one.
  TCoreApiBuf again;
  again.Set(&TCoreApiBuf::S017_01, "left over from before");
  again.SetItem(&TCoreApiBuf::S061_04, 3, "old");
  again.SetError(1, 2, "old", "old");
  again.ParseBytes(count, bytes);
  if (size > 0 && !(again == r)) abort();
  return 0;
}
