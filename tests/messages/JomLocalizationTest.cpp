#include "setup/messages/JomLocalizationTypes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "messages/FakePlatformTools.h"
#include "setup/distribution/StreamHelper.h"
#include "setup/distribution/TextCodec.h"
#include "setup/messages/LocalizationStartup.h"
#include "support/TestSupport.h"

namespace {

std::wstring Fixture(const std::string& name) {
  const char* source = std::getenv("TAVREL_SOURCE_DIR");
  return Utf8ToWide(std::string(source ? source : ".") + "/tests/messages/fixtures/" + name);
}

std::vector<std::uint8_t> RawDeflate(const std::vector<std::uint8_t>& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// "SETL" followed by the raw-deflated payload.
TMemoryStream SlnOf(const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> file = {'S', 'E', 'T', 'L'};
  const auto packed = RawDeflate(payload);
  file.insert(file.end(), packed.begin(), packed.end());
  return TMemoryStream(file);
}

std::vector<std::uint8_t> Payload(const std::function<void(TStreamHelper&)>& write) {
  TMemoryStream stream;
  TStreamHelper writer(nullptr, &stream);
  write(writer);
  return stream.Bytes();
}

std::unique_ptr<TJomLocalization> WithItems(std::initializer_list<std::int32_t> lcids) {
  auto localization = std::make_unique<TJomLocalization>();
  for (std::int32_t lcid : lcids) {
    auto item = std::make_unique<TJomLocalizationItem>(localization.get());
    item->Lcid = lcid;
    if (lcid == 1049) item->Id = RussianItemId;
    if (lcid == 1033) item->Id = EnglishItemId;
    localization->AddItem(std::move(item));
  }
  return localization;
}

// The fixtures were written by hand from the file layout, independently of
// the writer: v1 holds items 1049 and 1033 without identifiers; v2 items
// 1049 (the Russian identifier) and 1031; v3 items 1049 with a two-pair
// transliteration table and 1033 with none.
TEST(JomLocalization, ReadsEveryFormatVersion) {
  ScopedFakePlatform platform(1033);
  TJomLocalization v1;
  ASSERT_TRUE(v1.LoadFromFile(Fixture("v1.sln")));
  ASSERT_EQ(v1.Count(), 2);
  EXPECT_EQ(v1.Strings(0), L"$00000419");
  EXPECT_EQ(v1.Strings(1), L"$00000409");
  EXPECT_EQ(v1.RussianItem, v1.Objects(0));
  EXPECT_EQ(v1.EnglishItem, v1.Objects(1));
  EXPECT_EQ(v1.Objects(0)->ReadText(L"systemruntimemessages", L"RSBUTTONYES", L"-"), L"Да!");
  EXPECT_EQ(v1.Objects(0)->Translit.Count(), 66) << "the Russian item of an old file gets the default table";
  EXPECT_EQ(v1.Objects(1)->Translit.Count(), 0);
  EXPECT_EQ(v1.Objects(0)->FileName, Fixture("v1.sln"));
  const std::wstring firstId = v1.Objects(0)->Id;
  ASSERT_TRUE(v1.LoadFromFile(Fixture("v1.sln")));
  EXPECT_NE(v1.Objects(0)->Id, firstId) << "version 1 items get a fresh identifier on every load";
  EXPECT_EQ(v1.FindById(RussianItemId), nullptr);

  TJomLocalization v2;
  ASSERT_TRUE(v2.LoadFromFile(Fixture("v2.sln")));
  EXPECT_EQ(v2.FindById(RussianItemId), v2.Objects(0));
  EXPECT_EQ(v2.Objects(1)->Id, L"0123456789ABCDEF0123456789ABCDEF");
  EXPECT_EQ(v2.Objects(0)->Translit.Count(), 66);
  EXPECT_EQ(v2.Objects(1)->Translit.Count(), 0);
  EXPECT_EQ(v2.EnglishItem, nullptr);

  TJomLocalization v3;
  ASSERT_TRUE(v3.LoadFromFile(Fixture("v3.sln")));
  const TJomLocalizationItem& russian = *v3.FindByLcid(1049);
  ASSERT_EQ(russian.Translit.Count(), 2) << "a stored table replaces the default";
  EXPECT_EQ(russian.Translit[0]->Key, L"Ж");
  EXPECT_EQ(russian.Translit[1]->Key, L"ab") << "stored pairs are taken as they are";
  EXPECT_EQ(russian.ReadText(L"XilSetupRuntimeMessages", L"rsSetupDialogExit", L"-"), L"Выход!");
  EXPECT_EQ(russian.ReadText(L"SetupRuntimeMessages", L"rsFileNotFound", L"-"), L" Нет файла %s#33");
  EXPECT_EQ(v3.FindById(EnglishItemId), v3.FindByLcid(1033));
}

TEST(JomLocalization, DefaultTransliterationTable) {
  TJomTranslit table;
  table.LoadDefault();
  ASSERT_EQ(table.Count(), 66);
  const std::pair<std::wstring, std::wstring> samples[] = {
      {L"А", L"A"}, {L"Ж", L"Zh"}, {L"Щ", L"Shh"}, {L"Ъ", L"#"}, {L"Ь", L"`"}, {L"Я", L"Ya"},
      {L"а", L"a"}, {L"щ", L"shh"}, {L"ъ", L""},  {L"ь", L""},  {L"э", L"je"}, {L"Ё", L"Yo"}, {L"ё", L"yo"}};
  for (const auto& [key, value] : samples) {
    int found = 0;
    for (int i = 0; i < table.Count(); ++i) {
      if (table[i]->Key == key) {
        EXPECT_EQ(table[i]->Value, value) << WideToUtf8(key);
        ++found;
      }
    }
    EXPECT_EQ(found, 1) << WideToUtf8(key);
  }
  EXPECT_EQ(table[0]->Key, L"А");
  EXPECT_EQ(table[32]->Key, L"а");
  EXPECT_EQ(table[64]->Key, L"Ё");
  EXPECT_FALSE(table.Add(L"ab", L"x")) << "entries added one by one need a one-character key";
  EXPECT_FALSE(table.Add(L"", L"x"));
  EXPECT_TRUE(table.Add(L"q", L"x"));
}

TEST(JomLocalization, WriterAndReaderAgree) {
  ScopedFakePlatform platform(1033);
  auto written = WithItems({1049, 1033, 1031});
  written->Objects(0)->Translit.LoadDefault();
  written->Objects(1)->SetStrings({L"[SetupRuntimeMessages]", L"rsFileNotFound=File %s not found", L"x=  blanks  "});
  TMemoryStream stream;
  written->SaveToStream(stream);
  stream.SetPosition(0);

  TJomLocalization read;
  ASSERT_TRUE(read.LoadFromStream(stream));
  ASSERT_EQ(read.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(read.Objects(i)->Lcid, written->Objects(i)->Lcid);
    EXPECT_EQ(read.Objects(i)->Id, written->Objects(i)->Id);
    EXPECT_EQ(read.Objects(i)->GetStrings(), written->Objects(i)->GetStrings());
    EXPECT_EQ(read.Objects(i)->Translit.Count(), written->Objects(i)->Translit.Count());
  }
  EXPECT_EQ(read.Objects(1)->ReadText(L"SetupRuntimeMessages", L"x", L""), L"  blanks  ");
}

TEST(JomLocalization, VersionsOutsideTheRangeReadAsTheNearestOne) {
  ScopedFakePlatform platform(1033);
  for (std::int32_t version : {0, -5, 4, 1000}) {
    SCOPED_TRACE(version);
    auto payload = Payload([&](TStreamHelper& w) {
      w.WriteInteger(version);
      w.WriteInteger(1);
      w.WriteInteger(1049);
      if (version > 3) {
        w.WriteString(RussianItemId);
        w.WriteInteger(0);
      }
      w.WriteStrings(std::vector<std::wstring>{L"[a]", L"b=c"});
    });
    auto stream = SlnOf(payload);
    TJomLocalization localization;
    ASSERT_TRUE(localization.LoadFromStream(stream));
    EXPECT_EQ(localization.Objects(0)->ReadText(L"a", L"b", L""), L"c");
    EXPECT_EQ(localization.Objects(0)->Translit.Count(), version > 3 ? 0 : 66);
  }
}

// A damaged file must leave the program on its built-in texts: no items, no
// crash, nothing allocated from a length the file cannot back.
TEST(JomLocalization, DamagedFilesLeaveNoItems) {
  ScopedFakePlatform platform(1033);
  const auto good = Payload([](TStreamHelper& w) {
    w.WriteInteger(3);
    w.WriteInteger(1);
    w.WriteInteger(1033);
    w.WriteString(EnglishItemId);
    w.WriteInteger(0);
    w.WriteStrings(std::vector<std::wstring>{L"[a]", L"b=c"});
  });
  struct Case {
    const char* what;
    std::vector<std::uint8_t> file;
  };
  std::vector<Case> cases;
  {
    auto whole = SlnOf(good).Bytes();
    cases.push_back({"deflate stream cut short", {whole.begin(), whole.end() - 6}});
    auto flipped = whole;
    flipped[4] ^= 0xFF;
    cases.push_back({"deflate stream damaged", flipped});
    cases.push_back({"signature only", {'S', 'E', 'T', 'L'}});
  }
  cases.push_back({"payload cut in an item", SlnOf({good.begin(), good.end() - 3}).Bytes()});
  cases.push_back({"negative item count", SlnOf(Payload([](TStreamHelper& w) {
                                             w.WriteInteger(3);
                                             w.WriteInteger(-1);
                                           })).Bytes()});
  cases.push_back({"huge item count", SlnOf(Payload([](TStreamHelper& w) {
                                         w.WriteInteger(3);
                                         w.WriteInteger(0x7FFFFFFF);
                                         w.WriteInteger(1033);
                                       })).Bytes()});
  cases.push_back({"huge line count", SlnOf(Payload([](TStreamHelper& w) {
                                         w.WriteInteger(1);
                                         w.WriteInteger(1);
                                         w.WriteInteger(1033);
                                         w.WriteInteger(0x40000000);
                                       })).Bytes()});
  cases.push_back({"huge transliteration count", SlnOf(Payload([](TStreamHelper& w) {
                                                   w.WriteInteger(3);
                                                   w.WriteInteger(1);
                                                   w.WriteInteger(1033);
                                                   w.WriteString(L"");
                                                   w.WriteInteger(0x7FFFFFFF);
                                                 })).Bytes()});
  cases.push_back({"payload inflating beyond any text file", SlnOf(std::vector<std::uint8_t>(80u << 20, 0)).Bytes()});
  // Four bytes of payload each, many times that once decoded.
  cases.push_back({"a million empty lines", SlnOf(Payload([](TStreamHelper& w) {
                                              w.WriteInteger(1);
                                              w.WriteInteger(1);
                                              w.WriteInteger(1033);
                                              w.WriteStrings(std::vector<std::wstring>(1u << 20));
                                            })).Bytes()});

  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TJomLocalization localization;
    localization.AddItem(std::make_unique<TJomLocalizationItem>(&localization));
    TMemoryStream stream(c.file);
    EXPECT_FALSE(localization.LoadFromStream(stream));
    EXPECT_EQ(localization.Count(), 0);
    EXPECT_FALSE(localization.LoadError.empty());
    EXPECT_NE(LocalizationProblemText(localization).find(L"повреждён"), std::wstring::npos);
    EXPECT_EQ(localization.CurrentItem(), nullptr);
  }
}

TEST(JomLocalization, WrongSignatureChangesNothing) {
  ScopedFakePlatform platform(1033);
  auto localization = WithItems({1033});
  for (std::vector<std::uint8_t> file : {std::vector<std::uint8_t>{'S', 'E', 'T', 'X', 1, 2},
                                         std::vector<std::uint8_t>{'S', 'E'}, std::vector<std::uint8_t>{}}) {
    TMemoryStream stream(file);
    EXPECT_FALSE(localization->LoadFromStream(stream));
    EXPECT_EQ(localization->Count(), 1);
    EXPECT_TRUE(localization->LoadError.empty());
    EXPECT_EQ(LocalizationProblemText(*localization), L"") << "a wrong signature is silent";
  }
  testsupport::TempDir dir("sln");
  EXPECT_FALSE(localization->LoadFromFile((dir.path() / "missing.sln").wstring()));
  EXPECT_EQ(localization->Count(), 1);
}

TEST(JomLocalization, OversizedFileIsNotLoadedIntoMemory) {
  ScopedFakePlatform platform(1033);
  testsupport::TempDir dir("big");
  const auto path = dir.path() / "setup.sln";
  testsupport::WriteFile(path, "SETL");
  std::filesystem::resize_file(path, (64u << 20) + 1);
  TJomLocalization localization;
  EXPECT_FALSE(localization.LoadFromFile(path.wstring()));
  EXPECT_FALSE(LocalizationProblemText(localization).empty());
}

TEST(JomLocalization, LanguageCodes) {
  EXPECT_EQ(LanguageCodeOf(1049), L"$00000419");
  EXPECT_EQ(LanguageCodeOf(1033), L"$00000409");
  EXPECT_EQ(LanguageCodeOf(-1), L"$FFFFFFFF");
  ScopedFakePlatform platform(1049);
  TJomLocalization empty;
  EXPECT_EQ(empty.CurrentItem(), nullptr);
  EXPECT_EQ(empty.CurrentLcid(), 1049);
  EXPECT_EQ(empty.LanguageCode(), L"$00000419");
  platform->UserLcid = 1031;
  EXPECT_EQ(empty.CurrentLcid(), 1033);
  EXPECT_FALSE(empty.SelectByLcid(1049));
  EXPECT_FALSE(empty.SelectById(RussianItemId));
}

TEST(JomLocalization, LanguageChoice) {
  struct Case {
    const char* what;
    std::uint32_t userLcid;
    std::initializer_list<std::int32_t> items;
    std::optional<std::wstring> switchValue;  // none: chosen by the user's locale
    std::int32_t chosen;
  } cases[] = {
      {"2057 finds the English item by language name", 1049, {1049, 1033}, L"2057", 1033},
      {"\"=\" before the number counts as 0", 1049, {1033, 1049}, L"=1033", 1049},
      {"\"=\" before the number, English user", 1033, {1049, 1033}, L"=1033", 1033},
      {"Russian user, only a German item: the first item", 1049, {1031}, std::nullopt, 1031},
      {"German user with Russian and English: English", 1031, {1049, 1033}, std::nullopt, 1033},
      {"Austrian German finds German by name", 1049, {1049, 1031}, L"3079", 1031},
      {"hexadecimal switch", 1049, {1049, 1033}, L"$409", 1033},
      {"unknown locale without a name, Russian user", 1049, {1033, 1049}, L"12345", 1049},
      {"exact locale", 1033, {1049, 1031}, L"1031", 1031},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedFakePlatform platform(c.userLcid);
    auto localization = WithItems(c.items);
    const bool found = c.switchValue ? localization->SelectByLcid(LanguageSwitchValue(*c.switchValue))
                                     : localization->SelectById(std::nullopt);
    EXPECT_TRUE(found);
    EXPECT_EQ(localization->CurrentLcid(), c.chosen);
    EXPECT_EQ(localization->CurrentId, localization->CurrentItem()->Id);
  }
  ScopedFakePlatform platform(1031);
  auto localization = WithItems({1049, 1033});
  EXPECT_EQ(localization->LanguageCode(), L"$00000409") << "chosen on first use";
}

TEST(JomLocalization, ShippedIdentifiersWinOverLocales) {
  ScopedFakePlatform platform(1049);
  auto localization = WithItems({1031, 1049});
  auto second = std::make_unique<TJomLocalizationItem>(localization.get());
  second->Lcid = 1049;
  localization->AddItem(std::move(second));
  EXPECT_EQ(localization->RussianItem, localization->Objects(2)) << "the last item of a locale";
  ASSERT_TRUE(localization->SelectByLcid(0));
  EXPECT_EQ(localization->CurrentItem(), localization->Objects(1)) << "found by the Russian identifier";
  ASSERT_TRUE(localization->SelectById(localization->Objects(2)->Id));
  EXPECT_EQ(localization->CurrentItem(), localization->Objects(2));
  EXPECT_TRUE(localization->SelectById(L"no such id"));
  EXPECT_EQ(localization->CurrentItem(), localization->Objects(1)) << "unknown identifier: by the user's locale";
}

TEST(JomLocalization, LanguageSwitchForms) {
  const struct {
    std::vector<std::wstring> arguments;
    std::optional<std::wstring> value;
    std::int32_t number;
  } cases[] = {
      {{L"setup.exe", L"-LANGUAGE:1033"}, L"1033", 1033},
      {{L"setup.exe", L"/language", L"1033"}, L"1033", 1033},
      {{L"setup.exe", L"/LANGUAGE$409"}, L"$409", 1033},
      {{L"setup.exe", L"/Language:0x419"}, L"0x419", 1049},
      {{L"setup.exe", L"/LANGUAGE:x40A"}, L"x40A", 1034},
      {{L"setup.exe", L"/LANGUAGE"}, L"", 0},
      {{L"setup.exe", L"/LANGUAGE", L"/WINE"}, L"", 0},
      {{L"setup.exe", L"/LANGUAGE", L"-1"}, L"", 0},
      {{L"setup.exe", L"/LANGUAGE=1033"}, L"=1033", 0},
      {{L"setup.exe", L"/LANGUAGE:"}, L"", 0},
      {{L"setup.exe", L"/LANGUAGE:abc"}, L"abc", 0},
      {{L"setup.exe", L"/LANGUAGE:99999999999"}, L"99999999999", 0},
      {{L"setup.exe", L"/LANGUAGE:1049", L"-language:1033"}, L"1049", 1049},
      {{L"setup.exe", L"LANGUAGE:1033"}, std::nullopt, 0},
      {{L"/LANGUAGE:1033"}, std::nullopt, 0},
      {{L"setup.exe", L"/LANG:1033"}, std::nullopt, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.arguments.back()));
    const auto value = FindLanguageSwitch(c.arguments);
    EXPECT_EQ(value, c.value);
    if (value) {
      EXPECT_EQ(LanguageSwitchValue(*value), c.number);
    }
  }
}

}  // namespace
