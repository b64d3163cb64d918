#include "setup/distribution/KvtSetupLstFile.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <tuple>

#include "distribution/ListFilePlatform.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/TextCodec.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/MessageCatalogue.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "support/TestSupport.h"

namespace {

std::string SourceDir() {
  const char* source = std::getenv("TAVREL_SOURCE_DIR");
  return source ? source : ".";
}

class ListFile : public ::testing::Test {
protected:
  void SetUp() override {
    RestoreDefaultMessages();
    Fake = new TListFilePlatform(RefPtr<IPlatformTools>(&PlatformTools()));
    Previous = SetPlatformTools(RefPtr<IPlatformTools>(Fake));
    SetLocalization(std::make_unique<TJomLocalization>());
  }
  void TearDown() override {
    ProgramLstFilesCharCase = 0;
    ProgramLstDirsCharCase = 0;
    SetLocalization(nullptr);
    SetPlatformTools(Previous);
  }
  TListFilePlatform* Fake = nullptr;
  RefPtr<IPlatformTools> Previous;
};

TEST_F(ListFile, Tokenizer) {
  TProgramLstLineParser parser(L"  a;b \"q r\"=v ;x=\"open");
  std::vector<std::wstring> tokens;
  for (std::wstring token = parser.NextToken(); !token.empty(); token = parser.NextToken()) tokens.push_back(token);
  EXPECT_EQ(tokens, (std::vector<std::wstring>{L"a;b", L"q r", L"=", L"v", L";", L"x", L"=", L"open"}));
}

TEST_F(ListFile, LineParsing) {
  struct Case {
    const wchar_t* line;
    const wchar_t* fileName;
    const wchar_t* dir;
    const wchar_t* relativePath;
    const wchar_t* arc;
    const wchar_t* caption;
    std::int64_t size;
    std::map<std::wstring, std::wstring> values;  // GetValue expectations
  } cases[] = {
      {L"jom.exe St=I Dir=\\bin CRC=0A1B2C3D Len=1024", L"jom.exe", L"bin", L"bin\\jom.exe", L"", L"", 1024,
       {{L"Dir", L"bin"}, {L"CRC", L"0A1B2C3D"}, {L"FileName", L"jom.exe"}, {L"st", L"I"}}},
      {L"a.dll Arc=data", L"a.dll", L"", L"a.dll", L"data.zip", L"", 0, {{L"Arc", L"data.zip"}}},
      {L"a.dll Arc=data.7z Dir=/x/", L"a.dll", L"x\\", L"x\\a.dll", L"data.zip", L"", 0, {{L"Dir", L"x/"}}},
      {L"a.dll Arc=\"\" Len=5", L"a.dll", L"", L"a.dll", L"", L"", 5, {{L"Arc", L""}, {L"Len", L"5"}}},
      {L"\"my file.txt\" Descr=\"two words\" Dir=a", L"my file.txt", L"a", L"a\\my file.txt", L"", L"", 0,
       {{L"Descr", L"two words"}}},
      {L"x.txt Descr=two words Dir=a", L"x.txt", L"", L"x.txt", L"", L"", 0, {{L"Descr", L"two"}, {L"words", L""}}},
      {L"x.txt Cond=a;b St=I", L"x.txt", L"", L"x.txt", L"", L"", 0, {{L"Cond", L"a;b"}, {L"St", L"I"}}},
      {L"x.txt Len=12x", L"x.txt", L"", L"x.txt", L"", L"", 0, {{L"Len", L"12x"}}},
      {L"x.txt Len=-5", L"x.txt", L"", L"x.txt", L"", L"", 0, {}},
      {L"x.txt Len=+5", L"x.txt", L"", L"x.txt", L"", L"", 0, {}},
      {L"x.txt Len=0000000000000000000012", L"x.txt", L"", L"x.txt", L"", L"", 12, {}},
      {L"x.txt Len=9223372036854775807", L"x.txt", L"", L"x.txt", L"", L"", INT64_MAX, {}},
      {L"x.txt Len=123456789012345678", L"x.txt", L"", L"x.txt", L"", L"", 123456789012345678, {}},
      {L"x.txt St=D Len=100", L"x.txt", L"", L"x.txt", L"", L"", 0, {}},
      {L"x.txt Caption=First Caption=Second", L"x.txt", L"", L"x.txt", L"", L"Second", 0, {{L"Caption", L"First"}}},
      {L"x.txt Caption=Plain Caption_00000419=\"Русский текст\"", L"x.txt", L"", L"x.txt", L"", L"Русский текст", 0,
       {{L"Caption", L"Plain"}}},
      {L"x.txt caption_00000419=Рус Caption=Plain", L"x.txt", L"", L"x.txt", L"", L"Plain", 0, {}},
      {L"x.txt Caption_00000409=English", L"x.txt", L"", L"x.txt", L"", L"", 0, {{L"Caption_00000409", L"English"}}},
      {L"x.txt Dir=\\\\sub dir=other", L"x.txt", L"other", L"other\\x.txt", L"", L"", 0, {{L"Dir", L"\\sub"}}},
      {L"x.txt Dir=bin\\", L"x.txt", L"bin\\", L"bin\\x.txt", L"", L"", 0, {}},
      {L"x.txt St =v", L"x.txt", L"", L"x.txt", L"", L"", 0, {{L"St", L"v"}}},
      {L"x.txt St", L"x.txt", L"", L"x.txt", L"", L"", 0, {{L"St", L""}}},
      {L"x.txt Descr=\"open", L"x.txt", L"", L"x.txt", L"", L"", 0, {{L"Descr", L"open"}}},
      {L"x.txt Foo=bar", L"x.txt", L"", L"x.txt", L"", L"", 0, {{L"foo", L"bar"}}},
      {L"; x.txt Dir=a", L"", L"", L"", L"", L"", 0, {{L"FileName", L""}}},
      {L"", L"", L"", L"", L"", L"", 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.line));
    const TProgramLstFileItem item(c.line);
    EXPECT_EQ(item.FileName, c.fileName);
    EXPECT_EQ(item.Dir, c.dir);
    EXPECT_EQ(item.RelativePath, c.relativePath);
    EXPECT_EQ(item.Arc, c.arc);
    EXPECT_EQ(item.Caption, c.caption);
    EXPECT_EQ(item.Size(), c.size);
    for (const auto& [name, value] : c.values) EXPECT_EQ(item.GetValue(name), value) << WideToUtf8(name);
    if (*c.fileName) {
      EXPECT_EQ(item.Values.front().first, L"FileName");
    } else {
      EXPECT_TRUE(item.Values.empty());
    }
  }
  EXPECT_TRUE(TProgramLstFileItem(L"x St=aDk").IsDeleted);
  EXPECT_FALSE(TProgramLstFileItem(L"x St=d").IsDeleted) << "status letters are case-sensitive";
}

