#include "KeyReplyText.h"

#include <algorithm>
#include <string_view>

#include "apibuf/ApiBufText.h"
#include "protocol/ProbeExpBuf.h"

namespace zp::sim {
namespace {

constexpr char kFs = 28;
constexpr int kSectionOverhead = 4;  // FS and the three digits of the number
constexpr int kLongTextWidth = 4096;
// Sections that hold one long text the client stores but never reads: padding.
constexpr std::string_view kPaddingSections[] = {"023", "024", "036"};

// Fills `text` up to exactly `size` characters with padding sections. Blanks at the
// very end are trimmed from the last field by a reader, so they pad a remainder too
// short for a section of its own.
void PadTo(std::string& text, std::size_t size) {
  for (std::string_view number : kPaddingSections) {
    const int room = static_cast<int>(size) - static_cast<int>(text.size());
    if (room < kSectionOverhead) break;
    int take = std::min(kLongTextWidth, room - kSectionOverhead);
    // Leave either nothing or enough for another section's overhead.
    const int rest = room - kSectionOverhead - take;
    if (rest > 0 && rest < kSectionOverhead) take -= kSectionOverhead;
    text.push_back(kFs);
    text.append(number);
    for (int i = 0; i < take; ++i) text.push_back(static_cast<char>('A' + i % 26));
  }
  if (text.size() < size) text.append(size - text.size(), ' ');
}

}  // namespace

std::string SimulatedKey(int length) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string key;
  key.reserve(static_cast<std::size_t>(std::max(length, 0)));
  for (int i = 0; i < length; ++i) key.push_back(kAlphabet[static_cast<std::size_t>(i * 7 + i / 64) % kAlphabet.size()]);
  return key;
}

std::string KeyReplyData(const RouteConfig& config) {
  ApiBufReply reply;
  switch (config.key_reply) {
    case KeyReplyKind::Status:
    case KeyReplyKind::Never:
      return {};
    case KeyReplyKind::ErrorIndicator:
      reply.ErrorIndicator = 'Y';
      reply.ErrorCode = 1;
      reply.ErrorShortText = "KEY ERROR";
      reply.ErrorText = config.key_error_text;
      return ComposeApiBufText(reply);
    case KeyReplyKind::Valid:
    case KeyReplyKind::Largest:
      break;
  }
  reply.PublicKey = SimulatedKey(std::clamp(config.key_length, 0, kMaxKeyLength));
  std::string text = ComposeApiBufText(reply);
  if (config.key_reply == KeyReplyKind::Largest) PadTo(text, ZExpBuf::MaxDataPart);
  return text;
}

}  // namespace zp::sim
