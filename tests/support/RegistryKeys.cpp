#include "support/RegistryKeys.h"

#include <algorithm>
#include <atomic>

#include <gtest/gtest.h>

namespace testsupport {

std::wstring UniqueName(const std::wstring& prefix) {
  static std::atomic<unsigned> counter{0};
  return prefix + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(::GetTickCount() % 100000) +
         L"_" + std::to_wstring(++counter);
}

ScopedRegistryKey::ScopedRegistryKey(HKEY root, std::wstring path) : Root(root), Path(std::move(path)) {}

ScopedRegistryKey::~ScopedRegistryKey() {
  if (!Path.empty()) ::RegDeleteTreeW(Root, Path.c_str());
}

SavedRegistryValue::SavedRegistryValue(HKEY root, std::wstring key, std::wstring name)
    : Root(root), Key(std::move(key)), Name(std::move(name)), Saved(ReadStringValue(Root, Key, Name)) {}

SavedRegistryValue::~SavedRegistryValue() {
  if (Saved) {
    WriteStringValues(Root, Key, {{Name, *Saved}});
    return;
  }
  HKEY key = nullptr;
  if (::RegOpenKeyExW(Root, Key.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  ::RegDeleteValueW(key, Name.c_str());
  ::RegCloseKey(key);
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  ::RegCloseKey(opened);
  return true;
}

std::optional<std::wstring> ReadStringValue(HKEY root, const std::wstring& key, const std::wstring& name) {
  wchar_t buffer[2048];
  DWORD size = sizeof(buffer);
  if (::RegGetValueW(root, key.c_str(), name.empty() ? nullptr : name.c_str(), RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(buffer);
}

std::optional<DWORD> ReadDwordValue(HKEY root, const std::wstring& key, const std::wstring& name) {
  DWORD value = 0, size = sizeof(value);
  if (::RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& key) {
  std::vector<std::wstring> names;
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[512];
    DWORD length = 512;
    if (::RegEnumValueW(opened, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  ::RegCloseKey(opened);
  std::sort(names.begin(), names.end());
  return names;
}

void WriteStringValues(HKEY root, const std::wstring& key,
                       const std::vector<std::pair<std::wstring, std::wstring>>& values) {
  HKEY created = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr), ERROR_SUCCESS)
      << "cannot create the test key";
  for (const auto& [name, value] : values) {
    ::RegSetValueExW(created, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  ::RegCloseKey(created);
}

void ForgetPendingRenames(const std::wstring& containing) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size);
    // Pairs of source and target names, each zero-terminated.
    std::vector<std::wstring> names;
    for (std::size_t at = 0; at < size / sizeof(wchar_t) && data[at];) {
      names.emplace_back(data.c_str() + at);
      at += names.back().size() + 1;
    }
    std::wstring kept;
    for (std::size_t i = 0; i + 1 < names.size(); i += 2) {
      if (names[i].find(containing) != std::wstring::npos) continue;
      kept += names[i] + L'\0' + names[i + 1] + L'\0';
    }
    if (kept.empty()) {
      ::RegDeleteValueW(key, L"PendingFileRenameOperations");
    } else {
      kept += L'\0';
      ::RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    }
  }
  ::RegCloseKey(key);
}

std::wstring PendingRenames() {
  HKEY key = nullptr;
  std::wstring data;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
    return data;
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    data.resize(size / sizeof(wchar_t) + 1);
    ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size);
    for (wchar_t& c : data) {
      if (c == L'\0') c = L'|';
    }
  }
  ::RegCloseKey(key);
  return data;
}

}  // namespace testsupport
