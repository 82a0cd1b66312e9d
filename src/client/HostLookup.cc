#include "client/HostLookup.h"

#include <memory>
#include <mutex>
#include <thread>

#include "client/DnsCache.h"
#include "framework/Errors.h"
#include "framework/Format.h"
#include "net/ZWinSock.h"

namespace zp {

namespace {

constexpr long kLookupPollMs = 10;

}  // namespace

ZHostLookup::ZHostLookup(ExchangeHost& host, DnsCache& cache, const HostResolver& resolver)
    : FHost(host), FCache(cache), FResolver(resolver) {}

bool ZHostLookup::Lookup(const std::string& host, std::vector<std::string>& addresses) {
  addresses.clear();
  std::vector<std::string> answer;
  const bool answered = Resolve(host, answer);
  if (FHost.StopRequested()) return false;
  if (!answered) return FromCache(host, addresses);
  for (std::size_t i = 0; i < answer.size(); ++i) {
    addresses.push_back(answer[i]);
    FHost.Trace(Format("[%d] Address \"%s\"", static_cast<int>(i), answer[i].c_str()));
  }
  FHost.Trace("Saving DNS lookup to registry");
  std::string reason;
  try {
    FCache.Save(host, addresses, reason);
  } catch (const ZError& e) {
    // The cache only serves a later test whose DNS fails: a store that cannot be
    // written (locked by another program, a read-only folder) must not fail this one,
    // whose DNS has answered.
    FHost.Trace(reason);
    FHost.Trace(e.what());
    FHost.Trace("Warning: DNS cache not written - going on with the addresses DNS gave");
  }
  return !addresses.empty();
}

bool ZHostLookup::FromCache(const std::string& host, std::vector<std::string>& addresses) {
  FHost.Trace("DNS lookup failed - Looking for cached DNS entries in registry");
  DnsCache::LoadResult loaded = DnsCache::LoadResult::NoHost;
  try {
    loaded = FCache.Load(host, addresses);
  } catch (const ZError& e) {
    // A damaged entry is as good as none: the test goes on without it.
    FHost.Trace(e.what());
    FHost.Trace("Warning: cached DNS entries for " + host + " unreadable - ignored");
    addresses.clear();
    return false;
  }
  switch (loaded) {
    case DnsCache::LoadResult::NoRoot:
      if (!FCache.Problem().empty()) FHost.Trace("Warning: DNS cache not read: " + FCache.Problem());
      FHost.Trace("Can't open DNS reg key");
      return false;
    case DnsCache::LoadResult::NoHost:
      FHost.Trace("No cached DNS entries found for " + host);
      return false;
    case DnsCache::LoadResult::Found:
      break;
  }
  if (addresses.empty()) {
    FHost.Trace("No cached DNS entries found");
    return false;
  }
  FHost.Trace(Format("Found %d cached DNS entries", static_cast<int>(addresses.size())));
  return true;
}

// The system's DNS may take many seconds to give up, and a stop must not wait for it: the
// lookup runs on a thread of its own, which is left to end alone when a stop comes first.
// Everything it touches is its own or shared with it. A resolver given by a test answers
// at once, in line.
bool ZHostLookup::Resolve(const std::string& host, std::vector<std::string>& answer) {
  if (FResolver) return FResolver(host, answer);
  struct Lookup {
    std::mutex FLock;
    bool FDone = false;
    bool FAnswered = false;
    std::vector<std::string> FAddresses;
  };
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host] {
    std::vector<std::string> addresses;
    const bool answered = WsResolveIPv4(host, addresses);
    std::lock_guard guard(lookup->FLock);
    lookup->FAnswered = answered;
    lookup->FAddresses = std::move(addresses);
    lookup->FDone = true;
  }).detach();
  for (;;) {
    {
      std::lock_guard guard(lookup->FLock);
      if (lookup->FDone) {
        answer = std::move(lookup->FAddresses);
        return lookup->FAnswered;
      }
    }
    if (FHost.StopRequested()) return false;
    FHost.Pause(kLookupPollMs);
  }
}

}  // namespace zp
