// sfUninstall through the flat entry on copies the install pipeline made:
// what goes and what stays, the questions, files in use, OLE servers, a copy
// on a network drive and copies in folders that must never be emptied.

#include <gtest/gtest.h>

#include <cstring>

#include "InstallHarness.h"
#include "InstalledCopy.h"
#include "platform/FileTool.h"
#include "platform/ShTools.h"
#include "platform/StrTool.h"
#include "platform/Win.h"

#include <shlobj.h>

#include "setup/engine/diKvtSetup.h"

#include "support/RegistryKeys.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// Install and uninstall tests run at the same time as other test programs.
[[maybe_unused]] const bool OwnRenewExtension = UseProcessRenewExtension();

const std::wstring Caption = L"Медиасервер Tavrel";
const std::wstring Aborted = L"Operation aborted";
const std::wstring FilesCancelled = L"Удаление файлов программы отменено пользователем";

std::wstring Profile(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
  wchar_t value[1024];
  ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"<none>", value, 1024, file.c_str());
  return value;
}

fs::path ShortcutOf(const TInstallFolders& folders) { return GroupFolder(folders.Group) / (Caption + L".lnk"); }

// A kit with a shortcut item, a file in use during the install's life, a
// shared file outside the program folder and kept copies in "DISTR\".
TKit ProductKit(const TInstallFolders& folders) {
  TKit kit = folders.NewKit(L"5.03");
  kit.Add({L"jom.exe", L"", L"Ik", L"main", FixtureBytes(3000, 1), L"Caption=\"" + Caption + L"\""})
      .Add({L"jom.dll", L"", L"", L"main", FixtureBytes(2000, 2), L""})
      .Add({L"common.dll", L"..\\Common", L"C", L"main", FixtureBytes(500, 3), L""})
      .Add({L"index.html", L"www", L"", L"", FixtureBytes(4000, 6, true), L""});
  return kit;
}

// Installs the kit in automatic mode, with the program group's shortcut.
void InstallCopy(const TInstallFolders& folders, const TKit& kit, const std::wstring& program) {
  TEngineRun run;
  run.Automatic = true;
  ASSERT_EQ(run.Install(kit.Dir(), program), -1) << testing::PrintToString(run.Errors());
  ASSERT_TRUE(fs::exists(fs::path(program) / "instcfg.ini")) << "the install did not run through";
  ASSERT_TRUE(fs::exists(ShortcutOf(folders)));
}

// The records the uninstall removes are still there (or all gone).
void ExpectRecords(const TInstallFolders& folders, bool present) {
  EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(folders.Section)), present);
  EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, folders.RenewKey), present);
  EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, folders.RenewExtension, L"").has_value(), present);
  EXPECT_EQ(Profile(folders.ProgramsIni(), folders.Section, L"ProductID") != L"<none>", present);
  EXPECT_EQ(fs::exists(ShortcutOf(folders)), present);
  EXPECT_EQ(fs::exists(GroupFolder(folders.Group)), present) << "the group folder that became empty";
}

// The installed files are all still there, kept copies included.
void ExpectFilesKept(const fs::path& program) {
  for (const char* file : {"jom.exe", "jom.dll", "www/index.html", "instcfg.ini", "setup.ini", "files.lst",
                           "DISTR/jom.exe"})
    EXPECT_TRUE(fs::exists(program / file)) << file;
}

TEST(Uninstall, AutomaticModeRemovesTheCopyAndItsRecordsAndNothingElse) {
  TInstallFolders folders("uninstall all");
  TKit kit = ProductKit(folders);
  kit.Write();
  InstallCopy(folders, kit, folders.Program());
  const fs::path program = folders.ProgramPath();
  WriteFile(program / "my notes.txt", "the user's own file");
  fs::create_directories(program / "$BACKUP$");
  WriteFile(program / "$BACKUP$" / "jom50503.bak", "an old backup");
  ASSERT_TRUE(fs::exists(program / "DISTR" / "jom.exe"));
  // An update extension that another program took over stays its own.
  const std::wstring otherExtension = folders.RenewExtension.substr(0, 3) + L"5";
  WriteStringValues(HKEY_CLASSES_ROOT, otherExtension, {{L"", L"TavrelOtherClass"}});
  ScopedRegistryKey otherExtensionKey(HKEY_CLASSES_ROOT, otherExtension);
  // Another product's entry, and the copy's own entry as a second folder
  // rewrote it: the registration name decides, not the folder.
  ScopedRegistryKey otherProduct(HKEY_LOCAL_MACHINE, UninstallKey(UniqueName(L"TavrelOther")));
  WriteStringValues(HKEY_LOCAL_MACHINE, otherProduct.path(), {{L"DisplayName", L"Other"}});
  WriteStringValues(HKEY_LOCAL_MACHINE, UninstallKey(folders.Section),
                    {{L"InstallLocation", L"D:\\Elsewhere\\"}, {L"UninstallString", L"D:\\Elsewhere\\SETUP.EXE"}});

  TEngineRun run;
  run.Automatic = true;
  EXPECT_EQ(run.Execute(folders.Program(), sfUninstall, nullptr), -1);
  EXPECT_TRUE(run.Messages.empty());
  EXPECT_TRUE(run.Questions.empty());

  EXPECT_FALSE(fs::exists(program)) << "folder, DISTR, $BACKUP$ and the user's file";
  EXPECT_TRUE(fs::exists(folders.Root() / "Common" / "common.dll")) << "files outside the folder stay";
  ExpectRecords(folders, false);
  EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, otherExtension, L""), L"TavrelOtherClass");
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, otherProduct.path(), L"DisplayName"), L"Other");
  EXPECT_TRUE(FilesUnder(fs::path(EngineWorkDir())).empty());
}

