// The window of the real setup.exe, started as the relaunched copy is
// (with "/STARTDIR"), read and pressed from this process: the install and
// maintenance layouts with the functions behind their buttons, and the
// unattended progress-only layout with its log.

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <set>

#include "InstalledCopy.h"
#include "SetupWindowDriver.h"
#include "platform/UniqueHandle.h"
#include "support/RegistryKeys.h"
#include "support/ShellLinkReader.h"
#include "support/TestSupport.h"
#include "support/WindowWatcher.h"

// after TestSupport: needs <windows.h>
#include <shlobj.h>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr std::uint32_t StartTimeoutMs = 30000;
constexpr std::uint32_t EndTimeoutMs = 60000;

const char* const KitIni =
    "[Products]\r\nProduct1=JOM\r\n\r\n[JOM]\r\nProductName1=Tavrel (UPnP, DLNA, HTTP)\r\nVersion=5.02\r\n"
    "FilesLst=jom.lst\r\nDefaultDir=Tavrel\r\n";

std::wstring DesktopLink(const std::wstring& productName) {
  wchar_t desktop[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop);
  return std::wstring(desktop) + L"\\" + productName + L".lnk";
}

// The local folder of path without its drive ("\users\...").
std::wstring WithoutDrive(const fs::path& path) { return path.wstring().substr(2); }

class SetupWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    Kit = NewSetupFolder(Root.path() / "kit");
    WriteFile(Kit / "setup.ini", KitIni);
  }
  void TearDown() override {
    if (Process.Running()) Process.Kill();
  }

  // Starts the kit's setup.exe with the arguments and waits for its window
  // to be through its start-up.
  bool Start(const std::wstring& arguments, TWindowInfo& window, const std::wstring& caption = L"Tavrel") {
    if (!Process.Start(L"\"" + (Kit / "setup.exe").wstring() + L"\" " + arguments)) return false;
    if (!WaitForWindow(SetupWindowsBelow(Root.dir()), StartTimeoutMs, window)) return false;
    // The window may show before its start-up is through: its caption is
    // the last thing it sets.
    WaitForCaption(window, caption);
    return true;
  }
  bool StartIn(const fs::path& folder, TWindowInfo& window, const std::wstring& caption = L"Tavrel") {
    return Start(L"/STARTDIR=\"" + folder.wstring() + L"\"", window, caption);
  }

  // A dialog of the setup process with this caption (a folder or file
  // choice), waited for.
  HWND WaitForDialog(const std::wstring& caption) {
    HWND dialog = nullptr;
    EXPECT_TRUE(WaitForProcessDialog(Process.Id(), caption, StartTimeoutMs, dialog)) << "no dialog " << caption;
    return dialog;
  }

  // The installed copy the maintenance layout works on: a product of this
  // test's own in Root/Program.
  TInstalledCopy InstalledCopy() {
    TInstalledCopy copy(Root.path() / "Program", L"5.14");
    copy.Section = Section;
    copy.ProductName = ProductName;
    copy.Add({L"jom.exe", L"", L"", L"", FixtureBytes(3000, 1), L""})
        .Add({L"readme.txt", L"docs", L"", L"", FixtureBytes(500, 2, true), L""});
    copy.Write();
    return copy;
  }

  TempDir Root{"window"};
  fs::path Kit;
  ChildProcess Process;
  const std::wstring Section = UniqueName(L"JOMW");
  const std::wstring ProductName = UniqueName(L"Tavrel Window ");
};

