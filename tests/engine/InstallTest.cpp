// sfInstall through the flat entry on kits made by the fixture builder:
// what lands where, reinstall and upgrade, the refusals, copy errors, files
// in use and kits on removable media.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "InstallHarness.h"
#include "InstalledCopy.h"
#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/Win.h"

#include <shlobj.h>

#include "setup/distribution/ZipArchive.h"
#include "setup/engine/diKvtSetup.h"
#include "support/RegistryKeys.h"
#include "support/ShellLinkReader.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// Install and uninstall tests run at the same time as other test programs.
[[maybe_unused]] const bool OwnRenewExtension = UseProcessRenewExtension();

const std::wstring Interrupted = L"Установка прервана пользователем";

// The install ran through without an error message.
void ExpectInstalled(const TEngineRun& run, std::int32_t result) {
  EXPECT_EQ(run.Errors(), std::vector<std::wstring>{});
  EXPECT_EQ(result, -1);
}

std::string Read(const fs::path& file) { return ReadFile(file); }

// The program group's shortcut to target, named by its caption.
void ExpectShortcut(const TInstallFolders& folders, const std::wstring& caption, const std::wstring& target) {
  TShellLinkContents link;
  ASSERT_TRUE(ReadShellLink((GroupFolder(folders.Group) / (caption + L".lnk")).wstring(), link)) << "no shortcut";
  EXPECT_EQ(link.Target, target);
}

std::wstring Profile(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
  wchar_t value[1024];
  ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"<none>", value, 1024, file.c_str());
  return value;
}

std::wstring ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return ::GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

// The records an install of the test's product into program leaves under
// registration name: instcfg.ini, the programs registration file, the
// Uninstall entry, the update-file association, desktop.ini and this
// computer in the station list.
void ExpectRegistered(const TInstallFolders& folders, const std::wstring& program, const std::wstring& name,
                      const std::wstring& version, bool associated = true) {
  const std::wstring config = program + L"instcfg.ini";
  const std::wstring distr = program + L"DISTR";
  EXPECT_EQ(Profile(config, folders.Section, L"Options"), L"* REDISTR");
  EXPECT_EQ(Profile(config, folders.Section, L"Distr"), distr);
  EXPECT_EQ(Profile(config, folders.Section, L"SectionName"), name);
  EXPECT_EQ(Profile(config, folders.Section, L"GroupName"), folders.Group);
  EXPECT_EQ(Profile(config, L"StationSetup", ComputerName()), version);

  const std::wstring programs = folders.ProgramsIni();
  EXPECT_EQ(Profile(programs, name, L"InstallPath"), ExcludeTrailingBackslash(program));
  EXPECT_EQ(Profile(programs, name, L"ProductID"), folders.Section);
  EXPECT_EQ(Profile(programs, name, L"Distr"), distr);
  EXPECT_EQ(Profile(programs, name, L"Version"), version);

  const std::wstring entry = UninstallKey(name);
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayName"), L"Tavrel");
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, entry, L"UninstallString"), program + L"SETUP.EXE");
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, entry, L"InstallLocation"), program);
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayVersion"), version);

  if (associated) {
    EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, folders.RenewExtension, L""), folders.RenewKey);
    EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, folders.RenewKey + L"\\shell\\open\\command", L""),
              program + L"setup.exe \"%1\"");
  }

  // The information tip in its Unicode form (UTF-7 text).
  const std::wstring tip = Profile(program + L"desktop.ini", L".ShellClassInfo.W", L"InfoTip");
  const std::string utf7(tip.begin(), tip.end());
  std::wstring decoded(utf7.size(), L'\0');
  decoded.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF7, 0, utf7.data(), static_cast<int>(utf7.size()),
                                                                decoded.data(), static_cast<int>(decoded.size()))));
  EXPECT_EQ(decoded, L"Tavrel (версия: " + version + L")");
}

std::wstring SystemFolder() {
  wchar_t path[MAX_PATH];
  ::GetSystemDirectoryW(path, MAX_PATH);
  return IncludeTrailingBackslash(path);
}

// A file of the system folder that the test owns and removes again.
class TSystemFile {
public:
  TSystemFile() : Name(L"tavrel-test-" + std::to_wstring(::GetCurrentProcessId()) + L".dll") {}
  ~TSystemFile() { ::DeleteFileW(Path().c_str()); }
  std::wstring Path() const { return SystemFolder() + Name; }
  const std::wstring Name;
};

// A kit with two archives, loose files, a shared file beside the program
// folder and one item of each status the pipeline tests.
TKit MixedKit(const TInstallFolders& folders, const std::wstring& version, const std::wstring& systemFile) {
  TKit kit = folders.NewKit(version);
  kit.Add({L"jom.exe", L"", L"Ik", L"main", FixtureBytes(30000, 1), L"Caption=\"Медиасервер Tavrel\""})
      .Add({L"jom.dll", L"", L"", L"main", FixtureBytes(20000, 2), L""})
      .Add({L"common.dll", L"..\\Common", L"C", L"main", FixtureBytes(5000, 3), L""})
      .Add({L"tool.dll", L"tools", L"t", L"main", FixtureBytes(1000, 4), L""})
      .Add({systemFile, L"", L"L", L"main", FixtureBytes(700, 5), L""})
      .Add({L"index.html", L"www", L"", L"web", FixtureBytes(40000, 6, true), L""})
      .Add({L"settings.xml", L"", L"S", L"web", FixtureBytes(300, 7, true), L""})
      .Add({L"jom.ini", L"", L"R", L"", "[Server]\r\nPort=9090\r\n", L""})
      .Add({L"readme.txt", L"docs", L"", L"", FixtureBytes(2000, 8, true), L""})
      .Add({L"old.txt", L"", L"D", L"", "", L""});
  return kit;
}

// One test's folders with the mixed kit written into them (after prepare).
struct TMixedKit {
  explicit TMixedKit(const std::string& tag, const std::wstring& version = L"5.03",
                     const std::function<void(TKit&)>& prepare = {})
      : Folders(tag), Kit(MixedKit(Folders, version, System.Name)) {
    if (prepare) prepare(Kit);
    Kit.Write();
  }
  TInstallFolders Folders;
  TSystemFile System;
  TKit Kit;
};

