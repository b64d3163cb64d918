// The registration records of an install and their removal, written by a
// real session into the registry and the files of the test prefix. Every
// key, class and file name is unique to the test and removed afterwards.

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "platform/ShTools.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/RegTools.h"
#include "setup/engine/KvtDistr.h"
#include "setup/engine/ProfileFiles.h"
#include "setup/engine/diDistrParams.h"
#include "setup/engine/diKvtSetup.h"
#include "support/RegistryKeys.h"
#include "support/ShellLinkReader.h"
#include "support/TestSupport.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

const std::string KitIni =
    std::string(
    "\xEF\xBB\xBF[Products]\r\nProduct1=JOM\r\n\r\n[JOM]\r\nProductName1=Медиасервер\r\nVersion=5.02\r\n"
    "FilesLst=jom.lst\r\nMainFile=jom.exe\r\nPublisher=ООО \"КВТ\"\r\nUrl=http://tavrel.example\r\n"
    "URLInfoAbout=http://about.example\r\nComments=") +
    std::string(100, 'c') + "\r\n";

std::string Ascii(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

std::wstring Profile(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
  wchar_t buffer[1024];
  const DWORD length =
      ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"<none>", buffer, 1024, file.c_str());
  return std::wstring(buffer, length);
}

std::wstring TodayText() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  wchar_t text[16];
  swprintf(text, 16, L"%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  return text;
}

struct TMessage {
  std::int32_t Kind;
  std::wstring Text;
};

// A session on a kit, installing into a folder of its own, with the
// distribution parameters pointed at names unique to the test.
class Registration : public ::testing::Test {
protected:
  Registration() {
    WriteFile(Kit.path() / "setup.ini", KitIni);
    Saved = DistrParameters();
    DistrParameters().ProgramsIniFileName = Data.file(L"jomsetup.ini");
    DistrParameters().ProgramRenewFileExtension = L".zqf";
    DistrParameters().ProgramRenewFileKeyName = ClassKey.path();
    Setup = NewSession(Install.dir());
  }
  ~Registration() override {
    DistrParameters() = Saved;
    for (const std::wstring& ext : RenewFileExtensions(L".zqf")) ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ext.c_str());
  }

  std::unique_ptr<TKvtSetup> NewSession(const std::wstring& installDir) {
    auto setup = std::make_unique<TKvtSetup>(Kit.dir());
    setup->ReadSetupIni(false);
    setup->SetInstallDir(installDir);
    setup->RegistrationName = EntryName;
    setup->OnMessage = [this](std::int32_t kind, const std::wstring& text) { Messages.push_back({kind, text}); };
    // The uninstall program exists, so that no other test takes the entry for stale.
    fs::create_directories(fs::path(installDir));
    WriteFile(fs::path(installDir) / "SETUP.EXE", "MZ");
    return setup;
  }

  std::wstring EntryKey() const { return UninstallEntryKey(EntryName); }

  TempDir Kit{"kit"}, Install{"install"}, Data{"data"};
  std::wstring EntryName = UniqueName(L"TavrelTest_JOM");
  ScopedRegistryKey Entry{HKEY_LOCAL_MACHINE, UninstallEntryKey(EntryName)};
  ScopedRegistryKey ClassKey{HKEY_CLASSES_ROOT, UniqueName(L"TavrelTestRenewFile")};
  TDistrParameters Saved;
  std::unique_ptr<TKvtSetup> Setup;
  std::vector<TMessage> Messages;
};

