// The list file against the real system of the Wine prefix: folder macros
// from the real registry and system folders, the real ANSI code page and
// the real user locale (the test runs with a Russian locale).

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Win.h"
#include "setup/distribution/KvtSetupLstFile.h"
#include "setup/distribution/TextCodec.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "support/TestSupport.h"

namespace {

std::wstring CurrentVersionValue(const wchar_t* name) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD size = sizeof buffer;
  const LSTATUS status = ::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", name,
                                        RRF_RT_REG_SZ, nullptr, buffer, &size);
  return status == ERROR_SUCCESS ? buffer : L"";
}

std::wstring SystemFolder(UINT (*query)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH] = {};
  query(buffer, MAX_PATH);
  std::wstring folder = buffer;
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder;
}

class ListFileOnWindows : public ::testing::Test {
protected:
  void SetUp() override { SetLocalization(std::make_unique<TJomLocalization>()); }
  void TearDown() override { SetLocalization(nullptr); }
};

TEST_F(ListFileOnWindows, FolderMacrosComeFromTheRealSystem) {
  const std::wstring commonFiles = CurrentVersionValue(L"CommonFilesDir (x86)");
  const std::wstring programFiles = CurrentVersionValue(L"ProgramFilesDir (x86)");
  ASSERT_FALSE(commonFiles.empty()) << "a 64-bit prefix has the (x86) values";
  ASSERT_FALSE(programFiles.empty());
  const std::wstring system = SystemFolder(::GetSystemDirectoryW);
  const std::wstring windows = SystemFolder(::GetWindowsDirectoryW);
  const std::pair<const wchar_t*, std::wstring> cases[] = {
      {L"x.dll Dir=%DAO%", commonFiles + L"\\Microsoft Shared\\DAO\\x.dll"},
      {L"x.dll Dir=%COMMONFILES%\\Tavrel", commonFiles + L"\\Tavrel\\x.dll"},
      {L"x.dll Dir=%PROGRAMFILES%", programFiles + L"\\x.dll"},
      {L"x.sys Dir=%SYSTEM%\\drivers", system + L"drivers\\x.sys"},
      {L"x.exe Dir=%WINDOWS%", windows + L"x.exe"},
      {L"x.dll St=L Dir=sub", system + L"x.dll"},
      {L"x.dll Dir=..\\Shared", L"C:\\Program Files\\Shared\\x.dll"},
  };
  for (const auto& [line, target] : cases) {
    SCOPED_TRACE(WideToUtf8(line));
    EXPECT_EQ(TProgramLstFileItem(line).TargetPath(L"C:\\Program Files\\Tavrel"), target);
  }

  TProgramLstFile list;
  list.LoadFromLines({L"drv.sys Dir=%SYSTEM%\\drivers", L"x.dll Dir=%COMMONFILES%"});
  EXPECT_EQ(list.FindItem(system + L"drivers\\drv.sys", L"C:\\Program Files\\Tavrel"), list[0]);
  EXPECT_EQ(list.FindItem(commonFiles + L"\\X.DLL", L"C:\\Program Files\\Tavrel"), list[1]);
}

TEST_F(ListFileOnWindows, AnsiFilesUseTheSystemCodePage) {
  ASSERT_EQ(::GetACP(), 1251u) << "the test runs with a Russian locale";
  testsupport::TempDir dir("lstwin");
  const auto path = dir.path() / "program.lst";
  testsupport::WriteFile(path, "\xEF\xE8\xF1\xFC\xEC\xEE.txt Caption=\"\xCF\xF3\xF1\xEA\" Caption_00000419=\xD0\xF3\xF1\r\n");
  TProgramLstFile list(path.wstring());
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0]->FileName, L"письмо.txt");
  EXPECT_EQ(list[0]->GetValue(L"Caption"), L"Пуск");
  EXPECT_EQ(list[0]->Caption, L"Рус") << "the key of the user's locale 1049";

  list.SaveToFile(path.wstring(), {L"Caption"}, {0}, L"Tavrel", L"", false);
  const std::string bytes = testsupport::ReadFile(path);
  EXPECT_NE(bytes.find("\xCA\xC2\xD2-"), std::string::npos) << "the header in code page 1251";
  EXPECT_NE(bytes.find("\xEF\xE8\xF1\xFC\xEC\xEE.txt   Caption=\"\xCF\xF3\xF1\xEA\"\r\n"), std::string::npos);
}

TEST_F(ListFileOnWindows, LanguageNamesFromTheRealLocaleTable) {
  auto localization = std::make_unique<TJomLocalization>();
  for (std::int32_t lcid : {1049, 1033, 1031}) {
    auto item = std::make_unique<TJomLocalizationItem>(localization.get());
    item->Lcid = lcid;
    localization->AddItem(std::move(item));
  }
  EXPECT_EQ(localization->Objects(0)->Id.size(), 32u) << "a fresh identifier from UuidCreate";
  EXPECT_NE(localization->Objects(0)->Id, localization->Objects(1)->Id);
  ASSERT_TRUE(localization->SelectByLcid(2057));
  EXPECT_EQ(localization->CurrentLcid(), 1033);
  ASSERT_TRUE(localization->SelectByLcid(3079));
  EXPECT_EQ(localization->CurrentLcid(), 1031);
  ASSERT_TRUE(localization->SelectByLcid(0));
  EXPECT_EQ(localization->CurrentLcid(), 1049) << "unknown locale, Russian user: the Russian item";
}

}  // namespace
