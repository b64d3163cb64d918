#include "setup/distribution/Tempdir.h"

#include <cstdlib>

#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"

std::wstring TempRoot;
TTempDirectory* TempDirectory = nullptr;
std::wstring TempDirectoryPath;

TTempDirectory::TTempDirectory() {
  // Without a temporary folder the name would point at the drive root,
  // which the sweep at the end must never touch.
  const std::wstring temp = PlatformTools().GetTempPath();
  TempRoot = temp.empty() ? std::wstring() : IncludeTrailingBackslash(temp);
  SetFolder(MakeUniqueFolderName(TempRoot));
  Lock(true);
  DeleteOnUnlock = true;
}

void StartTempDirectory() {
  if (TempDirectory) return;
  TempDirectory = new TTempDirectory;
  TempDirectoryPath = TempDirectory->Folder();
  // A program (or library) that never calls FinishTempDirectory still
  // removes its folder when the process exits normally.
  static const bool atExit = std::atexit(&FinishTempDirectory) == 0;
  (void)atExit;
}

void FinishTempDirectory() {
  if (!TempDirectory) return;
  delete TempDirectory;
  TempDirectory = nullptr;
  if (TempRoot.empty()) return;
  try {
    ClearStaleFolders(TempRoot, false, false);
  } catch (...) {
  }
}
