// The command file of update files: parsing against the new and installed
// lists, the version check, running the commands into a staging folder
// (whole files, patches, attribute changes) and the error weight that
// decides whether the update goes on. The archive is held in memory.

#include "setup/distribution/diPatchProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/StrTool.h"
#include "setup/engine/diExceptions.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/ui/GuiIntfTypes.h"
#include "support/RenewPatchWriter.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

constexpr wchar_t Sep = fs::path::preferred_separator;

enum class TResult { False, True, Critical };
enum class TVersionOutcome { Goes, Mismatch, Aborted };

// Entries by exact name; a damaged one fails its CRC when read.
class TMemoryArchive : public TUpdateArchive {
public:
  std::map<std::wstring, std::string> Entries;
  std::vector<std::wstring> Damaged;

  bool HasEntry(const std::wstring& entry) const override { return Entries.count(entry) != 0; }
  void ReadEntry(const std::wstring& entry, TStream& stream) override {
    const std::string& bytes = Entries.at(entry);
    stream.WriteBuffer(bytes.data(), bytes.size());
    for (const std::wstring& damaged : Damaged) {
      if (damaged == entry) throw EEntryCrcError(L"bad CRC");
    }
  }
};

std::wstring FolderText(const fs::path& folder) { return folder.wstring() + Sep; }

// A list from its lines (no file behind it) named like an installed one.
void FillList(TProgramLstFile& list, const std::vector<std::wstring>& lines) {
  list.FileName = L"files.lst";
  list.LoadFromLines(lines);
}

const std::vector<std::wstring> NewLines = {
    L"a.txt",
    L"\"b c.txt\" Dir=\"dir with space\"",
    L"\"a=b;c.txt\"",
    L"kept.bin St=I",
    L"plain.bin St=t",
    L"lib.dll St=L",
    L"attr.txt St=S",
    L"fresh.bin",
    L"k.bin St=k",
    L"user.ini",
    L"sys.dll",
};
const std::vector<std::wstring> OldLines = {
    L"kept.bin St=I", L"plain.bin St=t", L"lib.dll St=C", L"attr.txt",
    L"k.bin St=k",    L"gone.txt",       L"user.ini St=R", L"sys.dll St=L",
};

// Commands parsed from one line: kind, entry, source and target as text.
struct TParsed {
  char Kind;  // 'C'opy, 'R'enew, 'A'ttributes
  std::wstring Entry, Source, Target, Path;
};

std::vector<TParsed> Describe(const TRenewCmdFile& commands) {
  std::vector<TParsed> result;
  for (const TRenewCmdItem* item : commands) {
    const char kind = dynamic_cast<const TCopyRenewCmdItem*>(item)    ? 'C'
                      : dynamic_cast<const TPatchRenewCmdItem*>(item) ? 'R'
                                                                      : 'A';
    result.push_back({kind, item->Entry, item->SourceFile, item->TargetFile, item->Item->RelativePath});
  }
  return result;
}

bool operator==(const TParsed& a, const TParsed& b) {
  return a.Kind == b.Kind && a.Entry == b.Entry && a.Source == b.Source && a.Target == b.Target && a.Path == b.Path;
}

void PrintTo(const TParsed& p, std::ostream* os) {
  *os << p.Kind << " " << testing::PrintToString(p.Entry) << " " << testing::PrintToString(p.Source) << " "
      << testing::PrintToString(p.Target) << " " << testing::PrintToString(p.Path);
}

// A command file over the two lists, with the stage and program folders
// given as plain texts (parsing touches no file).
struct TParsing {
  TProgramLstFile NewList, OldList;
  TProgramLstFileItems Changed;
  TRenewCmdFile Commands;
  std::vector<std::pair<std::int32_t, std::wstring>> Messages;

  TParsing() {
    FillList(NewList, NewLines);
    FillList(OldList, OldLines);
    Commands.StageFolder = L"S:\\stage\\";
    Commands.ProgramFolder = L"P:\\prog\\";
    Commands.NewList = &NewList;
    Commands.OldList = &OldList;
    Commands.ChangedList = &Changed;
    Commands.OnMessage = [this](std::int32_t kind, const std::wstring& text) { Messages.emplace_back(kind, text); };
  }
};

