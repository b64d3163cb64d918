#pragma once
// Running other programs: one run with or without captured output, waited
// for in one of three ways and cancellable through a terminate object, and
// the process utilities around it (closing a process politely, then by
// force; finding the parent; posting to another program's window; clearing
// out programs that run from a folder). Platform-neutral: no <windows.h>.
//
// Contract: no operation throws; a failure returns false (or 0, empty) and
// leaves the reason in the thread's last error.

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/PlatformIntfTypes.h"
#include "platform/RefCounted.h"
#include "platform/SyncIntfTypes.h"

// The exit code of a run: -1 until a started program ended.
class IExitCode : public IInterface {
public:
  // No effect here; for implementations that track runs.
  virtual void Reserved() = 0;
  // Told the command line when a run ends; no effect here.
  virtual void SetCommandLine(const std::wstring& commandLine) = 0;
  virtual std::int32_t GetExitCode() = 0;
  virtual void SetExitCode(std::int32_t code) = 0;
};

// Receives a child's standard output (and error) as it arrives; safe to
// read from another thread while the run writes.
class IExecuteOutputStream : public IInterface {
public:
  // The bytes so far, as received (decoding is the reader's business);
  // empty unless the wrapped stream is a memory stream.
  virtual std::string GetOutputText() = 0;
  // Returns the bytes written.
  virtual std::int32_t WriteOutput(const void* buffer, std::int32_t count) = 0;
};

// The handles and id of a started process, with a tag for the caller.
class IExecuteProcessInformation : public IInterface {
public:
  virtual std::intptr_t GetTag() = 0;
  virtual void SetTag(std::intptr_t tag) = 0;
  virtual Handle GetProcessHandle() = 0;
  virtual std::uint32_t GetProcessId() = 0;
};

// The entry of a terminate object's process list for one running process.
class TExecuteProgramInfo {
public:
  explicit TExecuteProgramInfo(RefPtr<IExecuteProcessInformation> information)
      : Information(std::move(information)) {}
  RefPtr<IExecuteProcessInformation> Information;
};

// Called with the new process once it runs (only for runs with a terminate object).
using TExecuteStartedNotify = std::function<void(IExecuteProcessInformation& process)>;
// Asked on every waiting round; false closes the program.
using TExecuteWaitCheck = std::function<bool()>;
// Decides for one top-level window whether PostToProgramWindow posts to it.
using TProgramWindowFilter = std::function<bool(WindowHandle window)>;
// Decides for one process id whether CloseProgramsUnder closes it.
using TProcessFilter = std::function<bool(std::uint32_t processId)>;

// Show-window table: SW_SHOWNORMAL, SW_HIDE, SW_SHOWMINNOACTIVE, SW_SHOWNOACTIVATE.
enum : std::uint8_t { smShowNormal = 0, smHide = 1, smShowMinNoActive = 2, smShowNoActivate = 3 };
// Wait modes: until the end; until ready for input; return once started and
// wait for the end on a background thread.
enum : std::uint8_t { wmWaitForEnd = 0, wmWaitForInputIdle = 1, wmBackground = 2 };
// Priority table: high, above normal, normal, below normal, idle.
enum : std::uint8_t { piHigh = 0, piAboveNormal = 1, piNormal = 2, piBelowNormal = 3, piIdle = 4 };

// Everything one run is told.
struct TExecuteOptions {
  std::wstring CommandLine;  // executable first
  std::uint8_t ShowMode = smShowNormal;
  bool ProcessMessages = false;  // keep the calling thread's messages flowing while waiting
  std::uint8_t WaitMode = wmWaitForEnd;
  std::uint32_t PollInterval = 100;
  std::uint8_t PriorityIndex = piNormal;
  RefPtr<ITerminateObject> Terminate;
  RefPtr<IExitCode> ExitCode;
  TExecuteStartedNotify OnStarted;
  std::uint32_t IdleTimeout = 30000;
  TExecuteWaitCheck OnWait;
  RefPtr<IExecuteOutputStream> Output;  // captures standard output when set
  bool WithoutErrorOutput = false;      // with capture: no standard-error handle
};

// One run: StartRun is the entry; PerformRun the part a background thread does.
class IExecuteProgramHelper : public IInterface {
public:
  virtual void PerformRun() = 0;
  virtual bool StartRun() = 0;
};

