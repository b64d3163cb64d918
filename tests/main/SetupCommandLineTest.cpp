#include "setup/main/SetupCommandLine.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using Args = std::vector<std::wstring>;

TFileExists FilesThatExist(std::set<std::wstring> files) {
  return [files = std::move(files)](const std::wstring& path) { return files.count(path) != 0; };
}

TEST(SplitCommandLine, QuotesGroupAndBackslashesStayLiteral) {
  struct Case {
    const wchar_t* Line;
    Args Expected;
  };
  const Case cases[] = {
      {L"setup.exe", {}},
      {L"\"C:\\my kit\\setup.exe\"  a  b ", {L"a", L"b"}},
      {L"setup.exe /STARTDIR=\"C:\\kit\\\" /RNW=\"C:\\kit\\upd.prf\"", {L"/STARTDIR=C:\\kit\\", L"/RNW=C:\\kit\\upd.prf"}},
      {L"setup.exe \"my file.txt\" x\"y z\"", {L"my file.txt", L"xy z"}},
      {L"setup.exe\t/WINE\r\n", {L"/WINE"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.Line), c.Expected) << c.Line;
}

TEST(HasSwitchWithValue, AppendedOrInTheNextArgument) {
  EXPECT_TRUE(HasSwitchWithValue({L"/STARTDIR=C:\\kit\\"}, L"STARTDIR"));
  EXPECT_TRUE(HasSwitchWithValue({L"x", L"-startdir:C:\\kit"}, L"STARTDIR"));
  EXPECT_TRUE(HasSwitchWithValue({L"/StartDir", L"C:\\kit"}, L"STARTDIR"));
  EXPECT_FALSE(HasSwitchWithValue({L"/STARTDIR"}, L"STARTDIR"));
  EXPECT_FALSE(HasSwitchWithValue({L"STARTDIR=C:\\kit"}, L"STARTDIR"));
  EXPECT_FALSE(HasSwitchWithValue({L"/STARTDIRX=C:\\kit"}, L"STARTDIR"));
  EXPECT_FALSE(HasSwitchWithValue({}, L"STARTDIR"));
}

TEST(BuildRelaunchArguments, RewritesEachKindOfArgument) {
  const TFileExists exists = FilesThatExist({L"C:\\kit\\upd.prf", L"C:\\cwd\\upd.pr1"});
  struct Case {
    Args In;
    const wchar_t* Expected;
  };
  const Case cases[] = {
      {{}, L"/STARTDIR=\"C:\\kit\\\""},
      {{L"C:\\kit\\upd.prf"}, L"/STARTDIR=\"C:\\kit\\\" /RNW=\"C:\\kit\\upd.prf\""},
      {{L"D:\\elsewhere\\upd.pr1"}, L"/STARTDIR=\"C:\\kit\\\" /RNW=\"C:\\cwd\\upd.pr1\""},
      {{L"missing.prx", L"next"}, L"/STARTDIR=\"C:\\kit\\\" next"},
      {{L"x.AppImage"}, L"/STARTDIR=\"C:\\kit\\\" /APPIMAGE=\"x.AppImage\""},
      {{L"/home/u/Tavrel x.appimage"}, L"/STARTDIR=\"C:\\kit\\\" /APPIMAGE=\"/home/u/Tavrel x.appimage\""},
      {{L"my file.txt", L"/LANGUAGE=1033"}, L"/STARTDIR=\"C:\\kit\\\" \"my file.txt\" /LANGUAGE=1033"},
      {{L"dir.prf\\file"}, L"/STARTDIR=\"C:\\kit\\\" dir.prf\\file"},  // the extension is the name part's
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildRelaunchArguments(L"C:\\kit\\", c.In, L"C:\\cwd", exists), c.Expected)
        << (c.In.empty() ? L"(none)" : c.In[0]);
  }
}

TEST(BuildRelaunchArguments, TheCopyReadsBackWhatTheFirstInstanceMeant) {
  // A kit folder with a blank and a trailing backslash must survive the trip.
  const TFileExists exists = FilesThatExist({L"C:\\my kit\\upd.prf"});
  const std::wstring text =
      BuildRelaunchArguments(L"C:\\my kit\\", {L"C:\\my kit\\upd.prf", L"a b", L"/WINE"}, L"C:\\", exists);
  const Args copy = SplitCommandLine(L"setup.exe " + text);
  EXPECT_EQ(copy, (Args{L"/STARTDIR=C:\\my kit\\", L"/RNW=C:\\my kit\\upd.prf", L"a b", L"/WINE"}));
  const TStartArguments start = ParseStartArguments(copy, L"C:\\temp\\");
  EXPECT_EQ(start.StartDir, L"C:\\my kit\\");
  EXPECT_EQ(start.RenewFile, L"C:\\my kit\\upd.prf");
}

