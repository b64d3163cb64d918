#include "setup/engine/ProfileFiles.h"

#include <string>

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"

namespace {

bool FitsAnsiCodePage(const std::wstring& text) {
  // A UTF-8 code page holds everything (and takes no default-character flag).
  if (text.empty() || ::GetACP() == CP_UTF8) return true;
  BOOL usedDefault = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, &usedDefault);
  return size > 0 && !usedDefault;
}

bool ReadBytes(const std::wstring& file, std::string& bytes) {
  UniqueKernelHandle handle(
      ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return false;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle.get(), &size)) return false;
  if (size.QuadPart > 64 * 1024 * 1024) {
    ::SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  if (bytes.empty()) return true;
  DWORD read = 0;
  if (!::ReadFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return false;
  if (read != bytes.size()) {
    ::SetLastError(ERROR_READ_FAULT);
    return false;
  }
  return true;
}

bool WriteBytes(const std::wstring& file, const std::string& bytes) {
  IPlatformTools& tools = PlatformTools();
  UniqueKernelHandle handle(static_cast<HANDLE>(tools.OpenFileHandle(file, OpenModeWriteExclusive, false)));
  if (!handle) return false;
  std::uint32_t written = 0;
  return tools.WriteFileData(handle.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), written) &&
         written == bytes.size() && ::FlushFileBuffers(handle.get());
}

// Rewrites an ANSI profile file as UTF-16 with its byte-order mark, through a
// file beside it, so that a failure leaves the old file whole. A file that
// already has a byte-order mark stays as it is.
void StoreAsUtf16(const std::wstring& file) {
  // The profile functions may hold changes of their own in a cache.
  PlatformTools().WriteIniString(file, nullptr, nullptr, nullptr);
  std::string bytes;
  const bool exists = ReadBytes(file, bytes);
  // A file that is there but cannot be read is never written over.
  if (!exists && ::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
    CheckOSResult(false, file);
    return;
  }
  const auto starts = [&](const char* mark) { return bytes.rfind(mark, 0) == 0; };
  if (starts("\xFF\xFE") || starts("\xFE\xFF") || starts("\xEF\xBB\xBF")) return;
  std::wstring text;
  if (!bytes.empty()) {
    const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    CheckOSResult(length > 0, file);
    text.resize(static_cast<std::size_t>(length));
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
  }
  std::string unicode = "\xFF\xFE";
  for (const wchar_t c : text) {
    unicode += static_cast<char>(c & 0xFF);
    unicode += static_cast<char>((c >> 8) & 0xFF);
  }
  if (!exists) {
    CheckOSResult(WriteBytes(file, unicode), file);
    return;
  }
  const std::wstring staged = file + L".utf16";
  if (!WriteBytes(staged, unicode) || !PlatformTools().MoveFile(staged, file, MoveFileReplaceExisting)) {
    const DWORD error = ::GetLastError();
    PlatformTools().DeleteFile(staged);
    ::SetLastError(error);
    CheckOSResult(false, file);
  }
}

}  // namespace

std::wstring ReadProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                               const std::wstring& def) {
  std::wstring buffer(256, L'\0');
  for (;;) {
    const DWORD length = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                                                    static_cast<DWORD>(buffer.size()), file.c_str());
    if (length + 2 < buffer.size()) return buffer.substr(0, length);
    buffer.resize(buffer.size() * 2);
  }
}

bool ReadProfileBool(const std::wstring& file, const std::wstring& section, const std::wstring& key, bool def) {
  const int value = static_cast<int>(
      ::GetPrivateProfileIntW(section.c_str(), key.c_str(), def ? 1 : 0, file.c_str()));
  return value != 0;
}

bool ProfileSectionExists(const std::wstring& file, const std::wstring& section) {
  wchar_t keys[4] = {};
  return ::GetPrivateProfileStringW(section.c_str(), nullptr, L"", keys, 4, file.c_str()) > 0;
}

void WriteProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                        const std::wstring& value) {
  if (!FitsAnsiCodePage(section) || !FitsAnsiCodePage(key) || !FitsAnsiCodePage(value)) StoreAsUtf16(file);
  WriteAnsiProfileString(file, section, key, value);
}

void WriteAnsiProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                            const std::wstring& value) {
  CheckOSResult(PlatformTools().WriteIniString(file, section.c_str(), key.c_str(), value.c_str()), file);
}

void EraseProfileSection(const std::wstring& file, const std::wstring& section) {
  CheckOSResult(PlatformTools().WriteIniString(file, section.c_str(), nullptr, nullptr), file);
}

std::wstring ProfileFullPath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}
