#include <gtest/gtest.h>

#include <string>

#include "platform/StrTool.h"

TEST(MatchPattern, MaskCharactersAcceptTheirClasses) {
  struct Case {
    const wchar_t* Mask;
    const wchar_t* Text;
    bool Matches;
  };
  const Case cases[] = {
      {L"99-AA", L"12-ab", true},
      {L"99-AA", L"12-a1", false},
      {L"99-AA", L"12-abc", false},  // lengths differ
      {L"99-AA", L"12-a", false},
      {L"NN", L"0x", false},
      {L"CCC", L"a1Z", true},
      {L"C", L"-", false},
      {L"HHHH", L"09aF", true},
      {L"H", L"g", false},
      {L"A", L"\u00C9", true},  // 0xC0..0xFF count as letters in the system code page
      {L"A", L"\u00E9", true},
      {L"A", L"@", false},
      {L"x-9", L"x-5", true},
      {L"x-9", L"X-5", false},  // other mask characters only match themselves
      {L"", L"", true},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchPattern(c.Mask, c.Text), c.Matches) << c.Mask << L" / " << c.Text;
}

TEST(StrTool, CaseRoutines) {
  EXPECT_EQ(UpperCaseText(L"abc \u0436\u0451 x1"), L"ABC \u0416\u0401 X1");
  // Only A..Z and U+00C0..U+00DF move, the multiplication sign U+00D7 included.
  EXPECT_EQ(LowerCaseLatin(L"AbZ\u00C0\u00D7\u00DF\u00E0\u0416["), L"abz\u00E0\u00F7\u00FF\u00E0\u0416[");
  EXPECT_TRUE(SameTextAscii(L"Setup.INI", L"setup.ini"));
  EXPECT_FALSE(SameTextAscii(L"\u0416", L"\u0436"));
  EXPECT_FALSE(SameTextAscii(L"ab", L"abc"));
}

TEST(StrTool, PaddingAndCutting) {
  EXPECT_EQ(PadLeft(L"7", 3, L'0'), L"007");
  EXPECT_EQ(PadLeft(L"1234", 3, L'0'), L"1234");
  EXPECT_EQ(PadRight(L"ab", 4, L'.'), L"ab..");
  EXPECT_EQ(RepeatChar(L'-', 3), L"---");
  EXPECT_EQ(RepeatChar(L'-', -1), L"");
  EXPECT_EQ(RightChars(L"abcdef", 2), L"ef");
  EXPECT_EQ(RightChars(L"ab", 5), L"ab");
  EXPECT_EQ(RightChars(L"ab", 0), L"");
  EXPECT_EQ(CenterText(L"ab", 7, L'*'), L"**ab***");
  EXPECT_EQ(CenterText(L"abcdef", 3, L'*'), L"abc");
  EXPECT_EQ(CenterText(L"ab", 2, L'*'), L"ab");
}

TEST(StrTool, CharacterReplacement) {
  EXPECT_EQ(RemoveChars(L"a-b_c\u0416-", L"-_\u0416"), L"abc\u0416");  // U+0416 is above 255: kept
  EXPECT_EQ(ReplaceChar(L"a/b/c", L'/', L'\\'), L"a\\b\\c");
  EXPECT_EQ(CollapseRepeats(L"a\\\\\\b\\\\c\\", L'\\'), L"a\\b\\c\\");
  EXPECT_EQ(CollapseRepeats(L"aa", L'\\'), L"aa");
}

TEST(StrTool, TokensAndPositions) {
  int position = 1;
  const std::wstring text = L"one, two,, three";
  EXPECT_EQ(NextToken(text, L", ", position), L"one");
  EXPECT_EQ(position, 6);
  EXPECT_EQ(NextToken(text, L", ", position), L"two,");
  EXPECT_EQ(NextToken(text, L", ", position), L"three");
  EXPECT_EQ(position, static_cast<int>(text.size()) + 1);
  EXPECT_EQ(NextToken(text, L", ", position), L"");

  position = 1;
  EXPECT_EQ(NextToken(L"a;", L";", position), L"a");
  EXPECT_EQ(NextToken(L"a;", L";", position), L"") << "nothing after the last delimiter";

  EXPECT_EQ(PosFrom(L"ab", L"xabyab", 1), 2);
  EXPECT_EQ(PosFrom(L"ab", L"xabyab", 3), 5);
  EXPECT_EQ(PosFrom(L"ab", L"xabyab", 6), 0);
  EXPECT_EQ(PosFrom(L"zz", L"xabyab", 1), 0);
}

