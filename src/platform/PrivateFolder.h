#pragma once
#include <string>

namespace zp {

// Whether a folder may hold what the program keeps or writes (its stores, a metrics
// file): another local user who can change the folder's entries could plant a DNS answer
// the probe then trusts, swap the history, or choose which file a write replaces.
//
// Returns why the folder may not, naming it, or an empty text when it may. On Linux it
// must belong to the user the program runs as, or to root, and must not be writable by
// its group or by others; when the path is a symbolic link (a systemd state directory
// of a dynamic user is one), the link must belong to one of them too and the folder it
// leads to is the one checked. On Windows its owner must be the user, the local system
// or the administrators, and no one else may be allowed to add or change its entries.
// A folder that does not exist yet is no problem: the program makes it, private to the
// user, and a store checks again once it is there.
std::string FolderProblem(const std::string& folder);
// The same for the folder that holds `file` ("." for a bare file name).
std::string FolderProblemFor(const std::string& file);
// For a store's file: its folder's problem, or for an empty path (the default place when
// there is no state folder, see StateFolder) why there is none.
std::string StorePlaceProblem(const std::string& file);

}  // namespace zp
