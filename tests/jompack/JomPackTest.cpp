// jompack end to end, natively and under Wine: lists and kits of version
// folders, updates between a table of version pairs checked by verify
// (which runs setup's own update command processor), volumes, patches of
// diff and patch against the engine's ApplyPatch, and the refusals of bad
// input, which leave no output behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "JomPackRun.h"
#include "jompack/PackKit.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/TextCodec.h"
#include "setup/distribution/ZipArchive.h"
#include "setup/distribution/diRenewFiles.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace jompacktest;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Bytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string Text(std::size_t lines, unsigned seed) {
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) text += "line " + std::to_string(i * seed % 7919) + " of the readme\r\n";
  return text;
}

std::string Scattered(std::string bytes, std::size_t step) {
  for (std::size_t i = step / 2; i < bytes.size(); i += step) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  return bytes;
}

using TFiles = std::vector<TVersionFile>;

TFiles BaseVersion() {
  return {
      {"jom.exe", "bin", "St=Iko Arc=main", Bytes(200000, 1)},
      {"jom.dll", "", "St=o Arc=main", Bytes(60000, 2)},
      {"readme.txt", "docs", "St=o", Text(2000, 3)},
      {"jom.ini", "", "St=R Arc=main", "[Server]\r\nPort=9090\r\n"},
      {"skin.cfg", "", "", "[Skin]\r\nName=grey\r\n"},
      {"empty.dat", "", "St=o", ""},
      {"old.txt", "", "St=o", "gone later"},
      {"отчёт 'итог'.txt", "Документы", "St=o", Text(300, 5)},
  };
}

TVersionFile& FileOf(TFiles& files, const std::string& name) {
  for (TVersionFile& file : files) {
    if (file.Name == name) return file;
  }
  throw std::runtime_error("no file " + name);
}

void Remove(TFiles& files, const std::string& name) {
  files.erase(std::find_if(files.begin(), files.end(), [&](const TVersionFile& file) { return file.Name == name; }));
}

// The bytes of an entry of an update file or a kit archive.
std::string EntryBytes(const fs::path& archive, const std::wstring& entry) {
  TZipReader reader(archive.wstring());
  TMemoryStream stream;
  reader.ExtractToStream(entry, stream);
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

// Every file of the folder, so that a test can tell nothing was left.
std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) names.push_back(entry.path().generic_string());
  std::sort(names.begin(), names.end());
  return names;
}

// Lists and kits versions into one folder.
class TWorkshop {
public:
  TWorkshop() : Temp("jompack") {}

  // list, then kit, of the files as version; the kit's folder.
  fs::path Kit(const std::string& version, const TFiles& files, const std::string& product = "JOM") {
    const fs::path folder = Root() / ("v" + version);
    const fs::path templ = WriteVersion(folder, product, version, files);
    const fs::path list = Root() / ("v" + version + ".lst");
    const fs::path kit = Root() / ("kit" + version);
    const TRun listed = RunJomPack({"list", Arg(folder), Arg(templ), Arg(list)});
    EXPECT_EQ(listed.Code, 0) << listed.Err;
    const TRun kitted = RunJomPack({"kit", Arg(folder), Arg(list), Arg(kit)});
    EXPECT_EQ(kitted.Code, 0) << kitted.Err;
    return kit;
  }

  fs::path Root() const { return Temp.path(); }

private:
  TempDir Temp;
};

TEST(JomPack, AKitCarriesTheFolderFilesAsItsListSays) {
  TWorkshop shop;
  const TFiles files = BaseVersion();
  const fs::path kit = shop.Kit("5.02", files);
  // Archives by "Arc", loose files, the list and setup.ini.
  EXPECT_TRUE(fs::is_regular_file(kit / "main.zip"));
  EXPECT_TRUE(fs::is_regular_file(kit / "readme.txt"));
  EXPECT_TRUE(fs::is_regular_file(kit / "files.lst"));
  EXPECT_EQ(ReadFile(kit / "setup.ini"), ReadFile(shop.Root() / "v5.02" / "setup.ini"));
  EXPECT_EQ(EntryBytes(kit / "main.zip", L"jom.exe"), files[0].Content);

  TPackKit read(kit.wstring());
  EXPECT_EQ(read.Config.Version, L"5.02");
  std::size_t found = 0;
  for (const TProgramLstFileItem* item : read.List) {
    for (const TVersionFile& file : files) {
      if (file.Name != WideToUtf8(item->FileName)) continue;
      EXPECT_EQ(read.FileBytes(*item), file.Content) << file.Name;
      ++found;
    }
  }
  EXPECT_EQ(found, files.size());
}