fs::path TargetOf(const TInstallFolders& folders, const TFixtureFile& file) {
  if (file.St.find(L'L') != std::wstring::npos) return SystemFolder() + file.Name;
  if (file.Dir == L"..\\Common") return folders.Root() / "Common" / file.Name;
  return folders.ProgramPath() / (file.Dir.empty() ? fs::path() : fs::path(file.Dir)) / file.Name;
}

TEST(Install, AFreshInstallPutsEveryFileInPlaceAndKeepsCopiesOfTheMarkedOnes) {
  const TMixedKit mixed("fresh");
  const TInstallFolders& folders = mixed.Folders;
  const TKit& kit = mixed.Kit;
  fs::create_directories(folders.ProgramPath());
  WriteFile(folders.ProgramPath() / "old.txt", "left over");

  TEngineRun run;
  run.Automatic = true;
  ExpectInstalled(run, run.Install(kit.Dir(), folders.Program()));

  for (const TFixtureFile& file : kit.ListedFiles()) {
    if (file.St == L"D") continue;
    EXPECT_EQ(Read(TargetOf(folders, file)), file.Content) << fs::path(file.Name).string();
  }
  EXPECT_EQ(Read(folders.ProgramPath() / "files.lst"), Read(folders.KitPath() / "files.lst"));
  EXPECT_FALSE(fs::exists(folders.ProgramPath() / "old.txt"));
  ExpectRegistered(folders, folders.Program(), folders.Section, L"5.03");
  ExpectShortcut(folders, L"Медиасервер Tavrel", folders.Program() + L"jom.exe");
  EXPECT_EQ(ReadDwordValue(HKEY_LOCAL_MACHINE, UninstallKey(folders.Section), L"VersionMajor"), DWORD{5});
  EXPECT_EQ(ReadDwordValue(HKEY_LOCAL_MACHINE, UninstallKey(folders.Section), L"VersionMinor"), DWORD{3});

  // Kept copies exactly for I, L, R, C and t, each a copy of the kit's file.
  const std::vector<std::string> kept = {"##/Common/common.dll", "jom.exe", "jom.ini",
                                         fs::path(mixed.System.Name).string(), "tools/tool.dll"};
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesUnder(folders.ProgramPath() / "DISTR"), expected);
  EXPECT_EQ(Read(folders.ProgramPath() / "DISTR" / "##" / "Common" / "common.dll"), kit.Files()[2].Content);

  EXPECT_TRUE(run.Questions.empty());
  EXPECT_EQ(run.LastPercent(), 100);
  // Files come in the list's order of their relative paths, each reported once.
  const std::vector<std::wstring> targets = run.CopiedTargets();
  EXPECT_EQ(targets.size(), kit.ListedFiles().size());  // less old.txt, plus the list itself
  EXPECT_EQ(targets.front(), (folders.Root() / "Common" / "common.dll").wstring());
  // The work folder holds nothing of the install any more.
  EXPECT_TRUE(FilesUnder(fs::path(EngineWorkDir())).empty());
}

// An installed copy of the mixed kit's product, as an earlier version left it.
TInstalledCopy InstalledMixedCopy(const TInstallFolders& folders, const std::wstring& version,
                                  const std::wstring& systemFile) {
  TInstalledCopy copy = folders.NewCopy(version);
  copy.Add({L"jom.exe", L"", L"Ik", L"", FixtureBytes(30000, 11), L""})
      .Add({L"jom.dll", L"", L"", L"", FixtureBytes(20000, 2), L""})
      .Add({L"tool.dll", L"tools", L"t", L"", FixtureBytes(1000, 4), L""})
      .Add({systemFile, L"", L"", L"", FixtureBytes(700, 5), L""})
      .Add({L"index.html", L"www", L"", L"", "the user's page", L""})
      .Add({L"settings.xml", L"", L"S", L"", "the user's settings", L""})
      .Add({L"jom.ini", L"", L"R", L"", "[Server]\r\nPort=8080\r\n", L""});
  copy.Write();
  return copy;
}

TEST(Install, AReinstallKeepsTheUsersSettingsAsAnswered) {
  struct Case {
    const char* Name;
    bool Automatic;
    std::int32_t Answer;
    bool Kept;  // files without S, L, C or o that exist keep their content
    bool Cancelled;
  };
  const Case cases[] = {
      {"automatic", true, 0, true, false},
      {"yes", false, IDYES, true, false},
      {"no", false, IDNO, false, false},
      {"cancel", false, IDCANCEL, true, true},
  };
  for (const Case& c : cases) {
    const TMixedKit mixed("again");
    const TInstallFolders& folders = mixed.Folders;
    const TKit& kit = mixed.Kit;
    InstalledMixedCopy(folders, L"5.02", mixed.System.Name);
    fs::remove(folders.ProgramPath() / "docs" / "readme.txt");

    TEngineRun run;
    run.Automatic = c.Automatic;
    run.Answer = [&](const TQuestionCall&) { return c.Answer; };
    const std::int32_t result = run.Install(kit.Dir(), folders.Program());
    if (c.Automatic) {
      EXPECT_TRUE(run.Questions.empty()) << c.Name;
    } else {
      ASSERT_EQ(run.Questions.size(), 1u) << c.Name;
      EXPECT_EQ(run.Questions[0].Text, L"В каталоге " + folders.Program() +
                                           L" обнаружена установленная версия программы \"Tavrel\".\r\n"
                                           L"Установить программу с сохранением установок пользователя ?");
      EXPECT_EQ(run.Questions[0].Flags, 35u);
      EXPECT_EQ(run.Questions[0].Caption, L"Программа установки");
    }
    if (c.Cancelled) {
      EXPECT_EQ(run.Errors(), std::vector<std::wstring>{Interrupted}) << c.Name;
      EXPECT_EQ(Read(folders.ProgramPath() / "settings.xml"), "the user's settings") << c.Name;
      EXPECT_FALSE(fs::exists(folders.ProgramPath() / "docs" / "readme.txt")) << c.Name;
      continue;
    }
    ExpectInstalled(run, result);
    const auto& files = kit.Files();
    EXPECT_EQ(Read(folders.ProgramPath() / "www" / "index.html"), c.Kept ? "the user's page" : files[5].Content)
        << c.Name;
    EXPECT_EQ(Read(folders.ProgramPath() / "jom.ini"), c.Kept ? "[Server]\r\nPort=8080\r\n" : files[7].Content)
        << c.Name;
    EXPECT_EQ(Read(folders.ProgramPath() / "jom.exe"), c.Kept ? FixtureBytes(30000, 11) : files[0].Content) << c.Name;
    // Files with S and missing files come from the kit in every case, and
    // kept copies are renewed.
    EXPECT_EQ(Read(folders.ProgramPath() / "settings.xml"), files[6].Content) << c.Name;
    EXPECT_EQ(Read(folders.ProgramPath() / "docs" / "readme.txt"), files[8].Content) << c.Name;
    EXPECT_EQ(Read(folders.ProgramPath() / "DISTR" / "jom.exe"), files[0].Content) << c.Name;
    EXPECT_EQ(Read(folders.ProgramPath() / "DISTR" / "jom.ini"), files[7].Content) << c.Name;
  }
}

