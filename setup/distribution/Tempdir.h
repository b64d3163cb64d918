#pragma once
// The process's own locked work folder under the system temporary folder:
// made when the program starts, removed when it ends, when the program
// also sweeps the work folders that dead processes left behind.

#include <string>

#include "setup/distribution/LockDirs.h"

// A locked work folder with a fresh unique name under TempRoot, removed
// with its content when unlocked.
class TTempDirectory : public TLockDirectory {
public:
  // Sets TempRoot to the system temporary folder and locks a new folder
  // under it (the process ends when its lock file cannot be created).
  TTempDirectory();
};

// The system temporary folder (trailing backslash), the process's work
// folder and its path; empty until StartTempDirectory.
extern std::wstring TempRoot;
extern TTempDirectory* TempDirectory;
extern std::wstring TempDirectoryPath;

// Program start: creates the process's work folder (once) and makes sure
// FinishTempDirectory runs at a normal process exit.
void StartTempDirectory();
// Program end: removes the work folder, then sweeps TempRoot for stale work
// folders of other processes (never raises). Nothing once it has run.
void FinishTempDirectory();
