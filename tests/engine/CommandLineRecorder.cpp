// Test helper standing in for the product's own programs run around an
// install: writes the command line it was started with, as UTF-8, into the
// file of its own path followed by ".cmdline", and exits.
#include <string>

#include "platform/Win.h"

int wmain() {
  wchar_t path[MAX_PATH * 2];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return 1;
  const std::wstring file = std::wstring(path, length) + L".cmdline";
  const wchar_t* line = ::GetCommandLineW();
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 1 ? size - 1 : 0), '\0');
  if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), size, nullptr, nullptr);
  HANDLE out = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(out);
  return 0;
}
