#include "platform/SystemWords.h"

namespace zp {

const SystemWords& TheSystemWords() {
  static constexpr SystemWords kWords{
      "Ctrl+C, Ctrl+Break",
      "%LOCALAPPDATA%\\Zelvan Probe",
      "a registry key path, below which the cache is kept in HKEY_CURRENT_USER and read from HKEY_LOCAL_MACHINE "
      "where the user has no entry (default: the hives' roots, Software\\Zelvan Corporation\\DNS)",
      "windows_exporter's textfile collector, as the Task Scheduler task zelvan-probe-task.xml does",
      "a link, a device, a folder",
  };
  return kWords;
}

}  // namespace zp
