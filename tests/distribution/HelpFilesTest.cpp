// Help registration: the viewer's allow-list for help on network drives
// (a drive of the test prefix that Wine's mount manager reports as a
// network drive) and the record of a help file's folder.

#include "setup/distribution/HelpFiles.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Win.h"
#include "support/RegistryKeys.h"
#include "support/TestSupport.h"

namespace {

using namespace testsupport;

constexpr DWORD DefineUnixDriveCode = 0x006DC080;

// Asks Wine's mount manager to map (or, without a folder, to remove) a drive
// letter; the manager records the drive type under HKLM\Software\Wine\Drives.
bool DefineWineDrive(char letter, const std::string& unixFolder, DWORD driveType) {
  std::vector<unsigned char> record(32 + (unixFolder.empty() ? 0 : unixFolder.size() + 1) + 1, 0);
  const auto put16 = [&](std::size_t at, unsigned value) {
    record[at] = static_cast<unsigned char>(value);
    record[at + 1] = static_cast<unsigned char>(value >> 8);
  };
  put16(0, static_cast<unsigned>(record.size()));
  put16(4, driveType);
  put16(24, static_cast<unsigned char>(letter));
  if (!unixFolder.empty()) {
    put16(26, 32);
    std::memcpy(record.data() + 32, unixFolder.data(), unixFolder.size());
    put16(28, static_cast<unsigned>(32 + unixFolder.size() + 1));
  }
  HANDLE device = ::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  const bool ok = ::DeviceIoControl(device, DefineUnixDriveCode, record.data(), static_cast<DWORD>(record.size()),
                                    nullptr, 0, &returned, nullptr) != FALSE;
  ::CloseHandle(device);
  return ok;
}

std::string UnixPath(const std::wstring& windowsPath) {
  using Convert = char*(CDECL*)(LPCWSTR);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return {};
  char* path = convert(windowsPath.c_str());
  if (!path) return {};
  std::string result(path);
  ::HeapFree(::GetProcessHeap(), 0, path);
  return result;
}

// Drive B: as a network drive onto a scratch folder, for the length of a
// test. B: lies outside the letters other tests of the prefix remap.
class NetworkDrive {
public:
  NetworkDrive() {
    if (::GetDriveTypeW(L"B:\\") != DRIVE_NO_ROOT_DIR) return;
    Defined = DefineWineDrive('b', UnixPath(Folder.dir()), DRIVE_REMOTE);
  }
  ~NetworkDrive() {
    if (Defined) {
      EXPECT_TRUE(DefineWineDrive('b', {}, 0)) << "cannot remove drive B:";
    }
  }
  bool Ready() const { return Defined && ::GetDriveTypeW(L"B:\\") == DRIVE_REMOTE; }
  const TempDir& folder() const { return Folder; }

private:
  TempDir Folder{"network drive"};
  bool Defined = false;
};

class HelpFileRegistration : public ::testing::Test {
protected:
  std::optional<std::wstring> AllowList() const {
    return ReadStringValue(HKEY_LOCAL_MACHINE, HelpRestrictionsKey, L"UrlAllowList");
  }
  void SetAllowList(const std::optional<std::wstring>& list) {
    if (list) {
      WriteStringValues(HKEY_LOCAL_MACHINE, HelpRestrictionsKey, {{L"UrlAllowList", *list}});
      return;
    }
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, HelpRestrictionsKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(key, L"UrlAllowList");
    ::RegCloseKey(key);
  }

  SavedRegistryValue SavedList{HKEY_LOCAL_MACHINE, HelpRestrictionsKey, L"UrlAllowList"};
};

TEST_F(HelpFileRegistration, LocalOrMissingFilesWriteNoAllowList) {
  SetAllowList(std::nullopt);
  TempDir dir("local help");
  WriteFile(dir.path() / "local.chm", "ITSF");
  RegisterHelpFile(dir.file(L"local.chm"), false);
  RegisterHelpFile(L"B:\\no such folder\\missing.chm", false);
  RegisterHelpFile(L"\\\\nosuchserver\\share\\missing.chm", false);
  EXPECT_EQ(AllowList(), std::nullopt);
}

TEST_F(HelpFileRegistration, NetworkHelpIsAllowListedInBothFormsOnce) {
  NetworkDrive drive;
  if (!drive.Ready()) GTEST_SKIP() << "no network drive B: in this prefix";
  WriteFile(drive.folder().path() / "jom.chm", "ITSF");
  const std::wstring file = L"B:\\jom.chm";

  const struct {
    const char* Case;
    std::optional<std::wstring> Before;
    std::wstring After;
  } cases[] = {
      {"no list", std::nullopt, L"file://B:\\jom.chm;B:\\jom.chm"},
      {"other entries", L"C:\\other.chm", L"C:\\other.chm;file://B:\\jom.chm;B:\\jom.chm"},
      {"both there in another case", L"FILE://b:\\JOM.CHM;x;b:\\Jom.chm", L"FILE://b:\\JOM.CHM;x;b:\\Jom.chm"},
      {"only the plain form there", L"b:\\JOM.chm", L"b:\\JOM.chm;file://B:\\jom.chm"},
  };
  for (const auto& c : cases) {
    SetAllowList(c.Before);
    RegisterHelpFile(file, false);
    EXPECT_EQ(AllowList(), c.After) << c.Case;
    // Registering again adds nothing.
    RegisterHelpFile(file, false);
    EXPECT_EQ(AllowList(), c.After) << c.Case << ", again";
  }
}

TEST_F(HelpFileRegistration, RecordsTheFolderUnlessAValidRecordExists) {
  TempDir first("help first"), second("help second");
  const std::wstring name = UniqueName(L"tavrel") + L".chm";
  SavedRegistryValue saved(HKEY_LOCAL_MACHINE, HelpFoldersKey, name);
  const std::string narrow(name.begin(), name.end());
  WriteFile(first.path() / narrow, "ITSF");
  WriteFile(second.path() / narrow, "ITSF");
  const auto record = [&] { return ReadStringValue(HKEY_LOCAL_MACHINE, HelpFoldersKey, name); };
  const auto folderOf = [](const TempDir& dir) { return dir.dir().substr(0, dir.dir().size() - 1); };

  RegisterHelpFile(first.file(name), false);
  EXPECT_EQ(record(), std::nullopt) << "only recorded when asked";

  RegisterHelpFile(first.file(name), true);
  EXPECT_EQ(record(), folderOf(first));
  // A record whose folder holds the file stays.
  RegisterHelpFile(second.file(name), true);
  EXPECT_EQ(record(), folderOf(first));
  // One whose folder lost the file is replaced.
  std::filesystem::remove(first.path() / narrow);
  RegisterHelpFile(second.file(name), true);
  EXPECT_EQ(record(), folderOf(second));
}

}  // namespace