// The entries of a ZIP archive with their contents.
std::map<std::wstring, std::string> ArchiveContents(const fs::path& file) {
  std::map<std::wstring, std::string> contents;
  TZipReader reader(file.wstring());
  for (int i = 0; i < reader.EntryCount(); ++i) {
    const std::wstring name = reader.EntryName(i);
    const std::wstring path = (fs::temp_directory_path() / "tavrel-backup-entry").wstring();
    reader.ExtractToFile(ExtractFileName(ReplaceChar(name, L'/', L'\\')), path);
    contents[name] = ReadFile(path);
    fs::remove(path);
  }
  return contents;
}

TEST(Install, AnUpgradeBacksUpUserFilesAndReplacedFilesOnlyWhenTheVersionRises) {
  struct Case {
    const wchar_t* Old;
    const wchar_t* New;
    bool Backup;
  };
  // The order is that of the characters: 5.10 sorts before 5.9.
  const Case cases[] = {{L"5.10", L"5.9", true}, {L"5.9", L"5.10", false}};
  for (const Case& c : cases) {
    const TMixedKit mixed("bak", c.New, [](TKit& k) { k.Key(L"Tmpl", L"jom"); });
    const TInstallFolders& folders = mixed.Folders;
    const TKit& kit = mixed.Kit;
    const TInstalledCopy copy = InstalledMixedCopy(folders, c.Old, mixed.System.Name);
    const std::string oldList = Read(folders.ProgramPath() / "files.lst");
    const std::string oldSetupIni = Read(folders.ProgramPath() / "setup.ini");
    {
      std::ofstream config(folders.ProgramPath() / "instcfg.ini", std::ios::app | std::ios::binary);
      config << "BackupFiles=1\r\n";
    }

    TEngineRun run;
    run.Automatic = true;
    ExpectInstalled(run, run.Install(kit.Dir(), folders.Program()));
    const fs::path backups = folders.ProgramPath() / "$BACKUP$";
    if (!c.Backup) {
      EXPECT_TRUE(FilesUnder(backups).empty()) << fs::path(c.Old).string();
      continue;
    }
    const std::wstring name = L"jom" + RemoveChars(c.Old, L".") + RemoveChars(c.New, L".") + L".bak";
    ASSERT_EQ(FilesUnder(backups), std::vector<std::string>{fs::path(name).string()});
    // The installed list, the "R" file and what was replaced by other
    // content, each as it was before the install; not the unchanged jom.dll
    // or tool.dll, nor the user's files the install leaves alone.
    const std::map<std::wstring, std::string> expected = {
        {L"files.lst", oldList},
        {L"jom.ini", "[Server]\r\nPort=8080\r\n"},
        {L"settings.xml", "the user's settings"},
        {L"setup.ini", oldSetupIni},
        {L"DISTR/jom.exe", FixtureBytes(30000, 11)},
        {L"DISTR/jom.ini", "[Server]\r\nPort=8080\r\n"},
    };
    EXPECT_EQ(ArchiveContents(backups / name), expected);
    EXPECT_NE(std::find(run.Messages.begin(), run.Messages.end(), std::pair<std::int32_t, std::wstring>(mkInfo, L"Резервирование файлов")),
              run.Messages.end());
  }
}

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

TEST(Install, RefusesBadParametersAndFolders) {
  const TMixedKit mixed("refuse");
  const TInstallFolders& folders = mixed.Folders;
  const std::wstring invalid = L"Программа не может быть установлена в корневой каталог диска или сетевого ресурса";
  const std::wstring profile = ShellFolder(CSIDL_PROFILE);
  struct Case {
    std::wstring Kit, Folder;
    std::uint32_t Size;
    std::wstring Error;
  };
  const std::wstring kit = folders.Kit();
  const std::wstring program = folders.Program();
  const Case cases[] = {
      {kit, program, 8, L"Неправильный размер структуры параметров установки"},
      {kit, program, 65, L"Неправильный размер структуры параметров установки"},
      {L" ", program, 24, L"Не указан каталог дистрибутива"},
      {kit + L"missing", program, 24, L"Каталог дистрибутива \"" + kit + L"missing\\\" не найден"},
      {kit, L"  ", 24, L"Не указан каталог установки программы"},
      {kit, L"C:\\", 24, invalid},
      {kit, L"c:", 24, invalid},
      {kit, ShellFolder(CSIDL_WINDOWS), 24, invalid},
      {kit, UpperCaseText(ShellFolder(CSIDL_SYSTEM)) + L"\\", 24, invalid},
      {kit, ShellFolder(CSIDL_PROGRAM_FILES), 24, invalid},
      {kit, ShellFolder(CSIDL_PROGRAM_FILESX86), 24, invalid},
      {kit, ExtractFilePath(profile), 24, invalid},
      {kit, profile, 24, invalid},
      {kit, ExtractFilePath(profile) + L"Public", 24, invalid},
      {kit, ShellFolder(CSIDL_COMMON_APPDATA), 24, invalid},
      {kit, ShellFolder(CSIDL_DESKTOPDIRECTORY), 24, invalid},
      {kit, ShellFolder(CSIDL_PERSONAL), 24, invalid},
      {kit, L"\\\\?\\" + ShellFolder(CSIDL_WINDOWS), 24, invalid},
      {kit, L"//?/" + fs::path(ShellFolder(CSIDL_COMMON_DOCUMENTS)).generic_wstring(), 24, invalid},
  };
  for (const Case& c : cases) {
    TEngineRun run;
    run.Automatic = true;
    EXPECT_EQ(run.Install(c.Kit, c.Folder, L"", c.Size), 0) << fs::path(c.Folder).string();
    EXPECT_EQ(run.Errors(), std::vector<std::wstring>{c.Error}) << fs::path(c.Folder).string();
  }
  EXPECT_FALSE(fs::exists(folders.ProgramPath()));
}

