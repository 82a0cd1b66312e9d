#include "apibuf/CoreApiBuf.h"

#include <algorithm>
#include <utility>

#include "apibuf/ApiBufLayout.h"
#include "apibuf/ApiBufReader.h"
#include "apibuf/ApiBufValues.h"

namespace zp {

namespace {

// A header whose empty fields are NUL-filled must not end the text early: NULs among the
// first characters count as spaces.
constexpr std::size_t kNulAsSpaceLength = 75;
constexpr std::size_t kHeaderTenWidth = 10;
constexpr char kSplitMark = '^';

std::string_view TrimBlanks(std::string_view v) {
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
  return v;
}

std::string_view Cut(std::string_view v, std::int32_t capacity) {
  if (capacity != kApiUnbounded && v.size() > static_cast<std::size_t>(capacity))
    v = v.substr(0, static_cast<std::size_t>(capacity));
  return v;
}

// Walks the layout tables over one text. Values go through the same store functions as
// the public setters, so capacities and presence flags follow one rule.
class ApiBufParser {
 public:
  ApiBufParser(TCoreApiBuf& rec, std::string_view text) : FRec(rec), FIn(text) {}

  void Run() {
    ReadHeader();
    ReadSections();
  }

  static void StoreText(TCoreApiBuf& rec, const ApiMemberRef& ref, std::string_view value);
  static void StoreHeaderText(TCoreApiBuf& rec, const ApiField& f, std::string_view value);
  template <typename V>
  static void StoreValue(TCoreApiBuf& rec, const ApiSection* section, V TCoreApiBufFields::*member, V value) {
    rec.*member = value;
    if (section != nullptr && value != V{}) rec.*(section->present) = true;
  }
  static void StoreItem(TCoreApiBuf& rec, const ApiMemberRef& ref, std::int32_t item, std::string_view value);

 private:
  void ReadHeader();
  void ReadSections();
  void ReadSection(const ApiSection& s, std::int32_t byteCount);
  void ReadField(const ApiSection& s, const ApiField& f, std::int32_t byteCount);
  void ReadSplit(const ApiSection& s, const ApiField& split);