TEST_F(ListFile, SetValueAppliesTheFieldRules) {
  TProgramLstFileItem item(L"a.dll Dir=x Descr=d");
  item.SetValue(L"dir", L"\\bin");
  EXPECT_EQ(item.Dir, L"bin");
  EXPECT_EQ(item.RelativePath, L"bin\\a.dll");
  EXPECT_EQ(item.Values[1], (std::pair<std::wstring, std::wstring>{L"Dir", L"bin"}));
  item.SetValue(L"Arc", L"pack");
  EXPECT_EQ(item.GetValue(L"Arc"), L"pack.zip");
  EXPECT_EQ(item.Values.back().first, L"Arc");
  item.SetValue(L"Descr", L"");
  EXPECT_EQ(item.GetValue(L"Descr"), L"");
  EXPECT_EQ(item.Values.size(), 3u);
}

TEST_F(ListFile, LetterCaseParameters) {
  ProgramLstFilesCharCase = 1;
  ProgramLstDirsCharCase = 2;
  TProgramLstFileItem upper(L"Jom.exe Arc=Data Dir=Bin\\ÀÉ\\Ünter\\Ж");
  EXPECT_EQ(upper.FileName, L"JOM.EXE");
  EXPECT_EQ(upper.Arc, L"DATA.ZIP") << "the letter case comes after the extension";
  EXPECT_EQ(upper.Dir, L"bin\\àé\\ünter\\Ж");
  ProgramLstFilesCharCase = 2;
  ProgramLstDirsCharCase = 1;
  TProgramLstFileItem lower(L"JOM.EXE Arc=DATA.7Z Dir=bin\\ж");
  EXPECT_EQ(lower.FileName, L"jom.exe");
  EXPECT_EQ(lower.Arc, L"data.zip");
  EXPECT_EQ(lower.Dir, L"BIN\\Ж");
  ProgramLstFilesCharCase = 0;
  ProgramLstDirsCharCase = 0;
  EXPECT_EQ(TProgramLstFileItem(L"Jom.Exe Dir=Bin").RelativePath, L"Bin\\Jom.Exe");
}

