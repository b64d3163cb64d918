#include "ui/MessageBoxWatcher.h"

#include "support/WindowWatcher.h"

#include <chrono>
#include <cwchar>

namespace {

constexpr int StandardButtons[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO};

std::wstring WindowText(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return text;
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
  const DWORD self = ::GetCurrentProcessId();
  const auto dialogs = testsupport::FindWindows([&](const testsupport::TWindowInfo& info) {
    return info.ProcessId == self && info.ClassName == L"#32770" && (caption.empty() || info.Caption == caption);
  });
  return dialogs.empty() ? nullptr : dialogs.front().Window;
}

TBoxAnswerer::TBoxAnswerer(std::wstring caption, int press, DWORD timeoutMs)
    : Caption(std::move(caption)), Press(press), TimeoutMs(timeoutMs), Worker([this] { Run(); }) {}

TBoxAnswerer::~TBoxAnswerer() { Finish(); }

const TSeenBox& TBoxAnswerer::Finish() {
  Stop = true;
  if (Worker.joinable()) Worker.join();
  return Seen;
}

void TBoxAnswerer::Run() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Stop && std::chrono::steady_clock::now() < deadline) {
    HWND box = FindProcessDialog(Caption);
    if (box != nullptr && IsActive(box) && TryPress(box)) return;
    ::Sleep(20);
  }
  CloseOpenDialogs();
}

bool TBoxAnswerer::TryPress(HWND box) {
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
void TBoxAnswerer::CloseOpenDialogs() {
  while (!Stop) {
    if (HWND box = FindProcessDialog(std::wstring())) {
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      ::PostMessageW(box, WM_CLOSE, 0, 0);
    }
    ::Sleep(100);
  }
}
