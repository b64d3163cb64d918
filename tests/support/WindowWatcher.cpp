#include "support/WindowWatcher.h"

#include <algorithm>
#include <chrono>

#include "platform/UniqueHandle.h"

namespace testsupport {

namespace {

std::wstring WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  // Direct send with a time-out: a hung target must not hang the test.
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                             &length)) {
    return {};
  }
  return std::wstring(buffer, length);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  const int length = ::GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? length : 0);
}

std::wstring ImageOfProcess(DWORD processId) {
  UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return {};
  wchar_t path[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  if (!::QueryFullProcessImageNameW(process.get(), 0, path, &size)) return {};
  return std::wstring(path, size);
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM param) {
  if (ClassOf(child) == L"Static") {
    const std::wstring text = WindowText(child);
    auto* all = reinterpret_cast<std::wstring*>(param);
    if (!text.empty()) *all += (all->empty() ? L"" : L"\n") + text;
  }
  return TRUE;
}

struct TEnumState {
  const TWindowFilter* Filter;
  std::vector<TWindowInfo>* Found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<TEnumState*>(param);
  if (!::IsWindowVisible(window)) return TRUE;
  TWindowInfo info;
  info.Window = window;
  info.ClassName = ClassOf(window);
  info.Caption = WindowText(window);
  ::GetWindowThreadProcessId(window, &info.ProcessId);
  info.ProcessImage = ImageOfProcess(info.ProcessId);
  ::EnumChildWindows(window, CollectStatic, reinterpret_cast<LPARAM>(&info.Text));
  if ((*state->Filter)(info)) state->Found->push_back(info);
  return TRUE;
}

bool IsMessageBox(const TWindowInfo& info) { return info.ClassName == L"#32770"; }

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() &&
         ::CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::vector<TWindowInfo> FindWindows(const TWindowFilter& filter) {
  std::vector<TWindowInfo> found;
  TEnumState state{&filter, &found};
  ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
  return found;
}

bool WaitForWindow(const TWindowFilter& filter, std::uint32_t milliseconds, TWindowInfo& found) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const std::vector<TWindowInfo> windows = FindWindows(filter);
    if (!windows.empty()) {
      found = windows.front();
      return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    ::Sleep(100);
  }
}

void CloseWindow(const TWindowInfo& window) { ::PostMessageW(window.Window, WM_CLOSE, 0, 0); }

bool WaitForProcessEnd(DWORD processId, std::uint32_t milliseconds) {
  UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!process) return true;  // already gone
  return ::WaitForSingleObject(process.get(), milliseconds) == WAIT_OBJECT_0;
}

TMessageBoxWatcher::TMessageBoxWatcher(TWindowFilter filter, TBoxAnswer answer)
    : Filter(std::move(filter)), Answer(std::move(answer)), Thread([this] { Run(); }) {}

TMessageBoxWatcher::~TMessageBoxWatcher() {
  {
    std::lock_guard<std::mutex> guard(Lock);
    Stop = true;
  }
  Thread.join();
}

void TMessageBoxWatcher::Run() {
  std::vector<HWND> closed;
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(Lock);
      if (Stop) return;
    }
    for (const TWindowInfo& box : FindWindows([this](const TWindowInfo& w) { return IsMessageBox(w) && Filter(w); })) {
      if (std::find(closed.begin(), closed.end(), box.Window) != closed.end()) continue;
      closed.push_back(box.Window);
      {
        std::lock_guard<std::mutex> guard(Lock);
        Seen.push_back(box);
      }
      int button = Answer ? Answer(box) : 0;
      if (button == 0) {
        const bool asks = ::GetDlgItem(box.Window, IDOK) == nullptr && ::GetDlgItem(box.Window, IDYES) != nullptr;
        button = asks ? IDYES : IDOK;
      }
      ::PostMessageW(box.Window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(::GetDlgItem(box.Window, button)));
      if (button == IDOK) ::PostMessageW(box.Window, WM_CLOSE, 0, 0);
    }
    ::Sleep(100);
  }
}

std::vector<TWindowInfo> TMessageBoxWatcher::Boxes() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Seen;
}

bool TMessageBoxWatcher::WaitForBoxes(size_t count, std::uint32_t milliseconds) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (Boxes().size() < count) {
    if (std::chrono::steady_clock::now() >= end) return false;
    ::Sleep(100);
  }
  return true;
}

TWindowFilter BoxesOfProcess(DWORD processId) {
  return [processId](const TWindowInfo& w) { return w.ProcessId == processId; };
}

TWindowFilter BoxesBelowFolder(const std::wstring& folder) {
  return [folder](const TWindowInfo& w) { return StartsWithNoCase(w.ProcessImage, folder); };
}

void WaitForCaption(TWindowInfo& found, const std::wstring& text) {
  wchar_t caption[256] = {};
  for (int i = 0; i < 100; ++i) {
    ::GetWindowTextW(found.Window, caption, 256);
    if (std::wstring(caption).find(text) != std::wstring::npos) break;
    ::Sleep(100);
  }
  found.Caption = caption;
}

}  // namespace testsupport
