#pragma once
// Folders marked alive by a lock file held open without sharing, and the
// sweep that removes the work folders of processes that are gone. Exclusion
// between processes rests only on the system's share modes: a handle opened
// without sharing keeps everybody else out until it is closed, which also
// happens when its process dies.

#include <cstdint>
#include <string>

#include "platform/PlatformIntfTypes.h"

// A folder locked by its "workfile.lck" for the object's lifetime.
class TLockDirectory {
public:
  // Stores the folder with a trailing backslash and locks it, terminating
  // the process when the lock file cannot be created.
  explicit TLockDirectory(const std::wstring& folder);
  // Unlocks.
  virtual ~TLockDirectory();
  TLockDirectory(const TLockDirectory&) = delete;
  TLockDirectory& operator=(const TLockDirectory&) = delete;

  // Creates the folder (with parents) and its lock file, held without
  // sharing. A folder that cannot be created leaves the object unlocked; a
  // lock file that cannot be created shows rsLockDirectoryWriteError and,
  // with haltOnFailure, ends the process.
  virtual void Lock(bool haltOnFailure);
  // Closes and deletes the lock file; with DeleteOnUnlock also removes the
  // folder with all it holds (errors ignored).
  virtual void Unlock();

  bool Locked() const { return LockHandle != InvalidHandle; }
  const std::wstring& Folder() const { return FolderPath; }

protected:
  // For derived folders that are named before they are locked.
  TLockDirectory() = default;
  void SetFolder(const std::wstring& folder);

  Handle LockHandle = InvalidHandle;
  std::wstring FolderPath;

public:
  bool DeleteOnUnlock = false;
  const std::wstring LockFileName = L"workfile.lck";
};

// Base + "~" + six base-36 characters + "~.~-~\" naming a folder that does
// not exist yet; the six characters come from a fresh GUID.
std::wstring MakeUniqueFolderName(const std::wstring& base);

// Removes the work folders under folder whose owners are gone (folders named
// ~??????~.~-~, ~??????~.$-$ or ~??????~.LES without a live "workfile.lck"),
// nested ones included. With clearSelf the folder's own content goes too when
// it is not locked; nested calls also remove the folder itself. Outside
// nested calls the sweep holds "cleardir.lck" in folder and returns false at
// once when another process holds it. Returns whether everything was removed.
bool ClearStaleFolders(const std::wstring& folder, bool clearSelf, bool nested);

// Opens folder + name without sharing (created, with the folder, when
// missing), retrying every 50 ms until timeoutMs passed (0: one try).
// Returns the handle, or InvalidHandle.
Handle AcquireFileLock(const std::wstring& folder, const std::wstring& name, std::uint32_t timeoutMs);
// Closes the handle of AcquireFileLock and deletes the file.
void ReleaseFileLock(const std::wstring& folder, const std::wstring& name, Handle& handle);
// True when folder + name exists and cannot be opened without sharing.
bool IsFileInUse(const std::wstring& folder, const std::wstring& name);

// How LockDirs shows an error box (rsLockDirectoryWriteError, sweep errors):
// by default an error box of GuiTools captioned with the program's name.
using TLockDirsErrorBox = void (*)(const std::wstring& text);
void SetLockDirsErrorBox(TLockDirsErrorBox show);