TEST(Install, AFileTheKitLacksOrCannotDeliverStopsTheInstall) {
  struct Case {
    const char* Name;
    std::function<void(TKit&)> Prepare;
    std::function<void(const TInstallFolders&)> Damage;
    std::wstring Target;  // relative to the program folder
    std::wstring Reason;  // after the kit folder
  };
  const Case cases[] = {
      {"missing archive", nullptr, [](const TInstallFolders& f) { fs::remove(f.KitPath() / "web.zip"); },
       L"settings.xml", L"Файл %KIT%web.zip не найден"},
      {"missing loose file", nullptr, [](const TInstallFolders& f) { fs::remove(f.KitPath() / "jom.ini"); },
       L"jom.ini", L"Файл %KIT%jom.ini не найден"},
      {"bad CRC", [](TKit& k) { k.DamageEntry(L"index.html"); }, nullptr, L"www\\index.html",
       L"Архив: %KIT%web.zip; Файл: INDEX.HTML; Сообщение: CRC error"},
  };
  for (const Case& c : cases) {
    const TMixedKit mixed("lack", L"5.03", c.Prepare);
    const TInstallFolders& folders = mixed.Folders;
    const TKit& kit = mixed.Kit;
    if (c.Damage) c.Damage(folders);
    TEngineRun run;
    run.Automatic = true;
    EXPECT_EQ(run.Install(kit.Dir(), folders.Program()), 0) << c.Name;
    std::wstring reason = c.Reason;
    reason.replace(reason.find(L"%KIT%"), 5, kit.Dir());
    EXPECT_EQ(run.Errors(), std::vector<std::wstring>{L"Ошибка установки файла " + folders.Program() + c.Target +
                                                      L": " + reason})
        << c.Name;
    EXPECT_TRUE(FilesUnder(fs::path(EngineWorkDir())).empty()) << c.Name;
  }
}

TEST(Install, ArchiveEntriesAreExtractedOnlyInsideTheWorkFolder) {
  struct Case {
    std::wstring Stored;
    fs::path Escape;  // where the entry would land
  };
  const fs::path work = fs::path(ExcludeTrailingBackslash(EngineWorkDir()));
  TInstallFolders folders("escape");
  const Case cases[] = {
      {L"../../escaped.txt", work.parent_path().parent_path() / "escaped.txt"},
      {L"sub/../../../escaped.txt", work.parent_path().parent_path() / "escaped.txt"},
      {(folders.Root() / "escaped.txt").generic_wstring(), folders.Root() / "escaped.txt"},
      {L"/escaped.txt", fs::path(L"C:\\escaped.txt")},
  };
  for (const Case& c : cases) {
    TKit kit = folders.NewKit(L"1.0");
    kit.Add({L"escaped.txt", L"", L"", L"main", "outside", L""}).StoreAs(L"escaped.txt", c.Stored);
    kit.Write();
    TEngineRun run;
    run.Automatic = true;
    EXPECT_EQ(run.Install(kit.Dir(), folders.Program()), 0);
    EXPECT_EQ(run.Errors(), std::vector<std::wstring>{L"Ошибка установки файла " + folders.Program() +
                                                      L"escaped.txt: Архив: " + kit.Dir() + L"main.zip; Файл: " +
                                                      UpperCaseText(c.Stored) + L"; Сообщение: Ошибка создания файла: " +
                                                      SystemErrorMessage(ERROR_BAD_PATHNAME)})
        << fs::path(c.Stored).string();
    EXPECT_FALSE(fs::exists(c.Escape)) << fs::path(c.Stored).string();
    EXPECT_FALSE(fs::exists(folders.ProgramPath() / "escaped.txt"));
  }
  // A stored folder inside the work folder is restored and installs.
  TKit kit = folders.NewKit(L"1.0");
  kit.Add({L"inner.txt", L"", L"", L"main", "inside", L""}).StoreAs(L"inner.txt", L"a/b/inner.txt");
  kit.Write();
  TEngineRun run;
  run.Automatic = true;
  ExpectInstalled(run, run.Install(kit.Dir(), folders.Program()));
  EXPECT_EQ(Read(folders.ProgramPath() / "inner.txt"), "inside");
}

TEST(Install, ALockedFileStopsTheInstallBeforeAnythingIsCopied) {
  const TMixedKit mixed("locked");
  const TInstallFolders& folders = mixed.Folders;
  const TKit& kit = mixed.Kit;
  fs::create_directories(folders.ProgramPath());
  WriteFile(folders.ProgramPath() / "jom.exe", "running");
  const std::wstring locked = L"Файл \"" + folders.Program() +
                              L"jom.exe\" используется. Для установки программы требуется освободить файл.";
  {
    ChildProcess holder = HoldFileOpen(folders.Program() + L"jom.exe", FILE_SHARE_READ);
    TEngineRun automatic;
    automatic.Automatic = true;
    EXPECT_EQ(automatic.Install(kit.Dir(), folders.Program()), 0);
    EXPECT_EQ(automatic.Errors(), std::vector<std::wstring>{locked});
    EXPECT_EQ(FilesUnder(folders.ProgramPath()), std::vector<std::string>{"jom.exe"});

    TEngineRun asked;
    asked.Answer = [](const TQuestionCall&) { return IDCANCEL; };
    EXPECT_EQ(asked.Install(kit.Dir(), folders.Program()), 0);
    ASSERT_EQ(asked.Questions.size(), 1u);
    EXPECT_EQ(asked.Questions[0].Text, locked);
    EXPECT_EQ(asked.Questions[0].Flags, 21u);
    EXPECT_EQ(asked.Errors(), std::vector<std::wstring>{Interrupted});
    EXPECT_EQ(FilesUnder(folders.ProgramPath()), std::vector<std::string>{"jom.exe"});
  }
  // Retry once the program let the file go: the install goes on.
  ChildProcess holder = HoldFileOpen(folders.Program() + L"jom.exe", FILE_SHARE_READ);
  TEngineRun retried;
  retried.Answer = [&](const TQuestionCall&) {
    holder.Kill();
    return IDRETRY;
  };
  ExpectInstalled(retried, retried.Install(kit.Dir(), folders.Program()));
  EXPECT_EQ(retried.Questions.size(), 1u);
  EXPECT_EQ(Read(folders.ProgramPath() / "jom.exe"), kit.Files()[0].Content);
}

