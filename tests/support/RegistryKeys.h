#pragma once
// Registry helpers of the tests: names unique to the test run, keys that
// delete themselves, values saved and put back, and plain reads.

#include <optional>
#include <string>
#include <vector>

#include "platform/Win.h"

namespace testsupport {

// prefix + process id + a counter: no two tests (or runs) share a name.
std::wstring UniqueName(const std::wstring& prefix);

// A key the test creates (or expects the code under test to create); it is
// deleted with everything below it when the object goes away.
class ScopedRegistryKey {
public:
  ScopedRegistryKey(HKEY root, std::wstring path);
  ~ScopedRegistryKey();
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
  const std::wstring& path() const { return Path; }

private:
  HKEY Root;
  std::wstring Path;
};

// A shared value the test changes: saved at construction, written back (or
// deleted when it did not exist) at destruction.
class SavedRegistryValue {
public:
  SavedRegistryValue(HKEY root, std::wstring key, std::wstring name);
  ~SavedRegistryValue();
  SavedRegistryValue(const SavedRegistryValue&) = delete;
  SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

private:
  HKEY Root;
  std::wstring Key, Name;
  std::optional<std::wstring> Saved;
};

bool KeyExists(HKEY root, const std::wstring& key);
std::optional<std::wstring> ReadStringValue(HKEY root, const std::wstring& key, const std::wstring& name);
std::optional<DWORD> ReadDwordValue(HKEY root, const std::wstring& key, const std::wstring& name);
// The names of the key's values, sorted.
std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& key);
// Creates the key and sets string values (name, value).
void WriteStringValues(HKEY root, const std::wstring& key,
                       const std::vector<std::pair<std::wstring, std::wstring>>& values);

// The system's list of renames and deletions at restart, each name followed
// by "|" as in the stored multi-string.
std::wstring PendingRenames();
// Removes the entries whose source name contains the text from that list.
void ForgetPendingRenames(const std::wstring& containing);

}  // namespace testsupport
