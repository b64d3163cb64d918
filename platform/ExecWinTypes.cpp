#include "platform/ExecWinTypes.h"

#include "platform/Win.h"  // before the other system headers, which need its types

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"

namespace {
template <class Fn>
Fn EntryPoint(const wchar_t* module, const char* name) {
  HMODULE loaded = ::GetModuleHandleW(module);
  if (!loaded) loaded = ::LoadLibraryW(module);
  return loaded ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(loaded, name))) : nullptr;
}

// Optional entry points, resolved once at start-up.
using QueryFullProcessImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
using GetProcessImageFileNameFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD);
using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
using NtQueryInformationProcessFn = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
using AttachConsoleFn = BOOL(WINAPI*)(DWORD);

const auto QueryFullProcessImageNameEntry =
    EntryPoint<QueryFullProcessImageNameFn>(L"kernel32.dll", "QueryFullProcessImageNameW");
const auto GetProcessImageFileNameEntry = [] {
  auto fn = EntryPoint<GetProcessImageFileNameFn>(L"kernel32.dll", "GetProcessImageFileNameW");
  return fn ? fn : EntryPoint<GetProcessImageFileNameFn>(L"kernel32.dll", "K32GetProcessImageFileNameW");
}();
const auto GetModuleFileNameExEntry = [] {
  auto fn = EntryPoint<GetModuleFileNameExFn>(L"kernel32.dll", "K32GetModuleFileNameExW");
  return fn ? fn : EntryPoint<GetModuleFileNameExFn>(L"psapi.dll", "GetModuleFileNameExW");
}();
const auto NtQueryInformationProcessEntry =
    EntryPoint<NtQueryInformationProcessFn>(L"ntdll.dll", "NtQueryInformationProcess");
const auto AttachConsoleEntry = EntryPoint<AttachConsoleFn>(L"kernel32.dll", "AttachConsole");

constexpr WORD ShowTable[] = {SW_SHOWNORMAL, SW_HIDE, SW_SHOWMINNOACTIVE, SW_SHOWNOACTIVATE};
constexpr DWORD PriorityTable[] = {HIGH_PRIORITY_CLASS, ABOVE_NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
                                   BELOW_NORMAL_PRIORITY_CLASS, IDLE_PRIORITY_CLASS};
constexpr DWORD ConsoleFlags = CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP;
constexpr std::uint32_t ReadChunk = 1024;
constexpr std::uint64_t CancelledReadingMs = 3000;
constexpr std::uint32_t CloseTimeoutMs = 3000;
constexpr std::size_t CommandBufferLength = 65536;
constexpr std::size_t StartProgramBufferLength = 16384;

// Out-of-range indexes fall back to the normal entry of their table.
WORD ShowValue(std::uint8_t index) { return index < std::size(ShowTable) ? ShowTable[index] : SW_SHOWNORMAL; }
DWORD PriorityValue(std::uint8_t index) {
  return index < std::size(PriorityTable) ? PriorityTable[index] : NORMAL_PRIORITY_CLASS;
}

// A writable, zero-terminated copy of the command line for CreateProcessW,
// at least minimum characters long (longer when the text needs it).
std::vector<wchar_t> WritableCommandLine(const std::wstring& commandLine, std::size_t minimum) {
  std::vector<wchar_t> buffer(std::max(minimum, commandLine.size() + 1), L'\0');
  std::copy(commandLine.begin(), commandLine.end(), buffer.begin());
  return buffer;
}

// A program started from a removable medium must not keep the medium's
// folder as its current one; the program's own folder is taken instead.
bool LeaveRemovableCurrentDirectory() {
  wchar_t current[MAX_PATH + 1] = {};
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH + 1, current);
  if (length == 0 || length > MAX_PATH) return true;
  const std::wstring root = std::wstring(current).substr(0, 3);
  {
    ScopedErrorMode quiet;
    if (::GetDriveTypeW(root.c_str()) != DRIVE_REMOVABLE) return true;
  }
  return ::SetCurrentDirectoryW(ExtractFilePath(ProgramPath()).c_str()) != FALSE;
}

