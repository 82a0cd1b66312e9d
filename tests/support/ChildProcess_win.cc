#include <windows.h>

#include <mutex>

#include "support/ChildProcess.h"

namespace zp::test {
namespace {

// One argument as the C runtime's command-line parser reads it back: quoted when it is
// empty or holds blanks or quotes, with the backslashes before a quote doubled.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string q = "\"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    q.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    q += c;
  }
  q.append(2 * backslashes, '\\');
  return q + "\"";
}

// UTF-8 to the system's characters: the arguments reach the child as UTF-16, as a
// command prompt passes them, whatever the ANSI code page holds.
std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// Handles made inheritable for one child must reach that child only: the pipe ends are
// made, handed over and closed again under one lock.
std::mutex& StartLock() {
  static std::mutex lock;
  return lock;
}

// Takes the console events this process causes itself while it sends one to a child.
BOOL WINAPI IgnoreConsoleEvent(DWORD type) { return type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT; }

class WindowsChild final : public ChildProcess {
 public:
  WindowsChild(PROCESS_INFORMATION info, HANDLE out, HANDLE err) : info_(info), pipes_{out, err} {}
  ~WindowsChild() override {
    for (HANDLE h : pipes_) CloseHandle(h);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }

  long Read(int stream, char* buffer, std::size_t size) override {
    DWORD n = 0;
    if (!ReadFile(pipes_[stream], buffer, static_cast<DWORD>(size), &n, nullptr)) return 0;
    return static_cast<long>(n);
  }
  int Wait() override {
    WaitForSingleObject(info_.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<int>(code);
  }
  void Kill() override { TerminateProcess(info_.hProcess, 137); }
  // Ctrl+C: a console's Ctrl+Break to all of its processes is not delivered under Wine,
  // and the programs take either as the request to stop.
  bool RequestStop() override { return SendConsoleEvent(CTRL_C_EVENT); }
  bool CrLfLines() const override { return true; }

 private:
  // A console event goes to every process of a console. Each child has a console of its
  // own, so this process joins it for the moment of sending: that works where the two
  // share none (under Wine without a terminal) and reaches the child alone. One process
  // has one console at a time, hence the lock; the event reaches this process too and is
  // taken by a handler that stays installed, since it arrives on a thread of its own.
  bool SendConsoleEvent(DWORD type) {
    static std::mutex lock;
    std::lock_guard hold(lock);
    static const BOOL ignoring = SetConsoleCtrlHandler(IgnoreConsoleEvent, TRUE);
    FreeConsole();
    bool sent = false;
    if (ignoring && AttachConsole(info_.dwProcessId)) {
      sent = GenerateConsoleCtrlEvent(type, 0) != 0;
      FreeConsole();
    }
    AttachConsole(ATTACH_PARENT_PROCESS);
    return sent;
  }

  PROCESS_INFORMATION info_;
  HANDLE pipes_[2];
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& args) {
  std::string command;
  for (const std::string& a : args) command += (command.empty() ? "" : " ") + Quoted(a);
  std::lock_guard lock(StartLock());
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_ends[2] = {}, write_ends[2] = {};
  for (int i = 0; i < 2; ++i) {
    if (!CreatePipe(&read_ends[i], &write_ends[i], &inherit, 0)) {
      for (int j = 0; j < i; ++j) CloseHandle(read_ends[j]), CloseHandle(write_ends[j]);
      return nullptr;
    }
    SetHandleInformation(read_ends[i], HANDLE_FLAG_INHERIT, 0);
  }
  HANDLE nothing = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  // A console of its own (see SendConsoleEvent), never shown.
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = nothing;
  startup.hStdOutput = write_ends[0];
  startup.hStdError = write_ends[1];
  PROCESS_INFORMATION info{};
  std::wstring wide_command = Wide(command);
  const BOOL started = CreateProcessW(Wide(args.at(0)).c_str(), wide_command.data(), nullptr, nullptr, TRUE,
                                      CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &info);
  for (HANDLE h : write_ends) CloseHandle(h);
  if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
  if (!started) {
    for (HANDLE h : read_ends) CloseHandle(h);
    return nullptr;
  }
  return std::make_unique<WindowsChild>(info, read_ends[0], read_ends[1]);
}

unsigned long SystemProcessId() { return GetCurrentProcessId(); }

}  // namespace zp::test
