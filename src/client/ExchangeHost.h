#pragma once
#include <cstdint>
#include <string>

#include "framework/ProbeBaseThread.h"
#include "run/RunConstants.h"
#include "run/RunRecorder.h"

namespace zp {

// What an exchange (route discovery, profiling, key synchronisation) needs of the worker
// it runs on: tracing, status, waits that dispatch the worker's notifications, the stop
// request, the clock, the sequence counters, the result and the run record. The worker
// implements it; tests implement it with a clock of their own and no thread.
class ExchangeHost {
 public:
  virtual ~ExchangeHost() = default;

  virtual void Trace(const std::string& text) = 0;
  virtual void TraceDump(const std::string& prefix, int length, const void* data) = 0;
  virtual void SetStatusText(const std::string& text) = 0;

  // Both dispatch the worker's pending notifications; WaitForEvent returns early on the
  // signal or stop event.
  virtual void Pause(long ms) = 0;
  virtual WaitResult WaitForEvent(long ms) = 0;
  virtual void Signal() = 0;
  virtual bool StopRequested() const = 0;
  // The millisecond tick that every deadline of an exchange is measured on.
  virtual std::uint32_t Now() const = 0;

  virtual std::int32_t NextClientSequence() = 0;
  virtual std::int32_t NextCircuitSequence() = 0;

  // The gateway closed the connection: the worker's state becomes "Waiting" until the
  // dispatcher sets the next one.
  virtual void ConnectionClosed() = 0;

  virtual std::int32_t GetResultCode() const = 0;
  virtual void SetResultCode(std::int32_t code) = 0;
  virtual RunRecorder& Record() = 0;

  // Records what the worker waits for now, so that front ends can count it down: only a
  // wait with no limit of ours (`total_ms` 0) or one longer than kShortestCountedWaitMs;
  // a shorter one is over before a countdown could show. ClearWait when it ends.
  void RecordWait(WaitKind kind, const std::string& target, std::uint32_t total_ms, int attempt = 0,
                  int attempts = 0) {
    if (total_ms == 0 || total_ms > kShortestCountedWaitMs) Record().BeginWait(kind, target, total_ms, attempt, attempts);
  }
  void ClearWait() { Record().EndWait(); }
};

}  // namespace zp
