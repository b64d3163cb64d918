// Faults of the file system during the pipelines, injected through the
// platform seam: the Nth file operation of an automatic install of a 50-file
// kit, of an update 5.02 -> 5.03 and of an uninstall fails with a full disk,
// a sharing violation or a denied access, for N over the operations of an
// undisturbed run.
//
// After each faulted run:
// - the function reports an error, or it succeeded where the pipeline
//   tolerates the failure: the end state is then that of an undisturbed run,
//   except where a warning said what was left (a file to be deleted, the
//   programs registration file, the station entry) or where the pipeline
//   skips silently by design (the folder's info tip, a folder the uninstall
//   could not remove);
// - every file is byte for byte its version before the run or after an
//   undisturbed one (nothing truncated, nothing lost, nothing stray);
// - no operation touched a path outside the program folder, its
//   "..\Common" items, the work folder and the registration records;
// - the same function run again without the fault ends exactly as an
//   undisturbed run (where the copy can still run it: an update that
//   succeeded is the new version already, an uninstall that succeeded has
//   no copy left).
//
// The test command runs a sample of N (every k-th from a seeded start);
// TAVREL_FAULTS_FULL=1 runs every N, TAVREL_FAULTS_SEED picks the start.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <random>

#include "InstallHarness.h"
#include "InstalledCopy.h"
#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/ZipArchive.h"
#include "setup/engine/diKvtSetup.h"
#include "support/FaultPlatformTools.h"
#include "support/RegistryKeys.h"
#include "support/RenewPatchWriter.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

[[maybe_unused]] const bool OwnRenewExtension = UseProcessRenewExtension();

const struct {
  const char* Name;
  std::uint32_t Code;
} Faults[] = {
    {"disk full", ERROR_DISK_FULL},
    {"sharing violation", ERROR_SHARING_VIOLATION},
    {"access denied", ERROR_ACCESS_DENIED},
};

// Runs per fault in the sampled mode.
constexpr std::uint64_t SampledRunsPerFault = 14;

bool FullRun() {
  const char* full = std::getenv("TAVREL_FAULTS_FULL");
  return full && *full && std::string(full) != "0";
}

unsigned Seed() {
  const char* seed = std::getenv("TAVREL_FAULTS_SEED");
  return seed && *seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 19u;
}

// Where a file of the state lies relative to the test's root, "/" separated.
std::string Relative(const fs::path& path, const fs::path& root) { return fs::relative(path, root).generic_string(); }

std::string AttributeLetters(const fs::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.wstring().c_str());
  std::string letters;
  if (attributes & FILE_ATTRIBUTE_READONLY) letters += 'R';
  if (attributes & FILE_ATTRIBUTE_HIDDEN) letters += 'H';
  if (attributes & FILE_ATTRIBUTE_SYSTEM) letters += 'S';
  return letters;
}

// What a run leaves behind that an undisturbed run would leave alike: the
// program folder and its "..\Common" items (folders, files with their
// read-only, hidden and system attributes and bytes), the programs
// registration file and the registry records of the test's names.
struct TState {
  std::map<std::string, std::string> Files;    // "Program/a.txt" -> bytes
  std::map<std::string, std::string> Details;  // attributes, folders, records

  bool operator==(const TState&) const = default;
};

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