std::wstring Staged(const std::wstring& relative) {
  return L"S:\\stage\\" + ReplaceChar(relative, L'\\', Sep);
}

TEST(LoadCommands, ReadsEachKindOfLineAsTheGrammarSays) {
  const struct {
    const char* Name;
    std::string Line;
    std::vector<TParsed> Expected;
  } cases[] = {
      {"copy, any case of the word", "cOPY a.txt", {{'C', L"a.txt", L"", Staged(L"a.txt"), L"a.txt"}}},
      {"Copy takes its path from the first argument", "Copy new1 \"dir with space\\b c.txt\"", {}},
      {"a quoted path stands for Copy's first argument", "Copy \"dir with space\\b c.txt\"",
       {{'C', L"dir with space\\b c.txt", L"", Staged(L"dir with space\\b c.txt"), L"dir with space\\b c.txt"}}},
      {"= and ; are ordinary", "Copy a=b;c.txt", {{'C', L"a=b;c.txt", L"", Staged(L"a=b;c.txt"), L"a=b;c.txt"}}},
      {"tabs separate, CR LF ends", "\tCopy\t a.txt \r\n", {{'C', L"a.txt", L"", Staged(L"a.txt"), L"a.txt"}}},
      {"an open quote runs to the end of the line", "Copy \"a.txt", {{'C', L"a.txt", L"", Staged(L"a.txt"), L"a.txt"}}},
      {"renew of a kept copy (I) reads it from DISTR", "Renew p1 kept.bin",
       {{'R', L"p1", L"P:\\prog\\DISTR\\kept.bin", Staged(L"kept.bin"), L"kept.bin"}}},
      {"renew of a C item reads its kept copy", "renew p2 lib.dll",
       {{'R', L"p2", L"P:\\prog\\DISTR\\lib.dll", Staged(L"lib.dll"), L"lib.dll"}}},
      {"renew of an R item reads its kept copy", "Renew p5 user.ini",
       {{'R', L"p5", L"P:\\prog\\DISTR\\user.ini", Staged(L"user.ini"), L"user.ini"}}},
      {"renew of an L item reads its kept copy", "Renew p6 sys.dll",
       {{'R', L"p6", L"P:\\prog\\DISTR\\sys.dll", Staged(L"sys.dll"), L"sys.dll"}}},
      {"renew of a t item reads the installed file", "RENEW \"p 3\" plain.bin",
       {{'R', L"p 3", L"P:\\prog\\plain.bin", Staged(L"plain.bin"), L"plain.bin"}}},
      {"change", "Change attr.txt", {{'A', L"", L"", L"", L"attr.txt"}}},
      {"renew of a file the installed list lacks", "Renew p4 fresh.bin", {}},
      {"path missing from the new list", "Copy gone.txt", {}},
      {"renew with two tokens", "Renew kept.bin", {}},
      {"one token", "Copy", {}},
      {"empty quoted path", "Copy \"\"", {}},
      {"unknown word", "Delete a.txt", {}},
      {"empty line", "", {}},
      {"blanks and control characters only", " \t\x01 ", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TParsing parsing;
    parsing.Commands.LoadCommands(c.Line);
    EXPECT_EQ(Describe(parsing.Commands), c.Expected);
    EXPECT_TRUE(parsing.Messages.empty());
  }
}

TEST(LoadCommands, VersionLineSetsTheVersionsAndPreviousLinksTheInstalledItem) {
  TParsing parsing;
  const std::string file =
      "Version 5.02 5.03\r\nVersion 5.02\r\nChange attr.txt\r\nRenew p1 kept.bin\r\nCopy k.bin\r\n"
      "Renew p2 fresh.bin\r\nCopy a.txt\r\n";
  parsing.Commands.LoadCommands(file);
  EXPECT_EQ(parsing.Commands.FromVersion, L"5.02");
  EXPECT_EQ(parsing.Commands.ToVersion, L"5.03");
  EXPECT_EQ(parsing.NewList.Version, L"5.03");
  ASSERT_EQ(parsing.Messages.size(), 1u);
  EXPECT_EQ(parsing.Messages[0], std::make_pair(1, std::wstring(L"Обновление с версии 5.02 на версию 5.03")));
  ASSERT_EQ(parsing.Commands.Count(), 4);
  EXPECT_EQ(parsing.NewList.FindByRelativePath(L"attr.txt")->Previous, parsing.OldList.FindByRelativePath(L"attr.txt"));
  EXPECT_EQ(parsing.NewList.FindByRelativePath(L"kept.bin")->Previous, parsing.OldList.FindByRelativePath(L"kept.bin"));
  // A whole new file does not look at the installed one.
  EXPECT_EQ(parsing.NewList.FindByRelativePath(L"k.bin")->Previous, nullptr);

  // Reloading starts afresh; a UTF-16 file is read by its byte-order mark.
  const std::string utf16("\xFF\xFE" "C\0o\0p\0y\0 \0a\0.\0t\0x\0t\0", 22);
  parsing.Commands.LoadCommands(utf16);
  ASSERT_EQ(parsing.Commands.Count(), 1);
  EXPECT_EQ(parsing.Commands[0]->Item->RelativePath, L"a.txt");
}

TEST(StagedPath, KeepsEveryPathInsideTheStagingFolder) {
  const struct {
    std::wstring Relative;
    std::wstring Expected;  // empty: refused
  } cases[] = {
      {L"a.txt", L"a.txt"},
      {L"www\\img\\a.png", L"www\\img\\a.png"},
      {L"www/img/a.png", L"www\\img\\a.png"},
      {L"##\\Common\\x.dll", L"##\\Common\\x.dll"},
      {L"\\\\server\\share\\x", L"server\\share\\x"},
      {L"..\\x", L""},
      {L"a\\..\\..\\x", L""},
      {L"a/../x", L""},
      {L"...\\x", L""},
      {L"a\\. \\x", L""},
      {L"C:\\Windows\\x.dll", L""},
      {L"x.txt:stream", L""},
      {L"", L""},
      {L"\\", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Relative));
    if (c.Expected.empty()) {
      EXPECT_THROW(StagedPath(L"S:\\stage\\", c.Relative), Exception);
    } else {
      EXPECT_EQ(StagedPath(L"S:\\stage\\", c.Relative), Staged(c.Expected));
    }
  }
  // A hostile new list cannot stage a file outside the folder: the command
  // file is refused.
  TParsing parsing;
  FillList(parsing.NewList, {L"x.dll Dir=C:\\Windows"});
  EXPECT_THROW(parsing.Commands.LoadCommands("Copy C:\\Windows\\x.dll"), Exception);
}

