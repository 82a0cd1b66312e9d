#pragma once
#include <cstdint>
#include <string>

#include "client/ExchangeHost.h"

namespace zp {

// The line an exchange traces on each pass to show its state: for the first 10 s after
// it is made "<who> <seconds left> <state>", then "<who> <state>"; traced only when it
// differs from the line traced last.
class ZCountdown {
 public:
  // Counts from now; `host` must outlive it.
  explicit ZCountdown(ExchangeHost& host);

  void Show(const std::string& who, const char* state_name);

 private:
  static constexpr std::uint32_t kCountdownMs = 10000;

  ExchangeHost& FHost;
  const std::uint32_t FStart;
  std::string FLastLine;
};

}  // namespace zp
