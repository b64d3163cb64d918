// The setup.sln that the build writes from resources/lang, read back by the
// program's own reader.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>

#include "messages/FakePlatformTools.h"
#include "setup/distribution/TextCodec.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/MessageCatalogue.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/messages/SystemRuntimeMessages.h"
#include "setup/messages/XilSetupRuntimeMessages.h"
#include "support/TestSupport.h"

namespace {

std::string BinaryDir() {
  const char* binary = std::getenv("TAVREL_BINARY_DIR");
  return binary ? binary : ".";
}

std::wstring ShippedFile() { return Utf8ToWide(BinaryDir() + "/bin/setup.sln"); }

// The printf placeholders of a text in order: a translation must keep them.
std::string Placeholders(const std::wstring& text) {
  std::string result;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == L'%') result += static_cast<char>(text[++i]);
  }
  return result;
}

class ShippedLocalization : public ::testing::Test {
protected:
  void TearDown() override {
    RestoreDefaultMessages();
    SetLocalization(nullptr);
  }
  ScopedFakePlatform Platform{1033};
};

TEST_F(ShippedLocalization, HoldsTheRussianAndEnglishItemsWithEveryEntry) {
  TJomLocalization file;
  ASSERT_TRUE(file.LoadFromFile(ShippedFile()));
  ASSERT_EQ(file.Count(), 2);
  const TJomLocalizationItem* russian = file.FindById(RussianItemId);
  const TJomLocalizationItem* english = file.FindById(EnglishItemId);
  ASSERT_TRUE(russian && english);
  EXPECT_EQ(russian->Lcid, 1049);
  EXPECT_EQ(english->Lcid, 1033);
  EXPECT_EQ(russian->Translit.Count(), 66);
  EXPECT_EQ(english->Translit.Count(), 0);

  for (const TMessageCatalogue* catalogue : MessageCatalogues()) {
    for (const auto& entry : catalogue->Entries) {
      SCOPED_TRACE(WideToUtf8(entry.Name));
      const std::wstring ru = russian->ReadString(catalogue->GroupName, entry.Name, L"");
      const std::wstring en = english->ReadString(catalogue->GroupName, entry.Name, L"");
      EXPECT_EQ(DecodeCharCodes(ru), DecodeCharCodes(std::wstring(entry.Default))) << "Russian carries the defaults";
      ASSERT_FALSE(en.empty());
      EXPECT_EQ(Placeholders(DecodeCharCodes(en)), Placeholders(DecodeCharCodes(ru)));
    }
  }
}

// Reader and writer share the stream helper, so a fault common to both would
// survive a round trip; the start of the payload is checked byte by byte.
TEST_F(ShippedLocalization, PayloadStartsWithTheDocumentedBytes) {
  const std::string file = testsupport::ReadFile(BinaryDir() + "/bin/setup.sln");
  ASSERT_GT(file.size(), 4u);
  EXPECT_EQ(file.substr(0, 4), "SETL");
  std::string payload(1 << 20, '\0');
  z_stream z{};
  ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(file.data() + 4));
  z.avail_in = static_cast<uInt>(file.size() - 4);
  z.next_out = reinterpret_cast<Bytef*>(payload.data());
  z.avail_out = static_cast<uInt>(payload.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  payload.resize(z.total_out);
  inflateEnd(&z);
  std::string expected("\x03\0\0\0"      // version 3
                       "\x02\0\0\0"      // two items
                       "\x19\x04\0\0"    // 1049
                       "\x20\0\0\0",     // an identifier of 32 code units
                       16);
  for (char c : std::string("9BB7FC382B284063B58F7FF661A6ACBD")) expected += std::string{c, '\0'};
  expected += std::string("\x42\0\0\0", 4);  // 66 transliteration pairs
  expected += std::string("\x01\0\0\0\x10\x04", 6);  // "А"
  ASSERT_GE(payload.size(), expected.size());
  EXPECT_EQ(payload.substr(0, expected.size()), expected);
}

TEST_F(ShippedLocalization, BindsTheChosenLanguage) {
  struct Case {
    std::vector<std::wstring> arguments;
    std::uint32_t userLcid;
    const wchar_t* yes;
    const wchar_t* exit;
  } cases[] = {
      {{L"setup.exe", L"/LANGUAGE:1033"}, 1049, L"Yes", L"Exit"},
      {{L"setup.exe", L"/LANGUAGE:1049"}, 1033, L"Да", L"Выход"},
      {{L"setup.exe"}, 1049, L"Да", L"Выход"},
      {{L"setup.exe"}, 1031, L"Yes", L"Exit"},
      {{L"setup.exe", L"/language", L"2057"}, 1049, L"Yes", L"Exit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.arguments.back()) + " user " + std::to_string(c.userLcid));
    Platform->UserLcid = c.userLcid;
    auto localization = std::make_unique<TJomLocalization>();
    ASSERT_TRUE(localization->LoadFromFile(ShippedFile()));
    SetLocalization(std::move(localization));
    RestoreDefaultMessages();
    ApplyLocalization(c.arguments);
    EXPECT_EQ(rsButtonYes, c.yes);
    EXPECT_EQ(rsSetupDialogExit, c.exit);
    EXPECT_EQ(std::count(rsSetupDialogUpdateFiles.begin(), rsSetupDialogUpdateFiles.end(), L'\0'), 4);
    EXPECT_EQ(rsSetupDialogUpdateFiles.back(), L'\0');
    EXPECT_EQ(rsSetupDialogRunProgramQuestion[0], L' ') << "the leading blank survives the file";
  }
}

}  // namespace

#ifndef _WIN32
// The build tool runs natively only; it must refuse texts that would leave
// a shipped language with a built-in Russian text.
namespace {

int RunBuilder(const std::string& output, const std::string& ini) {
  const std::string command = "'" + BinaryDir() + "/bin/SlnBuilder' '" + output + "' '" + ini + "' 2>/dev/null";
  return std::system(command.c_str());
}

TEST(SlnBuilder, RefusesIncompleteOrUnknownEntries) {
  testsupport::TempDir dir("slnb");
  const char* source = std::getenv("TAVREL_SOURCE_DIR");
  const std::string english = testsupport::ReadFile(std::string(source ? source : ".") + "/resources/lang/en.ini");
  const std::string output = (dir.path() / "out.sln").string();
  const std::string ini = (dir.path() / "x.ini").string();

  testsupport::WriteFile(ini, english);
  ASSERT_EQ(RunBuilder(output, ini), 0);
  TJomLocalization file;
  ScopedFakePlatform platform(1033);
  ASSERT_TRUE(file.LoadFromFile(Utf8ToWide(output)));
  EXPECT_EQ(file.Count(), 1);

  const std::pair<const char*, std::string> broken[] = {
      {"entry missing", std::regex_replace(english, std::regex("rsButtonNo=No\n"), "")},
      {"entry empty", std::regex_replace(english, std::regex("rsButtonNo=No\n"), "rsButtonNo=\n")},
      {"unknown entry", english + "rsButtonMaybe=Maybe\n"},
      {"no identifier", std::regex_replace(english, std::regex("Id=.*\n"), "")},
  };
  for (const auto& [what, text] : broken) {
    SCOPED_TRACE(what);
    testsupport::WriteFile(ini, text);
    EXPECT_NE(RunBuilder(output, ini), 0);
    EXPECT_FALSE(std::filesystem::exists(output)) << "no half-written file is left";
  }
}

}  // namespace
#endif