TEST(Install, ACancelDuringCopyingStops) {
  const TMixedKit mixed("cancel");
  const TInstallFolders& folders = mixed.Folders;
  const TKit& kit = mixed.Kit;
  TEngineRun run;
  run.Automatic = true;
  const std::wstring stopAt = folders.Program() + L"jom.dll";
  run.CancelAt = [&](const TStatusCall& call) { return call.Text1 == stopAt; };
  EXPECT_EQ(run.Install(kit.Dir(), folders.Program()), 0);
  EXPECT_EQ(run.Errors(), std::vector<std::wstring>{Interrupted});
  // Files come in the order of their relative paths: docs\ before jom.dll.
  EXPECT_TRUE(fs::exists(folders.ProgramPath() / "docs" / "readme.txt"));
  EXPECT_FALSE(fs::exists(folders.ProgramPath() / "jom.dll"));
  EXPECT_FALSE(fs::exists(folders.ProgramPath() / "jom.exe"));
  EXPECT_FALSE(fs::exists(folders.ProgramPath() / "settings.xml"));
  EXPECT_TRUE(FilesUnder(fs::path(EngineWorkDir())).empty());
}

TEST(Install, ACopyErrorIsAbortedRetriedOrSkippedAsAnswered) {
  struct Case {
    const char* Name;
    std::int32_t Answer;
  };
  for (const Case& c : {Case{"abort", IDABORT}, Case{"retry", IDRETRY}, Case{"ignore", IDIGNORE}}) {
    const TMixedKit mixed("copyerr");
    const TInstallFolders& folders = mixed.Folders;
    const TKit& kit = mixed.Kit;
    const std::wstring target = folders.Program() + L"docs\\readme.txt";
    fs::create_directories(folders.ProgramPath() / "docs");
    WriteFile(folders.ProgramPath() / "docs" / "readme.txt", "open elsewhere");
    ChildProcess holder = HoldFileOpen(target, 0);

    TEngineRun run;
    run.Answer = [&](const TQuestionCall& question) {
      if (question.Flags == 18 && c.Answer == IDRETRY) holder.Kill();
      return c.Answer;
    };
    const std::int32_t result = run.Install(kit.Dir(), folders.Program());
    ASSERT_EQ(run.Questions.size(), 1u) << c.Name;
    EXPECT_EQ(run.Questions[0].Flags, 18u);
    EXPECT_EQ(run.Questions[0].Text, L"При копировании файла " + kit.Dir() + L"readme.txt -> " + target +
                                         L" произошла ошибка (32): " + SystemErrorMessage(ERROR_SHARING_VIOLATION));
    switch (c.Answer) {
      case IDABORT:
        EXPECT_EQ(run.Errors(), std::vector<std::wstring>{L"Ошибка установки файла " + target + L": " + Interrupted});
        EXPECT_FALSE(fs::exists(folders.ProgramPath() / "setup.ini"));
        break;
      case IDRETRY:
        ExpectInstalled(run, result);
        EXPECT_EQ(Read(folders.ProgramPath() / "docs" / "readme.txt"), kit.Files()[8].Content);
        break;
      case IDIGNORE:
        ExpectInstalled(run, result);
        EXPECT_EQ(run.Warnings(), std::vector<std::wstring>{L"Установка файла " + target + L" пропущена"});
        EXPECT_EQ(Read(folders.ProgramPath() / "setup.ini"), Read(folders.KitPath() / "setup.ini"));
        // The skipped file still counts: the copy ends at 100 %.
        const auto last = std::find_if(run.Statuses.rbegin(), run.Statuses.rend(), [](const TStatusCall& s) {
          return s.Title == L"Копирование файлов" && s.Percent >= 0;
        });
        ASSERT_NE(last, run.Statuses.rend());
        EXPECT_EQ(last->Percent, 100);
        break;
    }
  }
}

TEST(Install, AVersionCheckedFileInUseIsReplacedAtRestartWithoutAQuestion) {
  const TMixedKit mixed("inuse");
  const TInstallFolders& folders = mixed.Folders;
  const TKit& kit = mixed.Kit;
  const fs::path common = folders.Root() / "Common" / "common.dll";
  fs::create_directories(common.parent_path());
  WriteFile(common, "the running one");
  {
    // Held as a running program holds its file: it may be renamed, not written.
    ChildProcess holder = HoldFileOpen(common.wstring(), FILE_SHARE_READ | FILE_SHARE_DELETE);
    TEngineRun run;
    ExpectInstalled(run, run.Install(kit.Dir(), folders.Program()));
    EXPECT_TRUE(run.Questions.empty());
    EXPECT_EQ(Read(common), kit.Files()[2].Content);
    EXPECT_EQ(Read(folders.Root() / "Common" / "common.old"), "the running one");
    EXPECT_NE(PendingRenames().find(L"common.old"), std::wstring::npos);
  }
  ForgetPendingRenames(folders.Root().wstring());
}

