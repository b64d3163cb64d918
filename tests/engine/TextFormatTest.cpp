#include <gtest/gtest.h>

#include "setup/engine/SetupIniFile.h"
#include "setup/engine/TextFormat.h"

namespace {

TEST(FormatText, FillsPlaceholdersInOrder) {
  EXPECT_EQ(FormatText(L"Копирование: %s => %s", {L"a", L"b"}), L"Копирование: a => b");
  EXPECT_EQ(FormatText(L"%s\r\nСообщение: %s.", {L"x"}), L"x\r\nСообщение: .");
  EXPECT_EQ(FormatText(L"100%% of %s", {L"%s", L"extra"}), L"100% of %s");
  EXPECT_EQ(FormatText(L"trailing %", {}), L"trailing %");
  EXPECT_EQ(FormatText(L"%d stays", {L"a"}), L"%d stays");
}

TEST(SplitUtf8Lines, AnyLineEndWithOrWithoutByteOrderMark) {
  using Lines = std::vector<std::wstring>;
  EXPECT_EQ(SplitUtf8Lines("\xEF\xBB\xBF[A]\r\nk=\xD0\x96\xD1\x8E\r\n"), (Lines{L"[A]", L"k=Жю"}));
  EXPECT_EQ(SplitUtf8Lines("a\nb\rc\r\n\r\nd"), (Lines{L"a", L"b", L"c", L"", L"d"}));
  EXPECT_EQ(SplitUtf8Lines("\xEF\xBB\xBF"), Lines{});
  EXPECT_EQ(SplitUtf8Lines(""), Lines{});
}

}  // namespace
