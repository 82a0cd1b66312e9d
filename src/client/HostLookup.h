#pragma once
#include <string>
#include <vector>

#include "client/ExchangeHost.h"
#include "client/HostResolver.h"

namespace zp {

class DnsCache;

// A route server's host name to its addresses: DNS first, whose answer is kept in the
// persistent cache, and the cache when DNS fails.
class ZHostLookup {
 public:
  // An empty `resolver` asks the system. Everything given must outlive it.
  ZHostLookup(ExchangeHost& host, DnsCache& cache, const HostResolver& resolver);

  // The addresses of `host` in DNS order, or as the cache has them. False when there are
  // none, or a stop came first.
  bool Lookup(const std::string& host, std::vector<std::string>& addresses);

 private:
  // Asks the resolver, giving up (false) when a stop is requested first.
  bool Resolve(const std::string& host, std::vector<std::string>& answer);
  bool FromCache(const std::string& host, std::vector<std::string>& addresses);

  ExchangeHost& FHost;
  DnsCache& FCache;
  const HostResolver& FResolver;
};

}  // namespace zp
