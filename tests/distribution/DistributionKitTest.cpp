#include "setup/distribution/diCommon.h"

#include <gtest/gtest.h>

#include <cwctype>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <system_error>
#include <thread>

#include "InstalledCopy.h"
#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/Stream.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "support/PlatformToolsForwarder.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {
struct TStatusCall {
  std::wstring Title, Text1, Text2;
  std::int32_t Percent;
};

// Records a version's messages and status calls; can cancel at a status call.
struct TRecorder {
  std::vector<std::pair<std::int32_t, std::wstring>> Messages;
  std::vector<TStatusCall> Statuses;
  int CancelAtStatus = -1;

  void Connect(TDIVersion& version) {
    version.OnMessage = [this](std::int32_t kind, const std::wstring& text, std::intptr_t) {
      Messages.emplace_back(kind, text);
    };
    version.OnStatus = [this](const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                              std::int32_t percent, std::uint8_t& cancel) {
      Statuses.push_back({title, text1, text2, percent});
      if (static_cast<int>(Statuses.size()) - 1 == CancelAtStatus) cancel = 1;
    };
  }
  std::vector<std::wstring> Errors() const {
    std::vector<std::wstring> errors;
    for (const auto& [kind, text] : Messages) {
      if (kind == 0) errors.push_back(text);
    }
    return errors;
  }
};

// A version of the copy's list, prepared on it, with a recorder connected.
struct TPreparedVersion {
  explicit TPreparedVersion(const TInstalledCopy& copy, int cancelAtStatus = -1)
      : Version(copy.Version, copy.Dir() + L"files.lst") {
    Recorder.CancelAtStatus = cancelAtStatus;
    Recorder.Connect(Version);
    Version.Prepare(copy.Dir());
  }
  TRecorder Recorder;
  TDIVersion Version;
};

std::wstring RaisedText(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return ExceptionMessage(e);
  }
  return L"(nothing raised)";
}

std::wstring Win(const fs::path& path) { return path.wstring(); }

// A copy with archived, loose, kept, outside and deleted items.
TInstalledCopy MixedCopy(const fs::path& folder) {
  TInstalledCopy copy(folder, L"2.5.1");
  copy.Add({L"jom.exe", L"", L"Ik", L"main", FixtureBytes(40000, 1), L""})
      .Add({L"Server.DLL", L"bin", L"", L"main", FixtureBytes(90000, 2, true), L""})
      .Add({L"Readme.TXT", L"doc", L"", L"", FixtureBytes(3000, 3, true), L"Caption=\"Read me\""})
      .Add({L"shared.dll", L"..\\Common", L"C", L"common", FixtureBytes(5000, 4), L""})
      .Add({L"old.dll", L"", L"D", L"main", std::string(), L""})
      .Add({L"Data.BIN", L"data", L"", L"Data", FixtureBytes(1000, 5), L""});
  return copy;
}

// An archive of the kit holds every item of its "Arc" value whole, each
// entry with the list's CRC: a kit's archive is complete or absent.
void ExpectCompleteArchive(const fs::path& zip, const TDIVersion& version) {
  SCOPED_TRACE(zip.filename().string());
  TZipReader reader(Win(zip));
  std::set<std::wstring> names;
  for (const TProgramLstFileItem* item : version.Items) {
    if (item->IsDeleted || UpperCaseText(item->Arc) != UpperCaseText(zip.filename().wstring())) continue;
    names.insert(UpperCaseText(item->FileName));
    TMemoryStream content;
    reader.ExtractToStream(item->FileName, content);
    const std::string bytes(content.Bytes().begin(), content.Bytes().end());
    EXPECT_EQ(FixtureCrc(bytes), item->CRC) << item->FileName;
  }
  EXPECT_FALSE(names.empty());
  EXPECT_EQ(reader.EntryCount(), static_cast<int>(names.size()));
}

std::set<std::wstring> FileNames(const fs::path& folder) {
  std::set<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().wstring());
  return names;
}

// How a build's worker threads start: as the system lets them, one at most,
// or not at all (every start fails as when the system has no room for one).
struct TWorkerMode {
  const char* Name;
  unsigned Limit;
  int FailFrom;  // the first start that fails; -1 for none
};
const TWorkerMode WorkerModes[] = {{"workers", 0, -1}, {"one worker", 1, -1}, {"no worker starts", 0, 0}};

