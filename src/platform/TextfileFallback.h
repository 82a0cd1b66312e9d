#pragma once
#include <string>

namespace zp {

// The folder for the console runner's Prometheus textfile when the folder it was given
// does not exist, or empty where the system has none. On Windows it is
// "C:\ProgramData\Zelvan Probe\textfile" (the machine's program data folder asked of the
// system), which the installer makes for the scheduled task, writable only by the system
// account and the administrators: a computer without windows_exporter still records every
// run and keeps its metrics. The folder is used only when it is there; it is never made
// here, since one made by whoever ran the program first would not be locked so. On Linux
// the service's unit keeps its textfile in its own folder and moves it itself.
std::string TextfileFallbackFolder();

}  // namespace zp
