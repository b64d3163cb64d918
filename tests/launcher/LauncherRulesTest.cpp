// The launcher's rules that need no system: version order, number syntax,
// parameter texts and the mount-manager record layout.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "launcher/HomeDriveRules.h"
#include "launcher/IntegerText.h"
#include "launcher/MountManagerRecord.h"
#include "launcher/ParameterText.h"
#include "launcher/VersionCompare.h"
#include "platform/CommandLine.h"

namespace {

int Sign(int Value) { return (Value > 0) - (Value < 0); }

TEST(CompareVersions, OrdersVersionTexts) {
  struct Case {
    const wchar_t* A;
    const wchar_t* B;
    int Expected;
  };
  const Case Cases[] = {
      {L"5.02", L"5.2", 0},     {L"5.03", L"5.02", 1},    {L"5.2", L"5.2.1", -1},  {L"5.2.1", L"5.2", 1},
      {L"", L"1", -1},          {L"1", L"", 1},           {L"", L"", 0},           {L"5.10", L"5.9", 1},
      {L"1..2", L"1.0.2", -1},  {L"1..2", L"1..2", -1},   {L"1.5", L"1..9", 1},    {L"1.$10", L"1.16", 0},
      {L"1.x10", L"1.15", 1},   {L"1.0x10", L"1.17", -1}, {L"1.0X1f", L"1.31", 0}, {L"5.2a", L"5.2A", 0},
      {L"5.2a", L"5.2b", -1},   {L"beta", L"Alpha", 1},   {L"5.2", L"5.2.", 0},
      {L"-1", L"0", -1},        {L" 7", L"7", 0},         {L"5.2", L"5.2a", -1},   {L"10", L"9z", -1},
      {L"2147483647", L"-2147483648", 1},
      // Letters fold to upper case, so "_" sorts after them.
      {L"a_", L"aa", 1},
      // Beyond 32 bits the pieces are texts, compared character by character.
      {L"2147483648", L"3", -1},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(Sign(CompareVersions(C.A, C.B)), C.Expected) << "A=" << C.A << " B=" << C.B;
  }
}

TEST(ReadInteger, AcceptsTheNumberSyntaxWithinRange) {
  struct Case {
    const wchar_t* Text;
    std::int64_t Min;
    std::int64_t Max;
    std::optional<std::int64_t> Expected;
  };
  constexpr std::int64_t U32 = 0xFFFFFFFF;
  const Case Cases[] = {
      {L"120", 0, U32, 120},        {L"  120", 0, U32, 120},   {L"+120", 0, U32, 120},
      {L"$78", 0, U32, 120},        {L"x78", 0, U32, 120},     {L"X78", 0, U32, 120},
      {L"0x78", 0, U32, 120},       {L"0XfF", 0, U32, 255},    {L"4294967295", 0, U32, U32},
      {L"4294967296", 0, U32, {}},  {L"-1", 0, U32, {}},       {L"-0", 0, U32, 0},
      {L"abc", 0, U32, {}},         {L"", 0, U32, {}},         {L"12 ", 0, U32, {}},
      {L"1.5", 0, U32, {}},         {L"$", 0, U32, {}},        {L"0x", 0, U32, {}},
      {L"+", 0, U32, {}},           {L"-$10", -100, 100, -16}, {L"99999999999999999999999", 0, U32, {}},
      {L"12a", 0, U32, {}},
  };
  for (const Case& C : Cases) EXPECT_EQ(ReadInteger(C.Text, C.Min, C.Max), C.Expected) << "text: " << C.Text;
}

TEST(SetupParameters, QuotesEveryNonEmptyArgumentThenWine) {
  EXPECT_EQ(SetupParameters({}), L" \"/WINE\"");
  EXPECT_EQ(SetupParameters({L"a", L"b"}), L" \"a\" \"b\" \"/WINE\"");
  EXPECT_EQ(SetupParameters({L"-HIDE", L"x"}), L" \"-HIDE\" \"x\" \"/WINE\"");
  EXPECT_EQ(SetupParameters({L"", L"my file.prf", L""}), L" \"my file.prf\" \"/WINE\"");
}

// What the launcher writes, setup's splitter reads back: blanks, trailing
// backslashes and UNC paths arrive unchanged; an argument holding double
// quotes arrives as one argument without them; empty ones are not passed.
TEST(SetupParameters, SetupsSplitterReadsBackEveryArgument) {
  struct Case {
    const char* What;
    std::vector<std::wstring> Arguments;
    std::vector<std::wstring> Received;
  } Cases[] = {
      {"plain", {L"x", L"-HIDE"}, {L"x", L"-HIDE"}},
      {"blanks", {L"my file.prf", L"  lead and trail  "}, {L"my file.prf", L"  lead and trail  "}},
      {"trailing backslash", {L"C:\\some dir\\", L"C:\\dir\\\\"}, {L"C:\\some dir\\", L"C:\\dir\\\\"}},
      {"network path", {L"\\\\server\\share\\"}, {L"\\\\server\\share\\"}},
      {"empty", {L"", L"y", L""}, {L"y"}},
      {"double quotes", {L"say \"hi\" now", L"a\"b c", L"\"\""}, {L"say hi now", L"ab c"}},
      {"switch with a value", {L"/LANGUAGE:1033", L"/APPIMAGE=/tmp/x y.AppImage"},
       {L"/LANGUAGE:1033", L"/APPIMAGE=/tmp/x y.AppImage"}},
  };
  for (const Case& C : Cases) {
    std::vector<std::wstring> Expected = C.Received;
    Expected.push_back(L"/WINE");
    EXPECT_EQ(SplitCommandLine(L"setup.exe" + SetupParameters(C.Arguments)), Expected) << C.What;
  }
  EXPECT_EQ(QuoteArgument(L"C:\\dir\\"), L"\"C:\\dir\\\"") << "as the parameter text \"%s \"\"%s\"\"\"\" has it";
}

TEST(HideSwitch, FoundAnywhereWithEitherPrefixAndAnyCase) {
  EXPECT_TRUE(HasHideSwitch({L"-HIDE"}));
  EXPECT_TRUE(HasHideSwitch({L"x", L"/hide"}));
  EXPECT_TRUE(HasHideSwitch({L"/HiDe", L"y"}));
  EXPECT_FALSE(HasHideSwitch({L"hide", L"/hidden", L"-hid", L"\\hide"}));
  EXPECT_FALSE(HasHideSwitch({}));
  EXPECT_EQ(JomParameters({L"-HIDE"}), L"/hide");
  EXPECT_EQ(JomParameters({L"x"}), L"");
}

TEST(MountManagerRecord, DefineRecordLayout) {
  const std::vector<std::uint8_t> Record = BuildDefineRecord('h', "/home/anna");
  const std::size_t Total = 32 + 11 + 1;
  ASSERT_EQ(Record.size(), Total);
  std::vector<std::uint8_t> Expected(Total, 0);
  Expected[0] = static_cast<std::uint8_t>(Total);
  Expected[24] = 'h';
  Expected[26] = 32;
  Expected[28] = 32 + 11;
  const std::string Path = "/home/anna";
  std::copy(Path.begin(), Path.end(), Expected.begin() + 32);
  EXPECT_EQ(Record, Expected);
}

TEST(MountManagerRecord, DefineRecordRejectsWhatTheLayoutCannotCarry) {
  EXPECT_TRUE(BuildDefineRecord('H', "/x").empty());
  EXPECT_TRUE(BuildDefineRecord('h', "").empty());
  EXPECT_TRUE(BuildDefineRecord('h', std::string("/a\0b", 4)).empty());
  EXPECT_TRUE(BuildDefineRecord('h', std::string(65535 - 32, 'a')).empty());
  const std::vector<std::uint8_t> Longest = BuildDefineRecord('h', std::string(65535 - 33, 'a'));
  ASSERT_EQ(Longest.size(), 65536u);
  EXPECT_EQ(Longest[28] | (Longest[29] << 8), 65535);
  EXPECT_EQ(Longest[0] | (Longest[1] << 8) | (Longest[2] << 16), 65536);
}

TEST(MountManagerRecord, QueryRecordCarriesOnlyTheLetter) {
  std::vector<std::uint8_t> Expected(32, 0);
  Expected[24] = 'd';
  EXPECT_EQ(BuildQueryRecord('d'), Expected);
  EXPECT_TRUE(BuildQueryRecord('1').empty());
}

TEST(MountManagerRecord, ReadsTheMountPointOfAReply) {
  std::vector<std::uint8_t> Reply(kQueryReplySize, 0);
  EXPECT_EQ(ReadQueryReply(Reply), std::nullopt);  // offset 0: no mount point
  const std::string Path = "/mnt/data";
  std::copy(Path.begin(), Path.end(), Reply.begin() + 40);
  Reply[26] = 40;
  EXPECT_EQ(ReadQueryReply(Reply), Path);
  Reply[26] = 0x00;
  Reply[27] = 0x04;  // 1024: past the end
  EXPECT_EQ(ReadQueryReply(Reply), std::nullopt);
  std::vector<std::uint8_t> Unterminated(36, 'a');
  Unterminated[26] = 32;
  Unterminated[27] = 0;
  EXPECT_EQ(ReadQueryReply(Unterminated), std::nullopt);
  EXPECT_EQ(ReadQueryReply(std::vector<std::uint8_t>(31, 0)), std::nullopt);
}

TEST(HomeDriveRules, HomePathComesFromTheFirstVariableSet) {
  int MacQuestions = 0;
  const auto Linux = [&MacQuestions] { return ++MacQuestions, false; };
  const auto Mac = [] { return true; };
  EXPECT_EQ(ChooseHomePath("/data/anna", "bob", "carl", Linux), "/data/anna");
  EXPECT_EQ(MacQuestions, 0);
  EXPECT_EQ(ChooseHomePath("", "bob", "carl", Linux), "/home/bob");
  EXPECT_EQ(ChooseHomePath("", "", "carl", Linux), "/home/carl");
  EXPECT_EQ(ChooseHomePath("", "", "anna", Mac), "/Users/anna");
  EXPECT_EQ(ChooseHomePath("", "", "", Mac), "");
}

TEST(HomeDriveRules, MountPointsCompareWithAsciiCaseFolded) {
  EXPECT_TRUE(SameMountPoint("/home/anna", "/HOME/ANNA"));
  EXPECT_FALSE(SameMountPoint("/home/anna", "/home/anna/"));
  EXPECT_FALSE(SameMountPoint("/home/\xc3\xa4", "/home/\xc3\x84"));  // non-ASCII letters keep their case
}

TEST(HomeDriveRules, FirstFreeLetterFromD) {
  const std::uint32_t CAndZ = (1u << 2) | (1u << 25);
  EXPECT_EQ(FirstFreeDriveLetter(CAndZ), 'd');
  EXPECT_EQ(FirstFreeDriveLetter(CAndZ | (1u << 3) | (1u << 4)), 'f');
  EXPECT_EQ(FirstFreeDriveLetter(0x03FFFFF8u), std::nullopt);  // d..z taken
  EXPECT_EQ(FirstFreeDriveLetter(0x03FFFFF8u & ~(1u << 25)), 'z');
}

}  // namespace
