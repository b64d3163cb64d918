// The session's configuration files against real files in a temporary folder.

#include <gtest/gtest.h>

#include "setup/engine/KvtDistr.h"
#include "setup/engine/SetupIniFile.h"
#include "setup/engine/diDistrParams.h"
#include "setup/engine/diKvtSetup.h"
#include "platform/Win.h"
#include "support/TestSupport.h"

namespace {

using namespace testsupport;

const char* const KitIni =
    "\xEF\xBB\xBF[Products]\r\nProduct1= JOM \r\n\r\n[JOM]\r\nProductName1=Медиасервер\r\nVersion=5.02\r\n"
    "FilesLst=jom.lst\r\nUrl=http://u\r\nHelpLink=http://h\r\n\r\n[$00000409]\r\nProductName1=Media server\r\n";

std::wstring ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return L"(no exception)";
}

TEST(SetupIniFile, LanguageSectionWinsOnlyForItsLanguage) {
  TempDir dir("ini");
  WriteFile(dir.path() / "setup.ini", KitIni);
  const TSetupIniFile english(dir.file(L"setup.ini"), L"$00000409");
  const TSetupIniFile russian(dir.file(L"setup.ini"), L"$00000419");
  EXPECT_EQ(english.ReadString(L"JOM", L"ProductName1", L""), L"Media server");
  EXPECT_EQ(russian.ReadString(L"JOM", L"ProductName1", L""), L"Медиасервер");
  EXPECT_EQ(english.ReadString(L"JOM", L"Version", L""), L"5.02");  // not translated: the product's value
  EXPECT_EQ(english.ReadString(L"JOM", L"Missing", L"def"), L"def");
}

TEST(KvtSetup, ReadSetupIniTakesTheProductKeysAndTheirDefaults) {
  TempDir dir("kit");
  WriteFile(dir.path() / "setup.ini", KitIni);
  TKvtSetup setup(dir.path().wstring());  // no trailing backslash: added
  EXPECT_EQ(setup.SetupDir, dir.dir());
  EXPECT_FALSE(setup.RunningFromInstalled);
  ASSERT_TRUE(setup.ReadSetupIni(false));
  EXPECT_EQ(setup.ProductSection, L"JOM");
  EXPECT_EQ(setup.RegistrationName, L"JOM");
  EXPECT_EQ(setup.Version, L"5.02");
  EXPECT_EQ(setup.FilesLst, L"jom.lst");
  EXPECT_EQ(setup.TargetGroup, L"KVT");
  EXPECT_EQ(setup.HelpLink, L"http://h");
  EXPECT_EQ(setup.URLUpdateInfo, L"http://u");
  EXPECT_EQ(setup.AfterInstallInfo, L"Завершение установки программы");
  EXPECT_TRUE(setup.InstallDir.empty());
}

TEST(KvtSetup, ReadSetupIniRejectsIncompleteFiles) {
  struct Case {
    const char* Ini;
  };
  const Case cases[] = {
      {"[Products]\r\nProduct1=JOM\r\n[JOM]\r\nProductName1=P\r\nFilesLst=jom.lst\r\n"},  // no Version
      {"[Products]\r\nProduct1=JOM\r\n[JOM]\r\nProductName1=P\r\nVersion=1\r\n"},        // no FilesLst
      {"[Products]\r\nProduct1=JOM\r\n"},                                                 // no product section
      {"[JOM]\r\nProductName1=P\r\nVersion=1\r\nFilesLst=jom.lst\r\n"},                  // no product named
  };
  for (const Case& c : cases) {
    TempDir dir("bad");
    WriteFile(dir.path() / "setup.ini", c.Ini);
    TKvtSetup setup(dir.dir());
    EXPECT_EQ(ErrorOf([&] { setup.ReadSetupIni(false); }),
              L"Неправильный формат файла \"" + dir.dir() + L"Setup.ini\"")
        << c.Ini;
  }
  TempDir empty("none");
  TKvtSetup setup(empty.dir());
  EXPECT_EQ(ErrorOf([&] { setup.ReadSetupIni(false); }), L"Файл " + empty.dir() + L"Setup.ini не найден");
}

