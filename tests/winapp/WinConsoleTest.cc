// The console runner on Windows, as a process against the simulator program: its runs are
// recorded in "%LOCALAPPDATA%\Zelvan Probe\history.db" by default, --history-route and
// --json --history read them back, and --report puts the earlier run in the report. Its
// console shows UTF-8; every program carries its version information.
#include <gtest/gtest.h>

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/ConsoleOutput.h"
#include "support/ProcessRunner.h"
#include "winapp/WinText.h"

namespace zp::test {
namespace {

std::filesystem::path LocalAppData() {
  wchar_t* path = nullptr;
  std::filesystem::path folder;
  if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path) == S_OK) folder = path;
  CoTaskMemFree(path);
  return folder;
}

TEST(WinConsoleRunner, RecordsInTheUsersLocalAppDataAndListsAndReportsWhatItRecorded) {
  // Routes named for this process: other tests' runs go into the same default history.
  const std::string tag = "w" + std::to_string(CurrentProcessId());
  Program sim({ZP_SIM_PROGRAM, "--route-server", "127.0.0.1:0", "--route", tag + "a", "--route",
               tag + "b fault=refused"});
  const std::string ready = sim.Line(20);
  ASSERT_EQ(ready.rfind("READY route-server=127.0.0.1:", 0), 0u) << ready;
  char port[16];
  std::snprintf(port, sizeof port, "%X", static_cast<unsigned>(std::stoi(ready.substr(ready.find(':') + 1))));
  const auto report = std::filesystem::temp_directory_path() / (tag + "-report.html");
  for (int run = 0; run < 2; ++run) {
    std::vector<std::string> args = {ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", port};
    if (run == 1) args.insert(args.end(), {"--report", report.string()});
    Program cli(args);
    EXPECT_EQ(cli.Finish(60), 1) << cli.out << cli.err;  // SOME ROUTES FAILED
  }
  EXPECT_TRUE(std::filesystem::exists(LocalAppData() / "Zelvan Probe" / "history.db"));

  Program trend({ZP_CLI_PROGRAM, "--history-route", tag + "b"});
  ASSERT_EQ(trend.Finish(30), 0) << trend.err;
  EXPECT_EQ(trend.out.rfind("Route " + tag + "b, newest first:\n", 0), 0u) << trend.out;
  EXPECT_EQ(std::count(trend.out.begin(), trend.out.end(), '\n'), 3) << trend.out;

  Program listed({ZP_CLI_PROGRAM, "--history", "50", "--json"});
  ASSERT_EQ(listed.Finish(30), 0) << listed.err;
  std::vector<nlohmann::json> ours;
  const nlohmann::json doc = nlohmann::json::parse(listed.out);
  for (const nlohmann::json& run : doc["runs"])
    if (run["failed_routes"] == nlohmann::json::array({tag + "b"})) ours.push_back(run);
  ASSERT_EQ(ours.size(), 2u) << listed.out;

  // The report of the second run holds the first one from the history.
  std::ifstream in(report, std::ios::binary);
  std::stringstream page;
  page << in.rdbuf();
  in.close();
  std::filesystem::remove(report);
  EXPECT_NE(page.str().find("<table id=\"history\">"), std::string::npos);
  EXPECT_NE(page.str().find(ours[1]["start_time"].get<std::string>().substr(0, 19)), std::string::npos);
  sim.Stop();
  sim.Finish(10);
}

TEST(WinConsoleRunner, TheConsoleShowsUtf8WhileTheProgramRuns) {
  // A console of the test's own, on the code page of an English command prompt.
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  SetStdHandle(STD_OUTPUT_HANDLE, console);
  ASSERT_TRUE(SetConsoleOutputCP(437));
  UseUtf8Console();
  EXPECT_EQ(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
}

struct Shipped {
  const char* path;
  const wchar_t* description;
};

TEST(WinPrograms, EveryProgramCarriesItsVersionInformation) {
  for (const Shipped& p : {Shipped{ZP_CLI_PROGRAM, L"Zelvan Probe console runner"},
                           Shipped{ZP_SIM_PROGRAM, L"Zelvan Probe simulated gateway"},
                           Shipped{ZP_WINDOW_PROGRAM, L"Zelvan Probe"}}) {
    const std::wstring path = WordsW(p.path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << p.path;
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data())) << p.path;
    const auto value = [&](const wchar_t* name) {
      wchar_t* text = nullptr;
      UINT length = 0;
      const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
      return VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&text), &length) && text != nullptr
                 ? std::wstring(text)
                 : std::wstring();
    };
    EXPECT_EQ(value(L"ProductVersion"), WordsW(ZP_VERSION)) << p.path;
    EXPECT_EQ(value(L"FileDescription"), p.description) << p.path;
    EXPECT_EQ(value(L"ProductName"), L"Zelvan Probe") << p.path;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) << p.path;
    const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, WordsW(ZP_VERSION)) << p.path;
  }
}

}  // namespace
}  // namespace zp::test