// Results of CloseProcess.
enum : std::int32_t { cpFailed = 0, cpEnded = 1, cpTerminated = 2 };

class IExecuteProgramProvider : public IInterface {
public:
  // Attaches to the process's console and sends Ctrl+Break and/or one key
  // press; the result is that of the key press (false without a character).
  virtual bool SendConsoleSignal(std::uint32_t processId, wchar_t character, bool ctrlBreak) = 0;
  // One run without capture; true when the process was started.
  virtual bool ExecuteProgram(const std::wstring& commandLine, std::uint8_t showMode, bool processMessages,
                              std::uint8_t waitMode, std::uint32_t pollInterval, std::uint8_t priorityIndex,
                              RefPtr<ITerminateObject> terminate, RefPtr<IExitCode> exitCode,
                              TExecuteStartedNotify onStarted, std::uint32_t idleTimeout,
                              TExecuteWaitCheck onWait) = 0;
  // One hidden run with the output captured when output is given; polls
  // every 100 ms, normal priority, no message processing.
  virtual bool ExecuteCaptured(const std::wstring& commandLine, RefPtr<IExecuteOutputStream> output,
                               std::uint8_t waitMode, RefPtr<ITerminateObject> terminate, RefPtr<IExitCode> exitCode,
                               TExecuteStartedNotify onStarted, bool withoutErrorOutput) = 0;
  // The same with the given timing and priority; processes messages exactly
  // when called on the main thread.
  virtual bool ExecuteCapturedEx(const std::wstring& commandLine, RefPtr<IExecuteOutputStream> output,
                                 std::uint8_t waitMode, std::uint32_t pollInterval, std::uint8_t priorityIndex,
                                 RefPtr<ITerminateObject> terminate, RefPtr<IExitCode> exitCode,
                                 TExecuteStartedNotify onStarted, std::uint32_t idleTimeout,
                                 bool withoutErrorOutput) = 0;
  // Starts the program in a new console and process group and forgets it.
  virtual bool StartProgram(const std::wstring& commandLine, bool waitForInputIdle, std::uint32_t& processId) = 0;
  // The file name (without folder) of this process's parent; empty on failure.
  virtual std::wstring GetParentProcessFileName() = 0;
  // The parent of this process and its image file name.
  virtual bool GetParentProcess(std::uint32_t& processId, std::wstring& fileName) = 0;
  // Posts message (0: WM_USER + 100 with 0x1234, 0x8765) to the first
  // top-level window that the filter, or else class, title prefix and
  // (optionally) this program's executable name, select. False when none.
  virtual bool PostToProgramWindow(const std::wstring& titlePrefix, const std::wstring& className,
                                   std::uint32_t message, bool sameExecutable, TProgramWindowFilter filter) = 0;
  // Ctrl+Break and close messages, then force after timeoutMs: cpEnded,
  // cpTerminated or cpFailed. With closeChildren, a "cmd.exe" first has
  // its own children closed.
  virtual std::int32_t CloseProcess(std::uint32_t processId, std::uint32_t timeoutMs, bool closeChildren) = 0;
  // Kills programs running from below one of the folders whose parent (or
  // whose "cmd.exe" parent's parent) no longer runs.
  virtual void TerminateOrphanedPrograms(const std::vector<std::wstring>& prefixes) = 0;
  // Closes every program running from below one of the folders that the
  // filter (if any) accepts.
  virtual void CloseProgramsUnder(const std::vector<std::wstring>& prefixes, TProcessFilter filter) = 0;
};

RefPtr<IExitCode> CreateExitCode(std::int32_t initialValue);
// Wraps a stream, which the wrapper frees.
RefPtr<IExecuteOutputStream> CreateOutputStream(std::unique_ptr<std::ostream> stream);
RefPtr<IExecuteOutputStream> CreateMemoryOutputStream();

// The process-wide provider, made on first use.
IExecuteProgramProvider& ExecuteProgramProvider();
// Replaces the process-wide provider (test seams); returns the previous one.
RefPtr<IExecuteProgramProvider> SetExecuteProgramProvider(RefPtr<IExecuteProgramProvider> provider);
