#include "setup/distribution/LockDirs.h"

#include <gtest/gtest.h>

#include <deque>
#include <regex>

#include "platform/PlatformWinTypes.h"
#include "platform/Win.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/Tempdir.h"
#include "setup/messages/SystemRuntimeMessages.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::HoldFileOpen;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {
std::vector<std::wstring> ErrorBoxes;
void CaptureErrorBox(const std::wstring& text) { ErrorBoxes.push_back(text); }

// Hands out the GUID texts a test queued, then real ones.
class TScriptedGuids : public TPlatformTools {
public:
  std::deque<std::wstring> Guids;
  std::wstring CreateGuidString(bool, bool, bool) override {
    if (Guids.empty()) return std::to_wstring(::GetTickCount64()) + std::to_wstring(++Counter);
    std::wstring guid = Guids.front();
    Guids.pop_front();
    return guid;
  }

private:
  int Counter = 0;
};

std::wstring Base36Name(const std::wstring& guid) {
  std::uint32_t n = WideStringCrc32(guid, 0xFFFFFFFFu) / 2;
  std::wstring text;
  for (int i = 0; i < 6; ++i, n /= 36) text.insert(text.begin(), L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[n % 36]);
  return L"~" + text + L"~.~-~";
}

// Runs a test body with TMP (and so the system temporary folder of child
// processes) pointing at the given folder.
class ScopedTmp {
public:
  explicit ScopedTmp(const std::wstring& folder) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"TMP", buffer, MAX_PATH);
    Saved = length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
    ::SetEnvironmentVariableW(L"TMP", folder.c_str());
  }
  ~ScopedTmp() { ::SetEnvironmentVariableW(L"TMP", Saved.empty() ? nullptr : Saved.c_str()); }

private:
  std::wstring Saved;
};

std::wstring HelperExe() { return (testsupport::ExecutableDir() / L"KitWorkFolder.exe").wstring(); }

// Starts a helper that keeps its own work folder under root alive until it
// is killed; returns the folder.
fs::path StartLiveOwner(ChildProcess& child, const TempDir& reports, const std::wstring& root) {
  ScopedTmp tmp(root);
  const fs::path report = reports.path() / ("owner" + std::to_string(::GetTickCount64()) + ".txt");
  EXPECT_TRUE(child.Start(L"\"" + HelperExe() + L"\" hold \"" + report.wstring() + L"\""));
  for (int i = 0; i < 200 && !fs::exists(report) && child.Running(); ++i) ::Sleep(50);
  const std::string bytes = testsupport::ReadFile(report);
  return fs::path(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t)));
}

long RunProgramEnd(const std::wstring& root) {
  ScopedTmp tmp(root);
  ChildProcess child;
  EXPECT_TRUE(child.Start(L"\"" + HelperExe() + L"\" run"));
  return child.Wait(60000);
}

