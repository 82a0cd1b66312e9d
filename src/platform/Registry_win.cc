#include "platform/Registry.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "platform/WideText.h"

// The system's registry. A store's "path" is a key path that both hives share: the
// user's hive (HKEY_CURRENT_USER) is read and written, and the machine's hive
// (HKEY_LOCAL_MACHINE), which a user without administrator rights cannot write, is read
// where the user's has no such key. The default path is empty: keys straight below the
// hives' roots.
namespace zp {
namespace {

std::string SystemText(LONG code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0,
                                 nullptr);
  std::string out = n != 0 ? Narrow(text, n) : "error " + std::to_string(code);
  LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

// A key handle that closes itself.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (FHandle != nullptr) RegCloseKey(FHandle);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* Out() { return &FHandle; }
  HKEY get() const { return FHandle; }

 private:
  HKEY FHandle = nullptr;
};

Registry::Value FromSystem(std::string name, DWORD type, const BYTE* data, DWORD size) {
  Registry::Value v;
  v.name = std::move(name);
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    v.type = Registry::ValueType::String;
    std::size_t chars = size / sizeof(wchar_t);
    const auto* text = reinterpret_cast<const wchar_t*>(data);
    while (chars > 0 && text[chars - 1] == L'\0') --chars;  // the stored terminator
    v.data = Narrow(text, chars);
  } else {
    v.type = type == REG_DWORD || type == REG_QWORD ? Registry::ValueType::Integer : Registry::ValueType::Binary;
    v.data.assign(reinterpret_cast<const char*>(data), size);
  }
  return v;
}

}  // namespace

std::string Registry::DefaultPath() { return ""; }

std::string Registry::PlaceProblem(const std::string&) { return {}; }

// The system keeps nothing open between calls.
struct Registry::Store {};

Registry::Registry(std::string path) : FPath(std::move(path)) {}

Registry::~Registry() = default;

void Registry::SetGiveUp(std::function<bool()>) {}

bool Registry::Fail(const std::string& what) {
  FLastError = what;
  return false;
}

namespace {

std::wstring FullPath(const std::string& location, const std::string& key) {
  std::string path = location;
  if (!path.empty() && !key.empty()) path += '\\';
  path += key;
  return Wide(path);
}

// The user's key, or the machine's when the user has none. ERROR_SUCCESS or the reason.
LONG OpenForRead(const std::string& location, const std::string& key, Key& out) {
  const std::wstring full = FullPath(location, key);
  LONG r = RegOpenKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, KEY_READ, out.Out());
  if (r == ERROR_FILE_NOT_FOUND) r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, KEY_READ, out.Out());
  return r;
}

LONG Create(const std::string& location, const std::string& key, Key& out) {
  return RegCreateKeyExW(HKEY_CURRENT_USER, FullPath(location, key).c_str(), 0, nullptr, 0,
                         KEY_READ | KEY_WRITE, nullptr, out.Out(), nullptr);
}

LONG SetValue(HKEY key, const Registry::Value& v) {
  const std::wstring name = Wide(v.name);
  if (v.type == Registry::ValueType::String) {
    const std::wstring text = Wide(v.data);
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  if (v.type == Registry::ValueType::Integer && v.data.size() != 4 && v.data.size() != 8) {
    // A number given as text: the system keeps numbers as numbers.
    const DWORD number = static_cast<DWORD>(std::strtoul(v.data.c_str(), nullptr, 10));
    return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  }
  const DWORD type = v.type == Registry::ValueType::Binary ? REG_BINARY : v.data.size() == 8 ? REG_QWORD : REG_DWORD;
  return RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(v.data.data()),
                        static_cast<DWORD>(v.data.size()));
}

std::string HiveName(const std::string& location, const std::string& key) {
  std::string path = "HKEY_CURRENT_USER";
  if (!location.empty()) path += "\\" + location;
  if (!key.empty()) path += "\\" + key;
  return path;
}

}  // namespace

bool Registry::OpenKey(const std::string& path, bool create) {
  Key key;
  const LONG r = create ? Create(FPath, path, key) : OpenForRead(FPath, path, key);
  FAbsent = r == ERROR_FILE_NOT_FOUND;
  if (r == ERROR_SUCCESS) return true;
  return Fail((create ? "cannot create " : "cannot open ") + HiveName(FPath, path) + ": " + SystemText(r));
}

bool Registry::KeyExists(const std::string& path) {
  Key key;
  return OpenForRead(FPath, path, key) == ERROR_SUCCESS;
}

bool Registry::DeleteKey(const std::string& path) {
  const std::wstring full = FullPath(FPath, path);
  const LONG r = RegDeleteTreeW(HKEY_CURRENT_USER, full.c_str());
  if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
    return Fail("cannot delete " + HiveName(FPath, path) + ": " + SystemText(r));
  RegDeleteKeyW(HKEY_CURRENT_USER, full.c_str());
  Key still;
  return RegOpenKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, KEY_READ, still.Out()) == ERROR_FILE_NOT_FOUND;
}

