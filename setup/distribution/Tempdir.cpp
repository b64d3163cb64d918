#include "setup/distribution/Tempdir.h"

#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/Win.h"

std::wstring TempRoot;
TTempDirectory* TempDirectory = nullptr;
std::wstring TempDirectoryPath;

namespace {
// The system temporary folder; the platform's answer when it has one.
std::wstring SystemTempPath() {
  std::wstring path = PlatformTools().GetTempPath();
  if (!path.empty()) return IncludeTrailingBackslash(path);
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  return length == 0 || length > MAX_PATH ? std::wstring() : IncludeTrailingBackslash(std::wstring(buffer, length));
}
}  // namespace

TTempDirectory::TTempDirectory() {
  TempRoot = SystemTempPath();
  SetFolder(MakeUniqueFolderName(TempRoot));
  Lock(true);
  DeleteOnUnlock = true;
}

void StartTempDirectory() {
  if (TempDirectory) return;
  TempDirectory = new TTempDirectory;
  TempDirectoryPath = TempDirectory->Folder();
}

void FinishTempDirectory() {
  delete TempDirectory;
  TempDirectory = nullptr;
  if (TempRoot.empty()) return;
  try {
    ClearStaleFolders(TempRoot, false, false);
  } catch (...) {
  }
}
