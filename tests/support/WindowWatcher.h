#pragma once
// Finding and closing the windows of processes under test (message boxes,
// the setup window), with every wait bounded. Windows tree only.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Win.h"

namespace testsupport {

struct TWindowInfo {
  HWND Window = nullptr;
  std::wstring ClassName;
  std::wstring Caption;
  // Texts of the window's static controls (a message box's text).
  std::wstring Text;
  DWORD ProcessId = 0;
  // The full path of the owning process's executable (may be empty).
  std::wstring ProcessImage;
};

using TWindowFilter = std::function<bool(const TWindowInfo&)>;
// The button a watcher presses on a box (IDOK, IDYES, ...); 0 presses the
// box's default answer: OK, or Yes when the box has no OK button.
using TBoxAnswer = std::function<int(const TWindowInfo&)>;

// The visible top-level windows that the filter accepts.
std::vector<TWindowInfo> FindWindows(const TWindowFilter& filter);
// Polls until a window is accepted or the time is up; false on time-out.
bool WaitForWindow(const TWindowFilter& filter, std::uint32_t milliseconds, TWindowInfo& found);

// Waits up to 10 s for the window's caption to hold the text (a window may
// show before its start-up has set the caption) and stores it in found.
void WaitForCaption(TWindowInfo& found, const std::wstring& text);
// Asks the window to close (WM_CLOSE).
void CloseWindow(const TWindowInfo& window);
// Waits for the process to end; false on time-out.
bool WaitForProcessEnd(DWORD processId, std::uint32_t milliseconds);

// Message boxes of the windows accepted by the filter: each one is recorded
// and answered (OK and closed, unless an answer function picks another
// button) as soon as it shows, on a thread of its own, until the watcher is
// destroyed.
class TMessageBoxWatcher {
public:
  explicit TMessageBoxWatcher(TWindowFilter filter, TBoxAnswer answer = {});
  ~TMessageBoxWatcher();
  TMessageBoxWatcher(const TMessageBoxWatcher&) = delete;
  TMessageBoxWatcher& operator=(const TMessageBoxWatcher&) = delete;

  std::vector<TWindowInfo> Boxes() const;
  // Polls until count boxes were seen or the time is up; false on time-out.
  bool WaitForBoxes(size_t count, std::uint32_t milliseconds) const;

private:
  void Run();
  TWindowFilter Filter;
  TBoxAnswer Answer;
  mutable std::mutex Lock;
  std::vector<TWindowInfo> Seen;
  bool Stop = false;
  std::thread Thread;
};

// Message boxes of the given process, or of processes whose executable lies
// below folder (compared without regard to case).
TWindowFilter BoxesOfProcess(DWORD processId);
TWindowFilter BoxesBelowFolder(const std::wstring& folder);

}  // namespace testsupport
