// Test helper: opens a file with the given sharing flags, signals a named
// event, and keeps the file open until it is killed (or two minutes pass).
// Usage: FileHolder.exe <file> <share-mode> <event-name>
#include "platform/Win.h"

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 1;
  const DWORD share = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  HANDLE file = ::CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
  if (!ready) return 3;
  ::SetEvent(ready);
  ::CloseHandle(ready);
  ::Sleep(120000);
  ::CloseHandle(file);
  return 0;
}