TEST_F(ListFile, PlacesAndTargetPaths) {
  struct Case {
    const wchar_t* line;
    const wchar_t* target;
    const wchar_t* distrPath;
    bool macro, system, outside;
  } cases[] = {
      {L"x.sys Dir=%SYSTEM%\\drivers", L"C:\\windows\\system32\\drivers\\x.sys", L"x.sys", true, true, false},
      {L"x.sys Dir=%SYSTEM%drivers", L"C:\\windows\\system32\\x.sys", L"x.sys", true, true, false},
      {L"x.sys Dir=%System%\\", L"C:\\windows\\system32\\x.sys", L"x.sys", true, true, false},
      {L"x.sys Dir=%OTHER%", L"C:\\Prog\\%OTHER%\\x.sys", L"%OTHER%\\x.sys", false, false, false},
      {L"x.exe Dir=%windows%", L"C:\\windows\\x.exe", L"x.exe", true, true, false},
      {L"x.dll Dir=%DAO%", L"C:\\Program Files (x86)\\Common Files\\Microsoft Shared\\DAO\\x.dll", L"x.dll", true,
       true, false},
      {L"x.dll Dir=%COMMONFILES%\\Tavrel\\a", L"C:\\Program Files (x86)\\Common Files\\Tavrel\\a\\x.dll", L"x.dll",
       true, true, false},
      {L"x.dll Dir=%PROGRAMFILES%", L"C:\\Program Files (x86)\\x.dll", L"x.dll", true, true, false},
      {L"x.dll St=L Dir=sub", L"C:\\windows\\system32\\x.dll", L"sub\\x.dll", false, true, false},
      {L"x.dll St=L Dir=\\\\sub", L"C:\\windows\\system32\\sub\\x.dll", L"\\sub\\x.dll", false, true, false},
      {L"x.dll Dir=..\\Common", L"C:\\Common\\x.dll", L"##\\Common\\x.dll", false, false, true},
      {L"x.dll Dir=a\\..\\..\\b\\..\\c", L"C:\\c\\x.dll", L"a\\##\\##\\b\\##\\c\\x.dll", false, false, true},
      // "/" separates folders as "\" does: outside, and its kept copy stays in "DISTR\".
      {L"x.dll Dir=../Common", L"C:\\Common\\x.dll", L"##\\Common\\x.dll", false, false, true},
      {L"x.dll Dir=../../Windows", L"C:\\..\\Windows\\x.dll", L"##\\##\\Windows\\x.dll", false, false, true},
      {L"x.dll Dir=a/..\\../b", L"C:\\b\\x.dll", L"a\\##\\##\\b\\x.dll", false, false, true},
      {L"x.sys Dir=%SYSTEM%/drivers", L"C:\\windows\\system32\\drivers\\x.sys", L"x.sys", true, true, false},
      {L"x.dll St=C Dir=bin", L"C:\\Prog\\bin\\x.dll", L"bin\\x.dll", false, false, true},
      {L"x.dll", L"C:\\Prog\\x.dll", L"x.dll", false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.line));
    const TProgramLstFileItem item(c.line);
    EXPECT_EQ(item.TargetPath(L"C:\\Prog"), c.target);
    EXPECT_EQ(item.TargetPath(L"C:\\Prog\\"), c.target);
    EXPECT_EQ(item.DistrPath(), c.distrPath);
    EXPECT_EQ(item.HasFolderMacro(), c.macro);
    EXPECT_EQ(item.IsSystemLocated(), c.system);
    EXPECT_EQ(item.IsOutside(), c.outside);
  }
  // A 32-bit Windows has no "(x86)" values: the folder is empty and the path
  // starts at the root of the current drive.
  Fake->CurrentVersionValues.clear();
  EXPECT_EQ(TProgramLstFileItem(L"x.dll Dir=%COMMONFILES%").TargetPath(L"C:\\Prog"), L"\\x.dll");
  EXPECT_EQ(TProgramLstFileItem(L"x.dll Dir=%DAO%").TargetPath(L"C:\\Prog"), L"\\Microsoft Shared\\DAO\\x.dll");
}