TEST_F(SetupWindowTest, InstallAndMaintenanceLayouts) {
  struct Case {
    const char* Name;
    bool Maintenance;
    const wchar_t* Caption;
  };
  const Case cases[] = {
      {"install", false, L"Установка программы Tavrel (UPnP, DLNA, HTTP)"},
      {"maintenance", true, L"Обслуживание программы Tavrel (UPnP, DLNA, HTTP)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()));
    fs::remove(Kit / "instcfg.ini");
    // As the engine writes it with the profile functions: in the ANSI code
    // page (1251 here), "Группа Tavrel".
    if (c.Maintenance) WriteFile(Kit / "instcfg.ini", "[JOM]\r\nGroupName=\xC3\xF0\xF3\xEF\xEF\xE0 Tavrel\r\n");
    TWindowInfo window;
    ASSERT_TRUE(StartIn(Kit, window));
    const HWND w = window.Window;
    EXPECT_EQ(window.Caption, c.Caption);
    for (const TWindowInfo& box : boxes.Boxes()) ADD_FAILURE() << "box: " << box.Caption << ": " << box.Text;
    const std::pair<int, const wchar_t*> texts[] = {
        {500, L"Каталог установки"}, {501, L"Группа программ"}, {502, L"Выполняется"}, {503, L"Текущий файл"},
        {504, L"Выполнено"},         {300, L"Установить"},      {301, L"Выход"},       {302, L"Обновление"},
        {303, L"Проверить"},         {304, L"Дистрибутив"},     {305, L"Удалить"},     {306, L"Выбрать"},
        {350, L"Создать ярлык запуска программы \"Tavrel (UPnP, DLNA, HTTP)\" на рабочем столе"},
    };
    for (const auto& [id, text] : texts) EXPECT_EQ(ItemText(w, id), text) << id;
    const bool install = !c.Maintenance;
    for (int id : {300, 350}) EXPECT_EQ(ItemVisible(w, id), install) << id;
    EXPECT_TRUE(ItemVisible(w, 301));
    EXPECT_TRUE(ItemVisible(w, 306));
    EXPECT_EQ(ItemEnabled(w, 306), install);
    for (int id : {302, 303, 304, 305}) EXPECT_EQ(ItemVisible(w, id), !install) << id;
    for (int id : {250, 251, 252}) EXPECT_EQ(ItemEnabled(w, id), install) << id;
    EXPECT_EQ(ItemText(w, 252), c.Maintenance ? L"Группа Tavrel" : L"Tavrel");

    // Only fixed and network drives are offered.
    HWND drives = ::GetDlgItem(w, 250);
    const int count = static_cast<int>(::SendMessageW(drives, CB_GETCOUNT, 0, 0));
    EXPECT_GT(count, 0);
    for (int i = 0; i < count; ++i) {
      wchar_t root[16] = {};
      ::SendMessageW(drives, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(root));
      const UINT type = ::GetDriveTypeW(root);
      EXPECT_TRUE(type == DRIVE_FIXED || type == DRIVE_REMOTE) << root;
    }
    // The installation folder: the kit in maintenance, else the programs
    // folder completed with the default folder.
    std::wstring expected;
    if (c.Maintenance) {
      expected = Kit.wstring();
    } else {
      wchar_t programs[MAX_PATH] = {};
      ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, 0, programs)));
      expected = std::wstring(programs) + L"\\Tavrel";
    }
    const std::wstring shown = ItemText(w, 250).substr(0, 2) + ItemText(w, 251);
    EXPECT_EQ(::CompareStringOrdinal(shown.c_str(), -1, expected.c_str(), -1, TRUE), CSTR_EQUAL) << shown;

    CloseWindow(window);
    EXPECT_EQ(Process.Wait(EndTimeoutMs), 0) << "the window did not close";
  }
}

// Pressing the install button installs into the folder of the fields, asks
// whether to start the program, makes the desktop shortcut of the checked
// box, starts the program on "yes" and closes. No service is registered:
// the install goes on without one and creates none.
TEST_F(SetupWindowTest, TheInstallButtonInstallsAsksMakesTheShortcutAndStartsTheProgram) {
  TProductRegistrations registrations(Section);
  TKit kit(Kit, L"5.14");
  kit.Section = Section;
  kit.ProductName = ProductName;
  kit.Key(L"Comments", L"Медиасервер");
  kit.Add({L"jom.exe", L"", L"", L"main", ReadFile(ExecutableDir() / "ServiceStandIn.exe"), L""})
      .Add({L"readme.txt", L"docs", L"", L"", FixtureBytes(500, 2, true), L""})
      .Write();
  const fs::path program = Root.path() / "Program Files" / "Tavrel";
  const std::wstring link = DesktopLink(ProductName);
  ASSERT_FALSE(fs::exists(link));
  ASSERT_EQ(TStandInService::State(), 0u) << "a JomService is registered";

  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()), [](const TWindowInfo&) { return 0; });
  TWindowInfo window;
  ASSERT_TRUE(StartIn(Kit, window));
  const HWND w = window.Window;
  ASSERT_EQ(::towupper(ItemText(w, 250)[0]), ::towupper(program.wstring()[0])) << "the test folder is on another drive";
  SetItemText(w, 251, WithoutDrive(program));
  SetItemText(w, 252, L"Tavrel Test Group");
  PressItem(w, 350);
  PressItem(w, 300);
  ASSERT_EQ(Process.Wait(EndTimeoutMs), 0) << "the window did not close after the install";

  EXPECT_EQ(ReadFile(program / "docs" / "readme.txt"), FixtureBytes(500, 2, true));
  EXPECT_TRUE(fs::exists(program / "instcfg.ini"));
  EXPECT_TRUE(WaitForLine(program / "started.txt", "started", 20000)) << "the program was not started";
  const std::vector<TWindowInfo> seen = boxes.Boxes();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Caption, L"Подтверждение");
  EXPECT_EQ(seen[0].Text, L"Установка завершена. Запустить программу ?");
  TShellLinkContents contents;
  EXPECT_TRUE(ReadShellLink(link, contents)) << link;
  EXPECT_EQ(::CompareStringOrdinal(contents.Target.c_str(), -1, (program / "jom.exe").wstring().c_str(), -1, TRUE),
            CSTR_EQUAL)
      << contents.Target;
  EXPECT_EQ(contents.Description, L"Медиасервер");
  fs::remove(link);
  EXPECT_EQ(TStandInService::State(), 0u) << "the install created a JomService";
}