TEST(StrTool, PathText) {
  EXPECT_EQ(TrimText(L" \t\r\nC:\\x \x01"), L"C:\\x");
  EXPECT_EQ(IncludeTrailingBackslash(L"C:\\p"), L"C:\\p\\");
  EXPECT_EQ(IncludeTrailingBackslash(L"C:\\p\\"), L"C:\\p\\");
  EXPECT_EQ(ExcludeTrailingBackslash(L"C:\\p\\"), L"C:\\p");
  EXPECT_EQ(ExtractFileExt(L"C:\\a.b\\name"), L"");
  EXPECT_EQ(ExtractFileExt(L"C:\\a\\name.tar.gz"), L".gz");
  EXPECT_EQ(ExtractFilePath(L"C:\\a\\name.txt"), L"C:\\a\\");
  EXPECT_EQ(ExtractFileName(L"C:\\a\\name.txt"), L"name.txt");
  EXPECT_EQ(ChangeFileExt(L"C:\\p\\a.dll", L".old"), L"C:\\p\\a.old");
  EXPECT_EQ(ChangeFileExt(L"C:\\p.d\\a", L".old"), L"C:\\p.d\\a.old");
}

TEST(StrTool, XorScrambleIsItsOwnInverse) {
  const std::string key = "k3y";
  const std::string data("secret\0name", 11);
  const std::string scrambled = XorScramble(key, data);
  EXPECT_NE(scrambled, data);
  EXPECT_EQ(scrambled[0], static_cast<char>('s' ^ 'k'));
  EXPECT_EQ(scrambled[3], static_cast<char>('r' ^ 'k'));
  EXPECT_EQ(XorScramble(key, scrambled), data);
  EXPECT_EQ(XorScramble("", data), data);
}

TEST(ConsoleEncoding, DecodesConsoleOutputInCodePage866) {
  EXPECT_EQ(ConsoleEncoding().GetCodePage(), 866u);
  const std::string bytes = "\x8F\xE0\xA8\xA2\xA5\xE2, ok";
  EXPECT_EQ(ConsoleEncoding().Decode(bytes), L"\u041F\u0440\u0438\u0432\u0435\u0442, ok");
  EXPECT_EQ(ConsoleEncoding().Encode(L"\u041F\u0440\u0438\u0432\u0435\u0442, ok"), bytes);
}

#include <cstdlib>

#include "platform/PlatformIntfTypes.h"

// Run a second time under a Russian locale (see CMakeLists.txt): the system
// code page decides what MatchPattern counts as a letter.
TEST(SystemCodePage, FollowsTheUsersLocale) {
  const char* codePage = std::getenv("TAVREL_EXPECT_ANSI_CODE_PAGE");
  const char* locale = std::getenv("TAVREL_EXPECT_LCID");
  if (!codePage || !locale) GTEST_SKIP() << "runs under a chosen locale only";
  EXPECT_EQ(PlatformTools().GetAnsiCodePage(), std::strtoul(codePage, nullptr, 10));
  EXPECT_EQ(PlatformTools().GetUserDefaultLcid(), std::strtoul(locale, nullptr, 10));
  if (PlatformTools().GetAnsiCodePage() == 1251) {
    EXPECT_TRUE(MatchPattern(L"AA-9", L"\u0416\u0436-1")) << "Cyrillic letters are letters in 1251";
    EXPECT_FALSE(MatchPattern(L"AA", L"\u0416\u00BB")) << "a guillemet is no letter";
    EXPECT_EQ(ConsoleEncoding().Decode("\x8F"), L"\u041F") << "console text stays 866";
  }
}
