#include "setup/ui/GuiWinTypes.h"

#include <cwchar>
#include <iterator>
#include <utility>

#include "setup/messages/SystemRuntimeMessages.h"
#include "setup/ui/WindowGeometry.h"

namespace {

struct TButtonText {
  int Id;
  const std::wstring* Text;
};

// The buttons whose texts follow the chosen language; OK keeps the system's.
const TButtonText ButtonTexts[] = {
    {IDYES, &rsButtonYes},       {IDNO, &rsButtonNo},         {IDCANCEL, &rsButtonCancel},
    {IDRETRY, &rsButtonRetry},   {IDIGNORE, &rsButtonIgnore}, {IDABORT, &rsButtonAbort},
};

struct TKindStyle {
  UINT IconFlag;
  const std::wstring* Caption;
};

const TKindStyle KindStyles[] = {
    {MB_ICONHAND, &rsCaptionError},
    {MB_ICONASTERISK, &rsCaptionInfo},
    {MB_ICONEXCLAMATION, &rsCaptionWarning},
};

TKindStyle StyleOfKind(TMessageKind kind) {
  if (kind >= 0 && kind < static_cast<TMessageKind>(std::size(KindStyles))) return KindStyles[kind];
  return {0, &rsCaptionInfo};
}

const std::wstring& CaptionOr(const std::wstring& caption, const std::wstring& fallback) {
  return caption.empty() ? fallback : caption;
}

TScreenRect ToScreenRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

bool HasClass(HWND window, const wchar_t* className) {
  wchar_t name[64];
  return ::GetClassNameW(window, name, static_cast<int>(std::size(name))) > 0 && std::wcscmp(name, className) == 0;
}

bool IsShownNormally(HWND window) {
  return window != nullptr && ::IsWindowVisible(window) && !::IsIconic(window);
}

// The owner CenterWindow takes when it is given none.
HWND ImpliedOwner(HWND window) {
  HWND parent = ::GetParent(window);
  if (IsShownNormally(parent)) return parent;
  HWND active = ::GetActiveWindow();
  return IsShownNormally(active) ? active : nullptr;
}

// The work area of the window's monitor, or fallback when the window is on
// none.
TScreenRect MonitorWorkArea(HWND window, const TScreenRect& fallback) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = ::MonitorFromWindow(window, MONITOR_DEFAULTTONULL);
  if (monitor == nullptr || !::GetMonitorInfoW(monitor, &info)) return fallback;
  return ToScreenRect(info.rcWork);
}

