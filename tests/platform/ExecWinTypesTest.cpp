#include "platform/ExecWinTypes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "support/TestSupport.h"
#include "support/WindowWatcher.h"

namespace fs = std::filesystem;

namespace {
std::wstring ChildPath() { return (testsupport::ExecutableDir() / L"ExecTestChild.exe").wstring(); }

std::wstring Child(const std::wstring& arguments, const std::wstring& program = ChildPath()) {
  return L"\"" + program + L"\" " + arguments;
}

std::string Pattern(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

std::uint64_t Now() { return PlatformTools().GetTickCount(); }

// Records every piece the runner delivers, as it arrives.
class TRecordingOutput : public TRefCountedObject<IExecuteOutputStream> {
public:
  std::string GetOutputText() override {
    std::lock_guard<std::mutex> lock(Lock);
    return Bytes;
  }
  std::int32_t WriteOutput(const void* buffer, std::int32_t count) override {
    std::lock_guard<std::mutex> lock(Lock);
    Bytes.append(static_cast<const char*>(buffer), static_cast<std::size_t>(count));
    Pieces.push_back(count);
    return count;
  }
  std::vector<std::int32_t> PieceSizes() {
    std::lock_guard<std::mutex> lock(Lock);
    return Pieces;
  }

private:
  std::mutex Lock;
  std::string Bytes;
  std::vector<std::int32_t> Pieces;
};

bool WaitUntil(const std::function<bool()>& condition, std::uint32_t milliseconds) {
  const std::uint64_t end = Now() + milliseconds;
  while (!condition()) {
    if (Now() >= end) return false;
    ::Sleep(50);
  }
  return true;
}

// Kills a process started outside ChildProcess when the test ends.
struct TKillAtEnd {
  std::uint32_t ProcessId = 0;
  ~TKillAtEnd() {
    if (ProcessId) KillProcess(ProcessId);
  }
};

TEST(ExecuteProgram, EmptyCommandLineStartsNothing) {
  RefPtr<IExitCode> exitCode = CreateExitCode(42);
  ::SetLastError(0);
  EXPECT_FALSE(ExecuteProgramProvider().ExecuteProgram(L"", smHide, false, wmWaitForEnd, 100, piNormal, {}, exitCode,
                                                       {}, 1000, {}));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(exitCode->GetExitCode(), 42);
}

TEST(ExecuteProgram, CapturedRunDeliversEveryByteInBoundedPiecesAndTheExitCode) {
  RefPtr<TRecordingOutput> output(new TRecordingOutput);
  RefPtr<IExitCode> exitCode = CreateExitCode(0);
  RefPtr<ITerminateObject> terminate = SyncObjectsProvider().CreateTerminateObject({});
  std::uint32_t startedId = 0;
  EXPECT_TRUE(ExecuteProgramProvider().ExecuteCaptured(
      Child(L"write 5000 exit 3"), output, wmWaitForEnd, terminate, exitCode,
      [&](IExecuteProcessInformation& process) {
        startedId = process.GetProcessId();
        EXPECT_EQ(terminate->GetProcessList().LockList().Count(), 1);
        terminate->GetProcessList().UnlockList();
      },
      false));
  const std::string text = output->GetOutputText();
  EXPECT_EQ(text.size(), 5000u);
  EXPECT_TRUE(text == Pattern(5000)) << "the bytes arrive unchanged and in order";
  const std::vector<std::int32_t> pieces = output->PieceSizes();
  EXPECT_GE(pieces.size(), 5u);
  EXPECT_LE(*std::max_element(pieces.begin(), pieces.end()), 1024);
  EXPECT_EQ(exitCode->GetExitCode(), 3);
  EXPECT_NE(startedId, 0u);
  EXPECT_EQ(terminate->GetProcessList().LockList().Count(), 0) << "the entry leaves the list with the run";
  terminate->GetProcessList().UnlockList();
  // A program that fails stops whatever else watches the same object.
  EXPECT_TRUE(terminate->CheckTerminated());
}

TEST(ExecuteProgram, MemoryStreamKeepsTheOutputAndErrorOutputIsOptional) {
  struct TCase {
    bool WithoutErrorOutput;
    std::string Expected;
  };
  for (const TCase& c : {TCase{false, "ERR" + Pattern(10)}, TCase{true, Pattern(10)}}) {
    RefPtr<IExecuteOutputStream> output = CreateMemoryOutputStream();
    RefPtr<IExitCode> exitCode = CreateExitCode(-5);
    EXPECT_TRUE(ExecuteProgramProvider().ExecuteCaptured(Child(L"writeerr ERR write 10"), output, wmWaitForEnd, {},
                                                         exitCode, {}, c.WithoutErrorOutput));
    EXPECT_EQ(output->GetOutputText(), c.Expected) << "without error output: " << c.WithoutErrorOutput;
    EXPECT_EQ(exitCode->GetExitCode(), 0);
  }
}

TEST(ExecuteProgram, MissingProgramIsAFailedStartWithExitCodeMinusOne) {
  const std::wstring missing = L"\"" + testsupport::ExecutableDir().wstring() + L"\\no-such-regsvr32.exe\" /s x.dll";
  for (bool captured : {true, false}) {
    RefPtr<IExitCode> exitCode = CreateExitCode(0);
    RefPtr<ITerminateObject> terminate = SyncObjectsProvider().CreateTerminateObject({});
    bool started = false;
    if (captured) {
      started = ExecuteProgramProvider().ExecuteCaptured(missing, CreateMemoryOutputStream(), wmWaitForEnd, terminate,
                                                         exitCode, {}, false);
    } else {
      started = ExecuteProgramProvider().ExecuteProgram(missing, smHide, false, wmWaitForEnd, 100, piNormal, terminate,
                                                        exitCode, {}, 1000, {});
    }
    const DWORD error = ::GetLastError();
    EXPECT_FALSE(started) << "captured: " << captured;
    EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) << error;
    EXPECT_EQ(exitCode->GetExitCode(), -1);
    EXPECT_TRUE(terminate->CheckTerminated());
    // The failure can be raised with the program's name.
    ::SetLastError(error);
    EXPECT_THROW(CheckOSResult(started, L"no-such-regsvr32.exe"), EOSError);
  }
}

TEST(ExecuteProgram, BackgroundRunWithoutTerminateObjectReturnsAtTheEnd) {
  RefPtr<IExitCode> exitCode = CreateExitCode(0);
  EXPECT_TRUE(ExecuteProgramProvider().ExecuteProgram(Child(L"sleep 1000 exit 5"), smHide, false, wmBackground, 50,
                                                      piNormal, {}, exitCode, {}, 1000, {}));
  // Without a started notice the caller is released only when the run ended.
  EXPECT_EQ(exitCode->GetExitCode(), 5);
}

TEST(ExecuteProgram, BackgroundRunWithTerminateObjectReturnsOnceStarted) {
  RefPtr<IExitCode> exitCode = CreateExitCode(0);
  RefPtr<ITerminateObject> terminate = SyncObjectsProvider().CreateTerminateObject({});
  std::atomic<std::uint32_t> startedId{0};
  EXPECT_TRUE(ExecuteProgramProvider().ExecuteProgram(
      Child(L"sleep 1500 exit 6"), smHide, false, wmBackground, 50, piNormal, terminate, exitCode,
      [&](IExecuteProcessInformation& process) { startedId = process.GetProcessId(); }, 1000, {}));
  EXPECT_NE(startedId.load(), 0u);
  EXPECT_EQ(exitCode->GetExitCode(), 0) << "returned before the end";
  EXPECT_TRUE(WaitUntil([&] { return exitCode->GetExitCode() == 6; }, 30000));
}

TEST(ExecuteProgram, CancelledCapturedRunReadsOnForAtMostThreeSecondsThenEnds) {
  RefPtr<TRecordingOutput> output(new TRecordingOutput);
  RefPtr<ITerminateObject> terminate = SyncObjectsProvider().CreateTerminateObject({});
  std::atomic<std::uint32_t> childId{0};
  std::size_t sizeAtCancel = 0;
  std::uint64_t cancelTime = 0;
  std::thread canceller([&] {
    WaitUntil([&] { return output->GetOutputText().size() > 4096; }, 30000);
    sizeAtCancel = output->GetOutputText().size();
    cancelTime = Now();
    terminate->RequestTerminate();
  });
  // The child ignores Ctrl+Break and writes for two minutes unless its pipe breaks.
  EXPECT_TRUE(ExecuteProgramProvider().ExecuteCaptured(
      Child(L"stubborn flood"), output, wmWaitForEnd, terminate, CreateExitCode(0),
      [&](IExecuteProcessInformation& process) { childId = process.GetProcessId(); }, false));
  const std::uint64_t returned = Now();
  canceller.join();
  EXPECT_GT(output->GetOutputText().size(), sizeAtCancel) << "reading goes on after the cancellation";
  EXPECT_LT(returned - cancelTime, 20000u) << "the run ends soon after the cancellation";
  EXPECT_FALSE(IsProcessRunning(childId));
}

TEST(ExecuteProgram, CapturedRunEndsWithTheChildEvenWhenAnotherProgramKeepsItsOutputOpen) {
  // The child hands its output pipe to a program that lives on for 20 s.
  RefPtr<IExecuteOutputStream> output = CreateMemoryOutputStream();
  RefPtr<IExitCode> exitCode = CreateExitCode(0);
  const std::uint64_t start = Now();
  EXPECT_TRUE(ExecuteProgramProvider().ExecuteCaptured(Child(L"write 10 handoff sleep 20000"), output, wmWaitForEnd,
                                                       {}, exitCode, {}, false));
  const std::uint64_t elapsed = Now() - start;
  const std::string text = output->GetOutputText();
  TKillAtEnd heir{static_cast<std::uint32_t>(std::strtoul(text.substr(std::min<std::size_t>(10, text.size())).c_str(),
                                                          nullptr, 10))};
  EXPECT_LT(elapsed, 10000u) << "the run waited for the program that kept the pipe";
  EXPECT_EQ(text.substr(0, 10), Pattern(10));
  EXPECT_NE(heir.ProcessId, 0u) << "what the child wrote before it ended is kept: " << text;
  EXPECT_EQ(exitCode->GetExitCode(), 0);
}

TEST(ExecuteProgram, WaitWithMessageProcessingKeepsTheCallersWindowAnswering) {
  static std::atomic<int> handled{0};
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_APP) {
      ++handled;
      return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  };
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"TavrelExecWaitTest";
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);

  std::atomic<bool> done{false};
  std::atomic<int> posted{0};
  std::thread poster([&] {
    while (!done) {
      ::PostMessageW(window, WM_APP, 0, 0);
      ++posted;
      ::Sleep(100);
    }
  });
  handled = 0;
  // A poll interval as long as the whole run: the window must not wait for it.
  EXPECT_TRUE(ExecuteProgramProvider().ExecuteProgram(Child(L"sleep 2000"), smHide, true, wmWaitForEnd, 5000,
                                                      piNormal, {}, {}, {}, 1000, {}));
  const int handledDuringWait = handled.load();
  done = true;
  poster.join();
  ::DestroyWindow(window);
  EXPECT_GE(handledDuringWait, posted.load() / 2) << "posted " << posted.load();
  EXPECT_GT(handledDuringWait, 3);
}

