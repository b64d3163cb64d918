// A real engine process (kvtcall.exe driving KvtDistr.dll) killed at a
// random point of an install of a 50-file kit, or of an update 5.02 -> 5.03
// of such a copy, and the same function run again to its end: the program
// folder, the list, the programs registration file, the Uninstall entry, the
// update-file association and the shortcuts must be exactly those of a run
// that was never disturbed. The points are seeded and spread over the time
// the undisturbed run works after the engine's first report, one in each
// tenth of it.
//
// KILL_TEST_POINTS (1 to 10, default 10) sets the number of points of each
// function, KILL_TEST_SEED the seed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <thread>

#include "InstallHarness.h"
#include "InstalledCopy.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "setup/distribution/TextCodec.h"
#include "setup/distribution/ZipArchive.h"
#include "support/RegistryKeys.h"
#include "support/RenewPatchWriter.h"

namespace fs = std::filesystem;
using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

// The association is a key of the whole prefix: tests running at the same
// time must not share its extension.
[[maybe_unused]] const bool OwnRenewExtension = UseProcessRenewExtension();

constexpr int FileCount = 50;
constexpr DWORD RunTimeoutMs = 120000;

int EnvNumber(const char* name, int fallback, int low, int high) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  return std::clamp(std::atoi(text), low, high);
}

// The files of one version: program files in the main archive (with "o" so
// that an update replaces them), some with kept copies, libraries in their
// own archive and folder, loose documents, one file in use-checked ("k").
std::vector<TFixtureFile> VersionFiles(bool next) {
  std::vector<TFixtureFile> files;
  for (int i = 0; i < FileCount; ++i) {
    const std::wstring n = std::to_wstring(i);
    const unsigned seed = static_cast<unsigned>(i) + 1;
    // In 5.03 every fifth file changes, every seventh is new content
    // altogether; file 49 is gone.
    std::string content = FixtureBytes(20000 + 1500 * static_cast<std::size_t>(i % 9), seed, i % 3 == 0);
    if (next && i % 5 == 0) content[content.size() / 2] ^= 0x5A, content += "5.03";
    if (next && i % 7 == 3) content = FixtureBytes(18000, seed + 500);
    const bool gone = next && i == FileCount - 1;
    if (i < 20) {
      files.push_back({L"prog" + n + L".dll", L"", i == 0 ? L"Iko" : i % 4 == 1 ? L"Io" : L"o", L"main", content, L""});
    } else if (i < 35) {
      files.push_back({L"lib" + n + L".dll", L"lib", gone ? L"D" : L"to", L"libs", content, L""});
    } else {
      files.push_back({L"doc" + n + L".txt", L"docs\\more", gone ? L"D" : L"o", L"", gone ? "" : content, L""});
    }
    if (gone) files.back().Content.clear();
  }
  files[0].Name = L"jom.exe";
  files[0].Extra = L"Caption=Tavrel";
  return files;
}

TKit VersionKit(const TInstallFolders& folders, const fs::path& folder, bool next) {
  TKit kit(folder, next ? L"5.03" : L"5.02");
  kit.Section = folders.Section;
  kit.Key(L"TargetGroup", folders.Group).Key(L"MainFile", L"jom.exe");
  for (const TFixtureFile& file : VersionFiles(next)) kit.Add(file);
  return kit;
}

