// The console runner on Windows, as a process against the simulator program: its runs are
// recorded in "%LOCALAPPDATA%\Zelvan Probe\history.db" by default, --history-route and
// --json --history read them back, and --report puts the earlier run in the report. Names
// outside the ANSI code page (a route's, a user's folder) stay whole from the command
// line to the files, the listings and the console; every program carries its version
// information.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "GatewaySimulator.h"
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

const std::string kRoute = "Z\u00FCrich\u2014\u03B2";

// A folder of this test's own under a name no ANSI code page holds, as the system names it
// and in UTF-8; removed with what it holds.
struct ForeignFolder {
  ForeignFolder()
      : path(std::filesystem::temp_directory_path() / (L"J\u00FCrgen\u2014\u03B2-" + std::to_wstring(CurrentProcessId()))),
        utf8(Utf8(path.wstring())) {
    std::filesystem::create_directories(path);
  }
  ~ForeignFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path)) names.push_back(Utf8(e.path().filename().wstring()));
    std::sort(names.begin(), names.end());
    return names;
  }
  const std::filesystem::path path;
  const std::string utf8;
};

// A gateway with a route under the foreign name beside r1 (both reach r1's peer).
struct ForeignGateway {
  ForeignGateway() {
    const std::string r1 = sim.AddRoute({.name = "r1"});
    port = sim.AddRouteServer({.port = 0, .extra_lines = {kRoute + r1.substr(r1.find('='))}});
    sim.Start();
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(port));
    port_hex = hex;
  }
  ~ForeignGateway() { sim.Stop(); }
  sim::GatewaySimulator sim;
  std::uint16_t port = 0;
  std::string port_hex;
};

// The arguments go to the programs as UTF-16 (as a command prompt passes them), and the
// names come back whole: in the JSON, the history's listings, the report and the folder.
TEST(WinConsoleRunner, NamesOutsideTheCodePageStayWholeFromTheCommandLineToTheFiles) {
  ForeignGateway gateway;
  ForeignFolder folder;
  const std::string db = folder.utf8 + "\\history.db";
  const std::string report = folder.utf8 + "\\Bericht-Z\u00FCrich.html";
  Program cli({ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", gateway.port_hex, "--history-db", db, "--report",
               report, "--json"});
  ASSERT_EQ(cli.Finish(60), 0) << cli.out << cli.err;
  const nlohmann::json run = nlohmann::json::parse(cli.out);
  ASSERT_EQ(run["routes"].size(), 2u) << cli.out;
  EXPECT_EQ(run["routes"][1]["name"], kRoute);

  Program trend({ZP_CLI_PROGRAM, "--history-route", kRoute, "--history-db", db});
  ASSERT_EQ(trend.Finish(30), 0) << trend.err;
  EXPECT_EQ(Lines(trend.out).at(0), "Route " + kRoute + ", newest first:");
  EXPECT_EQ(Lines(trend.out).size(), 2u) << trend.out;
  Program listed({ZP_CLI_PROGRAM, "--history", "--json", "--history-db", db});
  ASSERT_EQ(listed.Finish(30), 0) << listed.err;
  EXPECT_EQ(nlohmann::json::parse(listed.out)["runs"][0]["routes"][1]["name"], kRoute);

  // Exactly the two files, under their names: no stray temporary beside them.
  EXPECT_THAT(folder.Names(), ::testing::ElementsAre("Bericht-Z\u00FCrich.html", "history.db"));
  std::ifstream in(folder.path / L"Bericht-Z\u00FCrich.html", std::ios::binary);
  std::stringstream page;
  page << in.rdbuf();
  EXPECT_NE(page.str().find(kRoute), std::string::npos);
}

// A console of the test's own, on the code page of an English command prompt; the console
// runner writes into it (its standard output and error are the console), and what the
// console holds afterwards is read back as characters.
TEST(WinConsoleRunner, TheConsoleShowsEveryCharacterWhateverItsCodePage) {
  ForeignGateway gateway;
  ForeignFolder folder;
  const std::string db = folder.utf8 + "\\history.db";
  Program recorded({ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", gateway.port_hex, "--history-db", db});
  ASSERT_EQ(recorded.Finish(60), 0) << recorded.out << recorded.err;

  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  ASSERT_TRUE(SetConsoleOutputCP(437));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(console, INVALID_HANDLE_VALUE);
  // Wide enough that no line wraps.
  ASSERT_TRUE(SetConsoleScreenBufferSize(console, COORD{1000, 100}));
  // The route's trend on standard output; a usage error naming the folder on standard error.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--history-route", kRoute, "--history-db", db},
        {"--report", folder.utf8 + "\\gone\\x.html"}}) {
    std::wstring command = L"zelvan-probe-cli";
    for (const std::string& a : args) command += L" \"" + WordsW(a) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = console;
    startup.hStdError = console;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(WordsW(ZP_CLI_PROGRAM).c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                               nullptr, &startup, &info));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 30000), WAIT_OBJECT_0);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }

  CONSOLE_SCREEN_BUFFER_INFO screen{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(console, &screen));
  const auto width = static_cast<std::size_t>(screen.dwSize.X);
  std::vector<std::wstring> rows;
  for (SHORT y = 0; y <= screen.dwCursorPosition.Y; ++y) {
    std::wstring row(width, L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, row.data(), static_cast<DWORD>(width), COORD{0, y}, &read);
    row.resize(read);
    while (!row.empty() && row.back() == L' ') row.pop_back();
    rows.push_back(row);
  }
  CloseHandle(console);
  const std::wstring shown = [&] {
    std::wstring all;
    for (const std::wstring& row : rows) all += row + L"\n";
    return all;
  }();
  EXPECT_EQ(rows.at(0), L"Route " + WordsW(kRoute) + L", newest first:") << Utf8(shown);
  EXPECT_NE(shown.find(L"no such folder: " + folder.path.wstring() + L"\\gone"), std::wstring::npos) << Utf8(shown);
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
