#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "framework/WireSizes.h"
#include "framework/ZCriticalSection.h"

// The lock-protected queue of received packets between the receive path and the
// exchanges that wait for replies. Entry 0 is always the oldest.
namespace zp {

// One socket read, and the most AppendBlock puts into one entry.
inline constexpr int kMaxEntryData = wire::kReadBlock;
// The longest probe packet. An entry's data area holds this much, so that AppendPacket can keep any packet whole.
inline constexpr int kMaxPacketData = wire::kMaxPacketLength;
inline constexpr int kMaxEntryName = 14;
inline constexpr int kMaxQueueName = 64;
inline constexpr std::uint32_t kLeadSignature = 0x4FCCDD4E;
inline constexpr std::uint32_t kTrailSignature = 0x3EBBCC3D;
inline constexpr std::uint8_t kEntryNameFill = 0xCA;
inline constexpr std::uint8_t kEntryDataFill = 0xCB;

// One queued block, with guard words at both ends of its data so that a write that
// runs past FData is reported when the entry is deleted. Standard layout on purpose.
class ZLargePacketQueueEntry {
 public:
  ZLargePacketQueueEntry();

  // Marks the entry "x" (being destroyed) and raises EInvalidOp when a guard word has
  // changed. The queue calls it before it frees an entry, and does not free one that
  // fails.
  void CheckGuards();
  // The stored name: at most kMaxEntryName characters.
  std::string EntryName() const;
  void SetEntryName(const std::string& name);

  std::uint32_t FLeadSignature = kLeadSignature;
  char FEntryState = ' ';  // ' ' created, 'A' queued, 'x' being destroyed
  std::uint8_t FEntryName[1 + kMaxEntryName];  // a length byte, then the characters
  std::int32_t FLength = 0;
  std::array<std::uint8_t, kMaxPacketData> FData;
  std::uint32_t FTime = 0;  // the tick count when the block was appended
  std::uint32_t FTrailSignature = kTrailSignature;
};

class ZLargePacketQueueControl {
 public:
  // The name is cut at kMaxQueueName characters; it also names the lock. Raises
  // EOutOfMemory "Can't create FList" when the list cannot be made.
  explicit ZLargePacketQueueControl(const std::string& name);
  // Deletes the remaining entries oldest first. Never raises: an entry whose guard
  // words fail is freed all the same, as nothing could use it afterwards.
  ~ZLargePacketQueueControl();
  ZLargePacketQueueControl(const ZLargePacketQueueControl&) = delete;
  ZLargePacketQueueControl& operator=(const ZLargePacketQueueControl&) = delete;

  int Count();
  // The entry stays queued and owned by the queue; the caller must not let another
  // thread delete it while it reads it. Raises EUnderflow past the last entry and
  // std::out_of_range (the list's own check) below 0.
  ZLargePacketQueueEntry* GetEntry(int index);
  // Frees the entry at `index` after checking its guard words. Raises EUnderflow for an
  // index outside the list and EInvalidOp for a corrupted entry, which then stays.
  void DeleteEntry(int index);

  const std::string& QueueName() const { return FQueueName; }
  // The whole name the entry at `index` was appended under (not cut).
  std::string ItemName(int index);

 private:
  friend void AppendBlock(ZLargePacketQueueControl&, const std::string&, int, const void*);
  friend void AppendPacket(ZLargePacketQueueControl&, const std::string&, int, const void*);
  void Append(const std::string& name, int length, const void* bytes, int chunk);

  struct Item {
    std::string name;
    std::unique_ptr<ZLargePacketQueueEntry> entry;
  };

  std::string FQueueName;
  std::unique_ptr<std::deque<Item>> FList;
  ZCriticalSection FLock;
};

// Appends `length` bytes as entries of at most kMaxEntryData bytes each, in order, under
// `name`; a length of 0 or less appends nothing.
void AppendBlock(ZLargePacketQueueControl& queue, const std::string& name, int length,
                 const void* bytes);
// Appends one packet of up to kMaxPacketData bytes as ONE entry, so a consumer taking an
// entry at a time gets it whole. Anything longer is split at kMaxPacketData.
void AppendPacket(ZLargePacketQueueControl& queue, const std::string& name, int length,
                  const void* bytes);

}  // namespace zp
