#include "launcher/LauncherSystem.h"

#include "platform/UniqueHandle.h"
#include "platform/Win.h"

std::wstring EnvironmentText(const wchar_t* Name) {
  std::wstring Value(64, L'\0');
  for (;;) {
    const DWORD Length = ::GetEnvironmentVariableW(Name, Value.data(), static_cast<DWORD>(Value.size()));
    if (Length == 0) return {};
    if (Length < Value.size()) {
      Value.resize(Length);
      return Value;
    }
    Value.resize(Length);  // Length counts the terminator when the buffer is too small
  }
}

std::string Utf8FromWide(const std::wstring& Text) {
  if (Text.empty()) return {};
  const int Size = ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                                         nullptr, nullptr);
  if (Size <= 0) return {};
  std::string Result(static_cast<std::size_t>(Size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Size, nullptr,
                        nullptr);
  return Result;
}

std::wstring WideFromAnsi(const char* Text) {
  const int Size = ::MultiByteToWideChar(CP_ACP, 0, Text, -1, nullptr, 0);
  if (Size <= 1) return {};
  std::wstring Result(static_cast<std::size_t>(Size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, Text, -1, Result.data(), Size);
  Result.resize(static_cast<std::size_t>(Size) - 1);
  return Result;
}

bool DirectoryExists(const std::wstring& Path) {
  if (Path.empty()) return false;
  ScopedErrorMode ErrorMode(SEM_FAILCRITICALERRORS);
  const DWORD Attributes = ::GetFileAttributesW(Path.c_str());
  if (Attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((Attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // A link: what counts is the folder it leads to.
  UniqueKernelHandle Target(::CreateFileW(Path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION Info{};
  if (!Target || !::GetFileInformationByHandle(Target.get(), &Info)) return false;
  return (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring WithTrailingBackslash(std::wstring Path) {
  if (!Path.empty() && Path.back() != L'\\') Path += L'\\';
  return Path;
}