bool IsCommandInterpreter(const std::wstring& imagePath) {
  return UpperCaseText(ExtractFileName(imagePath)) == L"CMD.EXE";
}

bool StartsWithIgnoreCase(const std::wstring& text, const std::wstring& prefix) {
  return !prefix.empty() && text.size() >= prefix.size() &&
         UpperCaseText(text.substr(0, prefix.size())) == UpperCaseText(prefix);
}

template <class Visit>
void ForEachProcess(Visit visit) {
  UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (!visit(entry)) return;
  }
}

// The processes (other than this one) whose image path has a drive letter
// and lies below one of the prefixes, with their parents.
struct TProcessEntry {
  DWORD ProcessId;
  DWORD ParentId;
};
std::vector<TProcessEntry> ProcessesUnder(const std::vector<std::wstring>& prefixes) {
  std::vector<TProcessEntry> found;
  const DWORD self = ::GetCurrentProcessId();
  ForEachProcess([&](const PROCESSENTRY32W& entry) {
    if (entry.th32ProcessID == self || entry.th32ProcessID == 0) return true;
    const std::wstring path = GetProcessFileName(entry.th32ProcessID);
    if (path.size() < 2 || path[1] != L':') return true;
    for (const std::wstring& prefix : prefixes) {
      if (StartsWithIgnoreCase(path, prefix)) {
        found.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
        break;
      }
    }
    return true;
  });
  return found;
}

// AttachConsole works on the process's console state: one signal at a time.
std::mutex ConsoleLock;

// Creating inheritable pipe ends and the child that inherits them is one
// step, so that two captured runs cannot hand each other's pipes to their
// children (which would keep a pipe open after its own child ended).
std::mutex InheritLock;

std::int32_t CloseProcessById(std::uint32_t processId, std::uint32_t timeoutMs, bool closeChildren);
bool SendConsoleSignalTo(std::uint32_t processId, wchar_t character, bool ctrlBreak);

class TExecuteProcessInformation : public TRefCountedObject<IExecuteProcessInformation> {
public:
  TExecuteProcessInformation(HANDLE process, HANDLE thread, DWORD processId)
      : Process(process), Thread(thread), ProcessId(processId) {}
  std::intptr_t GetTag() override { return Tag; }
  void SetTag(std::intptr_t tag) override { Tag = tag; }
  Handle GetProcessHandle() override { return Process; }
  std::uint32_t GetProcessId() override { return ProcessId; }

private:
  HANDLE Process;
  HANDLE Thread;
  DWORD ProcessId;
  std::intptr_t Tag = 0;
};

class TExecuteProgramHelper : public TRefCountedObject<IExecuteProgramHelper> {
public:
  explicit TExecuteProgramHelper(TExecuteOptions options)
      : Options(std::move(options)), CommandLine(WritableCommandLine(Options.CommandLine, CommandBufferLength)) {}
  ~TExecuteProgramHelper() override {
    if (StartEvent) ::CloseHandle(StartEvent);
  }

  bool StartRun() override;
  void PerformRun() override;

private:
  // From a started process to the end of its run: registered with the
  // terminate object, owning the process handle.
  class TRunScope {
  public:
    explicit TRunScope(TExecuteProgramHelper& helper) : Helper(helper), Process(helper.ProcessInfo.hProcess) {
      Helper.Started = true;
      Helper.Register();
      ::CloseHandle(std::exchange(Helper.ProcessInfo.hThread, nullptr));
    }
    ~TRunScope() { Helper.Unregister(); }
    TRunScope(const TRunScope&) = delete;
    TRunScope& operator=(const TRunScope&) = delete;

  private:
    TExecuteProgramHelper& Helper;
    UniqueKernelHandle Process;
  };