TEST(RegistrationNames, VersionNumbersAndRenewFileExtensions) {
  const struct {
    const wchar_t* Version;
    std::uint32_t Major, Minor;
  } cases[] = {{L"5.02", 5, 2}, {L"beta", 0, 0}, {L"5", 5, 0},   {L"5.x", 5, 0},  {L"10.3.7", 10, 3},
               {L"", 0, 0},     {L"x.5", 0, 5},  {L"5.", 5, 0}, {L"-1.2", 0, 2}, {L"99999999999.1", 0, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(VersionNumbers(c.Version), std::make_pair(c.Major, c.Minor)) << Ascii(c.Version);
  }
  EXPECT_EQ(RenewFileExtensions(L".prf"), (std::vector<std::wstring>{L".prf", L".pr1", L".pr2", L".pr3", L".pr4",
                                                                      L".pr5", L".pr6", L".pr7", L".pr8", L".pr9"}));
}

TEST_F(Registration, UninstallEntryHoldsTheTableValuesAndNoEmptyOnes) {
  Setup->WriteUninstallEntry();
  const std::wstring uninstall = Install.dir() + L"SETUP.EXE";
  const auto value = [&](const wchar_t* name) { return ReadStringValue(HKEY_LOCAL_MACHINE, EntryKey(), name); };
  EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, EntryKey()),
            (std::vector<std::wstring>{L"Comments", L"DisplayIcon", L"DisplayName", L"DisplayVersion", L"HelpLink",
                                       L"InstallDate", L"InstallLocation", L"Publisher", L"URLInfoAbout",
                                       L"URLUpdateInfo", L"UninstallString", L"VersionMajor", L"VersionMinor"}))
      << "HelpTelephone is empty and not written";
  EXPECT_EQ(value(L"DisplayName"), L"Медиасервер");
  EXPECT_EQ(value(L"UninstallString"), uninstall);
  EXPECT_EQ(value(L"Comments"), std::wstring(80, L'c'));
  EXPECT_EQ(value(L"DisplayIcon"), Install.dir() + L"jom.exe");
  EXPECT_EQ(value(L"DisplayVersion"), L"5.02");
  EXPECT_EQ(value(L"Publisher"), L"ООО \"КВТ\"");
  EXPECT_EQ(value(L"HelpLink"), L"http://tavrel.example");
  EXPECT_EQ(value(L"URLUpdateInfo"), L"http://tavrel.example");
  EXPECT_EQ(value(L"URLInfoAbout"), L"http://about.example");
  EXPECT_EQ(value(L"InstallDate"), TodayText());
  EXPECT_EQ(value(L"InstallLocation"), Install.dir());
  EXPECT_EQ(ReadDwordValue(HKEY_LOCAL_MACHINE, EntryKey(), L"VersionMajor"), 5u);
  EXPECT_EQ(ReadDwordValue(HKEY_LOCAL_MACHINE, EntryKey(), L"VersionMinor"), 2u);
}

TEST_F(Registration, AVersionWithoutANumberWritesNoVersionNumbers) {
  Setup->Version = L"beta";
  Setup->MainFile.clear();
  Setup->WriteUninstallEntry();
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, EntryKey(), L"DisplayIcon"), Install.dir() + L"SETUP.EXE");
  EXPECT_EQ(ReadDwordValue(HKEY_LOCAL_MACHINE, EntryKey(), L"VersionMajor"), std::nullopt);
  EXPECT_EQ(ReadDwordValue(HKEY_LOCAL_MACHINE, EntryKey(), L"VersionMinor"), std::nullopt);
}

TEST_F(Registration, TwoInstallationsKeepTheirOwnEntriesAndRemovalTakesOnlyItsOwn) {
  TempDir secondFolder("install second");
  const std::wstring secondName = EntryName + L"1";
  ScopedRegistryKey secondEntry(HKEY_LOCAL_MACHINE, UninstallEntryKey(secondName));
  std::unique_ptr<TKvtSetup> second = NewSession(secondFolder.dir());
  second->RegistrationName = secondName;
  Setup->WriteUninstallEntry();
  second->WriteUninstallEntry();
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, EntryKey(), L"UninstallString"), Install.dir() + L"SETUP.EXE");
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, UninstallEntryKey(secondName), L"UninstallString"),
            secondFolder.dir() + L"SETUP.EXE");

  second->DeleteUninstallEntry();
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey(secondName)));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, EntryKey()));
}

