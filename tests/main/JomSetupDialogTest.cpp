// The setup dialog on a real window in this process: the installation
// folder fields, the message list, a refused second run, and an install
// pressed through the install button with the desktop shortcut.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "../engine/InstallHarness.h"
#include "../ui/MessageBoxWatcher.h"
#include "platform/Exception.h"
#include "platform/ShTools.h"
#include "platform/StrTool.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/engine/diSetupFunctions.h"
#include "setup/main/DesktopShortcut.h"
#include "setup/main/SetupLog.h"
#include "setup/messages/XilSetupRuntimeMessages.h"
#include "setup/ui/JomSetupDialog.h"
#include "support/ShellLinkReader.h"
#include "support/WindowWatcher.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[1024] = {};
  ::GetDlgItemTextW(dialog, id, text, 1024);
  return text;
}

struct TListLine {
  std::wstring Text;
  int Image;
  bool operator==(const TListLine&) const = default;
};

std::vector<TListLine> ListLines(HWND dialog) {
  HWND list = ::GetDlgItem(dialog, 400);
  std::vector<TListLine> lines;
  const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = i;
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    lines.push_back({text, item.iImage});
  }
  return lines;
}

class JomSetupDialogTest : public ::testing::Test {
protected:
  void Open(bool maintenance) {
    TSetupInformation info;
    info.SetupDirectory = Folders.Kit();
    info.Maintenance = maintenance;
    info.ProductName = L"Tavrel Test " + Folders.Section;
    info.Version = L"5.14";
    Dialog = std::make_unique<TJomSetupDialog>(info);
    Dialog->ShowModeless();
    Window = Dialog->Handle();
    ASSERT_NE(Window, nullptr);
  }
  void TearDown() override {
    if (Window) ::DestroyWindow(Window);
  }

  TInstallFolders Folders{"dialog"};
  std::unique_ptr<TJomSetupDialog> Dialog;
  HWND Window = nullptr;
};

