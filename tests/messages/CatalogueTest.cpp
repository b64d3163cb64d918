#include "setup/messages/MessageCatalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "messages/FakePlatformTools.h"
#include "setup/distribution/TextCodec.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/messages/SystemRuntimeMessages.h"
#include "setup/messages/XilSetupRuntimeMessages.h"

namespace {

// The catalogue as written in the product description: entry name, a tab,
// then the text in double quotes with "" for a quote, \r\n for CR LF and \0
// for NUL.
std::vector<std::pair<std::wstring, std::wstring>> ReadDescriptionTable(const std::string& group) {
  const char* source = std::getenv("TAVREL_SOURCE_DIR");
  std::ifstream in(std::string(source ? source : ".") + "/tests/messages/fixtures/" + group + ".txt", std::ios::binary);
  std::vector<std::pair<std::wstring, std::wstring>> table;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t tab = line.find('\t');
    const std::wstring quoted = Utf8ToWide(line.substr(tab + 2, line.size() - tab - 3));
    std::wstring text;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
      if (quoted.compare(i, 2, L"\"\"") == 0) {
        text += L'"';
        ++i;
      } else if (quoted.compare(i, 4, L"\\r\\n") == 0) {
        text += L"\r\n";
        i += 3;
      } else if (quoted.compare(i, 2, L"\\0") == 0) {
        text += L'\0';
        ++i;
      } else {
        text += quoted[i];
      }
    }
    table.emplace_back(Utf8ToWide(line.substr(0, tab)), text);
  }
  return table;
}

class Catalogues : public ::testing::Test {
protected:
  void SetUp() override { RestoreDefaultMessages(); }
  void TearDown() override {
    RestoreDefaultMessages();
    SetLocalization(nullptr);
  }
};

TEST_F(Catalogues, HoldEveryEntryInOrderWithItsDefaultText) {
  const std::pair<const char*, std::size_t> expected[] = {
      {"XilSetupRuntimeMessages", 43}, {"SystemRuntimeMessages", 21}, {"SetupRuntimeMessages", 88}};
  ASSERT_EQ(MessageCatalogues().size(), 3u);
  for (std::size_t c = 0; c < 3; ++c) {
    const TMessageCatalogue& catalogue = *MessageCatalogues()[c];
    SCOPED_TRACE(expected[c].first);
    EXPECT_EQ(catalogue.GroupName, Utf8ToWide(expected[c].first));
    const auto table = ReadDescriptionTable(expected[c].first);
    ASSERT_EQ(table.size(), expected[c].second);
    ASSERT_EQ(catalogue.Entries.size(), expected[c].second);
    std::set<std::wstring> names;
    for (std::size_t i = 0; i < table.size(); ++i) {
      const TCatalogueEntry& entry = catalogue.Entries[i];
      EXPECT_EQ(entry.Name, table[i].first) << "entry " << i + 1;
      EXPECT_EQ(*entry.Variable, table[i].second) << WideToUtf8(table[i].first);
      EXPECT_TRUE(names.insert(entry.Name).second) << "duplicate name";
    }
  }
  EXPECT_EQ(rsSetupDialogUpdateFiles.size(), 47u) << "the filter keeps its NUL separators";
  EXPECT_EQ(rsDeleteFilesConfirmation.substr(0, 3), L"Bce") << "Latin look-alike letters kept as written";
}

TEST_F(Catalogues, DecodeCharCodesCases) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"без кодов", L"без кодов"},
      {L"a#13#10b", L"a\r\nb"},
      {L"#1310", std::wstring(1, wchar_t(1310))},
      {L"#x", L"#x"},
      {L"end#", L"end#"},
      {L"##13", L"#\r"},
      {L"#65#66C", L"ABC"},
      {L"#1049", L"\u0419"},
      {L"#65601", L"A"},  // 65601 = 0x10041: the low 16 bits
      {L"#0", std::wstring(1, L'\0')},
  };
  for (const auto& [text, decoded] : cases) EXPECT_EQ(DecodeCharCodes(text), decoded) << WideToUtf8(text);
  // A run too long for any integer still gives one character and goes on.
  EXPECT_EQ(DecodeCharCodes(L"#99999999999999999999999!").size(), 2u);
  EXPECT_EQ(DecodeCharCodes(L"#4294967361"), L"A") << "4294967361 = 2^32 + 65";
}