TEST_F(ListFile, NormalizePathAndQuoting) {
  const std::pair<const wchar_t*, const wchar_t*> paths[] = {
      {L"C:\\a\\b\\..\\c", L"C:\\a\\c"}, {L"C:\\a\\..\\..\\c", L"C:\\..\\c"}, {L"..\\x", L"..\\x"},
      {L"a..\\x", L"a..\\x"},            {L"C:\\a\\b..\\c", L"C:\\a\\c"},     {L"\\\\srv\\s\\a\\..\\b", L"\\\\srv\\s\\b"},
  };
  for (const auto& [path, normal] : paths) EXPECT_EQ(NormalizePath(path), normal) << WideToUtf8(path);
  const std::tuple<const wchar_t*, bool, const wchar_t*> quoting[] = {
      {L"", true, L""},
      {L"a b", false, L"\"a b\""},
      {L"ab", false, L"ab"},
      {L"ab", true, L"\"ab\""},
      {L"\"a b\"", true, L"\"a b\""},      // already quoted
      {L"a=b.txt", false, L"\"a=b.txt\""},  // the reader ends a bare token at "="
      {L"x=1", false, L"\"x=1\""},
      {L"a\tb", false, L"\"a\tb\""},
      {L";x", false, L"\";x\""},            // ";" alone is a token
      {L"#x", false, L"\"#x\""},            // a comment at the start of a line
      {L"a;b", false, L"a;b"},
      {L"a\"b", true, L"a\"b"},             // a bare token keeps its quote
  };
  for (const auto& [value, force, quoted] : quoting) EXPECT_EQ(QuoteValue(value, force), quoted) << WideToUtf8(value);
  // No form of these reads back whole.
  for (const wchar_t* value : {L"a \"b", L"\"open", L"a\r\nb.dll St=I", L"\"a\"b\"", L"#a\"b"}) {
    EXPECT_THROW(QuoteValue(value, false), EMessageError) << WideToUtf8(value);
  }
  EXPECT_EQ(QuoteToken(L"#a\"b", true, false), L"#a\"b") << "after a name, \"#\" starts no comment";
}

TEST_F(ListFile, ComparisonsWithAnotherVersion) {
  const TProgramLstFileItem a(L"x CRC=0000000A St=I Caption=Menu\\\\Item");
  const TProgramLstFileItem sameCrc(L"x CRC=0000000A St=IR Caption=Menu\\Item");
  const TProgramLstFileItem otherCrc(L"x CRC=0000000B St=I Caption=Menu\\Other");
  const TProgramLstFileItem lowerCrc(L"x CRC=0000000a St=I");
  const TProgramLstFileItem withOcrc(L"x CRC=0000000B OCRC=1 St=I");
  const TProgramLstFileItem withSameOcrc(L"x CRC=0000000C OCRC=1 St=I");
  const TProgramLstFileItem deleted(L"x CRC=0000000A St=D");

  EXPECT_TRUE(a.ContentChanged(nullptr));
  EXPECT_FALSE(a.ContentChanged(&sameCrc));
  EXPECT_TRUE(a.ContentChanged(&otherCrc));
  EXPECT_TRUE(a.ContentChanged(&lowerCrc)) << "exact comparison";
  EXPECT_TRUE(a.ContentChanged(&withOcrc)) << "one side without OCRC: CRC decides";
  EXPECT_FALSE(withOcrc.ContentChanged(&withSameOcrc)) << "both with OCRC: OCRC decides";
  EXPECT_FALSE(deleted.ContentChanged(nullptr));

  EXPECT_TRUE(a.StatusChanged(&sameCrc));
  EXPECT_FALSE(a.StatusChanged(&otherCrc));
  EXPECT_FALSE(a.StatusChanged(nullptr));
  EXPECT_TRUE(deleted.StatusChanged(nullptr));

  EXPECT_EQ(a.NormalizedCaption(), L"Menu\\Item");
  EXPECT_FALSE(a.CaptionChanged(&sameCrc));
  EXPECT_TRUE(a.CaptionChanged(&otherCrc));
  EXPECT_FALSE(a.CaptionChanged(nullptr));
  EXPECT_TRUE(a.HasStatus(L"XI"));
  EXPECT_FALSE(a.HasStatus(L"i"));
}

