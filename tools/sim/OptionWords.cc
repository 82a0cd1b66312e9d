#include "OptionWords.h"

#include <sstream>

namespace zp::sim {

bool OptionWords::Split(std::string_view text, std::vector<std::string>& words, std::string& error) {
  words.clear();
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (const char c : text) {
    if (quote != 0) {
      if (c == quote)
        quote = 0;
      else
        word += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      in_word = true;  // '' is an empty word, not nothing
    } else if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quote != 0) {
    error = std::string("unterminated ") + quote + " quote";
    return false;
  }
  if (in_word) words.push_back(std::move(word));
  return true;
}

bool OptionWords::ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value) {
  if (text.empty() || text.size() > 12) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value <= max;
}

bool OptionWords::PlainText(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 32 || c == 127) return false;
  return true;
}

bool OptionWords::Read(const std::vector<std::string>& words, std::size_t first, const std::set<std::string>& known,
                       std::string& error) {
  for (std::size_t i = first; i < words.size(); ++i) {
    const std::string& w = words[i];
    const std::size_t eq = w.find('=');
    if (eq == std::string::npos || eq == 0) {
      error = "expected NAME=VALUE, got '" + w + "'";
      return false;
    }
    const std::string name = w.substr(0, eq), value = w.substr(eq + 1);
    if (!known.count(name)) {
      error = "unknown option '" + name + "'";
      return false;
    }
    if (!PlainText(value)) {
      error = "option '" + name + "' holds a control character";
      return false;
    }
    if (name == "fault") {
      std::stringstream list(value);
      for (std::string f; std::getline(list, f, ',');)
        if (!f.empty()) FFaults.push_back(f);
      continue;
    }
    if (!FValues.emplace(name, value).second) {
      error = "option '" + name + "' given twice";
      return false;
    }
  }
  return true;
}

bool OptionWords::HasFault(std::string_view name) const {
  for (const std::string& f : FFaults)
    if (f == name) return true;
  return false;
}

std::optional<std::string> OptionWords::Take(const std::string& name) {
  const auto it = FValues.find(name);
  if (it == FValues.end()) return std::nullopt;
  FUsed.insert(name);
  return it->second;
}

bool OptionWords::Number(const std::string& name, std::uint64_t min, std::uint64_t max,
                         std::optional<std::uint64_t>& value, std::string& error) {
  const auto text = Take(name);
  if (!text) return true;
  std::uint64_t n = 0;
  if (!ParseNumber(*text, max, n) || n < min) {
    error = name + " must be a number from " + std::to_string(min) + " to " + std::to_string(max);
    return false;
  }
  value = n;
  return true;
}

bool OptionWords::AllUsed(std::string& error) const {
  for (const auto& [name, value] : FValues)
    if (!FUsed.count(name)) {
      error = "option '" + name + "' is used by none of the faults given";
      return false;
    }
  return true;
}

}  // namespace zp::sim