struct TVersionPair {
  const char* Name;
  std::function<void(TFiles&)> Change;
  const char* Command;  // a line the update's command file must hold, or ""
};

const TVersionPair Pairs[] = {
    {"a file changed in scattered places", [](TFiles& f) { FileOf(f, "jom.exe").Content = Scattered(FileOf(f, "jom.exe").Content, 4099); }, "bin\\jom.exe"},
    {"a file grown", [](TFiles& f) { FileOf(f, "jom.dll").Content += Bytes(5000, 9); }, "jom.dll"},
    {"a file shrunk", [](TFiles& f) { auto& c = FileOf(f, "readme.txt").Content; c.resize(c.size() / 2); }, "docs\\readme.txt"},
    {"a new file", [](TFiles& f) { f.push_back({"new.bin", "bin", "St=o Arc=extra", Bytes(3000, 4)}); }, "Copy bin\\new.bin"},
    {"a file removed", [](TFiles& f) { Remove(f, "old.txt"); }, ""},
    {"only status letters changed", [](TFiles& f) { FileOf(f, "readme.txt").Keys = "St=ot"; }, "Change docs\\readme.txt"},
    {"a file moved to another Dir", [](TFiles& f) { FileOf(f, "jom.dll").Dir = "lib"; }, "Copy lib\\jom.dll"},
    {"an empty file filled and one emptied",
     [](TFiles& f) {
       FileOf(f, "empty.dat").Content = "now with bytes";
       FileOf(f, "old.txt").Content.clear();
     },
     "empty.dat"},
    {"everything at once",
     [](TFiles& f) {
       FileOf(f, "jom.exe").Content = Scattered(FileOf(f, "jom.exe").Content, 997);
       FileOf(f, "jom.dll").Dir = "lib";
       FileOf(f, "readme.txt").Keys = "St=ot";
       FileOf(f, "отчёт 'итог'.txt").Content += "итог";
       Remove(f, "old.txt");
       f.push_back({"name with space.txt", "docs", "St=o", "spaced"});
     },
     "\"docs\\name with space.txt\""},
};

// Under Wine (a slow start for every run of jompack.exe) the table is the
// case that holds every change at once; natively every row.
#ifdef _WIN32
const std::vector<TVersionPair> PairsRun(std::end(Pairs) - 1, std::end(Pairs));
#else
const std::vector<TVersionPair> PairsRun(std::begin(Pairs), std::end(Pairs));
#endif

TEST(JomPack, UpdateThenVerifyPassesForEveryVersionPair) {
  for (const TVersionPair& pair : PairsRun) {
    SCOPED_TRACE(pair.Name);
    TWorkshop shop;
    const TFiles before = BaseVersion();
    TFiles after = before;
    pair.Change(after);
    const fs::path oldKit = shop.Kit("5.02", before);
    const fs::path newKit = shop.Kit("5.03", after);
    const fs::path update = shop.Root() / "upd.prf";

    const TRun made = RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(update)});
    ASSERT_EQ(made.Code, 0) << made.Err;
    std::string commands = EntryBytes(update, L"renew.cmd");
    // UTF-8 with a byte-order mark when a name is not ASCII.
    if (commands.rfind("\xEF\xBB\xBF", 0) == 0) commands.erase(0, 3);
    EXPECT_EQ(commands.rfind("Version 5.02 5.03\r\n", 0), 0u) << commands;
    EXPECT_NE(commands.find(pair.Command), std::string::npos) << commands;

    const TRun verified = RunJomPack({"verify", Arg(oldKit), Arg(update), Arg(newKit)});
    EXPECT_EQ(verified.Code, 0) << verified.Out << verified.Err;
  }
}

