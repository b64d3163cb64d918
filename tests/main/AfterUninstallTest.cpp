#include "setup/main/AfterUninstall.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/ui/GuiIntfTypes.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {
using namespace testsupport;

// Answers every Confirm with the test's answer and records the questions.
class TAnsweringGuiTools : public TRefCountedObject<IGuiTools> {
public:
  bool Answer = false;
  std::vector<std::pair<std::wstring, std::wstring>> Questions;

  void CenterWindow(WindowHandle, WindowHandle, bool) override {}
  std::int32_t ShowMessage(TMessageKind, const std::wstring&, const std::wstring&, bool) override { return 1; }
  void RefreshTrayArea() override {}
  bool Confirm(const std::wstring& text, const std::wstring& caption, bool, WindowHandle) override {
    Questions.emplace_back(text, caption);
    return Answer;
  }
  std::int32_t MessageBox(const std::wstring&, std::uint32_t, const std::wstring&) override { return 0; }
};

// A file with the folders above it.
void Put(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  WriteFile(file, bytes);
}

TEST(AfterUninstall, DataFilesGoOnlyWhenTheUserAgreesAndTheDesktopShortcutAlways) {
  struct TCase {
    const char* Name;
    bool CommonExists, LocalExists, Answer;
    bool Asked, DataDeleted;
  };
  const TCase cases[] = {
      {"both folders, yes", true, true, true, true, true},
      {"both folders, no", true, true, false, true, false},
      {"only the local folder, yes", false, true, true, true, true},
      {"no data folder", false, false, true, false, false},
  };
  const char* const windowsFiles[] = {"jom.ini", "jomsvc.ini", "jomsetup.ini"};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir temp("after uninstall");
    TAfterUninstallFolders folders{temp.dir() + L"Common\\Tavrel", temp.dir() + L"Local\\Tavrel",
                                   temp.dir() + L"Windows\\", temp.dir() + L"Desktop"};
    fs::create_directories(temp.path() / "Common");
    fs::create_directories(temp.path() / "Local");
    if (c.CommonExists) Put(temp.path() / "Common" / "Tavrel" / "jomsetup.ini", "[JOM]");
    if (c.LocalExists) Put(temp.path() / "Local" / "Tavrel" / "cache" / "thumbs.db", "thumbs");
    for (const char* name : windowsFiles) Put(temp.path() / "Windows" / name, "[Settings]");
    WriteFile(temp.path() / "Windows" / "other.ini", "[Other]");
    Put(temp.path() / "Desktop" / "Tavrel.lnk", "a link");
    WriteFile(temp.path() / "Desktop" / "Other.lnk", "another link");

    auto gui = MakeRef<TAnsweringGuiTools>();
    gui->Answer = c.Answer;
    const RefPtr<IGuiTools> previous = SetGuiTools(gui);
    CleanUpAfterUninstall(L"Tavrel", L"Установка Tavrel", nullptr, folders);
    SetGuiTools(previous);

    if (c.Asked) {
      ASSERT_EQ(gui->Questions.size(), 1u);
      EXPECT_EQ(gui->Questions[0].first, L"Удалить файлы данных програмы ?");
      EXPECT_EQ(gui->Questions[0].second, L"Установка Tavrel");
    } else {
      EXPECT_TRUE(gui->Questions.empty());
    }
    EXPECT_EQ(fs::exists(temp.path() / "Common" / "Tavrel"), c.CommonExists && !c.DataDeleted);
    EXPECT_EQ(fs::exists(temp.path() / "Local" / "Tavrel"), c.LocalExists && !c.DataDeleted);
    EXPECT_TRUE(fs::exists(temp.path() / "Local")) << "the application-data folder itself stays";
    for (const char* name : windowsFiles)
      EXPECT_EQ(fs::exists(temp.path() / "Windows" / name), !c.DataDeleted) << name;
    EXPECT_TRUE(fs::exists(temp.path() / "Windows" / "other.ini"));
    EXPECT_FALSE(fs::exists(temp.path() / "Desktop" / "Tavrel.lnk"));
    EXPECT_TRUE(fs::exists(temp.path() / "Desktop" / "Other.lnk"));
  }
}

}  // namespace
