#pragma once
#include <string>

namespace zp {

// The user's own folder for what the program keeps between runs (the DNS cache's store,
// the run history): on Linux $XDG_STATE_HOME/zelvan-probe, by default
// ~/.local/state/zelvan-probe; on Windows "%LOCALAPPDATA%\Zelvan Probe". Naming it makes
// nothing: a store makes its folder when it first writes (MakeFolderFor).
std::string StateFolder();
// `name` inside the state folder.
std::string StateFile(const std::string& name);

// Makes the folder that is to hold `file`, and every missing folder above it, with the
// system's own call (private to the user where the system has the notion). True when the
// folder is there afterwards, or `file` names no folder.
bool MakeFolderFor(const std::string& file);

}  // namespace zp
