#include <gtest/gtest.h>

#include "platform/Win.h"

#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <string>

#include "platform/AclApi.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/UniqueHandle.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {
// The explicit-or-inherited allow entry for the users group on the path, if any.
struct TUsersEntry {
  bool Found = false;
  DWORD Mask = 0;
  BYTE Flags = 0;
};

TUsersEntry FindUsersEntry(const std::wstring& path) {
  TUsersEntry result;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
    return result;
  UniqueLocalBlock owner(descriptor);
  PSID users = nullptr;
  ::ConvertStringSidToSidW(L"S-1-5-32-545", &users);
  UniqueLocalBlock usersOwner(users);
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace))) continue;
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    if (!::EqualSid(reinterpret_cast<PSID>(&ace->SidStart), users)) continue;
    result.Found = true;
    result.Mask |= ace->Mask;
    result.Flags |= ace->Header.AceFlags;
  }
  return result;
}
}  // namespace

TEST(EveryoneSecurityAttributes, InheritableWithANullAccessList) {
  SECURITY_ATTRIBUTES* attributes = EveryoneSecurityAttributes();
  ASSERT_NE(attributes, nullptr);
  EXPECT_EQ(attributes, EveryoneSecurityAttributes()) << "one process-wide value";
  EXPECT_EQ(attributes->nLength, 24u);
  EXPECT_TRUE(attributes->bInheritHandle);
  BOOL present = FALSE, defaulted = TRUE;
  PACL dacl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(::GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl, nullptr);

  // A pipe made with them opens for another client.
  const std::wstring name = L"\\\\.\\pipe\\tavrel-test-" + std::to_wstring(::GetCurrentProcessId());
  UniqueKernelHandle pipe(static_cast<HANDLE>(PlatformTools().CreateNamedPipe(name, 4096, 4096)));
  ASSERT_TRUE(pipe.valid());
  EXPECT_TRUE(PlatformTools().IsPipeHandle(pipe.get()));
  UniqueKernelHandle client(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                          nullptr));
  EXPECT_TRUE(client.valid());
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(client.get(), "hello", 5, &written, nullptr));
  std::uint32_t available = 0;
  EXPECT_TRUE(PlatformTools().PeekPipe(pipe.get(), available));
  EXPECT_EQ(available, 5u);
}

TEST(GetUsersGroupName, NamesTheBuiltInUsersGroup) {
  const std::wstring name = GetUsersGroupName();
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name, GetUsersGroupName());
  // The name resolves back to S-1-5-32-545.
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(sid);
  wchar_t domain[256];
  DWORD domainSize = 256;
  SID_NAME_USE use{};
  ASSERT_TRUE(::LookupAccountNameW(nullptr, name.c_str(), sid, &sidSize, domain, &domainSize, &use));
  wchar_t* text = nullptr;
  ASSERT_TRUE(::ConvertSidToStringSidW(sid, &text));
  UniqueLocalBlock owner(text);
  EXPECT_STREQ(text, L"S-1-5-32-545");
}

TEST(BuildGrantedAcl, MergesAnInheritableEntryForTheTrustee) {
  // An existing list that grants Everyone read access.
  PSID everyone = nullptr;
  ASSERT_TRUE(::ConvertStringSidToSidW(L"S-1-1-0", &everyone));
  UniqueLocalBlock everyoneOwner(everyone);
  BYTE buffer[256];
  PACL existing = reinterpret_cast<PACL>(buffer);
  ASSERT_TRUE(::InitializeAcl(existing, sizeof(buffer), ACL_REVISION));
  ASSERT_TRUE(::AddAccessAllowedAce(existing, ACL_REVISION, GENERIC_READ, everyone));

  UniqueLocalBlock merged = BuildGrantedAcl(existing, GetUsersGroupName(), UsersModifyAccessMask);
  ASSERT_TRUE(merged.valid()) << ::GetLastError();
  PACL list = static_cast<PACL>(merged.get());
  ASSERT_EQ(list->AceCount, 2);
  PSID users = nullptr;
  ASSERT_TRUE(::ConvertStringSidToSidW(L"S-1-5-32-545", &users));
  UniqueLocalBlock usersOwner(users);
  bool found = false;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(::GetAce(list, i, reinterpret_cast<void**>(&ace)));
    if (!::EqualSid(reinterpret_cast<PSID>(&ace->SidStart), users)) continue;
    found = true;
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Mask, UsersModifyAccessMask);
    EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  }
  EXPECT_TRUE(found);
  EXPECT_FALSE(BuildGrantedAcl(existing, L"No Such Group \u2116 42", UsersModifyAccessMask).valid());
  EXPECT_NE(::GetLastError(), 0u);
}

TEST(GrantAccess, OpensAFolderToTheUsersGroup) {
  TempDir dir("grant");
  const fs::path folder = dir.path() / "data";
  fs::create_directories(folder / "sub");
  testsupport::WriteFile(folder / "sub" / "f.txt", "x");
  const std::wstring path = folder.wstring();
  EXPECT_TRUE(VolumeSupportsAcls(path));

  ASSERT_TRUE(GrantAccess(path, GetUsersGroupName(), UsersModifyAccessMask)) << ::GetLastError();
  EXPECT_TRUE(PlatformTools().GrantUsersModifyAccess(path + L"\\"));

  const TUsersEntry entry = FindUsersEntry(path);
  if (!entry.Found) {
    // Wine accepts the new list but keeps no per-file access lists: reading
    // it back gives the synthesised default list again.
    EXPECT_TRUE(RuntimeEnvironment().IsWine) << "Windows keeps the entry";
    return;
  }
  EXPECT_EQ(entry.Mask & UsersModifyAccessMask, UsersModifyAccessMask);
  const TUsersEntry file = FindUsersEntry((folder / "sub" / "f.txt").wstring());
  EXPECT_TRUE(file.Found && (file.Flags & INHERITED_ACE)) << "everything below inherits the entry";
  DWORD rights = 0;
  EXPECT_TRUE(GetEffectiveRights(path, GetUsersGroupName(), rights));
  EXPECT_EQ(rights & UsersModifyAccessMask, UsersModifyAccessMask);
}

TEST(GrantAccess, FailuresLeaveTheReason) {
  TempDir dir("grant-fail");
  ::SetLastError(0);
  EXPECT_FALSE(GrantAccess(dir.file(L"missing"), GetUsersGroupName(), UsersModifyAccessMask));
  EXPECT_NE(::GetLastError(), 0u);
  DWORD rights = 0;
  EXPECT_FALSE(GetEffectiveRights(dir.file(L"missing"), GetUsersGroupName(), rights));
  EXPECT_FALSE(VolumeSupportsAcls(L"relative\\path"));
}
