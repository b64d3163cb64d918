#include "ui/MessageBoxWatcher.h"

#include <chrono>
#include <cwchar>

namespace {

constexpr int StandardButtons[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO};

std::wstring WindowText(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return text;
}

bool IsDialogOfThisProcess(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return false;
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return std::wcscmp(name, L"#32770") == 0;
}

struct TSearch {
  const std::wstring* Caption;
  HWND Found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TSearch*>(data);
  if (!IsDialogOfThisProcess(window)) return TRUE;
  if (!search->Caption->empty() && WindowText(window) != *search->Caption) return TRUE;
  search->Found = window;
  return FALSE;
}

// The box's buttons are final once it is the active window of its thread:
// the hook that renames them runs before the activation completes.
bool IsActive(HWND box) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(box, nullptr), &info) && info.hwndActive == box;
}

BOOL CALLBACK FindIconControl(HWND child, LPARAM data) {
  wchar_t name[16] = {};
  ::GetClassNameW(child, name, static_cast<int>(std::size(name)));
  if (_wcsicmp(name, L"Static") != 0 || (::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(data) = child;
  return FALSE;
}

HICON IconOf(HWND box) {
  HWND control = nullptr;
  ::EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&control));
  DWORD_PTR icon = 0;
  if (control != nullptr) ::SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
  return reinterpret_cast<HICON>(icon);
}

}  // namespace

HWND FindProcessDialog(const std::wstring& caption) {
  TSearch search{&caption, nullptr};
  ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

TMessageBoxWatcher::TMessageBoxWatcher(std::wstring caption, int press, DWORD timeoutMs)
    : Caption(std::move(caption)), Press(press), TimeoutMs(timeoutMs), Worker([this] { Run(); }) {}

TMessageBoxWatcher::~TMessageBoxWatcher() { Finish(); }

const TSeenBox& TMessageBoxWatcher::Finish() {
  Stop = true;
  if (Worker.joinable()) Worker.join();
  return Seen;
}

void TMessageBoxWatcher::Run() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Stop && std::chrono::steady_clock::now() < deadline) {
    HWND box = FindProcessDialog(Caption);
    if (box != nullptr && IsActive(box) && TryPress(box)) return;
    ::Sleep(20);
  }
  CloseOpenDialogs();
}

bool TMessageBoxWatcher::TryPress(HWND box) {
  Seen.Found = true;
  Seen.Caption = WindowText(box);
  for (int id : StandardButtons) {
    if (HWND button = ::GetDlgItem(box, id)) Seen.Buttons[id] = WindowText(button);
  }
  ::GetWindowRect(box, &Seen.Rect);
  Seen.Owner = ::GetWindow(box, GW_OWNER);
  Seen.Icon = IconOf(box);
  HWND button = ::GetDlgItem(box, Press);
  if (button == nullptr) return false;
  Seen.Pressed = ::PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
  return Seen.Pressed;
}

// Ends every dialog this process still shows, until the test stops the
// watcher (the test's thread is then out of its box).
void TMessageBoxWatcher::CloseOpenDialogs() {
  while (!Stop) {
    if (HWND box = FindProcessDialog(std::wstring())) {
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      ::PostMessageW(box, WM_CLOSE, 0, 0);
    }
    ::Sleep(100);
  }
}
