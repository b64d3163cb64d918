// Drive H: as the user's home folder, through Wine's real mount manager.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "launcher/HomeDrive.h"
#include "launcher/HomeDriveRules.h"
#include "launcher/LauncherTestSupport.h"
#include "launcher/MountManager.h"
#include "platform/Win.h"
#include "support/TestSupport.h"

using namespace launchertest;

namespace {

// An existing Unix folder, so that H:\ exists as a folder when mapped to it.
constexpr char kExistingFolder[] = "/tmp";

class HomeDriveTest : public ::testing::Test {
protected:
  HomeDriveTest() {
    Environment.Set(L"WINELOGPIXELS", std::nullopt);
    SetUser(L"", L"", L"");
  }

  void SetUser(const std::wstring& Home, const std::wstring& User, const std::wstring& UserName) {
    Environment.Set(L"HOMEDIRECTORY", Home.empty() ? std::nullopt : std::optional(Home));
    Environment.Set(L"USER", User.empty() ? std::nullopt : std::optional(User));
    Environment.Set(L"USERNAME", UserName.empty() ? std::nullopt : std::optional(UserName));
  }

  static void RunKitLauncher() {
    Kit TheKit(std::nullopt);
    const LaunchResult Run = RunLauncher(TheKit, {});
    EXPECT_EQ(Run.ExitCode, 0);
    EXPECT_EQ(Run.ConsoleOutput, "");
    EXPECT_TRUE(WaitForCommandLine(TheKit.Setup()));
  }

  DriveMappingGuard Drives;
  EnvironmentGuard Environment;
};

TEST_F(HomeDriveTest, MissingHIsDefinedFromTheFirstVariableSet) {
  struct Case {
    const wchar_t* Home;
    const wchar_t* User;
    const wchar_t* UserName;
    std::optional<std::string> Expected;
  };
  const Case Cases[] = {
      {L"/data/anna", L"bob", L"carl", "/data/anna"},
      {L"", L"bob", L"carl", "/home/bob"},
      {L"", L"", L"anna", "/home/anna"},
      {L"/home/\u0430\u043d\u043d\u0430", L"", L"", "/home/\xd0\xb0\xd0\xbd\xd0\xbd\xd0\xb0"},  // UTF-8
      {L"", L"", L"", std::nullopt},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(Narrow(C.Home) + "|" + Narrow(C.User) + "|" + Narrow(C.UserName));
    ASSERT_TRUE(RemoveUnixDrive('h'));
    SetUser(C.Home, C.User, C.UserName);
    RunKitLauncher();
    EXPECT_EQ(QueryUnixDrive('h'), C.Expected);
  }
}

TEST_F(HomeDriveTest, HAlreadyAtTheHomeFolderInAnotherCaseIsLeftAlone) {
  ASSERT_TRUE(DefineUnixDrive('h', kExistingFolder));
  const std::optional<std::string> DBefore = QueryUnixDrive('d');
  SetUser(L"/TMP", L"", L"");
  RunKitLauncher();
  EXPECT_EQ(QueryUnixDrive('h'), kExistingFolder);
  EXPECT_EQ(QueryUnixDrive('d'), DBefore);
}

// Wine keeps a removed drive letter in its object directory until the Wine
// server ends, so a letter used by an earlier test still counts as taken;
// the expected letter is therefore the first free one (D: in a fresh prefix).
TEST_F(HomeDriveTest, HElsewhereMovesToTheFirstFreeLetter) {
  ASSERT_TRUE(DefineUnixDrive('h', kExistingFolder));
  const std::optional<char> Free = FirstFreeDriveLetter(::GetLogicalDrives());
  ASSERT_TRUE(Free);
  SetUser(L"/home/anna", L"", L"");
  RunKitLauncher();
  EXPECT_EQ(QueryUnixDrive(*Free), kExistingFolder) << "letter " << *Free;
  EXPECT_EQ(QueryUnixDrive('h'), "/home/anna");
}

TEST_F(HomeDriveTest, HElsewhereLeavesTakenLettersAlone) {
  ASSERT_TRUE(DefineUnixDrive('d', kExistingFolder));
  ASSERT_TRUE(DefineUnixDrive('h', "/"));
  const std::optional<char> Free = FirstFreeDriveLetter(::GetLogicalDrives());
  ASSERT_TRUE(Free);
  SetUser(L"/home/anna", L"", L"");
  RunKitLauncher();
  EXPECT_EQ(QueryUnixDrive('d'), kExistingFolder);
  EXPECT_EQ(QueryUnixDrive(*Free), "/") << "letter " << *Free;
  EXPECT_EQ(QueryUnixDrive('h'), "/home/anna");
}

// The macOS test looks at Z:\System and Z:\Users; here it looks at a folder
// of the test instead.
TEST_F(HomeDriveTest, UsersFolderOnMac) {
  testsupport::TempDir Root("mac");
  SetUser(L"", L"", L"anna");
  std::filesystem::create_directory(Root.path() / "System");
  ASSERT_TRUE(RemoveUnixDrive('h'));
  MapHomeDrive(Root.dir());
  EXPECT_EQ(QueryUnixDrive('h'), "/home/anna");  // Users is missing: not macOS

  std::filesystem::create_directory(Root.path() / "Users");
  ASSERT_TRUE(RemoveUnixDrive('h'));
  MapHomeDrive(Root.dir());
  EXPECT_EQ(QueryUnixDrive('h'), "/Users/anna");
  EXPECT_FALSE(IsWinePrefixOnMac());  // the test prefix runs on Linux
}

}  // namespace