// A drive letter of Wine's mount manager with the drive type "removable"
// (a floppy drive below C:), pointing at a folder; removed again.
class TRemovableDrive {
public:
  explicit TRemovableDrive(const fs::path& folder) {
    using UnixName = char* (*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return;
    char* path = unixName(folder.wstring().c_str());
    if (!path) return;
    const std::string mountPoint = path;
    ::HeapFree(::GetProcessHeap(), 0, path);
    for (char letter = 'r'; letter <= 'y'; ++letter) {
      const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', 0};
      if (::GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR) continue;
      if (Define(letter, mountPoint, DRIVE_REMOVABLE)) Letter = letter;
      break;
    }
  }
  ~TRemovableDrive() {
    if (Letter) Define(Letter, {}, 0);
  }
  bool Defined() const { return Letter != 0 && ::GetDriveTypeW(Root().c_str()) == DRIVE_REMOVABLE; }
  std::wstring Root() const { return {static_cast<wchar_t>(Letter), L':', L'\\'}; }

private:
  // The mount manager's define request; an empty mount point removes the letter.
  static bool Define(char letter, const std::string& mountPoint, std::uint32_t type) {
    std::vector<std::uint8_t> record(32 + (mountPoint.empty() ? 0 : mountPoint.size() + 2), 0);
    auto put16 = [&](std::size_t at, std::size_t value) {
      record[at] = static_cast<std::uint8_t>(value);
      record[at + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    const std::uint32_t size = static_cast<std::uint32_t>(record.size());
    std::memcpy(record.data(), &size, 4);
    std::memcpy(record.data() + 4, &type, 4);
    put16(24, static_cast<unsigned char>(letter));
    if (!mountPoint.empty()) {
      put16(26, 32);
      put16(28, 32 + mountPoint.size() + 1);
      std::memcpy(record.data() + 32, mountPoint.data(), mountPoint.size());
    }
    HANDLE device = ::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    const bool ok = ::DeviceIoControl(device, 0x006DC080, record.data(), size, nullptr, 0, &returned, nullptr);
    ::CloseHandle(device);
    return ok;
  }

  char Letter = 0;
};

TEST(Install, AKitOnARemovableDriveIsReadVolumeByVolume) {
  TInstallFolders folders("floppy");
  TKit kit = folders.NewKit(L"5.03");
  kit.Add({L"a.txt", L"", L"", L"", "volume two", L""})
      .Add({L"b.txt", L"", L"", L"", "volume one", L""})
      .Add({L"c.txt", L"", L"", L"", "no volume", L""})
      .Add({L"d.dat", L"", L"", L"big", FixtureBytes(50000, 21), L""})
      .Add({L"e.dat", L"", L"", L"big", FixtureBytes(30000, 22), L""})
      .Add({L"f.txt", L"", L"", L"three", "volume three", L""})
      .Pack(L"a.txt", L"2")
      .Pack(L"b.txt", L"1")
      .Pack(L"three.zip", L"3")
      .Split(L"big", 20000, 1);
  kit.Write();
  TRemovableDrive drive(folders.KitPath());
  ASSERT_TRUE(drive.Defined()) << "cannot make a removable drive of the kit folder";

  TEngineRun run;
  run.Automatic = true;
  ExpectInstalled(run, run.Install(drive.Root(), folders.Program()));
  for (const TFixtureFile& file : kit.ListedFiles())
    EXPECT_EQ(Read(folders.ProgramPath() / file.Name), file.Content) << fs::path(file.Name).string();
  const std::wstring p = folders.Program();
  // Volume 1 (the split archive's first part and b.txt), 2, 3, then the
  // files without a volume, each group in list order.
  const std::vector<std::wstring> order = {p + L"b.txt",   p + L"d.dat",     p + L"e.dat",    p + L"a.txt",
                                           p + L"f.txt",   p + L"c.txt",     p + L"files.lst", p + L"setup.ini"};
  EXPECT_EQ(run.CopiedTargets(), order);
}

TEST(Install, ASplitArchiveOnAFixedDriveIsJoinedToo) {
  TInstallFolders folders("split");
  TKit kit = folders.NewKit(L"5.03");
  kit.Add({L"d.dat", L"", L"", L"big", FixtureBytes(50000, 21), L""}).Split(L"big", 16384, 1);
  kit.Write();
  TEngineRun run;
  run.Automatic = true;
  ExpectInstalled(run, run.Install(kit.Dir(), folders.Program()));
  EXPECT_EQ(Read(folders.ProgramPath() / "d.dat"), kit.Files()[0].Content);
}

}  // namespace

namespace {

TEST(Install, ACancelAtTheLastProgressReportStillStopsBeforeTheRegistration) {
  TInstallFolders folders("lastcancel");
  TKit kit = folders.NewKit(L"1.0");
  kit.Add({L"a.txt", L"", L"", L"", "a", L""}).Add({L"b.txt", L"", L"", L"main", "b", L""});
  kit.Write();
  TEngineRun run;
  run.Automatic = true;
  run.CancelAt = [](const TStatusCall& call) { return call.Title == L"Копирование файлов" && call.Percent == 100; };
  EXPECT_EQ(run.Install(kit.Dir(), folders.Program()), 0);
  EXPECT_EQ(run.Errors(), std::vector<std::wstring>{Interrupted});
  EXPECT_EQ(Read(folders.ProgramPath() / "b.txt"), "b");
}

TEST(Install, AKitOfEmptyFilesReachesFullProgress) {
  TInstallFolders folders("empty");
  TKit kit = folders.NewKit(L"1.0");
  kit.ListsSetupIni = false;
  kit.Add({L"a.txt", L"", L"", L"", "", L""}).Add({L"b.txt", L"", L"", L"main", "", L""});
  kit.Write();
  TEngineRun run;
  run.Automatic = true;
  ExpectInstalled(run, run.Install(kit.Dir(), folders.Program()));
  EXPECT_TRUE(fs::exists(folders.ProgramPath() / "b.txt"));
  for (const TStatusCall& call : run.Statuses) EXPECT_LE(call.Percent, 100);
  EXPECT_EQ(run.LastPercent(), 100);
}

TEST(StationSetup, NeedsAnInstalledCopy) {
  TInstallFolders folders("station");
  TKit kit = folders.NewKit(L"1.0");
  kit.Add({L"a.txt", L"", L"", L"", "a", L""});
  kit.Write();
  TEngineRun run;
  run.Automatic = true;
  EXPECT_EQ(run.Execute(kit.Dir(), sfStationSetup, nullptr), 0);
  EXPECT_EQ(run.Errors(), std::vector<std::wstring>{L"Файл " + kit.Dir() + L"instcfg.ini не найден"});
  EXPECT_FALSE(fs::exists(folders.ProgramPath()));
}

}  // namespace

namespace {

TEST(Install, AnArchivedFileThatCannotBeWrittenGetsTheCopyErrorQuestion) {
  const TMixedKit mixed("blocked");
  const TInstallFolders& folders = mixed.Folders;
  // A file where the folder www\ has to be.
  fs::create_directories(folders.ProgramPath());
  WriteFile(folders.ProgramPath() / "www", "in the way");
  TEngineRun run;
  run.Answer = [](const TQuestionCall&) { return IDIGNORE; };
  // A skipped file is a warning: the install itself succeeds.
  EXPECT_EQ(run.Install(mixed.Kit.Dir(), folders.Program()), -1);
  ASSERT_EQ(run.Questions.size(), 1u);
  EXPECT_EQ(run.Questions[0].Flags, 18u);
  const std::wstring target = folders.Program() + L"www\\index.html";
  EXPECT_EQ(run.Questions[0].Text.rfind(L"При копировании файла " + EngineWorkDir() + L"index.html -> " + target, 0), 0u)
      << fs::path(run.Questions[0].Text).string();
  EXPECT_EQ(run.Warnings(), std::vector<std::wstring>{L"Установка файла " + target + L" пропущена"});
  EXPECT_EQ(Read(folders.ProgramPath() / "jom.dll"), mixed.Kit.Files()[1].Content);
}

}  // namespace

namespace {

TEST(Install, ASecondInstallIntoAnotherFolderGetsTheNextRegistrationName) {
  const TMixedKit mixed("second");
  const TInstallFolders& folders = mixed.Folders;
  TEngineRun first;
  first.Automatic = true;
  ExpectInstalled(first, first.Install(mixed.Kit.Dir(), folders.Program(), L"", sizeof(TInstallParams), true));
  const std::wstring other = (folders.Root() / "Other").wstring() + L"\\";
  TEngineRun second;
  second.Automatic = true;
  ExpectInstalled(second, second.Install(mixed.Kit.Dir(), other, L"", sizeof(TInstallParams), true));

  // The association follows the last install whose setup.exe it names.
  ExpectRegistered(folders, folders.Program(), folders.Section, L"5.03", false);
  ExpectRegistered(folders, other, folders.Section + L"1", L"5.03");
  // A reinstall into the first folder keeps its name.
  TEngineRun again;
  again.Automatic = true;
  ExpectInstalled(again, again.Install(mixed.Kit.Dir(), folders.Program(), L"", sizeof(TInstallParams), true));
  EXPECT_EQ(Profile(folders.Program() + L"instcfg.ini", folders.Section, L"SectionName"), folders.Section);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(folders.Section + L"2")));
}

TEST(Install, AReinstallKeepsTheCopysBackupOption) {
  const TMixedKit mixed("options");
  const TInstallFolders& folders = mixed.Folders;
  InstalledMixedCopy(folders, L"5.02", mixed.System.Name);
  {
    std::ofstream config(folders.ProgramPath() / "instcfg.ini", std::ios::app | std::ios::binary);
    config << "BackupFiles=1\r\nKvtRenewService=1\r\n";
  }
  TEngineRun run;
  run.Automatic = true;
  ExpectInstalled(run, run.Install(mixed.Kit.Dir(), folders.Program()));
  EXPECT_EQ(Profile(folders.Program() + L"instcfg.ini", folders.Section, L"BackupFiles"), L"1");
  EXPECT_EQ(Profile(folders.Program() + L"instcfg.ini", folders.Section, L"KvtRenewService"), L"1");
}

TEST(Install, AVersionCheckedFileIsNotReplacedByAnOlderVersion) {
  TInstallFolders folders("older");
  const std::string low = Read(ExecutableDir() / "VersionLow.dll");
  const std::string high = Read(ExecutableDir() / "VersionHigh.dll");
  ASSERT_FALSE(low.empty());
  ASSERT_FALSE(high.empty());
  TKit kit = folders.NewKit(L"5.03");
  kit.Add({L"shared.dll", L"..\\Common", L"C", L"main", low, L""})
      .Add({L"newer.dll", L"..\\Common", L"C", L"", high, L""});
  kit.Write();
  const fs::path common = folders.Root() / "Common";
  fs::create_directories(common);
  WriteFile(common / "shared.dll", high);
  WriteFile(common / "newer.dll", low);
  TEngineRun run;
  run.Automatic = true;
  ExpectInstalled(run, run.Install(kit.Dir(), folders.Program()));
  EXPECT_EQ(Read(common / "shared.dll"), high);  // 1.10 stays: the kit's 1.2 is older
  EXPECT_EQ(Read(common / "newer.dll"), high);   // 1.2 gives way to 1.10
  // The kept copies are the kit's whatever the installed versions.
  EXPECT_EQ(Read(folders.ProgramPath() / "DISTR" / "##" / "Common" / "shared.dll"), low);
}

TEST(StationSetup, RegistersAnInstalledCopyOnThisComputer) {
  const TMixedKit mixed("station");
  const TInstallFolders& folders = mixed.Folders;
  TEngineRun install;
  install.Automatic = true;
  ExpectInstalled(install, install.Install(mixed.Kit.Dir(), folders.Program(), L"", sizeof(TInstallParams), true));
  // Another computer: none of the system's records of the first install.
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, UninstallKey(folders.Section).c_str());
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, folders.RenewKey.c_str());
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, folders.RenewExtension.c_str());
  ::DeleteFileW(mixed.System.Path().c_str());
  ::WritePrivateProfileStringW(L"StationSetup", nullptr, nullptr, (folders.Program() + L"instcfg.ini").c_str());
  const std::string installed = Read(folders.ProgramPath() / "jom.exe");

  TEngineRun station;
  station.Automatic = true;
  ASSERT_FALSE(fs::exists(GroupFolder(folders.Group))) << "the install made no shortcuts";
  ExpectInstalled(station, station.Execute(folders.Program(), sfStationSetup, nullptr));
  ExpectRegistered(folders, folders.Program(), folders.Section, L"5.03");
  ExpectShortcut(folders, L"Медиасервер Tavrel", folders.Program() + L"jom.exe");
  // The system folder's file comes from its kept copy; the program folder
  // is left as it was.
  EXPECT_EQ(Read(mixed.System.Path()), mixed.Kit.Files()[4].Content);
  EXPECT_EQ(station.CopiedTargets(), (std::vector<std::wstring>{folders.Program() + L"jom.exe", mixed.System.Path()}));
  EXPECT_EQ(Read(folders.ProgramPath() / "jom.exe"), installed);
}

}  // namespace

