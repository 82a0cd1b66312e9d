#pragma once
#include <atomic>
#include <cstdint>

#include "apibuf/CoreApiBuf.h"

namespace zp {

// The API buffer record that the rest of the system creates: TCoreApiBuf counted by object
// tracking under "ApiBuf". Not copyable, so every counted creation has one destruction.
class TApiBuf : public TCoreApiBuf {
 public:
  TApiBuf();
  ~TApiBuf();
  TApiBuf(const TApiBuf&) = delete;
  TApiBuf& operator=(const TApiBuf&) = delete;

  // The class's tracking slot; -1 until an object has registered the class.
  static int TrackingSlot() { return FClassSlot.load(std::memory_order_acquire); }

 private:
  // Objects may be created on any thread; two first creations at once both register and get
  // the same slot back.
  static std::atomic<int> FClassSlot;
  // The slot this object was counted in, so that its destruction undoes exactly that count.
  int FSlot = -1;
};

}  // namespace zp
