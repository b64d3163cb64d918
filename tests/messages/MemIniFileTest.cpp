#include "setup/messages/MemIniFile.h"

#include <gtest/gtest.h>

namespace {

TEST(MemIniFile, ReadsSectionsAndKeysWithoutRegardToCase) {
  TMemIniFile ini;
  ini.SetStrings({L"orphan=dropped", L"  [Раздел] ", L"; comment", L"Ключ=  value with blanks  ", L"bare",
                  L"ключ=second", L"", L"[other]", L"a=1", L"[раздел]", L"late=yes"});
  EXPECT_EQ(ini.ReadString(L"раздел", L"КЛЮЧ", L"-"), L"  value with blanks  ") << "the first value, verbatim";
  EXPECT_EQ(ini.ReadString(L"Раздел", L"late", L"-"), L"yes") << "a repeated header continues the section";
  EXPECT_EQ(ini.ReadString(L"Раздел", L"bare", L"-"), L"");
  EXPECT_EQ(ini.ReadString(L"Раздел", L"orphan", L"-"), L"-");
  EXPECT_EQ(ini.ReadString(L"none", L"a", L"-"), L"-");
  EXPECT_TRUE(ini.SectionExists(L"OTHER"));
  EXPECT_TRUE(ini.ValueExists(L"other", L"A"));
  EXPECT_FALSE(ini.ValueExists(L"other", L"b"));

  ini.WriteString(L"OTHER", L"a", L"2");
  ini.WriteString(L"new", L"k", L"v");
  EXPECT_EQ(ini.GetStrings(), (std::vector<std::wstring>{L"[Раздел]", L"Ключ=  value with blanks  ", L"bare=",
                                                         L"ключ=second", L"late=yes", L"[other]", L"a=2", L"[new]",
                                                         L"k=v"}));
}

}  // namespace