TEST(Uninstall, DecliningAQuestionRemovesNothing) {
  struct TCase {
    const char* Name;
    std::vector<std::int32_t> Answers;
    std::wstring Error;
  };
  const TCase cases[] = {
      {"no to the uninstall", {IDNO}, Aborted},
      {"closed box", {IDCANCEL}, Aborted},
      {"no to the files", {IDYES, IDNO}, FilesCancelled},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TInstallFolders folders("uninstall questions");
    TKit kit = ProductKit(folders);
    kit.Write();
    InstallCopy(folders, kit, folders.Program());

    TEngineRun run;
    std::size_t asked = 0;
    run.Answer = [&](const TQuestionCall&) { return asked < c.Answers.size() ? c.Answers[asked++] : IDCANCEL; };
    EXPECT_EQ(run.Execute(folders.Program(), sfUninstall, nullptr), 0);
    EXPECT_EQ(run.Errors(), std::vector<std::wstring>{c.Error});
    ASSERT_EQ(run.Questions.size(), c.Answers.size());
    EXPECT_EQ(run.Questions[0].Text, L"Удалить программу \"Tavrel\" с компьютера ?");
    EXPECT_EQ(run.Questions[0].Flags, 36u);
    if (c.Answers.size() > 1) {
      EXPECT_EQ(run.Questions[1].Text,
                L"Bce фaйлы в кaтaлoгe \"" + folders.Program() + L"\" бyдyт yдaлeны. Пpoдoлжить ?");
      EXPECT_EQ(run.Questions[1].Flags, 36u);
    }
    ExpectFilesKept(folders.ProgramPath());
    ExpectRecords(folders, true);
  }
}

TEST(Uninstall, YesToBothQuestionsRemovesTheCopy) {
  TInstallFolders folders("uninstall yes");
  TKit kit = ProductKit(folders);
  kit.Write();
  InstallCopy(folders, kit, folders.Program());
  TEngineRun run;
  run.Answer = [](const TQuestionCall&) { return IDYES; };
  EXPECT_EQ(run.Execute(folders.Program(), sfUninstall, nullptr), -1);
  EXPECT_EQ(run.Questions.size(), 2u);
  EXPECT_FALSE(fs::exists(folders.ProgramPath()));
  ExpectRecords(folders, false);
}

TEST(Uninstall, AFileInUseStopsAnAutomaticUninstall) {
  TInstallFolders folders("uninstall locked");
  TKit kit = ProductKit(folders);
  kit.Write();
  InstallCopy(folders, kit, folders.Program());
  const std::wstring locked = folders.Program() + L"jom.exe";
  ChildProcess holder = HoldFileOpen(locked, FILE_SHARE_READ);
  TEngineRun run;
  run.Automatic = true;
  EXPECT_EQ(run.Execute(folders.Program(), sfUninstall, nullptr), 0);
  EXPECT_EQ(run.Errors(), std::vector<std::wstring>{L"Файл \"" + locked +
                                                    L"\" используется. Для удаления программы требуется освободить файл."});
  ExpectFilesKept(folders.ProgramPath());
  ExpectRecords(folders, true);
}

