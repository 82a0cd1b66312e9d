#include "apibuf/ApiBuf.h"

#include "framework/MemTrack.h"

namespace zp {

namespace {
constexpr char kTrackName[] = "ApiBuf";
constexpr auto kTrackSize = static_cast<std::int32_t>(sizeof(TApiBuf));
}  // namespace

std::atomic<int> TApiBuf::FClassSlot{-1};

TApiBuf::TApiBuf() {
  int slot = FClassSlot.load(std::memory_order_acquire);
  if (slot == -1) {
    slot = RegisterTrackedClass(kTrackName);
    FClassSlot.store(slot, std::memory_order_release);
  }
  FSlot = slot;
  TrackCreate(FSlot, kTrackSize);
}

TApiBuf::~TApiBuf() { TrackDestroy(FSlot, kTrackSize); }

}  // namespace zp