TEST(CompleteWithDefaultDirTest, AppendsOnlyTheMissingLeadingComponents) {
  struct Case {
    const wchar_t* Path;
    const wchar_t* Default;
    const wchar_t* Expected;
  };
  const Case cases[] = {
      {L"C:\\Tools", L"Tavrel", L"C:\\Tools\\Tavrel"},
      {L"D:\\Tavrel\\Sub", L"Tavrel", L"D:\\Tavrel\\Sub"},
      {L"d:\\tavrel", L"Tavrel\\", L"d:\\tavrel"},
      {L"C:\\", L"Tavrel", L"C:\\Tavrel"},
      {L"C:\\Apps", L"Vendor\\Tavrel", L"C:\\Apps\\Vendor\\Tavrel"},
      {L"C:\\Vendor\\x", L"Vendor\\Tavrel", L"C:\\Vendor\\x\\Tavrel"},
      {L"C:\\Tools", L"", L"C:\\Tools"},
      {L"C:\\Tools", L"\\", L"C:\\Tools"},
      // Only a whole component counts: a folder whose name merely begins
      // with it (the user's own "TavrelData") still gets its own subfolder.
      {L"C:\\TavrelData", L"Tavrel", L"C:\\TavrelData\\Tavrel"},
      {L"D:\\x\\Tavrel.old\\y", L"Tavrel", L"D:\\x\\Tavrel.old\\y\\Tavrel"},
      {L"C:\\Vendors\\x", L"Vendor\\Tavrel", L"C:\\Vendors\\x\\Vendor\\Tavrel"},
      {L"\\\\server\\share", L"Tavrel", L"\\\\server\\share\\Tavrel"},
      {L"C:\\Tavrel\\", L"Tavrel", L"C:\\Tavrel\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompleteWithDefaultDir(c.Path, c.Default), c.Expected) << c.Path << L" + " << c.Default;
  }
}

TEST(ServiceProgramFileTest, TheProgramOfTheBinaryPathWithoutItsArguments) {
  ::SetEnvironmentVariableW(L"TAVREL_SERVICE_TEST_DIR", L"C:\\Tavrel");
  const std::set<std::wstring> files = {L"C:\\Tavrel\\jomsvc.exe", L"C:\\Program Files\\Tavrel\\jomsvc.exe"};
  const auto exists = [&](const std::wstring& path) { return files.count(path) != 0; };
  struct Case {
    const wchar_t* BinaryPath;
    const wchar_t* Program;
  };
  const Case cases[] = {
      {L"C:\\Tavrel\\jomsvc.exe", L"C:\\Tavrel\\jomsvc.exe"},
      {L" C:\\Tavrel\\jomsvc.exe /service ", L"C:\\Tavrel\\jomsvc.exe"},
      {L"\"C:\\Program Files\\Tavrel\\jomsvc.exe\"", L"C:\\Program Files\\Tavrel\\jomsvc.exe"},
      {L"\"C:\\Program Files\\Tavrel\\jomsvc.exe\" /service", L"C:\\Program Files\\Tavrel\\jomsvc.exe"},
      {L"\"C:\\Program Files\\Tavrel\\jomsvc.exe\" -service \"C:\\x\"", L"C:\\Program Files\\Tavrel\\jomsvc.exe"},
      {L"\"C:\\unclosed\\jomsvc.exe /service", L"\"C:\\unclosed\\jomsvc.exe"},
      {L"", L""},
      // Unquoted with blanks: the program is the first part up to a blank
      // that names an existing file, as the service manager reads it.
      {L"C:\\Program Files\\Tavrel\\jomsvc.exe", L"C:\\Program Files\\Tavrel\\jomsvc.exe"},
      {L"C:\\Program Files\\Tavrel\\jomsvc.exe -service", L"C:\\Program Files\\Tavrel\\jomsvc.exe"},
      {L"C:\\Tavrel\\jomsvc.exe -k run", L"C:\\Tavrel\\jomsvc.exe"},
      {L"C:\\Gone\\jomsvc.exe /service", L"C:\\Gone\\jomsvc.exe"},
      // The configuration may name folders through environment variables.
      {L"%TAVREL_SERVICE_TEST_DIR%\\jomsvc.exe -service", L"C:\\Tavrel\\jomsvc.exe"},
      {L"\"%TAVREL_SERVICE_TEST_DIR%\\jomsvc.exe\" /service", L"C:\\Tavrel\\jomsvc.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(ServiceProgramFile(c.BinaryPath, exists), c.Program) << c.BinaryPath;
  ::SetEnvironmentVariableW(L"TAVREL_SERVICE_TEST_DIR", nullptr);
}

TEST_F(JomSetupDialogTest, InstallDirectoryFieldsSplitAndJoinThePath) {
  Open(false);
  HWND drives = ::GetDlgItem(Window, 250);
  ASSERT_GT(::SendMessageW(drives, CB_GETCOUNT, 0, 0), 0);
  struct Case {
    const wchar_t* Set;
    const wchar_t* Edit;  // what 251 holds afterwards
    const wchar_t* Get;
    bool DriveEnabled;
  };
  const Case cases[] = {
      {L"C:\\Tools\\Tavrel\\", L"\\Tools\\Tavrel", L"C:\\Tools\\Tavrel", true},
      {L"\\\\server\\share\\Tavrel", L"\\\\server\\share\\Tavrel", L"\\\\server\\share\\Tavrel", false},
      {L"C:\\Program Files\\Tavrel", L"\\Program Files\\Tavrel", L"C:\\Program Files\\Tavrel", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Set);
    Dialog->SetInstallDirectory(c.Set);
    EXPECT_EQ(ItemText(Window, 251), c.Edit);
    EXPECT_EQ(Dialog->GetInstallDirectory(), c.Get);
    EXPECT_EQ(::IsWindowEnabled(drives) != 0, c.DriveEnabled);
  }
  // A typed folder without a leading backslash, and no drive chosen.
  ::SetDlgItemTextW(Window, 251, L"Tools");
  EXPECT_EQ(Dialog->GetInstallDirectory(), L"C:\\Tools");
  ::SendMessageW(drives, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  EXPECT_EQ(Dialog->GetInstallDirectory(), L"\\Tools");
  ::SetDlgItemTextW(Window, 251, L"");
  EXPECT_EQ(Dialog->GetInstallDirectory(), L"");
}

// A folder on a drive the list does not offer (a removable one, or one
// that is gone) keeps its drive: without it the function would run on the
// same folder of whatever drive is current.
TEST_F(JomSetupDialogTest, AFolderOnADriveOutsideTheListKeepsItsDrive) {
  const DWORD drives = ::GetLogicalDrives();
  wchar_t letter = L'Q';
  while (letter < L'Z' && (drives & (1u << (letter - L'A'))) != 0) ++letter;
  ASSERT_EQ(drives & (1u << (letter - L'A')), 0u);
  const std::wstring root = std::wstring(1, letter) + L":";
  for (const bool maintenance : {false, true}) {
    SCOPED_TRACE(maintenance ? "maintenance" : "install");
    Open(maintenance);
    Dialog->SetInstallDirectory(root + L"\\Tools\\Tavrel\\");
    EXPECT_EQ(ItemText(Window, 251), L"\\Tools\\Tavrel");
    EXPECT_EQ(Dialog->GetInstallDirectory(), root + L"\\Tools\\Tavrel");
    // A drive of the list is chosen again as before.
    Dialog->SetInstallDirectory(L"C:\\Tools");
    EXPECT_EQ(Dialog->GetInstallDirectory(), L"C:\\Tools");
    ::DestroyWindow(Window);
    Window = nullptr;
  }
}

TEST_F(JomSetupDialogTest, MessagesAreSplitIntoLinesWithTheirKindsImageAndErrorsCollected) {
  Open(false);
  Dialog->AddMessage(mkInfo, L"one\r\ntwo\r\n");
  Dialog->AddMessage(mkError, L"bad\r\n\r\nworse");
  Dialog->AddMessage(mkWarning, L"careful");
  const std::vector<TListLine> expected = {{L"one", 1}, {L"two", 1},     {L"bad", 0},
                                           {L"", 0},    {L"worse", 0},   {L"careful", 2}};
  EXPECT_EQ(ListLines(Window), expected);
  EXPECT_EQ(Dialog->Errors(), std::vector<std::wstring>{L"bad\r\n\r\nworse"});
}

TEST_F(JomSetupDialogTest, StatusSetsTheLinesAndTheProgressAndEmptyTextsKeepThem) {
  Open(false);
  Dialog->ShowStatus(L"Копирование", L"a.dll", 40);
  Dialog->ShowStatus(L"", L"", -1);
  EXPECT_EQ(ItemText(Window, 253), L" Копирование");
  EXPECT_EQ(ItemText(Window, 254), L" a.dll");
}

// The log names each step once; the single blank that clears the step line
// is no step, and a step named again after it is logged again.
TEST_F(JomSetupDialogTest, TheLogHoldsEachStepButNotTheBlankThatClearsTheLine) {
  Open(false);
  const fs::path log = Folders.Root() / "status.log";
  ASSERT_TRUE(OpenSetupLog(log.wstring()));
  Dialog->ShowStatus(L"Копирование файлов", L"a.dll", 10);
  Dialog->ShowStatus(L"Копирование файлов", L"b.dll", 20);
  Dialog->ShowStatus(L" ", L" ", -1);
  Dialog->ShowStatus(L"Копирование файлов", L"c.dll", 30);
  CloseSetupLog();
  std::vector<std::string> steps;
  const std::string text = ReadFile(log);
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    steps.push_back(text.substr(start + 24, end - start - 24));  // after the time stamp
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"STATUS  Копирование файлов", "STATUS  Копирование файлов"})) << text;
}

// While a function runs, the exit button and a second run only say so; the
// second run clears the list first.
TEST_F(JomSetupDialogTest, ASecondRunAndTheExitButtonAreRefusedWhileAFunctionRuns) {
  Open(true);
  Dialog->AddMessage(mkInfo, L"old line");
  ::PostMessageW(Window, WM_COMMAND, MAKEWPARAM(301, BN_CLICKED), 0);
  ::PostMessageW(Window, WM_COMMAND, MAKEWPARAM(303, BN_CLICKED), 0);
  TBoxAnswerer exitBox(L"Ошибка", IDOK);
  // The posted commands arrive while the check runs, when the buttons are
  // disabled and pending messages run.
  const std::wstring empty = Folders.Root().wstring() + L"\\Empty\\";
  fs::create_directories(Folders.Root() / "Empty");
  TBoxAnswerer outcome(L"Внимание", IDOK, 30000);
  const bool result = Dialog->RunFunction(empty, sfCheck, nullptr, rsSetupDialogCheckCompleted);
  EXPECT_FALSE(result);
  const TSeenBox& refused = exitBox.Finish();
  EXPECT_TRUE(refused.Found);
  EXPECT_TRUE(::IsWindow(Window)) << "the exit button closed the dialog during a run";
  EXPECT_EQ(Dialog->RunningFunction(), 0);
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(Window, 303)));
  for (const TListLine& line : ListLines(Window)) EXPECT_NE(line.Text, L"old line");
}