TEST_F(Registration, AssociationKeysAndTheirRemoval) {
  const std::wstring key = ClassKey.path();
  WriteStringValues(HKEY_CLASSES_ROOT, L".zq5", {{L"", L"AnotherProduct.File"}});
  Setup->RegisterFileAssociation();
  for (const std::wstring& ext : RenewFileExtensions(L".zqf"))
    EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, ext, L""), key) << Ascii(ext);
  EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, key, L""), L"Файл обновления Медиасервер");
  EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, key + L"\\DefaultIcon", L""), Install.dir() + L"setup.exe,1");
  EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, key + L"\\shell\\open\\command", L""),
            Install.dir() + L"setup.exe \"%1\"");

  // Another product took one extension over; an extension names our class
  // in another letter case.
  WriteStringValues(HKEY_CLASSES_ROOT, L".zq5", {{L"", L"AnotherProduct.File"}});
  WriteStringValues(HKEY_CLASSES_ROOT, L".zq7", {{L"", AsciiLower(key)}});
  ScopedRegistryKey other(HKEY_CLASSES_ROOT, UniqueName(L"TavrelTestOther"));
  WriteStringValues(HKEY_CLASSES_ROOT, other.path() + L"\\shell", {{L"", L"kept"}});

  Setup->UnregisterFileAssociation();
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key));
  for (const std::wstring& ext : RenewFileExtensions(L".zqf"))
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, ext), ext == L".zq5") << Ascii(ext);
  EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, L".zq5", L""), L"AnotherProduct.File");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, other.path() + L"\\shell"));
}

TEST_F(Registration, AnAssociationWithAnExistingSetupIsLeftAloneUnlessItsPathHoldsABlank) {
  const std::wstring command = ClassKey.path() + L"\\shell\\open\\command";
  const auto current = [&] { return ReadStringValue(HKEY_CLASSES_ROOT, command, L""); };
  TempDir plainParent("assoc"), laterParent("assoc later");
  const std::wstring plain = plainParent.dir() + L"first\\";
  std::unique_ptr<TKvtSetup> first = NewSession(plain);
  std::unique_ptr<TKvtSetup> later = NewSession(laterParent.dir() + L"second\\");
  first->RegisterFileAssociation();
  ASSERT_EQ(current(), plain + L"setup.exe \"%1\"");

  // setup.exe of the first installation exists: a later install keeps it,
  // and the later one's removal leaves it to the first.
  later->RegisterFileAssociation();
  EXPECT_EQ(current(), plain + L"setup.exe \"%1\"");
  later->UnregisterFileAssociation();
  EXPECT_EQ(current(), plain + L"setup.exe \"%1\"");
  EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, L".zqf", L""), ClassKey.path());

  // Its program is gone: rewritten.
  fs::remove(fs::path(plain + L"SETUP.EXE"));
  later->RegisterFileAssociation();
  const std::wstring blanked = laterParent.dir() + L"second\\setup.exe \"%1\"";
  ASSERT_EQ(current(), blanked);

  // That setup.exe exists, but its folder holds a blank: the test cuts the
  // path at the blank, so the next install writes its own.
  Setup->RegisterFileAssociation();
  EXPECT_EQ(current(), Install.dir() + L"setup.exe \"%1\"");
}