void MakeStaleFolder(const fs::path& folder) {
  fs::create_directories(folder / "sub" / "deeper");
  WriteFile(folder / "data.tmp", "x");
  WriteFile(folder / "sub" / "deeper" / "more.tmp", "y");
  ::SetFileAttributesW((folder / "data.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
}

class LockDirsTest : public testing::Test {
protected:
  void SetUp() override {
    ErrorBoxes.clear();
    SetLockDirsErrorBox(&CaptureErrorBox);
  }
  void TearDown() override { SetLockDirsErrorBox(nullptr); }
};
}  // namespace

TEST_F(LockDirsTest, UniqueNamesFollowThePatternAndSkipExistingFolders) {
  TempDir root("lock");
  auto tools = MakeRef<TScriptedGuids>();
  tools->Guids = {L"AAAA", L"AAAA", L"BBBB"};
  RefPtr<IPlatformTools> previous = SetPlatformTools(tools);

  const std::wstring first = MakeUniqueFolderName(root.dir());
  EXPECT_EQ(first, root.dir() + Base36Name(L"AAAA") + L"\\");
  fs::create_directories(fs::path(first));
  const std::wstring second = MakeUniqueFolderName(root.dir());
  EXPECT_EQ(second, root.dir() + Base36Name(L"BBBB") + L"\\");
  SetPlatformTools(previous);

  const std::wregex pattern(LR"(~[0-9A-Z]{6}~\.~-~\\)");
  EXPECT_TRUE(std::regex_match(second.substr(root.dir().size()), pattern));
  // The halved CRC keeps every name within six base-36 digits.
  EXPECT_EQ(Base36Name(L"AAAA").size(), 12u);
}

TEST_F(LockDirsTest, ALockedFolderHoldsItsLockFileUntilUnlocked) {
  TempDir root("lock");
  const std::wstring folder = root.dir() + L"a\\b";
  {
    TLockDirectory lock(folder);
    EXPECT_TRUE(lock.Locked());
    EXPECT_EQ(lock.Folder(), folder + L"\\");
    EXPECT_TRUE(IsFileInUse(lock.Folder(), L"workfile.lck"));
    lock.Unlock();
    EXPECT_FALSE(fs::exists(fs::path(folder) / "workfile.lck"));
    EXPECT_TRUE(fs::exists(fs::path(folder)));
    lock.Lock(false);
    EXPECT_TRUE(lock.Locked());
    lock.DeleteOnUnlock = true;
    WriteFile(fs::path(folder) / "content.txt", "x");
  }
  EXPECT_FALSE(fs::exists(fs::path(folder)));
}

TEST_F(LockDirsTest, ALockFileHeldElsewhereLeavesTheFolderUnlockedWithAnErrorBox) {
  TempDir root("lock");
  WriteFile(root.path() / "workfile.lck", "");
  ChildProcess holder = HoldFileOpen(root.file(L"workfile.lck"), 0);
  struct TNoHalt : TLockDirectory {
    explicit TNoHalt(const std::wstring& folder) {
      SetFolder(folder);
      Lock(false);
    }
  } lock(root.dir());
  EXPECT_FALSE(lock.Locked());
  ASSERT_EQ(ErrorBoxes.size(), 1u);
  EXPECT_EQ(ErrorBoxes[0], L"Ошибка (32) записи в каталог \"" + root.dir() + L"\".");
}

TEST_F(LockDirsTest, FileLocksExcludeOtherProcessesAndWaitForTheirTimeout) {
  TempDir root("lock");
  WriteFile(root.path() / "held.lck", "");
  {
    ChildProcess holder = HoldFileOpen(root.file(L"held.lck"), 0);
    EXPECT_TRUE(IsFileInUse(root.dir(), L"held.lck"));
    EXPECT_EQ(AcquireFileLock(root.dir(), L"held.lck", 0), InvalidHandle);
    const std::uint64_t start = ::GetTickCount64();
    EXPECT_EQ(AcquireFileLock(root.dir(), L"held.lck", 300), InvalidHandle);
    EXPECT_GE(::GetTickCount64() - start, 290u);
  }
  EXPECT_FALSE(IsFileInUse(root.dir(), L"held.lck"));
  EXPECT_FALSE(IsFileInUse(root.dir(), L"absent.lck"));

  Handle lock = AcquireFileLock(root.dir() + L"new\\folder", L"mine.lck", 0);
  ASSERT_NE(lock, InvalidHandle);
  EXPECT_TRUE(IsFileInUse(root.dir() + L"new\\folder", L"mine.lck"));
  ReleaseFileLock(root.dir() + L"new\\folder", L"mine.lck", lock);
  EXPECT_EQ(lock, InvalidHandle);
  EXPECT_FALSE(fs::exists(root.path() / "new" / "folder" / "mine.lck"));
}

// One program end under a shared temporary folder: what it removes and what
// it must leave, with live owners being real processes.
TEST_F(LockDirsTest, ProgramEndSweepsOnlyStaleWorkFolders) {
  TempDir root("sweep");
  TempDir reports("reports");
  const fs::path base = root.path();

  MakeStaleFolder(base / "~ABCDEF~.~-~");
  MakeStaleFolder(base / "~ABCDEG~.$-$");
  MakeStaleFolder(base / "~abcdeh~.les");

  ChildProcess dead;
  const fs::path deadFolder = StartLiveOwner(dead, reports, root.dir());
  ASSERT_TRUE(fs::exists(deadFolder / "workfile.lck"));
  WriteFile(deadFolder / "left.tmp", "x");
  dead.Kill();

  ChildProcess live;
  const fs::path liveFolder = StartLiveOwner(live, reports, root.dir());
  ASSERT_TRUE(fs::exists(liveFolder / "workfile.lck"));
  WriteFile(liveFolder / "in-use.tmp", "x");

  // A stale folder holding a live nested one: only the outer files go.
  const fs::path outer = base / "~OUTER1~.~-~";
  const fs::path nested = outer / "~NESTED~.LES";
  MakeStaleFolder(outer);
  fs::create_directories(nested);
  WriteFile(nested / "workfile.lck", "");
  WriteFile(nested / "nested.tmp", "x");
  ChildProcess nestedOwner = HoldFileOpen((nested / "workfile.lck").wstring(), 0);

  for (const char* name : {"keep", "~ABCDE~.~-~", "~ABCDEFG~.~-~", "~ABCDEF~.~-"}) {
    fs::create_directories(base / name);
    WriteFile(base / name / "keep.txt", "x");
  }
  WriteFile(base / "loose.tmp", "x");

  EXPECT_EQ(RunProgramEnd(root.dir()), 0);

  EXPECT_TRUE(fs::exists(base));
  for (const char* gone : {"~ABCDEF~.~-~", "~ABCDEG~.$-$", "~abcdeh~.les"}) EXPECT_FALSE(fs::exists(base / gone)) << gone;
  EXPECT_FALSE(fs::exists(deadFolder));
  EXPECT_TRUE(fs::exists(liveFolder / "in-use.tmp"));
  EXPECT_TRUE(fs::exists(nested / "nested.tmp"));
  EXPECT_TRUE(fs::exists(outer / "sub"));
  EXPECT_FALSE(fs::exists(outer / "data.tmp"));
  for (const char* name : {"keep", "~ABCDE~.~-~", "~ABCDEFG~.~-~", "~ABCDEF~.~-"})
    EXPECT_TRUE(fs::exists(base / name / "keep.txt")) << name;
  EXPECT_TRUE(fs::exists(base / "loose.tmp"));
  EXPECT_FALSE(fs::exists(base / "cleardir.lck"));

  live.Kill();
  nestedOwner.Kill();
  EXPECT_EQ(RunProgramEnd(root.dir()), 0);
  EXPECT_FALSE(fs::exists(liveFolder));
  EXPECT_FALSE(fs::exists(outer));
}

TEST_F(LockDirsTest, NoSweepWhileAnotherProcessHoldsTheSweepLock) {
  TempDir root("sweep");
  MakeStaleFolder(root.path() / "~ABCDEF~.~-~");
  WriteFile(root.path() / "cleardir.lck", "");
  {
    ChildProcess sweeper = HoldFileOpen(root.file(L"cleardir.lck"), 0);
    EXPECT_EQ(RunProgramEnd(root.dir()), 0);
    EXPECT_TRUE(fs::exists(root.path() / "~ABCDEF~.~-~" / "sub" / "deeper" / "more.tmp"));
    EXPECT_FALSE(ClearStaleFolders(root.dir(), false, false));
  }
  EXPECT_TRUE(ClearStaleFolders(root.dir(), false, false));
  EXPECT_FALSE(fs::exists(root.path() / "~ABCDEF~.~-~"));
  EXPECT_TRUE(ErrorBoxes.empty());
}
