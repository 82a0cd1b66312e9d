#include "client/Countdown.h"

#include "framework/Format.h"

namespace zp {

ZCountdown::ZCountdown(ExchangeHost& host) : FHost(host), FStart(host.Now()) {}

void ZCountdown::Show(const std::string& who, const char* state_name) {
  const std::uint32_t elapsed = FHost.Now() - FStart;
  const std::string line = elapsed < kCountdownMs ? Format("%s %d %s", who.c_str(),
                                                           static_cast<int>((kCountdownMs - elapsed) / 1000 + 1),
                                                           state_name)
                                                  : Format("%s %s", who.c_str(), state_name);
  if (line == FLastLine) return;
  FHost.Trace(line);
  FLastLine = line;
}

}  // namespace zp