TEST(JomPack, FilesGoneFromTheNewListAreMarkedDeletedInTheUpdate) {
  TWorkshop shop;
  TFiles after = BaseVersion();
  FileOf(after, "jom.dll").Dir = "lib";
  Remove(after, "old.txt");
  const fs::path oldKit = shop.Kit("5.02", BaseVersion());
  const fs::path newKit = shop.Kit("5.03", after);
  const fs::path update = shop.Root() / "upd.prf";
  ASSERT_EQ(RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(update)}).Code, 0);
  TProgramLstFile list;
  const std::string text = EntryBytes(update, L"files.lst");
  WriteFile(shop.Root() / "update.lst", text);
  list.LoadFromFile((shop.Root() / "update.lst").wstring(), false, true);
  ASSERT_NE(list.FindByRelativePath(L"old.txt"), nullptr) << text;
  EXPECT_TRUE(list.FindByRelativePath(L"old.txt")->IsDeleted) << text;
  ASSERT_NE(list.FindByRelativePath(L"jom.dll"), nullptr) << text;
  EXPECT_TRUE(list.FindByRelativePath(L"jom.dll")->IsDeleted) << text;
  ASSERT_NE(list.FindByRelativePath(L"lib\\jom.dll"), nullptr) << text;
  EXPECT_FALSE(list.FindByRelativePath(L"lib\\jom.dll")->IsDeleted) << text;
}

TEST(JomPack, UpdateWarnsOfEachChangedFileAnUpdateKeepsTheUsersCopyOf) {
  TWorkshop shop;
  TFiles after = BaseVersion();
  FileOf(after, "skin.cfg").Content = "[Skin]\r\nName=blue\r\n";
  FileOf(after, "jom.exe").Content += "more";
  const fs::path oldKit = shop.Kit("5.02", BaseVersion());
  const fs::path newKit = shop.Kit("5.03", after);
  const TRun made = RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(shop.Root() / "upd.prf")});
  ASSERT_EQ(made.Code, 0) << made.Err;
  EXPECT_NE(made.Err.find("warning: skin.cfg"), std::string::npos) << made.Err;
  EXPECT_EQ(made.Err.find("jom.exe"), std::string::npos) << made.Err;
}

TEST(JomPack, VerifyRefusesAnUpdateThatDoesNotGiveTheNewKit) {
  TWorkshop shop;
  TFiles after = BaseVersion();
  FileOf(after, "jom.dll").Content += "5.03";
  TFiles other = after;
  FileOf(other, "readme.txt").Content += "only in this kit";
  const fs::path oldKit = shop.Kit("5.02", BaseVersion());
  const fs::path newKit = shop.Kit("5.03", after);
  const fs::path update = shop.Root() / "upd.prf";
  ASSERT_EQ(RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(update)}).Code, 0);
  // Another kit of version 5.03, and an old kit of another version.
  fs::rename(newKit, shop.Root() / "kit5.03-made");
  const fs::path otherKit = shop.Kit("5.03", other);
  const TRun wrongKit = RunJomPack({"verify", Arg(oldKit), Arg(update), Arg(otherKit)});
  EXPECT_EQ(wrongKit.Code, 1) << wrongKit.Out;
  EXPECT_NE(wrongKit.Err.find("docs\\readme.txt differs"), std::string::npos) << wrongKit.Err;
  const fs::path olderKit = shop.Kit("5.01", BaseVersion());
  const TRun wrongVersion = RunJomPack({"verify", Arg(olderKit), Arg(update), Arg(shop.Root() / "kit5.03-made")});
  EXPECT_EQ(wrongVersion.Code, 1) << wrongVersion.Out;
}

TEST(JomPack, VolumesAreAllOfTheGivenSizeButTheLastAndJoinBack) {
  TWorkshop shop;
  TFiles after = BaseVersion();
  FileOf(after, "jom.dll").Content = Bytes(70000, 77);
  const fs::path oldKit = shop.Kit("5.02", BaseVersion());
  const fs::path newKit = shop.Kit("5.03", after);
  const fs::path update = shop.Root() / "upd.prf";
  // A stale volume of an earlier, longer update of the same name.
  WriteFile(shop.Root() / "upd.pr9", std::string(10000, 'x'));
  const TRun made = RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(update), "--volume-size", "10000"});
  ASSERT_EQ(made.Code, 0) << made.Err;
  EXPECT_FALSE(fs::exists(update));
  std::string joined;
  int count = 0;
  for (int n = 1; fs::exists(shop.Root() / ("upd.pr" + std::to_string(n))); ++n, ++count) {
    const std::string volume = ReadFile(shop.Root() / ("upd.pr" + std::to_string(n)));
    joined += volume;
    if (fs::exists(shop.Root() / ("upd.pr" + std::to_string(n + 1)))) EXPECT_EQ(volume.size(), 10000u) << n;
    else EXPECT_LE(volume.size(), 10000u);
  }
  EXPECT_GE(count, 7);
  EXPECT_LT(count, 9);
  WriteFile(shop.Root() / "joined.zip", joined);
  EXPECT_FALSE(EntryBytes(shop.Root() / "joined.zip", L"renew.cmd").empty());

  const TRun verified = RunJomPack({"verify", Arg(oldKit), Arg(shop.Root() / "upd.pr1"), Arg(newKit)});
  EXPECT_EQ(verified.Code, 0) << verified.Out << verified.Err;
}

