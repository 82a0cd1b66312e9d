#include "protocol/ProbeExpBuf.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "framework/Conversions.h"
#include "framework/Format.h"

namespace zp {
namespace {

// Writes `value` in decimal with at least `width` digits (leading zeros, a minus sign
// before them when negative) and keeps only the first `width` characters: a number
// too wide for its field loses its trailing digits rather than spilling into the next.
void PutNumber(std::uint8_t* out, std::int32_t value, int width) {
  char digits[10];
  int n = 0;
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  char text[24];
  int length = 0;
  if (value < 0) text[length++] = '-';
  for (int z = n; z < width; ++z) text[length++] = '0';
  while (n > 0) text[length++] = digits[--n];
  std::memcpy(out, text, static_cast<std::size_t>(width));  // length >= width
}

// Bytes 0..n-1 of `field` as bytes 0..n-1 of a word, in registers (a copy into a
// word in memory followed by one wide read stalls on the narrower stores).
template <int... I>
std::uint64_t Word(const std::uint8_t* field, std::integer_sequence<int, I...>) {
  return ((std::uint64_t{field[I]} << (8 * I)) | ...);
}

// A header number. Fields of plain digits, the usual case, are read directly; anything
// else goes through FieldToInt, which gives the same value for plain digits. The digits
// are checked and converted all at once in one 64-bit word, the field's first
// character in the lowest byte and '0' in the places in front of it: a digit-by-digit
// loop made the header cost more than copying a whole login's text.
template <int Width>
std::int32_t GetNumber(const std::uint8_t* field) {
  static_assert(Width >= 1 && Width < 8);
  constexpr std::uint64_t kZeros = 0x3030303030303030;  // '0' in every byte
  constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0;
  std::uint64_t v = Word(field, std::make_integer_sequence<int, Width>{});
  v = v << (8 * (8 - Width)) | kZeros >> (8 * Width);
  // Every byte 0x30..0x3F, and none of them past 0x39 once 6 is added (which then
  // cannot carry into the next byte).
  if ((v & kHigh) != kZeros || ((v + 0x0606060606060606) & kHigh) != kZeros)
    return FieldToInt(std::string_view(reinterpret_cast<const char*>(field), static_cast<std::size_t>(Width)));
  v -= kZeros;
  v = v * 10 + (v >> 8);  // pairs of digits: each even byte holds 10 * first + second
  v = ((v & 0x000000FF000000FF) * (100 + (1000000ULL << 32)) +
       ((v >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32))) >> 32;
  return static_cast<std::int32_t>(v);
}

// memcpy through the C library. Where it can bound the length, as it can for the parts
// cut to their buffers, GCC expands memcpy inline as "rep movsq": its start-up costs
// more than a short text part's copy, and from the odd offsets the parts have on the
// wire it moves a long data part several times slower than the library does. The
// empty asm hides the bound.
void CopyOut(void* to, const void* from, std::size_t n) {
  asm("" : "+r"(n));
  std::memcpy(to, from, n);
}

// Appends `text` left-aligned in exactly `width` characters (cut or blank-padded).
// Done by hand because a field from the wire may hold a 0 byte, which %s would end on.
void AppendPadded(std::string& line, std::string_view text, std::size_t width) {
  const std::size_t n = text.size() < width ? text.size() : width;
  line.append(text.data(), n);
  line.append(width - n, ' ');
}


}  // namespace

ZExpBuf::ZExpBuf() {
  // Recognisable filler: bytes past the used length show up plainly in a dump.
  TextPart.fill('p');
  DataPart.fill('e');
}

ZExpBuf::~ZExpBuf() {
  // Volatile so the marks are really written although nothing reads them afterwards.
  *static_cast<volatile std::uint8_t*>(&Start) = 0xFF;
  *static_cast<volatile char*>(&Signature) = 'X';
  *static_cast<volatile char*>(&Revision) = 'Y';
}

void ZExpBuf::SetText(std::string_view text) {
  std::size_t n = text.size() < MaxTextPart ? text.size() : MaxTextPart;
  if (n > 0) {
    if (const void* separator = std::memchr(text.data(), Separator, n))
      n = static_cast<std::size_t>(static_cast<const char*>(separator) - text.data());
    std::memcpy(TextPart.data(), text.data(), n);
  }
  TextLength = static_cast<std::int32_t>(n);
  TBytes = TextLength + DataLength;
}

void ZExpBuf::SetData(int length, const std::uint8_t* bytes) {
  if (length >= 0 && length <= MaxDataPart) {
    DataLength = length;
    if (length > 0) std::memcpy(DataPart.data(), bytes, static_cast<std::size_t>(length));
  }
  TBytes = TextLength + DataLength;
}

void ZExpBuf::GetData(int& length, std::uint8_t* buffer) const {
  length = DataLength;
  if (DataLength > 0) std::memcpy(buffer, DataPart.data(), static_cast<std::size_t>(DataLength));
}

void ZExpBuf::Encode(int& length, std::uint8_t* buffer) {
  // The start and end bytes are the protocol's constants, not the fields: a packet
  // decoded from a sloppy peer is still sent correctly framed.
  buffer[0] = StartByte;
  buffer[1] = SignatureByte;
  buffer[2] = RevisionByte;
  TBytes = TextLength + DataLength;
  PutNumber(buffer + TBytesOffset, TBytes, TBytesWidth);
  buffer[PacketTypeOffset] = static_cast<std::uint8_t>(PacketType);
  PutNumber(buffer + ClientSequenceOffset, ClientSequence, ClientSequenceWidth);
  const std::string_view dc = DataCenterId.View();
  std::memcpy(buffer + DataCenterIdOffset, dc.data(), dc.size());
  std::memset(buffer + DataCenterIdOffset + dc.size(), ' ', DataCenterIdWidth - dc.size());
  PutNumber(buffer + CircuitNumberOffset, CircuitNumber, CircuitNumberWidth);
  PutNumber(buffer + CircuitSequenceOffset, CircuitSequence, CircuitSequenceWidth);

  std::uint8_t* p = buffer + HeaderLength;
  if (TextLength > 0) std::memcpy(p, TextPart.data(), static_cast<std::size_t>(TextLength));
  p += TextLength;
  *p++ = Separator;
  if (DataLength > 0) std::memcpy(p, DataPart.data(), static_cast<std::size_t>(DataLength));
  p += DataLength;
  *p++ = EndMarkByte;
  *p++ = EndCheckByte;
  length = TBytes + FramingOverhead;
}

std::int32_t ZExpBuf::Decode(int available, const std::uint8_t* buffer) {
  // Every test of `available` comes before the read it guards: the bytes are a peer's
  // and may announce anything. Until the length field has arrived TBytes is 0, so a
  // caller that looks at it after -1 never sees the length of an earlier packet.
  auto need_more = [this] {
    TBytes = 0;
    return -1;
  };
  if (available < 1) return need_more();
  Start = buffer[0];
  if (available < 2) return need_more();
  Signature = static_cast<char>(buffer[1]);
  if (buffer[1] != SignatureByte) return 0;
  if (available < 3) return need_more();
  Revision = static_cast<char>(buffer[2]);
  if (buffer[2] != RevisionByte) return 0;
  if (available < TBytesOffset + TBytesWidth) return need_more();
  TBytes = GetNumber<TBytesWidth>(buffer + TBytesOffset);  // at most 999999
  // A negative length cannot frame anything. Answering 0 makes the receiver drop one
  // byte and look for the next start triple instead of consuming a bogus count.
  if (TBytes < 0) return 0;
  if (TBytes + FramingOverhead > available) return -1;

  // The separator must lie within the announced length. Without one the length and
  // the content disagree; again 0, so the receiver re-synchronises on the next start
  // triple rather than swallowing bytes that may belong to the next packet.
  const std::uint8_t* text = buffer + HeaderLength;
  const void* separator = std::memchr(text, Separator, static_cast<std::size_t>(TBytes) + 1);
  if (separator == nullptr) return 0;
  const std::int32_t t = static_cast<std::int32_t>(static_cast<const std::uint8_t*>(separator) - text);
  const std::int32_t d = TBytes - t;

  PacketType = static_cast<char>(buffer[PacketTypeOffset]);
  ClientSequence = GetNumber<ClientSequenceWidth>(buffer + ClientSequenceOffset);
  DataCenterId.Assign(std::string_view(reinterpret_cast<const char*>(buffer + DataCenterIdOffset), DataCenterIdWidth));
  CircuitNumber = GetNumber<CircuitNumberWidth>(buffer + CircuitNumberOffset);
  CircuitSequence = GetNumber<CircuitSequenceWidth>(buffer + CircuitSequenceOffset);

  // Oversized parts are cut to the buffers; the packet is still consumed whole.
  TextLength = t < MaxTextPart ? t : MaxTextPart;
  if (TextLength > 0) CopyOut(TextPart.data(), text, static_cast<std::size_t>(TextLength));
  DataLength = d < MaxDataPart ? d : MaxDataPart;
  if (DataLength > 0) CopyOut(DataPart.data(), text + t + 1, static_cast<std::size_t>(DataLength));

  // Not checked: a packet with other end bytes is accepted.
  EndMark = buffer[HeaderLength + 1 + TBytes];
  EndCheck = buffer[HeaderLength + 2 + TBytes];
  return TBytes + FramingOverhead;
}

const char* ZExpBuf::PacketTypeName(char letter) {
  switch (letter) {
    case 'D': return "Detail";
    case 'H': return "Heartbeat";
    case 'K': return "KeyPage";
    case 'L': return "Login";
    case 'P': return "PublicKey";
    case 'R': return "Routes";
    case 'T': return "Logout";
    default: return "Unrecognized";
  }
}

std::string ZExpBuf::HeaderLine(const std::string& tag) const {
  // "%-8.8s %-1.1s%-1.1s (%-1.1s)%-12.12s %4d %-4.4s %6.6d cli%4.4d seq%4.4d"
  std::string line;
  line.reserve(80 + static_cast<std::size_t>(TextLength));
  AppendPadded(line, "<" + tag + ">", 8);
  line += ' ';
  line += Signature;
  line += Revision;
  line += " (";
  line += PacketType;
  line += ')';
  AppendPadded(line, PacketTypeName(PacketType), 12);
  AppendFormat(line, " %4d ", TBytes);
  AppendPadded(line, DataCenterId.View(), 4);
  AppendFormat(line, " %6.6d cli%4.4d seq%4.4d", CircuitNumber, ClientSequence, CircuitSequence);
  if (TextLength > 0) {
    line += " \"";
    line += TextView();
    line += '"';
  }
  line += " //0//";
  return line;
}

std::vector<std::string> ZExpBuf::HeaderLines(const std::string& tag) const {
  if (std::strcmp(PacketTypeName(PacketType), "Unrecognized") == 0) return FieldLines(tag);
  return {HeaderLine(tag)};
}

std::vector<std::string> ZExpBuf::FieldLines(const std::string& tag) const {
  const std::string lead = tag + '\t';
  std::vector<std::string> lines;
  lines.reserve(8);
  lines.push_back(lead + "Signature\t" + Signature);
  lines.push_back(lead + "Revision\t" + Revision);
  std::string line = lead + "TBytes\t";
  AppendFormat(line, "%d", TBytes);
  lines.push_back(line);
  lines.push_back(lead + "PacketType\t" + PacketType);
  line = lead + "ClientSequence\t";
  AppendFormat(line, "%4.4d", ClientSequence);
  lines.push_back(line);
  lines.push_back(lead + "DataCenterId\t" + DataCenterId.Str());
  line = lead + "CircuitNumber\t";
  AppendFormat(line, "%6.6d", CircuitNumber);
  lines.push_back(line);
  line = lead + "CircuitSequence\t";
  AppendFormat(line, "%4.4d", CircuitSequence);
  lines.push_back(line);
  return lines;
}

}  // namespace zp
