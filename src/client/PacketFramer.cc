#include "client/PacketFramer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "protocol/ProbeExpBuf.h"

namespace zp {

int PacketFramer::ReadSpace() const { return std::min(kReadSize, kBufferSize - FLanBytes); }

void PacketFramer::Clear() {
  FLanBytes = 0;
  FLanBuffer.fill(0);
}

void PacketFramer::DropFront(int k) {
  std::memmove(FLanBuffer.data(), FLanBuffer.data() + k, static_cast<std::size_t>(FLanBytes - k));
  FLanBytes -= k;
}

void PacketFramer::Receive(const std::uint8_t* data, int n, Sink& sink) {
  n = std::clamp(n, 0, kBufferSize - FLanBytes);
  if (n == 0) return;
  std::memcpy(FLanBuffer.data() + FLanBytes, data, static_cast<std::size_t>(n));
  FLanBytes += n;
  if (FLanBytes <= kDumpLimit) {
    sink.Dump("Rx", FLanBytes, FLanBuffer.data());
  } else {
    sink.Dump("Rx" + std::to_string(FLanBytes), kDumpLimit, FLanBuffer.data());
  }
  Frame(sink);
  if (FLanBytes > 0) sink.Dump("@end", FLanBytes, FLanBuffer.data());
}

void PacketFramer::Frame(Sink& sink) {
  ZExpBuf packet;
  int count = 0;
  char line[160];
  while (!sink.StopRequested()) {
    int k = 0;
    if (FLanBytes >= 3) {
      k = FLanBytes - 2;  // the last two bytes may begin a start triple
      for (int i = 0; i <= FLanBytes - 3; ++i) {
        if (FLanBuffer[i] == ZExpBuf::StartByte && FLanBuffer[i + 1] == ZExpBuf::SignatureByte &&
            FLanBuffer[i + 2] == ZExpBuf::RevisionByte) {
          k = i;
          break;
        }
      }
    }
    if (k > 0) {
      std::snprintf(line, sizeof line, "Garbage Found - FLanBytes=%d k=%d  FLanBytes-k=%d", FLanBytes, k,
                    FLanBytes - k);
      sink.Trace(line);
      DropFront(k);
      std::snprintf(line, sizeof line, "Garbage Found - %d Bytes Moved (should be start of valid packet):",
                    FLanBytes);
      sink.Trace(line);
      sink.Dump("MovedUp", FLanBytes, FLanBuffer.data());
    }
    if (FLanBytes == 0) return;
    const std::int32_t r = packet.Decode(FLanBytes, FLanBuffer.data());
    // A header announcing more than the largest legal packet can never complete: it is
    // garbage, not a packet to wait for. Dropping its first byte re-synchronises on the
    // next start, so a valid packet behind it still gets through, and the buffer never
    // has to hold more than one legal packet plus one read.
    const bool impossible = r < 0 && packet.GetTBytes() > ZExpBuf::MaxTBytes;
    if (r == 0 || impossible) {
      DropFront(1);
      continue;
    }
    if (r < 0) return;
    ++count;
    for (const std::string& header : packet.HeaderLines(count == 1 ? "Rx" : "Rx" + std::to_string(count)))
      sink.Trace(header);
    sink.Packet(FLanBuffer.data(), r);
    DropFront(r);
  }
}

}  // namespace zp