// The engine's check replaced by a pipeline of the test, which calls back
// into the dialog while it runs: a second run clears the list and is
// refused, the exit button and closing the window only report the running
// function; the pipeline's messages land as list lines with their kinds'
// images, and its errors (a thrown one too) are collected.
TEST_F(JomSetupDialogTest, WhileAFunctionRunsASecondRunClearsTheListAndIsRefused) {
  Open(true);
  testsupport::TMessageBoxWatcher boxes([](const testsupport::TWindowInfo& w) {
    return w.ProcessId == ::GetCurrentProcessId() && ::GetDlgItem(w.Window, 0xFFFF) != nullptr &&
           ::GetDlgItem(w.Window, 255) == nullptr;
  });
  std::vector<TListLine> afterRefusal;
  bool refused = false, buttonDisabled = false, running = false;
  const TSetupFunction saved = RegisterSetupFunction(sfCheck, [&](TKvtSetup& setup, void*) {
    setup.ReportMessage(mkInfo, L"before");
    buttonDisabled = !::IsWindowEnabled(::GetDlgItem(Window, 303)) && ::IsWindowEnabled(::GetDlgItem(Window, 301));
    refused = !Dialog->RunFunction(Folders.Root().wstring(), sfCheck, nullptr, L"second");
    afterRefusal = ListLines(Window);
    running = Dialog->RunningFunction() == sfCheck;
    Dialog->Command(301, BN_CLICKED, ::GetDlgItem(Window, 301));
    ::SendMessageW(Window, WM_CLOSE, 0, 0);
    setup.ReportMessage(mkError, L"first\r\nsecond");
    setup.ReportMessage(mkWarning, L"careful");
    throw Exception(L"сбой");
  });
  const bool result = Dialog->RunFunction(Folders.Root().wstring(), sfCheck, nullptr, rsSetupDialogCheckCompleted);
  RegisterSetupFunction(sfCheck, saved);

  EXPECT_FALSE(result);
  EXPECT_TRUE(refused);
  EXPECT_TRUE(buttonDisabled);
  EXPECT_TRUE(running);
  EXPECT_TRUE(afterRefusal.empty()) << afterRefusal.size() << " lines kept";
  ASSERT_TRUE(::IsWindow(Window)) << "the window closed during the run";
  const std::vector<TListLine> expected = {{L"first", 0}, {L"second", 0}, {L"careful", 2}, {L"сбой", 0}};
  EXPECT_EQ(ListLines(Window), expected);
  EXPECT_EQ(Dialog->Errors(), (std::vector<std::wstring>{L"first\r\nsecond", L"сбой"}));
  EXPECT_EQ(Dialog->RunningFunction(), 0);
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(Window, 303)));
  std::vector<std::wstring> texts;
  for (const testsupport::TWindowInfo& box : boxes.Boxes()) texts.push_back(box.Caption + L": " + box.Text);
  const std::wstring refusal = L"Ошибка: Выполняется \"Проверка программы\".";
  EXPECT_EQ(texts, (std::vector<std::wstring>{refusal, refusal, refusal,
                                              L"Внимание: Проверка версии завершена. Были ошибки."}));
}