std::wstring FromUtf7(const std::wstring& text) {
  const std::string bytes = Ascii(text);
  wchar_t buffer[512];
  const int length = ::MultiByteToWideChar(CP_UTF7, 0, bytes.data(), static_cast<int>(bytes.size()), buffer, 512);
  return std::wstring(buffer, static_cast<std::size_t>(length > 0 ? length : 0));
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

TEST_F(Registration, FolderInfoTipInThreeFormsWithTheAttributes) {
  const std::wstring file = Install.dir() + L"desktop.ini";
  const std::wstring folder = Install.dir().substr(0, Install.dir().size() - 1);
  const std::wstring tip = L"Медиасервер (версия: 5.02)";
  Setup->WriteFolderInfoTip();
  EXPECT_EQ(Profile(file, L".ShellClassInfo", L"InfoTip"), tip);
  EXPECT_EQ(Profile(file, L".ShellClassInfo.A", L"InfoTip"), tip);
  const std::wstring wide = Profile(file, L".ShellClassInfo.W", L"InfoTip");
  EXPECT_EQ(Ascii(wide), Ascii(wide).c_str()) << "UTF-7 is plain ASCII";
  EXPECT_NE(wide, tip);
  EXPECT_EQ(FromUtf7(wide), tip);
  // (The folder's read-only attribute is set too, but Wine keeps no such
  // attribute for folders, so it cannot be read back here.)
  EXPECT_EQ(Attributes(file) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});

  // An up-to-date file is not written again, but one that lost its
  // attributes (a run stopped between the tip and them) gets them back.
  ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::string before = testsupport::ReadFile(file);
  Setup->WriteFolderInfoTip();
  EXPECT_EQ(testsupport::ReadFile(file), before);
  EXPECT_EQ(Attributes(file) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY),
            DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY});

  // A new version rewrites it, read-only or not.
  Setup->Version = L"5.03";
  Setup->WriteFolderInfoTip();
  EXPECT_EQ(Profile(file, L".ShellClassInfo", L"InfoTip"), L"Медиасервер (версия: 5.03)");
  EXPECT_EQ(FromUtf7(Profile(file, L".ShellClassInfo.W", L"InfoTip")), L"Медиасервер (версия: 5.03)");
  EXPECT_EQ(Attributes(file) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
  ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Registration, InstCfgNamesTheRegistrationAndWritesOnlyChangedFlags) {
  const std::wstring file = Install.dir() + L"instcfg.ini";
  // A second installation of the product.
  Setup->RegistrationName = L"JOM1";
  Setup->TargetGroup = L"Медиасервер Тест";
  WriteFile(Install.path() / "instcfg.ini", "[JOM]\r\nKvtRenewService=1\r\n");
  ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
  Setup->WriteInstCfg();
  EXPECT_EQ(Profile(file, L"JOM", L"Options"), L"* REDISTR");
  EXPECT_EQ(Profile(file, L"JOM", L"Distr"), Install.dir() + L"DISTR");
  EXPECT_EQ(Profile(file, L"JOM", L"SectionName"), L"JOM1");
  EXPECT_EQ(Profile(file, L"JOM", L"GroupName"), L"Медиасервер Тест");
  EXPECT_EQ(Profile(file, L"JOM", L"BackupFiles"), L"<none>") << "equal to the default: not written";
  EXPECT_EQ(Profile(file, L"JOM", L"KvtRenewService"), L"0") << "differs from the stored value";

  Setup->BackupFiles = true;
  Setup->SyncInstCfgFlags();
  EXPECT_EQ(Profile(file, L"JOM", L"BackupFiles"), L"1");

  // The installed copy knows itself again by its own name.
  TKvtSetup installed(Install.dir());
  WriteFile(Install.path() / "Setup.ini", KitIni);
  installed.ReadSetupIni(false);
  EXPECT_EQ(installed.RegistrationName, L"JOM1");
  EXPECT_EQ(installed.TargetGroup, L"Медиасервер Тест");
  EXPECT_TRUE(installed.BackupFiles);
}

TEST_F(Registration, ProgramsRegistrationFileAndStationEntry) {
  const std::wstring programs = Data.file(L"jomsetup.ini");
  WriteFile(Data.path() / "jomsetup.ini", "[OTHER]\r\nInstallPath=C:\\Other\r\n");
  Setup->RegisterInProgramsIni();
  EXPECT_EQ(Profile(programs, EntryName, L"InstallPath"), Install.dir().substr(0, Install.dir().size() - 1));
  EXPECT_EQ(Profile(programs, EntryName, L"ProductID"), L"JOM");
  EXPECT_EQ(Profile(programs, EntryName, L"Distr"), Install.dir() + L"DISTR");
  EXPECT_EQ(Profile(programs, EntryName, L"Version"), L"5.02");

  Setup->WriteStationEntry();
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(::GetComputerNameW(computer, &size));
  EXPECT_EQ(Profile(Install.dir() + L"instcfg.ini", L"StationSetup", computer), L"5.02");

  Setup->UnregisterFromProgramsIni();
  EXPECT_EQ(Profile(programs, EntryName, L"InstallPath"), L"<none>");
  EXPECT_EQ(Profile(programs, L"OTHER", L"InstallPath"), L"C:\\Other");
  EXPECT_TRUE(Messages.empty());
}

