#pragma once
// What the kit builder needs of the system of its tree: folder spellings,
// the elapsed-time text, and copying, deleting and folder creation with the
// system's error codes. diCommonWin implements it over the Windows API,
// diCommonPosix over POSIX.

#include <cstdint>
#include <string>

// The absolute form of a folder with a trailing separator, so that another
// spelling of the same folder (relative, with "..") compares equal.
std::wstring FullFolder(const std::wstring& folder);
// Elapsed milliseconds as a time of day in the user's long time format.
std::wstring ElapsedText(std::uint64_t milliseconds);
// Copies source over target (replacing it); false with the system's code.
bool CopyKitFile(const std::wstring& source, const std::wstring& target, std::uint32_t& error);
// Deletes the file; raises the system's text followed by " (" + name + ")".
void DeleteKitFile(const std::wstring& fileName);
// Creates the folder with its missing parents; false when that failed.
bool ForceKitFolder(const std::wstring& folder);