// The install button installs into the chosen folder, asks whether to start
// the program, and makes the desktop shortcut when its box is checked.
TEST_F(JomSetupDialogTest, TheInstallButtonInstallsAsksAndMakesTheShortcut) {
  TKit kit = Folders.NewKit(L"5.14");
  kit.Add({L"jom.exe", L"", L"", L"main", FixtureBytes(3000, 1), L""}).Write();
  Open(false);
  Dialog->SetInstallDirectory(Folders.Program());
  ::SetDlgItemTextW(Window, 252, Folders.Group.c_str());
  ::SendMessageW(::GetDlgItem(Window, 350), WM_KEYDOWN, VK_SPACE, 0);
  ::SendMessageW(::GetDlgItem(Window, 350), WM_KEYUP, VK_SPACE, 0);
  const std::wstring link =
      DesktopShortcutFile(GetShellFolderParsingName(3), L"Tavrel Test " + Folders.Section);
  ASSERT_FALSE(link.empty());
  fs::remove(link);

  TBoxAnswerer question(L"Подтверждение", IDNO, 60000);
  Dialog->Command(300, BN_CLICKED, ::GetDlgItem(Window, 300));
  const TSeenBox& asked = question.Finish();
  EXPECT_TRUE(asked.Found);
  EXPECT_TRUE(fs::exists(Folders.ProgramPath() / "jom.exe"));
  EXPECT_TRUE(fs::exists(link)) << link;
  fs::remove(link);
  EXPECT_TRUE(::IsWindow(Window)) << "answering no keeps the dialog open";
  for (const TListLine& line : ListLines(Window)) EXPECT_NE(line.Image, mkError) << line.Text;
}