// A second update of the same name with fewer volumes replaces the first
// set whole: no volume of the earlier set is left to be joined on, nor the
// whole file the setup would take instead. When the new set cannot be put in
// place, the earlier set stays as it was and none of the new one is left.
TEST(JomPack, NewVolumesReplaceAnEarlierSetAsOne) {
  TWorkshop shop;
  TFiles after = BaseVersion();
  FileOf(after, "jom.dll").Content = Bytes(70000, 78);
  const fs::path oldKit = shop.Kit("5.02", BaseVersion());
  const fs::path newKit = shop.Kit("5.03", after);
  const fs::path update = shop.Root() / "upd.prf";
  const auto volume = [&](int n) { return shop.Root() / ("upd.pr" + std::to_string(n)); };
  ASSERT_EQ(RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(update), "--volume-size", "4000"}).Code, 0);
  int earlier = 0;
  while (fs::exists(volume(earlier + 1))) ++earlier;
  ASSERT_GT(earlier, 12);
  WriteFile(update, "a whole update of an earlier run");

  const TRun made = RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(update), "--volume-size", "10000"});
  ASSERT_EQ(made.Code, 0) << made.Err;
  int count = 0;
  while (fs::exists(volume(count + 1))) ++count;
  EXPECT_LT(count, 9);
  for (int n = count + 1; n <= earlier; ++n) EXPECT_FALSE(fs::exists(volume(n))) << n;
  EXPECT_FALSE(fs::exists(update));
  const TRun verified = RunJomPack({"verify", Arg(oldKit), Arg(volume(1)), Arg(newKit)});
  EXPECT_EQ(verified.Code, 0) << verified.Out << verified.Err;

  // A folder where the third volume must go is refused before anything is
  // touched.
  for (int n = 1; n <= count; ++n) fs::remove(volume(n));
  WriteFile(volume(1), std::string(500, '1'));
  WriteFile(volume(2), std::string(300, '2'));
  fs::create_directories(volume(3) / "in the way");
  std::vector<std::string> before = Listing(shop.Root());
  const TRun refused = RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(update), "--volume-size", "10000"});
  EXPECT_EQ(refused.Code, 3) << refused.Out << refused.Err;
  EXPECT_NE(refused.Err.find("upd.pr3"), std::string::npos) << refused.Err;
  EXPECT_EQ(Listing(shop.Root()), before);
  fs::remove_all(volume(3));

#ifndef _WIN32
  // A name that the file system takes for nine volumes and is one character
  // too long for the tenth: the failure comes while the new set is being
  // put in place, after the earlier one was moved aside.
  const std::string longName = std::string(255 - 4, 'u');
  const fs::path longUpdate = shop.Root() / (longName + ".prf");
  const auto longVolume = [&](int n) { return shop.Root() / (longName + ".pr" + std::to_string(n)); };
  WriteFile(longVolume(1), std::string(500, '1'));
  WriteFile(longVolume(2), std::string(300, '2'));
  before = Listing(shop.Root());
  const TRun failed = RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(longUpdate), "--volume-size", "4000"});
  EXPECT_EQ(failed.Code, 4) << failed.Out << failed.Err;
  EXPECT_NE(failed.Err.find(".pr10"), std::string::npos) << failed.Err;
  EXPECT_EQ(Listing(shop.Root()), before);
  EXPECT_EQ(ReadFile(longVolume(1)), std::string(500, '1'));
  EXPECT_EQ(ReadFile(longVolume(2)), std::string(300, '2'));
#endif
}