TEST_F(ListFile, FindItem) {
  TProgramLstFile list;
  list.LoadFromLines({L"jom.exe Dir=bin", L"jom.exe", L"x.dll Dir=..\\Common", L"sys.dll St=L",
                      L"drv.sys Dir=%SYSTEM%\\drivers", L"lib.dll Dir=bin\\lib"});
  const struct {
    const wchar_t* path;
    const wchar_t* folder;
    int count;
    int expected;  // index, -1 none
  } cases[] = {
      {L"C:\\Prog\\bin\\jom.exe", L"C:\\Prog", -1, 0},
      {L"c:\\prog\\BIN\\JOM.EXE", L"  C:\\Prog\\ ", -1, 0},
      {L"C:\\Prog\\jom.exe", L"C:\\Prog", -1, 1},
      {L"C:\\Prog\\jom.exe", L"C:\\Prog", 1, -1},
      {L"C:\\Prog\\jom.exe", L"C:\\Prog", 2, 1},
      {L"C:\\Prog\\DISTR\\bin\\jom.exe", L"C:\\Prog", -1, 0},
      {L"C:\\Prog\\DISTR\\jom.exe", L"C:\\Prog", -1, 1},
      {L"C:\\Prog\\distr\\##\\Common\\x.dll", L"C:\\Prog", -1, 2},
      {L"C:\\Prog\\DISTR\\sys.dll", L"C:\\Prog", -1, 3},
      {L"C:\\Prog\\DISTR\\drv.sys", L"C:\\Prog", -1, 4},
      {L"C:\\Prog\\DISTR\\bin\\lib\\lib.dll", L"C:\\Prog", -1, 5},
      {L"C:\\Common\\x.dll", L"C:\\Prog", -1, 2},
      {L"C:\\windows\\system32\\drivers\\drv.sys", L"C:\\Prog", -1, 4},
      {L"C:\\WINDOWS\\system32\\sys.dll", L"C:\\Prog", -1, 3},
      {L"C:\\Prog\\other\\jom.exe", L"C:\\Prog", -1, -1},
      {L"C:\\Progs\\jom.exe", L"C:\\Prog", -1, -1},
      {L"jom.exe", L"", -1, 1},
      {L"sys.dll", L"", -1, 3},
      {L"drv.sys", L"", -1, 4},
      {L"lib.dll", L"", -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.path) + " in " + WideToUtf8(c.folder));
    const TProgramLstFileItem* found = list.FindItem(c.path, c.folder, c.count);
    EXPECT_EQ(found, c.expected < 0 ? nullptr : list[c.expected]);
  }
}

TEST_F(ListFile, IndexAndSameDistrPath) {
  TProgramLstFile list;
  list.LoadFromLines({L"a.dll Dir=Bin Len=3", L"A.DLL Dir=bin Len=4", L"a.dll Dir=..\\x Len=x", L"a.dll Dir=##\\x",
                      L"b.dll St=D Len=9"});
  EXPECT_EQ(list.FindByRelativePath(L"BIN\\a.dll"), list[0]) << "the first of equal paths";
  EXPECT_EQ(list.FindByRelativePath(L"missing"), nullptr);
  EXPECT_EQ(list.FindSameDistrPath(*list[0]), list[1]);
  EXPECT_EQ(list.FindSameDistrPath(*list[2]), list[3]);
  EXPECT_EQ(list.TotalSize(), 7);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.FindByRelativePath(L"bin\\a.dll"), nullptr);

  // Every way of adding an item indexes it, and a freed item leaves the
  // index to the next one of its path.
  TObjectList<TProgramLstFileItem>& base = list;
  base.Add(new TProgramLstFileItem(L"c.dll Dir=Bin"));
  list.Add(new TProgramLstFileItem(L"C.DLL Dir=bin Len=2"));
  list.Add(new TProgramLstFileItem(L"d.dll"));
  EXPECT_EQ(list.FindByRelativePath(L"bin\\c.dll"), list[0]) << "added through the base list";
  list.Delete(0);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.FindByRelativePath(L"bin\\c.dll"), list[0]) << "the next of the freed item's path";
  list.Remove(list[1]);
  EXPECT_EQ(list.FindByRelativePath(L"d.dll"), nullptr);
  EXPECT_EQ(list.FindByRelativePath(L"BIN\\C.DLL"), list[0]);

  TProgramLstFileItems items;
  TProgramLstFileItem one(L"one"), two(L"two");
  items.AddObject(L"b", &one);
  items.AddObject(L"A", &two);
  items.AddObject(L"B", &two);
  ASSERT_EQ(items.Count(), 3) << "equal keys are all kept";
  EXPECT_EQ(items.Strings(0), L"A");
}