  void PlainRun();
  void CapturedRun();
  // Creates the process as StartupInfo says; false, with the start error
  // saved, on failure.
  bool CreateChild(bool inheritHandles) {
    if (::CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, inheritHandles,
                         PriorityValue(Options.PriorityIndex) | ConsoleFlags, nullptr, nullptr, &StartupInfo,
                         &ProcessInfo))
      return true;
    FailStart(::GetLastError());
    return false;
  }
  void FailStart(DWORD error) {
    StartError = error;
    ::SetLastError(error);
  }
  void Register();
  void Unregister();
  void NotifyStarted();
  void SignalStart() {
    if (StartEvent) ::SetEvent(StartEvent);
  }
  bool Cancelled() { return Options.Terminate && Options.Terminate->CheckTerminated(); }
  bool WaitForIdle();
  bool WaitForEnd();
  void ReadOutput(HANDLE pipe);
  void ProcessMessages();

  TExecuteOptions Options;
  std::vector<wchar_t> CommandLine;
  PROCESS_INFORMATION ProcessInfo{};
  STARTUPINFOW StartupInfo{};
  std::atomic<bool> Started{false};
  bool Ended = false;
  bool QuitReceived = false;
  DWORD StartError = 0;
  std::int32_t ExitCode = -1;
  TExecuteProgramInfo* Registered = nullptr;
  HANDLE StartEvent = nullptr;
};

// The background thread of one run: keeps the helper alive until its run ends.
class TExecuteProgramThread {
public:
  static bool Start(RefPtr<IExecuteProgramHelper> helper) {
    auto* thread = new TExecuteProgramThread(std::move(helper));
    HANDLE handle = ::CreateThread(nullptr, 0, &TExecuteProgramThread::Body, thread, 0, nullptr);
    if (!handle) {
      const DWORD error = ::GetLastError();
      delete thread;
      ::SetLastError(error);
      return false;
    }
    ::CloseHandle(handle);
    return true;
  }

private:
  explicit TExecuteProgramThread(RefPtr<IExecuteProgramHelper> helper) : Helper(std::move(helper)) {}
  static DWORD WINAPI Body(void* parameter) {
    auto* thread = static_cast<TExecuteProgramThread*>(parameter);
    thread->Helper->PerformRun();
    delete thread;
    return 0;
  }
  RefPtr<IExecuteProgramHelper> Helper;
};

bool TExecuteProgramHelper::StartRun() {
  if (Options.CommandLine.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (Options.ProcessMessages) ProcessMessages();
  if (!LeaveRemovableCurrentDirectory()) return false;

  const bool background =
      Options.WaitMode == wmBackground || (Options.WaitMode == wmWaitForInputIdle && Options.Output);
  if (background) {
    StartEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!StartEvent) return false;
    if (!TExecuteProgramThread::Start(RefPtr<IExecuteProgramHelper>(this))) return false;
    ::WaitForSingleObject(StartEvent, INFINITE);
  } else {
    PerformRun();
  }
  const bool started = Started.load();
  if (Options.ProcessMessages) ProcessMessages();
  if (QuitReceived) ::PostQuitMessage(0);
  if (!started) ::SetLastError(StartError);
  return started;
}

void TExecuteProgramHelper::PerformRun() {
  try {
    if (Options.Output) {
      CapturedRun();
    } else {
      PlainRun();
    }
    if (Options.ExitCode && (!Started || Ended)) {
      Options.ExitCode->SetExitCode(ExitCode);
      Options.ExitCode->SetCommandLine(Options.CommandLine);
    }
    // A failed start or a failing program stops everything else that
    // watches the same terminate object.
    if (Options.Terminate && (!Started || (Ended && ExitCode != 0))) Options.Terminate->Terminate(0);
  } catch (...) {
    // A callback that throws must neither end the program nor leave the
    // caller waiting for a start that is never signalled.
    if (!StartError) StartError = ERROR_INVALID_FUNCTION;
  }
  SignalStart();
}

void TExecuteProgramHelper::Register() {
  if (!Options.Terminate) return;
  Registered = new TExecuteProgramInfo(RefPtr<IExecuteProcessInformation>(
      new TExecuteProcessInformation(ProcessInfo.hProcess, ProcessInfo.hThread, ProcessInfo.dwProcessId)));
  if (Options.WaitMode != wmWaitForInputIdle) Options.Terminate->GetProcessList().Add(Registered);
}

void TExecuteProgramHelper::Unregister() {
  if (!Registered) return;
  if (Options.WaitMode != wmWaitForInputIdle) Options.Terminate->GetProcessList().Remove(Registered);
  delete std::exchange(Registered, nullptr);
}