// The setup takes a name ending in a digit for a volume (upd5 for upd5.pr1,
// ...) and would look for volumes that are not there: such a name gets the
// update extension, also as the base of volumes.
TEST(JomPack, AnUpdateNameEndingInADigitGetsTheUpdateExtension) {
  TWorkshop shop;
  TFiles after = BaseVersion();
  FileOf(after, "jom.dll").Content += "5.03";
  const fs::path oldKit = shop.Kit("5.02", BaseVersion());
  const fs::path newKit = shop.Kit("5.03", after);
  struct TCase {
    std::string Out;
    std::vector<std::string> Options;
    std::string Written;  // the file to verify
    std::string Absent;
  };
  const std::vector<TCase> cases = {
      {"jom-5.03", {}, "jom-5.03.prf", "jom-5.03"},
      {"upd5", {}, "upd5.prf", "upd5"},
      // Windows drops the dot at the end of a name: upd5. is upd5 there.
      {"upd6.", {}, "upd6.prf", "upd6"},
      {"upd.pr1", {}, "upd.pr1.prf", "upd.pr1"},
      {"jom-6.01", {"--volume-size", "5000"}, "jom-6.01.pr1", "jom-6.pr1"},
      {"plain.prf", {}, "plain.prf", "plain.prf.prf"},
      {"no-extension", {}, "no-extension", "no-extension.prf"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Out);
    std::vector<std::string> args = {"update", Arg(oldKit), Arg(newKit), Arg(shop.Root() / c.Out)};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    const TRun made = RunJomPack(args);
    ASSERT_EQ(made.Code, 0) << made.Err;
    EXPECT_TRUE(fs::is_regular_file(shop.Root() / c.Written));
    EXPECT_FALSE(fs::exists(shop.Root() / c.Absent));
    EXPECT_EQ(made.Err.find("digit") != std::string::npos, c.Written != c.Out) << made.Err;
    const TRun verified = RunJomPack({"verify", Arg(oldKit), Arg(shop.Root() / c.Written), Arg(newKit)});
    EXPECT_EQ(verified.Code, 0) << verified.Out << verified.Err;
  }
}

// A long file: 100 MiB when TAVREL_JOMPACK_LONG=1 (the long run), else
// 3 MiB; natively only.
TEST(JomPack, ABigFileUpdatesAndVerifies) {
#ifdef _WIN32
  GTEST_SKIP() << "natively only";
#endif
  const bool longRun = std::getenv("TAVREL_JOMPACK_LONG") && std::string(std::getenv("TAVREL_JOMPACK_LONG")) == "1";
  const std::size_t size = longRun ? 100u << 20 : 3u << 20;
  TWorkshop shop;
  TFiles before = {{"media.db", "data", "St=o Arc=data", Bytes(size, 5)}};
  TFiles after = before;
  after[0].Content = Scattered(after[0].Content, 1 << 20) + "grown";
  const fs::path oldKit = shop.Kit("5.02", before);
  const fs::path newKit = shop.Kit("5.03", after);
  const fs::path update = shop.Root() / "upd.prf";
  const TRun made = RunJomPack({"update", Arg(oldKit), Arg(newKit), Arg(update)});
  ASSERT_EQ(made.Code, 0) << made.Err;
  const TRun verified = RunJomPack({"verify", Arg(oldKit), Arg(update), Arg(newKit)});
  EXPECT_EQ(verified.Code, 0) << verified.Out << verified.Err;
}

TEST(JomPack, PatchesOfDiffApplyAlikeThroughPatchAndApplyPatch) {
  TempDir temp("jpdiff");
  std::mt19937 random(20261211);
  const std::string base = Bytes(30000, 11);
  std::vector<std::pair<std::string, std::string>> pairs = {
      {base, Scattered(base, 501)},  {base, base + Bytes(999, 12)}, {base, base.substr(4000)},
      {"", Bytes(100, 13)},          {Bytes(100, 14), ""},          {base, base},
  };
  // Random pairs: cut, spliced and edited pieces of one another (natively).
#ifdef _WIN32
  const int randomPairs = 0;
#else
  const int randomPairs = 8;
#endif
  for (int i = 0; i < randomPairs; ++i) {
    const std::string a = Bytes(random() % 20000, random());
    std::string b = a.substr(random() % (a.size() + 1));
    b.insert(random() % (b.size() + 1), Bytes(random() % 3000, random()));
    pairs.push_back({a, Scattered(b, 1 + random() % 4000)});
  }
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    SCOPED_TRACE(i);
    const fs::path oldFile = temp.path() / "old", newFile = temp.path() / "new", patch = temp.path() / "patch";
    WriteFile(oldFile, pairs[i].first);
    WriteFile(newFile, pairs[i].second);
    ASSERT_EQ(RunJomPack({"diff", Arg(oldFile), Arg(newFile), Arg(patch)}).Code, 0);
    const fs::path patched = temp.path() / "patched";
    const TRun applied = RunJomPack({"patch", Arg(oldFile), Arg(patch), Arg(patched)});
    ASSERT_EQ(applied.Code, 0) << applied.Err;
    EXPECT_EQ(ReadFile(patched), pairs[i].second);

    const std::string bytes = ReadFile(patch);
    TMemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    const fs::path engine = temp.path() / "engine";
    ApplyPatch(oldFile.wstring(), engine.wstring(), stream);
    EXPECT_EQ(ReadFile(engine), ReadFile(patched));
    fs::remove(engine);
    fs::remove(patched);
  }
}

