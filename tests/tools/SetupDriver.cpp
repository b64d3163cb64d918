// Drives the real setup window from outside, the way a user would: waits for
// it, reads its controls and message list, presses its buttons, answers its
// message boxes and saves pictures of it. Used by the demo.
//
// Usage: setupdriver.exe ACTION [ACTION ...], run in order; each prints one
// or more lines, and the first that fails ends the run.
//   start "<command line>"      start a program, do not wait for it
//   open <file>                 open a file as the shell does on a double click
//   window <caption part> <s>   wait up to s seconds for the setup window
//   controls                    print the setup window's controls
//   shot <file.png>             save a picture of the setup window
//   lastshot <file.png> <s>     picture the window until it closes (at most
//                               s seconds); the last picture is kept
//   click <id>                  press a button of the setup window
//   box <s> <text part>         wait for a message box of the setup window's
//                               process and print it; it must hold the text
//                               part (empty: any text)
//   answer <ok|yes|no|cancel>   press that button of the box
//   lines                       print the message list, a line per row
//   gone <s>                    wait for the setup window and its process to end
// A message box that no "box" action waits for fails the run (it is printed
// and closed first), so that a run never hangs on a question.
// Exit code: 0 when every action succeeded, 1 when one failed or was
// malformed, 2 when none was given.
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "support/WindowPicture.h"
#include "tests/tools/PrintUtf8.h"
// after Win.h: needs <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The progress control: only the setup window has it, in both layouts.
constexpr int ProgressId = 255;
constexpr int MessageListId = 400;
constexpr UINT PollMs = 50;

// A failed action: what was expected and what was seen.
struct EDriverFailure {
  std::wstring Text;
};

[[noreturn]] void Fail(const std::wstring& text) { throw EDriverFailure{text}; }

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  const int length = ::GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// WM_GETTEXT with a time-out: a hung window must not hang the driver.
std::wstring TextOf(HWND window) {
  wchar_t buffer[2048] = {};
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                             &length)) {
    return {};
  }
  return std::wstring(buffer, length);
}

// One line: CR LF and LF shown as " | ".
std::wstring OneLine(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') continue;
    out += text[i] == L'\n' ? std::wstring(L" | ") : std::wstring(1, text[i]);
  }
  return out;
}

DWORD ProcessOf(HWND window) {
  DWORD id = 0;
  ::GetWindowThreadProcessId(window, &id);
  return id;
}

bool IsSetupWindow(HWND window) { return ClassOf(window) == L"#32770" && ::GetDlgItem(window, ProgressId); }