void ApplyWorkerMode(TDIVersion& version, const TWorkerMode& mode) {
  version.WorkerLimit = mode.Limit;
  if (mode.FailFrom < 0) return;
  auto starts = std::make_shared<int>(0);
  version.StartWorker = [starts, mode](std::function<void()> work) {
    if ((*starts)++ >= mode.FailFrom) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(work));
  };
}
}  // namespace

TEST(InstalledCopyFixture, LaysOutFilesKeptCopiesAndAListWithTheirCrc) {
  TempDir dir("fixture");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  EXPECT_TRUE(fs::exists(dir.path() / "Program" / "DISTR" / "jom.exe"));
  EXPECT_TRUE(fs::exists(dir.path() / "Program" / "DISTR" / "##" / "Common" / "shared.dll"));
  EXPECT_TRUE(fs::exists(dir.path() / "Common" / "shared.dll"));
  EXPECT_FALSE(fs::exists(dir.path() / "Program" / "DISTR" / "bin"));
  EXPECT_FALSE(fs::exists(dir.path() / "Program" / "old.dll"));
  EXPECT_TRUE(fs::exists(dir.path() / "Program" / "instcfg.ini"));

  TProgramLstFile list(copy.Dir() + L"files.lst");
  ASSERT_EQ(list.Count(), 7);  // six items and the list itself
  EXPECT_EQ(list[1]->Dir, L"bin");
  EXPECT_EQ(list[1]->CRC, FixtureCrc(copy.Files()[1].Content));
  EXPECT_EQ(list[1]->Size(), 90000);
  EXPECT_EQ(list[2]->Caption, L"Read me");
}

TEST(DistributionCheck, AGoodCopyGivesOnlyTheInformationLineAndEveryPercentage) {
  TempDir dir("check");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  TPreparedVersion prepared(copy);
  TDIVersion& version = prepared.Version;
  TRecorder& recorder = prepared.Recorder;
  version.Check();

  ASSERT_EQ(recorder.Messages.size(), 1u);
  EXPECT_EQ(recorder.Messages[0], std::make_pair(1, std::wstring(L"Проверка версии 2.5.1")));
  ASSERT_EQ(recorder.Statuses.size(), 2u + 2u * 6u);
  EXPECT_EQ(recorder.Statuses.front().Title, L"Проверка версии ");
  EXPECT_EQ(recorder.Statuses.front().Text1, L" ");
  EXPECT_EQ(recorder.Statuses.front().Percent, 0);
  EXPECT_EQ(recorder.Statuses[1].Text1, copy.Dir() + L"DISTR\\jom.exe");
  EXPECT_EQ(recorder.Statuses[1].Percent, 17);
  EXPECT_EQ(recorder.Statuses[2].Text1, L"");
  EXPECT_EQ(recorder.Statuses.back().Percent, 100);
  EXPECT_EQ(recorder.Statuses.back().Text2, L" ");
}

TEST(DistributionCheck, EachBadFileIsOneErrorAndTheRestIsStillChecked) {
  struct TCase {
    const char* Name;
    std::function<void(const TInstalledCopy&)> Damage;
    std::function<std::wstring(const TInstalledCopy&)> Expected;
  };
  const std::vector<TCase> cases = {
      {"edited",
       [](const TInstalledCopy& c) { WriteFile(c.Folder() / "bin" / "Server.DLL", FixtureBytes(90000, 99)); },
       [](const TInstalledCopy& c) { return FormatText(rsFileCrcMismatch, {c.Dir() + L"bin\\Server.DLL"}); }},
      {"shortened",
       [](const TInstalledCopy& c) { WriteFile(c.Folder() / "data" / "Data.BIN", FixtureBytes(999, 5)); },
       [](const TInstalledCopy& c) { return FormatText(rsFileSizeMismatch, {c.Dir() + L"data\\Data.BIN"}); }},
      {"kept copy missing", [](const TInstalledCopy& c) { fs::remove(c.Folder() / "DISTR" / "jom.exe"); },
       [](const TInstalledCopy& c) { return FormatText(rsFileNotFound, {c.Dir() + L"DISTR\\jom.exe"}); }},
      {"installed file missing", [](const TInstalledCopy& c) { fs::remove(c.Folder() / "jom.exe"); },
       [](const TInstalledCopy& c) { return FormatText(rsFileNotFound, {c.Dir() + L"jom.exe"}); }},
      // Only the kept copy is read: a changed installed copy of a kept file is not a fault.
      {"installed kept file edited", [](const TInstalledCopy& c) { WriteFile(c.Folder() / "jom.exe", "new"); },
       [](const TInstalledCopy&) { return std::wstring(); }},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TempDir dir("check");
    const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
    copy.Write();
    test.Damage(copy);
    TPreparedVersion prepared(copy);
    TDIVersion& version = prepared.Version;
    TRecorder& recorder = prepared.Recorder;
    version.Check();
    const std::wstring expected = test.Expected(copy);
    EXPECT_EQ(recorder.Errors(), expected.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{expected});
    // Every item was still visited: two status calls each, one fewer for the bad one.
    EXPECT_EQ(recorder.Statuses.size(), expected.empty() ? 14u : 13u);
    EXPECT_EQ(recorder.Statuses.back().Percent, 100);
  }
}

