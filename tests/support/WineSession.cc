// Keeps one Wine session up while the tests run under Wine (scripts/wine-run.sh starts it
// with its standard handles on /dev/null, before the first test of a session).
//
// Wine starts its desktop process the first time a program needs the desktop, and hands
// it that program's standard error. When that program is a test's child, the desktop
// holds the pipe the test reads the child's output from, and the test waits for its end
// until the desktop closes; and the desktop closes a second after its last user, to be
// started again, with Wine's services, by the next test. Holding the desktop from here
// keeps both up, and the desktop gets no handle of anyone else's.
//
// It leaves when it has been alone with Wine's own processes for a while, so that a
// session ends by itself after the last test.
#include <windows.h>

#include <tlhelp32.h>

#include <cwchar>
#include <initializer_list>

namespace {

// Wine's own processes, which come and go with the session and are nobody's test.
bool WinesOwn(const wchar_t* name) {
  for (const wchar_t* own : {L"services.exe", L"winedevice.exe", L"plugplay.exe", L"svchost.exe", L"rpcss.exe",
                             L"explorer.exe", L"conhost.exe", L"start.exe", L"wineboot.exe"})
    if (_wcsicmp(name, own) == 0) return true;
  return false;
}

bool OthersRunning() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return true;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool others = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !others; more = Process32NextW(snapshot, &entry))
    others = entry.th32ProcessID != GetCurrentProcessId() && !WinesOwn(entry.szExeFile);
  CloseHandle(snapshot);
  return others;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Seconds alone before leaving: the gaps between tests are far shorter.
  const int idle_limit = argc > 1 ? _wtoi(argv[1]) : 20;
  GetDesktopWindow();  // starts the desktop process if there is none
  for (int idle = 0; idle < idle_limit;) {
    Sleep(1000);
    idle = OthersRunning() ? 0 : idle + 1;
  }
  return 0;
}
