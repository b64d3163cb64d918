#pragma once
// File routines shared by the engine and the file services: raising a
// failed system call with the affected name, folder creation and deletion,
// file comparison, locked-file tests and rebuilding split files. Routines
// either return false or raise EOSError through CheckOSResult, as stated.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Exception.h"
#include "platform/PlatformIntfTypes.h"

// A failed system call: the system's message for the code followed by
// " (" + the affected name + ")".
class EOSError : public Exception {
public:
  EOSError(std::uint32_t errorCode, const std::wstring& message) : Exception(message), Code(errorCode) {}
  std::uint32_t ErrorCode() const { return Code; }

private:
  std::uint32_t Code;
};

// The system's text for an error code, without trailing line breaks and
// dots; "System error N" when the system has none.
std::wstring SystemErrorMessage(std::uint32_t errorCode);

// Nothing when success. Otherwise raises EOSError for the thread's last
// error, naming the affected file or folder; returns false when the last
// error is 0 (a failure without a reason is left to the caller).
bool CheckOSResult(bool success, const std::wstring& name);

// The full path of the running executable (however deep its folder).
const std::wstring& ProgramPath();

// Creates the folder chain; failure is ignored here (false tells it).
bool EnsureDirectories(const std::wstring& path);
// The same without a "insert a disk" dialog, with the result.
bool ForceDirectoriesQuiet(const std::wstring& path);

// True when the folder holds a file matching mask (or, with directories, any
// entry other than "." and ".."). A path containing "*" is the pattern itself.
bool DirectoryHasEntries(const std::wstring& path, const std::wstring& mask, bool withDirectories);

// Decides for one file (full path) whether DeleteFiles deletes it.
using TFileFilter = std::function<bool(const std::wstring& file)>;

// Deletes the folder's files (read-only ones too) and, when recursive, its
// subfolders; then the folder itself when asked. A drive root is never
// touched (false). Linked folders are unlinked, never entered. A failed
// deletion makes the result false and raises unless errors are ignored.
// Files that keep accepts stay (and with them their folders), which is no
// failure.
bool DeleteDirectory(const std::wstring& path, bool deleteItself, bool recursive, bool ignoreErrors,
                     const TFileFilter& keep = {});
// Deletes every file matching mask that the filter (if any) accepts, read-only
// ones too; a failure raises unless errors are ignored, then it is skipped.
void DeleteFiles(const std::wstring& directory, const std::wstring& mask, bool ignoreErrors,
                 const TFileFilter& filter = {});
// Creates the folder if needed, then empties it (recursive: subfolders too).
void ClearDirectory(const std::wstring& path, bool recursive, bool ignoreErrors);

// Sets the last-write time from a DOS date-time (local time) or a day-count
// date-time (local time); nothing for 0. False when the file cannot be set.
bool SetFileDate(const std::wstring& file, std::uint32_t dosDateTime);
bool SetFileDateTime(const std::wstring& file, DateTime dateTime);

// Contains a drive colon or a double backslash (a network path).
bool IsAbsolutePath(const std::wstring& path);
// The trimmed path, prefixed with base (trimmed, with backslash) when relative.
std::wstring MakeAbsolutePath(const std::wstring& path, const std::wstring& base);
// The path lies in the directory (compared upper-cased, directory with backslash).
bool IsSubPath(const std::wstring& directory, const std::wstring& path);
// "X:..." on a removable drive.
bool IsRemovablePath(const std::wstring& path);
// "\\server..." or a path on a network drive.
bool IsNetworkPath(const std::wstring& path);

// True when the file exists and cannot be opened with the open mode (0x12
// asks for exclusive read and write access: any other user makes it locked).
bool IsFileLocked(const std::wstring& path, std::uint8_t openMode = OpenModeReadWriteExclusive);
// The file's size in bytes, -1 when it cannot be measured.
std::int64_t GetFileSize(const std::wstring& path, bool forceOpen = false);
// True when both files open, have the same size and the same bytes.
bool FilesEqual(const std::wstring& a, const std::wstring& b, bool& sameSize);

// Asked for a part that is missing; may change the name (for instance after
// asking for the medium that holds the part).
using TLocatePart = std::function<void(std::wstring& partFile)>;
// Rebuilds a file split into numbered parts (base with the part extension
// and a number, or the base itself first) into destination; parts follow as
// long as each has the first part's size. True when the destination was
// created; failures to create or write it raise.
bool JoinFileParts(const std::wstring& base, const std::wstring& destination, const std::wstring& partExtension,
                   int firstIndex, bool twoDigits, bool firstIsBase, const TLocatePart& locate = {});
// The extension of part number index (".z" + 3 → ".z3", 10 → ".z10").
std::wstring PartExtension(const std::wstring& partExtension, int index, bool twoDigits);