TEST(DistributionCheck, AnEmptyListReportsItsTitleAndTheInformationLine) {
  TempDir dir("check");
  WriteFile(dir.path() / "files.lst", "; nothing\r\n");
  TDIVersion version(L"1.0", dir.file(L"files.lst"));
  TRecorder recorder;
  recorder.Connect(version);
  version.Prepare(dir.dir());
  version.Check();
  ASSERT_EQ(recorder.Statuses.size(), 2u);
  EXPECT_EQ(recorder.Statuses[0].Percent, 0);
  EXPECT_EQ(recorder.Statuses[1].Percent, 100);
  ASSERT_EQ(recorder.Messages.size(), 1u);
  EXPECT_EQ(recorder.Messages[0].first, 1);
}

TEST(DistributionCheck, CancelStopsWithAnErrorAndWithoutAHandlerTheFirstBadFileRaises) {
  TempDir dir("check");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  {
    TPreparedVersion prepared(copy, 2);
    TDIVersion& version = prepared.Version;
    TRecorder& recorder = prepared.Recorder;
    EXPECT_EQ(RaisedText([&] { version.Check(); }), rsCheckingVersionInterrupted);
    EXPECT_EQ(recorder.Errors(), std::vector<std::wstring>{rsCheckingVersionInterrupted});
  }
  fs::remove(copy.Folder() / "doc" / "Readme.TXT");
  TDIVersion quiet(L"2.5.1", copy.Dir() + L"files.lst");
  quiet.OnStatus = [](const std::wstring&, const std::wstring&, const std::wstring&, std::int32_t, std::uint8_t&) {};
  quiet.OnMessage = nullptr;
  quiet.Prepare(copy.Dir());
  // The information line would be a message box without a handler: only an error may be raised here.
  quiet.OnMessage = [](std::int32_t kind, const std::wstring& text, std::intptr_t) {
    if (kind == 0) throw EMessageError(text);
  };
  EXPECT_EQ(RaisedText([&] { quiet.Check(); }), FormatText(rsFileNotFound, {copy.Dir() + L"doc\\Readme.TXT"}));
}

// The bytes read through the process's platform tools, for the scope.
class TReadCounter : public TPlatformToolsForwarder {
public:
  TReadCounter() : TPlatformToolsForwarder(RefPtr<IPlatformTools>(&PlatformTools())) {}
  bool ReadFileData(Handle file, void* buffer, std::uint32_t count, std::uint32_t& read) override {
    const bool ok = TPlatformToolsForwarder::ReadFileData(file, buffer, count, read);
    Bytes += read;
    return ok;
  }
  std::int64_t Bytes = 0;
};

// A long file reports again while it is read: a cancel given then ends the
// check there, without reading the rest of the file or the next one.
TEST(DistributionCheck, ACancelWhileALongFileIsReadEndsTheCheckThere) {
  TempDir dir("check");
  const std::size_t longSize = 3 * static_cast<std::size_t>(TFileCrcReader::ProgressInterval);
  TInstalledCopy copy(dir.path() / "Program", L"2.5.1");
  copy.Add({L"long.dat", L"", L"", L"", FixtureBytes(longSize, 1), L""})
      .Add({L"after.dll", L"", L"", L"", FixtureBytes(5000, 2), L""});
  copy.Write();
  // Status 0 opens the check, status 1 announces the long file, status 2 is its first report while read.
  TPreparedVersion prepared(copy, 2);
  auto* counter = new TReadCounter;
  const RefPtr<IPlatformTools> previous = SetPlatformTools(RefPtr<IPlatformTools>(counter));
  const std::wstring raised = RaisedText([&] { prepared.Version.Check(); });
  const std::int64_t read = counter->Bytes;
  SetPlatformTools(previous);

  EXPECT_EQ(raised, rsCheckingVersionInterrupted);
  EXPECT_EQ(prepared.Recorder.Errors(), std::vector<std::wstring>{rsCheckingVersionInterrupted});
  ASSERT_EQ(prepared.Recorder.Statuses.size(), 3u);
  EXPECT_EQ(prepared.Recorder.Statuses[2].Text1, copy.Dir() + L"long.dat");
  EXPECT_EQ(prepared.Recorder.Statuses[2].Percent, prepared.Recorder.Statuses[1].Percent);
  EXPECT_LT(read, static_cast<std::int64_t>(longSize) / 2) << "the rest of the long file was read";
}

