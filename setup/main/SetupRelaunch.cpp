#include "setup/main/SetupRelaunch.h"

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
// after Win.h: needs <windows.h>
#include <shellapi.h>
#include "setup/main/SetupCommandLine.h"
#include "setup/main/SetupLog.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SystemRuntimeMessages.h"
#include "setup/messages/XilSetupRuntimeMessages.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {

// A folder whose executable is in use belongs to a running copy; this many
// are tried before giving up (the copy then fails with its error box).
constexpr unsigned MaxRelaunchFolders = 9999;
constexpr DWORD StartIdleTimeoutMs = 5000;
// SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NO_CONSOLE
constexpr ULONG RelaunchExecuteMask = 0x8440;

bool FileExists(const std::wstring& path) { return PlatformTools().FileExists(path); }

bool IsFolder(const std::wstring& path) { return PlatformTools().DirectoryExists(path); }

using MoveFileExFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);

// Schedules a file or an empty folder for deletion at the next restart;
// MoveFileExW is looked up by name, as older systems lack it.
bool ScheduleDeletion(const std::wstring& path) {
  static const auto moveFileEx = reinterpret_cast<MoveFileExFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "MoveFileExW")));
  return moveFileEx && moveFileEx(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void HandleDeleteFailure(const std::wstring& path, bool folder, bool scheduleLocked) {
  const DWORD error = ::GetLastError();
  if (scheduleLocked) {
    ScheduleDeletion(path);
    return;
  }
  GuiTools().ShowMessage(mkError,
                         FormatText(folder ? rsSetupDeleteDirectoryFailed : rsSetupDeleteFileFailed,
                                    {path, SystemErrorMessage(error)}),
                         std::wstring(), false);
}

void DeleteFolderContent(const std::wstring& folder, bool removeFolders, bool scheduleLocked) {
  WIN32_FIND_DATAW data;
  UniqueFindHandle find(::FindFirstFileW((folder + L"*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + name;
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isFolder) {
      if (!isLink) DeleteFolderContent(path + L"\\", removeFolders, scheduleLocked);
      if ((removeFolders || isLink) && !::RemoveDirectoryW(path.c_str())) {
        HandleDeleteFailure(path, true, scheduleLocked);
      }
    } else {
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!::DeleteFileW(path.c_str())) HandleDeleteFailure(path, false, scheduleLocked);
    }
  } while (::FindNextFileW(find.get(), &data));
}

bool CopyForRelaunch(const std::wstring& source, const std::wstring& target) {
  if (::CopyFileW(source.c_str(), target.c_str(), FALSE)) return true;
  ShowSystemError(::GetLastError(), FormatText(rsSetupCopyFile, {source, target}));
  return false;
}

void StartCopy(const std::wstring& program, const std::wstring& parameters) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = RelaunchExecuteMask;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) {
    ShowSystemError(::GetLastError(), rsSetupDialogRunProgram + L"\"" + program + L"\"");
    return;
  }
  UniqueKernelHandle process(info.hProcess);
  if (process) ::WaitForInputIdle(process.get(), StartIdleTimeoutMs);
}

std::wstring CurrentFolder() {
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(size, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(size, folder.data());
  folder.resize(length < size ? length : 0);
  return folder;
}

}  // namespace

static_assert(sizeof(SHELLEXECUTEINFOW) == 112);

std::wstring SetupExeName() { return ExtractFileName(ProgramPath()); }

std::wstring SetupExeDir() { return ExtractFilePath(ProgramPath()); }

std::wstring RelaunchRoot() {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  return IncludeTrailingBackslash(std::wstring(temp, length)) + L"JOMSETUP.TMP\\";
}

std::wstring GetRelaunchDir() {
  const std::wstring root = RelaunchRoot();
  const std::wstring exe = SetupExeName();
  std::wstring candidate;
  for (unsigned n = 1; n <= MaxRelaunchFolders; ++n) {
    candidate = root + std::to_wstring(n);
    if ((!IsFolder(candidate) && !FileExists(candidate)) || !IsFileLocked(candidate + L"\\" + exe)) break;
  }
  ForceDirectoriesQuiet(candidate);  // a failure shows in the copy error boxes
  return candidate;
}

void DeleteTree(const std::wstring& folder, bool removeFolders, bool scheduleLocked) {
  const std::wstring root = IncludeTrailingBackslash(folder);
  if (root.size() <= 3 || !IsFolder(root)) return;
  ScopedErrorMode quiet(SEM_FAILCRITICALERRORS);
  DeleteFolderContent(root, removeFolders, scheduleLocked);
  if (removeFolders && !::RemoveDirectoryW(ExcludeTrailingBackslash(root).c_str())) {
    HandleDeleteFailure(ExcludeTrailingBackslash(root), true, scheduleLocked);
  }
}

void RemoveFolderOrSchedule(const std::wstring& folder) {
  const std::wstring path = ExcludeTrailingBackslash(folder);
  if (!::RemoveDirectoryW(path.c_str()) && IsFolder(path)) ScheduleDeletion(path);
}

void RelaunchFromTemp(const std::vector<std::wstring>& args) {
  const std::wstring source = SetupExeDir();
  const std::wstring target = IncludeTrailingBackslash(GetRelaunchDir());
  const std::wstring exe = SetupExeName();
  const bool programCopied = CopyForRelaunch(source + exe, target + exe);
  const bool localizationCopied = CopyForRelaunch(source + L"setup.sln", target + L"setup.sln");
  CopyForRelaunch(source + L"setup.exe.admin.manifest", target + exe + L".manifest");
  if (!programCopied || !localizationCopied) return;
  StartCopy(target + exe, BuildRelaunchArguments(source, args, CurrentFolder(), FileExists));
}

void ShowSystemError(std::uint32_t code, const std::wstring& what) {
  const std::wstring text = FormatText(rsSetupSysErrorMessage, {what, SystemErrorMessage(code)});
  WriteSetupLog(TSetupLogEntry::Error, text);
  ::MessageBoxW(nullptr, text.c_str(), rsCaptionError.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
