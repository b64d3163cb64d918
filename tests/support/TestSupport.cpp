#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include "platform/Win.h"
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace testsupport {

namespace {
std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  std::random_device device;
  std::ostringstream text;
#ifdef _WIN32
  text << ::GetCurrentProcessId();
#else
  text << ::getpid();
#endif
  text << '-' << counter++ << '-' << std::hex << device();
  return text.str();
}
}  // namespace

TempDir::TempDir(const std::string& tag) {
  Path = fs::temp_directory_path() / ("tavrel-test-" + tag + "-" + UniqueSuffix());
  fs::create_directories(Path);
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only files would stop remove_all on Windows.
  for (auto it = fs::recursive_directory_iterator(Path, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(Path, ignored);
}

std::wstring TempDir::dir() const {
  std::wstring text = Path.wstring();
  if (text.empty() || (text.back() != L'\\' && text.back() != L'/')) text += L'\\';
  return text;
}

std::wstring TempDir::file(const std::wstring& name) const { return dir() + name; }

void WriteFile(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << file.string();
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path ExecutableDir() {
#ifdef _WIN32
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return fs::path(buffer).parent_path();
#else
  return fs::read_symlink("/proc/self/exe").parent_path();
#endif
}

#ifdef _WIN32
ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : Process(std::exchange(other.Process, nullptr)), ProcessId(std::exchange(other.ProcessId, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Kill();
    Process = std::exchange(other.Process, nullptr);
    ProcessId = std::exchange(other.ProcessId, 0);
  }
  return *this;
}

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Start(const std::wstring& commandLine) {
  Kill();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::wstring mutableLine = commandLine;
  if (!::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return false;
  ::CloseHandle(info.hThread);
  Process = info.hProcess;
  ProcessId = info.dwProcessId;
  return true;
}

long ChildProcess::Wait(std::uint32_t milliseconds) {
  if (!Process) return -1;
  if (::WaitForSingleObject(Process, milliseconds) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  ::GetExitCodeProcess(Process, &code);
  return static_cast<long>(code);
}

bool ChildProcess::Running() const { return Process && ::WaitForSingleObject(Process, 0) == WAIT_TIMEOUT; }

void ChildProcess::Kill() {
  if (!Process) return;
  if (Running()) ::TerminateProcess(Process, 1);
  ::WaitForSingleObject(Process, 10000);
  ::CloseHandle(Process);
  Process = nullptr;
  ProcessId = 0;
}

ChildProcess HoldFileOpen(const std::wstring& file, std::uint32_t shareMode) {
  const std::wstring eventName = L"tavrel-holder-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(shareMode);
  HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
  EXPECT_NE(ready, nullptr);
  ChildProcess child;
  const std::wstring exe = (ExecutableDir() / L"FileHolder.exe").wstring();
  const std::wstring line =
      L"\"" + exe + L"\" \"" + file + L"\" " + std::to_wstring(shareMode) + L" " + eventName;
  EXPECT_TRUE(child.Start(line)) << "cannot start FileHolder.exe";
  // The holder signals once the file is open; it exits with 2 if it cannot open it.
  for (int i = 0; i < 300 && child.Running(); ++i) {
    if (::WaitForSingleObject(ready, 100) == WAIT_OBJECT_0) break;
  }
  EXPECT_EQ(::WaitForSingleObject(ready, 0), WAIT_OBJECT_0) << "FileHolder.exe did not open the file";
  ::CloseHandle(ready);
  return child;
}
#endif

}  // namespace testsupport