// A whole kit: one archive per "Arc" value whatever the folder, loose files,
// lower-case names, the kept copy of an outside file, the new list with the
// deleted item, and every entry reading back with the list's CRC.
TEST(DistributionBuild, WritesArchivesLooseFilesAndTheListThatRoundTrip) {
  TempDir dir("build");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  WriteFile(dir.path() / "Common" / "shared.dll", "changed by another program");
  const fs::path kit = dir.path() / "Kit" / "2_5_1";

  TPreparedVersion prepared(copy);
  TDIVersion& version = prepared.Version;
  TRecorder& recorder = prepared.Recorder;
  version.Build(Win(kit), copy.Dir(), L"Files.LST");

  std::set<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(kit)) names.insert(entry.path().filename().wstring());
  EXPECT_EQ(names, (std::set<std::wstring>{L"common.zip", L"data.zip", L"main.zip", L"readme.txt", L"files.lst"}));

  TProgramLstFile written(Win(kit / "files.lst"));
  ASSERT_EQ(written.Count(), 7);  // six items, deleted one included, and the list itself
  EXPECT_TRUE(written[4]->IsDeleted);
  std::map<std::wstring, std::set<std::wstring>> entries;
  for (int i = 0; i < written.Count() - 1; ++i) {
    const TProgramLstFileItem& item = *written[i];
    EXPECT_EQ(item.CRC, version.Items[i]->CRC);
    if (item.IsDeleted || item.Arc.empty()) continue;
    TZipReader reader(Win(kit / LowerCaseLatin(item.Arc)));
    TMemoryStream content;
    reader.ExtractToStream(item.FileName, content);
    const std::string bytes(content.Bytes().begin(), content.Bytes().end());
    EXPECT_EQ(FixtureCrc(bytes), item.CRC) << item.FileName;
    EXPECT_EQ(bytes, copy.Files()[i].Content);
    for (int e = 0; e < reader.EntryCount(); ++e) entries[LowerCaseLatin(item.Arc)].insert(reader.EntryName(e));
  }
  EXPECT_EQ(entries[L"main.zip"], (std::set<std::wstring>{L"jom.exe", L"Server.DLL"}));
  EXPECT_EQ(ReadFile(kit / "readme.txt"), copy.Files()[2].Content);

  const std::string text = ReadFile(kit / "files.lst");
  const std::wstring crc = FixtureCrc(copy.Files()[1].Content);
  const std::string line = "Server.DLL   CRC=" + std::string(crc.begin(), crc.end()) + " Len=   90000 Arc=main.zip     Dir=bin";
  EXPECT_NE(text.find(line), std::string::npos) << text;
  EXPECT_NE(text.find("Caption=\"Read me\""), std::string::npos);

  EXPECT_TRUE(recorder.Errors().empty());
  ASSERT_EQ(recorder.Messages.size(), 2u);
  EXPECT_EQ(recorder.Messages[0].second, FormatText(rsDistributionCreationDirectory, {L"2.5.1", Win(kit)}));
  EXPECT_EQ(recorder.Messages[1].second.rfind(L"Время построения ", 0), 0u);
  // A duration, not a time of day: no AM/PM marker in 12-hour locales.
  EXPECT_TRUE(std::iswdigit(recorder.Messages[1].second.back())) << recorder.Messages[1].second;
  std::int32_t last = -1;
  for (const TStatusCall& call : recorder.Statuses) {
    if (call.Percent < 0) continue;
    EXPECT_GE(call.Percent, last);
    last = call.Percent;
  }
  EXPECT_EQ(last, 100);
  EXPECT_EQ(version.DoneSize, version.TotalSize);

  // Each archived file is announced once, archive after archive in name
  // order, after the progress of the files before it by their sizes.
  std::map<std::wstring, std::int64_t> sizes;
  for (const TProgramLstFileItem* item : version.Items) sizes[UpperCaseText(item->LocalPath)] = item->Size();
  std::vector<std::wstring> announced;
  std::int64_t before = 0;
  std::int32_t percent = 0;
  for (const TStatusCall& call : recorder.Statuses) {
    if (call.Text1.rfind(L"Создание архива ", 0) == 0) {
      announced.push_back(call.Text1.substr(16) + L" " + call.Text2);
      EXPECT_EQ(percent, SizePercent(before, version.TotalSize)) << call.Text2;
      before += sizes.at(call.Text2);
    }
    if (call.Percent >= 0) percent = call.Percent;
  }
  const std::wstring program = UpperCaseText(copy.Dir());
  EXPECT_EQ(announced, (std::vector<std::wstring>{L"COMMON.ZIP " + program + L"DISTR\\##\\COMMON\\SHARED.DLL",
                                                  L"DATA.ZIP " + program + L"DATA\\DATA.BIN",
                                                  L"MAIN.ZIP " + program + L"DISTR\\JOM.EXE",
                                                  L"MAIN.ZIP " + program + L"BIN\\SERVER.DLL"}));
}

