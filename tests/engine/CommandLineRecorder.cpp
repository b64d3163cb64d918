// Test helper standing in for the product's own programs run around an
// install: after a short pause (so that a caller that does not wait misses
// the record) it appends the command line it was started with, as UTF-8 and
// followed by a line break, to the file named by TAVREL_RECORDER_LOG, or
// else to the file of its own path followed by ".cmdline", and exits with 0.
#include <string>

#include "platform/Win.h"

namespace {
std::wstring RecordFile() {
  wchar_t path[MAX_PATH * 2];
  DWORD length = ::GetEnvironmentVariableW(L"TAVREL_RECORDER_LOG", path, MAX_PATH * 2);
  if (length > 0 && length < MAX_PATH * 2) return std::wstring(path, length);
  length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return {};
  return std::wstring(path, length) + L".cmdline";
}
}  // namespace

int wmain() {
  ::Sleep(300);
  const std::wstring file = RecordFile();
  if (file.empty()) return 1;
  const wchar_t* line = ::GetCommandLineW();
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 1 ? size - 1 : 0), '\0');
  if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), size, nullptr, nullptr);
  text += '\n';
  HANDLE out = ::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(out);
  return 0;
}
