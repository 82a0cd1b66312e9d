// Route profiling: every route is connected, logged in, sent the detail records, scored
// from the heartbeat that reports on them, and logged out.
#include <algorithm>
#include <limits>
#include <vector>

#include "client/ClientFormat.h"
#include "client/ProbeExpressClientThread.h"
#include "client/RouteEntry.h"
#include "platform/LocalTime.h"
#include "platform/Tick.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

namespace {

enum ProfileState { kConnect = 0, kTxLogin = 1, kRxLogin = 2, kTxDetail = 3, kRxHeartbeat = 4,
                    kTxLogout = 7, kComplete = 40, kExit = 99 };

constexpr std::uint32_t kReplyTimeoutMs = 5000;
constexpr std::uint32_t kCountdownMs = 10000;
constexpr int kMaxLoginRetries = 2;

const char* ProfileStateName(int state) {
  switch (state) {
    case kConnect: return "Connect";
    case kTxLogin: return "TxLogin";
    case kRxLogin: return "RxLogin";
    case kTxDetail: return "TxDetail";
    case kRxHeartbeat: return "RxHeartbeat";
    case kTxLogout: return "TxLogout";
    case kExit: return "Exit";
    case kComplete: return "Complete";
    default: return "Invalid";
  }
}

// Blocks of characters 0x20 to 0x7F, then one more blank, repeated.
std::string DetailPayload(int blocks, int block_size) {
  std::string payload;
  for (int b = 0; b < blocks; ++b) {
    char c = 0x20;
    for (int i = 0; i < block_size; ++i) {
      payload += c;
      c = c == 0x7F ? 0x20 : static_cast<char>(c + 1);
    }
  }
  return payload;
}

}  // namespace

void ZExpressTcpClientThread::ProfileRoutes() {
  std::size_t failed = 0;
  std::size_t profiled = 0;
  for (RouteEntry& entry : FRoutes) {
    if (Terminated()) break;
    const std::int32_t score = ProfileRoute(entry.text);
    Trace(Format("%s Score(%d)", entry.text.c_str(), score));
    if (score == FDetailRecords) {
      SetResultCode(kResultSomeRoutesFailed);
      ++failed;
    }
    entry.score = score;
    ++profiled;
  }
  if (profiled == FRoutes.size() && failed == FRoutes.size()) SetResultCode(kResultFailure);
}