TEST(BuildRelaunchArguments, AnArgumentWithATabOrAnotherControlCharacterStaysOneArgument) {
  // The copy splits at every character up to a blank, not only at blanks.
  const Args args = {L"a\tb", L"line\nfeed", L"x"};
  const std::wstring text = BuildRelaunchArguments(L"C:\\kit\\", args, L"C:\\", FilesThatExist({}));
  EXPECT_EQ(SplitCommandLine(L"setup.exe " + text), (Args{L"/STARTDIR=C:\\kit\\", L"a\tb", L"line\nfeed", L"x"}));
}

// The copy runs from the temporary folder: a relative log file must still
// name the file beside the first instance's current folder.
TEST(BuildRelaunchArguments, TheLogFileIsPassedOnAsAnAbsolutePath) {
  struct Case {
    Args In;
    const wchar_t* CurrentDir;
    const wchar_t* Passed;  // what the copy reads back as its log file
  };
  const Case cases[] = {
      {{L"/LOG=setup.log"}, L"C:\\work", L"C:\\work\\setup.log"},
      {{L"-log=logs\\a.log"}, L"C:\\work\\", L"C:\\work\\logs\\a.log"},
      {{L"/LOG=C:\\my logs\\setup.log"}, L"D:\\x", L"C:\\my logs\\setup.log"},
      {{L"/LOG=\"C:\\my logs\\s.log\""}, L"D:\\x", L"C:\\my logs\\s.log"},
      {{L"/LOG=..\\up.log"}, L"C:\\work", L"C:\\work\\..\\up.log"},
      {{L"/LOG=\\root.log"}, L"D:\\work", L"D:\\root.log"},
      {{L"/LOG=\\root.log"}, L"\\\\srv\\share\\dir", L"\\\\srv\\share\\root.log"},
      {{L"/LOG=\\\\srv\\share\\s.log"}, L"C:\\work", L"\\\\srv\\share\\s.log"},
      {{L"/LOG=c:here.log"}, L"C:\\work", L"C:\\work\\here.log"},
      {{L"/LOG=E:here.log"}, L"C:\\work", L"E:\\here.log"},
      {{L"/LOG=E:/fwd.log"}, L"C:\\work", L"E:/fwd.log"},
      // a name that ends like an update file is still the log
      {{L"/LOG=run.prf"}, L"C:\\work", L"C:\\work\\run.prf"},
      {{L"x", L"/LOG=s.log", L"/LOG=second.log"}, L"C:\\w", L"C:\\w\\s.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.In.back());
    const std::wstring text = BuildRelaunchArguments(L"C:\\kit\\", c.In, c.CurrentDir, FilesThatExist({}));
    const Args copy = SplitCommandLine(L"setup.exe " + text);
    EXPECT_EQ(FindLogFile(copy), c.Passed) << text;
    EXPECT_EQ(ParseStartArguments(copy, L"C:\\exe").StartDir, L"C:\\kit\\") << text;
  }
  // Not a log switch: passed on as any other argument.
  EXPECT_EQ(BuildRelaunchArguments(L"C:\\kit\\", {L"/LOG="}, L"C:\\w", FilesThatExist({})),
            L"/STARTDIR=\"C:\\kit\\\" /LOG=");
  EXPECT_EQ(FindLogFile({L"/LOG="}), L"");
  EXPECT_EQ(FindLogFile({L"/LOGX=a"}), L"");
  EXPECT_EQ(FindLogFile({L"LOG=a"}), L"");
}

// The copy takes an update file only from its second argument: a log
// switch given before the update file must not push it out of that place.
TEST(BuildRelaunchArguments, TheLogSwitchLeavesTheUpdateFileInSecondPlace) {
  const TFileExists exists = FilesThatExist({L"C:\\kit\\upd.prf"});
  const Args orders[] = {
      {L"/LOG=run.log", L"C:\\kit\\upd.prf"},
      {L"C:\\kit\\upd.prf", L"/LOG=run.log"},
      {L"-log=\"run.log\"", L"upd.prf"},
  };
  for (const Args& in : orders) {
    const std::wstring text = BuildRelaunchArguments(L"C:\\kit\\", in, L"C:\\kit", exists);
    const Args copy = SplitCommandLine(L"setup.exe " + text);
    const TStartArguments start = ParseStartArguments(copy, L"C:\\temp\\");
    EXPECT_EQ(start.StartDir, L"C:\\kit\\") << text;
    EXPECT_EQ(start.RenewFile, L"C:\\kit\\upd.prf") << text;
    EXPECT_EQ(FindLogFile(copy), L"C:\\kit\\run.log") << text;
  }
}

TEST(ParseStartArguments, StartFolderAndUpdateFile) {
  struct Case {
    Args In;
    const wchar_t* StartDir;
    const wchar_t* RenewFile;
  };
  const Case cases[] = {
      {{}, L"", L""},
      {{L"/WINE"}, L"C:\\exe\\", L""},
      {{L"/wine", L"/STARTDIR=C:\\kit"}, L"C:\\exe\\", L""},
      {{L"/STARTDIR=C:\\kit"}, L"C:\\kit\\", L""},
      {{L"/startdir=\"C:\\kit\\\""}, L"C:\\kit\\", L""},
      {{L"-STARTDIR=C:\\a=b"}, L"C:\\a=b\\", L""},
      {{L"/STARTDIR="}, L"", L""},
      {{L"/STARTDIR=\"\""}, L"", L""},
      {{L"/STARTDIRX=C:\\kit"}, L"", L""},
      {{L"x", L"/STARTDIR=C:\\kit"}, L"", L""},
      {{L"/STARTDIR=C:\\kit", L"/RNW=C:\\u.prf"}, L"C:\\kit\\", L"C:\\u.prf"},
      {{L"/STARTDIR=C:\\kit", L"/rnw=\"C:\\u v.prf\""}, L"C:\\kit\\", L"C:\\u v.prf"},
      {{L"/STARTDIR=C:\\kit", L"/WINE", L"/RNW=C:\\u.prf"}, L"C:\\kit\\", L""},
      {{L"/WINE", L"/RNW=C:\\u.prf"}, L"C:\\exe\\", L"C:\\u.prf"},
  };
  for (const Case& c : cases) {
    const TStartArguments start = ParseStartArguments(c.In, L"C:\\exe");
    const std::wstring first = c.In.empty() ? L"(none)" : c.In[0];
    EXPECT_EQ(start.StartDir, c.StartDir) << first;
    EXPECT_EQ(start.RenewFile, c.RenewFile) << first;
  }
}

TEST(DecideStartFolderAndMode, SetupIniProductAndInstalledCopy) {
  const TReadSetupIniProduct readProduct = [](const std::wstring& path) -> TSetupIniProduct {
    if (path == L"C:\\kit\\setup.ini" || path == L"C:\\inst\\setup.ini") return {L" JOM ", L"Tavrel"};
    if (path == L"C:\\noname\\setup.ini") return {L"JOM", L""};
    return {};
  };
  const TFileExists exists = FilesThatExist({L"C:\\kit\\setup.ini", L"C:\\inst\\setup.ini", L"C:\\inst\\instcfg.ini",
                                             L"C:\\instcfg-only\\instcfg.ini", L"C:\\empty\\setup.ini",
                                             L"C:\\noname\\setup.ini"});
  struct Case {
    Args In;
    TStartFailure Failure;
    bool Maintenance;
  };
  const Case cases[] = {
      {{}, TStartFailure::SetupIniNotFound, false},
      {{L"/STARTDIR=C:\\kit"}, TStartFailure::None, false},
      {{L"/STARTDIR=C:\\inst\\"}, TStartFailure::None, true},
      {{L"/STARTDIR=C:\\instcfg-only"}, TStartFailure::SetupIniNotFound, false},
      {{L"/STARTDIR=C:\\empty"}, TStartFailure::UnknownSetupIni, false},
      {{L"/STARTDIR=C:\\noname"}, TStartFailure::UnknownSetupIni, false},
      {{L"/WINE"}, TStartFailure::None, false},
      {{L"/RNW=C:\\u.prf"}, TStartFailure::SetupIniNotFound, false},
  };
  for (const Case& c : cases) {
    const TStartDecision d = DecideStartFolderAndMode(c.In, L"C:\\kit\\", exists, readProduct);
    const std::wstring first = c.In.empty() ? L"(none)" : c.In[0];
    EXPECT_EQ(d.Failure, c.Failure) << first;
    EXPECT_EQ(d.Maintenance, c.Maintenance) << first;
    if (c.Failure == TStartFailure::None) {
      EXPECT_EQ(d.ProductSection, L"JOM");
    }
  }
}

}  // namespace