// The update file: whole new files for the changed program files in the
// program folder itself, patches for every other changed file, the deleted
// file, the new list and setup.ini.
void WriteUpdateFile(const fs::path& file, const TKit& next) {
  const std::vector<TFixtureFile> oldFiles = VersionFiles(false), newFiles = VersionFiles(true);
  std::string commands = "Version 5.02 5.03\r\n";
  std::vector<std::pair<std::wstring, std::string>> entries;
  for (std::size_t i = 0; i < newFiles.size(); ++i) {
    const TFixtureFile& file = newFiles[i];
    if (file.Content == oldFiles[i].Content || file.St == L"D") continue;
    const std::wstring path = file.Dir.empty() ? file.Name : file.Dir + L"\\" + file.Name;
    if (!file.Dir.empty() || file.St.find(L'I') != std::wstring::npos) {
      const std::wstring patch = file.Name + L".rdf";
      commands += WideToUtf8(L"Renew " + patch + L" " + path) + "\r\n";
      entries.emplace_back(patch, MakePatch(oldFiles[i].Content, file.Content, 2000, true).Serialize());
    } else {
      commands += WideToUtf8(L"Copy " + path) + "\r\n";
      entries.emplace_back(file.Name, file.Content);
    }
  }
  commands += "Copy setup.ini\r\n";
  entries.emplace_back(L"renew.cmd", commands);
  entries.emplace_back(L"setup.ini", ReadFile(next.Folder() / "setup.ini"));
  entries.emplace_back(L"files.lst", ReadFile(next.Folder() / "files.lst"));

  const fs::path sources = file.parent_path() / "update-entries";
  fs::create_directories(sources);
  TZipWriter writer(file.wstring(), false);
  for (const auto& [name, bytes] : entries) {
    WriteFile(sources / name, bytes);
    writer.AddFile((sources / name).wstring(), name);
  }
  ASSERT_TRUE(writer.Save());
  fs::remove_all(sources);
}

// In double quotes, for kvtcall's C runtime: a backslash before the
// closing quote would escape it, so a folder goes without its last one.
std::wstring Quoted(const std::wstring& text) { return L"\"" + ExcludeTrailingBackslash(text) + L"\""; }

// kvtcall.exe running one function in a process of its own, its output in
// a log file.
class TEngineProcess {
public:
  TEngineProcess(const std::wstring& arguments, const fs::path& log) : Log(log) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    OutputFile.reset(::CreateFileW(log.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = OutputFile.get();
    startup.hStdError = OutputFile.get();
    startup.hStdInput = nullptr;
    std::wstring line = Quoted((ExecutableDir() / "kvtcall.exe").wstring()) + L" " + arguments;
    PROCESS_INFORMATION info{};
    Started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &info) != FALSE;
    if (!Started) return;
    ::CloseHandle(info.hThread);
    Process.reset(info.hProcess);
  }

