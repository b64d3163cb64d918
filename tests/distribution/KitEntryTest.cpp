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
