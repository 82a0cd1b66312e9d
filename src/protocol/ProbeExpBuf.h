#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/WireSizes.h"
#include "protocol/MessageBodies.h"
#include "protocol/RangeList.h"
#include "protocol/ZShortText.h"

namespace zp {

// One probe packet: header fields, a text part carrying the message body and a binary
// data part, all in fixed buffers inside the object. Encodes itself into a caller's
// buffer, decodes itself from the start of received bytes and traces its header.
// One object serves one exchange on one thread; every build or decode overwrites the
// fields in place, and fields a step does not touch keep their previous values.
class ZExpBuf {
 public:
  // Wire layout: start triple, header numbers, text part, separator, data part, end.
  static constexpr int StartBytes = 3;                   // 0x01 'S' 'a'
  static constexpr int TBytesOffset = StartBytes;        // 6 digits
  static constexpr int TBytesWidth = 6;
  static constexpr int PacketTypeOffset = TBytesOffset + TBytesWidth;                  // 9
  static constexpr int ClientSequenceOffset = PacketTypeOffset + 1;                    // 10
  static constexpr int ClientSequenceWidth = 4;
  static constexpr int DataCenterIdOffset = ClientSequenceOffset + ClientSequenceWidth;  // 14
  static constexpr int DataCenterIdWidth = 4;
  static constexpr int CircuitNumberOffset = DataCenterIdOffset + DataCenterIdWidth;     // 18
  static constexpr int CircuitNumberWidth = 6;
  static constexpr int CircuitSequenceOffset = CircuitNumberOffset + CircuitNumberWidth;  // 24
  static constexpr int CircuitSequenceWidth = 4;
  static constexpr int HeaderLength = CircuitSequenceOffset + CircuitSequenceWidth;      // 28
  // Header, the separator after the text part, and the two end bytes.
  static constexpr int FramingOverhead = HeaderLength + 1 + 2;  // 31
  static constexpr int MaxTextPart = wire::kMaxTextPart;
  static constexpr int MaxDataPart = wire::kMaxDataPart;
  static constexpr int MaxTBytes = MaxTextPart + MaxDataPart;                      // 5832
  static constexpr int MaxPacketLength = wire::kMaxPacketLength;
  static_assert(HeaderLength == wire::kHeaderLength && FramingOverhead == wire::kFramingOverhead);

  static constexpr std::uint8_t StartByte = 0x01;
  static constexpr std::uint8_t SignatureByte = 'S';
  static constexpr std::uint8_t RevisionByte = 'a';
  static constexpr std::uint8_t Separator = 0x1C;
  static constexpr std::uint8_t EndMarkByte = 0x03;
  static constexpr std::uint8_t EndCheckByte = 0xFA;

  ZExpBuf();
  // Marks the object as destroyed (Start 0xFF, "X", "Y") so a stale one is recognisable.
  ~ZExpBuf();
  ZExpBuf(const ZExpBuf&) = default;
  ZExpBuf& operator=(const ZExpBuf&) = default;

  // Header fields the client sets before Encode and reads after Decode.
  char PacketType = '?';
  std::int32_t ClientSequence = 0;
  ZShortText<4> DataCenterId;
  std::int32_t CircuitNumber = 0;
  std::int32_t CircuitSequence = 0;

  // Stores the text part and updates TBytes. The text is cut before its first 0x1C
  // byte (a receiver would end the text there) and after MaxTextPart bytes.
  void SetText(std::string_view text);
  std::string GetText() const { return std::string(TextView()); }
  // The stored text part; valid until the next change of this packet.
  std::string_view TextView() const { return {TextPart.data(), static_cast<std::size_t>(TextLength)}; }

  // With length 0..MaxDataPart stores the bytes; with any other length leaves the data
  // part as it was. TBytes is updated in both cases.
  void SetData(int length, const std::uint8_t* bytes);
  // Copies the data part into `buffer`, which must hold MaxDataPart bytes.
  void GetData(int& length, std::uint8_t* buffer) const;
  // The stored data part; valid until the next change of this packet.
  std::span<const std::uint8_t> DataView() const {
    return {DataPart.data(), static_cast<std::size_t>(DataLength)};
  }

  // Writes the packet into `buffer` (at least MaxPacketLength bytes); `length` is the
  // number of bytes written, TBytes + FramingOverhead.
  void Encode(int& length, std::uint8_t* buffer);

  // Reads a packet from the start of `buffer`, never beyond `available` bytes.
  // Returns 0 when no packet starts here (wrong signature or revision, or a malformed
  // packet: negative length or no separator within it), -1 when more bytes are needed,
  // else the packet's length TBytes + FramingOverhead (never more than `available`).
  // On 0 and -1 only Start, Signature, Revision and TBytes may have changed; after -1
  // TBytes is the announced length, or 0 while the length field is incomplete.
  std::int32_t Decode(int available, const std::uint8_t* buffer);

  // "Detail", "Heartbeat", ... for a known letter, else "Unrecognized".
  static const char* PacketTypeName(char letter);

  // The header's trace lines: HeaderLine for a known type, else FieldLines.
  std::vector<std::string> HeaderLines(const std::string& tag) const;
  // The header as eight "tag\tfield\tvalue" lines.
  std::vector<std::string> FieldLines(const std::string& tag) const;
  // The one-line header view of a known type.
  std::string HeaderLine(const std::string& tag) const;

  // Body builders: each sets PacketType and the text part, nothing else.
  void BuildRoutesRequest(std::int32_t client_id, std::int32_t client_sub_id,
                          std::string_view caller_name, std::string_view caller_key,
                          char route_code);
  void BuildLogin(std::int32_t sequence, char mode, std::int32_t client_id,
                  std::int32_t client_sub_id, std::int32_t record_count, std::int32_t login_flag,
                  std::string_view caller_name, std::string_view caller_address,
                  std::int32_t option_number, char option_code, std::int32_t status,
                  std::string_view status_text);
  void BuildLogin(const ZLoginBody& body);
  void BuildDetail(std::int32_t sequence, char mode, std::string_view label, std::int32_t status,
                   std::string_view status_text);
  void BuildHeartbeat(std::int32_t sequence, std::string_view free_text);
  void BuildLogout(std::int32_t sequence, std::string_view free_text);

  // Body parsers: read the text part whatever PacketType says (the caller checks it).
  ZLoginBody ParseLogin() const;
  ZStatusReply ParseStatusReply() const;
  ZSequenceText ParseSequenceText() const;

  // Read-only views of the framing fields.
  std::uint8_t GetStart() const { return Start; }
  char GetSignature() const { return Signature; }
  char GetRevision() const { return Revision; }
  std::int32_t GetTBytes() const { return TBytes; }
  std::int32_t GetTextLength() const { return TextLength; }
  std::int32_t GetDataLength() const { return DataLength; }
  std::uint8_t GetEndMark() const { return EndMark; }
  std::uint8_t GetEndCheck() const { return EndCheck; }

 private:
  void SetBody(char type, std::string_view text);

  std::uint8_t Start = StartByte;
  char Signature = 'S';
  char Revision = 'a';
  std::int32_t TBytes = 0;
  std::int32_t TextLength = 0;
  std::int32_t DataLength = 0;
  std::uint8_t EndMark = EndMarkByte;
  std::uint8_t EndCheck = EndCheckByte;
  std::array<char, MaxTextPart> TextPart;
  std::array<std::uint8_t, MaxDataPart> DataPart;
};

}  // namespace zp