// However many worker threads start, none included, the kit is the same.
TEST(DistributionBuild, TheKitIsWholeWhateverWorkerThreadsStart) {
  TempDir dir("build");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  for (const TWorkerMode& mode : WorkerModes) {
    SCOPED_TRACE(mode.Name);
    const fs::path kit = dir.path() / mode.Name;
    TPreparedVersion prepared(copy);
    ApplyWorkerMode(prepared.Version, mode);
    prepared.Version.Build(Win(kit), copy.Dir(), L"files.lst");
    EXPECT_TRUE(prepared.Recorder.Errors().empty());
    EXPECT_EQ(FileNames(kit), (std::set<std::wstring>{L"common.zip", L"data.zip", L"main.zip", L"readme.txt", L"files.lst"}));
    for (const wchar_t* name : {L"common.zip", L"data.zip", L"main.zip"}) ExpectCompleteArchive(kit / name, prepared.Version);
    EXPECT_EQ(prepared.Version.DoneSize, prepared.Version.TotalSize);
  }
}

// A cancel while the second archive is written, or an error at the third,
// keeps the archives finished before it, leaves no part of another one and
// writes no list.
TEST(DistributionBuild, ACancelOrAnErrorKeepsTheArchivesFinishedBefore) {
  TempDir dir("build");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  const std::wstring secondFile = UpperCaseText(copy.Dir() + L"data\\Data.BIN");
  for (const TWorkerMode& mode : WorkerModes) {
    SCOPED_TRACE(mode.Name);
    const fs::path kit = dir.path() / (std::string("cancel ") + mode.Name);
    TPreparedVersion prepared(copy);
    ApplyWorkerMode(prepared.Version, mode);
    TRecorder& recorder = prepared.Recorder;
    prepared.Version.OnStatus = [&](const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                                    std::int32_t percent, std::uint8_t& cancel) {
      recorder.Statuses.push_back({title, text1, text2, percent});
      if (text2 == secondFile) cancel = 1;
    };
    EXPECT_EQ(RaisedText([&] { prepared.Version.Build(Win(kit), copy.Dir(), L"files.lst"); }),
              rsDistributionCreationInterrupted);
    const std::set<std::wstring> names = FileNames(kit);
    EXPECT_TRUE(names.count(L"common.zip"));
    EXPECT_FALSE(names.count(L"files.lst"));
    for (const std::wstring& name : names) {
      EXPECT_EQ(name.substr(name.size() - 4), L".zip") << "no temporary or loose file";
      ExpectCompleteArchive(kit / name, prepared.Version);
    }
    // Written here one by one, the second archive stops with the cancel.
    if (mode.FailFrom == 0) {
      EXPECT_EQ(names, std::set<std::wstring>{L"common.zip"});
    }
  }
  for (const TWorkerMode& mode : WorkerModes) {
    SCOPED_TRACE(mode.Name);
    const fs::path kit = dir.path() / (std::string("error ") + mode.Name);
    fs::create_directories(kit);
    WriteFile(kit / "main.zip", "an old archive another program holds");
    ChildProcess holder = HoldFileOpen(Win(kit / "main.zip"), 0);
    TPreparedVersion prepared(copy);
    ApplyWorkerMode(prepared.Version, mode);
    EXPECT_EQ(RaisedText([&] { prepared.Version.Build(Win(kit), copy.Dir(), L"files.lst"); }),
              SystemErrorMessage(ERROR_SHARING_VIOLATION) + L" (" + Win(kit / "main.zip") + L")");
    EXPECT_EQ(FileNames(kit), (std::set<std::wstring>{L"common.zip", L"data.zip", L"main.zip"}));
    for (const wchar_t* name : {L"common.zip", L"data.zip"}) ExpectCompleteArchive(kit / name, prepared.Version);
  }
}