void TExecuteProgramHelper::NotifyStarted() {
  if (!Registered) return;
  if (Options.OnStarted) Options.OnStarted(*Registered->Information);
  SignalStart();
}

void TExecuteProgramHelper::ProcessMessages() {
  if (QuitReceived) return;
  // A quit message met here belongs to the caller's loop: it is posted again
  // when the run returns, and messages are no longer taken meanwhile.
  if (!PlatformTools().ProcessPendingMessages()) QuitReceived = true;
}

void TExecuteProgramHelper::PlainRun() {
  StartupInfo.cb = sizeof(StartupInfo);
  StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  StartupInfo.wShowWindow = ShowValue(Options.ShowMode);
  if (!CreateChild(false)) return;
  TRunScope run(*this);
  NotifyStarted();
  if (Options.WaitMode == wmWaitForInputIdle) {
    WaitForIdle();
  } else {
    WaitForEnd();
  }
}

void TExecuteProgramHelper::CapturedRun() {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  UniqueKernelHandle outputRead, outputWrite, errorWrite, inputRead, inputWrite;
  {
    std::lock_guard<std::mutex> lock(InheritLock);
    if (!::CreatePipe(outputRead.put(), outputWrite.put(), &inheritable, 0)) {
      ExitCode = static_cast<std::int32_t>(::GetLastError());
      FailStart(static_cast<DWORD>(ExitCode));
      return;
    }
    ::SetHandleInformation(outputRead.get(), HANDLE_FLAG_INHERIT, 0);
    // Standard error goes into the output pipe through a handle of its own.
    HANDLE process = ::GetCurrentProcess();
    if (!::DuplicateHandle(process, outputWrite.get(), process, errorWrite.put(), 0, TRUE, DUPLICATE_SAME_ACCESS))
      errorWrite.reset();
    if (!::CreatePipe(inputRead.put(), inputWrite.put(), &inheritable, 0)) {
      ExitCode = static_cast<std::int32_t>(::GetLastError());
      FailStart(static_cast<DWORD>(ExitCode));
      return;
    }
    ::SetHandleInformation(inputWrite.get(), HANDLE_FLAG_INHERIT, 0);

    StartupInfo.cb = sizeof(StartupInfo);
    StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    StartupInfo.wShowWindow = SW_HIDE;
    StartupInfo.hStdInput = inputRead.get();
    StartupInfo.hStdOutput = outputWrite.get();
    StartupInfo.hStdError =
        Options.WithoutErrorOutput ? nullptr : (errorWrite ? errorWrite.get() : outputWrite.get());
    if (!CreateChild(true)) return;
    // The child holds its ends now; ours would keep the pipes open after it ended.
    outputWrite.reset();
    inputRead.reset();
    errorWrite.reset();
  }
  TRunScope run(*this);

  if (!WaitForIdle()) {
    Started = false;
    StartError = ::GetLastError();
    SignalStart();
  } else {
    NotifyStarted();
    ReadOutput(outputRead.get());
  }
  outputRead.reset();
  inputWrite.reset();
  WaitForEnd();
}

// Reads what the child writes until its end of the pipe is closed or the
// child has ended and everything it wrote was read. After a
// cancellation the reading goes on without pauses for a bounded time, so
// that what the child still writes is kept.
void TExecuteProgramHelper::ReadOutput(HANDLE pipe) {
  char buffer[ReadChunk];
  bool cancelSeen = false;
  std::uint64_t cancelStart = 0;
  for (;;) {
    // Looked at before the pipe, so that all the child wrote is in it: a
    // program the child handed its output to may keep the pipe open long
    // after the child ended.
    const bool childEnded = ::WaitForSingleObject(ProcessInfo.hProcess, 0) == WAIT_OBJECT_0;
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;
    if (available == 0 && childEnded) return;
    bool morePending = false;
    if (available > 0) {
      DWORD read = 0;
      if (!::ReadFile(pipe, buffer, std::min<DWORD>(available, ReadChunk), &read, nullptr) || read == 0) return;
      Options.Output->WriteOutput(buffer, static_cast<std::int32_t>(read));
      morePending = read < available;
    }
    if (Cancelled()) {
      const std::uint64_t now = PlatformTools().GetTickCount();
      if (!cancelSeen) {
        cancelSeen = true;
        cancelStart = now;
      } else if (now - cancelStart >= CancelledReadingMs) {
        return;
      }
      if (!morePending) ::Sleep(1);
      continue;
    }
    if (Options.ProcessMessages) ProcessMessages();
    if (!morePending) ::Sleep(Options.PollInterval);
  }
}

