// setup.exe end to end under Wine: the relaunch from a kit folder into
// numbered temporary folders, the copy's start folder and mode, and the
// error boxes. Each test gives the processes a temporary folder of its own
// (TMP/TEMP), so the relaunch folders it causes go away with it.

#include <gtest/gtest.h>

#include <filesystem>

#include "InstalledCopy.h"
#include "SetupWindowDriver.h"
#include "platform/UniqueHandle.h"
#include "setup/main/SetupStart.h"
#include "support/RegistryKeys.h"
#include "support/TestSupport.h"
#include "support/WindowWatcher.h"

// after TestSupport: needs <windows.h>
#include <shlobj.h>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr std::uint32_t StartTimeoutMs = 30000;
constexpr std::uint32_t EndTimeoutMs = 20000;

const char* const KitIni =
    "[Products]\r\nProduct1=JOM\r\n\r\n[JOM]\r\nProductName1=Tavrel (UPnP, DLNA, HTTP)\r\nVersion=5.02\r\n"
    "FilesLst=jom.lst\r\n";

const std::wstring BoxCaption = L"Установка программы Tavrel (UPnP, DLNA, HTTP)";

class SetupRelaunchTest : public ::testing::Test {
protected:
  void SetUp() override {
    Kit = Root.path() / "kit";
    Temp = Root.path() / "temp";
    fs::create_directories(Kit);
    fs::create_directories(Temp);
    for (const char* name : {"setup.exe", "setup.exe.admin.manifest"}) {
      fs::copy_file(ExecutableDir() / name, Kit / name);
    }
    if (fs::exists(ExecutableDir() / "setup.sln")) {
      fs::copy_file(ExecutableDir() / "setup.sln", Kit / "setup.sln");
    } else {
      WriteFile(Kit / "setup.sln", "");
    }
    WriteFile(Kit / "setup.ini", KitIni);
    SaveVariable(L"TMP");
    SaveVariable(L"TEMP");
    ::SetEnvironmentVariableW(L"TMP", Temp.wstring().c_str());
    ::SetEnvironmentVariableW(L"TEMP", Temp.wstring().c_str());
  }

  void TearDown() override {
    for (const TWindowInfo& window : FindWindows(OursSetupWindows())) {
      UniqueKernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, window.ProcessId));
      if (process) {
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), EndTimeoutMs);
      }
    }
    for (const auto& [name, value] : Saved) ::SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
  }

  std::wstring KitDir() const { return Kit.wstring() + L"\\"; }
  fs::path RelaunchFolder(int n) const { return Temp / "JOMSETUP.TMP" / std::to_string(n); }

  // Message boxes of processes started from this test's folders, not the
  // setup window itself.
  TWindowFilter BoxesOnly() const {
    const TWindowFilter below = BoxesBelowFolder(Root.dir());
    return [below](const TWindowInfo& w) { return ::GetDlgItem(w.Window, 255) == nullptr && below(w); };
  }

  // The setup windows (dialogs with a progress bar, unlike message boxes) of
  // processes started from this test's folders.
  TWindowFilter OursSetupWindows() const {
    const TWindowFilter below = BoxesBelowFolder(Root.dir());
    return [below](const TWindowInfo& w) {
      return w.ClassName == L"#32770" && ::GetDlgItem(w.Window, 255) != nullptr && below(w);
    };
  }

  // Runs the kit's setup.exe with arguments and waits for the first instance to end.
  void RunFirstInstance(const std::wstring& arguments) {
    ChildProcess first;
    ASSERT_TRUE(first.Start(L"\"" + KitDir() + L"setup.exe\" " + arguments));
    ASSERT_EQ(first.Wait(StartTimeoutMs), 0) << "the first instance did not end";
  }

  bool WaitForCopyWindow(TWindowInfo& window, const fs::path& folder) {
    const TWindowFilter ours = OursSetupWindows();
    const std::wstring exe = (folder / "setup.exe").wstring();
    if (!WaitForWindow(
            [&](const TWindowInfo& w) {
              return ours(w) &&
                     ::CompareStringOrdinal(w.ProcessImage.c_str(), -1, exe.c_str(), -1, TRUE) == CSTR_EQUAL;
            },
            StartTimeoutMs, window)) {
      return false;
    }
    // The window may show before its start-up is through: its caption, the
    // product's title, is the last thing it sets.
    WaitForCaption(window, L"Tavrel");
    return true;
  }

  void CloseCopy(const TWindowInfo& window) {
    CloseWindow(window);
    EXPECT_TRUE(WaitForProcessEnd(window.ProcessId, EndTimeoutMs)) << "the copy did not end";
  }

  TempDir Root{"relaunch"};
  fs::path Kit;
  fs::path Temp;

