#pragma once
// The first instance of setup never runs from the place it was started: it
// copies itself, its localization file and its elevation manifest into a
// numbered folder under the temporary folder and starts that copy, which
// removes the folder again when it ends.

#include <cstdint>
#include <string>
#include <vector>

// The running executable's file name (without folder).
std::wstring SetupExeName();
// The running executable's folder, with a trailing backslash.
std::wstring SetupExeDir();

// The temporary folder + "JOMSETUP.TMP\", where the relaunch folders live.
std::wstring RelaunchRoot();

// The first relaunch folder (RelaunchRoot + 1, 2, ...) that is missing or
// whose executable is not in use by a running copy, created with its
// parents; without a trailing backslash.
std::wstring GetRelaunchDir();

// Copies the executable, "setup.sln" and the manifest into GetRelaunchDir
// and starts the copy with "/STARTDIR" and the rewritten arguments. Every
// failure shows an error box; nothing starts unless the executable and
// "setup.sln" were copied.
void RelaunchFromTemp(const std::vector<std::wstring>& args);

// Deletes every file below folder (attributes reset first); with
// removeFolders also the folders, folder itself included. What cannot be
// deleted is scheduled for deletion at restart (scheduleLocked) or shown
// in an error box (ShowMessage). Drive roots and missing folders are left alone; links
// to other folders are removed, never followed.
void DeleteTree(const std::wstring& folder, bool removeFolders, bool scheduleLocked);

// Removes an empty folder; one that cannot be removed now (it still holds
// what is scheduled for deletion at restart) is scheduled after it.
void RemoveFolderOrSchedule(const std::wstring& folder);

// An error box: what, and the system's text for the error code.
void ShowSystemError(std::uint32_t code, const std::wstring& what);
