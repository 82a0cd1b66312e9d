#pragma once
#include <string>

namespace zp {

// The user's own folder for what the program keeps between runs (the DNS cache's store,
// the run history): on Linux $XDG_STATE_HOME/zelvan-probe, by default
// ~/.local/state/zelvan-probe, where ~ is $HOME or, when that is not set (a cron job, a
// hand-written unit), the home folder the password database gives the user; on Windows
// "%LOCALAPPDATA%\Zelvan Probe" as the system names it. Never a folder that every user
// shares: without a home of the user's own it is empty (NoStateFolderText says why), and
// what would go there is refused. Naming it makes nothing: a store makes its folder when
// it first writes (MakeFolderFor), and checks it before use (see PrivateFolder.h).
std::string StateFolder();
// `name` inside the state folder; empty when there is no state folder.
std::string StateFile(const std::string& name);
// Why there is no state folder, and what to set instead, for the operator.
std::string NoStateFolderText();

// Makes the folder that is to hold `file`, and every missing folder above it, with the
// system's own call (private to the user where the system has the notion). True when the
// folder is there afterwards, or `file` names no folder. A folder found there is taken as
// it is: whose it is and who may write to it is FolderProblem's to say.
bool MakeFolderFor(const std::string& file);

}  // namespace zp