TState Capture(const TInstallFolders& folders) {
  TState state;
  const fs::path root = folders.Root();
  for (const fs::path& top : {root / "Program", root / "Common"}) {
    std::error_code error;
    if (!fs::exists(top, error)) continue;
    state.Details["dir:" + Relative(top, root)] = AttributeLetters(top);
    for (auto it = fs::recursive_directory_iterator(top, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
      const std::string name = Relative(it->path(), root);
      if (it->is_directory()) {
        state.Details["dir:" + name] = AttributeLetters(it->path());
      } else {
        state.Files[name] = ReadFile(it->path());
        state.Details["attr:" + name] = AttributeLetters(it->path());
      }
    }
  }
  if (fs::exists(folders.ProgramsIni())) state.Files["jomsetup.ini"] = ReadFile(folders.ProgramsIni());
  for (const std::wstring& name : {folders.Section, folders.Section + L"1"}) {
    const std::wstring key = UninstallKey(name);
    if (!KeyExists(HKEY_LOCAL_MACHINE, key)) continue;
    for (const std::wstring& value : ValueNames(HKEY_LOCAL_MACHINE, key)) {
      if (value == L"InstallDate") continue;  // the day of the run
      const auto text = ReadStringValue(HKEY_LOCAL_MACHINE, key, value);
      const auto number = ReadDwordValue(HKEY_LOCAL_MACHINE, key, value);
      state.Details["reg:" + Narrow(name + L"\\" + value)] =
          text ? Narrow(*text) : number ? std::to_string(*number) : "?";
    }
  }
  std::vector<std::wstring> classes{folders.RenewExtension, folders.RenewKey, folders.RenewKey + L"\\DefaultIcon",
                                    folders.RenewKey + L"\\shell\\open\\command"};
  for (wchar_t digit = L'1'; digit <= L'9'; ++digit) classes.push_back(folders.RenewExtension.substr(0, 3) + digit);
  for (const std::wstring& key : classes) {
    if (const auto value = ReadStringValue(HKEY_CLASSES_ROOT, key, L""))
      state.Details["class:" + Narrow(key)] = Narrow(*value);
  }
  if (fs::exists(GroupFolder(folders.Group))) state.Details["group"] = "";
  // The shortcuts are written through the shell, around the counted
  // operations: a run again must still leave each of them.
  for (const std::string& name : FilesUnder(GroupFolder(folders.Group))) state.Details["shortcut:" + name] = "";
  return state;
}

// Every file below the test's root outside the program folder, the
// "..\Common" items and the programs registration file, with its size and
// time of writing: the kits and the update file, which no run may change,
// and whatever a run leaves where it must not (a file written around the
// counted operations is caught here too).
std::map<std::string, std::string> Elsewhere(const TInstallFolders& folders) {
  std::map<std::string, std::string> files;
  const fs::path root = folders.Root();
  for (const std::string& name : FilesUnder(root)) {
    if (name.rfind("Program/", 0) == 0 || name.rfind("Common/", 0) == 0 || name == "jomsetup.ini") continue;
    std::error_code error;
    const auto size = fs::file_size(root / name, error);
    const auto written = fs::last_write_time(root / name, error).time_since_epoch().count();
    files[name] = std::to_string(size) + " " + std::to_string(written);
  }
  return files;
}

// The differences of two states, one line each.
std::string Differences(const TState& got, const TState& want) {
  std::string text;
  const auto compare = [&](const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b,
                           bool bytes) {
    for (const auto& [key, value] : a) {
      const auto other = b.find(key);
      if (other == b.end()) text += "  extra " + key + "\n";
      else if (other->second != value)
        text += "  changed " + key + (bytes ? " (" + std::to_string(value.size()) + " bytes, want " +
                                                  std::to_string(other->second.size()) + ")"
                                            : " (" + value + ", want " + other->second + ")") + "\n";
    }
    for (const auto& [key, value] : b) {
      if (!a.count(key)) text += "  missing " + key + "\n";
    }
  };
  compare(got.Files, want.Files, true);
  compare(got.Details, want.Details, false);
  return text;
}

// Every file is its version before the run or after an undisturbed run; a
// file both have is never lost. The records written key by key (the info
// tip, instcfg.ini, the programs registration file) are not files of the
// kit: a run again must put them right.
std::string Mixed(const TState& got, const TState& before, const TState& after) {
  std::string text;
  for (const auto& [name, bytes] : got.Files) {
    if (name == "Program/desktop.ini" || name == "Program/instcfg.ini" || name == "jomsetup.ini") continue;
    const auto old = before.Files.find(name);
    const auto now = after.Files.find(name);
    const bool isOld = old != before.Files.end() && old->second == bytes;
    const bool isNew = now != after.Files.end() && now->second == bytes;
    if (!isOld && !isNew) text += "  " + name + " (" + std::to_string(bytes.size()) + " bytes) is neither version\n";
  }
  for (const auto& [name, bytes] : before.Files) {
    if (after.Files.count(name) && !got.Files.count(name)) text += "  " + name + " is lost\n";
  }
  return text;
}

// The operations that touched a path outside the places a run may change.
std::string Outside(const std::vector<TFileOperation>& operations, const TInstallFolders& folders) {
  const std::vector<std::wstring> allowed = {
      UpperCaseText(folders.Program()), UpperCaseText(folders.Root().wstring() + L"\\Common\\"),
      UpperCaseText(EngineWorkDir()), UpperCaseText(GroupFolder(folders.Group).wstring() + L"\\")};
  const std::wstring programs = UpperCaseText(folders.ProgramsIni());
  std::string text;
  for (const TFileOperation& operation : operations) {
    if (operation.Path.empty()) continue;
    const std::wstring path = UpperCaseText(ReplaceChar(operation.Path, L'/', L'\\'));
    const std::wstring folder = IncludeTrailingBackslash(path);
    bool inside = path == programs;
    for (const std::wstring& base : allowed) inside = inside || folder.rfind(base, 0) == 0;
    if (!inside) text += "  " + operation.Kind + " " + Narrow(operation.Path) + "\n";
  }
  return text;
}

// Differences a run may leave without an error: the folder's info tip (a
// nicety the install skips silently) and, for the uninstall, what it could
// not delete (left silently by design).
bool OnlySilentlyTolerated(const TState& got, const TState& want, bool uninstall) {
  const auto tolerated = [&](const std::string& key) {
    if (key == "Program/desktop.ini" || key == "attr:Program/desktop.ini" || key == "dir:Program") return true;
    return uninstall && (key.rfind("Program/", 0) == 0 || key.rfind("attr:Program/", 0) == 0 ||
                         key.rfind("dir:Program", 0) == 0);
  };
  const auto same = [&](const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
    for (const auto& [key, value] : a) {
      if (tolerated(key)) continue;
      const auto other = b.find(key);
      if (other == b.end() || other->second != value) return false;
    }
    for (const auto& [key, value] : b) {
      if (!tolerated(key) && !a.count(key)) return false;
    }
    return true;
  };
  return same(got.Files, want.Files) && same(got.Details, want.Details);
}

// Removes what a run left: the program folder, the "..\Common" items, the
// programs registration file and the records.
void ClearInstallation(const TInstallFolders& folders) {
  for (const fs::path& folder : {folders.ProgramPath(), folders.Root() / "Common"}) {
    if (!fs::exists(folder)) continue;
    ::SetFileAttributesW(folder.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteDirectory(folder.wstring(), true, true, true);
  }
  std::error_code ignored;
  fs::remove(folders.ProgramsIni(), ignored);
  folders.RemoveRecords();
}

// One function to break: how its copy is laid out before it runs, how it
// is run, and whether the function can run again after a run with that
// result that left that state.
struct TScenario {
  std::string Name;
  std::function<void()> Prepare;
  std::function<std::int32_t(TEngineRun&)> Run;
  std::function<bool(std::int32_t result, const TState&)> CanRunAgain;
  bool Uninstall = false;
};

// The numbers of the operations to fail: all of them, or every k-th from a
// seeded start so that about SampledRunsPerFault runs are made.
std::vector<std::uint64_t> OperationsToFail(std::uint64_t total, std::mt19937& random) {
  std::vector<std::uint64_t> numbers;
  const std::uint64_t step = FullRun() ? 1 : std::max<std::uint64_t>(1, (total + SampledRunsPerFault - 1) / SampledRunsPerFault);
  for (std::uint64_t n = 1 + random() % step; n <= total; n += step) numbers.push_back(n);
  return numbers;
}

void BreakEveryOperation(const TScenario& scenario, const TInstallFolders& folders) {
  // The process's work folder is made once, by its first session.
  ForceDirectoriesQuiet(EngineWorkDir());
  TFaultInjection faults;
  scenario.Prepare();
  const TState before = Capture(folders);
  faults->Reset();
  {
    TEngineRun run;
    run.Automatic = true;
    ASSERT_EQ(scenario.Run(run), -1) << testing::PrintToString(run.Errors());
    ASSERT_TRUE(run.Errors().empty()) << testing::PrintToString(run.Errors());
  }
  const std::uint64_t total = faults->Count();
  const TState undisturbed = Capture(folders);
  ASSERT_NE(before, undisturbed);
  EXPECT_EQ(Outside(faults->Operations(), folders), "");
  const std::map<std::string, std::string> elsewhere = Elsewhere(folders);

  std::mt19937 random(Seed());
  std::uint64_t runs = 0, failed = 0, tolerated = 0;
  for (const auto& fault : Faults) {
    for (const std::uint64_t n : OperationsToFail(total, random)) {
      faults->Reset();
      scenario.Prepare();
      faults->Reset();
      faults->FailAt(n, fault.Code);
      TEngineRun run;
      run.Automatic = true;
      const std::int32_t result = scenario.Run(run);
      ++runs;
      const TFileOperation failure = faults->Failure();
      const std::string where = scenario.Name + ", " + fault.Name + " at operation " + std::to_string(n) + " of " +
                                std::to_string(total) + " (" + failure.Kind + " " + Narrow(failure.Path) + ")";
      SCOPED_TRACE(where);
      ASSERT_TRUE(faults->Injected()) << "the run made fewer operations than an undisturbed one";
      const TState got = Capture(folders);
      EXPECT_EQ(Mixed(got, before, undisturbed), "");
      EXPECT_EQ(Outside(faults->Operations(), folders), "");
      EXPECT_EQ(Elsewhere(folders), elsewhere);
      if (result == 0) {
        ++failed;
        EXPECT_FALSE(run.Errors().empty()) << "a failure without an error message";
      } else {
        ++tolerated;
        EXPECT_EQ(result, -1);
        // Success with a different end state needs a warning that says so,
        // or a difference the pipeline leaves silently by design.
        if (got != undisturbed && run.Warnings().empty()) {
          EXPECT_TRUE(OnlySilentlyTolerated(got, undisturbed, scenario.Uninstall))
              << "succeeded without a word, yet:\n" << Differences(got, undisturbed);
        }
      }
      if (got == undisturbed) continue;
      if (!scenario.CanRunAgain(result, got)) {
        EXPECT_NE(result, 0) << "a failed run left no copy to run again:\n" << Differences(got, undisturbed);
        continue;
      }
      faults->Reset();
      TEngineRun again;
      again.Automatic = true;
      EXPECT_EQ(scenario.Run(again), -1) << "run again: " << testing::PrintToString(again.Errors());
      const TState end = Capture(folders);
      EXPECT_TRUE(end == undisturbed) << "run again ends elsewhere:\n" << Differences(end, undisturbed);
      EXPECT_EQ(Elsewhere(folders), elsewhere);
    }
  }
  std::cout << "[ faults ] " << scenario.Name << ": " << total << " file operations, " << runs << " runs (" << failed
            << " reported an error, " << tolerated << " tolerated the fault)" << (FullRun() ? "" : ", sampled")
            << ", seed " << Seed() << std::endl;
}

// The 50 files of the install kit: setup.ini and 49 files in the program
// folder, its subfolders and "..\Common", with and without kept copies,
// packed in two archives or loose, a few larger than one write of the
// extraction.
TKit FiftyFileKit(const TInstallFolders& folders) {
  TKit kit = folders.NewKit(L"5.03");
  kit.Key(L"Tmpl", L"jom");
  const wchar_t* const dirs[] = {L"", L"bin", L"data\\skins", L"..\\Common", L"www"};
  const wchar_t* const letters[] = {L"", L"I", L"o", L"t", L"R", L"So"};
  for (int i = 0; i < 49; ++i) {
    const std::wstring name = L"file" + std::to_wstring(10 + i) + L".dat";
    const std::size_t size = i % 12 == 0 ? 150000 : 100 + static_cast<std::size_t>(i * 7919 % 20000);
    const std::wstring arc = i % 7 == 3 ? L"" : i % 2 ? L"main" : L"extra";
    kit.Add({name, dirs[i % 5], i == 0 ? L"Ik" : letters[i % 6], arc,
             FixtureBytes(size, 100 + static_cast<unsigned>(i), i % 3 == 0), L""});
  }
  return kit;
}

TEST(FaultInjection, EveryFileOperationOfAnInstallFailsInTurn) {
  TInstallFolders folders("faults install");
  const TKit kit = FiftyFileKit(folders);
  kit.Write();
  ASSERT_EQ(kit.ListedFiles().size(), 50u);
  const TScenario install{
      "install of a 50-file kit",
      [&] { ClearInstallation(folders); },
      [&](TEngineRun& run) { return run.Install(kit.Dir(), folders.Program()); },
      [](std::int32_t, const TState&) { return true; },
  };
  BreakEveryOperation(install, folders);
  ClearInstallation(folders);
}

TEST(FaultInjection, EveryFileOperationOfAnUninstallFailsInTurn) {
  TInstallFolders folders("faults uninstall");
  const TKit kit = FiftyFileKit(folders);
  kit.Write();
  const TScenario uninstall{
      "uninstall",
      [&] {
        ClearInstallation(folders);
        TEngineRun run;
        run.Automatic = true;
        ASSERT_EQ(run.Install(kit.Dir(), folders.Program()), -1) << testing::PrintToString(run.Errors());
      },
      [&](TEngineRun& run) { return run.Execute(folders.Program(), sfUninstall, nullptr); },
      // A folder that still holds setup.ini and its list is still a copy.
      [](std::int32_t, const TState& state) {
        return state.Files.count("Program/setup.ini") && state.Files.count("Program/files.lst");
      },
      true,
  };
  BreakEveryOperation(uninstall, folders);
  ClearInstallation(folders);
}

// Version 5.02 and 5.03 of a product: patched files (one with a kept copy,
// one larger than a write), whole new files, a file new in 5.03, a shared
// file in "..\Common", an attribute change, a deleted file, a user file.
const std::string Exe502 = FixtureBytes(30000, 1);
const std::string Big502 = FixtureBytes(140000, 2);
const std::string Tool502 = FixtureBytes(8000, 3);
const std::string Readme = FixtureBytes(2000, 4, true);

std::string Changed(std::string bytes, unsigned seed) {
  for (std::size_t i = seed; i < bytes.size(); i += 997) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  return bytes + "and more in 5.03";
}

TKit VersionKit(const TInstallFolders& folders, const fs::path& folder, const std::wstring& version) {
  const bool next = version != L"5.02";
  TKit kit(folder, version);
  kit.Section = folders.Section;
  kit.Key(L"TargetGroup", folders.Group).Key(L"Tmpl", L"jom");
  kit.Add({L"jom.exe", L"", L"Iko", L"main", next ? Changed(Exe502, 7) : Exe502, L""})
      .Add({L"big.dat", L"data", L"o", L"main", next ? Changed(Big502, 5) : Big502, L""})
      .Add({L"tool.dll", L"lib", L"to", L"main", next ? Changed(Tool502, 3) : Tool502, L""})
      .Add({L"jom.dll", L"", L"o", L"main", FixtureBytes(next ? 21000 : 20000, next ? 12 : 11), L""})
      .Add({L"shared.dll", L"..\\Common", L"o", L"main", FixtureBytes(3000, next ? 14 : 13), L""})
      .Add({L"readme.txt", L"docs", next ? L"t" : L"", L"", Readme, L""})
      .Add({L"jom.ini", L"", L"R", L"", "[Server]\r\nPort=9090\r\n", L""})
      .Add({L"old.txt", L"", next ? L"D" : L"", L"", next ? "" : "gone in 5.03", L""});
  if (next) kit.Add({L"new.txt", L"docs", L"o", L"", "new in 5.03", L""});
  return kit;
}

void WriteUpdate(const fs::path& file, const TKit& old, const TKit& next) {
  const auto bytes = [](const TKit& kit, const std::wstring& name) {
    for (const TFixtureFile& f : kit.Files()) {
      if (f.Name == name) return f.Content;
    }
    return std::string();
  };
  const std::vector<std::pair<std::wstring, std::string>> entries = {
      {L"renew.cmd",
       "Version 5.02 5.03\r\n"
       "Renew jom.rdf jom.exe\r\n"
       "Renew big.rdf data\\big.dat\r\n"
       "Renew tool.rdf lib\\tool.dll\r\n"
       "Copy jom.dll\r\n"
       "Renew shared.rdf ..\\Common\\shared.dll\r\n"
       "Change docs\\readme.txt\r\n"
       "Copy docs\\new.txt\r\n"
       "Copy setup.ini\r\n"},
      {L"setup.ini", ReadFile(next.Folder() / "setup.ini")},
      {L"files.lst", ReadFile(next.Folder() / "files.lst")},
      {L"jom.rdf", MakePatch(bytes(old, L"jom.exe"), bytes(next, L"jom.exe"), 1000, true).Serialize()},
      {L"big.rdf", MakePatch(bytes(old, L"big.dat"), bytes(next, L"big.dat"), 4000, false).Serialize()},
      {L"tool.rdf", MakePatch(bytes(old, L"tool.dll"), bytes(next, L"tool.dll"), 500, false).Serialize()},
      {L"jom.dll", bytes(next, L"jom.dll")},
      {L"shared.rdf", MakePatch(bytes(old, L"shared.dll"), bytes(next, L"shared.dll"), 700, true).Serialize()},
      {L"docs/new.txt", bytes(next, L"new.txt")},
  };
  const fs::path sources = file.parent_path() / "update entries";
  fs::create_directories(sources);
  TZipWriter writer(file.wstring(), false);
  int i = 0;
  for (const auto& [name, content] : entries) {
    const fs::path source = sources / std::to_string(i++);
    WriteFile(source, content);
    writer.AddFile(source.wstring(), name);
  }
  ASSERT_TRUE(writer.Save());
  fs::remove_all(sources);
}

TEST(FaultInjection, EveryFileOperationOfAnUpdateFailsInTurn) {
  TInstallFolders folders("faults update");
  const TKit old = VersionKit(folders, folders.KitPath(), L"5.02");
  const TKit next = VersionKit(folders, folders.Root() / "Kit503", L"5.03");
  old.Write();
  next.Write();
  const fs::path file = folders.Root() / "upd.tvi";
  WriteUpdate(file, old, next);
  const std::wstring name = file.wstring();
  const TScenario update{
      "update 5.02 -> 5.03",
      [&] {
        ClearInstallation(folders);
        TEngineRun run;
        run.Automatic = true;
        ASSERT_EQ(run.Install(old.Dir(), folders.Program()), -1) << testing::PrintToString(run.Errors());
      },
      [&](TEngineRun& run) {
        return run.Execute(folders.Program(), sfUpdate, const_cast<wchar_t*>(name.c_str()));
      },
      // Once it has succeeded, the copy is 5.03 and refuses the update.
      [](std::int32_t result, const TState&) { return result == 0; },
  };
  BreakEveryOperation(update, folders);
  ClearInstallation(folders);
}

// setup.ini names the installed version: an update that stops before it has
// installed the new one is taken again, one that stops after it is refused.
// So nothing of the copy or its records may change once it is in place.
TEST(FaultInjection, AnUpdateInstallsItsSetupIniAfterEverythingElse) {
  TInstallFolders folders("faults order");
  const TKit old = VersionKit(folders, folders.KitPath(), L"5.02");
  const TKit next = VersionKit(folders, folders.Root() / "Kit503", L"5.03");
  old.Write();
  next.Write();
  const fs::path file = folders.Root() / "upd.tvi";
  WriteUpdate(file, old, next);
  {
    TEngineRun run;
    run.Automatic = true;
    ASSERT_EQ(run.Install(old.Dir(), folders.Program()), -1) << testing::PrintToString(run.Errors());
  }
  TFaultInjection faults;
  faults->Reset();
  TEngineRun run;
  run.Automatic = true;
  const std::wstring name = file.wstring();
  ASSERT_EQ(run.Execute(folders.Program(), sfUpdate, const_cast<wchar_t*>(name.c_str())), -1)
      << testing::PrintToString(run.Errors());
  const std::vector<TFileOperation> operations = faults->Operations();
  const std::wstring setupIni = UpperCaseText(folders.Program() + L"setup.ini");
  const std::wstring program = UpperCaseText(folders.Program());
  const std::wstring programsIni = UpperCaseText(folders.ProgramsIni());
  std::size_t installed = operations.size();
  for (std::size_t i = 0; i < operations.size(); ++i) {
    if (operations[i].Kind == "move" && UpperCaseText(operations[i].Path) == setupIni) installed = i;
  }
  ASSERT_LT(installed, operations.size()) << "setup.ini was not replaced";
  std::string after;
  for (std::size_t i = installed + 1; i < operations.size(); ++i) {
    const std::wstring path = UpperCaseText(operations[i].Path);
    if (path == setupIni) continue;
    if (path.rfind(program, 0) == 0 || path == programsIni || operations[i].Kind == "profile")
      after += "  " + operations[i].Kind + " " + Narrow(operations[i].Path) + "\n";
  }
  EXPECT_EQ(after, "");
  ClearInstallation(folders);
}

// A full disk half-way through the copy over an installed file: the old
// file stays whole and the question of the copy error is asked as before;
// the temporary file goes away and never takes the name of a kit's file
// (this kit has a "jom.exe.~new" of its own).
TEST(FaultInjection, AFullDiskDuringACopyOverAnInstalledFileLeavesItWhole) {
  TInstallFolders folders("faults copy");
  const auto versionKit = [&](const fs::path& folder, const std::wstring& version, unsigned seed) {
    TKit kit(folder, version);
    kit.Section = folders.Section;
    kit.Key(L"TargetGroup", folders.Group);
    kit.Add({L"jom.exe", L"", L"", L"main", FixtureBytes(70000 + seed, seed), L""})
        .Add({L"jom.exe.~new", L"", L"", L"main", "a file of the kit, version " + std::to_string(seed), L""});
    kit.Write();
    return kit;
  };
  const TKit first = versionKit(folders.KitPath(), L"5.02", 1);
  const TKit second = versionKit(folders.Root() / "Kit2", L"5.03", 2);
  const fs::path program = folders.ProgramPath();
  const struct {
    const char* Name;
    std::int32_t Answer;
    bool Installed;
  } cases[] = {{"retried", IDRETRY, true}, {"aborted", IDABORT, false}, {"skipped", IDIGNORE, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ClearInstallation(folders);
    {
      TEngineRun run;
      run.Automatic = true;
      ASSERT_EQ(run.Install(first.Dir(), folders.Program()), -1) << testing::PrintToString(run.Errors());
    }
    TFaultInjection faults;
    faults->FailOn("copy", L"\\jom.exe.~new1", ERROR_DISK_FULL);
    TEngineRun run;
    run.Answer = [&](const TQuestionCall& question) { return question.Flags == 18 ? c.Answer : IDNO; };
    const std::int32_t result = run.Install(second.Dir(), folders.Program());
    ASSERT_TRUE(faults->Injected());
    EXPECT_EQ(result, c.Installed ? -1 : 0) << testing::PrintToString(run.Errors());
    ASSERT_EQ(run.Questions.size(), 2u);
    EXPECT_EQ(run.Questions[1].Text, L"При копировании файла " + EngineWorkDir() + L"jom.exe -> " + folders.Program() +
                                         L"jom.exe произошла ошибка (112): " + SystemErrorMessage(ERROR_DISK_FULL));
    const bool replaced = c.Answer == IDRETRY;
    EXPECT_EQ(ReadFile(program / "jom.exe"), (replaced ? second : first).Files()[0].Content);
    EXPECT_EQ(ReadFile(program / "jom.exe.~new"), (c.Installed ? second : first).Files()[1].Content);
    EXPECT_FALSE(fs::exists(program / "jom.exe.~new1"));
    if (c.Answer == IDIGNORE) {
      EXPECT_EQ(run.Warnings(), std::vector<std::wstring>{L"Установка файла " + folders.Program() + L"jom.exe пропущена"});
    }
  }
  ClearInstallation(folders);
}

}  // namespace
