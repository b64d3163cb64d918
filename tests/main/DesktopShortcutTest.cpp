#include "setup/main/DesktopShortcut.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/PlatformToolsBase.h"
#include "platform/ShTools.h"
#include "platform/StrTool.h"
#include "support/ShellLinkReader.h"
#include "support/TestSupport.h"

namespace {
// Stands in for the system in AppImage mode: whether the desktop entry
// exists and whether a hard link can be made; every link call is recorded.
class TLinkTools : public TPlatformToolsBase {
public:
  bool EntryExists = true;
  bool HardLinkWorks = true;
  std::vector<std::wstring> Calls;

  std::wstring GetUserName() override { return L"anna"; }
  bool FileExists(const std::wstring& path) override {
    Calls.push_back(L"exists " + path);
    return EntryExists;
  }
  bool CreateHardLink(const std::wstring& existingFile, const std::wstring& newLink) override {
    Calls.push_back(L"hard " + existingFile + L" " + newLink);
    return HardLinkWorks;
  }
  bool CreateSymbolicLink(const std::wstring& target, const std::wstring& newLink) override {
    Calls.push_back(L"symbolic " + target + L" " + newLink);
    return true;
  }
};

// Puts a fake in for the length of a test.
class TToolsSwap {
public:
  explicit TToolsSwap(RefPtr<IPlatformTools> tools) : Previous(SetPlatformTools(std::move(tools))) {}
  ~TToolsSwap() { SetPlatformTools(Previous); }

private:
  RefPtr<IPlatformTools> Previous;
};

const std::wstring Entry = L"/home/anna/.local/share/applications/JomStart.desktop";
const std::wstring Link = L"/home/anna/Desktop/JomStart.desktop";

TEST(DesktopShortcut, AppImageLinksTheDesktopEntry) {
  struct TCase {
    const char* Name;
    bool Create, EntryExists, HardLinkWorks;
    std::vector<std::wstring> Calls;
  };
  const TCase cases[] = {
      {"unchecked", false, true, true, {}},
      {"no entry", true, false, true, {L"exists " + Entry}},
      {"hard link", true, true, true, {L"exists " + Entry, L"hard " + Entry + L" " + Link}},
      {"symbolic link when the hard link fails",
       true,
       true,
       false,
       {L"exists " + Entry, L"hard " + Entry + L" " + Link, L"symbolic " + Entry + L" " + Link}},
  };
  for (const TCase& c : cases) {
    RefPtr<TLinkTools> tools(new TLinkTools);
    tools->EntryExists = c.EntryExists;
    tools->HardLinkWorks = c.HardLinkWorks;
    {
      TToolsSwap swap(tools);
      CreateDesktopShortcut(c.Create, L"/opt/Tavrel.AppImage", L"Tavrel", L"Media server", L"C:\\Tavrel\\");
    }
    EXPECT_EQ(tools->Calls, c.Calls) << c.Name;
  }
}

TEST(DesktopShortcut, WindowsShortcutStartsJomExe) {
  // The kit's main file is another program; the shortcut still starts jom.exe.
  testsupport::TempDir folder("desktop");
  testsupport::WriteFile(folder.path() / "tavrel.exe", "MZ");
  testsupport::WriteFile(folder.path() / "jom.exe", "MZ");
  const std::wstring product = L"Tavrel test " + std::to_wstring(::GetCurrentProcessId());
  const std::wstring link = DesktopShortcutFile(GetShellFolderParsingName(3), product);
  ASSERT_FALSE(link.empty());

  CreateDesktopShortcut(false, {}, product, L"Media server", folder.dir());
  EXPECT_FALSE(PlatformTools().FileExists(link)) << "unchecked: no shortcut";

  CreateDesktopShortcut(true, {}, product, L"Media server", folder.dir());
  testsupport::TShellLinkContents contents;
  const bool read = testsupport::ReadShellLink(link, contents);
  ::DeleteFileW(link.c_str());
  ASSERT_TRUE(read);
  EXPECT_EQ(UpperCaseText(contents.Target), UpperCaseText(folder.file(L"jom.exe")));
  EXPECT_EQ(contents.Description, L"Media server");
  EXPECT_EQ(contents.Arguments, L"");
}

TEST(DesktopShortcut, ProductNameNeverLeadsOutOfTheDesktop) {
  EXPECT_EQ(DesktopShortcutFile(L"C:\\Users\\a\\Desktop", L"A/B:C"), L"C:\\Users\\a\\Desktop\\A_B_C.lnk");
  EXPECT_EQ(DesktopShortcutFile(L"C:\\Users\\a\\Desktop", L"..\\..\\x"), L"C:\\Users\\a\\Desktop\\.._.._x.lnk");
  EXPECT_EQ(DesktopShortcutFile(L"", L"Tavrel"), L"");
  EXPECT_EQ(DesktopShortcutFile(L"C:\\D", L"  "), L"");
}
}  // namespace
