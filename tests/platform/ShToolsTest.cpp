#include "platform/ShTools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/ShellWinTypes.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "support/ShellLinkReader.h"
#include "support/TestSupport.h"
#include "support/WindowWatcher.h"

#include <shlobj.h>

namespace fs = std::filesystem;

namespace {
std::wstring Unique(const std::wstring& tag) { return tag + L"-" + std::to_wstring(::GetCurrentProcessId()); }

TEST(SpecialFolders, FallBackWhenTheSystemReportsNothing) {
  int registryAsked = -1;
  TSpecialFolderQueries silent{[](int) { return std::wstring(); },
                               [&](int csidl) {
                                 registryAsked = csidl;
                                 return std::wstring();
                               },
                               [] { return std::wstring(L"E:\\WINNT"); }};
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_PROGRAM_FILES, silent), L"E:\\Program Files");
  EXPECT_EQ(registryAsked, CSIDL_PROGRAM_FILES);
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_APPDATA, silent), L"");
  EXPECT_EQ(GetLocalAppDataFolder(silent), L"E:\\WINNT\\Application Data");
  EXPECT_EQ(GetCommonAppDataFolder(silent), L"E:\\WINNT\\Profiles\\All Users\\Application Data");

  // The "Shell Folders" value stands in for a silent shell.
  TSpecialFolderQueries registry = silent;
  registry.ShellFolders = [](int csidl) {
    return ShellFoldersValueName(csidl) == L"AppData" ? std::wstring(L"E:\\Data") : std::wstring();
  };
  EXPECT_EQ(GetLocalAppDataFolder(registry), L"E:\\Data");
  EXPECT_EQ(ShellFoldersValueName(CSIDL_COMMON_PROGRAMS), L"Common Programs");
  EXPECT_EQ(ShellFoldersValueName(CSIDL_PROGRAM_FILES), L"");

  // The system's own answers are real folders.
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_COMMON_PROGRAMS, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA}) {
    const std::wstring path = GetSpecialFolderPath(csidl);
    EXPECT_TRUE(PlatformTools().DirectoryExists(path)) << csidl << ": " << fs::path(path).string();
  }
  const std::wstring desktop = GetShellFolderParsingName(3);
  EXPECT_TRUE(PlatformTools().DirectoryExists(desktop)) << fs::path(desktop).string();
  EXPECT_EQ(GetShellFolderParsingName(FolderKindNone), L"");
  EXPECT_EQ(GetShellFolderParsingName(99), L"");
}

using testsupport::ReadShellLink;
using TLinkContents = testsupport::TShellLinkContents;

TEST(Shortcuts, CreateShortcutReadsBackWithItsParts) {
  testsupport::TempDir dir("link");
  testsupport::WriteFile(dir.path() / "app.exe", "MZ");
  const std::wstring link = dir.file(L"sub\\App.lnk");
  ASSERT_TRUE(CreateShortcut(dir.file(L"app.exe"), L"/AUTO x", L"The application", link, {}));
  TLinkContents contents;
  ASSERT_TRUE(ReadShellLink(link, contents));
  EXPECT_EQ(UpperCaseText(contents.Target), UpperCaseText(dir.file(L"app.exe")));
  EXPECT_EQ(contents.Arguments, L"/AUTO x");
  EXPECT_EQ(contents.Description, L"The application");
  EXPECT_EQ(UpperCaseText(IncludeTrailingBackslash(contents.WorkingFolder)), UpperCaseText(dir.dir()));
}

TEST(Shortcuts, ProgramsShortcutRemovalTakesEmptyGroupFoldersOnly) {
  const std::wstring programs = GetProgramsFolder();
  ASSERT_TRUE(PlatformTools().DirectoryExists(programs));
  testsupport::TempDir dir("target");
  testsupport::WriteFile(dir.path() / "app.exe", "MZ");
  const std::wstring group = Unique(L"TavrelShellTest");
  const std::wstring groupFolder = IncludeTrailingBackslash(programs) + group;

  // A group (two levels) that holds only the link goes with it.
  ASSERT_TRUE(CreateProgramsShortcut(group + L"\\Sub", L"App", dir.file(L"app.exe"), L"/x"));
  const std::wstring link = groupFolder + L"\\Sub\\App.lnk";
  TLinkContents contents;
  ASSERT_TRUE(ReadShellLink(link, contents));
  EXPECT_EQ(contents.Description, L"App");
  EXPECT_TRUE(DeleteProgramsShortcut(group + L"\\Sub", L"App"));
  EXPECT_FALSE(PlatformTools().FileExists(link));
  EXPECT_FALSE(PlatformTools().DirectoryExists(groupFolder));
  EXPECT_TRUE(PlatformTools().DirectoryExists(programs));

  // A group that holds another entry stays.
  ASSERT_TRUE(CreateProgramsShortcut(group, L"App", dir.file(L"app.exe"), {}));
  ASSERT_TRUE(CreateProgramsShortcut(group, L"Help", dir.file(L"app.exe"), L"/help"));
  EXPECT_TRUE(DeleteProgramsShortcut(group, L"App"));
  EXPECT_FALSE(PlatformTools().FileExists(groupFolder + L"\\App.lnk"));
  EXPECT_TRUE(PlatformTools().FileExists(groupFolder + L"\\Help.lnk"));
  EXPECT_TRUE(DeleteProgramsShortcut(group, L"Help"));
  EXPECT_FALSE(PlatformTools().DirectoryExists(groupFolder));

  // A group that leads out of the Programs folder is refused.
  EXPECT_FALSE(CreateProgramsShortcut(L"..\\..\\" + group, L"App", dir.file(L"app.exe"), {}));
  EXPECT_EQ(ProgramsShortcutFile(L"..\\..\\x", L"App"), L"");
}

