#pragma once
// The Windows implementation of program execution and the process
// identification routines it is built on.

#include <cstdint>
#include <string>

#include "platform/ExecIntfTypes.h"

class TExecuteProgramProvider : public TRefCountedObject<IExecuteProgramProvider> {
public:
  bool SendConsoleSignal(std::uint32_t processId, wchar_t character, bool ctrlBreak) override;
  bool ExecuteProgram(const std::wstring& commandLine, std::uint8_t showMode, bool processMessages,
                      std::uint8_t waitMode, std::uint32_t pollInterval, std::uint8_t priorityIndex,
                      RefPtr<ITerminateObject> terminate, RefPtr<IExitCode> exitCode, TExecuteStartedNotify onStarted,
                      std::uint32_t idleTimeout, TExecuteWaitCheck onWait) override;
  bool ExecuteCaptured(const std::wstring& commandLine, RefPtr<IExecuteOutputStream> output, std::uint8_t waitMode,
                       RefPtr<ITerminateObject> terminate, RefPtr<IExitCode> exitCode, TExecuteStartedNotify onStarted,
                       bool withoutErrorOutput) override;
  bool ExecuteCapturedEx(const std::wstring& commandLine, RefPtr<IExecuteOutputStream> output, std::uint8_t waitMode,
                         std::uint32_t pollInterval, std::uint8_t priorityIndex, RefPtr<ITerminateObject> terminate,
                         RefPtr<IExitCode> exitCode, TExecuteStartedNotify onStarted, std::uint32_t idleTimeout,
                         bool withoutErrorOutput) override;
  bool StartProgram(const std::wstring& commandLine, bool waitForInputIdle, std::uint32_t& processId) override;
  std::wstring GetParentProcessFileName() override;
  bool GetParentProcess(std::uint32_t& processId, std::wstring& fileName) override;
  bool PostToProgramWindow(const std::wstring& titlePrefix, const std::wstring& className, std::uint32_t message,
                           bool sameExecutable, TProgramWindowFilter filter) override;
  std::int32_t CloseProcess(std::uint32_t processId, std::uint32_t timeoutMs, bool closeChildren) override;
  void TerminateOrphanedPrograms(const std::vector<std::wstring>& prefixes) override;
  void CloseProgramsUnder(const std::vector<std::wstring>& prefixes, TProcessFilter filter) override;
};

// One run with the given options on a new helper (what every execute
// operation does): true when the process started.
bool RunProgram(TExecuteOptions options);

// The full image path of a process, or its file name alone when only a
// process snapshot knows it; empty when the process is unknown.
std::wstring GetProcessFileName(std::uint32_t processId);
// The id of the process's parent, 0 when unknown.
std::uint32_t GetParentProcessId(std::uint32_t processId);
// False only when the process is known to have ended (or never existed).
bool IsProcessRunning(std::uint32_t processId);
// Ends the process at once with exit code 0.
bool KillProcess(std::uint32_t processId);
