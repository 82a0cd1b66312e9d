#include "support/ProcessRunner.h"

#include "support/ChildProcess.h"

namespace zp::test {
namespace {

std::chrono::steady_clock::time_point Deadline(double seconds) {
  return std::chrono::steady_clock::now() +
         std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

Program::Program(std::vector<std::string> args) : child_(ChildProcess::Start(args)) {
  if (!child_) {
    streams_[0].ended = streams_[1].ended = true;
    reaped_ = true;
    return;
  }
  for (int i = 0; i < 2; ++i) readers_[i] = std::thread(&Program::Read, this, i);
}

Program::~Program() { KillAndReap(); }

bool Program::Started() const { return child_ != nullptr; }

void Program::Read(int which) {
  const bool crlf = child_->CrLfLines();
  char chunk[8192];
  for (;;) {
    const long n = child_->Read(which, chunk, sizeof chunk);
    std::lock_guard lock(mutex_);
    Stream& s = streams_[which];
    if (n <= 0) {
      if (s.last_was_cr) s.pending += '\r';
      s.ended = true;
      changed_.notify_all();
      return;
    }
    for (long i = 0; i < n; ++i) {
      const char c = chunk[i];
      if (!crlf) {
        s.pending += c;
        continue;
      }
      // "\r\n" becomes "\n"; a lone "\r" stays.
      if (s.last_was_cr && c != '\n') s.pending += '\r';
      s.last_was_cr = c == '\r';
      if (!s.last_was_cr) s.pending += c;
    }
    changed_.notify_all();
  }
}

std::string Program::Line(double seconds) {
  std::unique_lock lock(mutex_);
  Stream& s = streams_[0];
  std::size_t end = std::string::npos;
  changed_.wait_until(lock, Deadline(seconds), [&] {
    end = s.pending.find('\n');
    return end != std::string::npos || s.ended;
  });
  std::string line;
  if (end == std::string::npos) {
    line.swap(s.pending);
  } else {
    line = s.pending.substr(0, end);
    s.pending.erase(0, end + 1);
  }
  return line;
}

int Program::Finish(double seconds) {
  bool ended = false;
  {
    std::unique_lock lock(mutex_);
    ended = changed_.wait_until(lock, Deadline(seconds), [&] { return streams_[0].ended && streams_[1].ended; });
  }
  if (!ended && child_) child_->Kill();
  KillAndReap();
  std::lock_guard lock(mutex_);
  out += streams_[0].pending;
  err += streams_[1].pending;
  streams_[0].pending.clear();
  streams_[1].pending.clear();
  return ended ? status_ : -1;
}

bool Program::Stop() {
  if (!child_ || reaped_) return false;
  if (child_->RequestStop()) return true;
  child_->Kill();
  return false;
}

void Program::KillAndReap() {
  if (reaped_) return;
  {
    std::lock_guard lock(mutex_);
    if (!(streams_[0].ended && streams_[1].ended)) child_->Kill();
  }
  for (std::thread& t : readers_)
    if (t.joinable()) t.join();
  status_ = child_->Wait();
  reaped_ = true;
}

unsigned long CurrentProcessId() { return SystemProcessId(); }

}  // namespace zp::test