// A real staging folder and installed copy with files, and the archive.
struct TUpdate {
  TempDir Dir{"patchprog"};
  TMemoryArchive Zip;
  TProgramLstFile NewList, OldList;
  TProgramLstFileItems Changed;
  std::vector<std::pair<std::int32_t, std::wstring>> Messages;
  std::vector<std::wstring> Questions;
  std::vector<std::int32_t> Percents;
  std::int32_t Answer = 7;  // IDNO
  std::function<bool(const std::wstring& text1)> CancelAt;

  fs::path Stage() const { return Dir.path() / "stage"; }
  std::wstring Program() const { return FolderText(Dir.path() / "prog"); }
  // Writes the installed file at the exact path a command names.
  void Installed(const std::wstring& path, const std::string& bytes) const {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(fs::path(path), bytes);
  }
  std::wstring InstalledPath(const std::wstring& name) const { return IncludeTrailingBackslash(Program()) + name; }
  std::wstring KeptPath(const std::wstring& name) const {
    return IncludeTrailingBackslash(Program()) + L"DISTR\\" + name;
  }
  std::string StagedBytes(const std::wstring& name) const { return ReadFile(Stage() / name); }

  void Connect(TRenewCmdFile& commands) {
    commands.StageFolder = FolderText(Stage());
    commands.ProgramFolder = Program();
    commands.InstalledVersion = L"5.02";
    commands.Zip = &Zip;
    commands.OldList = &OldList;
    commands.NewList = &NewList;
    commands.ChangedList = &Changed;
    commands.OnMessage = [this](std::int32_t kind, const std::wstring& text) { Messages.emplace_back(kind, text); };
    commands.OnQuestion = [this](const std::wstring& caption, const std::wstring& text, std::uint32_t flags) {
      EXPECT_EQ(caption, L"Программа установки");
      EXPECT_EQ(flags, 36u);
      Questions.push_back(text);
      return Answer;
    };
    commands.OnStatus = [this](const std::wstring&, const std::wstring& text1, const std::wstring&,
                               std::int32_t percent, std::uint8_t& cancel) {
      if (percent >= 0) Percents.push_back(percent);
      if (CancelAt && CancelAt(text1)) cancel = 1;
    };
  }

