// sfCheck and sfBuildKit through the flat entry, on installed copies laid
// out by the fixture.

#include <gtest/gtest.h>

#include "InstalledCopy.h"
#include "setup/engine/KvtDistr.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {
struct TCalls {
  std::vector<std::pair<std::int32_t, std::wstring>> Messages;
  std::vector<std::int32_t> Percents;
  std::uint8_t CancelAt = 0;  // cancel at the n-th status call (1-based), 0 never
};

void OnMessage(std::int32_t kind, const wchar_t* text, void* data) {
  static_cast<TCalls*>(data)->Messages.emplace_back(kind, text);
}
void OnStatus(const wchar_t*, const wchar_t*, const wchar_t*, std::int32_t percent, std::uint8_t* cancel, void* data) {
  auto* calls = static_cast<TCalls*>(data);
  calls->Percents.push_back(percent);
  if (calls->CancelAt != 0 && calls->Percents.size() == calls->CancelAt) *cancel = 1;
}

std::int32_t RunFunction(const std::wstring& folder, std::int32_t function, const wchar_t* parameter, TCalls& calls) {
  TSetupFunctionParams params{};
  params.Size = sizeof params;
  params.OnMessage = OnMessage;
  params.OnStatus = OnStatus;
  params.UserData = &calls;
  return ExecuteSetupFunction(folder.c_str(), function, const_cast<wchar_t*>(parameter), &params);
}

std::vector<std::wstring> Errors(const TCalls& calls) {
  std::vector<std::wstring> errors;
  for (const auto& [kind, text] : calls.Messages) {
    if (kind == mkError) errors.push_back(text);
  }
  return errors;
}

TInstalledCopy SmallCopy(const fs::path& folder) {
  TInstalledCopy copy(folder, L"3.0.7");
  copy.Add({L"jom.exe", L"", L"I", L"main", FixtureBytes(20000, 1), L""})
      .Add({L"lib.dll", L"bin", L"", L"main", FixtureBytes(30000, 2, true), L""})
      .Add({L"readme.txt", L"", L"", L"", "read me", L""});
  return copy;
}
}  // namespace

TEST(KitEntry, CheckReportsTheVersionAndFailsOnABadFile) {
  TempDir dir("entry");
  const TInstalledCopy copy = SmallCopy(dir.path() / "Program");
  copy.Write();
  TCalls good;
  EXPECT_EQ(RunFunction(copy.Dir(), sfCheck, nullptr, good), -1);
  ASSERT_EQ(good.Messages.size(), 1u);
  EXPECT_EQ(good.Messages[0], std::make_pair(std::int32_t{mkInfo}, std::wstring(L"Проверка версии 3.0.7")));
  EXPECT_EQ(good.Percents.back(), 100);

  WriteFile(copy.Folder() / "bin" / "lib.dll", FixtureBytes(30000, 3));
  TCalls bad;
  EXPECT_EQ(RunFunction(copy.Dir(), sfCheck, nullptr, bad), 0);
  EXPECT_EQ(Errors(bad), std::vector<std::wstring>{FormatText(rsFileCrcMismatch, {copy.Dir() + L"bin\\lib.dll"})});
}

TEST(KitEntry, BuildWritesTheKitAndRefusalsReachTheCaller) {
  TempDir dir("entry");
  const TInstalledCopy copy = SmallCopy(dir.path() / "Program");
  copy.Write();
  const std::wstring kit = (dir.path() / "Kit" / "3_0_7").wstring();
  TCalls calls;
  EXPECT_EQ(RunFunction(copy.Dir(), sfBuildKit, kit.c_str(), calls), -1);
  EXPECT_TRUE(Errors(calls).empty());
  for (const char* name : {"main.zip", "readme.txt", "files.lst"}) EXPECT_TRUE(fs::exists(fs::path(kit) / name)) << name;

  const std::wstring distr = copy.Dir() + L"DISTR";
  TCalls refused;
  EXPECT_EQ(RunFunction(copy.Dir(), sfBuildKit, distr.c_str(), refused), 0);
  EXPECT_EQ(Errors(refused), std::vector<std::wstring>{rsDistributionCreationInvalidDirectory3});

  TCalls cancelled;
  cancelled.CancelAt = 2;
  EXPECT_EQ(RunFunction(copy.Dir(), sfBuildKit, (kit + L"b").c_str(), cancelled), 0);
  EXPECT_EQ(Errors(cancelled), std::vector<std::wstring>{rsDistributionCreationInterrupted});

  TCalls missing;
  EXPECT_EQ(RunFunction(dir.dir() + L"Nowhere", sfCheck, nullptr, missing), 0);
  EXPECT_EQ(Errors(missing), std::vector<std::wstring>{FormatText(rsFileNotFound, {dir.dir() + L"Nowhere\\Setup.ini"})});
}