private:
  void SaveVariable(const std::wstring& name) {
    wchar_t value[4096];
    const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value, 4096);
    Saved.emplace_back(name, length > 0 && length < 4096 ? std::optional<std::wstring>(value) : std::nullopt);
  }
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> Saved;
};

// The files and folders scheduled for deletion at the next restart.
std::wstring PendingDeletions() {
  const wchar_t* key = L"System\\CurrentControlSet\\Control\\Session Manager";
  DWORD size = 0;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, key, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS) {
    return {};
  }
  std::wstring value(size / sizeof(wchar_t), L'\0');
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, key, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr,
                     value.data(), &size) != ERROR_SUCCESS) {
    return {};
  }
  for (wchar_t& c : value) {
    if (c == L'\0') c = L'|';
  }
  return L"|" + value;
}

TEST_F(SetupRelaunchTest, CopiesIntoFolderOneStartsTheCopyAndRemovesTheFolderAtItsEnd) {
  RunFirstInstance(L"");
  TWindowInfo copy;
  ASSERT_TRUE(WaitForCopyWindow(copy, RelaunchFolder(1)));
  EXPECT_TRUE(fs::exists(RelaunchFolder(1) / "setup.exe"));
  EXPECT_TRUE(fs::exists(RelaunchFolder(1) / "setup.sln"));
  EXPECT_TRUE(fs::exists(RelaunchFolder(1) / "setup.exe.manifest"));
  EXPECT_EQ(copy.Caption, L"Установка программы Tavrel (UPnP, DLNA, HTTP)");

  CloseCopy(copy);
  // Only the copy's own executable may outlive it, scheduled for deletion.
  EXPECT_FALSE(fs::exists(RelaunchFolder(1) / "setup.sln"));
  EXPECT_FALSE(fs::exists(RelaunchFolder(1) / "setup.exe.manifest"));
  if (fs::exists(RelaunchFolder(1))) {
    for (const auto& entry : fs::directory_iterator(RelaunchFolder(1))) {
      EXPECT_EQ(entry.path().filename(), "setup.exe");
    }
    const std::wstring pending = PendingDeletions();
    EXPECT_NE(pending.find(L"|\\??\\" + (RelaunchFolder(1) / "setup.exe").wstring() + L"|"), std::wstring::npos)
        << pending;
  }
}

TEST_F(SetupRelaunchTest, ASecondStartWhileTheFirstCopyRunsUsesFolderTwo) {
  RunFirstInstance(L"");
  TWindowInfo copy1;
  ASSERT_TRUE(WaitForCopyWindow(copy1, RelaunchFolder(1)));
  RunFirstInstance(L"");
  TWindowInfo copy2;
  ASSERT_TRUE(WaitForCopyWindow(copy2, RelaunchFolder(2)));
  EXPECT_NE(copy1.ProcessId, copy2.ProcessId);

  // The second copy's end leaves the first copy's folder alone.
  CloseCopy(copy2);
  EXPECT_TRUE(fs::exists(RelaunchFolder(1) / "setup.sln"));
  EXPECT_FALSE(fs::exists(RelaunchFolder(2) / "setup.sln"));
  CloseCopy(copy1);
  EXPECT_FALSE(fs::exists(RelaunchFolder(1) / "setup.sln"));
}

TEST_F(SetupRelaunchTest, ArgumentsReachTheCopyRewritten) {
  // The update file reaches the copy: the copy starts the update by itself,
  // which fails on a file that is no update and says so.
  WriteFile(Kit / "upd.prf", "update");
  TMessageBoxWatcher boxes(BoxesOnly());
  RunFirstInstance(L"\"" + KitDir() + L"upd.prf\" nothere.pr1 \"my file.txt\"");
  TWindowInfo copy;
  ASSERT_TRUE(WaitForCopyWindow(copy, RelaunchFolder(1)));
  const auto updateReported = [&] {
    for (const TWindowInfo& box : boxes.Boxes()) {
      if (box.Text == L"Обновление завершено. Были ошибки.") return true;
    }
    return false;
  };
  for (int i = 0; i < 300 && !updateReported(); ++i) ::Sleep(100);
  EXPECT_TRUE(updateReported());
  WaitUntilNoBoxes(Root.dir());
  CloseCopy(copy);
}

