#include "platform/PrivateFolder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/FolderSecurity_win.h"
#include "platform/StateFolder.h"
#include "platform/WideText.h"

namespace zp {

namespace {

std::string FolderErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n != 0 ? Narrow(text, n) : "error " + std::to_string(code);
  LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

// A well-known account's SID, or one given as text, kept in its own buffer.
std::vector<BYTE> KnownSid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) sid.clear();
  return sid;
}

std::vector<BYTE> SidFromText(const wchar_t* text) {
  PSID sid = nullptr;
  std::vector<BYTE> out;
  if (ConvertStringSidToSidW(text, &sid)) {
    out.assign(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
    LocalFree(sid);
  }
  return out;
}

// The user this process runs as.
std::vector<BYTE> ProcessUserSid() {
  std::vector<BYTE> out;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return out;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> info(size);
  if (size != 0 && GetTokenInformation(token, TokenUser, info.data(), size, &size)) {
    const PSID sid = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
    out.assign(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
  }
  CloseHandle(token);
  return out;
}

// The accounts a folder of the program may belong to, and the only ones that may change
// its entries: the user, the local system, the administrators and the system's installer.
class TrustedAccounts {
 public:
  TrustedAccounts() {
    FSids.push_back(ProcessUserSid());
    FSids.push_back(KnownSid(WinLocalSystemSid));
    FSids.push_back(KnownSid(WinBuiltinAdministratorsSid));
    FSids.push_back(SidFromText(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"));
  }
  bool Holds(PSID sid) const {
    for (const std::vector<BYTE>& known : FSids)
      if (!known.empty() && IsValidSid(sid) && EqualSid(const_cast<BYTE*>(known.data()), sid)) return true;
    return false;
  }

 private:
  std::vector<std::vector<BYTE>> FSids;
};

// "BUILTIN\Users (S-1-5-32-545)", as far as the system can name it.
std::string AccountText(PSID sid) {
  std::string text;
  wchar_t* string_sid = nullptr;
  if (ConvertSidToStringSidW(sid, &string_sid)) {
    text = Narrow(string_sid, wcslen(string_sid));
    LocalFree(string_sid);
  }
  wchar_t name[256], domain[256];
  DWORD name_size = 256, domain_size = 256;
  SID_NAME_USE use;
  if (LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use)) {
    const std::string account = (domain_size > 0 ? Narrow(domain, domain_size) + "\\" : std::string()) +
                                Narrow(name, name_size);
    text = text.empty() ? account : account + " (" + text + ")";
  }
  return text.empty() ? std::string("an unknown account") : text;
}

// Rights over a folder that let their holder add, remove or replace its entries, or give
// themselves those rights.
constexpr ACCESS_MASK kChangeRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                      WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

}  // namespace

std::string FolderSecurityProblem(const std::string& folder, void* descriptor) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) dacl = nullptr;
  const TrustedAccounts trusted;
  if (owner == nullptr || !trusted.Holds(owner))
    return "the folder " + folder + " belongs to " + (owner == nullptr ? std::string("no one") : AccountText(owner)) +
           ", neither to this user nor to the local system or the administrators: refused, since its owner could "
           "change what is kept there";
  // No access list at all lets everyone do everything.
  if (dacl == nullptr) return "the folder " + folder + " has no access list, so everyone may change it: refused";
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    // A rule only for what is made inside does not apply to the folder itself.
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)) || header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
        (header->AceFlags & INHERIT_ONLY_ACE) != 0)
      continue;
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    const PSID who = reinterpret_cast<PSID>(&ace->SidStart);
    if ((ace->Mask & kChangeRights) != 0 && !trusted.Holds(who))
      return "the folder " + folder + " lets " + AccountText(who) +
             " add or change its files: refused, since they could change what is kept there";
  }
  return {};
}

std::string FolderProblem(const std::string& folder) {
  const std::wstring path = Wide(folder);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    return "cannot look at the folder " + folder + ": " + FolderErrorText(error);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return folder + " is not a folder";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD got = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                          nullptr, nullptr, &descriptor);
  if (got != ERROR_SUCCESS) return "cannot read who owns the folder " + folder + ": " + FolderErrorText(got);
  std::string problem = FolderSecurityProblem(folder, descriptor);
  LocalFree(descriptor);
  return problem;
}

std::string FolderProblemFor(const std::string& file) {
  const auto cut = file.find_last_of("\\/");
  if (cut == std::string::npos) return FolderProblem(".");
  // "C:\history.db" is in "C:\", not in the drive-relative "C:".
  if (cut == 0 || (cut == 2 && file[1] == ':')) return FolderProblem(file.substr(0, cut + 1));
  return FolderProblem(file.substr(0, cut));
}

std::string StorePlaceProblem(const std::string& file) {
  return file.empty() ? NoStateFolderText() : FolderProblemFor(file);
}

}  // namespace zp
