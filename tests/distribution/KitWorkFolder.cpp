// Test helper: a program with its own work folder under the temporary
// folder that TMP names.
// Usage: KitWorkFolder.exe hold <report-file>  makes the folder, writes its
//          path to the report file and waits until it is killed;
//        KitWorkFolder.exe run  makes the folder and ends as setup ends
//          (removing it and sweeping stale work folders); exit code 0 when
//          its own folder is gone.
#include <cwchar>
#include <string>

#include "platform/Win.h"
#include "setup/distribution/Tempdir.h"

namespace {
void SilentErrorBox(const std::wstring&) {}

bool WriteReport(const wchar_t* file, const std::wstring& text) {
  const std::wstring partial = std::wstring(file) + L".part";
  HANDLE out = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  ::WriteFile(out, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  ::CloseHandle(out);
  return ::MoveFileExW(partial.c_str(), file, MOVEFILE_REPLACE_EXISTING) != FALSE;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetLockDirsErrorBox(&SilentErrorBox);
  if (argc == 3 && std::wcscmp(argv[1], L"hold") == 0) {
    StartTempDirectory();
    if (!WriteReport(argv[2], TempDirectoryPath)) return 2;
    ::Sleep(120000);
    return 0;
  }
  if (argc == 2 && std::wcscmp(argv[1], L"run") == 0) {
    StartTempDirectory();
    const std::wstring own = TempDirectoryPath;
    if (::GetFileAttributesW(own.c_str()) == INVALID_FILE_ATTRIBUTES) return 3;
    FinishTempDirectory();
    return ::GetFileAttributesW(own.c_str()) == INVALID_FILE_ATTRIBUTES ? 0 : 4;
  }
  return 1;
}