// The copy's first argument is /STARTDIR="<kit>\": the switches after it
// still reach the copy as switches of their own. "/LANGUAGE" shows in the
// window's texts, "/WINE" in that a damaged localization file is not
// reported to nobody (the unattended run then only reports its failed
// installation, in one error box, and ends by itself).
TEST_F(SetupRelaunchTest, TheCopyTakesTheLanguageAndWineSwitches) {
  RunFirstInstance(L"/LANGUAGE:1033");
  TWindowInfo copy;
  ASSERT_TRUE(WaitForCopyWindow(copy, RelaunchFolder(1)));
  EXPECT_EQ(copy.Caption, L"Program installation Tavrel (UPnP, DLNA, HTTP)");
  CloseCopy(copy);

  WriteFile(Kit / "setup.sln", "SETL damaged");
  for (const bool wine : {true, false}) {
    SCOPED_TRACE(wine ? "/WINE" : "without /WINE");
    TMessageBoxWatcher boxes(BoxesOnly());
    RunFirstInstance(wine ? L"/LANGUAGE:1033 /WINE" : L"/LANGUAGE:1033");
    if (wine) {
      ASSERT_TRUE(boxes.WaitForBoxes(1, StartTimeoutMs));
      for (int i = 0; i < 200 && fs::exists(RelaunchFolder(1) / "setup.sln"); ++i) ::Sleep(100);
      EXPECT_FALSE(fs::exists(RelaunchFolder(1) / "setup.sln")) << "the unattended copy did not end";
    } else {
      ASSERT_TRUE(WaitForCopyWindow(copy, RelaunchFolder(1)));
      CloseCopy(copy);
    }
    std::size_t warnings = 0;
    for (const TWindowInfo& box : boxes.Boxes()) warnings += box.Caption == L"Внимание" ? 1 : 0;
    // Without it, the first instance and the copy each warn once.
    EXPECT_EQ(warnings, wine ? 0u : 2u);
  }
}

// The run the launcher starts: "/WINE" from the kit. The copy installs by
// itself into the programs folder with no question, starts the installed
// main program, closes, and leaves only its own executable behind. The
// log named relative to the first instance's current folder, with blanks,
// is written there although the copy runs from the temporary folder.
TEST_F(SetupRelaunchTest, TheWineRunInstallsStartsTheProgramLogsAndLeavesNoFolder) {
  const std::wstring section = UniqueName(L"JOMR");
  const std::wstring defaultDir = UniqueName(L"TavrelWine");
  TProductRegistrations registrations(section);
  wchar_t programs[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, 0, programs)));
  const fs::path installed = fs::path(programs) / defaultDir;
  struct TRemoveFolder {
    fs::path Folder;
    ~TRemoveFolder() {
      std::error_code ignored;
      fs::remove_all(Folder, ignored);
    }
  } removeInstalled{installed};
  TKit kit(Kit, L"5.14");
  kit.Section = section;
  kit.ProductName = L"Tavrel (UPnP, DLNA, HTTP)";
  kit.Key(L"DefaultDir", defaultDir);
  kit.Add({L"jom.exe", L"", L"", L"main", ReadFile(ExecutableDir() / "ServiceStandIn.exe"), L""})
      .Add({L"readme.txt", L"docs", L"", L"", "the readme", L""})
      .Write();
  const fs::path log = Root.path() / "log dir" / "setup run.log";
  fs::create_directories(log.parent_path());

  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()));
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_TRUE(::SetCurrentDirectoryW(Root.path().wstring().c_str()));
  RunFirstInstance(L"/WINE \"/LOG=log dir\\setup run.log\"");
  ::SetCurrentDirectoryW(current);

  EXPECT_TRUE(WaitForLine(log, "RESULT", EndTimeoutMs * 3)) << "no result in the log";
  EXPECT_TRUE(WaitForLine(installed / "started.txt", "started", EndTimeoutMs)) << "the program was not started";
  for (int i = 0; i < 300 && fs::exists(RelaunchFolder(1) / "setup.sln"); ++i) ::Sleep(100);
  EXPECT_FALSE(fs::exists(RelaunchFolder(1) / "setup.sln")) << "the copy did not end";
  if (fs::exists(RelaunchFolder(1))) {
    for (const auto& entry : fs::directory_iterator(RelaunchFolder(1))) {
      EXPECT_EQ(entry.path().filename(), "setup.exe");
    }
  }
  EXPECT_EQ(ReadFile(installed / "docs" / "readme.txt"), "the readme");
  for (const TWindowInfo& box : boxes.Boxes()) ADD_FAILURE() << "box: " << box.Caption << ": " << box.Text;

  bool started = false, status = false, result = false;
  for (const std::string& line : FileLines(log)) {
    const std::string tag = line.size() > 31 ? line.substr(24, 7) : "";
    EXPECT_NE(tag, "ERROR  ") << line;
    started |= tag == "START  " && line.find("Установка программы: " + kit.Folder().string()) != std::string::npos;
    status |= tag == "STATUS ";
    result |= tag == "RESULT " && line.find("OK Установка завершена.") != std::string::npos;
  }
  EXPECT_TRUE(started && status && result) << ReadFile(log);
}