namespace {

const std::wstring BeforeInstallInfo = L"Подготовка установки программы";
const std::wstring AfterInstallInfo = L"Завершение установки программы";

// The position of the first (or last) status call that matches; -1 when none.
std::ptrdiff_t StatusIndex(const TEngineRun& run, const std::function<bool(const TStatusCall&)>& match, bool last = false) {
  std::ptrdiff_t found = -1;
  for (std::size_t i = 0; i < run.Statuses.size(); ++i) {
    if (!match(run.Statuses[i])) continue;
    found = static_cast<std::ptrdiff_t>(i);
    if (!last) break;
  }
  return found;
}

TEST(Install, TheKitsProgramsRunBeforeAndAfterTheCopyWithTheirCommandLines) {
  for (const bool automatic : {true, false}) {
    SCOPED_TRACE(automatic ? "automatic" : "with questions");
    TInstallFolders folders("programs");
    TRecorder recorder(folders.Root() / "runs.log");
    TKit kit = folders.NewKit(L"5.03");
    kit.Add({L"a.txt", L"", L"", L"main", "a", L""})
        .Add({L"after.exe", L"bin", L"", L"", TRecorder::Program(), L""})
        .Key(L"BeforeInstall", L"prep.exe")
        .Key(L"AfterInstall", L"bin\\after.exe");
    kit.Write();
    WriteFile(folders.KitPath() / "prep.exe", TRecorder::Program());

    TEngineRun run;
    run.Automatic = automatic;
    ExpectInstalled(run, run.Install(kit.Dir(), folders.Program()));
    const std::wstring program = folders.Program();
    const std::wstring mode = automatic ? L" /AUTO" : L"";
    // Each program was waited for: its record is there when the install returns.
    EXPECT_EQ(recorder.Lines(),
              (std::vector<std::wstring>{L"\"" + kit.Dir() + L"prep.exe\" \"" + program + L"\" /BEFOREINSTALL" + mode,
                                         L"\"" + program + L"bin\\after.exe\" \"" + program + L"\" /AFTERINSTALL" + mode}));
    EXPECT_TRUE(run.Questions.empty());
    // The program before comes ahead of the first copy, the one after once
    // the copy is done and the copy is registered; each run is announced
    // with its text and its lines are cleared after it.
    auto copying = [](const TStatusCall& s) { return s.Title == L"Копирование файлов"; };
    auto announced = [](const std::wstring& info) {
      return [info](const TStatusCall& s) { return s.Title == info && s.Text1 == L" " && s.Percent == -1; };
    };
    const std::ptrdiff_t before = StatusIndex(run, announced(BeforeInstallInfo));
    const std::ptrdiff_t after = StatusIndex(run, announced(AfterInstallInfo));
    ASSERT_GE(before, 0);
    ASSERT_GE(after, 0);
    EXPECT_LT(before, StatusIndex(run, copying));
    EXPECT_GT(after, StatusIndex(run, copying, true));
    const TStatusCall& cleared = run.Statuses[static_cast<std::size_t>(after) + 1];
    EXPECT_EQ(std::make_tuple(cleared.Title, cleared.Text1, cleared.Text2, cleared.Percent),
              std::make_tuple(std::wstring(L" "), std::wstring(L" "), std::wstring(L" "), -1));
    EXPECT_EQ(run.LastPercent(), 100);
  }
}

TEST(Install, AProgramBeforeTheInstallThatFailsOrIsCancelledStopsItAndAMissingOneIsSkipped) {
  struct Case {
    const char* Name;
    std::string Prep;          // the kit's prep.exe; empty: none
    std::wstring Info;         // BeforeInstallInfo; empty: the default text
    std::wstring Error;        // %KIT% stands for the kit folder; empty: the install succeeds
    std::size_t Runs;          // programs that ran
  };
  const Case cases[] = {
      {"missing", "", L"", L"", 0},
      {"not a program", "plain text, no program", L"",
       SystemErrorMessage(ERROR_BAD_EXE_FORMAT) + L" (%KIT%prep.exe)", 0},
      {"cancelled", TRecorder::Program(), L"Подготовка базы данных",
       L"\"Подготовка базы данных\" прервано пользователем", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TInstallFolders folders("prep");
    TRecorder recorder(folders.Root() / "runs.log");
    TKit kit = folders.NewKit(L"5.03");
    kit.Add({L"a.txt", L"", L"", L"main", "a", L""}).Key(L"BeforeInstall", L"prep.exe").Key(L"AfterInstall", L"missing.exe");
    if (!c.Info.empty()) kit.Key(L"BeforeInstallInfo", c.Info);
    kit.Write();
    if (!c.Prep.empty()) WriteFile(folders.KitPath() / "prep.exe", c.Prep);

    TEngineRun run;
    run.Automatic = true;
    run.CancelAt = [&](const TStatusCall& s) { return !c.Info.empty() && s.Title == c.Info; };
    const std::int32_t result = run.Install(kit.Dir(), folders.Program());
    EXPECT_EQ(recorder.Lines().size(), c.Runs);
    if (c.Error.empty()) {
      ExpectInstalled(run, result);
      EXPECT_EQ(Read(folders.ProgramPath() / "a.txt"), "a");
      continue;
    }
    std::wstring error = c.Error;
    if (const std::size_t at = error.find(L"%KIT%"); at != std::wstring::npos) error.replace(at, 5, kit.Dir());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run.Errors(), std::vector<std::wstring>{error});
    EXPECT_FALSE(fs::exists(folders.ProgramPath() / "a.txt")) << "nothing is copied";
    EXPECT_FALSE(fs::exists(folders.ProgramPath() / "instcfg.ini"));
  }
}

// Counts the messages of kind WM_APP that reach its message-only window.
class TMessageCounter {
public:
  TMessageCounter() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
      if (message == WM_APP) ++*reinterpret_cast<int*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      return ::DefWindowProcW(window, message, wParam, lParam);
    };
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TavrelInstallTestCounter";
    ::RegisterClassW(&windowClass);
    Window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
    ::SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&Count));
  }
  ~TMessageCounter() { ::DestroyWindow(Window); }
  HWND Window = nullptr;
  int Count = 0;
};

