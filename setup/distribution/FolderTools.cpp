#include "setup/distribution/FolderTools.h"

#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"

namespace {
using UniqueFind = UniqueHandle<FindHandleTraits>;

void DeleteFileQuietly(const std::wstring& path) {
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}
}  // namespace

std::vector<TFolderEntry> ListFolder(const std::wstring& folder) {
  std::vector<TFolderEntry> entries;
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileW((IncludeTrailingBackslash(folder) + L"*").c_str(), &data));
  if (!find) return entries;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (::FindNextFileW(find.get(), &data));
  return entries;
}

bool CreateFolderWithParents(const std::wstring& folder) {
  const std::wstring path = ExcludeTrailingBackslash(folder);
  if (path.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::wstring parent = ExtractFilePath(path);
  // A drive root or share root ends the climb: it exists or nothing can be made.
  if (!parent.empty() && parent.size() < path.size() && parent.size() > 3) CreateFolderWithParents(parent);
  if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS;
}

void DeleteFolderFiles(const std::wstring& folder) {
  const std::wstring base = IncludeTrailingBackslash(folder);
  for (const TFolderEntry& entry : ListFolder(base)) {
    if (!entry.IsFolder) DeleteFileQuietly(base + entry.Name);
  }
}

void DeleteFolderContent(const std::wstring& folder) {
  const std::wstring base = IncludeTrailingBackslash(folder);
  for (const TFolderEntry& entry : ListFolder(base)) {
    const std::wstring path = base + entry.Name;
    if (!entry.IsFolder) {
      DeleteFileQuietly(path);
      continue;
    }
    if (!entry.IsLink) DeleteFolderContent(path);
    DeleteFolderQuietly(path);
  }
}

void DeleteFolderQuietly(const std::wstring& folder) {
  const std::wstring path = ExcludeTrailingBackslash(folder);
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
  ::RemoveDirectoryW(path.c_str());
}
