// Test stand-in for setup.exe and jom.exe (never shipped): records the
// command line it was started with in "<own path>.cmdline" (UTF-16) and
// exits. The record is written under another name and renamed, so that a
// waiting test never reads half of it. While "<own path>.hold" exists it
// stays running (at most two minutes), so a test can see who waits for it.

#include <string>

#include "platform/Win.h"

int wmain() {
  wchar_t Own[MAX_PATH * 4] = {};
  const DWORD Length = ::GetModuleFileNameW(nullptr, Own, MAX_PATH * 4);
  if (Length == 0 || Length >= MAX_PATH * 4) return 2;
  const std::wstring Record = std::wstring(Own) + L".cmdline";
  const std::wstring Partial = Record + L".part";
  const wchar_t* Line = ::GetCommandLineW();
  HANDLE File = ::CreateFileW(Partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE) return 3;
  DWORD Written = 0;
  const BOOL Ok = ::WriteFile(File, Line, static_cast<DWORD>(wcslen(Line) * sizeof(wchar_t)), &Written, nullptr);
  ::CloseHandle(File);
  if (!Ok || !::MoveFileExW(Partial.c_str(), Record.c_str(), MOVEFILE_REPLACE_EXISTING)) return 4;
  const std::wstring Hold = std::wstring(Own) + L".hold";
  for (int I = 0; I < 1200 && ::GetFileAttributesW(Hold.c_str()) != INVALID_FILE_ATTRIBUTES; ++I) ::Sleep(100);
  return 0;
}