std::optional<std::vector<Registry::Value>> Registry::ReadValues(const std::string& path) {
  Key key;
  if (const LONG r = OpenForRead(FPath, path, key); r != ERROR_SUCCESS) {
    Fail("no key " + HiveName(FPath, path) + ": " + SystemText(r));
    return std::nullopt;
  }
  DWORD count = 0, longest_name = 0, longest_data = 0;
  if (const LONG r = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                      &longest_name, &longest_data, nullptr, nullptr);
      r != ERROR_SUCCESS) {
    Fail("read of " + path + ": " + SystemText(r));
    return std::nullopt;
  }
  std::vector<Value> values;
  std::wstring name(longest_name + 1, L'\0');
  std::vector<BYTE> data(longest_data + sizeof(wchar_t));
  // The system lists a key's values in the order they were first written.
  for (DWORD i = 0; i < count; ++i) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG r = RegEnumValueW(key.get(), i, name.data(), &name_length, nullptr, &type, data.data(), &size);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) {
      Fail("read of " + path + ": " + SystemText(r));
      return std::nullopt;
    }
    values.push_back(FromSystem(Narrow(name.c_str(), name_length), type, data.data(), size));
  }
  return values;
}

// The system has no transaction over a key's values. The new list is written whole
// under a key of its own beside the old one, the old key goes, and the new one takes its
// name: a reader sees the old list, no list (as for a host never looked up), or the new
// list, never part of one.
bool Registry::ReplaceValues(const std::string& path, const std::vector<Value>& values) {
  static std::atomic<unsigned> counter{0};
  const auto cut = path.rfind('\\');
  const std::string parent = cut == std::string::npos ? "" : path.substr(0, cut);
  const std::string leaf = cut == std::string::npos ? path : path.substr(cut + 1);
  const std::string scratch = leaf + "~" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(counter.fetch_add(1));
  const std::string scratch_path = parent.empty() ? scratch : parent + "\\" + scratch;
  {
    Key fresh;
    if (const LONG r = Create(FPath, scratch_path, fresh); r != ERROR_SUCCESS)
      return Fail("cannot create " + HiveName(FPath, path) + ": " + SystemText(r));
    for (const Value& v : values) {
      if (const LONG r = SetValue(fresh.get(), v); r != ERROR_SUCCESS) {
        RegDeleteTreeW(HKEY_CURRENT_USER, FullPath(FPath, scratch_path).c_str());
        return Fail("write of " + v.name + ": " + SystemText(r));
      }
    }
  }
  Key parent_key;
  if (const LONG r = Create(FPath, parent, parent_key); r != ERROR_SUCCESS)
    return Fail("cannot create " + HiveName(FPath, parent) + ": " + SystemText(r));
  const std::wstring wide_leaf = Wide(leaf), wide_scratch = Wide(scratch);
  LONG r = ERROR_SUCCESS;
  // Another writer may put its list in place between our delete and our rename: then
  // its list goes and ours takes the name, as if it had come first.
  for (int attempt = 0; attempt < 50; ++attempt) {
    r = RegDeleteTreeW(parent_key.get(), wide_leaf.c_str());
    // Gone already, or going under another writer's delete: either way out of the way.
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND && r != ERROR_KEY_DELETED) break;
    RegDeleteKeyW(parent_key.get(), wide_leaf.c_str());
    r = RegRenameKey(parent_key.get(), wide_scratch.c_str(), wide_leaf.c_str());
    if (r == ERROR_SUCCESS) break;
    // Lost the race (the name was taken again, or the key went under the rename): try
    // again while our own list still waits.
    Key ours;
    if (RegOpenKeyExW(parent_key.get(), wide_scratch.c_str(), 0, KEY_READ, ours.Out()) != ERROR_SUCCESS) break;
    Sleep(static_cast<DWORD>(attempt % 3));
  }
  if (r != ERROR_SUCCESS) {
    RegDeleteTreeW(parent_key.get(), wide_scratch.c_str());
    return Fail("cannot replace " + HiveName(FPath, path) + ": " + SystemText(r));
  }
  return true;
}

bool Registry::WriteValue(const std::string& path, const Value& value) {
  Key key;
  if (const LONG r = Create(FPath, path, key); r != ERROR_SUCCESS)
    return Fail("cannot create " + HiveName(FPath, path) + ": " + SystemText(r));
  if (const LONG r = SetValue(key.get(), value); r != ERROR_SUCCESS)
    return Fail("write of " + value.name + ": " + SystemText(r));
  return true;
}

}  // namespace zp