  std::vector<std::wstring> ChangedPaths() const {
    std::vector<std::wstring> paths;
    for (int i = 0; i < Changed.Count(); ++i) paths.push_back(Changed.Strings(i));
    return paths;
  }
  std::vector<std::wstring> Errors() const {
    std::vector<std::wstring> errors;
    for (const auto& [kind, text] : Messages) {
      if (kind == 0) errors.push_back(text);
    }
    return errors;
  }
};

TEST(RenewCmdFile, StagesWholeFilesPatchesAndAttributeChanges) {
  TUpdate update;
  const std::string oldKept(3000, 'k'), oldPlain(2000, 'p');
  std::string newKept = oldKept, newPlain = oldPlain;
  newKept[10] = 'X';
  newPlain += "tail";
  FillList(update.OldList, {L"kept.bin St=I", L"plain.bin", L"same.bin", L"attr.txt"});
  FillList(update.NewList, {L"kept.bin St=I", L"plain.bin Dir=sub", L"same.bin", L"attr.txt St=S", L"new.txt"});
  update.Installed(update.KeptPath(L"kept.bin"), oldKept);
  update.Installed(update.InstalledPath(L"kept.bin"), "changed by the user");
  update.Installed(update.InstalledPath(L"plain.bin"), oldPlain);
  // Already the new version: its patch changes nothing and is no error.
  update.Installed(update.InstalledPath(L"same.bin"), newPlain);
  update.Zip.Entries = {
      {L"renew.cmd", "Version 5.02 5.03\r\nRenew kept.rdf kept.bin\r\nRenew plain.rdf sub\\plain.bin\r\n"
                     "Renew same.rdf same.bin\r\nChange attr.txt\r\nCopy new.txt\r\n"},
      {L"kept.rdf", testsupport::MakePatch(oldKept, newKept, 500, true).Serialize()},
      {L"plain.rdf", testsupport::MakePatch(oldPlain, newPlain, 300, false).Serialize()},
      {L"same.rdf", testsupport::MakePatch(oldPlain, newPlain, 300, true).Serialize()},
      {L"new.txt", "a new file"},
  };
  // The installed list has no "sub\plain.bin": that patch is not run.
  TRenewCmdFile commands;
    update.Connect(commands);
  commands.LoadCommands();
  ASSERT_EQ(commands.Count(), 4);
  commands.CheckVersion();
  EXPECT_TRUE(commands.Execute());
  EXPECT_EQ(commands.ErrorWeight, 0);
  EXPECT_EQ(update.StagedBytes(L"kept.bin"), newKept) << "patched from the kept copy";
  EXPECT_EQ(update.StagedBytes(L"new.txt"), "a new file");
  EXPECT_FALSE(fs::exists(update.Stage() / L"same.bin"));
  EXPECT_TRUE(update.NewList.FindByRelativePath(L"attr.txt")->AttributesChanged);
  EXPECT_EQ(update.ChangedPaths(), (std::vector<std::wstring>{L"attr.txt", L"kept.bin", L"new.txt"}));
  EXPECT_TRUE(update.Errors().empty());
  ASSERT_EQ(update.Messages.size(), 2u);
  EXPECT_EQ(update.Messages.back().second.rfind(L"Время обновления: ", 0), 0u);
  EXPECT_EQ(update.Messages.back().second.substr(update.Messages.back().second.size() - 3), L" мс");
  EXPECT_EQ(update.Percents.front(), 0);
  EXPECT_EQ(update.Percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(update.Percents.begin(), update.Percents.end()));
  // The installed files are left alone.
  EXPECT_EQ(ReadFile(fs::path(update.InstalledPath(L"kept.bin"))), "changed by the user");
  EXPECT_EQ(ReadFile(fs::path(update.InstalledPath(L"plain.bin"))), oldPlain);
}