TEST(DistributionBuild, RefusesTargetsThatWouldOverwriteTheProgram) {
  TempDir dir("build");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  const std::vector<std::pair<std::wstring, std::wstring>> cases = {
      {L"C:\\", rsDistributionCreationInvalidDirectory1},
      {L"D:", rsDistributionCreationInvalidDirectory1},
      {copy.Dir(), rsDistributionCreationInvalidDirectory2},
      {UpperCaseText(ExcludeTrailingBackslash(copy.Dir())), rsDistributionCreationInvalidDirectory2},
      {copy.Dir() + L"bin\\..", rsDistributionCreationInvalidDirectory2},
      {copy.Dir() + L"DISTR", rsDistributionCreationInvalidDirectory3},
      {copy.Dir() + L"distr\\", rsDistributionCreationInvalidDirectory3},
      // Below the program folder, or a folder holding files being read.
      {copy.Dir() + L"bin", rsDistributionCreationInvalidDirectory2},
      {copy.Dir() + L"new\\kit", rsDistributionCreationInvalidDirectory2},
      {copy.Dir() + L"DISTR\\##\\Common", rsDistributionCreationInvalidDirectory3},
  };
  for (const auto& [target, expected] : cases) {
    TPreparedVersion prepared(copy);
    TDIVersion& version = prepared.Version;
    TRecorder& recorder = prepared.Recorder;
    EXPECT_EQ(RaisedText([&] { version.Build(target, copy.Dir(), L"files.lst"); }), expected)
        << std::string(target.begin(), target.end());
    EXPECT_TRUE(recorder.Messages.empty());
  }
  // Without a program folder the files being read still keep the kit out.
  for (const std::wstring& target : {copy.Dir(), copy.Dir() + L"doc\\", copy.Dir() + L"DISTR"}) {
    TPreparedVersion prepared(copy);
    EXPECT_EQ(RaisedText([&] { prepared.Version.Build(target, L"", L"files.lst"); }),
              rsDistributionCreationInvalidDirectory3);
  }
  EXPECT_FALSE(fs::exists(copy.Folder() / "new"));
  EXPECT_TRUE(fs::exists(copy.Folder() / "files.lst"));
  EXPECT_FALSE(fs::exists(copy.Folder() / "main.zip"));
}

TEST(DistributionBuild, ArchiveErrorsAreCountedAndTheKitIsFinished) {
  TempDir dir("build");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  fs::remove(copy.Folder() / "DISTR" / "jom.exe");
  const fs::path kit = dir.path() / "Kit";
  TPreparedVersion prepared(copy);
  TDIVersion& version = prepared.Version;
  TRecorder& recorder = prepared.Recorder;
  EXPECT_EQ(RaisedText([&] { version.Build(Win(kit), copy.Dir(), L"files.lst"); }), rsDistributionCreationWasErrors);
  EXPECT_EQ(version.ErrorCount, 1);
  const std::wstring reason = FormatText(rsFileOpenError, {SystemErrorMessage(ERROR_FILE_NOT_FOUND)});
  const std::wstring expected = FormatText(
      rsZipArchiveMessage, {L"main.zip", FormatText(rsZipArchiveName, {Win(kit / "main.zip")}) +
                                             FormatText(rsZipErrorMessage, {L"JOM.EXE", reason})});
  EXPECT_EQ(recorder.Errors(), std::vector<std::wstring>{expected});
  EXPECT_TRUE(fs::exists(kit / "files.lst"));
  EXPECT_TRUE(fs::exists(kit / "readme.txt"));
  TZipReader main(Win(kit / "main.zip"));
  EXPECT_EQ(main.EntryCount(), 1);
}