TEST_F(ListFile, Verify) {
  testsupport::TempDir dir("verify");
  const auto file = (dir.path() / "data.bin").wstring();
  testsupport::WriteFile(dir.path() / "data.bin", "123456789");
  const std::wstring good = L"data.bin Len=9 CRC=CBF43926";
  const std::wstring missing = (dir.path() / "none.bin").wstring();
  const struct {
    std::wstring line;
    std::wstring localPath;
    std::wstring installedPath;
    std::wstring error;  // empty: passes
  } cases[] = {
      {good, file, L"", L""},
      {good, file, file, L""},
      {good, file, missing, L"Файл " + missing + L" не найден"},
      {good, missing, L"", L"Файл " + missing + L" не найден"},
      {good, L"", L"", L"Файл data.bin не найден"},
      {L"data.bin Len=8 CRC=CBF43926", file, L"", L"Несоответствие длины файла: " + file},
      {L"data.bin Len=9x CRC=CBF43926", file, L"", L"Несоответствие длины файла: " + file},
      {L"data.bin Len=9 CRC=cbf43926", file, L"", L"Несоответствие CRC-файла: " + file},
      {L"data.bin Len=1 CRC=0 St=D", missing, L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.line) + " " + WideToUtf8(c.localPath));
    TProgramLstFileItem item(c.line);
    item.LocalPath = c.localPath;
    item.InstalledPath = c.installedPath;
    try {
      item.Verify();
      EXPECT_EQ(c.error, L"");
    } catch (const EMessageError& error) {
      EXPECT_EQ(error.Message(), c.error);
    }
  }
  TProgramLstFileItem previous(L"data.bin Len=1 CRC=00000000");
  TProgramLstFileItem unchanged(L"data.bin Len=1 CRC=00000000");
  unchanged.LocalPath = missing;
  unchanged.Previous = &previous;
  EXPECT_NO_THROW(unchanged.Verify()) << "an unchanged file is not checked";
}

TEST_F(ListFile, ReadsEveryEncodingAndLineEnd) {
  testsupport::TempDir dir("lst");
  const std::wstring body = L"; comment\r\n  # also a comment\r\n\r\nпуск.exe Caption=\"Пуск программы\" Dir=bin\n"
                            L"b.dll\rc.dll Len=1\r\n   \t\r\n";
  std::string utf16le = "\xFF\xFE" + WideToUtf16Le(body);
  std::string utf16be = "\xFE\xFF";
  for (std::size_t i = 0; i + 1 < utf16le.size() - 2; i += 2) {
    utf16be += utf16le[2 + i + 1];
    utf16be += utf16le[2 + i];
  }
  const std::pair<const char*, std::string> files[] = {
      {"utf-8", "\xEF\xBB\xBF" + WideToUtf8(body)},
      {"utf-16le", utf16le},
      {"utf-16be", utf16be},
      {"ansi 1251", PlatformTools().UnicodeToAnsi(body, 1251)},
  };
  for (const auto& [what, bytes] : files) {
    SCOPED_TRACE(what);
    const auto path = dir.path() / "program.lst";
    testsupport::WriteFile(path, bytes);
    TProgramLstFile list(path.wstring());
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.FileName, path.wstring());
    EXPECT_EQ(list[0]->FileName, L"пуск.exe");
    EXPECT_EQ(list[0]->Caption, L"Пуск программы");
    EXPECT_EQ(list[1]->FileName, L"b.dll");
    EXPECT_EQ(list[2]->Size(), 1);
    EXPECT_EQ(list[3]->FileName, L"program.lst");
    EXPECT_EQ(list[3]->St, L"S");
  }
  TProgramLstFile plain;
  plain.LoadFromFile((dir.path() / "program.lst").wstring(), false, false);
  EXPECT_EQ(plain.Count(), 3);
  EXPECT_TRUE(plain.FileName.empty());

  const auto missing = (dir.path() / "missing.lst").wstring();
  TProgramLstFile absent(missing);
  EXPECT_EQ(absent.Count(), 0);
  EXPECT_EQ(absent.FileName, missing);
  EXPECT_THROW(plain.LoadFromFile(missing, false, true), EStreamError);
}

void FillGoldenList(TProgramLstFile& list) {
  list.LoadFromLines({
      L"jom.exe St=IRk CRC=0A1B2C3D Len=1024 Arc=main Dir=bin Caption=\"Tavrel\\\\\\\\Сервер\" Descr=Сервер",
      L"\"long name.txt\" St=I CRC=00000001 Len=12345678901 Dir=\"doc files\" Cond=a;b Params=-x",
      L"skipped.dll St=I CRC=00000002 Len=1",
      L"old.dll St=D Len=0",
      L"x.dll St=L CRC=DEADBEEF Len=7 Arc=sys Dir=%SYSTEM%\\drivers Caption=a\\\\b Unknown=u",
  });
}

