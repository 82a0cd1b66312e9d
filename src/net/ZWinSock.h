#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Sockets.h"

// The process-wide use of the socket layer: one shared ZWinSockets that starts when the
// first user attaches and stops when the last one detaches, and the texts of the
// Windows Sockets error codes.
namespace zp {

// FStatus values.
inline constexpr std::uint8_t kWinSockStarted = 0;
inline constexpr std::uint8_t kWinSockCreated = 1;
inline constexpr std::uint8_t kWinSockStartFailed = 3;

class ZWinSockets {
 public:
  ZWinSockets() = default;
  ~ZWinSockets() { StopSockets(); }
  ZWinSockets(const ZWinSockets&) = delete;
  ZWinSockets& operator=(const ZWinSockets&) = delete;

  // Starts the socket layer and finds the local host's IPv4 addresses. Returns FStatus.
  std::uint8_t StartSockets();
  // Stops it when it was started; a second call does nothing.
  void StopSockets();
  std::uint8_t GetStatus() const { return FStatus; }

  // The calling thread's last socket error (kept in FLastError). Call on the thread
  // whose socket call failed, right after it.
  int LastError();
  std::string LastErrorText();
  static std::string SocketErrorText(int code);

  const char* HostName() const { return FHostName; }
  const std::string& DefaultAddress() const { return FDefaultAddress; }
  bool Started() const { return FStarted; }
  const WSADATA& Data() const { return FWSAData; }
  int LastErrorSeen() const { return FLastError.load(); }

 private:
  std::uint8_t FStatus = kWinSockCreated;
  WSADATA FWSAData{};
  char FHostName[128] = {};
  std::string FDefaultAddress;
  bool FStarted = false;
  std::atomic<int> FLastError{0};  // any attached thread may read its error through here
};

// Attaches a user (Name appears in the log line) and returns FStatus of the shared
// object: 0 when the socket layer runs. Any thread.
std::uint8_t AttachWinSock(const std::string& name);
// Releases one attachment; the last one stops and destroys the shared object. Detach
// takes the same lock as attach, so the object is never destroyed while an attach on
// another thread is using it. A detach without an attachment does nothing.
void DetachWinSock(const std::string& name);
// The shared object; exists (non-null) while at least one user is attached.
ZWinSockets* WinSockets();
int AttachCount();

// Turns TCP_NODELAY off on `s` (Nagle's algorithm stays on); the result is ignored.
void DisableNoDelay(SOCKET s);

// The fixed text of a Windows Sockets error code; "unknown error occurred (<code>)"
// for any other code.
std::string SocketErrorText(int code);

}  // namespace zp
