// Test helper: a program whose behaviour the program-runner tests choose on
// its command line, one step after the other:
//   write N        writes N bytes ('a'..'z' repeated) to standard output
//   writeerr TEXT  writes TEXT to standard error
//   flood          writes to standard output until the pipe breaks
//   sleep MS       sleeps
//   window TITLE   shows a window and serves it until it is closed; the
//                  message WM_USER + 100 with 0x1234, 0x8765 ends it with 77
//   stubborn       ignores Ctrl+Break and close requests (its window too)
//   spawn ARGS...  starts this program again with the remaining arguments
//                  and ends at once
//   handoff ARGS...  the same, handing the started program this one's
//                  standard handles (so its output pipe outlives this one)
//   parent         writes the file name of its parent process
//   exit CODE      ends with the code
// Without an exit step it ends with 0. Every wait ends within two minutes.
#include "platform/Win.h"

#include <cwchar>
#include <string>

#include "platform/ExecIntfTypes.h"

namespace {
bool Stubborn = false;

void WriteAll(HANDLE out, const std::string& bytes) {
  DWORD written = 0;
  ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// count bytes of the repeated alphabet, going on from position first.
std::string Pattern(std::size_t count, std::size_t first = 0) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>('a' + (first + i) % 26);
  return bytes;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_USER + 100:
      if (wParam == 0x1234 && lParam == 0x8765) ::ExitProcess(77);
      return 0;
    case WM_QUERYENDSESSION:
      return Stubborn ? FALSE : TRUE;
    case WM_CLOSE:
      if (Stubborn) return 0;
      break;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void ServeWindow(const wchar_t* title) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"TavrelExecTestWindow";
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  ::SetTimer(nullptr, 0, 120000, nullptr);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && !message.hwnd) break;
    ::DispatchMessageW(&message);
  }
}

BOOL WINAPI IgnoreControl(DWORD) { return TRUE; }

void Spawn(int argc, wchar_t** argv, int from, bool inherit) {
  std::wstring commandLine = L"\"" + std::wstring(argv[0]) + L"\"";
  for (int i = from; i < argc; ++i) commandLine += L" \"" + std::wstring(argv[i]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (inherit) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION information{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inherit, CREATE_NEW_CONSOLE, nullptr, nullptr,
                        &startup, &information))
    ::ExitProcess(2);
  // The id of the started program, for the test to find it.
  WriteAll(::GetStdHandle(STD_OUTPUT_HANDLE), std::to_string(information.dwProcessId));
  ::CloseHandle(information.hThread);
  ::CloseHandle(information.hProcess);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  for (int i = 1; i < argc; ++i) {
    const std::wstring step = argv[i];
    const wchar_t* value = i + 1 < argc ? argv[i + 1] : L"";
    if (step == L"write") {
      // Several writes, so that the reader meets the data in pieces.
      const std::size_t total = std::wcstoul(value, nullptr, 10);
      for (std::size_t done = 0; done < total;) {
        const std::size_t piece = total - done < 700 ? total - done : 700;
        WriteAll(out, Pattern(piece, done));
        done += piece;
      }
      ++i;
    } else if (step == L"writeerr") {
      const std::wstring text = value;
      WriteAll(::GetStdHandle(STD_ERROR_HANDLE), std::string(text.begin(), text.end()));
      ++i;
    } else if (step == L"flood") {
      const std::string piece = Pattern(512);
      const DWORD end = ::GetTickCount() + 120000;
      DWORD written = 0;
      while (::GetTickCount() < end && ::WriteFile(out, piece.data(), 512, &written, nullptr)) ::Sleep(5);
    } else if (step == L"sleep") {
      ::Sleep(std::wcstoul(value, nullptr, 10));
      ++i;
    } else if (step == L"window") {
      ServeWindow(value);
      ++i;
    } else if (step == L"stubborn") {
      Stubborn = true;
      ::SetConsoleCtrlHandler(IgnoreControl, TRUE);
    } else if (step == L"spawn" || step == L"handoff") {
      Spawn(argc, argv, i + 1, step == L"handoff");
      return 0;
    } else if (step == L"parent") {
      const std::wstring name = ExecuteProgramProvider().GetParentProcessFileName();
      WriteAll(out, std::string(name.begin(), name.end()));
    } else if (step == L"exit") {
      return static_cast<int>(std::wcstol(value, nullptr, 10));
    }
  }
  return 0;
}