TEST(DistributionBuild, CancelStopsTheBuild) {
  TempDir dir("build");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  for (int at : {0, 3, 8}) {
    SCOPED_TRACE(at);
    const fs::path kit = dir.path() / ("Kit" + std::to_string(at));
    TPreparedVersion prepared(copy, at);
    TDIVersion& version = prepared.Version;
    EXPECT_EQ(RaisedText([&] { version.Build(Win(kit), copy.Dir(), L"files.lst"); }),
              rsDistributionCreationInterrupted);
    EXPECT_FALSE(fs::exists(kit / "files.lst"));
  }
}

TEST(DistributionBuild, CopyErrorsRaiseWithTheSystemCode) {
  TempDir dir("build");
  const TInstalledCopy copy = MixedCopy(dir.path() / "Program");
  copy.Write();
  fs::remove(copy.Folder() / "doc" / "Readme.TXT");
  const fs::path kit = dir.path() / "Kit";
  TPreparedVersion prepared(copy);
  TDIVersion& version = prepared.Version;
  EXPECT_EQ(RaisedText([&] { version.Build(Win(kit), copy.Dir(), L"files.lst"); }),
            FormatText(rsDistributionCreationCopyError,
                       {std::int64_t{ERROR_FILE_NOT_FOUND}, copy.Dir() + L"doc\\Readme.TXT", Win(kit / "readme.txt")}));
}

TEST(DistributionLayout, ProgramFolderValidation) {
  std::vector<std::pair<std::wstring, std::wstring>> cases = {
      {L"   ", rsInstallDirectoryNotSpecified},
      {L"C:\\", rsInstallDirectoryInvalid},
      {L"c:", rsInstallDirectoryInvalid},
      {L"\\\\server\\share\\", rsInstallDirectoryInvalid},
      {L"\\\\server\\share", rsInstallDirectoryInvalid},
      {L"C:\\Program Files\\Tavrel\\", L"(nothing raised)"},
      {L"\\\\server\\share\\Tavrel", L"(nothing raised)"},
      {L"\\\\?\\C:\\", rsInstallDirectoryInvalid},
      {L"/", rsInstallDirectoryInvalid},
  };
  // The Windows folder however it is spelt: an uninstall would empty it.
  wchar_t windows[MAX_PATH] = {};
  ASSERT_NE(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring path = std::wstring(windows).substr(2);  // without "C:"
  const std::wstring drive = std::wstring(windows).substr(0, 2);
  std::wstring slashes = windows;
  std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
  for (const std::wstring& folder :
       {drive + path + L"\\system32\\..\\", L"\\\\?\\" + drive + path + L"\\", L"\\??\\" + drive + path,
        L"\\\\.\\" + drive + path + L"\\", L"//?/" + slashes + L"/", L"//./" + slashes, slashes + L"/."}) {
    cases.emplace_back(folder, rsInstallDirectoryInvalid);
  }
  for (const auto& [folder, expected] : cases) {
    EXPECT_EQ(RaisedText([&] { ValidateProgramFolder(folder); }), expected) << std::string(folder.begin(), folder.end());
  }
}

TEST(DistributionLayout, ArchiveWriterReplacesAnExistingFileOrSaysWhyItCannot) {
  TempDir dir("writer");
  WriteFile(dir.path() / "old.zip", "old");
  WriteFile(dir.path() / "a.txt", "a");
  {
    std::unique_ptr<TZipWriter> writer = CreateArchiveWriter(dir.file(L"old.zip"), true);
    EXPECT_FALSE(fs::exists(dir.path() / "old.zip"));
    writer->AddFile(dir.file(L"a.txt"));
  }
  EXPECT_EQ(TZipReader(dir.file(L"old.zip")).EntryCount(), 1);

  ChildProcess holder = HoldFileOpen(dir.file(L"old.zip"), 0);
  EXPECT_EQ(RaisedText([&] { CreateArchiveWriter(dir.file(L"old.zip"), false); }),
            SystemErrorMessage(ERROR_SHARING_VIOLATION) + L" (" + dir.file(L"old.zip") + L")");

  EXPECT_EQ(ZipFailureText(L"", {L"файл.dll", TZipFailureKind::FileCreate, 0, ERROR_ACCESS_DENIED}),
            FormatText(rsZipErrorMessage,
                       {L"файл.DLL", FormatText(rsFileCreateError, {SystemErrorMessage(ERROR_ACCESS_DENIED)})}));
}