TEST(CloseProcess, EndsPolitelyOrByForce) {
  const std::wstring title = L"TavrelCloseTest-" + std::to_wstring(::GetCurrentProcessId());
  struct TCase {
    std::wstring Arguments;
    std::int32_t Expected;
  };
  for (const TCase& c : {TCase{L"window " + title + L"-polite", cpEnded},
                         TCase{L"stubborn window " + title + L"-stubborn", cpTerminated}}) {
    testsupport::ChildProcess child;
    ASSERT_TRUE(child.Start(Child(c.Arguments)));
    testsupport::TWindowInfo found;
    const DWORD id = child.Id();
    ASSERT_TRUE(testsupport::WaitForWindow([&](const testsupport::TWindowInfo& w) { return w.ProcessId == id; },
                                           30000, found));
    const std::uint32_t timeout = c.Expected == cpEnded ? 10000 : 1000;
    EXPECT_EQ(ExecuteProgramProvider().CloseProcess(child.Id(), timeout, true), c.Expected) << child.Id();
    EXPECT_GE(child.Wait(10000), 0) << "the process is gone";
  }
  // An id that names no process.
  EXPECT_EQ(ExecuteProgramProvider().CloseProcess(0x7FFFFFF0u, 100, false), cpFailed);
}

TEST(ProgramWindows, PostToProgramWindowFindsTheWindowByClassAndTitle) {
  const std::wstring title = L"TavrelPostTest-" + std::to_wstring(::GetCurrentProcessId());
  std::uint32_t processId = 0;
  ASSERT_TRUE(ExecuteProgramProvider().StartProgram(Child(L"window " + title + L"-main"), true, processId));
  TKillAtEnd kill{processId};
  testsupport::TWindowInfo found;
  ASSERT_TRUE(testsupport::WaitForWindow([&](const testsupport::TWindowInfo& w) { return w.Caption == title + L"-main"; },
                                         30000, found));
  IExecuteProgramProvider& provider = ExecuteProgramProvider();
  EXPECT_FALSE(provider.PostToProgramWindow(title + L"-other", L"TavrelExecTestWindow", 0, false, {}));
  EXPECT_FALSE(provider.PostToProgramWindow(title, L"OtherClass", 0, false, {}));
  EXPECT_FALSE(provider.PostToProgramWindow(title, L"TavrelExecTestWindow", 0, true, {})) << "another executable";
  // The default message ends the helper with 77.
  EXPECT_TRUE(provider.PostToProgramWindow(title, L"TavrelExecTestWindow", 0, false, {}));
  UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  ASSERT_TRUE(process);
  ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 77u);
}