// The folder fields stay editable while an install runs: the desktop
// shortcut made afterwards still names the folder the install was given,
// not a text typed into the field meanwhile.
TEST_F(JomSetupDialogTest, AfterAnInstallTheShortcutNamesTheFolderInstalledInto) {
  Open(false);
  Dialog->SetInstallDirectory(Folders.Program());
  fs::create_directories(Folders.ProgramPath());
  WriteFile(Folders.ProgramPath() / "jom.exe", FixtureBytes(100, 1));
  ::SendMessageW(::GetDlgItem(Window, 350), WM_KEYDOWN, VK_SPACE, 0);
  ::SendMessageW(::GetDlgItem(Window, 350), WM_KEYUP, VK_SPACE, 0);
  const std::wstring link = DesktopShortcutFile(GetShellFolderParsingName(3), L"Tavrel Test " + Folders.Section);
  ASSERT_FALSE(link.empty());
  fs::remove(link);
  const TSetupFunction saved = RegisterSetupFunction(sfInstall, [&](TKvtSetup&, void* parameter) {
    EXPECT_EQ(ExcludeTrailingBackslash(static_cast<const TInstallParams*>(parameter)->InstallDir),
              ExcludeTrailingBackslash(Folders.Program()));
    ::SetDlgItemTextW(Window, 251, L"\\Typed Meanwhile");
  });
  TBoxAnswerer question(L"Подтверждение", IDNO, 30000);
  Dialog->Command(300, BN_CLICKED, ::GetDlgItem(Window, 300));
  RegisterSetupFunction(sfInstall, saved);
  EXPECT_TRUE(question.Finish().Found);
  TShellLinkContents contents;
  EXPECT_TRUE(ReadShellLink(link, contents)) << link;
  const std::wstring expected = (Folders.ProgramPath() / "jom.exe").wstring();
  EXPECT_EQ(::CompareStringOrdinal(contents.Target.c_str(), -1, expected.c_str(), -1, TRUE), CSTR_EQUAL)
      << contents.Target;
  fs::remove(link);
}

}  // namespace