TEST(RenewCmdFile, AFileNamedByTwoCommandsIsListedOnce) {
  TUpdate update;
  const std::string oldPlain(2000, 'p');
  const std::string newPlain = oldPlain + "tail";
  FillList(update.OldList, {L"plain.bin"});
  FillList(update.NewList, {L"plain.bin", L"new.txt"});
  update.Installed(update.InstalledPath(L"plain.bin"), oldPlain);
  update.Zip.Entries = {
      {L"renew.cmd", "Copy new.txt\r\nRenew p.rdf plain.bin\r\ncOPY new.txt\r\nRenew p.rdf plain.bin\r\n"},
      {L"p.rdf", testsupport::MakePatch(oldPlain, newPlain, 300, true).Serialize()},
      {L"new.txt", "a new file"},
  };
  TRenewCmdFile commands;
  update.Connect(commands);
  commands.LoadCommands();
  EXPECT_TRUE(commands.Execute()) << testing::PrintToString(update.Errors());
  EXPECT_EQ(update.ChangedPaths(), (std::vector<std::wstring>{L"new.txt", L"plain.bin"}));
  EXPECT_EQ(update.StagedBytes(L"plain.bin"), newPlain);
}

TEST(RenewCmdFile, AKeptCopyAlreadyNewStagesItForAnInstalledFileThatIsNot) {
  // An update stopped between the kept copy and the installed file: run
  // again, the kept copy is new, and the installed file must still be
  // brought to the new version.
  const std::string oldKept(3000, 'k');
  std::string newKept = oldKept;
  newKept[10] = 'X';
  const struct {
    const char* Name;
    std::string Installed;
    bool Staged;
  } cases[] = {
      {"installed file still old", oldKept, true},
      {"installed file new too", newKept, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TUpdate update;
    FillList(update.OldList, {L"kept.bin St=I"});
    FillList(update.NewList, {L"kept.bin St=I"});
    update.Installed(update.KeptPath(L"kept.bin"), newKept);
    update.Installed(update.InstalledPath(L"kept.bin"), c.Installed);
    update.Zip.Entries = {{L"renew.cmd", "Renew kept.rdf kept.bin\r\n"},
                          {L"kept.rdf", testsupport::MakePatch(oldKept, newKept, 500, true).Serialize()}};
    TRenewCmdFile commands;
    update.Connect(commands);
    commands.LoadCommands();
    EXPECT_TRUE(commands.Execute());
    EXPECT_EQ(commands.ErrorWeight, 0);
    EXPECT_EQ(update.ChangedPaths(), c.Staged ? std::vector<std::wstring>{L"kept.bin"} : std::vector<std::wstring>{});
    if (c.Staged) {
      EXPECT_EQ(update.StagedBytes(L"kept.bin"), newKept);
    } else {
      EXPECT_FALSE(fs::exists(update.Stage() / "kept.bin"));
    }
  }
}

TEST(RenewCmdFile, AFailedCopyKeepsTheFileAnEarlierCommandStaged) {
  // The item stays in the changed list, so its staged file must stay too:
  // the install would otherwise stop half-way for want of it.
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged entry" : "missing entry");
    TUpdate update;
    const std::string oldPlain(2000, 'p');
    const std::string newPlain = oldPlain + "tail";
    FillList(update.OldList, {L"plain.bin"});
    FillList(update.NewList, {L"plain.bin"});
    update.Installed(update.InstalledPath(L"plain.bin"), oldPlain);
    update.Zip.Entries = {{L"renew.cmd", "Renew p.rdf plain.bin\r\nCopy plain.bin\r\n"},
                          {L"p.rdf", testsupport::MakePatch(oldPlain, newPlain, 300, true).Serialize()}};
    if (damaged) {
      update.Zip.Entries[L"plain.bin"] = "half";
      update.Zip.Damaged = {L"plain.bin"};
    }
    update.Answer = 6;
    TRenewCmdFile commands;
    update.Connect(commands);
    commands.LoadCommands();
    EXPECT_TRUE(commands.Execute());
    EXPECT_EQ(commands.ErrorWeight, 1);
    EXPECT_EQ(update.ChangedPaths(), (std::vector<std::wstring>{L"plain.bin"}));
    EXPECT_EQ(update.StagedBytes(L"plain.bin"), newPlain);
    EXPECT_EQ(std::distance(fs::directory_iterator(update.Stage()), fs::directory_iterator()), 1)
        << "no temporary file is left";
  }
}

