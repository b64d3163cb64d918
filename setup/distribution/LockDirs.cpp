#include "setup/distribution/LockDirs.h"

#include <exception>
#include <vector>

#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "setup/distribution/Crc_32.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SystemRuntimeMessages.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {
const wchar_t* const SweepLockName = L"cleardir.lck";
const wchar_t* const WorkFileName = L"workfile.lck";

void DefaultErrorBox(const std::wstring& text) {
  GuiTools().ShowMessage(mkError, text, ExtractFileName(PlatformTools().GetModuleFileName(nullptr)), false);
}

TLockDirsErrorBox ErrorBox = &DefaultErrorBox;

// "~??????~" followed by one of the three suffixes of work folders.
bool IsWorkFolderName(const std::wstring& name, const wchar_t* suffix) {
  const std::wstring tail = suffix;
  if (name.size() != 8 + tail.size() || name[0] != L'~' || name[7] != L'~') return false;
  return SameTextAscii(name.substr(8), tail);
}

// The subfolders of folder whose names fit the suffix; links to folders
// elsewhere are never entered.
std::vector<std::wstring> WorkFolders(const std::wstring& folder, const wchar_t* suffix) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry{};
  UniqueHandle<FindHandleTraits> find(::FindFirstFileW((folder + L"*").c_str(), &entry));
  if (!find) return names;
  do {
    const DWORD attributes = entry.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        IsWorkFolderName(entry.cFileName, suffix))
      names.push_back(entry.cFileName);
  } while (::FindNextFileW(find.get(), &entry));
  return names;
}

// The sweep of one folder once the sweep lock is settled.
bool SweepFolder(const std::wstring& folder, bool clearSelf, bool nested) {
  bool result = true;
  for (const wchar_t* suffix : {L".~-~", L".$-$", L".LES"}) {
    for (const std::wstring& name : WorkFolders(folder, suffix)) {
      result = ClearStaleFolders(folder + name + L"\\", true, true) && result;
    }
  }
  if (!nested && !clearSelf) return result;
  if (IsFileInUse(folder, WorkFileName)) return false;
  DeleteFiles(folder, L"*", true);
  if (!result) return false;
  DeleteDirectory(folder, nested, true, true);
  return result;
}
}  // namespace

void SetLockDirsErrorBox(TLockDirsErrorBox show) { ErrorBox = show ? show : &DefaultErrorBox; }

TLockDirectory::TLockDirectory(const std::wstring& folder) {
  SetFolder(folder);
  Lock(true);
}

TLockDirectory::~TLockDirectory() { TLockDirectory::Unlock(); }

void TLockDirectory::SetFolder(const std::wstring& folder) { FolderPath = IncludeTrailingBackslash(folder); }

void TLockDirectory::Lock(bool haltOnFailure) {
  if (Locked() || !ForceDirectoriesQuiet(FolderPath)) return;
  const std::wstring path = FolderPath + LockFileName;
  LockHandle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (LockHandle != InvalidHandle) return;
  const DWORD code = ::GetLastError();
  ErrorBox(FormatText(rsLockDirectoryWriteError, {std::int64_t{code}, FolderPath}));
  if (haltOnFailure) ::ExitProcess(1);
}

void TLockDirectory::Unlock() {
  if (Locked()) {
    ::CloseHandle(LockHandle);
    LockHandle = InvalidHandle;
    ::DeleteFileW((FolderPath + LockFileName).c_str());
  }
  if (DeleteOnUnlock) DeleteDirectory(FolderPath, true, true, true);
}

std::wstring MakeUniqueFolderName(const std::wstring& base) {
  static const wchar_t Digits[] = L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  static unsigned fallback = 0;
  for (;;) {
    std::wstring guid = PlatformTools().CreateGuidString(true, true, false);
    // Without a GUID the name would never change and an existing folder of
    // that name would be retried for ever.
    if (guid.empty()) guid = std::to_wstring(::GetTickCount64()) + L"." + std::to_wstring(++fallback);
    std::uint32_t n = WideStringCrc32(guid, 0xFFFFFFFFu) / 2;
    std::wstring digits(6, L'0');
    for (int i = 5; i >= 0 && n > 0; --i, n /= 36) digits[i] = Digits[n % 36];
    const std::wstring name = base + L"~" + digits + L"~.~-~\\";
    if (::GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) return name;
    ::Sleep(5);
  }
}

Handle AcquireFileLock(const std::wstring& folder, const std::wstring& name, std::uint32_t timeoutMs) {
  if (!ForceDirectoriesQuiet(folder)) return InvalidHandle;
  const std::wstring path = IncludeTrailingBackslash(folder) + name;
  const std::uint64_t start = PlatformTools().GetTickCount();
  for (;;) {
    const bool exists = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    const HANDLE handle =
        exists ? ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
               : ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return handle;
    if (PlatformTools().GetTickCount() - start >= timeoutMs) return InvalidHandle;
    ::Sleep(50);
  }
}

void ReleaseFileLock(const std::wstring& folder, const std::wstring& name, Handle& handle) {
  if (handle != InvalidHandle && handle != nullptr) ::CloseHandle(handle);
  handle = InvalidHandle;
  ::DeleteFileW((IncludeTrailingBackslash(folder) + name).c_str());
}

bool IsFileInUse(const std::wstring& folder, const std::wstring& name) {
  const std::wstring path = IncludeTrailingBackslash(folder) + name;
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  const HANDLE handle =
      ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;
  ::CloseHandle(handle);
  return false;
}

bool ClearStaleFolders(const std::wstring& folder, bool clearSelf, bool nested) {
  const std::wstring path = IncludeTrailingBackslash(folder);
  Handle sweepLock = InvalidHandle;
  if (!nested) {
    sweepLock = AcquireFileLock(path, SweepLockName, 0);
    if (sweepLock == InvalidHandle) return false;
  }
  bool result = false;
  try {
    result = SweepFolder(path, clearSelf, nested);
  } catch (const std::exception& e) {
    ErrorBox(ExceptionMessage(e));
  }
  if (!nested) ReleaseFileLock(path, SweepLockName, sweepLock);
  return result;
}
