#pragma once
#include <QApplication>

namespace zp::bench {

// The one application the window benchmarks need, made on first use and kept to the end
// of the process; off screen unless the caller chose a platform.
inline void EnsureApplication() {
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "app_bench";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  (void)app;
}

}  // namespace zp::bench
