// Start-up benchmark: the time from starting setup.exe in a kit folder to
// its dialog being visible, against starting MinimalWindow.exe (one plain
// window) to its window being visible, alternating in one Wine session.
// It also times setup's relaunched copy started on its own ("/STARTDIR",
// what the copy does after the first instance) and, in the normal start,
// when the copy's process was created, which splits the time between the
// first instance and the copy. "Painted" is when the window's process
// first waits for input, its first paint done.
// Usage: StartupBench.exe <kit folder> [runs]   (MinimalWindow.exe beside it)
// Prints a line per run, then "name seconds" lines: medians, and the best
// runs as "best_name".

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/UniqueHandle.h"
#include "platform/Win.h"

namespace {

constexpr DWORD TimeoutMs = 30000;

struct TFound {
  HWND Window = nullptr;
  DWORD ProcessId = 0;
};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  const int length = ::GetClassNameW(window, name, 64);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// The setup dialog is the visible dialog holding the progress control.
bool IsSetupDialog(HWND window) {
  return ::IsWindowVisible(window) && ClassOf(window) == L"#32770" && ::GetDlgItem(window, 255) != nullptr;
}

bool IsMinimalWindow(HWND window) {
  return ::IsWindowVisible(window) && ClassOf(window) == L"TavrelMinimalWindow";
}

TFound FindVisible(bool (*accept)(HWND)) {
  struct TSearch {
    bool (*Accept)(HWND);
    TFound Found;
  } search{accept, {}};
  ::EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(param);
        if (!s->Accept(window)) return TRUE;
        s->Found.Window = window;
        ::GetWindowThreadProcessId(window, &s->Found.ProcessId);
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

std::wstring ModuleFolder() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::uint64_t FileTimeNow() {
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// When the process was created, in FILETIME units; 0 when unknown.
std::uint64_t ProcessCreation(DWORD processId) {
  UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!process || !::GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

struct TRun {
  double Visible = -1;      // seconds until the window was visible; -1 on failure
  double Idle = -1;         // seconds until its process waited for input (painted)
  double CopyCreated = -1;  // seconds until the window's process was created
};

// Starts the command line, waits for a visible window that accept takes,
// closes it and waits for both processes to end.
TRun TimeStart(const std::wstring& commandLine, bool (*accept)(HWND)) {
  TRun run;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  const std::uint64_t startTime = FileTimeNow();
  const auto start = std::chrono::steady_clock::now();
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    std::fwprintf(stderr, L"cannot start %ls (error %lu)\n", commandLine.c_str(), ::GetLastError());
    return run;
  }
  UniqueKernelHandle process(info.hProcess);
  ::CloseHandle(info.hThread);
  TFound found;
  while (!(found = FindVisible(accept)).Window) {
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(TimeoutMs)) {
      std::fwprintf(stderr, L"no window from %ls\n", commandLine.c_str());
      ::TerminateProcess(process.get(), 1);
      return run;
    }
    ::Sleep(2);
  }
  run.Visible = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (found.ProcessId != info.dwProcessId) {
    const std::uint64_t created = ProcessCreation(found.ProcessId);
    if (created > startTime) run.CopyCreated = static_cast<double>(created - startTime) / 1e7;
  }
  UniqueKernelHandle windowProcess(
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, found.ProcessId));
  // The first paint is done before the window's thread waits for input.
  if (windowProcess && ::WaitForInputIdle(windowProcess.get(), TimeoutMs) == 0) {
    run.Idle = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  ::PostMessageW(found.Window, WM_CLOSE, 0, 0);
  if (windowProcess) ::WaitForSingleObject(windowProcess.get(), TimeoutMs);
  ::WaitForSingleObject(process.get(), TimeoutMs);
  return run;
}

double Best(const std::vector<double>& values) {
  return values.empty() ? -1 : *std::min_element(values.begin(), values.end());
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fwprintf(stderr, L"usage: StartupBench.exe <kit folder> [runs]\n");
    return 2;
  }
  std::wstring kit = argv[1];
  if (!kit.empty() && kit.back() != L'\\') kit += L'\\';
  const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 7;
  const std::wstring minimal = L"\"" + ModuleFolder() + L"MinimalWindow.exe\"";
  const std::wstring setup = L"\"" + kit + L"setup.exe\"";
  const std::wstring copy = setup + L" \"/STARTDIR=" + kit + L"\"";

  // Warm-up: Wine's server, the loaded system libraries and the file cache.
  TimeStart(minimal, IsMinimalWindow);
  TimeStart(setup, IsSetupDialog);
  std::vector<double> minimalTimes, setupTimes, copyTimes, firstInstanceTimes, minimalIdle, setupIdle;
  for (int i = 1; i <= runs; ++i) {
    const TRun m = TimeStart(minimal, IsMinimalWindow);
    const TRun s = TimeStart(setup, IsSetupDialog);
    const TRun c = TimeStart(copy, IsSetupDialog);
    if (m.Visible < 0 || s.Visible < 0 || c.Visible < 0) return 1;
    minimalTimes.push_back(m.Visible);
    setupTimes.push_back(s.Visible);
    copyTimes.push_back(c.Visible);
    if (s.CopyCreated >= 0) firstInstanceTimes.push_back(s.CopyCreated);
    if (m.Idle >= 0) minimalIdle.push_back(m.Idle);
    if (s.Idle >= 0) setupIdle.push_back(s.Idle);
    std::wprintf(L"run %d: minimal window %.3f s (painted %.3f s), setup.exe %.3f s (painted %.3f s; copy started "
                 L"after %.3f s), copy alone %.3f s\n",
                 i, m.Visible, m.Idle, s.Visible, s.Idle, s.CopyCreated, c.Visible);
  }
  std::wprintf(L"minimal %.3f\nsetup %.3f\nsetup_copy_alone %.3f\nsetup_first_instance %.3f\nminimal_painted %.3f\n"
               L"setup_painted %.3f\n",
               Median(minimalTimes), Median(setupTimes), Median(copyTimes), Median(firstInstanceTimes),
               Median(minimalIdle), Median(setupIdle));
  // On a shared machine the best run is the steadier figure.
  std::wprintf(L"best_minimal %.3f\nbest_setup %.3f\nbest_setup_copy_alone %.3f\nbest_setup_first_instance %.3f\n",
               Best(minimalTimes), Best(setupTimes), Best(copyTimes), Best(firstInstanceTimes));
  return 0;
}
