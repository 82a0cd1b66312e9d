// The body builders and parsers of ZExpBuf: fixed-width text lines in the text part.
#include <cstdio>
#include <string>

#include "framework/Conversions.h"
#include "framework/Format.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {
namespace {

// Copy of `length` characters from 1-based `position`, cut at the end of `text`.
std::string_view Copy(std::string_view text, std::size_t position, std::size_t length) {
  if (position < 1 || position > text.size()) return {};
  return text.substr(position - 1, length);
}

// Text from 1-based `position` to the end.
std::string_view From(std::string_view text, std::size_t position) {
  return Copy(text, position, std::string_view::npos);
}

char CharAt(std::string_view text, std::size_t position, char absent) {
  return position >= 1 && position <= text.size() ? text[position - 1] : absent;
}

std::int32_t Number(std::string_view text, std::size_t position, std::size_t length) {
  return FieldToInt(Copy(text, position, length));
}

// Removes characters of code 32 and below at both ends.
std::string Trim(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string UpperAsciiLetters(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// %s takes a C string; the callers hand in views of any origin.
std::string CStr(std::string_view text) { return std::string(text); }

}  // namespace

void ZExpBuf::SetBody(char type, std::string_view text) {
  PacketType = type;
  SetText(text);
}

void ZExpBuf::BuildRoutesRequest(std::int32_t client_id, std::int32_t client_sub_id,
                                 std::string_view caller_name, std::string_view caller_key,
                                 char route_code) {
  const std::string text = Format("%10.10d %4.4d %-12.12s %-12.12s %c", client_id, client_sub_id,
                                  CStr(caller_name).c_str(), CStr(caller_key).c_str(), route_code);
  SetBody('R', text);
}

void ZExpBuf::BuildLogin(std::int32_t sequence, char mode, std::int32_t client_id,
                         std::int32_t client_sub_id, std::int32_t record_count,
                         std::int32_t login_flag, std::string_view caller_name,
                         std::string_view caller_address, std::int32_t option_number,
                         char option_code, std::int32_t status, std::string_view status_text) {
  std::string text = Format("//%4.4d// %c %10.10d %4.4d %4.4d %4.4d %-12.12s %-16.16s", sequence, mode,
                            client_id, client_sub_id, record_count, login_flag, CStr(caller_name).c_str(),
                            CStr(caller_address).c_str());
  if (option_number > 0) AppendFormat(text, " <%4.4d>%c", option_number, option_code);
  if (status != 0) AppendFormat(text, " %6.6d %s", status, CStr(status_text).c_str());
  SetBody('L', text);
}

void ZExpBuf::BuildLogin(const ZLoginBody& b) {
  BuildLogin(b.Sequence, b.Mode, b.ClientId, b.ClientSubId, b.RecordCount, b.LoginFlag, b.CallerName,
             b.CallerAddress, b.OptionNumber, b.OptionCode, b.Status, b.StatusText);
}

void ZExpBuf::BuildDetail(std::int32_t sequence, char mode, std::string_view label, std::int32_t status,
                          std::string_view status_text) {
  std::string text = Format("//%4.4d// %c %-4.4s", sequence, mode, CStr(label).c_str());
  if (status != 0) AppendFormat(text, " %6.6d %s", status, CStr(status_text).c_str());
  SetBody('D', text);
}

void ZExpBuf::BuildHeartbeat(std::int32_t sequence, std::string_view free_text) {
  const std::string text = Format("//%4.4d// %s", sequence, CStr(free_text).c_str());
  SetBody('H', text);
}

void ZExpBuf::BuildLogout(std::int32_t sequence, std::string_view free_text) {
  const std::string text = Format("//%4.4d// %s", sequence, CStr(free_text).c_str());
  SetBody('T', text);
}

ZLoginBody ZExpBuf::ParseLogin() const {
  const std::string_view text = TextView();
  const std::size_t length = text.size();
  ZLoginBody b;  // OptionNumber 0 and OptionCode blank in every case
  if (length < 66) {
    b.Mode = '?';
    return b;
  }
  b.Sequence = Number(text, 3, 4);
  b.Mode = text[9];
  b.ClientId = Number(text, 12, 10);
  b.ClientSubId = Number(text, 23, 4);
  b.RecordCount = Number(text, 28, 4);
  b.LoginFlag = Number(text, 33, 4);
  b.CallerName = Trim(UpperAsciiLetters(Copy(text, 38, 12)));
  b.CallerAddress = Trim(Copy(text, 51, 16));
  if (length >= 68 && text[67] == '<') {
    b.OptionNumber = Number(text, 69, 4);
    // A text of 68 to 73 characters has no option letter: it stays blank.
    b.OptionCode = CharAt(text, 74, ' ');
    if (length > 74) {
      b.Status = Number(text, 76, 6);
      b.StatusText = Trim(From(text, 83));
    }
  } else if (length > 66) {
    b.Status = Number(text, 68, 6);
    b.StatusText = Trim(From(text, 75));
  }
  return b;
}

ZStatusReply ZExpBuf::ParseStatusReply() const {
  const std::string_view text = TextView();
  ZStatusReply r;
  if (text.size() < 15) {
    r.Sequence = 9997;
    r.Mode = '*';
    r.Label = "none";
    return r;
  }
  r.Sequence = Number(text, 3, 4);
  r.Mode = text[9];
  r.Label = std::string(Copy(text, 12, 4));
  if (text.size() > 15) {
    r.Status = Number(text, 17, 6);
    r.StatusText = std::string(From(text, 24));
  }
  return r;
}

ZSequenceText ZExpBuf::ParseSequenceText() const {
  // No length test: a short text gives the sequence from whatever digits it has.
  const std::string_view text = TextView();
  return ZSequenceText{Number(text, 3, 4), std::string(From(text, 10))};
}

}  // namespace zp