const std::vector<std::wstring> BuilderNames = {L"St", L"CRC", L"Len", L"Arc", L"Cond", L"Dir", L"Caption", L"Descr",
                                                L"Params"};
const std::vector<int> BuilderWidths = {4, 8, -8, 12, 8, 0, 0, 0, 0};

TEST_F(ListFile, SaveToFileMatchesTheGoldenFile) {
  testsupport::TempDir dir("save");
  TProgramLstFile list;
  FillGoldenList(list);
  const auto skipName = [](const TProgramLstFileItem& item) { return item.FileName != L"skipped.dll"; };
  const auto saved = dir.path() / "program.lst";
  list.SaveToFile(saved.wstring(), BuilderNames, BuilderWidths, L"Tavrel", L"1.2.3", true, skipName);
  const std::string golden = testsupport::ReadFile(SourceDir() + "/tests/distribution/fixtures/golden-1251.lst");
  EXPECT_EQ(testsupport::ReadFile(saved), golden);

  // Without product name and filter: no product line, every item.
  const std::wstring text = list.SaveToText(BuilderNames, BuilderWidths, L"", L"", false);
  EXPECT_EQ(text.find(L"Список"), std::wstring::npos);
  EXPECT_NE(text.find(L"skipped.dll"), std::wstring::npos);
  EXPECT_NE(text.find(L"Caption=\"Tavrel\\\\\\\\Сервер\""), std::wstring::npos);
  const std::wstring noVersion = list.SaveToText({}, {}, L"Tavrel", L"", false);
  EXPECT_NE(noVersion.find(L"Список файлов программы \"Tavrel\"" + std::wstring(23, L' ') + L"*\r\n"),
            std::wstring::npos);
  const std::wstring longName = list.SaveToText({}, {}, std::wstring(100, L'N'), L"9", false);
  EXPECT_NE(longName.find(L";*Список файлов программы \"" + std::wstring(53, L'N') + L"*\r\n"), std::wstring::npos);

  // What is written reads back to the same values.
  TProgramLstFile read;
  read.LoadFromFile(saved.wstring(), false, false);
  ASSERT_EQ(read.Count(), 4);
  EXPECT_EQ(read[0]->Caption, L"Tavrel\\\\Сервер");
  EXPECT_EQ(read[1]->FileName, L"long name.txt");
  EXPECT_EQ(read[1]->Dir, L"doc files");
  EXPECT_EQ(read[1]->Size(), 12345678901);
  EXPECT_EQ(read[3]->GetValue(L"Unknown"), L"") << "names not asked for are not written";
}

TEST_F(ListFile, NamesOutsideTheAnsiCodePageAreNotLost) {
  testsupport::TempDir dir("utf8");
  TProgramLstFile list;
  list.LoadFromLines({L"\u03A9mega.txt Dir=\u0434\u043E\u043A Caption=\"\u4E2D \u6587\""});
  const auto path = dir.path() / "program.lst";
  list.SaveToFile(path.wstring(), {L"Dir", L"Caption"}, {0, 0}, L"Tavrel", L"1", false);
  const std::string bytes = testsupport::ReadFile(path);
  ASSERT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(bytes.find(WideToUtf8(L"КВТ-Дистрибьютор")), std::string::npos);
  TProgramLstFile read;
  read.LoadFromFile(path.wstring(), false, false);
  ASSERT_EQ(read.Count(), 1);
  EXPECT_EQ(read[0]->FileName, L"\u03A9mega.txt");
  EXPECT_EQ(read[0]->Dir, L"\u0434\u043E\u043A");
  EXPECT_EQ(read[0]->Caption, L"\u4E2D \u6587");
}

