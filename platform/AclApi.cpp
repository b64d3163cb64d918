#include "platform/AclApi.h"

#include <aclapi.h>

#include <mutex>
#include <vector>

#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"

namespace {
// ADVAPI32 entry points bound by name once; null when missing. The library
// stays loaded for the life of the process.
struct TAdvapiEntryPoints {
  decltype(&::BuildExplicitAccessWithNameW) BuildExplicitAccessWithName = nullptr;
  decltype(&::BuildTrusteeWithNameW) BuildTrusteeWithName = nullptr;
  decltype(&::BuildTrusteeWithSidW) BuildTrusteeWithSid = nullptr;
  decltype(&::GetEffectiveRightsFromAclW) GetEffectiveRightsFromAcl = nullptr;
  decltype(&::GetSecurityInfo) GetSecurityInfo = nullptr;
  decltype(&::SetEntriesInAclW) SetEntriesInAcl = nullptr;
  decltype(&::GetNamedSecurityInfoW) GetNamedSecurityInfo = nullptr;
  decltype(&::SetNamedSecurityInfoW) SetNamedSecurityInfo = nullptr;
  decltype(&::TreeResetNamedSecurityInfoW) TreeResetNamedSecurityInfo = nullptr;
};

template <class Fn>
void Bind(HMODULE module, const char* name, Fn& target) {
  target = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

const TAdvapiEntryPoints& Advapi() {
  static const TAdvapiEntryPoints entries = [] {
    TAdvapiEntryPoints e;
    HMODULE module = ::LoadLibraryW(L"ADVAPI32.DLL");
    Bind(module, "BuildExplicitAccessWithNameW", e.BuildExplicitAccessWithName);
    Bind(module, "BuildTrusteeWithNameW", e.BuildTrusteeWithName);
    Bind(module, "BuildTrusteeWithSidW", e.BuildTrusteeWithSid);
    Bind(module, "GetEffectiveRightsFromAclW", e.GetEffectiveRightsFromAcl);
    Bind(module, "GetSecurityInfo", e.GetSecurityInfo);
    Bind(module, "SetEntriesInAclW", e.SetEntriesInAcl);
    Bind(module, "GetNamedSecurityInfoW", e.GetNamedSecurityInfo);
    Bind(module, "SetNamedSecurityInfoW", e.SetNamedSecurityInfo);
    Bind(module, "TreeResetNamedSecurityInfoW", e.TreeResetNamedSecurityInfo);
    return e;
  }();
  return entries;
}

// Failure: the code becomes the thread's last error, the result false.
bool Fail(DWORD code) {
  ::SetLastError(code);
  return false;
}

// The path's security descriptor holding only its access list, in a block of
// the process heap; invalid on failure.
UniqueHeapBlock ReadDaclDescriptor(const std::wstring& path) {
  DWORD needed = 0;
  ::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  if (needed == 0) return {};
  UniqueHeapBlock block(::HeapAlloc(::GetProcessHeap(), 0, needed));
  if (!block) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return {};
  }
  if (!::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, block.get(), needed, &needed)) return {};
  return block;
}

PACL DaclOf(const UniqueHeapBlock& descriptor) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) || !present) return nullptr;
  return dacl;
}

// Removes the entries of one object that are not inherited and lets it inherit.
bool ResetToInherited(const std::wstring& path) {
  const TAdvapiEntryPoints& api = Advapi();
  if (!api.GetNamedSecurityInfo || !api.SetNamedSecurityInfo) return Fail(ERROR_INVALID_FUNCTION);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD result = api.GetNamedSecurityInfo(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                          &dacl, nullptr, &descriptor);
  if (result != ERROR_SUCCESS) return Fail(result);
  UniqueLocalBlock owned(descriptor);
  if (dacl) {
    for (int i = static_cast<int>(dacl->AceCount) - 1; i >= 0; --i) {
      ACE_HEADER* ace = nullptr;
      if (::GetAce(dacl, static_cast<DWORD>(i), reinterpret_cast<void**>(&ace)) && !(ace->AceFlags & INHERITED_ACE))
        ::DeleteAce(dacl, static_cast<DWORD>(i));
    }
  }
  std::wstring name = path;
  result = api.SetNamedSecurityInfo(name.data(), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, dacl, nullptr);
  return result == ERROR_SUCCESS || Fail(result);
}

// The walk used when the system cannot reset a tree in one call.
bool ResetTreeToInherited(const std::wstring& directory) {
  bool ok = true;
  WIN32_FIND_DATAW entry{};
  const std::wstring folder = IncludeTrailingBackslash(directory);
  UniqueFindHandle find(::FindFirstFileW((folder + L"*").c_str(), &entry));
  if (!find) return false;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    ok = ResetToInherited(folder + name) && ok;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ok = ResetTreeToInherited(folder + name) && ok;
  } while (::FindNextFileW(find.get(), &entry));
  return ok;
}