// Greek letters lie beyond the Russian ANSI code page the tests run under.
// (Only in values: the test prefix cannot make such file names under the
// Russian locale.)
TEST_F(Registration, TextsBeyondTheAnsiCodePageSurviveInTheConfigurationFiles) {
  const std::wstring programs = Data.file(L"jomsetup.ini");
  const std::wstring config = Install.dir() + L"instcfg.ini";
  const auto hasByteOrderMark = [](const fs::path& file) { return ReadFile(file).rfind("\xFF\xFE", 0) == 0; };
  // Existing ANSI files, each with a Russian value of its own.
  WriteFile(Data.path() / "jomsetup.ini", "[OTHER]\r\nInstallPath=C:\\\xC4\xE8\xF1\xF2\xF0\r\n");
  WriteFile(Install.path() / "instcfg.ini", "[JOM]\r\nMakeDistr=D:\\\xC4\xE8\xF1\xF2\xF0\r\n");

  // What the system code page holds is written as before, in ANSI.
  Setup->RegisterInProgramsIni();
  EXPECT_FALSE(hasByteOrderMark(Data.path() / "jomsetup.ini"));

  // A kit whose version text holds a Greek letter.
  std::string greekKit = KitIni;
  greekKit.replace(greekKit.find("Version=5.02"), 12, "Version=5.02 \xCE\xB2");
  WriteFile(Kit.path() / "setup.ini", greekKit);
  Setup = NewSession(Install.dir());
  Setup->TargetGroup = L"Медиасервер Ωμέγα";
  Setup->WriteInstCfg();
  Setup->RegisterInProgramsIni();
  EXPECT_TRUE(hasByteOrderMark(Install.path() / "instcfg.ini"));
  EXPECT_TRUE(hasByteOrderMark(Data.path() / "jomsetup.ini"));
  EXPECT_EQ(Profile(config, L"JOM", L"GroupName"), L"Медиасервер Ωμέγα");
  EXPECT_EQ(Profile(config, L"JOM", L"MakeDistr"), L"D:\\Дистр");
  EXPECT_EQ(Profile(config, L"JOM", L"Distr"), Install.dir() + L"DISTR");
  EXPECT_EQ(Profile(programs, EntryName, L"Version"), L"5.02 β");
  EXPECT_EQ(Profile(programs, EntryName, L"InstallPath"), Install.dir().substr(0, Install.dir().size() - 1));
  EXPECT_EQ(Profile(programs, L"OTHER", L"InstallPath"), L"C:\\Дистр");
  EXPECT_FALSE(fs::exists(Data.path() / "jomsetup.ini.utf16"));

  // Later writes keep the file's form; the installed copy reads it back.
  Setup->BackupFiles = true;
  Setup->SyncInstCfgFlags();
  TKvtSetup installed(Install.dir());
  WriteFile(Install.path() / "Setup.ini", KitIni);
  installed.ReadSetupIni(false);
  EXPECT_EQ(installed.TargetGroup, L"Медиасервер Ωμέγα");
  EXPECT_TRUE(installed.BackupFiles);
  EXPECT_EQ(installed.RegistrationName, EntryName);
  EXPECT_TRUE(Messages.empty());

  // A file another program holds cannot be turned: the write fails and the
  // file stays as it was.
  WriteFile(Install.path() / "instcfg.ini", "[JOM]\r\nGroupName=Held\r\n");
  {
    ChildProcess holder = HoldFileOpen(config, 0);
    EXPECT_THROW(WriteProfileString(config, L"JOM", L"GroupName", L"Ωμέγα"), Exception);
  }
  EXPECT_EQ(ReadFile(Install.path() / "instcfg.ini"), "[JOM]\r\nGroupName=Held\r\n");
}

TEST_F(Registration, ProgramsRegistrationFileErrorsAreWarnings) {
  DistrParameters().ProgramsIniFileName = Data.file(L"no such folder\\jomsetup.ini");
  Setup->RegisterInProgramsIni();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkWarning);
  EXPECT_NE(Messages[0].Text.find(L"no such folder"), std::wstring::npos) << Ascii(Messages[0].Text);
  // Nothing to remove from a file that does not exist.
  Setup->UnregisterFromProgramsIni();
  EXPECT_EQ(Messages.size(), 1u);
}