TEST(RenewCmdFile, ErrorWeightDecidesWhetherTheUpdateGoesOn) {
  const struct {
    const char* Name;
    std::string Commands;
    bool Silent, ContinueWhenChanged;
    std::int32_t Answer;
    int Weight;
    std::wstring Question;  // expected question, empty: none
    TResult Result;
  } cases[] = {
      {"no error", "Copy a.txt", false, false, 7, 0, L"", TResult::True},
      {"one error, Yes", "Copy m.txt\r\nCopy k.bin", false, false, 6, 1,
       L"При обновлении файлов были ошибки - 1. Продолжить обновление ?", TResult::True},
      {"one error, No", "Copy m.txt", false, false, 7, 1,
       L"При обновлении файлов были ошибки - 1. Продолжить обновление ?", TResult::False},
      {"two errors", "Copy m.txt\r\nRenew bad.rdf a.txt", false, false, 6, 2,
       L"При обновлении файлов были ошибки - 2. Продолжить обновление ?", TResult::True},
      {"silent answers no", "Copy m.txt\r\nCopy k.bin", true, false, 6, 1, L"",
       TResult::False},
      {"a k file is critical", "Copy mk.bin\r\nCopy a.txt", false, false, 6, 1000, L"",
       TResult::Critical},
      {"continue when changed, even critical", "Copy mk.bin", true, true, 7, 1000, L"",
       TResult::True},
      {"silent and only the list changed", "Copy m.txt", true, true, 7, 1, L"",
       TResult::True},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TUpdate update;
    // The archive lacks m.txt and mk.bin.
    FillList(update.OldList, {L"a.txt", L"k.bin St=k"});
    FillList(update.NewList, {L"a.txt", L"k.bin St=k", L"m.txt", L"mk.bin St=k"});
    update.Installed(update.InstalledPath(L"a.txt"), "old a");
    update.Zip.Entries = {{L"renew.cmd", c.Commands}, {L"a.txt", "new a"}, {L"k.bin", "new k"}, {L"bad.rdf", "RFH"}};
    update.Answer = c.Answer;
    // The list itself is always staged first.
    update.Changed.AddObject(L"files.lst", update.NewList[0]);
    TRenewCmdFile commands;
    update.Connect(commands);
    commands.Silent = c.Silent;
    commands.ContinueWhenChanged = c.ContinueWhenChanged;
    commands.LoadCommands();
    if (c.Result == TResult::Critical) {
      try {
        commands.Execute();
        ADD_FAILURE() << "critical errors went on";
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"При обновлении файлов были критичные ошибки, обновление программы невозможно");
      }
    } else {
      EXPECT_EQ(commands.Execute(), c.Result == TResult::True);
    }
    EXPECT_EQ(commands.ErrorWeight, c.Weight);
    EXPECT_EQ(update.Questions, c.Question.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{c.Question});
    EXPECT_EQ(update.Errors().size(), static_cast<std::size_t>(c.Weight >= 1000 ? 1 : c.Weight));
  }
}

