#pragma once
// The Windows shell services of setup: special folders, shortcuts, the
// folder-selection dialog, shell file operations and change notification.
// Routines that use COM initialise it for the call. They never throw: a
// failure is an empty text, false or a shell error code, with the reason in
// the thread's last error where the system leaves one.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/PlatformIntfTypes.h"
#include "platform/SyncIntfTypes.h"

// COM initialised for the length of one operation (apartment-threaded
// unless flags say otherwise), undone only when this scope did it.
class TComScope {
public:
  explicit TComScope(unsigned long flags = 2 /* COINIT_APARTMENTTHREADED */);
  ~TComScope();
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

private:
  long Result;
};

// The folder kinds of the routines that take one (an index into the table
// of CSIDL values); kind 19 names no folder (the whole namespace).
constexpr int FolderKindNone = 19;
// The CSIDL of a folder kind; -1 for kind 19 and for unknown kinds.
int FolderKindCsidl(int kind);
// The "Shell Folders" registry value that names the CSIDL's folder; empty when none.
std::wstring ShellFoldersValueName(int csidl);

// The steps of GetSpecialFolderPath that ask the system, replaceable by tests.
struct TSpecialFolderQueries {
  std::function<std::wstring(int csidl)> Shell;         // the shell's own answer
  std::function<std::wstring(int csidl)> ShellFolders;  // the "Shell Folders" registry value
  std::function<std::wstring()> WindowsDirectory;
};
const TSpecialFolderQueries& SystemSpecialFolderQueries();

// The folder of the CSIDL: the shell's answer, else the "Shell Folders"
// value, else (program files only) the Windows drive + "Program Files".
std::wstring GetSpecialFolderPath(int csidl, const TSpecialFolderQueries& queries = SystemSpecialFolderQueries());
// Local application data, else application data, else the Windows folder + "\Application Data".
std::wstring GetLocalAppDataFolder(const TSpecialFolderQueries& queries = SystemSpecialFolderQueries());
// Common application data, else a folder below the Windows folder.
std::wstring GetCommonAppDataFolder(const TSpecialFolderQueries& queries = SystemSpecialFolderQueries());
// The parsing name of a folder kind (its file-system path for file folders); empty on failure.
std::wstring GetShellFolderParsingName(int kind);
// The all-users Programs folder of the Start menu, else the user's.
std::wstring GetProgramsFolder();

// The folder-selection dialog, opened on the nearest existing folder of
// path. With edit box, a typed path that does not exist is accepted. True
// (and path changed) when the user chose; with files, a chosen file gives
// its folder.
bool SelectDirectory(std::wstring& path, const std::wstring& caption, int rootKind, bool includeFiles,
                     bool editBox);
// The nearest existing folder among path and its ancestors; empty when none.
std::wstring NearestExistingDirectory(const std::wstring& path);

// A shell link to target (working folder: the target's folder), saved as
// linkFile, whose folder is created first. Empty arguments and icon are not set.
bool CreateShortcut(const std::wstring& target, const std::wstring& arguments, const std::wstring& description,
                    const std::wstring& linkFile, const std::wstring& iconLocation);
// The same with the target given as a shell item path (which need not be a file).
bool CreateShortcutToItem(const std::wstring& itemPath, const std::wstring& arguments, const std::wstring& linkFile);
// Programs folder + group + "\" + name + ".lnk"; empty when there is no
// Programs folder or the result would lie outside it.
std::wstring ProgramsShortcutFile(const std::wstring& group, const std::wstring& name);
// The description is name's file-name part.
bool CreateProgramsShortcut(const std::wstring& group, const std::wstring& name, const std::wstring& target,
                            const std::wstring& arguments);
// Deletes the link, then every folder above it that became empty, stopping
// below the Programs folder and at the first folder that stays.
bool DeleteProgramsShortcut(const std::wstring& group, const std::wstring& name);

// Deletes the file or folder (with its content) without the recycle bin;
// 0 also when nothing of that kind exists, else the shell's error code.
int ShellDelete(const std::wstring& path, bool isDirectory);
// ShellDelete of the folder, else RemoveDirectory.
bool ShellDeleteDirectory(const std::wstring& path);
// Copies (several sources and destinations separated by NUL characters in
// the lists); silent shows neither progress nor errors. 0 or the shell's error code.
int ShellCopy(const std::wstring& from, const std::wstring& to, bool silent);
int ShellCopyLists(const std::vector<std::wstring>& sources, const std::vector<std::wstring>& destinations);
// SHCreateDirectory, else the folder chain created one by one.
bool ShellCreateDirectory(const std::wstring& directory);
// True for an empty or short path and an existing folder; otherwise creates the chain.
bool ShellForceDirectories(const std::wstring& path);

// Tells the shell that file associations changed.
void NotifyAssociationsChanged();

// Runs the file through the shell; with wait, waits (processing messages)
// until it ends or the terminate object is terminated, which ends it.
// True when it ran (and, with wait, was not cancelled); exitCode 0 if unknown.
bool ShellExecuteAndWait(const std::wstring& file, const std::wstring& parameters, const std::wstring& verb,
                         int showCommand, bool wait, std::uint32_t pollMs, std::uint32_t& exitCode,
                         RefPtr<ITerminateObject> terminate);
// The system's open-with dialog for the file.
bool OpenWithDialog(const std::wstring& file, WindowHandle owner);
// Opens the document with its program; on failure optionally the open-with
// dialog, and when that fails too an error box.
bool OpenDocument(const std::wstring& file, bool offerOpenWith, WindowHandle owner);

// Shell file operations through IFileOperation; elevated asks the user for
// administrator rights first. S_OK or the failure (E_FAIL when aborted).
std::int32_t FileOperationCopyFolder(const std::wstring& from, const std::wstring& to, bool elevated);
std::int32_t FileOperationDelete(const std::wstring& path, bool elevated);
