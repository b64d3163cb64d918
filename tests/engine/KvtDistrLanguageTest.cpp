// KvtDistr.dll speaks the language of setup.sln beside it, chosen by the
// user's locale (English here); without the file it keeps its Russian texts.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/UniqueHandle.h"
#include "setup/engine/KvtDistr.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using ExecuteFn = int32_t (*)(const wchar_t*, int32_t, void*, const TSetupFunctionParams*);

std::vector<std::wstring> Messages;
void RecordMessage(int32_t kind, const wchar_t* text, void*) {
  Messages.push_back(std::to_wstring(kind) + L":" + text);
}

TEST(KvtDistrLanguage, TheLocalizationFileBesideTheDllChoosesItsTexts) {
  struct Case {
    bool withLocalization;
    const wchar_t* format;  // the text with the kit folder before "instcfg.ini"
  };
  const Case cases[] = {
      {true, L"0:File %sinstcfg.ini not found"},
      {false, L"0:Файл %sinstcfg.ini не найден"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.withLocalization ? "with setup.sln" : "without setup.sln");
    testsupport::TempDir dir("lang");
    fs::copy_file(testsupport::ExecutableDir() / "KvtDistr.dll", dir.path() / "KvtDistr.dll");
    if (c.withLocalization) fs::copy_file(testsupport::ExecutableDir() / "setup.sln", dir.path() / "setup.sln");
    fs::create_directory(dir.path() / "Kit");
    const std::wstring kit = dir.dir() + L"Kit\\";
    {
      UniqueModule dll(::LoadLibraryW(dir.file(L"KvtDistr.dll").c_str()));
      ASSERT_TRUE(dll) << ::GetLastError();
      auto execute =
          reinterpret_cast<ExecuteFn>(reinterpret_cast<void*>(::GetProcAddress(dll.get(), "ExecuteSetupFunction")));
      ASSERT_NE(execute, nullptr);
      TSetupFunctionParams params{};
      params.Size = sizeof params;
      params.Automatic = 1;
      params.OnMessage = RecordMessage;
      Messages.clear();
      EXPECT_EQ(execute(kit.c_str(), sfStationSetup, nullptr, &params), 0);
    }
    std::wstring expected = c.format;
    expected.replace(expected.find(L"%s"), 2, kit);
    EXPECT_EQ(Messages, std::vector<std::wstring>{expected});
  }
}

}  // namespace
