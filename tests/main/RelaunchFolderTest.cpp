// The relaunch helpers against the real file system: the choice of the
// relaunch folder and the tree deletion.

#include <gtest/gtest.h>

#include <filesystem>

#include "setup/main/SetupRelaunch.h"
#include "setup/main/SetupStart.h"
#include "support/RegistryKeys.h"
#include "support/TestSupport.h"
#include "support/WindowWatcher.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// TMP and TEMP point into a test folder for the life of the object.
class ScopedTempVariables {
public:
  explicit ScopedTempVariables(const fs::path& folder) {
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      wchar_t value[4096];
      const DWORD length = ::GetEnvironmentVariableW(name, value, 4096);
      Saved.emplace_back(name, length > 0 && length < 4096 ? value : L"");
      ::SetEnvironmentVariableW(name, folder.wstring().c_str());
    }
  }
  ~ScopedTempVariables() {
    for (const auto& [name, value] : Saved) ::SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
  }

private:
  std::vector<std::pair<const wchar_t*, std::wstring>> Saved;
};

TEST(GetRelaunchDir, SkipsOnlyFoldersWhoseProgramIsInUse) {
  TempDir temp("rdir");
  ScopedTempVariables variables(temp.path());
  const fs::path root = temp.path() / "JOMSETUP.TMP";

  EXPECT_EQ(GetRelaunchDir(), (root / "1").wstring());
  EXPECT_TRUE(fs::is_directory(root / "1"));

  // A left-over folder (program not running, or no program at all) is reused.
  WriteFile(root / "1" / SetupExeName(), "old copy");
  EXPECT_EQ(GetRelaunchDir(), (root / "1").wstring());

  ChildProcess running = HoldFileOpen((root / "1" / SetupExeName()).wstring(), FILE_SHARE_READ);
  EXPECT_EQ(GetRelaunchDir(), (root / "2").wstring());
  fs::create_directories(root / "2");
  WriteFile(root / "2" / "other.txt", "");
  EXPECT_EQ(GetRelaunchDir(), (root / "2").wstring());
}

TEST(RemoveRelaunchFolders, RemovesTheOwnAndLeftOverFoldersAndSchedulesWhatIsInUse) {
  TempDir temp("rrem");
  ScopedTempVariables variables(temp.path());
  const fs::path root = temp.path() / "JOMSETUP.TMP";
  const std::wstring exe = SetupExeName();
  for (const char* n : {"1", "2", "3"}) {
    fs::create_directories(root / n);
    WriteFile(root / n / exe, "copy");
    WriteFile(root / n / "setup.sln", "texts");
  }
  // 1 is this copy's own folder, 3 that of another copy still running, 2
  // was left by a copy that is gone.
  ChildProcess own = HoldFileOpen((root / "1" / exe).wstring(), FILE_SHARE_READ);
  ChildProcess other = HoldFileOpen((root / "3" / exe).wstring(), FILE_SHARE_READ);
  RemoveRelaunchFolders((root / "1").wstring() + L"\\");

  EXPECT_FALSE(fs::exists(root / "2"));
  EXPECT_FALSE(fs::exists(root / "1" / "setup.sln"));
  EXPECT_TRUE(fs::exists(root / "3" / "setup.sln")) << "a running copy keeps its folder";
  const std::wstring pending = PendingRenames();
  const std::size_t ownExe = pending.find((root / "1" / exe).wstring() + L"|");
  const std::size_t ownFolder = pending.find((root / "1").wstring() + L"|");
  const std::size_t top = pending.find(root.wstring() + L"|");
  EXPECT_NE(ownExe, std::wstring::npos) << "the running executable is deleted at restart";
  EXPECT_NE(ownFolder, std::wstring::npos);
  EXPECT_NE(top, std::wstring::npos) << "and then the relaunch root";
  EXPECT_TRUE(ownExe < ownFolder && ownFolder < top) << "a folder is scheduled after its content";
  EXPECT_EQ(pending.find((root / "3").wstring()), std::wstring::npos);
  ForgetPendingRenames(temp.path().wstring());
}

// A tree of nested folders and read-only files.
void MakeTree(const fs::path& top) {
  fs::create_directories(top / "a" / "b");
  fs::create_directories(top / "empty");
  WriteFile(top / "f1.txt", "1");
  WriteFile(top / "a" / "f2.txt", "2");
  WriteFile(top / "a" / "b" / "f3.txt", "3");
  ::SetFileAttributesW((top / "a" / "b" / "f3.txt").wstring().c_str(), FILE_ATTRIBUTE_READONLY);
}

size_t CountFiles(const fs::path& top) {
  size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(top)) count += entry.is_regular_file() ? 1 : 0;
  return count;
}

TEST(DeleteTree, FilesOnlyOrTheWholeTree) {
  TempDir dir("tree");
  const fs::path top = dir.path() / "top";
  MakeTree(top);
  DeleteTree(top.wstring(), false, false);
  EXPECT_EQ(CountFiles(top), 0u);
  EXPECT_TRUE(fs::is_directory(top / "a" / "b"));

  MakeTree(top);
  DeleteTree(top.wstring() + L"\\", true, false);
  EXPECT_FALSE(fs::exists(top));

  DeleteTree((dir.path() / "missing").wstring(), true, false);  // nothing to do, no box
}

TEST(DeleteTree, ALinkedFolderIsRemovedButNotEmptied) {
  TempDir dir("link");
  const fs::path outside = dir.path() / "outside";
  fs::create_directories(outside);
  WriteFile(outside / "keep.txt", "keep");
  const fs::path top = dir.path() / "top";
  fs::create_directories(top);
  if (!::CreateSymbolicLinkW((top / "link").wstring().c_str(), outside.wstring().c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    GTEST_SKIP() << "no folder links here: " << ::GetLastError();
  }
  DeleteTree(top.wstring(), true, true);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

TEST(DeleteTree, AFileInUseIsReportedOrScheduled) {
  TempDir dir("busy");
  const fs::path top = dir.path() / "top";
  fs::create_directories(top);
  WriteFile(top / "busy.bin", "x");
  WriteFile(top / "free.bin", "x");
  const std::wstring busy = (top / "busy.bin").wstring();
  ChildProcess holder = HoldFileOpen(busy, FILE_SHARE_READ | FILE_SHARE_WRITE);
  {
    TMessageBoxWatcher boxes(BoxesOfProcess(::GetCurrentProcessId()));
    DeleteTree(top.wstring(), true, false);
    ASSERT_EQ(boxes.Boxes().size(), 2u);  // the file, then its folder
    EXPECT_EQ(boxes.Boxes()[0].Caption, L"Ошибка");
    EXPECT_EQ(boxes.Boxes()[0].Text.rfind(L"Удаление файла: " + busy + L"\r\nСообщение: ", 0), 0u)
        << boxes.Boxes()[0].Text;
    EXPECT_EQ(boxes.Boxes()[1].Text.rfind(L"Удаление каталога: " + top.wstring() + L"\r\nСообщение: ", 0), 0u)
        << boxes.Boxes()[1].Text;
  }
  EXPECT_FALSE(fs::exists(top / "free.bin"));
  EXPECT_TRUE(fs::exists(busy));

  TMessageBoxWatcher none(BoxesOfProcess(::GetCurrentProcessId()));
  DeleteTree(top.wstring(), true, true);
  EXPECT_TRUE(none.Boxes().empty());
}

}  // namespace
