// The product service around the real setup.exe's functions: a stand-in
// "JomService" of the prefix that holds a file of the program folder open
// is stopped before an install or update replaces that file and runs again
// afterwards; an uninstall stops it and deletes it with its event-log key;
// under Wine the wait for the stopped service's program file is bounded.

#include <gtest/gtest.h>

#include <filesystem>

#include "InstalledCopy.h"
#include "SetupWindowDriver.h"
#include "platform/UniqueHandle.h"
#include "setup/distribution/ZipArchive.h"
#include "support/RegistryKeys.h"
#include "support/TestSupport.h"
#include "support/WindowWatcher.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr std::uint32_t StartTimeoutMs = 30000;
constexpr std::uint32_t EndTimeoutMs = 90000;

const std::string OldHeld = "held by the service, 5.14";
const std::string NewHeld = "held by the service, 5.15, longer";

// Milliseconds of the day of a log line's time stamp.
long LineTime(const std::string& line) {
  if (line.size() < 23) return -1;
  const int hours = std::stoi(line.substr(11, 2)), minutes = std::stoi(line.substr(14, 2));
  const int seconds = std::stoi(line.substr(17, 2)), milliseconds = std::stoi(line.substr(20, 3));
  return ((hours * 60L + minutes) * 60L + seconds) * 1000L + milliseconds;
}

// Answers the boxes of setup: "yes" to the engine's questions, the answer
// given to the completion and data-file questions, OK to the rest.
TBoxAnswer Answers(int completion) {
  return [completion](const TWindowInfo& box) {
    if (box.Caption == L"Подтверждение") return completion;
    if (box.Text.find(L"Удалить файлы данных") != std::wstring::npos) return IDNO;
    return 0;
  };
}

class SetupServiceTest : public ::testing::Test {
protected:
  void SetUp() override {
    Kit = NewSetupFolder(Root.path() / "kit");
  }
  void TearDown() override {
    if (Process.Running()) Process.Kill();
  }

  bool Start(const fs::path& folder, TWindowInfo& window) {
    const std::wstring command = L"\"" + (Kit / "setup.exe").wstring() + L"\" /STARTDIR=\"" + folder.wstring() +
                                 L"\" \"/LOG=" + Log.wstring() + L"\"";
    if (!Process.Start(command)) return false;
    if (!WaitForWindow(SetupWindowsBelow(Root.dir()), StartTimeoutMs, window)) return false;
    WaitForCaption(window, ProductName);
    return true;
  }

  // The installed copy of version 5.14 with the file the service holds.
  TInstalledCopy InstalledCopy() {
    TInstalledCopy copy(Program, L"5.14");
    copy.Section = Section;
    copy.ProductName = ProductName;
    copy.Add({L"jom.exe", L"", L"o", L"", FixtureBytes(3000, 1), L""})
        .Add({L"held.dat", L"", L"o", L"", OldHeld, L""})
        .Add({L"setup.ini", L"", L"S", L"", FixtureSetupIni(Section, ProductName, L"5.14", L"files.lst", {}), L""});
    copy.Write();
    return copy;
  }

  // The log's lines with the tag (e.g. "STATUS ").
  std::vector<std::string> LogLines(const std::string& tag) const {
    std::vector<std::string> found;
    for (const std::string& line : FileLines(Log)) {
      if (line.size() > 31 && line.substr(24, tag.size()) == tag) found.push_back(line);
    }
    return found;
  }

  TempDir Root{"service"};
  fs::path Kit;
  const fs::path Program = Root.path() / "Program";
  const fs::path Log = Root.path() / "setup.log";
  ChildProcess Process;
  const std::wstring Section = UniqueName(L"JOMS");
  const std::wstring ProductName = UniqueName(L"Tavrel Service ");
};

// An install over a folder whose file the running service holds: the
// service is stopped first (else the file could not be replaced) and runs
// again afterwards. Its program file is kept open here, so that under Wine
// the wait for it runs out, after 10 s, and the install then goes on.
TEST_F(SetupServiceTest, AnInstallStopsTheServiceFirstAndStartsItAgain) {
  TProductRegistrations registrations(Section);
  TKit kit(Kit, L"5.15");
  kit.Section = Section;
  kit.ProductName = ProductName;
  kit.Add({L"jom.exe", L"", L"", L"main", FixtureBytes(3000, 1), L""}).Add({L"held.dat", L"", L"", L"", NewHeld, L""});
  kit.Write();
  fs::create_directories(Program);
  WriteFile(Program / "held.dat", OldHeld);
  TStandInService service(Root.path() / "svc", Program / "held.dat");
  ASSERT_EQ(TStandInService::State(), static_cast<DWORD>(SERVICE_RUNNING));
  UniqueKernelHandle programOpen(::CreateFileW(service.Program.wstring().c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(programOpen);

  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()), Answers(IDNO));
  TWindowInfo window;
  ASSERT_TRUE(Start(Kit, window));
  SetItemText(window.Window, 251, Program.wstring().substr(2));
  PressItem(window.Window, 300);
  ASSERT_TRUE(boxes.WaitForBoxes(1, EndTimeoutMs));
  WaitUntilNoBoxes(Root.dir());
  CloseWindow(window);
  EXPECT_EQ(Process.Wait(EndTimeoutMs), 0);
  programOpen.reset();

  EXPECT_EQ(boxes.Boxes()[0].Text, L"Установка завершена. Запустить программу ?");
  EXPECT_EQ(ReadFile(Program / "held.dat"), NewHeld);
  EXPECT_EQ(service.Record(), (std::vector<std::string>{"start", "stop", "start"}));
  EXPECT_EQ(TStandInService::State(), static_cast<DWORD>(SERVICE_RUNNING));

  // The wait for the held program file: from the stop's step to the
  // engine's first report.
  const std::vector<std::string> lines = FileLines(Log);
  std::size_t stop = 0;
  while (stop < lines.size() && lines[stop].find("Остановка службы") == std::string::npos) ++stop;
  ASSERT_LT(stop + 1, lines.size()) << "no stop in the log";
  const long waited = LineTime(lines[stop + 1]) - LineTime(lines[stop]);
  EXPECT_GE(waited, 9500) << lines[stop + 1];
  EXPECT_LT(waited, 30000) << lines[stop + 1];
  bool started = false;
  for (std::size_t i = stop + 1; i < lines.size(); ++i) started |= lines[i].find("Запуск службы") != std::string::npos;
  EXPECT_TRUE(started) << "no restart in the log";
}