// A file name or archive that leads out of its folder, or a length that
// does not fit, refuses the whole list, naming the line.
TEST_F(ListFile, RefusesNamesThatLeaveTheirFolderAndLengthsThatDoNotFit) {
  testsupport::TempDir dir("refuse");
  const auto path = dir.path() / "program.lst";
  const wchar_t* const refused[] = {
      L"..\\..\\escaped.txt", L"../escaped.txt", L"sub/x.txt",     L"sub\\x.txt",
      L"C:x.txt",              L"x.txt:stream",   L"..",             L"...",
      L"\"..\\x y.txt\"",       L"x.txt Arc=..\\..\\evilarc", L"x.txt Arc=a/b",   L"x.txt Arc=C:evil",
      L"x.txt Arc=ok Arc=..\\x", L"x.txt Len=9223372036854775808", L"x.txt Len=99999999999999999999",
  };
  for (const wchar_t* line : refused) {
    SCOPED_TRACE(WideToUtf8(line));
    testsupport::WriteFile(path, "; list\r\ngood.txt Len=1\r\n" + WideToUtf8(line) + "\r\n");
    const std::wstring expected =
        FormatText(rsSetupIniInvalidFormat, {path.wstring()}) + L" (3: " + line + L")";
    TProgramLstFile list;
    try {
      list.LoadFromFile(path.wstring(), true, true);
      ADD_FAILURE() << "read";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), expected);
    }
    EXPECT_EQ(list.Count(), 0);
    EXPECT_THROW(TProgramLstFile{path.wstring()}, Exception);
  }
  const wchar_t* const accepted[] = {L"a..b.txt", L".profile", L"x.txt Dir=../Common", L"x.txt Dir=C:\\x",
                                     L"x.txt Arc=\"\"", L"x.txt Len=9223372036854775807", L"x.txt Len=12x"};
  for (const wchar_t* line : accepted) {
    TProgramLstFile list;
    EXPECT_NO_THROW(list.LoadFromLines({line})) << WideToUtf8(line);
    EXPECT_EQ(list.Count(), 1);
  }
}

TEST_F(ListFile, SizesAddAndDivideWithoutOverflow) {
  TProgramLstFile list;
  list.LoadFromLines({L"a Len=9223372036854775807", L"b Len=9223372036854775807", L"c Len=5"});
  EXPECT_EQ(list.TotalSize(), INT64_MAX);
  list.LoadFromLines({L"a Len=4611686018427387904", L"b Len=12"});
  EXPECT_EQ(list.TotalSize(), 4611686018427387916);
  EXPECT_EQ(AddSizes(INT64_MAX - 1, 1), INT64_MAX);
  EXPECT_EQ(AddSizes(INT64_MAX, INT64_MAX), INT64_MAX);
  EXPECT_EQ(AddSizes(5, -3), 5);
  const std::tuple<std::int64_t, std::int64_t, std::int32_t> percents[] = {
      {0, 0, -1},          {1, 3, 33},       {2, 3, 67},       {5, 10, 50},        {0, 10, 0},
      {11, 10, 100},       {INT64_MAX / 2, INT64_MAX, 50},      {INT64_MAX, INT64_MAX, 100},
      {INT64_MAX / 100 * 3, INT64_MAX, 3}, {-5, 10, 0},
  };
  for (const auto& [done, total, percent] : percents) EXPECT_EQ(SizePercent(done, total), percent) << done << "/" << total;
}

// What the kit builder writes reads back to the same file names and values,
// whatever characters they hold.
TEST_F(ListFile, WrittenListsReadBackWhole) {
  TProgramLstFile list;
  list.LoadFromLines({
      L"\"a=b.txt\" Cond=\"x=1\" Descr=\"tab\there\"",
      L"\"#hash.txt\" Params=\";semi\" Caption=\"   spaced   \"",
      L"\";first\" Dir=\\\\sub St=L",
      L"quote\"d.txt Descr=say\"so Dir=\"with blank\" Arc=\"my pack\" Params=#a\"b",
      L"\"\"",
      L"plain.dll St=IRk CRC=0A1B2C3D Len=000042 Arc=main Dir=/bin/",
  });
  const std::wstring text = list.SaveToText(BuilderNames, BuilderWidths, L"Tavrel", L"1", false);
  std::vector<std::wstring> lines;
  for (std::size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  TProgramLstFile read;
  read.LoadFromLines(lines);
  ASSERT_EQ(read.Count(), list.Count()) << WideToUtf8(text);
  for (int i = 0; i < list.Count(); ++i) {
    SCOPED_TRACE(WideToUtf8(list[i]->FileName));
    EXPECT_EQ(read[i]->FileName, list[i]->FileName);
    EXPECT_EQ(read[i]->Dir, list[i]->Dir);
    EXPECT_EQ(read[i]->Arc, list[i]->Arc);
    EXPECT_EQ(read[i]->Size(), list[i]->Size());
    for (const std::wstring& name : BuilderNames) EXPECT_EQ(read[i]->GetValue(name), list[i]->GetValue(name)) << WideToUtf8(name);
  }
  EXPECT_EQ(read[2]->TargetPath(L"C:\\Prog"), L"C:\\windows\\system32\\sub\\;first");
}

}  // namespace
