#include "platform/FileTool.h"

#include "platform/Win.h"

#include <algorithm>
#include <vector>

#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"

namespace {
bool IsDotEntry(const wchar_t* name) { return std::wstring(name) == L"." || std::wstring(name) == L".."; }

// Clears the attributes (read-only included) and deletes the file.
bool DeletePlainFile(const std::wstring& file) {
  IPlatformTools& tools = PlatformTools();
  tools.SetFileAttributes(file, FILE_ATTRIBUTE_NORMAL);
  return tools.DeleteFile(file);
}

// Reports a failure: raises unless errors are ignored.
void Failed(bool ignoreErrors, const std::wstring& name) {
  if (!ignoreErrors) CheckOSResult(false, name);
}

UniqueKernelHandle OpenWithMode(const std::wstring& path, std::uint8_t openMode) {
  return UniqueKernelHandle(static_cast<HANDLE>(PlatformTools().OpenFileHandle(path, openMode, true)));
}

// Reads up to size bytes; fewer only at the end of the file.
bool ReadBlock(HANDLE file, std::vector<char>& buffer, DWORD& read) {
  read = 0;
  return ::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) != FALSE;
}

bool SetWriteTime(const std::wstring& file, const FILETIME& localTime) {
  FILETIME utc{};
  if (!::LocalFileTimeToFileTime(&localTime, &utc)) return false;
  UniqueKernelHandle handle(::CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle && ::SetFileTime(handle.get(), nullptr, nullptr, &utc);
}

// Appends one part to the destination, creating it on the first write.
// Returns the part's size, or -1 when the part cannot be read.
std::int64_t AppendPart(const std::wstring& part, const std::wstring& destination, UniqueKernelHandle& output) {
  UniqueKernelHandle input = OpenWithMode(part, OpenModeReadShareBoth);
  if (!input) return -1;
  std::vector<char> buffer(65536);
  std::int64_t size = 0;
  DWORD read = 0;
  if (!output) {
    output.reset(static_cast<HANDLE>(PlatformTools().OpenFileHandle(destination, OpenModeWriteExclusive, false)));
    CheckOSResult(output.valid(), destination);
  }
  while (ReadBlock(input.get(), buffer, read) && read > 0) {
    std::uint32_t written = 0;
    const bool ok = PlatformTools().WriteFileData(output.get(), buffer.data(), read, written) && written == read;
    if (!ok && ::GetLastError() == 0) ::SetLastError(ERROR_WRITE_FAULT);
    CheckOSResult(ok, destination);
    size += read;
  }
  return size;
}
}  // namespace

std::wstring SystemErrorMessage(std::uint32_t errorCode) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, errorCode,
      0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  UniqueLocalBlock owner(buffer);
  std::wstring text = length > 0 && buffer ? std::wstring(buffer, length) : std::wstring();
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  return text.empty() ? L"System error " + std::to_wstring(errorCode) : text;
}

bool CheckOSResult(bool success, const std::wstring& name) {
  if (success) return true;
  const DWORD code = ::GetLastError();
  if (code == 0) return false;
  throw EOSError(code, SystemErrorMessage(code) + L" (" + name + L")");
}

const std::wstring& ProgramPath() {
  static const std::wstring path = PlatformTools().GetModuleFileName(nullptr);
  return path;
}

bool EnsureDirectories(const std::wstring& path) {
  const std::wstring directory = ExcludeTrailingBackslash(TrimText(path));
  if (directory.empty()) return false;
  if (PlatformTools().DirectoryExists(directory)) return true;
  const std::wstring parent = ExcludeTrailingBackslash(ExtractFilePath(directory));
  if (parent.empty() || parent == directory || (parent.size() == 2 && parent[1] == L':')) {
    return PlatformTools().CreateDirectory(directory);
  }
  if (!EnsureDirectories(parent)) return false;
  return PlatformTools().CreateDirectory(directory) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool ForceDirectoriesQuiet(const std::wstring& path) {
  ScopedErrorMode quiet;
  return EnsureDirectories(path);
}

bool DirectoryHasEntries(const std::wstring& path, const std::wstring& mask, bool withDirectories) {
  ScopedErrorMode quiet;
  const std::wstring trimmed = TrimText(path);
  const std::wstring pattern =
      trimmed.find(L'*') != std::wstring::npos ? trimmed : IncludeTrailingBackslash(trimmed) + mask;
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &entry));
  if (!find) return false;
  do {
    if (IsDotEntry(entry.cFileName)) continue;
    if (withDirectories || !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  } while (::FindNextFileW(find.get(), &entry));
  return false;
}

bool DeleteDirectory(const std::wstring& path, bool deleteItself, bool recursive, bool ignoreErrors,
                     const TFileFilter& keep) {
  ScopedErrorMode quiet;
  const std::wstring directory = IncludeTrailingBackslash(TrimText(path));
  if (directory.size() <= 3) return false;  // "C:\", "\" or nothing: never a drive root
  bool result = true;
  bool kept = false;
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle find(::FindFirstFileW((directory + L"*.*").c_str(), &entry));
  if (find) {
    do {
      if (IsDotEntry(entry.cFileName)) continue;
      const std::wstring name = directory + entry.cFileName;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!recursive) continue;
        // A linked folder is removed as a link: its target lies outside this tree.
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          if (!PlatformTools().RemoveDirectory(name)) result = false;
          continue;
        }
        if (!DeleteDirectory(name, true, true, ignoreErrors, keep)) {
          result = false;
        } else if (keep && PlatformTools().DirectoryExists(name)) {
          kept = true;  // it holds a kept file
        }
      } else if (keep && keep(name)) {
        kept = true;
      } else if (!DeletePlainFile(name)) {
        result = false;
        Failed(ignoreErrors, name);
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
  if (deleteItself && !kept && !PlatformTools().RemoveDirectory(ExcludeTrailingBackslash(directory))) {
    result = false;
    Failed(ignoreErrors, ExcludeTrailingBackslash(directory));
  }
  return result;
}