// False when the run was cancelled before the program was ready; a time-out
// just ends the wait.
bool TExecuteProgramHelper::WaitForIdle() {
  const std::uint64_t start = PlatformTools().GetTickCount();
  do {
    if (PlatformTools().GetTickCount() - start >= Options.IdleTimeout) return true;
    if (Cancelled()) {
      ::SetLastError(ERROR_CANCELLED);
      return false;
    }
  } while (::WaitForInputIdle(ProcessInfo.hProcess, 100) == WAIT_TIMEOUT);
  return true;
}

// Waits for the end, closing the program when the on-wait check or the
// terminate object asks; false when the run was cancelled. With message
// processing the wait wakes for every message, so that the caller's
// windows keep answering.
bool TExecuteProgramHelper::WaitForEnd() {
  bool cancelled = false;
  HANDLE process = ProcessInfo.hProcess;
  for (;;) {
    const bool pumping = Options.ProcessMessages && !QuitReceived;
    const DWORD result = pumping
                             ? ::MsgWaitForMultipleObjects(1, &process, FALSE, Options.PollInterval, QS_ALLINPUT)
                             : ::WaitForSingleObject(process, Options.PollInterval);
    if (result == WAIT_OBJECT_0) break;
    if (result != WAIT_TIMEOUT && !(pumping && result == WAIT_OBJECT_0 + 1)) break;
    if (Options.OnWait && !Options.OnWait()) {
      CloseProcessById(ProcessInfo.dwProcessId, CloseTimeoutMs, true);
    } else if (pumping) {
      ProcessMessages();
    }
    if (Cancelled()) {
      CloseProcessById(ProcessInfo.dwProcessId, CloseTimeoutMs, true);
      cancelled = true;
    }
  }
  DWORD code = 0;
  if (::GetExitCodeProcess(process, &code)) ExitCode = static_cast<std::int32_t>(code);
  Ended = true;
  return !cancelled;
}

struct TPostSearch {
  const std::wstring* TitlePrefix;
  const std::wstring* ClassName;
  bool SameExecutable;
  const TProgramWindowFilter* Filter;
  std::wstring OwnName;
  HWND Found = nullptr;
};

bool WindowMatches(HWND window, const TPostSearch& search) {
  if (*search.Filter) return (*search.Filter)(window);
  wchar_t className[257] = {};
  ::GetClassNameW(window, className, 257);
  if (*search.ClassName != className) return false;
  const int length = ::GetWindowTextLengthW(window);
  std::wstring title(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  title.resize(static_cast<std::size_t>(::GetWindowTextW(window, title.data(), length + 1)));
  if (title.compare(0, search.TitlePrefix->size(), *search.TitlePrefix) != 0) return false;
  if (!search.SameExecutable) return true;
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  return UpperCaseText(ExtractFileName(GetProcessFileName(processId))) == search.OwnName;
}

BOOL CALLBACK FindPostWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<TPostSearch*>(parameter);
  if (!WindowMatches(window, *search)) return TRUE;
  search->Found = window;
  return FALSE;
}

struct TCloseSearch {
  DWORD ProcessId;
};

BOOL CALLBACK PostCloseMessages(HWND window, LPARAM parameter) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == reinterpret_cast<TCloseSearch*>(parameter)->ProcessId) {
    ::PostMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

struct TProviderInstance {
  std::mutex Guard;
  RefPtr<IExecuteProgramProvider> Provider;
};

TProviderInstance& Instance() {
  static TProviderInstance* instance = new TProviderInstance;  // never destroyed
  return *instance;
}
}  // namespace

