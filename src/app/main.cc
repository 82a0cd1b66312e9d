// The window program: one wizard window and the results window it reuses.
#include <QApplication>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "app/ProbeForm.h"
#include "app/ResultsForm.h"
#include "history/RunHistory.h"
#include "framework/MemTrack.h"

int main(int argc, char** argv) {
  zp::StartTracking();
  int result = 0;
  {
    // The program reads no command line: the toolkit gets only the program's name.
    int qt_argc = argc > 0 ? 1 : 0;
    QApplication app(qt_argc, argv);
    QApplication::setApplicationName("zelvan-probe");
    QApplication::setApplicationDisplayName("Zelvan Probe");

    zp::TfrmProbe frmProbe;
    zp::TfrmResults frmResults;
    frmProbe.SetResultsForm(&frmResults);
    // Every finished test goes into the user's history beside the DNS cache.
    frmProbe.SetHistory(std::make_shared<zp::RunHistory>(zp::RunHistory::DefaultPath()));
    frmProbe.show();
    result = app.exec();

    if (!frmProbe.StopWorkers()) {
      // A worker stuck in a call that a stop cannot interrupt is not waited for:
      // the process ends without it.
      zp::StopTracking();
      std::fflush(nullptr);
      _exit(result);
    }
  }
  zp::StopTracking();
  return result;
}