void DeleteFiles(const std::wstring& directory, const std::wstring& mask, bool ignoreErrors,
                 const TFileFilter& filter) {
  const std::wstring folder = IncludeTrailingBackslash(TrimText(directory));
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle find(::FindFirstFileW((folder + mask).c_str(), &entry));
  if (!find) return;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring file = folder + entry.cFileName;
    if (filter && !filter(file)) continue;
    if (!DeletePlainFile(file)) Failed(ignoreErrors, file);
  } while (::FindNextFileW(find.get(), &entry));
}

void ClearDirectory(const std::wstring& path, bool recursive, bool ignoreErrors) {
  if (!ForceDirectoriesQuiet(path)) return;
  if (recursive) {
    DeleteDirectory(path, false, true, ignoreErrors);
  } else {
    DeleteFiles(path, L"*.*", ignoreErrors);
  }
}

bool SetFileDate(const std::wstring& file, std::uint32_t dosDateTime) {
  if (dosDateTime == 0) return true;
  FILETIME local{};
  if (!::DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16), static_cast<WORD>(dosDateTime & 0xFFFF), &local))
    return false;
  return SetWriteTime(file, local);
}

bool SetFileDateTime(const std::wstring& file, DateTime dateTime) {
  if (dateTime == 0) return true;
  // Days since 1899-12-30 to 100-ns units since 1601-01-01.
  const double units = (dateTime + 109205.0) * 864000000000.0;
  if (units < 0) return false;
  const auto value = static_cast<std::uint64_t>(units + 0.5);
  const FILETIME local{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
  return SetWriteTime(file, local);
}

bool IsAbsolutePath(const std::wstring& path) {
  return path.find(L':') != std::wstring::npos || path.find(L"\\\\") != std::wstring::npos;
}

std::wstring MakeAbsolutePath(const std::wstring& path, const std::wstring& base) {
  const std::wstring trimmed = TrimText(path);
  const std::wstring folder = TrimText(base);
  if (IsAbsolutePath(trimmed) || folder.empty()) return trimmed;
  return IncludeTrailingBackslash(folder) + trimmed;
}

bool IsSubPath(const std::wstring& directory, const std::wstring& path) {
  const std::wstring folder = UpperCaseText(IncludeTrailingBackslash(TrimText(directory)));
  return UpperCaseText(path).rfind(folder, 0) == 0;
}

bool IsRemovablePath(const std::wstring& path) {
  const std::wstring trimmed = TrimText(path);
  return trimmed.size() >= 2 && trimmed[1] == L':' && PlatformTools().IsRemovableDrive(trimmed);
}

bool IsNetworkPath(const std::wstring& path) {
  if (path.size() < 2) return false;
  return path.rfind(L"\\\\", 0) == 0 || PlatformTools().IsNetworkDrive(path);
}

bool IsFileLocked(const std::wstring& path, std::uint8_t openMode) {
  if (!PlatformTools().FileExists(path)) return false;
  return !OpenWithMode(path, openMode).valid();
}

std::int64_t GetFileSize(const std::wstring& path, bool forceOpen) {
  return PlatformTools().GetFileSize(path, forceOpen);
}

bool FilesEqual(const std::wstring& a, const std::wstring& b, bool& sameSize) {
  sameSize = false;
  UniqueKernelHandle first = OpenWithMode(a, OpenModeReadShareBoth);
  UniqueKernelHandle second = OpenWithMode(b, OpenModeReadShareBoth);
  if (!first || !second) return false;
  LARGE_INTEGER sizeA{}, sizeB{};
  if (!::GetFileSizeEx(first.get(), &sizeA) || !::GetFileSizeEx(second.get(), &sizeB)) return false;
  sameSize = sizeA.QuadPart == sizeB.QuadPart;
  if (!sameSize) return false;
  std::vector<char> blockA(65536), blockB(65536);
  for (;;) {
    DWORD readA = 0, readB = 0;
    if (!ReadBlock(first.get(), blockA, readA) || !ReadBlock(second.get(), blockB, readB)) return false;
    if (readA != readB || !std::equal(blockA.begin(), blockA.begin() + readA, blockB.begin())) return false;
    if (readA == 0) return true;
  }
}

std::wstring PartExtension(const std::wstring& partExtension, int index, bool twoDigits) {
  if (index > 9 && partExtension.size() != 2) return partExtension.substr(0, 2) + std::to_wstring(index);
  const std::wstring number = std::to_wstring(index);
  return partExtension + (twoDigits ? PadLeft(number, 2, L'0') : number);
}

bool JoinFileParts(const std::wstring& base, const std::wstring& destination, const std::wstring& partExtension,
                   int firstIndex, bool twoDigits, bool firstIsBase, const TLocatePart& locate) {
  IPlatformTools& tools = PlatformTools();
  UniqueKernelHandle output;
  std::int64_t firstSize = -1;
  for (int index = firstIndex;; ++index) {
    std::wstring part = firstIsBase && index == firstIndex
                            ? base
                            : ChangeFileExt(base, PartExtension(partExtension, index, twoDigits));
    if (!tools.FileExists(part) && tools.FileExists(part + ExtractFileExt(destination)))
      part += ExtractFileExt(destination);
    if (!tools.FileExists(part) && locate) locate(part);
    if (!tools.FileExists(part)) break;
    const std::int64_t size = AppendPart(part, destination, output);
    if (size < 0) break;
    if (firstSize < 0) firstSize = size;
    if (size != firstSize) break;
  }
  return output.valid();
}
