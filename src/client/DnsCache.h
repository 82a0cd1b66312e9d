#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zp {

class Registry;

// The route servers' addresses as last resolved, per host name, kept in the persistent
// key store under "Software\Zelvan Corporation\DNS\<host>" as string values "0", "1", …
// in DNS order.
class DnsCache {
 public:
  static constexpr const char* kRootKey = "Software\\Zelvan Corporation\\DNS";

  enum class LoadResult { Found, NoRoot, NoHost };

  // The store file; see Registry::DefaultPath for the default. A wait for another
  // program's hold on the store ends early once `give_up` returns true (the test's stop):
  // a locked store must not keep a stopped test waiting.
  explicit DnsCache(std::string store_path, std::function<bool()> give_up = {});
  ~DnsCache();

  // Replaces the host's list in one transaction. Raises ZError "Failed to set data for
  // '%s'" (the first value name) when the store refuses; `reason` gets the store's own
  // words first, for the trace.
  void Save(const std::string& host, const std::vector<std::string>& addresses, std::string& reason);

  // Reads the host's list in stored order. A value that is not a string raises ZError
  // "Invalid data type for '%s'" with its name.
  LoadResult Load(const std::string& host, std::vector<std::string>& addresses);
  // Why the last Load found no root when the store is there but refused or unreadable (a
  // file of another program, a folder another user may change); empty when there is
  // simply no store yet.
  const std::string& Problem() const { return FProblem; }

 private:
  std::unique_ptr<Registry> FRegistry;
  std::string FProblem;
};

}  // namespace zp