TEST(RenewCmdFile, AFailedCommandNamesItsFileAndLeavesNothingStaged) {
  TUpdate update;
  FillList(update.OldList, {L"a.txt"});
  FillList(update.NewList, {L"a.txt", L"b.txt"});
  update.Installed(update.InstalledPath(L"a.txt"), "old a");
  update.Zip.Entries = {{L"renew.cmd", "Copy b.txt\r\nRenew a.rdf a.txt\r\nCopy a.txt"},
                        {L"a.rdf", "XXXXXX"},
                        {L"a.txt", "damaged"}};
  update.Zip.Damaged = {L"a.txt"};
  TRenewCmdFile commands;
    update.Connect(commands);
  commands.LoadCommands();
  update.Answer = 7;
  EXPECT_FALSE(commands.Execute());
  const std::wstring stagedB = StagedPath(FolderText(update.Stage()), L"b.txt");
  const std::wstring stagedA = StagedPath(FolderText(update.Stage()), L"a.txt");
  EXPECT_EQ(update.Errors(), (std::vector<std::wstring>{
                                 stagedB + L": Файл b.txt не найден в файле обновления",
                                 update.InstalledPath(L"a.txt") + L": " + rsRenewFileSignInvalid,
                                 stagedA + L": Ошибка проверки CRC-32 файла a.txt",
                             }));
  EXPECT_FALSE(fs::exists(update.Stage() / "b.txt")) << "no empty file for a missing entry";
  EXPECT_FALSE(fs::exists(update.Stage() / "a.txt")) << "no half file for a damaged entry";
  EXPECT_TRUE(update.Changed.Empty());

  // Without a message callback the first failure raises at once.
  TRenewCmdFile quiet;
    update.Connect(quiet);
  quiet.OnMessage = nullptr;
  quiet.LoadCommands();
  try {
    quiet.Execute();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), stagedB + L": Файл b.txt не найден в файле обновления");
  }
  EXPECT_EQ(quiet.ErrorWeight, 1);
}

TEST(RenewCmdFile, ACancelStopsBeforeTheNextCommand) {
  TUpdate update;
  FillList(update.OldList, {L"a.txt"});
  FillList(update.NewList, {L"a.txt", L"b.txt"});
  update.Zip.Entries = {{L"renew.cmd", "Copy a.txt\r\nCopy b.txt"}, {L"a.txt", "a"}, {L"b.txt", "b"}};
  update.CancelAt = [](const std::wstring&) { return true; };
  TRenewCmdFile commands;
    update.Connect(commands);
  commands.LoadCommands();
  try {
    commands.Execute();
    ADD_FAILURE() << "not cancelled";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), L"Обновление файлов прервано пользователем");
  }
  EXPECT_FALSE(fs::exists(update.Stage() / "b.txt"));
}

TEST(RenewCmdFile, VersionCheck) {
  const struct {
    const char* Name;
    std::wstring From;
    bool Silent;
    std::int32_t Answer;
    TVersionOutcome Outcome;
  } cases[] = {
      {"same version", L"5.02", false, 7, TVersionOutcome::Goes},
      {"same version, silent", L"5.02", true, 7, TVersionOutcome::Goes},
      {"other version, Yes", L"5.01", false, 6, TVersionOutcome::Goes},
      {"other version, No", L"5.01", false, 7, TVersionOutcome::Aborted},
      {"other version, silent", L"5.01", true, 6, TVersionOutcome::Mismatch},
      {"no Version line, Yes", L"", false, 6, TVersionOutcome::Goes},
      {"the comparison is exact", L"5.020", true, 6, TVersionOutcome::Mismatch},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TUpdate update;
    update.Answer = c.Answer;
    TRenewCmdFile commands;
    update.Connect(commands);
    commands.Silent = c.Silent;
    commands.FromVersion = c.From;
    const std::wstring mismatch = L"Файл обновления предназначен для версии " + c.From + L", установлена версия 5.02.";
    switch (c.Outcome) {
      case TVersionOutcome::Goes: EXPECT_NO_THROW(commands.CheckVersion()); break;
      case TVersionOutcome::Aborted: EXPECT_THROW(commands.CheckVersion(), EAbort); break;
      case TVersionOutcome::Mismatch:
        try {
          commands.CheckVersion();
          ADD_FAILURE() << "no mismatch";
        } catch (const EAbort&) {
          ADD_FAILURE() << "aborted";
        } catch (const Exception& e) {
          EXPECT_EQ(e.Message(), mismatch);
        }
        break;
    }
    const bool asked = c.From != L"5.02" && !c.Silent;
    EXPECT_EQ(update.Questions, asked ? std::vector<std::wstring>{mismatch + L" Выполнить обновление ?"}
                                      : std::vector<std::wstring>{});
  }
}