bool RunProgram(TExecuteOptions options) {
  RefPtr<IExecuteProgramHelper> helper(new TExecuteProgramHelper(std::move(options)));
  return helper->StartRun();
}

std::wstring GetProcessFileName(std::uint32_t processId) {
  std::wstring name;
  if (UniqueKernelHandle process(::OpenProcess(MAXIMUM_ALLOWED, FALSE, processId)); process) {
    std::wstring buffer(32768, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    if (QueryFullProcessImageNameEntry && QueryFullProcessImageNameEntry(process.get(), 0, buffer.data(), &size)) {
      name.assign(buffer.data(), size);
    } else if (GetModuleFileNameExEntry) {
      const DWORD length = GetModuleFileNameExEntry(process.get(), nullptr, buffer.data(), size);
      name.assign(buffer.data(), length);
    }
  }
  if (name.empty()) {
    UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    MODULEENTRY32W module{};
    module.dwSize = sizeof(module);
    if (snapshot) {
      for (BOOL more = ::Module32FirstW(snapshot.get(), &module); more;
           more = ::Module32NextW(snapshot.get(), &module)) {
        if (UpperCaseText(ExtractFileExt(module.szExePath)) == L".EXE") {
          name = module.szExePath;
          break;
        }
      }
    }
  }
  if (name.empty()) {
    ForEachProcess([&](const PROCESSENTRY32W& entry) {
      if (entry.th32ProcessID != processId) return true;
      name = entry.szExeFile;
      return false;
    });
  }
  return name;
}

std::uint32_t GetParentProcessId(std::uint32_t processId) {
  std::uint32_t parent = 0;
  bool listed = false;
  ForEachProcess([&](const PROCESSENTRY32W& entry) {
    if (entry.th32ProcessID != processId) return true;
    parent = entry.th32ParentProcessID;
    listed = true;
    return false;
  });
  if (listed || !NtQueryInformationProcessEntry) return parent;
  UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return 0;
  struct {
    LONG_PTR ExitStatus;
    PVOID PebBaseAddress;
    ULONG_PTR AffinityMask;
    LONG_PTR BasePriority;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR InheritedFromUniqueProcessId;
  } information{};
  constexpr int ProcessBasicInformation = 0;
  if (NtQueryInformationProcessEntry(process.get(), ProcessBasicInformation, &information, sizeof(information),
                                     nullptr) != 0)
    return 0;
  return static_cast<std::uint32_t>(information.InheritedFromUniqueProcessId);
}

bool IsProcessRunning(std::uint32_t processId) {
  UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
  if (process) {
    DWORD code = 0;
    return !::GetExitCodeProcess(process.get(), &code) || code == STILL_ACTIVE;
  }
  if (::GetLastError() == ERROR_INVALID_PARAMETER) return !GetProcessFileName(processId).empty();
  return true;
}

bool KillProcess(std::uint32_t processId) {
  UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId));
  return process && ::TerminateProcess(process.get(), 0);
}

namespace {
bool SendConsoleSignalTo(std::uint32_t processId, wchar_t character, bool ctrlBreak) {
  if (!AttachConsoleEntry) return false;
  std::lock_guard<std::mutex> lock(ConsoleLock);
  // A process that has a console of its own cannot attach to another one;
  // it then sends nothing and keeps its own console.
  if (!AttachConsoleEntry(processId)) return false;
  bool written = false;
  if (ctrlBreak) ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, processId);
  if (character) {
    UniqueKernelHandle input(::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = TRUE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.uChar.UnicodeChar = character;
    DWORD count = 0;
    written = input && ::WriteConsoleInputW(input.get(), &record, 1, &count) && count == 1;
  }
  ::FreeConsole();
  return written;
}

std::int32_t CloseProcessById(std::uint32_t processId, std::uint32_t timeoutMs, bool closeChildren) {
  if (closeChildren && IsCommandInterpreter(GetProcessFileName(processId))) {
    std::vector<DWORD> children;
    ForEachProcess([&](const PROCESSENTRY32W& entry) {
      if (entry.th32ParentProcessID == processId && entry.th32ProcessID != processId)
        children.push_back(entry.th32ProcessID);
      return true;
    });
    for (DWORD child : children) CloseProcessById(child, CloseTimeoutMs, false);
  }
  UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId));
  if (!process) return cpFailed;
  SendConsoleSignalTo(processId, L'\0', true);
  TCloseSearch search{processId};
  ::EnumWindows(PostCloseMessages, reinterpret_cast<LPARAM>(&search));
  if (::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0) return cpEnded;
  return ::TerminateProcess(process.get(), 0) ? cpTerminated : cpFailed;
}
}  // namespace