std::int32_t ZExpressTcpClientThread::ProfileRoute(const std::string& entry_text) {
  const std::string payload = DetailPayload(FDetailBlocks, FDetailBlockSize);
  const std::uint32_t countdown_start = GetTickCount();
  std::int32_t score = FDetailRecords;
  std::string name, address, final_text, last_line;
  std::uint32_t start_tick = countdown_start;
  std::uint32_t deadline = 0;
  std::int32_t login_sequence = 0;
  std::int32_t circuit_number = 0;
  int retries = 0;
  int state = kConnect;
  ZExpBuf packet(OnTrace());
  std::vector<std::uint8_t> bytes(ZExpBuf::MaxPacketLength);
  std::string error;


  while (!Terminated() && state != -1) {
    Pause(50);
    const std::uint32_t elapsed = GetTickCount() - countdown_start;
    const std::string line =
        elapsed < kCountdownMs
            ? Format("%s %s %d %s", name.c_str(), address.c_str(),
                     static_cast<int>((kCountdownMs - elapsed) / 1000 + 1), ProfileStateName(state))
            : Format("%s %s %s", name.c_str(), address.c_str(), ProfileStateName(state));
    TraceChanged(line, last_line);

    switch (state) {
      case kConnect: {
        start_tick = GetTickCount();
        const RouteEntryParts parts = SplitRouteEntry(entry_text);
        name = parts.name;
        address = parts.address;
        Trace(Format("CurrentRoute %s %s", name.c_str(), parts.rest.c_str()));
        SetStatusText(Format("Profiling to %s %s", name.c_str(), parts.rest.c_str()));
        switch (ConnectRoute(parts, final_text)) {
          case ConnectResult::Connected:
            WaitForEvent(kRetryPauseMs);
            state = kTxLogin;
            break;
          default:
            state = kExit;
            break;
        }
        break;
      }

      case kTxLogin: {
        // Header fields other than the client sequence keep what the packet object
        // holds: a new object's zeros, or the last packet decoded since.
        login_sequence = NextCircuitSequence();
        packet.BuildLogin(login_sequence, 'P', FClientId, FClientSubId, FDetailRecords, 0, "PROFILE",
                          "127.0.0.1", 14, 's', 0, "no error");
        packet.SetData(0, nullptr);
        if (SendAndDump(packet, bytes, error) == 0) {
          deadline = GetTickCount() + kReplyTimeoutMs;
          state = kRxLogin;
        } else {
          final_text = "SendCircuitLogin:  send() failed " + error;
          state = kExit;
        }
        break;
      }

      case kRxLogin: {
        if (TickPassed(GetTickCount(), deadline)) {
          if (++retries > kMaxLoginRetries) {
            Trace("Timeout waiting for login response - Retries expired");
            state = kExit;
          } else {
            Trace(Format("Timeout waiting for login response Retry(%d) - Retransmit Login", retries));
            state = kTxLogin;
          }
          break;
        }
        if (!TakePacket(packet, bytes, 'L')) break;
        const ZLoginBody reply = packet.ParseLogin();
        if (reply.Status != 0) {
          final_text = reply.StatusText;
          state = kExit;
          break;
        }
        circuit_number = packet.CircuitNumber;
        state = kTxDetail;
        break;
      }

      case kTxDetail: {
        bool failed = false;
        int length = 0;
        int sent = 0;  // bytes of the current record already taken by the socket
        for (std::int32_t i = 1; i <= FDetailRecords && !Terminated();) {
          if (sent == 0) {
            packet.DataCenterId = "";
            packet.CircuitNumber = circuit_number;
            packet.CircuitSequence = i;
            packet.BuildDetail(login_sequence, 'U', "none", 0, "no error");
            packet.SetData(static_cast<int>(payload.size()), reinterpret_cast<const std::uint8_t*>(payload.data()));
            length = EncodeNext(packet, bytes);
          }
          const int n = FSocket == INVALID_SOCKET ? SOCKET_ERROR : WsSend(FSocket, bytes.data() + sent, length - sent, 0);
          if (n != SOCKET_ERROR) {
            // The socket may take only part of a record: the rest follows before the
            // next record, or the gateway would see two records spliced together.
            sent += n;
            if (sent >= length) {
              sent = 0;
              ++i;
            }
            continue;
          }
          if (FSocket == INVALID_SOCKET) WSASetLastError(WSAENOTSOCK);
          int code = 0;
          error = LastSocketErrorText(&code);
          if (code == WSAEWOULDBLOCK) {
            packet.TraceHeader(GetName(), "!Tx");
            WaitForEvent(kRetryPauseMs);
            continue;  // a record not yet begun is built again, with a new client sequence
          }
          final_text = Format("TransmitDetail:  send() failed (%d) %s", code, error.c_str());
          failed = true;
          break;
        }
        if (failed) {
          state = kExit;
        } else if (!Terminated()) {
          Trace(Format("%d Detail Records Transmitted", FDetailRecords));
          state = kRxHeartbeat;
        }
        break;
      }

      case kRxHeartbeat: {
        // Still the deadline of the last login: login reply, details and heartbeat all
        // have to fit into it.
        if (TickPassed(GetTickCount(), deadline)) {
          final_text = "Timeout waiting for heartbeat response";
          state = kExit;
          break;
        }
        if (!TakePacket(packet, bytes, 'H')) break;
        const ZSequenceText heartbeat = packet.ParseSequenceText();
        // Counted without expanding: a heartbeat may list a range of billions.
        const std::int64_t count = CountRangeListItems(heartbeat.FreeText);
        score = static_cast<std::int32_t>(std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
        const double seconds = static_cast<double>(GetTickCount() - start_tick) / 1000.0;
        const std::string complete =
            Format("%s Profiling Complete - Score (%d) %3.2fsec Elapsed", name.c_str(), score, seconds);
        SetStatusText(complete);
        Trace(complete);
        final_text = entry_text + " Score=" + std::to_string(score);
        state = kTxLogout;
        break;
      }

      case kTxLogout: {
        packet.DataCenterId = "";
        packet.CircuitNumber = circuit_number;
        packet.CircuitSequence = 0;
        packet.BuildLogout(login_sequence, FormatNow("mm/dd hh:nn:ss"));
        packet.SetData(0, nullptr);
        if (SendAndDump(packet, bytes, error) != 0) {
          final_text = "SendCircuitLogout:  send() failed " + error;
          score = FDetailRecords;
        }
        state = kExit;
        break;
      }

      case kExit:
        Trace(final_text);
        SetStatusText(final_text);
        state = -1;
        break;

      default:
        state = kExit;
        break;
    }
  }
  FreeSocket();
  return score;
}

}  // namespace zp
