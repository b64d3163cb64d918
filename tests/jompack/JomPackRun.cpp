#include "JomPackRun.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TestSupport.h"

#ifdef _WIN32
#include "platform/Win.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace jompacktest {

namespace {
// The names of the tests are UTF-8 (on Windows a narrow path would be read
// in the ANSI code page).
fs::path Utf8Path(const std::string& name) { return fs::path(std::u8string(name.begin(), name.end())); }

fs::path Program() {
#ifdef _WIN32
  return testsupport::ExecutableDir() / "jompack.exe";
#else
  const char* binary = std::getenv("TAVREL_BINARY_DIR");
  return fs::path(binary ? binary : ".") / "bin" / "jompack";
#endif
}

#ifdef _WIN32
std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

HANDLE OutputFile(const fs::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
}
#endif
}  // namespace

std::string Arg(const fs::path& path) { return path.string(); }

TRun RunJomPack(const std::vector<std::string>& args) {
  const testsupport::TempDir capture("jpout");
  const fs::path out = capture.path() / "out", err = capture.path() / "err";
  TRun run;
#ifdef _WIN32
  std::wstring line = Quoted(Program().wstring());
  for (const std::string& arg : args) line += L" " + Quoted(fs::path(arg).wstring());
  HANDLE outFile = OutputFile(out), errFile = OutputFile(err);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outFile;
  startup.hStdError = errFile;
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &process)) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    run.Code = static_cast<int>(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(outFile);
  ::CloseHandle(errFile);
#else
  std::vector<std::string> all = {Program().string()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = 0;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    ::waitpid(child, &status, 0);
    run.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
#endif
  run.Out = ReadFile(out);
  run.Err = ReadFile(err);
  return run;
}

fs::path WriteVersion(const fs::path& folder, const std::string& product, const std::string& version,
                      const std::vector<TVersionFile>& files, const std::string& iniExtra) {
  const std::string ini = "[Products]\r\nProduct1=" + product + "\r\n\r\n[" + product +
                          "]\r\nProductName1=Tavrel\r\nVersion=" + version + "\r\nFilesLst=files.lst\r\n" + iniExtra;
  fs::create_directories(folder);
  WriteFile(folder / "setup.ini", ini);
  // A byte-order mark: the list format reads UTF-8 only with one.
  std::string lines = "\xEF\xBB\xBF; template of version " + version + "\r\n";
  for (const TVersionFile& file : files) {
    fs::path path = folder;
    if (!file.Dir.empty()) path /= Utf8Path(file.Dir);
    fs::create_directories(path);
    WriteFile(path / Utf8Path(file.Name), file.Content);
    const bool spaced = file.Name.find(' ') != std::string::npos;
    lines += (spaced ? "\"" + file.Name + "\"" : file.Name) + (file.Dir.empty() ? "" : " Dir=" + file.Dir) + " " + file.Keys + "\r\n";
  }
  lines += "setup.ini St=S\r\n";
  const fs::path templ = folder.parent_path() / (folder.filename().string() + ".tmpl");
  WriteFile(templ, lines);
  return templ;
}

std::map<std::string, std::string> FolderFiles(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::u8string name = fs::relative(entry.path(), folder).generic_u8string();
    files[std::string(name.begin(), name.end())] = ReadFile(entry.path());
  }
  return files;
}

}  // namespace jompacktest