// Items of the lists the install fills, owned by the test.
std::unique_ptr<TProgramLstFileItem> Item(const std::wstring& line, const std::wstring& localPath) {
  auto item = std::make_unique<TProgramLstFileItem>(line);
  item->LocalPath = localPath;
  return item;
}

TEST_F(Registration, OleAndHelpFilesReportEachFailureAndTheProgress) {
  ScopedRegistryKey serverKey(HKEY_CLASSES_ROOT, UniqueName(L"TavrelOleTest_"));
  ::SetEnvironmentVariableW(L"TAVREL_OLE_TEST_KEY", serverKey.path().c_str());
  fs::copy_file(ExecutableDir() / "OleTestServer.dll", Install.path() / "server.dll");
  WriteFile(Install.path() / "broken.dll", "not a library");
  const auto good = Item(L"server.dll St=g", Install.dir() + L"server.dll");
  const auto bad = Item(L"broken.dll St=g", Install.dir() + L"broken.dll");
  Setup->OleItems.AddObject(good->FileName, good.get());
  Setup->OleItems.AddObject(bad->FileName, bad.get());
  std::vector<std::pair<std::wstring, std::int32_t>> progress;
  Setup->OnStatus = [&](const std::wstring& title, const std::wstring& text1, const std::wstring&, std::int32_t percent,
                        std::uint8_t& cancel) {
    progress.emplace_back(title + L"|" + text1, percent);
    cancel = 1;  // not looked at: every file is registered
  };

  Setup->RegisterOleFiles();
  ::SetEnvironmentVariableW(L"TAVREL_OLE_TEST_KEY", nullptr);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, serverKey.path()));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_EQ(Messages[0].Text.rfind(L"Ошибка регистрации OLE-файла \"" + bad->LocalPath + L"\": ", 0), 0u)
      << Ascii(Messages[0].Text);
  const std::wstring title = L"Регистрация OLE-файлов";
  const std::vector<std::pair<std::wstring, std::int32_t>> expected = {
      {title + L"| ", 0},  {title + L"|" + bad->LocalPath, -1}, {title + L"|", 50},
      {title + L"|" + good->LocalPath, -1}, {title + L"|", 100}, {L" | ", 100}};
  EXPECT_EQ(progress, expected);

  // Help files: a missing one is no error; the list is read in the same way.
  Messages.clear();
  const auto help = Item(L"jom.chm St=h", Install.dir() + L"jom.chm");
  Setup->HelpItems.AddObject(help->FileName, help.get());
  Setup->RegisterHelpFiles();
  EXPECT_TRUE(Messages.empty());
}

// Start-menu shortcuts in a program group of the test's own, removed with
// everything in it.
class Shortcuts : public Registration {
protected:
  Shortcuts() { Setup->TargetGroup = Group; }
  ~Shortcuts() override {
    std::error_code ignored;
    fs::remove_all(fs::path(IncludeTrailingBackslash(GetProgramsFolder()) + Group), ignored);
  }

  // An item of the new list, installed in the program folder, with the line
  // of the item it replaces (none when empty).
  void Add(const std::wstring& line, const std::wstring& previousLine = {}) {
    auto item = std::make_unique<TProgramLstFileItem>(line);
    item->LocalPath = Install.dir() + item->FileName;
    WriteFile(fs::path(item->LocalPath), "MZ");
    if (!previousLine.empty()) {
      Previous.push_back(std::make_unique<TProgramLstFileItem>(previousLine));
      item->Previous = Previous.back().get();
    }
    Setup->ShortcutItems.AddObject(item->FileName, item.get());
    Items.push_back(std::move(item));
  }
  std::wstring Link(const std::wstring& caption) const { return ProgramsShortcutFile(Group, caption); }
  // The shortcut's target in upper case; empty when there is none.
  std::wstring Target(const std::wstring& caption) const {
    TShellLinkContents contents;
    return fs::exists(fs::path(Link(caption))) && ReadShellLink(Link(caption), contents)
               ? UpperCaseText(contents.Target)
               : std::wstring();
  }
  std::wstring Installed(const std::wstring& name) const { return UpperCaseText(Install.dir() + name); }
  void MakeShortcut(const std::wstring& caption, const std::wstring& program) {
    ASSERT_TRUE(CreateProgramsShortcut(Group, caption, Install.dir() + program, L""));
  }