// The placement of IGuiTools::CenterWindow; the work area is that of the
// owner's monitor, or of the window's own when there is no owner.
void CenterWindowOn(HWND window, HWND owner, bool fit) {
  RECT own;
  if (!::GetWindowRect(window, &own)) return;
  if (owner == nullptr) owner = ImpliedOwner(window);
  TScreenRect workArea{0, 0, ::GetSystemMetrics(SM_CXFULLSCREEN), ::GetSystemMetrics(SM_CYFULLSCREEN)};
  TScreenRect reference;
  RECT ownerRect;
  if (owner != nullptr && owner != window) {
    workArea = MonitorWorkArea(owner, workArea);
    if (::GetWindowRect(owner, &ownerRect)) reference = ToScreenRect(ownerRect);
  } else {
    workArea = MonitorWorkArea(window, workArea);
  }
  const TScreenRect size = ToScreenRect(own);
  const TScreenPoint at = CenteredWindowPosition(size.Width(), size.Height(), reference, workArea, fit);
  ::SetWindowPos(window, nullptr, at.X, at.Y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The hook of the box being shown on this thread. Boxes are shown one at a
// time per thread; a box shown from the modal loop of another starts after
// the first one's hook is gone.
struct TBoxHook {
  HHOOK Handle = nullptr;
  bool Centre = false;
};
thread_local TBoxHook BoxHook;

void RemoveBoxHook() {
  if (HHOOK hook = std::exchange(BoxHook.Handle, nullptr)) ::UnhookWindowsHookEx(hook);
}

void PutButtonTexts(HWND box) {
  for (const TButtonText& button : ButtonTexts) {
    if (HWND control = ::GetDlgItem(box, button.Id)) ::SetWindowTextW(control, button.Text->c_str());
  }
}

// Runs for the first activation of a dialog window on this thread after the
// hook is set, which is the box's own: its window exists with its buttons,
// but is not yet shown.
LRESULT CALLBACK BoxHookProc(int code, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = ::CallNextHookEx(BoxHook.Handle, code, wParam, lParam);
  HWND box = reinterpret_cast<HWND>(wParam);
  if (code != HCBT_ACTIVATE || !HasClass(box, L"#32770")) return result;
  PutButtonTexts(box);
  if (BoxHook.Centre) CenterWindowOn(box, nullptr, true);
  RemoveBoxHook();
  return result;
}

// MessageBoxW with the catalogue's button texts. A box that fails before it
// is activated must not leave its hook behind for the next window.
int ShowHookedBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags, bool centre) {
  RemoveBoxHook();
  BoxHook.Centre = centre;
  BoxHook.Handle = ::SetWindowsHookExW(WH_CBT, BoxHookProc, ::GetModuleHandleW(nullptr), ::GetCurrentThreadId());
  const int result = ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
  const DWORD error = ::GetLastError();
  RemoveBoxHook();
  ::SetLastError(error);
  return result;
}

// The first window of the given class below parent, depth first.
HWND FindDescendant(HWND parent, const wchar_t* className) {
  for (HWND child = ::FindWindowExW(parent, nullptr, nullptr, nullptr); child != nullptr;
       child = ::FindWindowExW(parent, child, nullptr, nullptr)) {
    if (HasClass(child, className)) return child;
    if (HWND found = FindDescendant(child, className)) return found;
  }
  return nullptr;
}

}  // namespace

void TGuiTools::CenterWindow(WindowHandle window, WindowHandle owner, bool fit) {
  CenterWindowOn(static_cast<HWND>(window), static_cast<HWND>(owner), fit);
}

std::int32_t TGuiTools::ShowMessage(TMessageKind kind, const std::wstring& text, const std::wstring& caption,
                                    bool centre) {
  const TKindStyle style = StyleOfKind(kind);
  return ShowHookedBox(::GetActiveWindow(), text, CaptionOr(caption, *style.Caption),
                       MB_OK | style.IconFlag | MB_TOPMOST, centre);
}

void TGuiTools::RefreshTrayArea() {
  if (HWND tray = ::FindWindowW(L"Shell_TrayWnd", nullptr)) RefreshTrayWindow(tray);
}

bool TGuiTools::Confirm(const std::wstring& text, const std::wstring& caption, bool centre, WindowHandle owner) {
  HWND boxOwner = owner != nullptr ? static_cast<HWND>(owner) : ::GetActiveWindow();
  return ShowHookedBox(boxOwner, text, CaptionOr(caption, rsCaptionConfirm),
                       MB_YESNO | MB_ICONQUESTION | MB_TOPMOST, centre) == IDYES;
}

std::int32_t TGuiTools::MessageBox(const std::wstring& text, std::uint32_t flags, const std::wstring& caption) {
  return ShowHookedBox(::GetActiveWindow(), text, caption, flags, true);
}

bool RefreshTrayWindow(HWND tray) {
  HWND notify = FindDescendant(tray, L"TrayNotifyWnd");
  if (notify == nullptr) return false;
  HWND target = FindDescendant(notify, L"ToolbarWindow32");
  if (target == nullptr) target = notify;
  RECT client;
  if (!::GetClientRect(target, &client)) return true;
  // A hung task bar must not hang setup with it.
  for (const TScreenPoint& point : TrayProbePoints(client.right, client.bottom)) {
    if (!::SendMessageTimeoutW(target, WM_MOUSEMOVE, 0, MAKELPARAM(point.X, point.Y), SMTO_ABORTIFHUNG, 1000,
                               nullptr)) {
      break;
    }
  }
  return true;
}

RefPtr<IGuiTools> CreateSystemGuiTools() { return MakeRef<TGuiTools>(); }
