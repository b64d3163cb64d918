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

}  // namespace testsupport