  const std::wstring Group = UniqueName(L"TavrelTestGroup ");
  std::vector<std::unique_ptr<TProgramLstFileItem>> Items, Previous;
};

TEST_F(Shortcuts, ALinkPerCaptionWithTheParametersAndAnErrorPerFailingItem) {
  // Sorted first, and its caption leads out of the Programs folder.
  Add(L"a.exe Caption=\"..\\..\\..\\outside\"");
  // (ASCII only: the test prefix cannot make other file names under the
  // Russian locale.)
  Add(L"jom.exe Caption=\"Tools\\\\Media server\" Params=\"/AUTO x\"");
  Setup->CreateShortcuts();

  TShellLinkContents contents;
  ASSERT_TRUE(ReadShellLink(Link(L"Tools\\Media server"), contents))
      << (Messages.empty() ? std::string() : Ascii(Messages.back().Text));
  EXPECT_EQ(UpperCaseText(contents.Target), Installed(L"jom.exe"));
  EXPECT_EQ(contents.Arguments, L"/AUTO x");
  EXPECT_EQ(contents.Description, L"Media server");
  EXPECT_EQ(UpperCaseText(IncludeTrailingBackslash(contents.WorkingFolder)), UpperCaseText(Install.dir()));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_EQ(Messages[0].Text.rfind(L"Ошибка создания ярлыка \"..\\..\\..\\outside\": ", 0), 0u)
      << Ascii(Messages[0].Text);
}

TEST_F(Shortcuts, RenamedCaptionsReplaceTheirShortcutsUnlessAnotherItemNowCarriesThem) {
  const struct {
    const wchar_t *Line, *PreviousLine;
  } items[] = {
      {L"b.exe Caption=B", L"b.exe Caption=A"},  // A to B
      {L"c.exe", L"c.exe Caption=C"},            // C moved to d.exe
      {L"d.exe Caption=C", L"d.exe"},
      {L"a2.exe Caption=E", nullptr},  // E moved to a new item, sorted before the renamed one
      {L"e.exe Caption=F", L"e.exe Caption=E"},
      {L"g.exe", L"g.exe Caption=G"},  // G dropped
  };
  for (const auto& item : items) Add(item.Line, item.PreviousLine ? item.PreviousLine : L"");
  MakeShortcut(L"A", L"b.exe");
  MakeShortcut(L"C", L"c.exe");
  MakeShortcut(L"E", L"e.exe");
  MakeShortcut(L"G", L"g.exe");

  // Without shortcuts nothing is made, renamed or deleted.
  Setup->NoShortcuts = true;
  Setup->CreateShortcuts();
  const std::pair<const wchar_t*, const wchar_t*> made[] = {
      {L"A", L"b.exe"}, {L"C", L"c.exe"}, {L"E", L"e.exe"}, {L"G", L"g.exe"}};
  for (const auto& [caption, program] : made) EXPECT_EQ(Target(caption), Installed(program)) << Ascii(caption);
  for (const wchar_t* caption : {L"B", L"F"}) EXPECT_EQ(Target(caption), L"") << Ascii(caption);

  Setup->NoShortcuts = false;
  Setup->CreateShortcuts();
  const struct {
    const wchar_t *Caption, *Program;
  } expected[] = {{L"A", L""},       {L"B", L"b.exe"}, {L"C", L"d.exe"},
                  {L"E", L"a2.exe"}, {L"F", L"e.exe"}, {L"G", L""}};
  for (const auto& e : expected)
    EXPECT_EQ(Target(e.Caption), *e.Program ? Installed(e.Program) : L"") << Ascii(e.Caption);
  EXPECT_TRUE(Messages.empty());
}

}  // namespace