TEST(Uninstall, OleServersAreUnregisteredOnlyWhenTheKitAsks) {
  for (const bool unregister : {false, true}) {
    SCOPED_TRACE(unregister ? "UnregOleFiles=1" : "UnregOleFiles missing");
    TInstallFolders folders("uninstall ole");
    ScopedRegistryKey serverKey(HKEY_CLASSES_ROOT, UniqueName(L"TavrelOleTest_"));
    ::SetEnvironmentVariableW(L"TAVREL_OLE_TEST_KEY", serverKey.path().c_str());
    TKit kit = ProductKit(folders);
    kit.Add({L"server.dll", L"", L"g", L"", ReadFile(ExecutableDir() / "OleTestServer.dll"), L""});
    if (unregister) kit.Key(L"UnregOleFiles", L"1");
    kit.Write();
    InstallCopy(folders, kit, folders.Program());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, serverKey.path())) << "registered by the install";

    TEngineRun run;
    run.Automatic = true;
    EXPECT_EQ(run.Execute(folders.Program(), sfUninstall, nullptr), -1);
    ::SetEnvironmentVariableW(L"TAVREL_OLE_TEST_KEY", nullptr);
    EXPECT_TRUE(run.Errors().empty());
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, serverKey.path()), !unregister);
    EXPECT_FALSE(fs::exists(folders.ProgramPath()));
  }
}

TEST(Uninstall, ThePreparationProgramRunsWithItsCommandLineBeforeAnythingIsRemoved) {
  struct TCase {
    const char* Name;
    bool Automatic;
    bool Starts;  // prep.exe is a program
  };
  for (const TCase& c : {TCase{"automatic", true, true}, TCase{"with questions", false, true},
                         TCase{"not a program", true, false}}) {
    SCOPED_TRACE(c.Name);
    TInstallFolders folders("uninstall prep");
    TRecorder recorder(folders.Root() / "runs.log");
    TKit kit = ProductKit(folders);
    kit.Add({L"prep.exe", L"", L"", L"", c.Starts ? TRecorder::Program() : "plain text", L""})
        .Key(L"BeforeDelete", L"prep.exe");
    kit.Write();
    InstallCopy(folders, kit, folders.Program());
    const std::wstring program = folders.Program();

    TEngineRun run;
    run.Automatic = c.Automatic;
    run.Answer = [](const TQuestionCall&) { return IDYES; };
    const std::int32_t result = run.Execute(program, sfUninstall, nullptr);
    if (!c.Starts) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(run.Errors(),
                std::vector<std::wstring>{SystemErrorMessage(ERROR_BAD_EXE_FORMAT) + L" (" + program + L"prep.exe)"});
      ExpectFilesKept(folders.ProgramPath());
      ExpectRecords(folders, true);
      continue;
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(recorder.Lines(), std::vector<std::wstring>{L"\"" + program + L"prep.exe\" \"" + program +
                                                          L"\" /BEFOREDELETE" + (c.Automatic ? L" /AUTO" : L"")});
    // The program had ended when its folder was deleted.
    EXPECT_FALSE(fs::exists(folders.ProgramPath()));
    ExpectRecords(folders, false);
  }
}

