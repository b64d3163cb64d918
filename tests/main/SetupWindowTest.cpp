// The window of the real setup.exe, started as the relaunched copy is
// (with "/STARTDIR"), read and pressed from this process: the install and
// maintenance layouts, and the unattended progress-only layout.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/UniqueHandle.h"
#include "support/TestSupport.h"
#include "support/WindowWatcher.h"

// after TestSupport: needs <windows.h>
#include <shlobj.h>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr std::uint32_t StartTimeoutMs = 30000;
constexpr std::uint32_t EndTimeoutMs = 30000;

const char* const KitIni =
    "[Products]\r\nProduct1=JOM\r\n\r\n[JOM]\r\nProductName1=Tavrel (UPnP, DLNA, HTTP)\r\nVersion=5.02\r\n"
    "FilesLst=jom.lst\r\nDefaultDir=Tavrel\r\n";

std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[1024] = {};
  ::GetDlgItemTextW(dialog, id, text, 1024);
  return text;
}

// Message boxes of the processes below folder, not the setup window itself.
TWindowFilter BoxesOnly(const std::wstring& folder) {
  const TWindowFilter below = BoxesBelowFolder(folder);
  return [below](const TWindowInfo& w) { return ::GetDlgItem(w.Window, 255) == nullptr && below(w); };
}

bool Visible(HWND dialog, int id) { return ::IsWindowVisible(::GetDlgItem(dialog, id)) != 0; }
bool Enabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != 0; }

class SetupWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    Kit = Root.path() / "kit";
    fs::create_directories(Kit);
    fs::copy_file(ExecutableDir() / "setup.exe", Kit / "setup.exe");
    fs::copy_file(ExecutableDir() / "setup.sln", Kit / "setup.sln");
    WriteFile(Kit / "setup.ini", KitIni);
  }
  void TearDown() override {
    if (Process.Running()) Process.Kill();
  }

  bool Start(const std::wstring& arguments, TWindowInfo& window) {
    if (!Process.Start(L"\"" + (Kit / "setup.exe").wstring() + L"\" " + arguments)) return false;
    const TWindowFilter below = BoxesBelowFolder(Root.dir());
    if (!WaitForWindow(
        [&](const TWindowInfo& w) {
          return w.ClassName == L"#32770" && ::GetDlgItem(w.Window, 255) != nullptr && below(w);
        },
        StartTimeoutMs, window)) {
      return false;
    }
    // The window may show before its start-up is through: its caption is
    // the last thing it sets.
    WaitForCaption(window, L"Tavrel");
    return true;
  }

  TempDir Root{"window"};
  fs::path Kit;
  ChildProcess Process;
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
    TMessageBoxWatcher boxes(BoxesOnly(Root.dir()));
    fs::remove(Kit / "instcfg.ini");
    if (c.Maintenance) WriteFile(Kit / "instcfg.ini", "[JOM]\r\nGroupName=Tavrel Group\r\n");
    TWindowInfo window;
    ASSERT_TRUE(Start(L"/STARTDIR=\"" + Kit.wstring() + L"\"", window));
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
    for (int id : {300, 350}) EXPECT_EQ(Visible(w, id), install) << id;
    EXPECT_TRUE(Visible(w, 301));
    EXPECT_TRUE(Visible(w, 306));
    EXPECT_EQ(Enabled(w, 306), install);
    for (int id : {302, 303, 304, 305}) EXPECT_EQ(Visible(w, id), !install) << id;
    for (int id : {250, 251, 252}) EXPECT_EQ(Enabled(w, id), install) << id;
    EXPECT_EQ(ItemText(w, 252), c.Maintenance ? L"Tavrel Group" : L"Tavrel");

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

// The unattended layout installs by itself without a question and closes;
// a kit it cannot install gives one error box with the collected errors.
TEST_F(SetupWindowTest, TheProgressLayoutInstallsByItselfAndClosesAfterErrors) {
  TMessageBoxWatcher boxes(BoxesOnly(Root.dir()));
  // "/STARTDIR" keeps this run from relaunching itself; "/WINE" first makes
  // the program's own folder, the kit, the start folder.
  ASSERT_TRUE(Process.Start(L"\"" + (Kit / "setup.exe").wstring() + L"\" /WINE /STARTDIR=\"" + Kit.wstring() +
                            L"\""));
  EXPECT_EQ(Process.Wait(EndTimeoutMs), 0) << "the window did not close after the failed install";
  // The closing setup window itself may be seen as it goes; the boxes are
  // the others.
  std::vector<TWindowInfo> shown;
  for (const TWindowInfo& box : boxes.Boxes()) {
    if (box.Caption != L"Установка программы Tavrel (UPnP, DLNA, HTTP)") shown.push_back(box);
  }
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Caption, L"Ошибка");
  EXPECT_NE(shown[0].Text.find(L"jom.lst"), std::wstring::npos) << shown[0].Text;
}

}  // namespace