TEST(KvtSetup, AnInstalledCopyReadsItsInstCfg) {
  TempDir dir("inst");
  WriteFile(dir.path() / "setup.ini", KitIni);
  WriteFile(dir.path() / "instcfg.ini", "[JOM]\r\nOptions=* REDISTR\r\n");
  TKvtSetup defaults(dir.dir());
  EXPECT_TRUE(defaults.RunningFromInstalled);
  EXPECT_TRUE(defaults.KeepUserSettings);
  EXPECT_EQ(defaults.InstallDir, dir.dir());
  EXPECT_EQ(defaults.DistrDir, dir.dir() + L"DISTR\\");
  ASSERT_TRUE(defaults.ReadSetupIni(false));
  EXPECT_EQ(defaults.RegistrationName, L"JOM");
  EXPECT_EQ(defaults.TargetGroup, L"KVT");
  EXPECT_FALSE(defaults.BackupFiles);
  EXPECT_FALSE(defaults.KvtRenewService);

  WriteFile(dir.path() / "instcfg.ini",
            "[JOM]\r\nSectionName=JOM2\r\nGroupName=Tavrel\r\nBackupFiles=1\r\nKvtRenewService=1\r\n");
  TKvtSetup written(dir.dir());
  ASSERT_TRUE(written.ReadSetupIni(false));
  EXPECT_EQ(written.RegistrationName, L"JOM2");
  EXPECT_EQ(written.TargetGroup, L"Tavrel");
  EXPECT_TRUE(written.BackupFiles);
  EXPECT_TRUE(written.KvtRenewService);
}

// instcfg.ini is read where the session's folder says, relative to the
// current folder, never a file of that name in the Windows folder (where
// the profile functions look for a name without a folder).
TEST(KvtSetup, InstCfgIsReadFromTheSessionsFolderNotTheWindowsFolder) {
  TempDir dir("rel");
  std::filesystem::create_directories(dir.path() / "copy");
  WriteFile(dir.path() / "copy" / "setup.ini", KitIni);
  WriteFile(dir.path() / "copy" / "instcfg.ini", "[JOM]\r\nSectionName=JOM7\r\nGroupName=Relative\r\n");
  WriteFile(dir.path() / "InstCfg.ini", "[JOM]\r\nSectionName=JOM8\r\n");
  wchar_t windows[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::filesystem::path decoy = std::filesystem::path(windows) / "InstCfg.ini";
  ASSERT_FALSE(std::filesystem::exists(decoy));
  WriteFile(decoy, "[JOM]\r\nSectionName=WINDOWS\r\n");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());

  TKvtSetup relative(L"copy");
  const bool read = relative.ReadSetupIni(false);
  TKvtSetup unset(L"");  // no folder yet: the current folder
  unset.ProductSection = L"JOM";
  unset.ReadInstCfg();

  std::filesystem::current_path(previous);
  std::filesystem::remove(decoy);
  ASSERT_TRUE(read);
  EXPECT_TRUE(relative.RunningFromInstalled);
  EXPECT_EQ(relative.RegistrationName, L"JOM7");
  EXPECT_EQ(relative.TargetGroup, L"Relative");
  EXPECT_EQ(unset.RegistrationName, L"JOM8");
}

TEST(KvtSetup, LoadFileListAddsItsOwnItemAndTheKitsPackingList) {
  const char* const list = "jom.exe CRC=00000000 Len=0\r\nreadme.txt Dir=docs CRC=00000000 Len=0\r\n";
  struct Case {
    const char* Name;
    bool InstCfg;
    std::vector<const char*> PackingFiles;
    const wchar_t* Packing;  // the packing list loaded, or null
  };
  const Case cases[] = {
      {"kit with both", false, {"packing.lst", "packing.144"}, L"packing.lst"},
      {"kit with packing.144", false, {"packing.144"}, L"packing.144"},
      {"kit without", false, {}, nullptr},
      {"installed copy", true, {"packing.lst"}, nullptr},
  };
  for (const Case& c : cases) {
    TempDir dir("lst");
    WriteFile(dir.path() / "setup.ini", KitIni);
    WriteFile(dir.path() / "jom.lst", list);
    if (c.InstCfg) WriteFile(dir.path() / "instcfg.ini", "[JOM]\r\n");
    for (const char* name : c.PackingFiles) WriteFile(dir.path() / name, "jom.zip Dsk=1\r\n");
    TKvtSetup setup(dir.dir());
    ASSERT_TRUE(setup.ReadSetupIni(false));
    ASSERT_TRUE(setup.LoadFileList()) << c.Name;
    ASSERT_EQ(setup.FileList->Count(), 3) << c.Name;
    EXPECT_EQ(setup.FileList->Last()->GetValue(L"St"), L"S") << c.Name;
    EXPECT_EQ(setup.FileList->FileName, dir.dir() + L"jom.lst");
    if (c.Packing) {
      ASSERT_TRUE(setup.PackingList) << c.Name;
      EXPECT_EQ(setup.PackingList->FileName, dir.dir() + c.Packing);
    } else {
      EXPECT_FALSE(setup.PackingList) << c.Name;
    }
    const TProgramLstFile* loaded = setup.FileList.get();
    EXPECT_TRUE(setup.LoadFileList());
    EXPECT_EQ(setup.FileList.get(), loaded);  // loaded once
  }
}