// The check button checks the installed copy and ends with its
// information box; the window stays open.
TEST_F(SetupWindowTest, TheCheckButtonEndsWithItsInformationBox) {
  const TInstalledCopy copy = InstalledCopy();
  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()));
  TWindowInfo window;
  ASSERT_TRUE(StartIn(copy.Folder(), window));
  PressItem(window.Window, 303);
  ASSERT_TRUE(boxes.WaitForBoxes(1, EndTimeoutMs));
  const std::vector<TWindowInfo> seen = boxes.Boxes();
  EXPECT_EQ(seen[0].Caption, L"Информация");
  EXPECT_EQ(seen[0].Text, L"Проверка версии завершена.");
  EXPECT_TRUE(::IsWindow(window.Window));
  WaitUntilNoBoxes(Root.dir());
  PressItem(window.Window, 301);
  EXPECT_EQ(Process.Wait(EndTimeoutMs), 0) << "the exit button did not close the window";
  EXPECT_EQ(boxes.Boxes().size(), 1u);
}

// The hidden install button of the maintenance layout is still the
// template's default button: Enter must not install the installed copy
// onto itself. The check pressed afterwards is the only function run.
TEST_F(SetupWindowTest, EnterInTheMaintenanceLayoutStartsNoInstallation) {
  const TInstalledCopy copy = InstalledCopy();
  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()));
  TWindowInfo window;
  ASSERT_TRUE(StartIn(copy.Folder(), window));
  ::PostMessageW(window.Window, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  ::PostMessageW(window.Window, WM_KEYUP, VK_RETURN, 0xC01C0001);
  PressItem(window.Window, 303);
  ASSERT_TRUE(boxes.WaitForBoxes(1, EndTimeoutMs));
  WaitUntilNoBoxes(Root.dir());
  std::vector<std::wstring> texts;
  for (const TWindowInfo& box : boxes.Boxes()) texts.push_back(box.Caption + L": " + box.Text);
  EXPECT_EQ(texts, std::vector<std::wstring>{L"Информация: Проверка версии завершена."});
  EXPECT_FALSE(fs::exists(copy.Folder() / "$BACKUP$"));
  ASSERT_TRUE(::IsWindow(window.Window));
  CloseWindow(window);
  EXPECT_EQ(Process.Wait(EndTimeoutMs), 0);
}

// The build button asks for a folder and builds the kit into that folder
// plus the version with "_" for ".".
TEST_F(SetupWindowTest, TheBuildButtonBuildsTheKitIntoTheChosenFolderAndVersion) {
  const TInstalledCopy copy = InstalledCopy();
  const fs::path kits = Root.path() / "my kits";
  fs::create_directories(kits);
  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()));
  TWindowInfo window;
  ASSERT_TRUE(StartIn(copy.Folder(), window));
  PressItem(window.Window, 304);
  HWND choice = WaitForDialog(L"Выбор каталога");
  ASSERT_NE(choice, nullptr);
  // The folder typed into the choice's edit box, then OK.
  SetItemText(choice, 14148, kits.wstring());
  ::PostMessageW(choice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(choice, IDOK)));
  ASSERT_TRUE(boxes.WaitForBoxes(1, EndTimeoutMs));
  EXPECT_EQ(boxes.Boxes()[0].Caption, L"Информация");
  EXPECT_EQ(boxes.Boxes()[0].Text, L"Построение дистрибутива завершено.");
  const fs::path built = kits / "5_14";
  const std::string list = ReadFile(built / "files.lst");
  EXPECT_NE(list.find("CRC=EBDF6E52 Len=     500 Dir=docs"), std::string::npos) << built.string() << "\n" << list;
  EXPECT_EQ(ReadFile(built / "jom.exe"), FixtureBytes(3000, 1));
  EXPECT_EQ(ReadFile(built / "readme.txt"), FixtureBytes(500, 2, true));
  WaitUntilNoBoxes(Root.dir());
  CloseWindow(window);
  EXPECT_EQ(Process.Wait(EndTimeoutMs), 0);
}