TEST_F(Catalogues, FormatTextFillsPlaceholdersInOrder) {
  EXPECT_EQ(FormatText(rsDistributionCreationCopyError, {5, L"a", L"b"}), L"Ошибка (5) копирования файла a => b");
  EXPECT_EQ(FormatText(rsRegOleCallError, {std::int64_t{0x8000FFFF}, L"f", L"m", L"t"}),
            L"Ошибка (8000FFFF) вызова функции f в \"m: t\"");
  EXPECT_EQ(FormatText(L"%s and %s, 100%%", {L"one"}), L"one and %s, 100%") << "missing arguments stay visible";
  EXPECT_EQ(FormatText(L"%q %", {L"x"}), L"%q %");
  EXPECT_EQ(FormatText(L"%d", {L"text"}), L"text");
}

TEST_F(Catalogues, WithoutLocalizationDefaultsAreDecoded) {
  ScopedFakePlatform platform(1049);
  SetLocalization(std::make_unique<TJomLocalization>());
  ApplyLocalization({L"setup.exe"});
  EXPECT_NE(rsSaveUserSettings.find(L"\".\r\nУстановить"), std::wstring::npos);
  EXPECT_EQ(rsSaveUserSettings.find(L"#13"), std::wstring::npos);
  EXPECT_EQ(rsButtonYes, L"Да");
  EXPECT_EQ(rsSetupDeleteFileFailed, L"Удаление файла: %s\r\nСообщение: %s.");
}

// Items 1049, 1033 and 1031; the German one lacks some texts and has one
// empty value.
std::unique_ptr<TJomLocalization> ThreeLanguages() {
  auto localization = std::make_unique<TJomLocalization>();
  const std::pair<std::int32_t, std::vector<std::wstring>> items[] = {
      {1049, {L"[SystemRuntimeMessages]", L"rsButtonNo=НЕТ"}},
      {1033,
       {L"[SystemRuntimeMessages]", L"rsButtonYes=Yes", L"rsButtonNo=No", L"rsButtonAll=All",
        L"[SetupRuntimeMessages]", L"rsSaveUserSettings=Keep#13#10settings?"}},
      {1031, {L"[SystemRuntimeMessages]", L"rsButtonYes=Ja", L"rsButtonAll=", L"rsbuttonclose=Schlie#223en"}},
  };
  for (const auto& [lcid, lines] : items) {
    auto item = std::make_unique<TJomLocalizationItem>(localization.get());
    item->Lcid = lcid;
    item->SetStrings(lines);
    localization->AddItem(std::move(item));
  }
  return localization;
}

TEST_F(Catalogues, BindingTakesTheItemTextWithTheEnglishFallback) {
  ScopedFakePlatform platform(1033);
  auto localization = ThreeLanguages();
  const auto& entries = SystemRuntimeMessagesCatalogue().Entries;

  BindCatalogue(localization->FindByLcid(1031), L"SystemRuntimeMessages", entries);
  EXPECT_EQ(rsButtonYes, L"Ja");
  EXPECT_EQ(rsButtonNo, L"No") << "missing: the English text";
  EXPECT_EQ(rsButtonAll, L"All") << "empty counts as missing";
  EXPECT_EQ(rsButtonClose, L"Schließen") << "key case ignored, codes decoded";
  EXPECT_EQ(rsButtonCancel, L"Отмена") << "missing in both: the default";

  RestoreDefaultMessages();
  BindCatalogue(localization->FindByLcid(1049), L"SystemRuntimeMessages", entries);
  EXPECT_EQ(rsButtonNo, L"НЕТ");
  EXPECT_EQ(rsButtonYes, L"Да") << "a Russian item never falls back to English";

  RestoreDefaultMessages();
  BindCatalogue(nullptr, L"SystemRuntimeMessages", entries);
  EXPECT_EQ(rsButtonNo, L"Нет");
}

TEST_F(Catalogues, ApplyLocalizationFollowsTheSwitch) {
  ScopedFakePlatform platform(1049);
  SetLocalization(ThreeLanguages());
  ApplyLocalization({L"setup.exe", L"/STARTDIR", L"C:\\kit", L"-language:1033"});
  EXPECT_EQ(Localization().CurrentLcid(), 1033);
  EXPECT_EQ(rsButtonYes, L"Yes");
  EXPECT_EQ(rsSaveUserSettings, L"Keep\r\nsettings?");
  EXPECT_EQ(rsFileNotFound, L"Файл %s не найден") << "no English text: the default";
}

}  // namespace
