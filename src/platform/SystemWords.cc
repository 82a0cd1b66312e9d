#include "platform/SystemWords.h"

namespace zp {

const SystemWords& TheSystemWords() {
  static constexpr SystemWords kWords{
      "SIGTERM, SIGINT, SIGHUP",
      "~/.local/state/zelvan-probe, or $XDG_STATE_HOME/zelvan-probe",
      "a file (default: registry.db in ~/.local/state/zelvan-probe, or $XDG_STATE_HOME/zelvan-probe)",
      "node_exporter's textfile collector, as the package's systemd timer does",
      "a symbolic link, a device, a folder",
  };
  return kWords;
}

}  // namespace zp
