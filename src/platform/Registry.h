#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zp {

// A small persistent key store in one SQLite file: keys by backslash-separated path
// (names compared without regard to letter case), each holding typed values in the
// order they were first written. Replacing a key's values is one transaction, so a
// crash or a second process never sees half a list.
//
// Errors of the store itself (cannot open the file, a corrupt file, a locked database
// past the busy time-out) are reported through LastError(); operations return false.
// On Linux the file is marked as this store's (its SQLite application id): any other
// SQLite file, the run history included, is refused and never changed, and a store
// written before the mark is taken over when it holds only the store's own tables. Its
// folder must be the user's own (see FolderProblem).
class Registry {
 public:
  enum class ValueType { String = 1, Integer = 2, Binary = 3 };

  struct Value {
    std::string name;
    ValueType type = ValueType::String;
    std::string data;
  };

  // On Linux "registry.db" in the user's state folder (see StateFolder); on Windows the
  // hives' roots.
  static std::string DefaultPath();
  // Why the store at `path` may not be used, or empty: on Linux its folder's problem (see
  // FolderProblem), or for an empty path (no state folder) why there is none; the system's
  // registry on Windows guards its keys itself.
  static std::string PlaceProblem(const std::string& path);

  explicit Registry(std::string path);
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  const std::string& Path() const { return FPath; }
  const std::string& LastError() const { return FLastError; }
  // The last failed call found no store to read (none made yet): not a fault, unlike a
  // store that is refused (another program's file, a folder others may change) or broken.
  bool Absent() const { return FAbsent; }
  // Waits for another program's hold on the store end early once `give_up` returns true
  // (a stop of the test that waits), before the first call. The system's registry on
  // Windows never keeps a caller waiting.
  void SetGiveUp(std::function<bool()> give_up);

  // True when the key exists (after creating it, when `create`).
  bool OpenKey(const std::string& path, bool create);
  bool KeyExists(const std::string& path);
  // Deletes the key, its values and its subkeys. True when it no longer exists.
  bool DeleteKey(const std::string& path);
  // Value names in stored order; nullopt when the key does not exist or the store fails.
  std::optional<std::vector<Value>> ReadValues(const std::string& path);
  // Replaces every value and subkey of `path` (creating it) with `values`, in one
  // transaction.
  bool ReplaceValues(const std::string& path, const std::vector<Value>& values);
  // Writes one value (creating the key).
  bool WriteValue(const std::string& path, const Value& value);

 private:
  // What the system's store needs kept between calls (the open file on Linux).
  struct Store;

  bool Fail(const std::string& what);

  std::string FPath;
  std::string FLastError;
  bool FAbsent = false;
  std::unique_ptr<Store> FStore;
};

}  // namespace zp