// The unattended layout installs by itself without a question and closes;
// a kit it cannot install gives one error box with the collected errors,
// and the log names the errors and the failed result.
TEST_F(SetupWindowTest, TheProgressLayoutInstallsByItselfAndClosesAfterErrors) {
  // The window behind the error box: the progress-only template's controls.
  std::mutex lock;
  std::set<int> controls;
  std::wstring label;
  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()), [&](const TWindowInfo& box) {
    const HWND owner = ::GetWindow(box.Window, GW_OWNER);
    std::lock_guard<std::mutex> guard(lock);
    for (HWND child = ::GetWindow(owner, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
      controls.insert(::GetDlgCtrlID(child));
    }
    label = ItemText(owner, 504);
    return 0;
  });
  const fs::path log = Root.path() / "log folder" / "setup log.txt";
  fs::create_directories(log.parent_path());
  // "/STARTDIR" keeps this run from relaunching itself; "/WINE" first makes
  // the program's own folder, the kit, the start folder.
  ASSERT_TRUE(Process.Start(L"\"" + (Kit / "setup.exe").wstring() + L"\" /WINE /STARTDIR=\"" + Kit.wstring() +
                            L"\" \"/LOG=" + log.wstring() + L"\""));
  EXPECT_EQ(Process.Wait(EndTimeoutMs), 0) << "the window did not close after the failed install";
  const std::vector<TWindowInfo> shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Caption, L"Ошибка");
  EXPECT_NE(shown[0].Text.find(L"jom.lst"), std::wstring::npos) << shown[0].Text;
  {
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(controls, (std::set<int>{200, 201, 504, 255}));
    EXPECT_EQ(label, L"Выполнено");
  }

  const std::vector<std::string> lines = FileLines(log);
  bool error = false, failed = false, started = false;
  for (const std::string& line : lines) {
    // 2026-12-11 09:30:00.123 TAG     text
    ASSERT_GE(line.size(), 32u) << line;
    EXPECT_TRUE(line[4] == '-' && line[7] == '-' && line[10] == ' ' && line[13] == ':' && line[19] == '.') << line;
    const std::string tag = line.substr(24, 7);
    started |= tag == "START  " && line.find("Установка программы") != std::string::npos;
    error |= tag == "ERROR  " && line.find("jom.lst") != std::string::npos;
    failed |= tag == "RESULT " && line.find("FAILED Установка завершена. Были ошибки.") != std::string::npos;
  }
  EXPECT_TRUE(started && error && failed) << "log of " << lines.size() << " lines";
}

// The unattended install whose main program was not installed: it does not
// end silently; the failed start is shown and logged with the program's
// path, and the window still closes.
TEST_F(SetupWindowTest, AMainProgramThatCannotStartIsReported) {
  TProductRegistrations registrations(Section);
  const std::wstring defaultDir = UniqueName(L"TavrelNoMain");
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
  kit.Section = Section;
  kit.ProductName = ProductName;
  kit.Key(L"DefaultDir", defaultDir);
  kit.Add({L"readme.txt", L"docs", L"", L"", FixtureBytes(500, 2, true), L""}).Write();
  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()), [](const TWindowInfo&) { return 0; });
  const fs::path log = Root.path() / "setup.log";
  ASSERT_TRUE(Process.Start(L"\"" + (Kit / "setup.exe").wstring() + L"\" /WINE /STARTDIR=\"" + Kit.wstring() +
                            L"\" \"/LOG=" + log.wstring() + L"\""));
  EXPECT_EQ(Process.Wait(EndTimeoutMs), 0) << "the window did not close";
  EXPECT_TRUE(fs::exists(installed / "docs" / "readme.txt"));
  const std::wstring start = L"Запуск программы \"" + (installed / "jom.exe").wstring() + L"\"";
  const std::vector<TWindowInfo> shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Caption, L"Ошибка");
  EXPECT_EQ(shown[0].Text.substr(0, start.size()), start) << shown[0].Text;
  bool logged = false;
  for (const std::string& line : FileLines(log)) {
    logged |= line.find("ERROR   Запуск программы") != std::string::npos && line.find("jom.exe") != std::string::npos;
  }
  EXPECT_TRUE(logged) << ReadFile(log);
}

}  // namespace