// The update button: the update file chosen in the file dialog replaces
// the held file while the service is stopped; the service runs again.
TEST_F(SetupServiceTest, TheUpdateButtonUpdatesWhileTheServiceIsStopped) {
  TProductRegistrations registrations(Section);
  InstalledCopy();
  TStandInService service(Root.path() / "svc", Program / "held.dat");
  ASSERT_EQ(TStandInService::State(), static_cast<DWORD>(SERVICE_RUNNING));

  // The update 5.14 -> 5.15: a new held.dat, the new list and setup.ini.
  std::vector<TFixtureFile> files = {
      {L"jom.exe", L"", L"o", L"", FixtureBytes(3000, 1), L""},
      {L"held.dat", L"", L"o", L"", NewHeld, L""},
      {L"setup.ini", L"", L"S", L"", FixtureSetupIni(Section, ProductName, L"5.15", L"files.lst", {}), L""},
  };
  const std::vector<std::pair<std::wstring, std::string>> entries = {
      {L"renew.cmd", "Version 5.14 5.15\r\nCopy held.dat\r\nCopy setup.ini\r\n"},
      {L"held.dat", NewHeld},
      {L"setup.ini", files[2].Content},
      {L"files.lst", FixtureListText(files)},
  };
  const fs::path update = Root.path() / "updates" / "to 5.15.prf";
  fs::create_directories(update.parent_path() / "entries");
  {
    TZipWriter writer(update.wstring(), false);
    for (const auto& [name, bytes] : entries) {
      const fs::path source = update.parent_path() / "entries" / name;
      WriteFile(source, bytes);
      writer.AddFile(source.wstring(), name);
    }
    ASSERT_TRUE(writer.Save());
  }

  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()), Answers(IDNO));
  TWindowInfo window;
  ASSERT_TRUE(Start(Program, window));
  PressItem(window.Window, 302);
  HWND open = nullptr;
  ASSERT_TRUE(WaitForProcessDialog(Process.Id(), L"Выбор файла обновления", StartTimeoutMs, open));
  // The file name field: cmb13 of the Explorer-style dialog, edt1 of the old one.
  const int nameField = ::GetDlgItem(open, 0x47C) ? 0x47C : 0x480;
  SetItemText(open, nameField, update.wstring());
  ::PostMessageW(open, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(open, IDOK)));
  ASSERT_TRUE(boxes.WaitForBoxes(1, EndTimeoutMs));
  EXPECT_EQ(boxes.Boxes()[0].Text, L"Обновление завершено. Запустить программу ?");
  WaitUntilNoBoxes(Root.dir());
  CloseWindow(window);
  EXPECT_EQ(Process.Wait(EndTimeoutMs), 0);

  EXPECT_EQ(ReadFile(Program / "held.dat"), NewHeld);
  EXPECT_NE(ReadFile(Program / "setup.ini").find("Version=5.15"), std::string::npos);
  EXPECT_EQ(service.Record(), (std::vector<std::string>{"start", "stop", "start"}));
  EXPECT_EQ(TStandInService::State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(LogLines("ERROR").empty());
}

// The uninstall button: the service is stopped before the folder goes and
// deleted afterwards with its event-log key; the window closes.
TEST_F(SetupServiceTest, TheUninstallButtonStopsAndDeletesTheService) {
  TProductRegistrations registrations(Section);
  InstalledCopy();
  TStandInService service(Root.path() / "svc", Program / "held.dat");
  ASSERT_EQ(TStandInService::State(), static_cast<DWORD>(SERVICE_RUNNING));
  WriteStringValues(HKEY_LOCAL_MACHINE, JomServiceEventLogKey, {{L"EventMessageFile", service.Program.wstring()}});

  TMessageBoxWatcher boxes(MessageBoxesBelow(Root.dir()), Answers(IDNO));
  TWindowInfo window;
  ASSERT_TRUE(Start(Program, window));
  PressItem(window.Window, 305);
  EXPECT_EQ(Process.Wait(EndTimeoutMs), 0) << "the window did not close after the uninstall";

  EXPECT_FALSE(fs::exists(Program));
  EXPECT_EQ(TStandInService::State(), 0u) << "the service is still registered";
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, JomServiceEventLogKey));
  EXPECT_EQ(service.Record(), (std::vector<std::string>{"start", "stop"}));
  std::vector<std::wstring> texts;
  for (const TWindowInfo& box : boxes.Boxes()) texts.push_back(box.Text);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], L"Удалить программу \"" + ProductName + L"\" с компьютера ?");
  EXPECT_EQ(texts[2], L"Удалить файлы данных програмы ?");
  EXPECT_EQ(texts[3], L"Удаление программы завершено.");
}

}  // namespace