class TAnsweringGuiTools : public TRefCountedObject<IGuiTools> {
public:
  std::int32_t Answer = 6;
  std::vector<std::tuple<std::wstring, std::uint32_t, std::wstring>> Boxes;
  void CenterWindow(WindowHandle, WindowHandle, bool) override {}
  std::int32_t ShowMessage(TMessageKind, const std::wstring&, const std::wstring&, bool) override { return 1; }
  void RefreshTrayArea() override {}
  bool Confirm(const std::wstring&, const std::wstring&, bool, WindowHandle) override { return false; }
  std::int32_t MessageBox(const std::wstring& text, std::uint32_t flags, const std::wstring& caption) override {
    Boxes.emplace_back(text, flags, caption);
    return Answer;
  }
};

TEST(RenewCmdFile, ConfirmAsksTheGuiToolsWithoutAQuestionCallback) {
  auto gui = MakeRef<TAnsweringGuiTools>();
  const RefPtr<IGuiTools> previous = SetGuiTools(gui);
  TRenewCmdFile commands;
  EXPECT_TRUE(commands.Confirm(L"q1"));
  gui->Answer = 7;
  EXPECT_FALSE(commands.Confirm(L"q2"));
  commands.Silent = true;
  EXPECT_FALSE(commands.Confirm(L"q3"));
  SetGuiTools(previous);
  ASSERT_EQ(gui->Boxes.size(), 2u);
  EXPECT_EQ(gui->Boxes[0], std::make_tuple(std::wstring(L"q1"), 36u, std::wstring(L"Программа установки")));
}

TEST(RenewCmdFile, LoadNewListTakesTheListTheUpdateNames) {
  const struct {
    const char* Name;
    std::string SetupIni;  // empty: no setup.ini in the archive
    std::wstring ListEntry;
    std::wstring Error;  // empty: loads
  } cases[] = {
      {"named by setup.ini", "[Products]\r\nProduct1=JOM\r\n[JOM]\r\nFilesLst=sub\\new.lst\r\n", L"new.lst", L""},
      {"without setup.ini: the installed list's name", "", L"files.lst", L""},
      {"setup.ini without a product", "[Products]\r\n", L"files.lst", L""},
      {"missing list", "", L"other.lst",
       L"Файл files.lst не найден в файле обновления, возможно файл обновления от другой программы"},
      {"a list name that climbs out", "[Products]\r\nProduct1=JOM\r\n[JOM]\r\nFilesLst=..\r\n", L"..", L"?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TUpdate update;
    FillList(update.OldList, {L"a.txt"});
    if (!c.SetupIni.empty()) update.Zip.Entries[L"setup.ini"] = c.SetupIni;
    update.Zip.Entries[c.ListEntry] = "a.txt Len=3\r\nb.txt\r\n";
    TRenewCmdFile commands;
    update.Connect(commands);
    if (!c.Error.empty()) {
      try {
        commands.LoadNewList();
        ADD_FAILURE() << "loaded";
      } catch (const Exception& e) {
        if (c.Error != L"?") {
          EXPECT_EQ(e.Message(), c.Error);
        }
      }
      EXPECT_TRUE(update.Changed.Empty());
      continue;
    }
    commands.LoadNewList();
    ASSERT_EQ(update.NewList.Count(), 3);
    EXPECT_NE(update.NewList.FindByRelativePath(L"b.txt"), nullptr);
    EXPECT_EQ(update.StagedBytes(c.ListEntry), "a.txt Len=3\r\nb.txt\r\n");
    ASSERT_EQ(update.ChangedPaths(), std::vector<std::wstring>{c.ListEntry});
    EXPECT_TRUE(update.Changed.Objects(0)->HasStatus(L"S"));
  }
}

TEST(UpdateArchive, ExtractToStreamNamesTheEntryAndRewinds) {
  TMemoryArchive zip;
  zip.Entries = {{L"good", "content"}, {L"bad", "content"}};
  zip.Damaged = {L"bad"};
  TMemoryStream stream;
  zip.ExtractToStream(L"good", stream);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(stream.Size(), 7);
  const std::pair<std::wstring, std::wstring> failures[] = {
      {L"missing", L"Файл missing не найден в файле обновления"},
      {L"bad", L"Ошибка проверки CRC-32 файла bad"},
  };
  for (const auto& [entry, text] : failures) {
    TMemoryStream other;
    try {
      zip.ExtractToStream(entry, other);
      ADD_FAILURE() << "extracted";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), text);
    }
    EXPECT_EQ(other.Position(), 0);
  }
}

}  // namespace
