#include "platform/ProgramArguments.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "platform/WideText.h"

namespace zp {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  // Should the system not split the line, the runtime's reading is better than none.
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i], std::wcslen(wide[i])));
  LocalFree(wide);
  return args;
}

}  // namespace zp
