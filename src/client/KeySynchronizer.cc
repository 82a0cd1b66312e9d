// Key synchronisation: on the routes in a ring, log in, ask for the gateway's public key
// while keeping the circuit alive with heartbeats, check the answer and log out.
#include <strings.h>

#include <vector>

#include "apibuf/ApiBuf.h"
#include "client/ClientFormat.h"
#include "client/ProbeExpressClientThread.h"
#include "client/RouteEntry.h"
#include "platform/LocalTime.h"
#include "platform/Tick.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

namespace {

enum SyncState { kConnect = 0, kTxLogin = 1, kRxLogin = 2, kTxPublic = 3, kRxPublic = 4, kTxKeyPage = 5,
                 kRxKeyPage = 6, kTxLogout = 7, kNextRoute = 22, kComplete = 40, kError = 80, kExit = 99 };

constexpr std::uint32_t kLoginTimeoutMs = 5000;
constexpr std::uint32_t kPublicKeyTimeoutMs = 10000;
constexpr std::uint32_t kHeartbeatPeriodMs = 2000;
constexpr std::uint32_t kHeartbeatSilenceMs = 4000;
constexpr std::uint32_t kCountdownMs = 10000;
constexpr std::size_t kMinimumKeyLength = 100;
constexpr char kPublicKeyRequestData[] = "$0C0";

const char* SyncStateName(int state) {
  switch (state) {
    case kConnect: return "Connect";
    case kTxLogin: return "TxLogin";
    case kRxLogin: return "RxLogin";
    case kTxPublic: return "TxPublic";
    case kRxPublic: return "RxPublic";
    case kTxKeyPage: return "TxKeyPage";
    case kRxKeyPage: return "RxKeyPage";
    case kTxLogout: return "TxLogout";
    case kNextRoute: return "NextRoute";
    case kComplete: return "Complete";
    case kError: return "Error";
    case kExit: return "Exit";
    default: return "Invalid";
  }
}

}  // namespace