  // The exit code, or -1 when the process did not end in time.
  long Wait(DWORD milliseconds) {
    if (!Process || ::WaitForSingleObject(Process.get(), milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(Process.get(), &code);
    return static_cast<long>(code);
  }

  // Ends the process at once, as a power cut ends a program; true when it
  // was still running.
  bool Kill() {
    const bool running = ::WaitForSingleObject(Process.get(), 0) == WAIT_TIMEOUT;
    if (running) ::TerminateProcess(Process.get(), 9);
    ::WaitForSingleObject(Process.get(), RunTimeoutMs);
    return running;
  }

  // Waits until the engine has reported something (its first progress
  // line): from then on it works on the files. False when the process
  // ended or timed out first.
  bool WaitForOutput(DWORD milliseconds) {
    const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (Clock::now() < until) {
      std::error_code error;
      if (fs::file_size(Log, error) > 0 && !error) return true;
      if (::WaitForSingleObject(Process.get(), 1) == WAIT_OBJECT_0) return false;
    }
    return false;
  }

  std::string Output() {
    OutputFile.reset();
    return ReadFile(Log);
  }

  bool Started = false;

private:
  fs::path Log;
  UniqueKernelHandle OutputFile;
  UniqueKernelHandle Process;
};

std::map<std::wstring, std::wstring> RegistryValues(HKEY root, const std::wstring& key) {
  std::map<std::wstring, std::wstring> values;
  UniqueRegKey handle;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.put()) != ERROR_SUCCESS) return values;
  const HKEY opened = handle.get();
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLength = 512, type = 0, size = 0;
    if (::RegEnumValueW(opened, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::string data(size, '\0');
    nameLength = 512;
    ::RegEnumValueW(opened, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    data.resize(size);
    values[std::wstring(name, nameLength)] = std::to_wstring(type) + L":" + std::wstring(data.begin(), data.end());
  }
  return values;
}

// What a function leaves behind: every file of the program folder with its
// bytes and attributes, the programs registration file, the registry
// records and the names of the shortcuts.
using TEndState = std::map<std::wstring, std::wstring>;

TEndState CaptureEndState(const TInstallFolders& folders) {
  TEndState state;
  const fs::path program = folders.ProgramPath();
  for (const std::string& name : FilesUnder(program)) {
    const DWORD attributes = ::GetFileAttributesW((program / name).wstring().c_str());
    const std::string bytes = ReadFile(program / name);
    // Texts are kept whole, so that a difference shows what differs.
    const bool text = name.ends_with(".ini") || name.ends_with(".lst");
    state[L"file " + Utf8ToWide(name)] =
        std::to_wstring(attributes) + L":" + (text ? std::wstring(bytes.begin(), bytes.end()) : FixtureCrc(bytes));
  }
  std::error_code missing;
  if (fs::exists(folders.ProgramsIni(), missing))
    state[L"programs ini"] = Utf8ToWide(ReadFile(folders.ProgramsIni()));
  for (const std::wstring& name : {folders.Section, folders.Section + L"1", folders.Section + L"2"}) {
    for (const auto& [value, data] : RegistryValues(HKEY_LOCAL_MACHINE, UninstallKey(name)))
      state[L"uninstall " + name + L" " + value] = data;
  }
  for (const std::wstring& key : {folders.RenewExtension, folders.RenewKey, folders.RenewKey + L"\\DefaultIcon",
                                  folders.RenewKey + L"\\shell\\open\\command"}) {
    for (const auto& [value, data] : RegistryValues(HKEY_CLASSES_ROOT, key)) state[L"class " + key + L" " + value] = data;
  }
  for (const std::string& name : FilesUnder(GroupFolder(folders.Group))) state[L"shortcut " + Utf8ToWide(name)] = L"";
  return state;
}

std::wstring Differences(const TEndState& expected, const TEndState& actual) {
  std::wstring text;
  for (const auto& [key, value] : expected) {
    const auto found = actual.find(key);
    if (found == actual.end()) text += L"\n  missing: " + key;
    else if (found->second != value) text += L"\n  differs: " + key + L"\n    " + value + L"\n    " + found->second;
  }
  for (const auto& [key, value] : actual) {
    if (!expected.count(key)) text += L"\n  extra: " + key;
  }
  return text;
}

// Removes everything an install left: the program folder, the registration
// file, the Uninstall entries, the association and the shortcuts.
void RemoveInstallation(const TInstallFolders& folders) {
  std::error_code ignored;
  fs::remove_all(folders.ProgramPath(), ignored);
  fs::remove(folders.ProgramsIni(), ignored);
  for (const std::wstring& name : {folders.Section, folders.Section + L"1", folders.Section + L"2"})
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, UninstallKey(name).c_str());
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, folders.RenewKey.c_str());
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, folders.RenewExtension.c_str());
  fs::remove_all(GroupFolder(folders.Group), ignored);
}

class KillTest : public testing::Test {
protected:
  KillTest()
      : Folders("kill"),
        Kit(VersionKit(Folders, Folders.KitPath(), false)),
        Next(VersionKit(Folders, Folders.Root() / "Kit503", true)) {
    Kit.Write();
    Next.Write();
  }
  ~KillTest() override { RemoveInstallation(Folders); }

  std::wstring Parameters() const {
    return L" /auto " + Quoted(L"/param:ProgramsIniFileName=" + Folders.ProgramsIni()) + L" " +
           Quoted(L"/param:ProgramRenewFileExtension=" + Folders.RenewExtension) + L" " +
           Quoted(L"/param:ProgramRenewFileKeyName=" + Folders.RenewKey);
  }
  std::wstring InstallArguments() const {
    return Quoted(Kit.Dir()) + L" install " + Quoted(Folders.Program()) + Parameters();
  }
  std::wstring UpdateArguments() const {
    return Quoted(Folders.Program()) + L" update " + Quoted(UpdateFile().wstring()) + Parameters();
  }
  fs::path UpdateFile() const { return Folders.Root() / ("upd" + WideToUtf8(Folders.RenewExtension)); }