TEST_F(SetupRelaunchTest, MissingLocalizationFileShowsTheCopyErrorAndStartsNothing) {
  fs::remove(Kit / "setup.sln");
  TMessageBoxWatcher boxes(BoxesOnly());
  const fs::path log = Root.path() / "setup.log";
  RunFirstInstance(L"/LOG=\"" + log.wstring() + L"\"");
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  // The first instance logs its failure too.
  EXPECT_TRUE(WaitForLine(log, "ERROR   Копирование: ", 1000)) << ReadFile(log);
  const std::wstring expected = L"Копирование: " + KitDir() + L"setup.sln => " + RelaunchFolder(1).wstring() +
                                L"\\setup.sln\r\nСообщение: ";
  EXPECT_EQ(boxes.Boxes()[0].Text.substr(0, expected.size()), expected);
  EXPECT_EQ(boxes.Boxes()[0].Caption, L"Ошибка");
  TWindowInfo copy;
  EXPECT_FALSE(WaitForWindow(OursSetupWindows(), 3000, copy));
}

TEST_F(SetupRelaunchTest, MissingManifestShowsOneBoxAndTheCopyStillStarts) {
  fs::remove(Kit / "setup.exe.admin.manifest");
  TMessageBoxWatcher boxes(BoxesOnly());
  RunFirstInstance(L"");
  TWindowInfo copy;
  ASSERT_TRUE(WaitForCopyWindow(copy, RelaunchFolder(1)));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_NE(boxes.Boxes()[0].Text.find(L"setup.exe.admin.manifest => "), std::wstring::npos);
  CloseCopy(copy);
}

// The copy's start folder and mode, run directly with its arguments (no
// relaunch: the switch "/STARTDIR" is present).
TEST_F(SetupRelaunchTest, StartFolderAndModeOfTheCopy) {
  struct Case {
    const char* Name;
    const char* SetupIni;  // null: no setup.ini in the start folder
    bool InstCfg;
    std::wstring Arguments;
    const wchar_t* Box;      // the expected failure box, or null
    const wchar_t* Caption;  // the expected window caption otherwise
  };
  const Case cases[] = {
      {"missing setup.ini", nullptr, false, L"/STARTDIR=\"<kit>\"", L"Не найден файл установки программы setup.ini.",
       nullptr},
      {"no product", "[Products]\r\nProduct2=JOM\r\n", false, L"/STARTDIR=<kit>",
       L"Неизвестный формат файла установки программы setup.ini.", nullptr},
      {"installation", KitIni, false, L"/STARTDIR=<kit>", nullptr, L"Установка программы Tavrel (UPnP, DLNA, HTTP)"},
      {"maintenance", KitIni, true, L"/startdir=\"<kit>\"", nullptr,
       L"Обслуживание программы Tavrel (UPnP, DLNA, HTTP)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove(Kit / "setup.ini");
    fs::remove(Kit / "instcfg.ini");
    if (c.SetupIni) WriteFile(Kit / "setup.ini", c.SetupIni);
    if (c.InstCfg) WriteFile(Kit / "instcfg.ini", "[JOM]\r\n");
    std::wstring arguments = c.Arguments;
    for (size_t at; (at = arguments.find(L"<kit>")) != std::wstring::npos;) arguments.replace(at, 5, Kit.wstring());

    TMessageBoxWatcher boxes(BoxesOnly());
    ChildProcess copy;
    ASSERT_TRUE(copy.Start(L"\"" + KitDir() + L"setup.exe\" " + arguments));
    if (c.Box) {
      EXPECT_EQ(copy.Wait(StartTimeoutMs), 0);
      ASSERT_EQ(boxes.Boxes().size(), 1u);
      EXPECT_EQ(boxes.Boxes()[0].Caption, BoxCaption);
      EXPECT_EQ(boxes.Boxes()[0].Text, c.Box);
      continue;
    }
    TWindowInfo window;
    ASSERT_TRUE(WaitForCopyWindow(window, Kit));
    EXPECT_EQ(window.Caption, c.Caption);
    EXPECT_TRUE(boxes.Boxes().empty());
    CloseCopy(window);
    EXPECT_EQ(copy.Wait(EndTimeoutMs), 0);
    EXPECT_TRUE(fs::exists(Kit / "setup.exe"));  // not a relaunch folder: nothing is removed
  }
}

}  // namespace