bool TExecuteProgramProvider::SendConsoleSignal(std::uint32_t processId, wchar_t character, bool ctrlBreak) {
  return SendConsoleSignalTo(processId, character, ctrlBreak);
}

bool TExecuteProgramProvider::ExecuteProgram(const std::wstring& commandLine, std::uint8_t showMode,
                                             bool processMessages, std::uint8_t waitMode, std::uint32_t pollInterval,
                                             std::uint8_t priorityIndex, RefPtr<ITerminateObject> terminate,
                                             RefPtr<IExitCode> exitCode, TExecuteStartedNotify onStarted,
                                             std::uint32_t idleTimeout, TExecuteWaitCheck onWait) {
  TExecuteOptions options;
  options.CommandLine = commandLine;
  options.ShowMode = showMode;
  options.ProcessMessages = processMessages;
  options.WaitMode = waitMode;
  options.PollInterval = pollInterval;
  options.PriorityIndex = priorityIndex;
  options.Terminate = std::move(terminate);
  options.ExitCode = std::move(exitCode);
  options.OnStarted = std::move(onStarted);
  options.IdleTimeout = idleTimeout;
  options.OnWait = std::move(onWait);
  return RunProgram(std::move(options));
}

namespace {
// A hidden run whose output, when an output object is given, is captured.
TExecuteOptions CapturedOptions(const std::wstring& commandLine, RefPtr<IExecuteOutputStream> output,
                                std::uint8_t waitMode, std::uint32_t pollInterval, std::uint8_t priorityIndex,
                                bool processMessages, RefPtr<ITerminateObject> terminate, RefPtr<IExitCode> exitCode,
                                TExecuteStartedNotify onStarted, std::uint32_t idleTimeout, bool withoutErrorOutput) {
  TExecuteOptions options;
  options.CommandLine = commandLine;
  options.ShowMode = smHide;
  options.ProcessMessages = processMessages;
  options.WaitMode = waitMode;
  options.PollInterval = pollInterval;
  options.PriorityIndex = priorityIndex;
  options.Terminate = std::move(terminate);
  options.ExitCode = std::move(exitCode);
  options.OnStarted = std::move(onStarted);
  options.IdleTimeout = idleTimeout;
  options.Output = std::move(output);
  options.WithoutErrorOutput = withoutErrorOutput;
  return options;
}
}  // namespace

bool TExecuteProgramProvider::ExecuteCaptured(const std::wstring& commandLine, RefPtr<IExecuteOutputStream> output,
                                              std::uint8_t waitMode, RefPtr<ITerminateObject> terminate,
                                              RefPtr<IExitCode> exitCode, TExecuteStartedNotify onStarted,
                                              bool withoutErrorOutput) {
  return RunProgram(CapturedOptions(commandLine, std::move(output), waitMode, 100, piNormal, false,
                                    std::move(terminate), std::move(exitCode), std::move(onStarted), 30000,
                                    withoutErrorOutput));
}

bool TExecuteProgramProvider::ExecuteCapturedEx(const std::wstring& commandLine, RefPtr<IExecuteOutputStream> output,
                                                std::uint8_t waitMode, std::uint32_t pollInterval,
                                                std::uint8_t priorityIndex, RefPtr<ITerminateObject> terminate,
                                                RefPtr<IExitCode> exitCode, TExecuteStartedNotify onStarted,
                                                std::uint32_t idleTimeout, bool withoutErrorOutput) {
  return RunProgram(CapturedOptions(commandLine, std::move(output), waitMode, pollInterval, priorityIndex,
                                    PlatformTools().IsMainThread(), std::move(terminate), std::move(exitCode),
                                    std::move(onStarted), idleTimeout, withoutErrorOutput));
}