std::vector<HWND> VisibleTopLevelDialogs() {
  std::vector<HWND> found;
  ::EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        if (::IsWindowVisible(window) && ClassOf(window) == L"#32770") {
          reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The static texts of a message box (its message).
std::wstring BoxText(HWND box) {
  std::wstring all;
  ::EnumChildWindows(
      box,
      [](HWND child, LPARAM param) -> BOOL {
        if (ClassOf(child) == L"Static") {
          const std::wstring text = TextOf(child);
          auto* out = reinterpret_cast<std::wstring*>(param);
          if (!text.empty()) *out += (out->empty() ? L"" : L"\n") + text;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

class TDriver {
public:
  int Run(const std::vector<std::wstring>& args);

private:
  size_t Next = 0;
  const std::vector<std::wstring>* Args = nullptr;
  HWND Window = nullptr;
  DWORD WindowProcess = 0;
  // Boxes already printed (and answered or being answered).
  std::vector<HWND> AnsweredBoxes;
  HWND CurrentBox = nullptr;
  int Step = 0;

  std::wstring Argument(const wchar_t* what);
  DWORD Seconds(const wchar_t* what);
  void RunAction(const std::wstring& action);
  void Start(const std::wstring& commandLine);
  void Open(const std::wstring& file);
  void WaitForWindow(const std::wstring& captionPart, DWORD seconds);
  void PrintControls();
  void Shot(const std::wstring& file);
  void LastShot(const std::wstring& file, DWORD seconds);
  void Click(int id);
  void Box(DWORD seconds, const std::wstring& textPart);
  void Answer(const std::wstring& button);
  void Lines();
  void Gone(DWORD seconds);
  HWND FindBox();
  void FailOnBox();
  void NeedWindow();
};

std::wstring TDriver::Argument(const wchar_t* what) {
  if (Next >= Args->size()) Fail(std::wstring(L"missing ") + what);
  return (*Args)[Next++];
}

DWORD TDriver::Seconds(const wchar_t* what) {
  const std::wstring text = Argument(what);
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || value == 0 || value > 3600) Fail(std::wstring(L"bad ") + what + L": " + text);
  return static_cast<DWORD>(value);
}

// A box of the setup window's process, or before the window is known of any
// process: in the demo's own prefix every dialog box is setup's.
HWND TDriver::FindBox() {
  for (HWND dialog : VisibleTopLevelDialogs()) {
    if (IsSetupWindow(dialog)) continue;
    if (Window && ProcessOf(dialog) != WindowProcess) continue;
    bool answered = false;
    for (HWND seen : AnsweredBoxes) answered = answered || seen == dialog;
    if (!answered) return dialog;
  }
  return nullptr;
}

void TDriver::FailOnBox() {
  HWND box = FindBox();
  if (!box) return;
  const std::wstring seen = L"\"" + TextOf(box) + L"\": " + OneLine(BoxText(box));
  AnsweredBoxes.push_back(box);
  ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  ::PostMessageW(box, WM_CLOSE, 0, 0);
  Fail(L"an unexpected message box " + seen);
}

void TDriver::NeedWindow() {
  if (!Window) Fail(L"no setup window: a \"window\" action must come first");
  if (!::IsWindow(Window)) Fail(L"the setup window has closed");
}

void TDriver::Start(const std::wstring& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = commandLine;
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    Fail(L"cannot start " + commandLine + L" (error " + std::to_wstring(::GetLastError()) + L")");
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  Print(L"started " + commandLine);
}

void TDriver::Open(const std::wstring& file) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) {
    Fail(L"the shell cannot open " + file + L" (error " + std::to_wstring(::GetLastError()) + L")");
  }
  Print(L"opened " + file + L" as the shell does");
}

void TDriver::WaitForWindow(const std::wstring& captionPart, DWORD seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  Window = nullptr;
  AnsweredBoxes.clear();
  for (;;) {
    FailOnBox();
    for (HWND dialog : VisibleTopLevelDialogs()) {
      if (IsSetupWindow(dialog) && TextOf(dialog).find(captionPart) != std::wstring::npos) Window = dialog;
    }
    if (Window) break;
    if (std::chrono::steady_clock::now() >= end) {
      Fail(L"no setup window with \"" + captionPart + L"\" in its caption within " + std::to_wstring(seconds) +
           L" s");
    }
    ::Sleep(PollMs);
  }
  WindowProcess = ProcessOf(Window);
  const bool wineLayout = ::GetDlgItem(Window, MessageListId) == nullptr;
  Print(L"the setup window \"" + TextOf(Window) + L"\" (" + (wineLayout ? L"progress-only" : L"full") +
        L" layout, process " + std::to_wstring(WindowProcess) + L")");
}

void TDriver::PrintControls() {
  NeedWindow();
  static const struct {
    int Id;
    const wchar_t* Role;
  } controls[] = {
      {250, L"drive"},          {251, L"folder"},        {252, L"program group"}, {306, L"select button"},
      {350, L"shortcut box"},   {300, L"install"},       {302, L"update"},        {303, L"check"},
      {304, L"build kit"},      {305, L"uninstall"},     {301, L"exit"},          {255, L"progress"},
  };
  for (const auto& control : controls) {
    HWND item = ::GetDlgItem(Window, control.Id);
    if (!item) continue;
    std::wstring text = OneLine(TextOf(item));
    if (control.Id == 250) {
      const LRESULT selected = ::SendMessageW(item, CB_GETCURSEL, 0, 0);
      wchar_t root[64] = {};
      if (selected >= 0 && ::SendMessageW(item, CB_GETLBTEXTLEN, selected, 0) < 64) {
        ::SendMessageW(item, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(root));
      }
      text = root;
    }
    wchar_t line[512];
    std::swprintf(line, 512, L"  %d %-14ls %-8ls %-9ls %ls", control.Id, control.Role,
                  ::IsWindowVisible(item) ? L"visible" : L"hidden", ::IsWindowEnabled(item) ? L"enabled" : L"disabled",
                  text.empty() ? L"" : (L"\"" + text + L"\"").c_str());
    Print(line);
  }
}

// Lets the window finish painting: it is raised, redrawn whole, and given a
// moment for the paint messages to run.
void Settle(HWND window) {
  ::SetForegroundWindow(window);
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
  ::Sleep(300);
}

void TDriver::Shot(const std::wstring& file) {
  NeedWindow();
  Settle(Window);
  UniqueGdiObject bitmap(testsupport::CaptureWindowFromScreen(Window));
  if (!bitmap) Fail(L"cannot copy the setup window from the screen");
  if (!testsupport::SaveBitmapAsPng(static_cast<HBITMAP>(bitmap.get()), file)) Fail(L"cannot save " + file + L" (GDI+)");
  Print(L"saved a picture of the window: " + file);
}

void TDriver::LastShot(const std::wstring& file, DWORD seconds) {
  NeedWindow();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  UniqueGdiObject last;
  int pictures = 0;
  while (::IsWindow(Window) && ::IsWindowVisible(Window)) {
    if (std::chrono::steady_clock::now() >= end) Fail(L"the setup window is still open after " + std::to_wstring(seconds) + L" s");
    FailOnBox();
    if (HBITMAP bitmap = testsupport::CaptureWindowFromScreen(Window)) {
      // A picture taken as the window went away may be half hidden.
      if (::IsWindow(Window) && ::IsWindowVisible(Window)) {
        last.reset(bitmap);
        ++pictures;
      } else {
        ::DeleteObject(bitmap);
      }
    }
    ::Sleep(100);
  }
  if (!last) Fail(L"the setup window closed before a picture of it could be taken");
  if (!testsupport::SaveBitmapAsPng(static_cast<HBITMAP>(last.get()), file)) Fail(L"cannot save " + file + L" (GDI+)");
  Print(L"the window closed; the last of " + std::to_wstring(pictures) + L" pictures taken while it ran: " + file);
}

void TDriver::Click(int id) {
  NeedWindow();
  FailOnBox();
  HWND button = ::GetDlgItem(Window, id);
  if (!button) Fail(L"the setup window has no control " + std::to_wstring(id));
  if (!::IsWindowVisible(button) || !::IsWindowEnabled(button)) {
    Fail(L"the button " + std::to_wstring(id) + L" is hidden or disabled");
  }
  // Posted, not sent: the button runs a whole function, with its boxes, before
  // its handler returns.
  const std::wstring text = TextOf(button);
  ::PostMessageW(Window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  Print(L"pressed " + std::to_wstring(id) + L" \"" + text + L"\"");
}

void TDriver::Box(DWORD seconds, const std::wstring& textPart) {
  NeedWindow();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  HWND box = nullptr;
  while (!(box = FindBox())) {
    if (std::chrono::steady_clock::now() >= end) Fail(L"no message box within " + std::to_wstring(seconds) + L" s");
    if (!::IsWindow(Window)) Fail(L"the setup window closed without a message box");
    ::Sleep(PollMs);
  }
  // The box may be visible before its texts are set.
  ::Sleep(200);
  AnsweredBoxes.push_back(box);
  CurrentBox = box;
  const std::wstring text = BoxText(box);
  Print(L"message box \"" + TextOf(box) + L"\": " + OneLine(text));
  if (!textPart.empty() && text.find(textPart) == std::wstring::npos) {
    Fail(L"the box does not say \"" + textPart + L"\"");
  }
}

void TDriver::Answer(const std::wstring& button) {
  static const struct {
    const wchar_t* Name;
    int Id;
  } buttons[] = {{L"ok", IDOK}, {L"yes", IDYES}, {L"no", IDNO}, {L"cancel", IDCANCEL}};
  int id = 0;
  for (const auto& b : buttons) {
    if (::_wcsicmp(b.Name, button.c_str()) == 0) id = b.Id;
  }
  if (id == 0) Fail(L"unknown button " + button);
  if (!CurrentBox || !::IsWindow(CurrentBox)) Fail(L"no message box to answer: a \"box\" action must come first");
  HWND pressed = ::GetDlgItem(CurrentBox, id);
  if (!pressed) Fail(L"the box has no button " + button);
  const std::wstring text = TextOf(pressed);
  ::PostMessageW(CurrentBox, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(pressed));
  Print(L"answered \"" + text + L"\"");
  CurrentBox = nullptr;
}

// The rows of the message list, read through memory in setup's process:
// a list view's item texts cannot be asked for across processes otherwise.
void TDriver::Lines() {
  NeedWindow();
  HWND list = ::GetDlgItem(Window, MessageListId);
  if (!list) Fail(L"the setup window has no message list");
  UniqueKernelHandle process(
      ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, WindowProcess));
  if (!process) Fail(L"cannot open setup's process");
  constexpr size_t TextUnits = 2048;
  const size_t size = sizeof(LVITEMW) + TextUnits * sizeof(wchar_t);
  auto* remote = static_cast<unsigned char*>(
      ::VirtualAllocEx(process.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!remote) Fail(L"cannot reserve memory in setup's process");
  static const wchar_t* const kinds[] = {L"error", L"info", L"warning"};
  const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  Print(L"the message list, lines: " + std::to_wstring(count));
  for (int i = 0; i < count; ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = i;
    item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    item.cchTextMax = TextUnits;
    std::vector<wchar_t> text(TextUnits, L'\0');
    SIZE_T moved = 0;
    if (!::WriteProcessMemory(process.get(), remote, &item, sizeof item, &moved) ||
        !::WriteProcessMemory(process.get(), remote + sizeof(LVITEMW), text.data(), sizeof(wchar_t), &moved)) {
      break;
    }
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 2000, &ignored);
    if (!::ReadProcessMemory(process.get(), remote, &item, sizeof item, &moved) ||
        !::ReadProcessMemory(process.get(), remote + sizeof(LVITEMW), text.data(), TextUnits * sizeof(wchar_t),
                             &moved)) {
      break;
    }
    text.back() = L'\0';
    const wchar_t* kind = item.iImage >= 0 && item.iImage <= 2 ? kinds[item.iImage] : L"?";
    Print(std::wstring(L"  [") + kind + L"] " + text.data());
  }
  ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
}

void TDriver::Gone(DWORD seconds) {
  NeedWindow();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (::IsWindow(Window)) {
    FailOnBox();
    if (std::chrono::steady_clock::now() >= end) {
      Fail(L"the setup window is still open after " + std::to_wstring(seconds) + L" s");
    }
    ::Sleep(PollMs);
  }
  UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, WindowProcess));
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
  if (process && ::WaitForSingleObject(process.get(), static_cast<DWORD>(std::max<long long>(left.count(), 1000))) !=
                     WAIT_OBJECT_0) {
    Fail(L"the setup window closed but its process did not end");
  }
  Print(L"the setup window closed and its process ended");
  Window = nullptr;
}

void TDriver::RunAction(const std::wstring& action) {
  if (action == L"start") {
    Start(Argument(L"command line"));
  } else if (action == L"open") {
    Open(Argument(L"file"));
  } else if (action == L"window") {
    const std::wstring caption = Argument(L"caption");
    WaitForWindow(caption, Seconds(L"seconds"));
  } else if (action == L"controls") {
    PrintControls();
  } else if (action == L"shot") {
    Shot(Argument(L"file"));
  } else if (action == L"lastshot") {
    const std::wstring file = Argument(L"file");
    LastShot(file, Seconds(L"seconds"));
  } else if (action == L"click") {
    const std::wstring id = Argument(L"control id");
    Click(static_cast<int>(std::wcstol(id.c_str(), nullptr, 10)));
  } else if (action == L"box") {
    const DWORD seconds = Seconds(L"seconds");
    Box(seconds, Argument(L"text part"));
  } else if (action == L"answer") {
    Answer(Argument(L"button"));
  } else if (action == L"lines") {
    Lines();
  } else if (action == L"gone") {
    Gone(Seconds(L"seconds"));
  } else {
    Fail(L"unknown action " + action);
  }
}

int TDriver::Run(const std::vector<std::wstring>& args) {
  Args = &args;
  while (Next < args.size()) {
    const std::wstring action = args[Next++];
    ++Step;
    try {
      RunAction(action);
    } catch (const EDriverFailure& failure) {
      Print(L"setupdriver: action " + std::to_wstring(Step) + L" (" + action + L") failed: " + failure.Text);
      return 1;
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    Print(L"usage: setupdriver.exe ACTION [ACTION ...] (see the source's header)");
    return 2;
  }
  std::vector<std::wstring> args(argv + 1, argv + argc);
  return TDriver().Run(args);
}