TEST(Install, TheCallersWindowsGetTheirMessagesWhileTheKitsProgramRuns) {
  // Without a program to run nothing of the install dispatches the
  // caller's messages; with one, the wait does.
  for (const bool withProgram : {false, true}) {
    SCOPED_TRACE(withProgram ? "with a program" : "without");
    TInstallFolders folders("alive");
    TRecorder recorder(folders.Root() / "runs.log");
    TKit kit = folders.NewKit(L"5.03");
    kit.Add({L"a.txt", L"", L"", L"", "a", L""});
    if (withProgram) kit.Key(L"BeforeInstall", L"prep.exe");
    kit.Write();
    WriteFile(folders.KitPath() / "prep.exe", TRecorder::Program());
    TMessageCounter counter;
    ASSERT_NE(counter.Window, nullptr);
    ASSERT_TRUE(::PostMessageW(counter.Window, WM_APP, 0, 0));

    TEngineRun run;
    run.Automatic = true;
    ExpectInstalled(run, run.Install(kit.Dir(), folders.Program(), L"", sizeof(TInstallParams), true));
    EXPECT_EQ(recorder.Lines().size(), withProgram ? 1u : 0u);
    EXPECT_EQ(counter.Count, withProgram ? 1 : 0);
    MSG message;
    while (::PeekMessageW(&message, counter.Window, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
}

}  // namespace
