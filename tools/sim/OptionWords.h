#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zp::sim {

// The NAME=VALUE words of one scenario directive. "fault" may repeat and takes a
// comma-separated list; every other option may be given once. Values never hold control
// characters: they end up in packet bodies and route lists, where CR and LF would split
// a list and FS would end a text part.
class OptionWords {
 public:
  // Splits `text` at blanks; ' and " quote blanks into a word and are removed. False on
  // an unterminated quote.
  static bool Split(std::string_view text, std::vector<std::string>& words, std::string& error);
  // A decimal number of at most 12 digits within 0..max.
  static bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value);
  static bool PlainText(std::string_view text);

  // Reads words[first..] as options whose names are in `known`.
  bool Read(const std::vector<std::string>& words, std::size_t first, const std::set<std::string>& known,
            std::string& error);

  const std::vector<std::string>& Faults() const { return FFaults; }
  bool HasFault(std::string_view name) const;
  // The option's value, if given; marks it as used.
  std::optional<std::string> Take(const std::string& name);
  // A number option within min..max; `value` stays empty when the option is absent.
  bool Number(const std::string& name, std::uint64_t min, std::uint64_t max, std::optional<std::uint64_t>& value,
              std::string& error);
  // Stores a number option in `field` when it is given.
  template <typename T>
  bool Number(const std::string& name, std::uint64_t min, std::uint64_t max, T& field, std::string& error) {
    std::optional<std::uint64_t> value;
    if (!Number(name, min, max, value, error)) return false;
    if (value) field = static_cast<T>(*value);
    return true;
  }
  // False when an option was given but never taken: most likely a parameter without
  // the fault that reads it.
  bool AllUsed(std::string& error) const;

 private:
  std::map<std::string, std::string> FValues;
  std::set<std::string> FUsed;
  std::vector<std::string> FFaults;
};

}  // namespace zp::sim