bool TExecuteProgramProvider::StartProgram(const std::wstring& commandLine, bool waitForInputIdle,
                                           std::uint32_t& processId) {
  if (commandLine.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!LeaveRemovableCurrentDirectory()) return false;
  std::vector<wchar_t> buffer = WritableCommandLine(commandLine, StartProgramBufferLength);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION information{};
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS | ConsoleFlags,
                        nullptr, nullptr, &startup, &information))
    return false;
  ::CloseHandle(information.hThread);
  if (waitForInputIdle) ::WaitForInputIdle(information.hProcess, 30000);
  processId = information.dwProcessId;
  ::CloseHandle(information.hProcess);
  return true;
}

std::wstring TExecuteProgramProvider::GetParentProcessFileName() {
  std::uint32_t processId = 0;
  std::wstring fileName;
  return GetParentProcess(processId, fileName) ? ExtractFileName(fileName) : std::wstring();
}

bool TExecuteProgramProvider::GetParentProcess(std::uint32_t& processId, std::wstring& fileName) {
  const std::uint32_t parent = GetParentProcessId(::GetCurrentProcessId());
  if (parent == 0) {
    ::SetLastError(ERROR_NOT_FOUND);
    return false;
  }
  processId = parent;
  fileName = GetProcessFileName(parent);
  return true;
}

bool TExecuteProgramProvider::PostToProgramWindow(const std::wstring& titlePrefix, const std::wstring& className,
                                                  std::uint32_t message, bool sameExecutable,
                                                  TProgramWindowFilter filter) {
  TPostSearch search{&titlePrefix, &className, sameExecutable, &filter, UpperCaseText(ExtractFileName(ProgramPath()))};
  ::EnumWindows(FindPostWindow, reinterpret_cast<LPARAM>(&search));
  if (!search.Found) return false;
  // Lets the other program take the foreground when it reacts.
  ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
  if (message == 0) {
    ::PostMessageW(search.Found, WM_USER + 100, 0x1234, 0x8765);
  } else {
    ::PostMessageW(search.Found, message, 0, 0);
  }
  return true;
}

std::int32_t TExecuteProgramProvider::CloseProcess(std::uint32_t processId, std::uint32_t timeoutMs,
                                                   bool closeChildren) {
  return CloseProcessById(processId, timeoutMs, closeChildren);
}

void TExecuteProgramProvider::TerminateOrphanedPrograms(const std::vector<std::wstring>& prefixes) {
  for (const TProcessEntry& entry : ProcessesUnder(prefixes)) {
    if (!IsProcessRunning(entry.ParentId)) {
      KillProcess(entry.ProcessId);
      continue;
    }
    if (!IsCommandInterpreter(GetProcessFileName(entry.ParentId))) continue;
    if (!IsProcessRunning(GetParentProcessId(entry.ParentId))) {
      KillProcess(entry.ParentId);
      KillProcess(entry.ProcessId);
    }
  }
}

void TExecuteProgramProvider::CloseProgramsUnder(const std::vector<std::wstring>& prefixes, TProcessFilter filter) {
  for (const TProcessEntry& entry : ProcessesUnder(prefixes)) {
    if (!filter || filter(entry.ProcessId)) CloseProcessById(entry.ProcessId, 100, false);
  }
}

IExecuteProgramProvider& ExecuteProgramProvider() {
  TProviderInstance& instance = Instance();
  std::lock_guard<std::mutex> lock(instance.Guard);
  if (!instance.Provider) instance.Provider = RefPtr<IExecuteProgramProvider>(new TExecuteProgramProvider);
  return *instance.Provider;
}

RefPtr<IExecuteProgramProvider> SetExecuteProgramProvider(RefPtr<IExecuteProgramProvider> provider) {
  TProviderInstance& instance = Instance();
  std::lock_guard<std::mutex> lock(instance.Guard);
  RefPtr<IExecuteProgramProvider> previous = instance.Provider;
  instance.Provider = std::move(provider);
  return previous;
}
