#include "setup/distribution/diCommonSystem.h"

#include <algorithm>
#include <vector>

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"

#include <shlobj.h>

#include "setup/distribution/diCommon.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

std::wstring FullFolder(const std::wstring& folder) {
  const std::wstring path = IncludeTrailingBackslash(folder);
  wchar_t buffer[4096];
  const DWORD length = ::GetFullPathNameW(path.c_str(), 4096, buffer, nullptr);
  if (length == 0 || length >= 4096) return path;
  return IncludeTrailingBackslash(std::wstring(buffer, length));
}

// Elapsed milliseconds in the long time format of the user's locale, forced
// to 24 hours without a time marker: a duration of zero is not "12:00:00 AM".
std::wstring ElapsedText(std::uint64_t milliseconds) {
  const std::uint64_t seconds = milliseconds / 1000;
  SYSTEMTIME time{};
  time.wYear = 2000;
  time.wMonth = 1;
  time.wDay = 1;
  time.wHour = static_cast<WORD>((seconds / 3600) % 24);
  time.wMinute = static_cast<WORD>((seconds / 60) % 60);
  time.wSecond = static_cast<WORD>(seconds % 60);
  wchar_t buffer[128];
  const int length = ::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_FORCE24HOURFORMAT | TIME_NOTIMEMARKER, &time, nullptr, buffer, 128);
  return length > 1 ? std::wstring(buffer, static_cast<std::size_t>(length - 1)) : std::to_wstring(seconds);
}

bool CopyKitFile(const std::wstring& source, const std::wstring& target, std::uint32_t& error) {
  if (::CopyFileW(source.c_str(), target.c_str(), FALSE)) return true;
  error = ::GetLastError();
  return false;
}

void DeleteKitFile(const std::wstring& fileName) { CheckOSResult(::DeleteFileW(fileName.c_str()) != FALSE, fileName); }

bool ForceKitFolder(const std::wstring& folder) { return ForceDirectoriesQuiet(folder); }

namespace {
bool SameFolderText(const std::wstring& a, const std::wstring& b) { return UpperCaseText(a) == UpperCaseText(b); }

[[noreturn]] void Raise(const std::wstring& text) { throw EMessageError(text); }

// "C:" or "\\server\share" of a path; empty for a relative one.
std::wstring DriveOf(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
  if (path.size() < 2 || path[0] != L'\\' || path[1] != L'\\') return {};
  std::size_t end = path.find(L'\\', 2);
  if (end != std::wstring::npos) end = path.find(L'\\', end + 1);
  return path.substr(0, end);
}

// A path with backslashes only and without the prefix that hands it to the
// object manager as it is ("\\?\", "\\.\", "\??\"): "//?/C:/Windows" is
// C:\Windows.
std::wstring WithoutDevicePrefix(const std::wstring& path) {
  std::wstring text = path;
  std::replace(text.begin(), text.end(), L'/', L'\\');
  if (text.size() >= 8 && SameFolderText(text.substr(0, 8), L"\\\\?\\UNC\\")) return L"\\" + text.substr(7);
  for (const wchar_t* prefix : {L"\\\\?\\", L"\\\\.\\", L"\\??\\"}) {
    if (text.rfind(prefix, 0) == 0 && text.size() > 5 && text[5] == L':') return text.substr(4);
  }
  return text;
}

// Where an existing folder really is, links followed: a program folder
// that links to the Windows folder is the Windows folder.
std::wstring FinalFolder(const std::wstring& folder) {
  UniqueKernelHandle handle(::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return {};
  wchar_t buffer[4096];
  const DWORD length = ::GetFinalPathNameByHandleW(handle.get(), buffer, 4096, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= 4096) return {};
  return WithoutDevicePrefix(std::wstring(buffer, length));
}

// A folder in one canonical spelling for comparisons: absolute, links
// followed, long names, without a trailing backslash.
std::wstring CanonicalFolder(const std::wstring& folder) {
  std::wstring path = FullFolder(WithoutDevicePrefix(folder));
  const std::wstring finalPath = FinalFolder(path);
  if (!finalPath.empty()) path = IncludeTrailingBackslash(finalPath);
  const std::wstring longPath = PlatformTools().GetLongPathName(path);
  if (!longPath.empty()) path = longPath;
  return ExcludeTrailingBackslash(path);
}

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) || path[0] == L'\0') return {};
  return path;
}

// Folders that belong to the system or to every user: an uninstall removes
// the program folder whole, so none of them may be one.
std::vector<std::wstring> SpecialFolders() {
  std::vector<std::wstring> folders;
  for (const int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
                          CSIDL_PROFILE, CSIDL_COMMON_APPDATA, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY,
                          CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS}) {
    const std::wstring path = ShellFolder(csidl);
    if (!path.empty()) folders.push_back(CanonicalFolder(path));
  }
  return folders;
}

// The folder that holds the users' profiles (C:\Users).
std::wstring ProfilesFolder() {
  const std::wstring profile = ShellFolder(CSIDL_PROFILE);
  return profile.empty() ? std::wstring() : ExcludeTrailingBackslash(ExtractFilePath(CanonicalFolder(profile)));
}
}  // namespace

void ValidateProgramFolder(const std::wstring& folder) {
  const std::wstring trimmed = TrimText(folder);
  if (trimmed.empty()) Raise(rsInstallDirectoryNotSpecified);
  const std::wstring path = ExcludeTrailingBackslash(trimmed);
  if (SameFolderText(path, ExcludeTrailingBackslash(DriveOf(trimmed)))) Raise(rsInstallDirectoryInvalid);
  const std::wstring canonical = CanonicalFolder(trimmed);
  if (SameFolderText(canonical, ExcludeTrailingBackslash(DriveOf(canonical)))) Raise(rsInstallDirectoryInvalid);
  for (const std::wstring& special : SpecialFolders()) {
    if (SameFolderText(canonical, special)) Raise(rsInstallDirectoryInvalid);
  }
  // The profiles folder itself and any user's profile root in it.
  const std::wstring profiles = ProfilesFolder();
  if (!profiles.empty() && (SameFolderText(canonical, profiles) ||
                            SameFolderText(ExcludeTrailingBackslash(ExtractFilePath(canonical)), profiles))) {
    Raise(rsInstallDirectoryInvalid);
  }
}

