// The real JomStart.exe in the test prefix: what it starts and with which
// parameters, the user folders, the screen resolution and the error box.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "launcher/LauncherTestSupport.h"
#include "platform/Win.h"
// shlobj.h needs the declarations of windows.h first.
#include <shlobj.h>

namespace fs = std::filesystem;
using namespace launchertest;

namespace {

// Every run maps H: and may write "LogPixels": both are put back after each
// test. The variables that steer those steps are cleared unless a test sets them.
class JomStartTest : public ::testing::Test {
protected:
  JomStartTest() { Environment.Set(L"WINELOGPIXELS", std::nullopt); }

  DriveMappingGuard Drives;
  LogPixelsGuard LogPixels;
  EnvironmentGuard Environment;
};

struct StartCase {
  const char* Name;
  std::optional<std::wstring> Installed;  // nothing: no install folder
  std::optional<std::wstring> KitVersion;  // nothing: the kit has no setup.ini
  std::vector<std::wstring> Arguments;
  bool ExpectSetup;
  std::vector<std::wstring> ExpectedArguments;
  std::wstring ExpectedTail;  // how the started program's command line ends
};

TEST_F(JomStartTest, StartsSetupWhenTheKitIsNewerElseTheInstalledProgram) {
  const StartCase Cases[] = {
      {"no install folder, kit without setup.ini", std::nullopt, std::nullopt, {L"a", L"b"}, true,
       {L"a", L"b", L"/WINE"}, L" \"a\" \"b\" \"/WINE\""},
      {"same version", L"5.02", L"5.02", {}, false, {}, L"jom.exe\""},
      {"kit newer", L"5.02", L"5.03", {}, true, {L"/WINE"}, L" \"/WINE\""},
      {"kit without version", L"5.02", std::nullopt, {L"x"}, false, {}, L"jom.exe\""},
      {"hide with a copy as new", L"5.2", L"5.02", {L"-HIDE"}, false, {L"/hide"}, L" /hide"},
      {"hide and x with a newer kit", L"5.02", L"5.03", {L"-HIDE", L"x"}, true, {L"-HIDE", L"x", L"/WINE"},
       L" \"-HIDE\" \"x\" \"/WINE\""},
      {"empty argument dropped", std::nullopt, L"1", {L"", L"y"}, true, {L"y", L"/WINE"}, L" \"y\" \"/WINE\""},
      {"backslashes arrive unchanged, double quotes are left out", std::nullopt, L"1",
       {L"C:\\my dir\\", L"say \"hi"}, true, {L"C:\\my dir\\", L"say hi", L"/WINE"}, L" \"/WINE\""},
  };
  for (const StartCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    std::optional<InstalledCopy> Installed;
    if (Case.Installed) Installed.emplace(*Case.Installed);
    Kit TheKit(Case.KitVersion);

    const LaunchResult Run = RunLauncher(TheKit, Case.Arguments);
    EXPECT_EQ(Run.ExitCode, 0);
    EXPECT_EQ(Run.ConsoleOutput, "");

    const std::wstring Started = Case.ExpectSetup ? TheKit.Setup() : Installed->Jom();
    const std::optional<std::wstring> Line = WaitForCommandLine(Started);
    ASSERT_TRUE(Line) << "nothing started " << Narrow(Started);
    EXPECT_EQ(ArgumentsOf(*Line), Case.ExpectedArguments) << Narrow(*Line);
    EXPECT_TRUE(Line->ends_with(Case.ExpectedTail)) << Narrow(*Line);
    if (Installed) {
      EXPECT_FALSE(HasCommandLine(Case.ExpectSetup ? Installed->Jom() : TheKit.Setup()));
    }
  }
}

TEST_F(JomStartTest, EndsWithoutWaitingForTheStartedProgram) {
  Kit TheKit(std::nullopt);
  const fs::path Hold(TheKit.Setup() + L".hold");
  testsupport::WriteFile(Hold, "");
  // The stand-in keeps running for two minutes; the launcher gets one.
  EXPECT_EQ(RunLauncher(TheKit, {}).ExitCode, 0);
  EXPECT_TRUE(WaitForCommandLine(TheKit.Setup()));
  fs::remove(Hold);
}

TEST_F(JomStartTest, UserFoldersExistAfterAStart) {
  Kit TheKit(std::nullopt);
  EXPECT_EQ(RunLauncher(TheKit, {}).ExitCode, 0);
  ASSERT_TRUE(WaitForCommandLine(TheKit.Setup()));
  for (const int Folder :
       {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_MYPICTURES}) {
    wchar_t Path[MAX_PATH + 1] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, Path, Folder, FALSE)) << "folder " << Folder;
    EXPECT_TRUE(fs::is_directory(fs::path(Path))) << Narrow(Path);
  }
}

