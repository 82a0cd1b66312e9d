#pragma once
#include <string>

// Inside the platform, on Windows only: the judgement FolderProblem makes of a folder's
// security descriptor (its owner and access list), apart from reading it off the disk.
namespace zp {

// Why a folder named `folder` with the security descriptor `descriptor` (a
// PSECURITY_DESCRIPTOR holding its owner and access list) may not hold the program's
// files, or an empty text.
std::string FolderSecurityProblem(const std::string& folder, void* descriptor);

}  // namespace zp
