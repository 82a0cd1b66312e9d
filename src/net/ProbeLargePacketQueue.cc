#include "net/ProbeLargePacketQueue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>

#include "framework/Errors.h"
#include "platform/Tick.h"

namespace zp {
namespace {

// The messages were short texts of fixed capacity; keep their cuts.
std::string Cut(std::string text, std::size_t capacity) {
  if (text.size() > capacity) text.resize(capacity);
  return text;
}

std::string UnderflowMessage(const std::string& queue, int index, int count) {
  char tail[64];
  std::snprintf(tail, sizeof tail, " Want%d Count%d", index, count);
  return "Underflow on " + queue + tail;
}

}  // namespace

ZLargePacketQueueEntry::ZLargePacketQueueEntry() {
  std::memset(FEntryName, kEntryNameFill, sizeof FEntryName);
  FData.fill(kEntryDataFill);
}

void ZLargePacketQueueEntry::CheckGuards() {
  FEntryState = 'x';
  if (FLeadSignature != kLeadSignature) throw EInvalidOp("leading signature corrupted");
  if (FTrailSignature != kTrailSignature) throw EInvalidOp("trailing signature corrupted");
}

std::string ZLargePacketQueueEntry::EntryName() const {
  const std::size_t length = std::min<std::size_t>(FEntryName[0], kMaxEntryName);
  return std::string(reinterpret_cast<const char*>(FEntryName + 1), length);
}

void ZLargePacketQueueEntry::SetEntryName(const std::string& name) {
  const std::size_t length = std::min<std::size_t>(name.size(), kMaxEntryName);
  FEntryName[0] = static_cast<std::uint8_t>(length);
  std::memcpy(FEntryName + 1, name.data(), length);
}

ZLargePacketQueueControl::ZLargePacketQueueControl(const std::string& name)
    : FQueueName(Cut(name, kMaxQueueName)), FLock(FQueueName) {
  try {
    FList = std::make_unique<std::deque<Item>>();
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Can't create FList");
  }
}

ZLargePacketQueueControl::~ZLargePacketQueueControl() {
  while (Count() > 0) {
    try {
      DeleteEntry(0);
    } catch (const std::exception&) {
      std::lock_guard lock(FLock);
      FList->pop_front();
    }
  }
}

int ZLargePacketQueueControl::Count() {
  std::lock_guard lock(FLock);
  return static_cast<int>(FList->size());
}

ZLargePacketQueueEntry* ZLargePacketQueueControl::GetEntry(int index) {
  std::lock_guard lock(FLock);
  const int count = static_cast<int>(FList->size());
  if (index > count - 1) throw EUnderflow(UnderflowMessage(FQueueName, index, count));
  if (index < 0) throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  return (*FList)[static_cast<std::size_t>(index)].entry.get();
}

void ZLargePacketQueueControl::DeleteEntry(int index) {
  std::lock_guard lock(FLock);
  const int count = static_cast<int>(FList->size());
  if (index >= 0 && index < count) {
    const auto at = FList->begin() + index;
    if (!at->entry) throw EUnderflow(Cut("q is nil in " + FQueueName, 76));
    at->entry->CheckGuards();  // a corrupted entry stays where it is
    FList->erase(at);
    return;
  }
  std::string message = Cut("Over/Underflow on " + FQueueName, 82);
  message = Cut(message + "  index =", 91);
  message += std::to_string(index) + " count =" + std::to_string(count);
  throw EUnderflow(message);
}

std::string ZLargePacketQueueControl::ItemName(int index) {
  std::lock_guard lock(FLock);
  return FList->at(static_cast<std::size_t>(index)).name;
}

void ZLargePacketQueueControl::Append(const std::string& name, int length, const void* bytes,
                                      int chunk) {
  if (length <= 0 || bytes == nullptr) return;
  const auto* from = static_cast<const std::uint8_t*>(bytes);
  std::lock_guard lock(FLock);  // released on every path, a failed allocation too
  while (length > 0) {
    auto entry = std::make_unique<ZLargePacketQueueEntry>();
    entry->FEntryState = 'A';
    entry->FTime = GetTickCount();
    entry->SetEntryName(name);
    entry->FLength = std::min(length, chunk);
    std::memcpy(entry->FData.data(), from, static_cast<std::size_t>(entry->FLength));
    from += entry->FLength;
    length -= entry->FLength;
    FList->push_back({name, std::move(entry)});
  }
}

void AppendBlock(ZLargePacketQueueControl& queue, const std::string& name, int length,
                 const void* bytes) {
  queue.Append(name, length, bytes, kMaxEntryData);
}

void AppendPacket(ZLargePacketQueueControl& queue, const std::string& name, int length,
                  const void* bytes) {
  queue.Append(name, length, bytes, kMaxPacketData);
}

}  // namespace zp
