#include "setup/engine/diArchiveList.h"

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/diCommon.h"
#include "setup/engine/diExceptions.h"

namespace {

// A failed write of the extracted file, with the system's error code.
struct EWriteFailure {
  DWORD Code;
};

// The extracted file, written straight through the system: libzip hands over
// 64 KiB at a time and the installer copies the file right afterwards.
class TExtractedFile : public TStream {
public:
  explicit TExtractedFile(HANDLE file) : File(file) {}

  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void* buffer, std::size_t count) override {
    std::uint32_t written = 0;
    if (!PlatformTools().WriteFileData(File, buffer, static_cast<std::uint32_t>(count), written))
      throw EWriteFailure{::GetLastError()};
    Written += written;
    return written;
  }
  std::int64_t Position() const override { return Written; }
  void SetPosition(std::int64_t) override {}
  std::int64_t Size() const override { return Written; }

private:
  HANDLE File;
  std::int64_t Written = 0;
};

[[noreturn]] void RaiseArchiveError(const std::wstring& archive, const std::wstring& entry, TZipFailureKind kind,
                                    int libraryCode, std::uint32_t systemError) {
  throw Exception(ZipFailureText(archive, {entry, kind, libraryCode, systemError}));
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH * 4, buffer, nullptr);
  return length == 0 || length >= MAX_PATH * 4 ? std::wstring() : std::wstring(buffer, length);
}

// Seconds since 1970 as a file time.
FILETIME UnixTimeToFileTime(std::int64_t seconds) {
  const std::uint64_t ticks = static_cast<std::uint64_t>(seconds) * 10000000ull + 116444736000000000ull;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

TArchiveList::TArchiveList() : TObjectStrings<TZipReader>(true) { SetCaseSensitive(false); }

TZipReader& TArchiveList::Reader(const std::wstring& archive) {
  int index = 0;
  if (Find(archive, index)) return *Objects(index);
  try {
    auto reader = std::make_unique<TZipReader>(archive);
    AddObject(archive, reader.get());
    return *reader.release();
  } catch (const EZipError& e) {
    RaiseArchiveError(archive, ExtractFileName(archive), TZipFailureKind::Library, e.ZipCode(), 0);
  }
}

std::wstring TArchiveList::Extract(const std::wstring& archive, const std::wstring& fileName,
                                   const std::wstring& folder) {
  const TZipEntryInfo info = Entry(archive, fileName);
  const std::wstring base = IncludeTrailingBackslash(folder);
  const std::wstring relative = SafeEntryPath(info.StoredName);
  // The system's own reading of the path has the last word (it drops
  // trailing dots and blanks of names, for one).
  const std::wstring target = base + relative;
  if (relative.empty() || !IsSubPath(FullPath(base), FullPath(target))) {
    RaiseArchiveError(archive, info.StoredName, TZipFailureKind::FileCreate, 0, ERROR_BAD_PATHNAME);
  }
  Write(archive, fileName, info, target);
  return target;
}

void TArchiveList::ExtractAs(const std::wstring& archive, const std::wstring& fileName, const std::wstring& target) {
  const TZipEntryInfo info = Entry(archive, fileName);
  if (SafeEntryPath(info.StoredName).empty()) {
    RaiseArchiveError(archive, info.StoredName, TZipFailureKind::FileCreate, 0, ERROR_BAD_PATHNAME);
  }
  Write(archive, fileName, info, target);
}

TZipEntryInfo TArchiveList::Entry(const std::wstring& archive, const std::wstring& fileName) {
  try {
    return Reader(archive).EntryInfo(fileName);
  } catch (const EZipError& e) {
    RaiseArchiveError(archive, fileName, TZipFailureKind::Library, e.ZipCode(), 0);
  }
}

void TArchiveList::Write(const std::wstring& archive, const std::wstring& fileName, const TZipEntryInfo& info,
                         const std::wstring& target) {
  TZipReader& reader = Reader(archive);
  ForceDirectoriesQuiet(ExtractFilePath(target));
  UniqueHandle<KernelHandleTraits> file(
      static_cast<HANDLE>(PlatformTools().OpenFileHandle(target, OpenModeWriteExclusive, false)));
  if (!file) RaiseArchiveError(archive, fileName, TZipFailureKind::FileCreate, 0, ::GetLastError());
  auto discard = [&] {
    file.reset();
    PlatformTools().DeleteFile(target);
  };
  try {
    TExtractedFile stream(file.get());
    reader.ExtractToStream(fileName, stream);
  } catch (const EZipError& e) {
    discard();
    RaiseArchiveError(archive, fileName, TZipFailureKind::Library, e.ZipCode(), 0);
  } catch (const EWriteFailure& e) {
    discard();
    RaiseArchiveError(archive, fileName, TZipFailureKind::FileCreate, 0, e.Code);
  }
  // The installed file keeps the date the kit recorded for it.
  if (info.ModifiedTime > 0) {
    const FILETIME written = UnixTimeToFileTime(info.ModifiedTime);
    ::SetFileTime(file.get(), nullptr, nullptr, &written);
  }
}

std::wstring SafeEntryPath(const std::wstring& storedName) {
  std::wstring path = ReplaceChar(storedName, L'/', L'\\');
  if (path.empty() || path[0] == L'\\' || path.find(L':') != std::wstring::npos) return {};
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring part = path.substr(start, end - start);
    if (part == L"..") return {};
    start = end + 1;
  }
  if (path.back() == L'\\') return {};  // a folder entry names no file
  return path;
}
