#pragma once
// Watches for a message box of this process from a second thread, records
// what it shows and presses one of its buttons, the way a user would. It is
// bounded in time: a box that does not appear fails the test, and whatever
// dialog this process still shows is closed until the watcher is stopped, so
// that a test can never hang on a box.

#include <atomic>
#include <map>
#include <string>
#include <thread>

#include "platform/Win.h"

struct TSeenBox {
  bool Found = false;
  // The button to press existed and was pressed.
  bool Pressed = false;
  std::wstring Caption;
  // Texts of the standard buttons the box has, by identifier.
  std::map<int, std::wstring> Buttons;
  RECT Rect{};
  HWND Owner = nullptr;
  // The icon the box shows, null for none.
  HICON Icon = nullptr;
};

class TBoxAnswerer {
public:
  // Starts watching for a box with this caption; presses the button press
  // once the box is active.
  TBoxAnswerer(std::wstring caption, int press, DWORD timeoutMs = 15000);
  ~TBoxAnswerer();
  TBoxAnswerer(const TBoxAnswerer&) = delete;
  TBoxAnswerer& operator=(const TBoxAnswerer&) = delete;

  // Stops the watcher and returns what it saw.
  const TSeenBox& Finish();

private:
  void Run();
  bool TryPress(HWND box);
  void CloseOpenDialogs();

  std::wstring Caption;
  int Press;
  DWORD TimeoutMs;
  TSeenBox Seen;
  std::atomic<bool> Stop{false};
  std::thread Worker;
};

// The top-level dialog windows (class "#32770") of this process with the
// caption; an empty caption matches every one.
HWND FindProcessDialog(const std::wstring& caption);
