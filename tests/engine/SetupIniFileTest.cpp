#include <gtest/gtest.h>

#include "setup/engine/SetupIniFile.h"

namespace {

TEST(SplitUtf8Lines, AnyLineEndWithOrWithoutByteOrderMark) {
  using Lines = std::vector<std::wstring>;
  EXPECT_EQ(SplitUtf8Lines("\xEF\xBB\xBF[A]\r\nk=\xD0\x96\xD1\x8E\r\n"), (Lines{L"[A]", L"k=Жю"}));
  EXPECT_EQ(SplitUtf8Lines("a\nb\rc\r\n\r\nd"), (Lines{L"a", L"b", L"c", L"", L"d"}));
  EXPECT_EQ(SplitUtf8Lines("\xEF\xBB\xBF"), Lines{});
  EXPECT_EQ(SplitUtf8Lines(""), Lines{});
}

}  // namespace