TEST(ProcessIdentification, ChildFindsItsParent) {
  RefPtr<IExecuteOutputStream> output = CreateMemoryOutputStream();
  ASSERT_TRUE(ExecuteProgramProvider().ExecuteCaptured(Child(L"parent"), output, wmWaitForEnd, {}, {}, {}, false));
  const std::wstring own = ExtractFileName(ProgramPath());
  const std::string parent = output->GetOutputText();
  EXPECT_EQ(UpperCaseText(std::wstring(parent.begin(), parent.end())), UpperCaseText(own));
  EXPECT_TRUE(IsProcessRunning(::GetCurrentProcessId()));
  EXPECT_EQ(UpperCaseText(GetProcessFileName(::GetCurrentProcessId())), UpperCaseText(ProgramPath()));
}

TEST(ProcessIdentification, OrphansBelowAFolderAreEndedAndProgramsWithParentsKept) {
  testsupport::TempDir dir("orphans");
  const fs::path copy = dir.path() / "ExecTestChild.exe";
  fs::copy_file(ChildPath(), copy);
  IExecuteProgramProvider& provider = ExecuteProgramProvider();

  // The spawner ends at once: the program it started is an orphan.
  RefPtr<IExecuteOutputStream> output = CreateMemoryOutputStream();
  ASSERT_TRUE(provider.ExecuteCaptured(Child(L"spawn sleep 60000", copy.wstring()), output, wmWaitForEnd, {}, {}, {},
                                       false));
  TKillAtEnd orphan{static_cast<std::uint32_t>(std::stoul(output->GetOutputText()))};
  ASSERT_TRUE(IsProcessRunning(orphan.ProcessId));
  // This one's parent is the test, which runs.
  testsupport::ChildProcess kept;
  ASSERT_TRUE(kept.Start(Child(L"sleep 60000", copy.wstring())));
  // A program elsewhere is not looked at.
  testsupport::ChildProcess elsewhere;
  ASSERT_TRUE(elsewhere.Start(Child(L"sleep 60000")));

  provider.TerminateOrphanedPrograms({dir.dir()});
  EXPECT_TRUE(WaitUntil([&] { return !IsProcessRunning(orphan.ProcessId); }, 10000));
  EXPECT_TRUE(kept.Running());

  std::vector<std::uint32_t> asked;
  provider.CloseProgramsUnder({UpperCaseText(dir.dir())}, [&](std::uint32_t id) {
    asked.push_back(id);
    return true;
  });
  EXPECT_EQ(asked, std::vector<std::uint32_t>{kept.Id()});
  EXPECT_GE(kept.Wait(10000), 0);
  EXPECT_TRUE(elsewhere.Running());
}
}  // namespace
