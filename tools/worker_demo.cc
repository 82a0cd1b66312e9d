// A small worker run from the console until the probe client lands: it shows the
// creator/worker hand-over, the state names and a hex dump.
#include <cstdio>

#include "framework/MemTrack.h"
#include "framework/ProbeBaseThread.h"
#include "platform/LocalTime.h"

namespace {

class DemoWorker : public zp::ZBaseThread {
 public:
  using ZBaseThread::ZBaseThread;

 protected:
  void ProcessTask() override {
    switch (GetState()) {
      case zp::state::Holding:
        SetState(zp::state::Startup);
        break;
      case zp::state::Startup:
        Trace("Demo worker started");
        SetState(zp::state::Process);
        break;
      default: {
        static const char kBytes[] = "\x01Sa000000?0000    0000000000\x1C\x03\xFA";
        TraceDump("Tx", sizeof kBytes - 1, kBytes);
        Pause(100);
        SetState(zp::state::Halted);
      }
    }
  }
};

}  // namespace

int main() {
  zp::StartTracking();
  DemoWorker worker("Demo", [](const std::string& name, const std::string& text) {
    std::printf("%s\t%s\t%s\n", name.c_str(), zp::FormatNow("ddd mm/dd hh:nn:ss").c_str(), text.c_str());
  });
  worker.Resume();
  if (!worker.WaitForStartup()) return 3;
  worker.WaitFinished();
  std::printf("Final state: %s\n", worker.GetStateName().c_str());
  zp::StopTracking();
  return 0;
}