TEST(JomPack, BadInputIsRefusedWithItsNameAndLeavesNoOutput) {
  TWorkshop shop;
  const fs::path root = shop.Root();
  const fs::path oldKit = shop.Kit("5.02", BaseVersion());
  TFiles after = BaseVersion();
  FileOf(after, "jom.dll").Content += "x";
  const fs::path newKit = shop.Kit("5.03", after);
  const fs::path otherProduct = shop.Kit("6.00", after, "OTHER");
  const fs::path folder = root / "v5.02";
  // A template naming a file the folder lacks; a kit without its setup.ini;
  // a kit whose archive is damaged.
  WriteFile(root / "missing.tmpl", "jom.exe Dir=bin St=o\r\nghost.dll Dir=bin St=o\r\n");
  fs::copy(oldKit, root / "noini");
  fs::remove(root / "noini" / "setup.ini");
  fs::copy(newKit, root / "damaged");
  WriteFile(root / "damaged" / "main.zip", ReadFile(root / "damaged" / "main.zip").substr(0, 1000));
  fs::create_directories(root / "full");
  WriteFile(root / "full" / "keep.txt", "keep");

  struct TCase {
    const char* Name;
    std::vector<std::string> Args;
    int Code;
    std::string Names;  // what the error must name
  };
  const std::string out = Arg(root / "out.file");
  const std::vector<TCase> cases = {
      {"list of a missing folder", {"list", Arg(root / "nowhere"), Arg(root / "v5.02.tmpl"), out}, 3, "nowhere"},
      {"list of a missing template", {"list", Arg(folder), Arg(root / "no.tmpl"), out}, 3, "no.tmpl"},
      {"a template naming a missing file", {"list", Arg(folder), Arg(root / "missing.tmpl"), out}, 3, "ghost.dll"},
      {"kit of a missing folder", {"kit", Arg(root / "nowhere"), Arg(root / "v5.02.lst"), out}, 3, "nowhere"},
      {"kit of a missing list", {"kit", Arg(folder), Arg(root / "no.lst"), out}, 3, "no.lst"},
      {"kit into a folder that is not empty", {"kit", Arg(folder), Arg(root / "v5.02.lst"), Arg(root / "full")}, 3, "full"},
      {"a list over a file it lists", {"list", Arg(folder), Arg(root / "v5.02.tmpl"), Arg(folder / "bin" / "jom.exe")}, 3, "jom.exe"},
      {"update from a missing kit", {"update", Arg(root / "nokit"), Arg(newKit), out}, 3, "nokit"},
      {"an update over a file of the new kit", {"update", Arg(oldKit), Arg(newKit), Arg(newKit / "setup.ini")}, 3, "setup.ini"},
      {"an update over a file of the old kit", {"update", Arg(oldKit), Arg(newKit), Arg(oldKit / "main.zip")}, 3, "main.zip"},
      {"update from a kit without setup.ini", {"update", Arg(root / "noini"), Arg(newKit), out}, 3, "setup.ini"},
      {"update to a damaged kit", {"update", Arg(oldKit), Arg(root / "damaged"), out}, 3, "main.zip"},
      {"kits of different products", {"update", Arg(oldKit), Arg(otherProduct), out}, 3, "OTHER"},
      {"an update from a version to itself", {"update", Arg(newKit), Arg(newKit), out}, 3, "5.03"},
      {"verify of a missing update", {"verify", Arg(oldKit), Arg(root / "no.prf"), Arg(newKit)}, 3, "no.prf"},
      {"verify of a file that is no update", {"verify", Arg(oldKit), Arg(root / "missing.tmpl"), Arg(newKit)}, 3, "missing.tmpl"},
      {"diff of a missing file", {"diff", Arg(root / "none"), Arg(root / "missing.tmpl"), out}, 3, "none"},
      {"patch with a file that is no patch", {"patch", Arg(root / "missing.tmpl"), Arg(root / "missing.tmpl"), out}, 3, "missing.tmpl"},
      {"no command", {}, 2, "no command"},
      {"an unknown command", {"pack"}, 2, "pack"},
      {"too few arguments", {"update", Arg(oldKit)}, 2, "update"},
      {"a volume size that is no number", {"update", Arg(oldKit), Arg(newKit), out, "--volume-size", "big"}, 2, "big"},
  };
  const std::vector<std::string> before = Listing(root);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TRun run = RunJomPack(c.Args);
    EXPECT_EQ(run.Code, c.Code) << run.Out << run.Err;
    EXPECT_NE(run.Err.find(c.Names), std::string::npos) << run.Err;
    EXPECT_EQ(Listing(root), before);
  }
}