void ZExpressTcpClientThread::SynchronizeKeys() {
  if (FRoutes.empty()) return;
  const std::uint32_t countdown_start = GetTickCount();
  std::size_t index = 0;
  for (std::size_t i = 0; i < FRoutes.size(); ++i) {
    if (strcasecmp(FRoutes[i].text.c_str(), FLastSyncRoute.c_str()) == 0) {
      index = i + 1 < FRoutes.size() ? i + 1 : 0;
      break;
    }
  }

  std::string final_text, name, address, last_line, error;
  std::int32_t login_sequence = 0;
  std::string data_center_id;
  std::int32_t circuit_number = 0;
  std::uint32_t login_deadline = 0, key_deadline = 0, next_heartbeat = 0, heartbeat_deadline = 0;
  std::uint32_t request_time = 0;
  ZExpBuf packet(OnTrace());
  std::vector<std::uint8_t> bytes(ZExpBuf::MaxPacketLength);
  int state = kConnect;

  // The request carries whatever text part the object holds: that of the packet
  // decoded or built last.
  auto build_key_request = [&]() {
    packet.PacketType = 'P';
    packet.DataCenterId = data_center_id;
    packet.CircuitNumber = circuit_number;
    packet.CircuitSequence = 1;
    packet.SetData(4, reinterpret_cast<const std::uint8_t*>(kPublicKeyRequestData));
  };
  auto route_lines = [&]() {
    for (std::size_t i = 0; i < FRoutes.size(); ++i)
      Trace(Format("Route %2d %s Score(%d)", static_cast<int>(i + 1), FRoutes[i].text.c_str(), FRoutes[i].score));
  };
  auto passed = [](std::uint32_t deadline) { return TickPassed(GetTickCount(), deadline); };

  while (!Terminated() && state != -1) {
    Pause(50);
    const std::uint32_t elapsed = GetTickCount() - countdown_start;
    const std::string line =
        elapsed < kCountdownMs
            ? Format("%s %d:%s %d %s", name.c_str(), static_cast<int>(index), address.c_str(),
                     static_cast<int>((kCountdownMs - elapsed) / 1000 + 1), SyncStateName(state))
            : Format("%s %d:%s %s", name.c_str(), static_cast<int>(index), address.c_str(), SyncStateName(state));
    TraceChanged(line, last_line);

    switch (state) {
      case kConnect: {
        name = "????";
        const std::string& entry = FRoutes[index].text;
        const RouteEntryParts parts = SplitRouteEntry(entry);
        name = parts.name;
        address = parts.address;
        Trace(Format("CurrentRoute(%d) %s %s", static_cast<int>(index), name.c_str(), parts.rest.c_str()));
        SetStatusText(Format("Synchronizing to %s %s", name.c_str(), parts.rest.c_str()));
        switch (ConnectRoute(parts, final_text)) {
          case ConnectResult::Connected:
            FLastSyncRoute = entry;
            WaitForEvent(kRetryPauseMs);
            state = kTxLogin;
            break;
          case ConnectResult::ConnectFailed:
            state = kNextRoute;
            break;
          default:  // no socket, or no notifications: nothing else can work either
            state = kError;
            break;
        }
        break;
      }

      case kTxLogin: {
        login_sequence = NextCircuitSequence();
        packet.BuildLogin(login_sequence, 'K', FClientId, FClientSubId, 1, 1, "NETAPI", "127.0.0.1", 14, 's', 0,
                          "no error");
        packet.SetData(0, nullptr);
        if (SendAndDump(packet, bytes, error) == 0) {
          login_deadline = GetTickCount() + kLoginTimeoutMs;
          state = kRxLogin;
        } else {
          final_text = "SendKeyPageLogin:  send() failed " + error;
          state = kNextRoute;
        }
        break;
      }

      case kRxLogin: {
        if (passed(login_deadline)) {
          final_text = "Timeout waiting for login response";
          state = kNextRoute;
          break;
        }
        if (!TakePacket(packet, bytes, 'L')) break;
        const ZLoginBody reply = packet.ParseLogin();
        if (reply.Status != 0) {
          final_text = reply.StatusText;
          state = kExit;
          break;
        }
        data_center_id = packet.DataCenterId.Str();
        circuit_number = packet.CircuitNumber;
        state = kTxPublic;
        break;
      }

      case kTxPublic: {
        build_key_request();
        if (SendAndDump(packet, bytes, error) == 0) {
          const std::uint32_t now = GetTickCount();
          key_deadline = now + kPublicKeyTimeoutMs;
          next_heartbeat = now + kHeartbeatPeriodMs;
          heartbeat_deadline = now + kHeartbeatSilenceMs;
          request_time = now;
          SetStatusText("Wait PublicKey");
          state = kRxPublic;
        } else {
          final_text = "SendPublicKey:  send() failed " + error;
          state = kNextRoute;
        }
        break;
      }

      case kRxPublic: {
        if (passed(heartbeat_deadline)) {
          final_text = "No heartbeats received during wait for public key response";
          state = kNextRoute;
          break;
        }
        if (passed(next_heartbeat)) {
          packet.BuildHeartbeat(login_sequence, "1");
          packet.SetData(0, nullptr);
          if (SendAndDump(packet, bytes, error) == 0) {
            next_heartbeat = GetTickCount() + kHeartbeatPeriodMs;
          } else {
            final_text = "SendHeartbeat:  send() failed " + error;
            state = kNextRoute;
          }
          break;
        }
        if (passed(key_deadline)) {
          final_text = "Timeout waiting for public key response";
          state = kNextRoute;
          break;
        }
        if (!TakePacket(packet, bytes)) break;
        if (packet.PacketType == 'H') {
          heartbeat_deadline = GetTickCount() + kHeartbeatSilenceMs;
          const ZSequenceText heartbeat = packet.ParseSequenceText();
          if (heartbeat.FreeText.find('1') == std::string::npos) break;
          // The gateway has not confirmed the request yet: send it again.
          build_key_request();
          if (SendAndDump(packet, bytes, error, "Tx+", "ReTx") == 0) {
            key_deadline = GetTickCount() + kPublicKeyTimeoutMs;
          } else {
            final_text = "SendHeartbeat:  send() failed " + error;
            state = kNextRoute;
          }
        } else if (packet.PacketType == 'P') {
          const ZStatusReply reply = packet.ParseStatusReply();
          if (reply.Status != 0) {
            final_text = reply.StatusText;
            state = kExit;
            break;
          }
          const auto data = packet.DataView();
          TApiBuf record;
          record.ParseBytes(static_cast<std::int32_t>(data.size()), reinterpret_cast<const char*>(data.data()));
          if (record.ErrorIndicator == "Y") {
            final_text = record.ErrorText;
            SetStatusText(record.ErrorText);
            state = kError;
          } else if (record.S017_01.size() >= kMinimumKeyLength) {
            const double seconds = static_cast<double>(GetTickCount() - request_time) / 1000.0;
            const int size = static_cast<int>(data.size());
            SetStatusText(Format("PublicKey SUCCESS %d Bytes %3.2fsec", size, seconds));
            Trace(Format("PublicKey Request SUCCESS %d Bytes %3.2fsec", size, seconds));
            if (GetResultCode() != kResultSomeRoutesFailed) SetResultCode(kResultSuccess);
            state = kTxKeyPage;
          } else {
            final_text = "No (or invalid) publickey was returned";
            state = kError;
          }
        }
        break;
      }

      case kTxKeyPage: {
        packet.DataCenterId = data_center_id;
        packet.CircuitNumber = circuit_number;
        packet.CircuitSequence = 0;
        packet.BuildLogout(login_sequence, FormatNow("mm/dd hh:nn:ss"));
        packet.SetData(0, nullptr);
        if (SendAndDump(packet, bytes, error) == 0) {
          state = kComplete;
        } else {
          final_text = "SendCircuitLogout:  send() failed";
          state = kError;
        }
        break;
      }

      case kNextRoute:
        Trace(final_text);
        index = index + 1 < FRoutes.size() ? index + 1 : 0;
        state = kConnect;
        break;

      case kComplete:
        route_lines();
        SetStatusText(final_text);
        state = -1;
        break;

      case kError:
      case kExit:
        route_lines();
        Trace(final_text);
        SetStatusText(final_text);
        state = -1;
        break;

      default:
        state = kError;
        break;
    }
  }
  FreeSocket();
}

}  // namespace zp
