#include "platform/windows/folder_trust.h"

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/error.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
namespace {

// Rights that let their holder change what a library file holds, or put
// another file in its place.
constexpr ACCESS_MASK kChangingRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
    WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

// The installer service's account (NT SERVICE\TrustedInstaller), which owns
// the system's own folders.
constexpr wchar_t kTrustedInstallerSid[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1850230376-2281654032";

struct LocalFreer {
  void operator()(void* memory) const { (void)LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

struct HandleCloser {
  void operator()(HANDLE handle) const { (void)CloseHandle(handle); }
};

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

std::vector<BYTE> SidFromText(const wchar_t* text) {
  PSID sid = nullptr;
  if (!ConvertStringSidToSidW(text, &sid)) return {};
  const LocalMemory owned(sid);
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

// The account of this process's token.
std::vector<BYTE> ProcessUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const std::unique_ptr<void, HandleCloser> owned(token);
  DWORD size = 0;
  (void)GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 ||
      !GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    return {};
  }
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

class TrustedAccounts {
 public:
  TrustedAccounts()
      : sids_{WellKnownSid(WinLocalSystemSid),
              WellKnownSid(WinBuiltinAdministratorsSid),
              WellKnownSid(WinCreatorOwnerSid),
              SidFromText(kTrustedInstallerSid), ProcessUserSid()} {}

  bool Trusted(PSID sid) const {
    for (const std::vector<BYTE>& trusted : sids_) {
      if (!trusted.empty() &&
          EqualSid(const_cast<BYTE*>(trusted.data()), sid)) {
        return true;
      }
    }
    return false;
  }

 private:
  std::vector<std::vector<BYTE>> sids_;
};

// "DOMAIN\name", or the account's SID text when it has no name here.
std::string AccountName(PSID sid) {
  wchar_t name[256];
  wchar_t domain[256];
  DWORD name_size = 256;
  DWORD domain_size = 256;
  SID_NAME_USE use{};
  if (LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size,
                        &use)) {
    const std::wstring account =
        domain_size > 0 ? std::wstring(domain) + L"\\" + name : name;
    return WideToUtf8(account);
  }
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "an unknown account";
  const LocalMemory owned(text);
  return WideToUtf8(text);
}

}  // namespace

std::optional<std::string> UntrustedWriter(const std::wstring& path) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = GetNamedSecurityInfoW(
      path.c_str(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
      &dacl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    throw Error(errnum::kPermissionDenied, "Cannot read the permissions of " +
                                               WideToUtf8(path) + ": " +
                                               SystemErrorText(status));
  }
  const LocalMemory owned(descriptor);
  const TrustedAccounts trusted;
  // An owner may always change the permissions.
  if (owner != nullptr && !trusted.Trusted(owner)) return AccountName(owner);
  // No list at all lets everybody do everything.
  if (dacl == nullptr) return std::string("Everyone");
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(dacl, index, &entry)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    // Deny entries take nothing away from this count: an allowing entry is
    // taken at its word.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    // Entries only for what is created inside do not apply to the path.
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kChangingRights) == 0) continue;
    PSID sid = &allowed->SidStart;
    if (!trusted.Trusted(sid)) return AccountName(sid);
  }
  return std::nullopt;
}

}  // namespace tavrolin::windows