// A drive letter of Wine's mount manager onto a folder, with the drive type
// given (remote: a network drive); removed again.
class TWineDrive {
public:
  TWineDrive(const fs::path& folder, DWORD type) {
    using UnixName = char* (*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return;
    char* path = unixName(folder.wstring().c_str());
    if (!path) return;
    const std::string mountPoint = path;
    ::HeapFree(::GetProcessHeap(), 0, path);
    // Letters no other test of the prefix maps.
    for (char letter = 'm'; letter <= 'q'; ++letter) {
      if (::GetDriveTypeW(RootOf(letter).c_str()) != DRIVE_NO_ROOT_DIR) continue;
      if (Define(letter, mountPoint, type)) Letter = letter;
      break;
    }
    Type = type;
  }
  ~TWineDrive() {
    if (Letter) Define(Letter, {}, 0);
  }
  bool Defined() const { return Letter != 0 && ::GetDriveTypeW(Root().c_str()) == Type; }
  std::wstring Root() const { return RootOf(Letter); }

private:
  static std::wstring RootOf(char letter) { return {static_cast<wchar_t>(letter), L':', L'\\'}; }
  // The mount manager's define request; an empty mount point removes the letter.
  static bool Define(char letter, const std::string& mountPoint, DWORD type) {
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
  DWORD Type = 0;
};

TEST(Uninstall, ACopyOnANetworkDriveKeepsItsFilesAndLosesThisComputersRecords) {
  TInstallFolders folders("uninstall network");
  TKit kit = ProductKit(folders);
  kit.Write();
  fs::create_directories(folders.Root() / "Share");
  TWineDrive drive(folders.Root() / "Share", DRIVE_REMOTE);
  ASSERT_TRUE(drive.Defined()) << "no network drive in this prefix";
  const std::wstring program = drive.Root() + L"Tavrel\\";
  InstallCopy(folders, kit, program);
  // Neither the files question nor the locked-file check concerns files
  // that stay.
  ChildProcess holder = HoldFileOpen(program + L"jom.exe", FILE_SHARE_READ);

  TEngineRun run;
  run.Answer = [](const TQuestionCall&) { return IDYES; };
  EXPECT_EQ(run.Execute(program, sfUninstall, nullptr), -1);
  EXPECT_EQ(run.Questions.size(), 1u);
  EXPECT_TRUE(run.Errors().empty());
  EXPECT_EQ(run.Warnings(), std::vector<std::wstring>{L"По причине установки программы в сети, файлы из каталога \"" +
                                                      program + L"\" не удалены."});
  ExpectFilesKept(folders.Root() / "Share" / "Tavrel");
  ExpectRecords(folders, false);
}

// The warning of a folder whose files the uninstall must not delete.
std::wstring ProtectedWarning(const std::wstring& folder) {
  return L"Каталог \"" + folder + L"\" является корневым каталогом диска или системным каталогом, файлы из него не удалены.";
}

TEST(Uninstall, ACopyWhoseFolderIsADriveRootKeepsEveryFile) {
  TInstallFolders folders("uninstall root");
  TKit kit = ProductKit(folders);
  kit.Write();
  InstallCopy(folders, kit, folders.Program());
  // The same copy seen through a drive letter of its own: its folder is
  // the drive's root, as a planted instcfg.ini on a drive would make it.
  TWineDrive drive(folders.ProgramPath(), DRIVE_FIXED);
  ASSERT_TRUE(drive.Defined()) << "no scratch drive in this prefix";
  WriteFile(folders.ProgramPath() / "unrelated.doc", "anything else on the drive");

  TEngineRun run;
  run.Answer = [](const TQuestionCall&) { return IDYES; };
  EXPECT_EQ(run.Execute(drive.Root(), sfUninstall, nullptr), -1);
  EXPECT_EQ(run.Questions.size(), 1u) << "no question about deleting every file";
  EXPECT_TRUE(run.Errors().empty());
  EXPECT_EQ(run.Warnings(), std::vector<std::wstring>{ProtectedWarning(drive.Root())});
  ExpectFilesKept(folders.ProgramPath());
  EXPECT_TRUE(fs::exists(folders.ProgramPath() / "unrelated.doc"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(folders.Section))) << "the records still go";
  EXPECT_EQ(Profile(folders.ProgramsIni(), folders.Section, L"ProductID"), L"<none>");
}

TEST(Uninstall, ACopyInASpecialFolderKeepsEveryFile) {
  wchar_t documents[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, documents)));
  const fs::path folder = documents;
  TInstallFolders folders("uninstall special");
  // A copy laid out there by hand: an install refuses the folder.
  TInstalledCopy copy(folder, L"5.03");
  copy.Section = folders.Section;
  copy.Add({L"tavrel-test-jom.exe", L"", L"I", L"", FixtureBytes(300, 1), L""});
  for (const char* name : {"setup.ini", "instcfg.ini", "files.lst", "DISTR"}) ASSERT_FALSE(fs::exists(folder / name)) << name;
  copy.Write();
  WriteFile(folder / "tavrel-test-letter.doc", "a document of all users");
  const std::wstring program = IncludeTrailingBackslash(folder.wstring());

  // The same folder through the prefix that skips the system's own reading
  // of the path, with forward slashes: still the folder of all users.
  for (const std::wstring& spelling : {program, L"//?/" + folder.generic_wstring()}) {
    TEngineRun run;
    run.Automatic = true;
    EXPECT_EQ(run.Execute(spelling, sfUninstall, nullptr), -1);
    EXPECT_EQ(run.Warnings(), std::vector<std::wstring>{ProtectedWarning(IncludeTrailingBackslash(spelling))});
  }
  std::vector<std::string> left;
  for (const char* name : {"setup.ini", "instcfg.ini", "files.lst", "tavrel-test-jom.exe", "tavrel-test-letter.doc",
                           "DISTR/tavrel-test-jom.exe"}) {
    if (fs::exists(folder / name)) left.push_back(name);
  }
  EXPECT_EQ(left.size(), 6u);

  std::error_code ignored;
  for (const char* name : {"setup.ini", "instcfg.ini", "files.lst", "tavrel-test-jom.exe", "tavrel-test-letter.doc"})
    fs::remove(folder / name, ignored);
  fs::remove_all(folder / "DISTR", ignored);
}

}  // namespace
