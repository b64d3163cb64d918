#include "setup/engine/ProfileFiles.h"

#include "platform/FileTool.h"
#include "platform/Win.h"

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
  CheckOSResult(::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != FALSE,
                file);
}

void EraseProfileSection(const std::wstring& file, const std::wstring& section) {
  CheckOSResult(::WritePrivateProfileStringW(section.c_str(), nullptr, nullptr, file.c_str()) != FALSE, file);
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