  // Runs the function to its end; the length in milliseconds of the part
  // after the engine's first report. refusal: a text of the failure the
  // run may end with instead (empty: it must succeed).
  double RunToEnd(const std::wstring& arguments, const char* what, const std::string& refusal = {}) {
    TEngineProcess run(arguments, Folders.Root() / "run.log");
    EXPECT_TRUE(run.Started);
    run.WaitForOutput(RunTimeoutMs);
    const auto working = Clock::now();
    const long code = run.Wait(RunTimeoutMs);
    const std::string output = run.Output();
    if (refusal.empty() || output.find(refusal) == std::string::npos) EXPECT_EQ(code, 0) << what << ":\n" << output;
    else EXPECT_EQ(code, 1) << what << ":\n" << output;
    return std::chrono::duration<double, std::milli>(Clock::now() - working).count();
  }

  // For each point: prepare, start the function, kill it after the point's
  // delay, run it again to its end and compare with the undisturbed end.
  // finished tells, after the kill, that the function had done its work
  // and only not yet ended: the run again may then fail with the refusal
  // text (an update refuses a copy of the version it makes).
  void KillAndRerun(const char* what, const std::function<void()>& prepare, const std::wstring& arguments,
                    const std::function<bool()>& finished = {}, const std::string& refusal = {}) {
    prepare();
    const double length = RunToEnd(arguments, "undisturbed run");
    const TEndState expected = CaptureEndState(Folders);
    ASSERT_FALSE(expected.empty());
    const int points = EnvNumber("KILL_TEST_POINTS", 10, 1, 10);
    std::mt19937 random(static_cast<unsigned>(EnvNumber("KILL_TEST_SEED", 19, 0, 1 << 30)));
    std::uniform_real_distribution<double> within(0.0, 1.0);
    int killed = 0, finishedBeforeKill = 0;
    for (int point = 0; point < points; ++point) {
      const double delay = length * (point + within(random)) / points;
      SCOPED_TRACE(std::string(what) + ", killed after " + std::to_string(static_cast<int>(delay)) + " ms of " +
                   std::to_string(static_cast<int>(length)));
      prepare();
      TEngineProcess run(arguments, Folders.Root() / "killed.log");
      ASSERT_TRUE(run.Started);
      run.WaitForOutput(RunTimeoutMs);
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(delay));
      const bool running = run.Kill();
      if (running) ++killed;
      const bool done = finished && finished();
      if (done) {
        ++finishedBeforeKill;
        // Nothing is left to do: the state is already that of the end.
        EXPECT_EQ(Differences(expected, CaptureEndState(Folders)), L"") << "finished, yet not at the end";
      }
      RunToEnd(arguments, "run after the kill", done ? refusal : std::string());
      EXPECT_EQ(Differences(expected, CaptureEndState(Folders)), L"");
    }
    std::printf("%s: %d points, %d of them killed while running, %d after the work was done, undisturbed run %.0f ms\n",
                what, points, killed, finishedBeforeKill, length);
  }

  TInstallFolders Folders;
  TKit Kit, Next;
};

TEST_F(KillTest, AnInstallKilledAnywhereEndsAsAnUndisturbedOneWhenRunAgain) {
  KillAndRerun("install", [this] { RemoveInstallation(Folders); }, InstallArguments());
}

// The update installs setup.ini of 5.03 after everything else: a copy that
// names 5.03 is complete, and the same update run again refuses it.
TEST_F(KillTest, AnUpdateKilledAnywhereEndsAsAnUndisturbedOneWhenRunAgain) {
  WriteUpdateFile(UpdateFile(), Next);
  const std::string installed503 = ReadFile(Next.Folder() / "setup.ini");
  KillAndRerun(
      "update",
      [this] {
        RemoveInstallation(Folders);
        RunToEnd(InstallArguments(), "install of 5.02");
      },
      UpdateArguments(),
      [&] {
        std::error_code missing;
        return fs::exists(Folders.ProgramPath() / "setup.ini", missing) &&
               ReadFile(Folders.ProgramPath() / "setup.ini") == installed503;
      },
      "The update file is meant for version 5.02; version 5.03 is installed.");
}

}  // namespace