TEST(ShellFileOperations, DeleteCopyAndCreate) {
  testsupport::TempDir dir("shellops");
  EXPECT_EQ(ShellDelete(dir.file(L"missing.txt"), false), 0);
  EXPECT_EQ(ShellDelete(dir.file(L"missing"), true), 0);
  // A file is not deleted as a folder, nor a folder as a file.
  testsupport::WriteFile(dir.path() / "a.txt", "A");
  EXPECT_EQ(ShellDelete(dir.file(L"a.txt"), true), 0);
  EXPECT_TRUE(PlatformTools().FileExists(dir.file(L"a.txt")));

  EXPECT_TRUE(ShellForceDirectories(dir.file(L"x\\y\\z")));
  EXPECT_TRUE(PlatformTools().DirectoryExists(dir.file(L"x\\y\\z")));
  EXPECT_EQ(ShellCopyLists({dir.file(L"a.txt"), dir.file(L"a.txt")}, {dir.file(L"x\\b.txt"), dir.file(L"x\\y\\c.txt")}),
            0);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "x" / "y" / "c.txt"), "A");
  EXPECT_EQ(ShellCopy(dir.file(L"a.txt"), dir.file(L"x\\y\\z\\d.txt"), true), 0);
  EXPECT_TRUE(PlatformTools().FileExists(dir.file(L"x\\y\\z\\d.txt")));

  EXPECT_EQ(ShellDelete(dir.file(L"x"), true), 0);
  EXPECT_FALSE(PlatformTools().DirectoryExists(dir.file(L"x")));
  EXPECT_EQ(ShellDelete(dir.file(L"a.txt"), false), 0);
  EXPECT_FALSE(PlatformTools().FileExists(dir.file(L"a.txt")));
  NotifyAssociationsChanged();
}

TEST(ShellTools, StartupShortcutComesAndGoes) {
  testsupport::TempDir dir("startup");
  testsupport::WriteFile(dir.path() / "app.exe", "MZ");
  const std::wstring name = Unique(L"TavrelStartupTest");
  IShellTools& shell = ShellTools();
  EXPECT_FALSE(shell.StartupShortcutExists(name));
  ASSERT_TRUE(shell.SetStartupShortcut(name, dir.file(L"app.exe"), L"/min", true));
  EXPECT_TRUE(shell.StartupShortcutExists(name));
  EXPECT_TRUE(shell.SetStartupShortcut(name, {}, {}, false));
  EXPECT_FALSE(shell.StartupShortcutExists(name));
  EXPECT_EQ(shell.GetLocalAppDataFolder(), GetLocalAppDataFolder());
}

// Runs SelectDirectory on this thread while another one works the dialog:
// act gets the dialog once it shows and presses its buttons.
bool RunFolderDialog(std::wstring& path, const std::function<void(HWND dialog)>& act) {
  const std::wstring caption = Unique(L"Choose a folder");
  const DWORD self = ::GetCurrentProcessId();
  std::thread driver([&] {
    testsupport::TWindowInfo found;
    if (!testsupport::WaitForWindow(
            [&](const testsupport::TWindowInfo& w) { return w.ProcessId == self && w.ClassName == L"#32770"; }, 30000,
            found)) {
      ADD_FAILURE() << "the folder dialog did not show";
      return;
    }
    ::Sleep(300);  // the dialog finishes its initialisation
    act(found.Window);
  });
  const bool chosen = SelectDirectory(path, caption, 4, false, true);
  driver.join();
  return chosen;
}

std::wstring ControlText(HWND dialog, int control) {
  wchar_t text[1024] = {};
  ::GetDlgItemTextW(dialog, control, text, 1024);
  return text;
}

TEST(SelectDirectory, OpensOnTheNearestExistingFolderAndAcceptsATypedNewOne) {
  testsupport::TempDir dir("browse");
  fs::create_directories(dir.path() / "a");
  const std::wstring existing = dir.file(L"a");

  std::wstring path = dir.file(L"a\\b");
  std::wstring shown;
  EXPECT_TRUE(RunFolderDialog(path, [&](HWND dialog) {
    shown = ControlText(dialog, 14148);
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  }));
  EXPECT_EQ(UpperCaseText(shown), UpperCaseText(existing));
  EXPECT_EQ(UpperCaseText(path), UpperCaseText(existing));

  const std::wstring typed = dir.file(L"new\\folder");
  EXPECT_TRUE(RunFolderDialog(path, [&](HWND dialog) {
    ::SetDlgItemTextW(dialog, 14148, typed.c_str());
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  }));
  EXPECT_EQ(UpperCaseText(path), UpperCaseText(typed));
  EXPECT_FALSE(PlatformTools().DirectoryExists(typed)) << "choosing does not create it";

  // Cancel leaves the path alone.
  std::wstring kept = existing;
  EXPECT_FALSE(RunFolderDialog(kept, [](HWND dialog) { ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }));
  EXPECT_EQ(kept, existing);
}
}  // namespace