TEST_F(JomStartTest, StoresTheRequestedResolutionOnlyWhenItDiffers) {
  struct Case {
    const wchar_t* Requested;
    std::optional<std::uint32_t> Stored;
    std::optional<std::uint32_t> Expected;
  };
  const Case Cases[] = {
      {L"120", std::nullopt, 120u},
      {L"96", std::nullopt, std::nullopt},  // 96 is what a missing value means
      {L"abc", std::nullopt, std::nullopt},
      {L"-1", std::nullopt, std::nullopt},
      {L"-1", 120u, 120u},
      {L"$90", std::nullopt, 144u},
      {L"96", 120u, 96u},
      {L"4294967296", 120u, 120u},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(Narrow(C.Requested));
    WriteLogPixels(C.Stored);
    EnvironmentGuard Requested;
    Requested.Set(L"WINELOGPIXELS", C.Requested);
    Kit TheKit(std::nullopt);
    EXPECT_EQ(RunLauncher(TheKit, {}).ExitCode, 0);
    ASSERT_TRUE(WaitForCommandLine(TheKit.Setup()));
    EXPECT_EQ(ReadLogPixels(), C.Expected);
  }
}

struct ErrorBox {
  std::wstring Text;
  bool Found = false;
};

// Finds the visible window captioned "Error" of process Id, reads its texts
// and presses OK.
bool CloseErrorBox(std::uint32_t Id, ErrorBox& Box) {
  struct Search {
    std::uint32_t Id;
    HWND Window = nullptr;
  } Find{Id};
  ::EnumWindows(
      [](HWND Window, LPARAM Param) -> BOOL {
        auto* S = reinterpret_cast<Search*>(Param);
        DWORD Owner = 0;
        ::GetWindowThreadProcessId(Window, &Owner);
        wchar_t Caption[64] = {};
        ::GetWindowTextW(Window, Caption, 64);
        if (Owner != S->Id || !::IsWindowVisible(Window) || std::wstring(Caption) != L"Error") return TRUE;
        S->Window = Window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&Find));
  if (!Find.Window) return false;
  ::EnumChildWindows(
      Find.Window,
      [](HWND Child, LPARAM Param) -> BOOL {
        wchar_t Text[512] = {};
        ::GetWindowTextW(Child, Text, 512);
        reinterpret_cast<std::wstring*>(Param)->append(Text).append(L"|");
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Box.Text));
  Box.Found = true;
  ::PostMessageW(Find.Window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return true;
}

TEST_F(JomStartTest, AnExceptionIsShownInAnErrorBoxAndTheExitCodeStaysZero) {
  Kit TheKit(std::nullopt, L"FailingJomStart.exe");
  const std::wstring OutputFile = TheKit.File(L"console.txt");
  ErrorBox Box;
  long ExitCode = -1;
  {
    LauncherProcess Launcher(TheKit.Launcher(), {L"a"}, OutputFile);
    ASSERT_TRUE(Launcher.Started());
    for (int I = 0; I < 300 && !CloseErrorBox(Launcher.Id(), Box); ++I) ::Sleep(100);
    ExitCode = Launcher.Wait(30000);
  }
  ASSERT_TRUE(Box.Found) << "no box captioned Error";
  EXPECT_NE(Box.Text.find(L"Launcher test fault"), std::wstring::npos) << Narrow(Box.Text);
  EXPECT_EQ(ExitCode, 0);
  EXPECT_EQ(testsupport::ReadFile(fs::path(OutputFile)), "");
  EXPECT_FALSE(HasCommandLine(TheKit.Setup()));
}

}  // namespace