TEST(KvtSetup, LoadFileListRejectsMissingAndEmptyLists) {
  TempDir dir("lst");
  WriteFile(dir.path() / "setup.ini", KitIni);
  TKvtSetup missing(dir.dir());
  missing.ReadSetupIni(false);
  EXPECT_EQ(ErrorOf([&] { missing.LoadFileList(); }), L"Файл " + dir.dir() + L"jom.lst не найден");

  WriteFile(dir.path() / "jom.lst", ";only a comment\r\n\r\n");
  TKvtSetup empty(dir.dir());
  empty.ReadSetupIni(false);
  EXPECT_EQ(ErrorOf([&] { empty.LoadFileList(); }), L"Список файлов \"" + dir.dir() + L"jom.lst\" пустой");
  EXPECT_FALSE(empty.FileList);
}

TEST(KvtSetup, CheckSetupDir) {
  TKvtSetup none(L"  ");
  EXPECT_EQ(ErrorOf([&] { none.CheckSetupDir(); }), L"Не указан каталог установки программы");
  TKvtSetup missing(L"C:\\no\\such\\kit");
  EXPECT_EQ(ErrorOf([&] { missing.CheckSetupDir(); }),
            L"Каталог установки программы \"C:\\no\\such\\kit\\\" не найден");
  TempDir dir("chk");
  TKvtSetup present(dir.dir());
  EXPECT_TRUE(present.CheckSetupDir());
}

TEST(KvtSetup, FindRegistrationNameSkipsLiveInstallations) {
  TempDir dir("reg");
  std::filesystem::create_directories(dir.path() / "other1");
  std::filesystem::create_directories(dir.path() / "other2");
  std::filesystem::create_directories(dir.path() / "target");
  const std::string root = dir.path().string() + "\\";
  struct Case {
    std::string Programs;
    const wchar_t* Expected;
  };
  const Case cases[] = {
      {"", L"JOM"},
      {"[JOM]\r\nInstallPath=" + root + "other1\r\n", L"JOM1"},
      {"[JOM]\r\nInstallPath=" + root + "gone\r\n", L"JOM"},
      {"[JOM]\r\nInstallPath=" + root + "TARGET\r\n", L"JOM"},
      {"[JOM]\r\nInstallPath=" + root + "other1\r\n[JOM1]\r\nInstallPath=" + root + "other2\\\r\n", L"JOM2"},
      // Without "InstallPath" the section names the root, which exists.
      {"[JOM]\r\nProductID=JOM\r\n", L"JOM1"},
      {"[JOM]\r\nInstallPath=  \r\n[JOM1]\r\nInstallPath=" + root + "gone\r\n", L"JOM1"},
  };
  const TDistrParameters saved = DistrParameters();
  const std::wstring programs = dir.file(L"jomsetup.ini");
  SetDistrParameter(L"ProgramsIniFileName", reinterpret_cast<std::intptr_t>(programs.c_str()));
  for (const Case& c : cases) {
    WriteFile(dir.path() / "jomsetup.ini", c.Programs);
    TKvtSetup setup(L"");
    setup.ProductSection = L"JOM";
    setup.SetInstallDir(dir.dir() + L"target");
    EXPECT_EQ(setup.FindRegistrationName(), c.Expected) << c.Programs;
  }
  DistrParameters() = saved;
}

}  // namespace
