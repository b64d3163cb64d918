// Stands in for the product's own programs in the setup window tests.
//
//   ServiceStandIn.exe service RECORD [HELD]
//     A Win32 service of its own process (registered by the test as
//     "JomService"). It appends "start" to RECORD once it runs and "stop"
//     when it is stopped, and while it runs it keeps HELD open for reading
//     only (others may read it, not write, rename or delete it), as a real
//     service keeps its files, so that a file of the program folder can be
//     replaced only while the service is stopped.
//   ServiceStandIn.exe
//     The installed main program: appends one line to "started.txt" beside
//     itself and ends.

#include <stdlib.h>

#include <string>

#include "platform/Win.h"

namespace {

std::wstring RecordFile;
std::wstring HeldFile;
HANDLE Held = INVALID_HANDLE_VALUE;
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
HANDLE StopEvent = nullptr;

void AppendLine(const std::wstring& file, const char* line) {
  HANDLE handle = ::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  const std::string text = std::string(line) + "\r\n";
  ::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(handle);
}

void Report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWaitHint = 2000;
  ::SetServiceStatus(StatusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    ::SetEvent(StopEvent);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  StatusHandle = ::RegisterServiceCtrlHandlerExW(L"JomService", Control, nullptr);
  if (!StatusHandle) return;
  Report(SERVICE_START_PENDING);
  if (!HeldFile.empty()) {
    Held = ::CreateFileW(HeldFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  AppendLine(RecordFile, Held != INVALID_HANDLE_VALUE || HeldFile.empty() ? "start" : "start (held file not open)");
  Report(SERVICE_RUNNING);
  ::WaitForSingleObject(StopEvent, INFINITE);
  if (Held != INVALID_HANDLE_VALUE) ::CloseHandle(Held);
  Held = INVALID_HANDLE_VALUE;
  AppendLine(RecordFile, "stop");
  Report(SERVICE_STOPPED);
}

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring text(path, length);
  return text.substr(0, text.find_last_of(L'\\') + 1);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const int argc = __argc;
  wchar_t** const argv = __wargv;
  if (argc >= 3 && std::wstring(argv[1]) == L"service") {
    RecordFile = argv[2];
    if (argc >= 4) HeldFile = argv[3];
    StopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t name[] = L"JomService";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 2;
  }
  AppendLine(OwnFolder() + L"started.txt", "started");
  return 0;
}