#ifndef _WIN32
// jompack with its files limited to bytes, as on a disk that fills up: a
// write beyond fails (the signal it would raise is ignored).
TRun RunWithFileLimit(const std::vector<std::string>& args, rlim_t bytes) {
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limited);
  TRun run = RunJomPack(args);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  return run;
}

// Every command that writes, on a disk that is full before it is done: a
// write error naming the output and its reason, exit code 4, no output or
// work folder left, and what an earlier run wrote under that name kept.
TEST(JomPack, AFullDiskFailsTheCommandAndLeavesNoOutput) {
  TWorkshop shop;
  const fs::path root = shop.Root();
  const fs::path oldKit = shop.Kit("5.02", BaseVersion());
  TFiles after = BaseVersion();
  FileOf(after, "jom.exe").Content = Bytes(200000, 90);
  const fs::path newKit = shop.Kit("5.03", after);
  const fs::path out = root / "out";
  fs::create_directories(out);
  WriteFile(out / "upd.prf", "an earlier update");
  WriteFile(out / "files.lst", "an earlier list");
  WriteFile(out / "patch", "an earlier patch");
  struct TCase {
    const char* Name;
    std::vector<std::string> Args;
    rlim_t Limit;
  };
  const std::vector<TCase> cases = {
      {"list", {"list", Arg(root / "v5.03"), Arg(root / "v5.03.tmpl"), Arg(out / "files.lst")}, 200},
      {"kit", {"kit", Arg(root / "v5.03"), Arg(root / "v5.03.lst"), Arg(out / "kit")}, 100000},
      {"update", {"update", Arg(oldKit), Arg(newKit), Arg(out / "upd.prf")}, 100000},
      {"update in volumes", {"update", Arg(oldKit), Arg(newKit), Arg(out / "upd.prf"), "--volume-size", "50000"}, 100000},
      {"diff", {"diff", Arg(oldKit / "main.zip"), Arg(newKit / "main.zip"), Arg(out / "patch")}, 100000},
  };
  const std::vector<std::string> before = Listing(root);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TRun run = RunWithFileLimit(c.Args, c.Limit);
    EXPECT_EQ(run.Code, 4) << run.Out << run.Err;
    EXPECT_NE(run.Err.find(Arg(out)), std::string::npos) << run.Err;
    EXPECT_EQ(Listing(root), before);
  }
  EXPECT_EQ(ReadFile(out / "upd.prf"), "an earlier update");
}
#endif

TEST(JomPack, HelpListsTheCommandsAndExitCodes) {
  const TRun help = RunJomPack({"--help"});
  EXPECT_EQ(help.Code, 0);
  for (const char* text : {"jompack list FOLDER TEMPLATE OUT", "jompack kit FOLDER LIST KIT",
                           "jompack update OLDKIT NEWKIT OUT [--volume-size BYTES]", "jompack verify OLDKIT UPDATE NEWKIT",
                           "jompack diff OLD NEW PATCH", "jompack patch OLD PATCH NEW", "Exit codes:"}) {
    EXPECT_NE(help.Out.find(text), std::string::npos) << text;
  }
}

}  // namespace
