#include "platform/SystemName.h"

#include <windows.h>

#include <cstdio>

namespace zp {

// The version the system reports of itself (RtlGetVersion is not subject to the
// compatibility shims that make GetVersionEx lie), and Wine's own version when the
// program runs under it: a support engineer needs both.
std::string SystemName() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  using GetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  using WineVersionFn = const char*(CDECL*)();
  const auto get_version =
      reinterpret_cast<GetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  char text[160] = "Windows";
  if (get_version != nullptr && get_version(&info) == 0) {
    std::snprintf(text, sizeof text, "Windows %lu.%lu.%lu x86_64", info.dwMajorVersion, info.dwMinorVersion,
                  info.dwBuildNumber);
  }
  std::string name = text;
  if (const auto wine = reinterpret_cast<WineVersionFn>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
      wine != nullptr) {
    name += std::string(" (Wine ") + wine() + ")";
  }
  return name;
}

}  // namespace zp
