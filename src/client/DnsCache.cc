#include "client/DnsCache.h"

#include "framework/Errors.h"
#include "platform/Registry.h"

namespace zp {

DnsCache::DnsCache(std::string store_path, std::function<bool()> give_up)
    : FRegistry(std::make_unique<Registry>(std::move(store_path))) {
  FRegistry->SetGiveUp(std::move(give_up));
}

DnsCache::~DnsCache() = default;

void DnsCache::Save(const std::string& host, const std::vector<std::string>& addresses,
                    std::string& reason) {
  std::vector<Registry::Value> values;
  for (std::size_t i = 0; i < addresses.size(); ++i)
    values.push_back({std::to_string(i), Registry::ValueType::String, addresses[i]});
  const std::string key = std::string(kRootKey) + "\\" + host;
  if (FRegistry->ReplaceValues(key, values)) return;
  reason = FRegistry->LastError();
  throw ZError("Failed to set data for '0'");
}

DnsCache::LoadResult DnsCache::Load(const std::string& host, std::vector<std::string>& addresses) {
  addresses.clear();
  FProblem.clear();
  if (!FRegistry->OpenKey(kRootKey, false)) {
    if (!FRegistry->Absent()) FProblem = FRegistry->LastError();
    return LoadResult::NoRoot;
  }
  const auto values = FRegistry->ReadValues(std::string(kRootKey) + "\\" + host);
  if (!values) return LoadResult::NoHost;
  for (const Registry::Value& v : *values) {
    if (v.type != Registry::ValueType::String) throw ZError("Invalid data type for '" + v.name + "'");
    addresses.push_back(v.data);
  }
  return LoadResult::Found;
}

}  // namespace zp
