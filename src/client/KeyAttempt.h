#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "client/CircuitSteps.h"
#include "client/Countdown.h"
#include "client/ExchangeHost.h"
#include "client/GatewayConnection.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

// What key synchronisation carries from one route of its ring to the next, as the
// exchange always has: they show in the bytes and lines, so they pass on explicitly.
struct KeyRingCarry {
  // One packet object for the whole ring: a packet built takes the header fields that
  // the packet decoded or built last left behind.
  ZExpBuf packet;
  // The last final text; shown at the end even when a later route delivers the key.
  std::string final_text;
  // The route the countdown line names, until the next route's connect names its own.
  std::string name;
  std::string address;

  // The countdown line's "who" for route `index` of the ring.
  std::string Who(std::size_t index) const;
};

// The public key fetched on one route of the ring: connect, log in, ask for the key while
// keeping the circuit alive with heartbeats, check the answer, log out. Made for one
// route, run once; the ring decides what follows.
class ZKeyAttempt {
 public:
  // The numbers are those the exchange's trace has always used for its states.
  enum class State { kConnect = 0, kTxLogin = 1, kRxLogin = 2, kTxPublic = 3, kRxPublic = 4, kTxKeyPage = 5,
                     kRxKeyPage = 6, kTxLogout = 7, kNextRoute = 22, kComplete = 40, kError = 80, kExit = 99,
                     kDone = -1 };

  struct Result {
    // NextRoute, Complete, Error or Exit: what the ring does next. Meaningless after a stop.
    State next = State::kError;
    bool skipped = false;     // the entry has no address or port to try (next is NextRoute)
    bool connected = false;   // the route was connected: it becomes the route last synchronised
    std::string failure;      // why a connect failed: its socket error (the final text says nothing)
    int key_bytes = 0;        // the key's reply, when one arrived
    double key_seconds = 0;
  };

  // Route `index` of the ring, whose entry is `entry`. Everything given must outlive it.
  ZKeyAttempt(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps, ZCountdown& countdown,
              KeyRingCarry& carry, std::size_t index, std::string entry);

  // Runs until the attempt's state is one the ring acts on, or a stop. The socket stays:
  // the next connect (or the ring's end) frees it.
  Result Run();

  static const char* StateName(State state);

 private:
  void Connect();
  void TxLogin();
  void RxLogin();
  void TxPublic();
  void RxPublic();
  void TakeHeartbeat();
  void TakeKeyReply();
  void TxKeyPage();
  void BuildKeyRequest();
  bool Passed(std::uint32_t deadline) const;

  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  ZCircuitSteps& FSteps;
  ZCountdown& FCountdown;
  KeyRingCarry& FCarry;
  ZExpBuf& FPacket;
  std::string& FFinalText;
  const std::size_t FIndex;
  const std::string FEntry;

  State FState = State::kConnect;
  Result FResult;
  std::int32_t FLoginSequence = 0;
  std::string FDataCenterId;
  std::int32_t FCircuitNumber = 0;
  std::uint32_t FLoginDeadline = 0;
  std::uint32_t FKeyDeadline = 0;
  std::uint32_t FNextHeartbeat = 0;
  std::uint32_t FHeartbeatDeadline = 0;
  std::uint32_t FRequestTime = 0;
  std::vector<std::uint8_t> FBytes;
};

}  // namespace zp