// Writes the access list into the path as an unprotected list.
bool WriteDacl(const std::wstring& path, PACL dacl) {
  SECURITY_DESCRIPTOR descriptor{};
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return false;
  if (!::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE)) return false;
  return ::SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                            &descriptor) != FALSE;
}
// Makes everything below the directory inherit its list in one call; error 1
// when the system has no such call.
DWORD TreeResetToDirectoryList(const std::wstring& path, PACL dacl) {
  const TAdvapiEntryPoints& api = Advapi();
  if (!api.TreeResetNamedSecurityInfo) return ERROR_INVALID_FUNCTION;
  std::wstring name = path;
  return api.TreeResetNamedSecurityInfo(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        dacl, nullptr, FALSE, nullptr, ProgressInvokeNever, nullptr);
}
}  // namespace

SECURITY_ATTRIBUTES* EveryoneSecurityAttributes() {
  static SECURITY_DESCRIPTOR descriptor{};
  static SECURITY_ATTRIBUTES attributes = [] {
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES a{};
    a.nLength = sizeof(a);
    a.lpSecurityDescriptor = &descriptor;
    a.bInheritHandle = TRUE;
    return a;
  }();
  return &attributes;
}

std::wstring GetUsersGroupName() {
  static const std::wstring name = [] {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0,
                                    0, 0, &sid))
      return std::wstring(L"Users");
    wchar_t account[256] = {}, domain[256] = {};
    DWORD accountSize = 255, domainSize = 255;
    SID_NAME_USE use{};
    const BOOL found = ::LookupAccountSidW(nullptr, sid, account, &accountSize, domain, &domainSize, &use);
    ::FreeSid(sid);
    return found ? std::wstring(account) : std::wstring(L"Users");
  }();
  return name;
}

bool VolumeSupportsAcls(const std::wstring& path) {
  const std::wstring trimmed = TrimText(path);
  if (trimmed.size() < 2 || trimmed[1] != L':') return Fail(ERROR_INVALID_NAME);
  const std::wstring root = trimmed.substr(0, 2) + L"\\";
  DWORD flags = 0;
  ScopedErrorMode quiet;
  if (!::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return false;
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

bool GetEffectiveRights(const std::wstring& path, const std::wstring& trusteeName, DWORD& mask) {
  const TAdvapiEntryPoints& api = Advapi();
  if (!api.BuildTrusteeWithName || !api.GetEffectiveRightsFromAcl) return Fail(ERROR_INVALID_FUNCTION);
  UniqueHeapBlock descriptor = ReadDaclDescriptor(path);
  if (!descriptor) return false;
  TRUSTEE_W trustee{};
  std::wstring name = trusteeName;
  api.BuildTrusteeWithName(&trustee, name.data());
  ACCESS_MASK rights = 0;
  const DWORD result = api.GetEffectiveRightsFromAcl(DaclOf(descriptor), &trustee, &rights);
  if (result != ERROR_SUCCESS) return Fail(result);
  mask = rights;
  return true;
}

void EnsureAccess(const std::wstring& path, const std::wstring& trusteeName, DWORD mask) {
  DWORD rights = 0;
  if (GetEffectiveRights(path, trusteeName, rights) && (rights & mask) != mask) GrantAccess(path, trusteeName, mask);
}

UniqueLocalBlock BuildGrantedAcl(PACL existing, const std::wstring& trusteeName, DWORD mask) {
  const TAdvapiEntryPoints& api = Advapi();
  if (!api.BuildExplicitAccessWithName || !api.SetEntriesInAcl) {
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return {};
  }
  EXPLICIT_ACCESS_W access{};
  std::wstring name = trusteeName;
  api.BuildExplicitAccessWithName(&access, name.data(), mask, SET_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  PACL merged = nullptr;
  const DWORD result = api.SetEntriesInAcl(1, &access, existing, &merged);
  if (result != ERROR_SUCCESS) {
    ::SetLastError(result);
    return {};
  }
  return UniqueLocalBlock(merged);
}

bool GrantAccess(const std::wstring& path, const std::wstring& trusteeName, DWORD mask) {
  UniqueHeapBlock descriptor = ReadDaclDescriptor(path);
  if (!descriptor) return false;
  UniqueLocalBlock merged = BuildGrantedAcl(DaclOf(descriptor), trusteeName, mask);
  if (!merged) return false;
  PACL list = static_cast<PACL>(merged.get());
  if (!WriteDacl(path, list)) return false;

  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  if (TreeResetToDirectoryList(path, list) == ERROR_SUCCESS) return true;
  return ResetTreeToInherited(path);
}
