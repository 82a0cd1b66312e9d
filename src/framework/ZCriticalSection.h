#pragma once
#include <mutex>
#include <string>

namespace zp {

// A named recursive lock for data that more than one thread reaches. The name only
// identifies the lock in a debugger; nothing reads it back.
class ZCriticalSection {
 public:
  explicit ZCriticalSection(std::string name) : FName(std::move(name)) {}
  ZCriticalSection(const ZCriticalSection&) = delete;
  ZCriticalSection& operator=(const ZCriticalSection&) = delete;

  void Enter() { FLock.lock(); }
  void Leave() { FLock.unlock(); }
  const std::string& Name() const { return FName; }

  // BasicLockable, so std::lock_guard releases it on every path.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex FLock;
  std::string FName;
};

}  // namespace zp