  TCoreApiBuf& FRec;
  ApiBufReader FIn;
};

void ApiBufParser::StoreText(TCoreApiBuf& rec, const ApiMemberRef& ref, std::string_view value) {
  const ApiField& f = *ref.field;
  if (ref.section == nullptr) {
    StoreHeaderText(rec, f, value);
    return;
  }
  (rec.*f.text).assign(Cut(value, f.capacity));
  if (!value.empty()) rec.*(ref.section->present) = true;
}

void ApiBufParser::StoreHeaderText(TCoreApiBuf& rec, const ApiField& f, std::string_view value) {
  switch (f.form) {
    case ApiForm::Indicator:
      rec.SetErrorIndicator(value);
      return;
    case ApiForm::ZeroFilled: {
      value = TrimBlanks(value);
      std::string& m = rec.*f.text;
      m.clear();
      if (value.empty()) return;
      value = Cut(value, f.capacity);
      m.assign(kHeaderTenWidth - std::min(kHeaderTenWidth, value.size()), '0');
      m.append(value);
      return;
    }
    default:
      (rec.*f.text).assign(Cut(value, f.capacity));
      return;
  }
}

void ApiBufParser::StoreItem(TCoreApiBuf& rec, const ApiMemberRef& ref, std::int32_t item,
                             std::string_view value) {
  if (value.empty() || item < 1 || item > kApiListEntries) return;
  const ApiField& f = *ref.field;
  (rec.*f.list)[static_cast<std::size_t>(item - 1)].assign(Cut(value, f.capacity));
  rec.*(ref.section->present) = true;
}

void ApiBufParser::ReadHeader() {
  for (const ApiField& f : ApiHeaderFields()) {
    if (f.form == ApiForm::Integer)
      FRec.*f.integer = FIn.ReadInteger(f.width);
    else
      StoreHeaderText(FRec, f, FIn.ReadText(f.width));
  }
}

void ApiBufParser::ReadSections() {
  for (;;) {
    FIn.SkipToMark();
    if (FIn.Peek() != kApiFs) return;  // NUL, ETX or the end of the text
    FIn.Next();
    std::int32_t byteCount = 0;
    if (FIn.Peek() == kApiByteSection) {
      FIn.Next();
      if (!TryApiDecimal(TrimBlanks(FIn.ReadText(kApiByteCountWidth)), byteCount)) byteCount = 0;
    }
    std::int32_t number = -1;
    if (!TryApiDecimal(FIn.ReadText(kApiSectionNumberWidth), number)) number = -1;
    if (number == -1) return;
    // An unknown number reads nothing: its content is skipped up to the next mark.
    if (const ApiSection* s = FindApiSection(number)) ReadSection(*s, byteCount);
  }
}

void ApiBufParser::ReadSection(const ApiSection& s, std::int32_t byteCount) {
  const std::span<const ApiField> fields = s.fields;
  if (s.lastFieldFirstInFormat1 && FRec.ApiFormat == "1" && !fields.empty()) {
    ReadField(s, fields.back(), byteCount);
    for (const ApiField& f : fields.first(fields.size() - 1)) ReadField(s, f, byteCount);
    return;
  }
  for (const ApiField& f : fields) {
    if (f.form == ApiForm::Split)
      ReadSplit(s, f);
    else
      ReadField(s, f, byteCount);
  }
}

void ApiBufParser::ReadField(const ApiSection& s, const ApiField& f, std::int32_t byteCount) {
  const ApiMemberRef ref{&f, &s};
  switch (f.form) {
    case ApiForm::Text: {
      const std::string_view v = FIn.ReadText(f.width);
      if (v.size() >= static_cast<std::size_t>(f.minLength)) StoreText(FRec, ref, v);
      return;
    }
    case ApiForm::Filtered:
      StoreText(FRec, ref, FIn.ReadFiltered(f.width));
      return;
    case ApiForm::Integer:
      StoreValue(FRec, &s, f.integer, FIn.ReadInteger(f.width));
      return;
    case ApiForm::Amount:
      StoreValue(FRec, &s, f.amount, FIn.ReadAmount(f.width));
      return;
    case ApiForm::Date:
    case ApiForm::Time: {
      TDateTime v = 0;
      const bool ok = f.form == ApiForm::Date ? FIn.ReadDate(f.width, v) : FIn.ReadTime(f.width, v);
      if (!ok) FRec.SetError(f.form == ApiForm::Date ? kApiErrDate : kApiErrTime);
      StoreValue(FRec, &s, f.date, v);
      return;
    }
    case ApiForm::Bytes: {
      // Raw bytes have no end mark: the count is their only framing. A count that runs past
      // the end of the text announces bytes that never came, so the section is dropped
      // rather than stored short.
      std::string_view bytes;
      if (byteCount >= 1 && FIn.ReadBytes(byteCount, bytes)) StoreText(FRec, ref, bytes);
      return;
    }
    case ApiForm::List: {
      // The counts have two digits, the lists 24 entries: items beyond the 24th are read
      // (so the cursor stays where the writer's layout puts it) and dropped.
      const std::int32_t count = FRec.*f.count;
      for (std::int32_t i = 1; i <= count; ++i) StoreItem(FRec, ref, i, FIn.ReadText(f.width));
      return;
    }
    case ApiForm::Skip:
      FIn.ReadText(f.width);
      return;
    case ApiForm::Split:
    case ApiForm::Part:
    case ApiForm::Indicator:
    case ApiForm::ZeroFilled:
      return;  // handled by ReadSplit and the header
  }
}

// One text cut at "^" into the Part fields that follow the split field; text after the
// last part's "^" is ignored and missing parts are empty.
void ApiBufParser::ReadSplit(const ApiSection& s, const ApiField& split) {
  std::string rest(FIn.ReadText(split.width));
  rest.push_back(kSplitMark);
  std::string_view tail = rest;
  const ApiField* f = &split + 1;
  const ApiField* end = s.fields.data() + s.fields.size();
  for (; f != end && f->form == ApiForm::Part; ++f) {
    std::string_view part;
    if (const std::size_t mark = tail.find(kSplitMark); mark != std::string_view::npos) {
      part = tail.substr(0, mark);
      tail.remove_prefix(mark + 1);
    }
    StoreText(FRec, ApiMemberRef{f, &s}, part);
  }
}

}  // namespace

void TCoreApiBuf::Clear() { static_cast<TCoreApiBufFields&>(*this) = TCoreApiBufFields{}; }

void TCoreApiBuf::Parse(std::string_view text) {
  std::string copy(text);
  const std::size_t head = std::min(copy.size(), kNulAsSpaceLength);
  std::replace(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(head), kApiNul, ' ');
  Clear();
  ApiBufParser(*this, copy).Run();
  if (ApiSignature != "$")
    SetError(kApiErrSignature);
  else if (ApiFormat != "0" && ApiFormat != "1")
    SetError(kApiErrFormat);
}

void TCoreApiBuf::ParseBytes(std::int32_t count, const char* bytes) {
  if (count <= 0 || bytes == nullptr) return;
  Parse(std::string_view(bytes, static_cast<std::size_t>(count)));
}

void TCoreApiBuf::SetErrorIndicator(std::string_view text) {
  ErrorIndicator = "N";
  if (!text.empty() && (text.front() == 'Y' || text.front() == 'P')) ErrorIndicator = text.substr(0, 1);
}

void TCoreApiBuf::SetError(std::int32_t code, std::int32_t subCode, std::string_view shortText,
                           std::string_view longText) {
  SetErrorIndicator("N");
  if (code != 0 || subCode != 0) SetErrorIndicator("Y");
  ErrorCode = code > 999999 || code < 0 ? kApiErrorCodeOutOfRange : code;
  ErrorSubCode = subCode > 999 || subCode < 0 ? kApiErrorSubCodeOutOfRange : subCode;
  // Through the section's setters, as a section 999 would store them.
  static const ApiMemberRef shortRef = FindApiMember(&TCoreApiBufFields::ErrorShortText);
  static const ApiMemberRef longRef = FindApiMember(&TCoreApiBufFields::ErrorText);
  ApiBufParser::StoreText(*this, shortRef, shortText);
  ApiBufParser::StoreText(*this, longRef, longText);
  if (ErrorText.empty()) ApiBufParser::StoreText(*this, longRef, shortText);
}

void TCoreApiBuf::Set(std::string TCoreApiBufFields::*member, std::string_view value) {
  const ApiMemberRef ref = FindApiMember(member);
  if (ref.field != nullptr) ApiBufParser::StoreText(*this, ref, value);
}

void TCoreApiBuf::Set(std::int32_t TCoreApiBufFields::*member, std::int32_t value) {
  const ApiMemberRef ref = FindApiMember(member);
  if (ref.field != nullptr) ApiBufParser::StoreValue(*this, ref.section, member, value);
}

void TCoreApiBuf::Set(Currency TCoreApiBufFields::*member, Currency value) {
  const ApiMemberRef ref = FindApiMember(member);
  if (ref.field != nullptr) ApiBufParser::StoreValue(*this, ref.section, member, value);
}

void TCoreApiBuf::Set(TDateTime TCoreApiBufFields::*member, TDateTime value) {
  const ApiMemberRef ref = FindApiMember(member);
  if (ref.field != nullptr) ApiBufParser::StoreValue(*this, ref.section, member, value);
}

void TCoreApiBuf::SetBytes(std::string TCoreApiBufFields::*member, std::int32_t count, const char* bytes) {
  if (count < 1 || bytes == nullptr) {
    Set(member, std::string_view());
    return;
  }
  Set(member, std::string_view(bytes, static_cast<std::size_t>(count)));
}

void TCoreApiBuf::SetItem(TApiList TCoreApiBufFields::*list, std::int32_t item, std::string_view text) {
  const ApiMemberRef ref = FindApiMember(list);
  if (ref.field != nullptr && ref.section != nullptr) ApiBufParser::StoreItem(*this, ref, item, text);
}

}  // namespace zp