// A kit built from a folder that is not an installed copy, into that same
// folder, is refused: its archives are the files being read.
TEST(KitEntry, ABuildIntoTheFolderItReadsFromIsRefused) {
  TempDir dir("entry");
  const TInstalledCopy copy = SmallCopy(dir.path() / "Kit");
  copy.Write();
  fs::remove(copy.Folder() / "instcfg.ini");
  WriteFile(copy.Folder() / "main.zip", "the kit's archive");
  for (const std::wstring& target : {copy.Dir(), copy.Dir() + L"sub"}) {
    TCalls calls;
    EXPECT_EQ(RunFunction(copy.Dir(), sfBuildKit, target.c_str(), calls), 0);
    EXPECT_EQ(Errors(calls), std::vector<std::wstring>{rsDistributionCreationInvalidDirectory2});
  }
  EXPECT_EQ(ReadFile(copy.Folder() / "main.zip"), "the kit's archive");
  EXPECT_FALSE(fs::exists(copy.Folder() / "sub"));
}

// Lengths near 2^63 add up without overflow: the progress still runs from
// 0 to 100.
TEST(KitEntry, HugeLengthsKeepTheProgressInRange) {
  TempDir dir("entry");
  const TInstalledCopy copy = SmallCopy(dir.path() / "Program");
  copy.Write();
  const std::string huge = " Len=9223372036854775807";
  std::string list = ReadFile(copy.Folder() / "files.lst");
  for (std::size_t at = list.find(" Len="); at != std::string::npos; at = list.find(" Len=", at + huge.size())) {
    list.replace(at, list.find_first_of(" \r", at + 1) - at, huge);
  }
  WriteFile(copy.Folder() / "files.lst", list);
  TCalls calls;
  EXPECT_EQ(RunFunction(copy.Dir(), sfBuildKit, (dir.path() / "Kit").wstring().c_str(), calls), -1);
  ASSERT_FALSE(calls.Percents.empty());
  for (std::int32_t percent : calls.Percents) EXPECT_TRUE(percent >= -1 && percent <= 100) << percent;
  std::int32_t last = -1;
  for (std::int32_t percent : calls.Percents) {
    if (percent < 0) continue;
    EXPECT_GE(percent, last);
    last = percent;
  }
  EXPECT_EQ(last, 100);
}

// An installed copy whose list names no file is broken: both functions
// refuse it instead of checking or packing nothing.
TEST(KitEntry, AListThatNamesNoFileFailsBothFunctions) {
  TempDir dir("entry");
  TInstalledCopy copy(dir.path() / "Program", L"3.0.7");
  copy.Write();
  WriteFile(copy.Folder() / "files.lst", ";" + std::string(80, '*') + "\r\n; no files\r\n\r\n");
  const std::wstring empty = FormatText(rsFileListIsEmpty, {copy.Dir() + L"files.lst"});
  TCalls check;
  EXPECT_EQ(RunFunction(copy.Dir(), sfCheck, nullptr, check), 0);
  EXPECT_EQ(Errors(check), std::vector<std::wstring>{empty});
  const std::wstring kit = (dir.path() / "Kit").wstring();
  TCalls build;
  EXPECT_EQ(RunFunction(copy.Dir(), sfBuildKit, kit.c_str(), build), 0);
  EXPECT_EQ(Errors(build), std::vector<std::wstring>{empty});
  EXPECT_FALSE(fs::exists(fs::path(kit) / "files.lst"));
}

// A list line naming a file or archive outside the kit folder refuses the
// build before anything is written or deleted beside or above that folder.
TEST(KitEntry, NamesLeadingOutOfTheKitAreRefused) {
  TempDir dir("entry");
  const TInstalledCopy copy = SmallCopy(dir.path() / "Program");
  copy.Write();
  const fs::path kit = dir.path() / "Kits" / "3_0_7";
  fs::create_directories(kit);
  WriteFile(dir.path() / "evilarc.zip", "keep me");
  const std::string list = ReadFile(copy.Folder() / "files.lst");
  for (const std::string line : {"..\\..\\escaped.txt Len=7", "readme.txt Arc=..\\..\\evilarc Len=7"}) {
    SCOPED_TRACE(line);
    WriteFile(copy.Folder() / "files.lst", list + line + "\r\n");
    TCalls calls;
    EXPECT_EQ(RunFunction(copy.Dir(), sfBuildKit, kit.wstring().c_str(), calls), 0);
    ASSERT_EQ(Errors(calls).size(), 1u);
    EXPECT_NE(Errors(calls)[0].find(std::wstring(line.begin(), line.end())), std::wstring::npos) << "names the line";
    EXPECT_FALSE(fs::exists(dir.path() / "escaped.txt"));
    EXPECT_EQ(ReadFile(dir.path() / "evilarc.zip"), "keep me");
    EXPECT_TRUE(fs::is_empty(kit));
  }
}

// A file that another program holds open: the check names it in the
// catalogue's text, its Cyrillic folder intact.
TEST(KitEntry, AFileHeldOpenIsReportedWithItsNameIntact) {
  TempDir dir("entry");
  const TInstalledCopy copy = SmallCopy(dir.path() / L"Тест");
  copy.Write();
  const std::wstring locked = copy.Dir() + L"readme.txt";
  ChildProcess holder = HoldFileOpen(locked, 0);
  TCalls calls;
  EXPECT_EQ(RunFunction(copy.Dir(), sfCheck, nullptr, calls), 0);
  EXPECT_EQ(Errors(calls), std::vector<std::wstring>{FormatText(rsFileOpenError, {locked})});
}
