#pragma once
// ZIP archives of distribution kits, update files and backups, over libzip:
// a writer that stores files under their bare names with deflate at the
// highest level (libdeflate's, or zlib's for large files), and a reader that
// extracts one named entry and verifies its CRC-32 against the archive's
// directory.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Exception.h"

class TStream;

// A failure of the archive layer: its text and the libzip error code
// (0 when the failure is not libzip's).
class EZipError : public Exception {
public:
  EZipError(std::wstring message, int code) : Exception(std::move(message)), Code(code) {}
  int ZipCode() const noexcept { return Code; }

private:
  int Code;
};

// What made an entry fail while an archive was written.
enum class TZipFailureKind { Library, FileCreate, FileOpen };

struct TZipFailure {
  std::wstring EntryName;  // the entry's bare name; empty for the archive as a whole
  TZipFailureKind Kind;
  int LibraryCode;          // libzip's code for Library failures
  std::uint32_t SystemError;  // Windows error code for file failures
};

// libzip's own text for one of its error codes.
std::wstring ZipErrorText(int libraryCode);

// Writes one new archive. Entries are added in order; file contents are
// read and compressed when the archive is saved, each file held open only
// while it is read, so an archive of any number of files needs one handle.
// Files of up to WholeDeflateLimit bytes are deflated whole by libdeflate
// at its highest level; larger ones stream through zlib at level 9.
class TZipWriter {
public:
  static constexpr std::int64_t WholeDeflateLimit = 16 * 1024 * 1024;

  // Replaces an existing archive of that name when saved; raises EZipError
  // when libzip cannot prepare the archive.
  TZipWriter(const std::wstring& fileName, bool autoSave);
  // Saves when AutoSave is set, otherwise drops what was not saved.
  ~TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  const std::wstring& FileName() const { return ArchiveName; }
  bool AutoSave() const { return AutoSaveOnDestroy; }

  // Called for every entry or archive that fails; without a handler the
  // failure is raised as EZipError.
  std::function<void(const TZipFailure&)> OnFailure;
  // Called while saving before an entry's file is opened, with the number of
  // the AddFile call that added it (from 0, failed calls counted) and its
  // bare name; answering false cancels the save.
  std::function<bool(int file, const std::wstring& entryName)> OnEntryOpening;
  // Called while saving after an entry's content was read whole, with the
  // same number, its bare name and size; answering false cancels the save.
  std::function<bool(int file, const std::wstring& entryName, std::int64_t size)> OnEntryWritten;
  // A flag another thread may set to cancel a running save between two
  // blocks of a file; null for none.
  void SetCancelFlag(const std::atomic<bool>* flag) { CancelFlag = flag; }

  // Adds the file under entryName, or under its bare name when entryName is
  // empty (a second entry of the same name replaces the first); folders in
  // entryName are stored with "/". The file is opened once to learn its size
  // and closed again: false, after OnFailure, when it cannot be.
  bool AddFile(const std::wstring& path, const std::wstring& entryName = std::wstring());
  // Writes the archive and closes it; false after OnFailure when libzip
  // failed or a file could no longer be read (nothing is written then: the
  // archive is complete or absent), false without it when cancelled. An
  // archive without entries leaves no file.
  bool Save();
  // True when the last Save was cancelled.
  bool Cancelled() const { return WasCancelled; }
  int EntryCount() const;

private:
  void Fail(const TZipFailure& failure);

  struct TState;
  std::unique_ptr<TState> State;
  std::wstring ArchiveName;
  bool AutoSaveOnDestroy;
  bool WasCancelled = false;
  int FilesAdded = 0;
  const std::atomic<bool>* CancelFlag = nullptr;
};

// What an archive's directory records of one entry.
struct TZipEntryInfo {
  std::wstring StoredName;  // as stored, folders included ("/" or "\\" as written)
  std::uint32_t Crc = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedTime = 0;  // seconds since 1970; 0 when not recorded
};

// Reads entries of an existing archive.
class TZipReader {
public:
  // Opens the archive; EZipError when it is missing or not a ZIP archive.
  explicit TZipReader(const std::wstring& fileName);
  ~TZipReader();
  TZipReader(const TZipReader&) = delete;
  TZipReader& operator=(const TZipReader&) = delete;

  const std::wstring& FileName() const { return ArchiveName; }
  int EntryCount() const;
  std::wstring EntryName(int index) const;
  // True when an entry of that name exists (ASCII case ignored, folders of
  // stored names ignored).
  bool HasEntry(const std::wstring& name) const;
  // The CRC-32 the archive's directory records for the entry; EZipError
  // when there is no such entry.
  std::uint32_t EntryCrc(const std::wstring& name) const;
  // The directory record of the entry found as HasEntry finds it; EZipError
  // when there is none.
  TZipEntryInfo EntryInfo(const std::wstring& name) const;
  // Writes the entry's content to the stream; EZipError when the entry is
  // missing, its data cannot be inflated or its CRC-32 does not match.
  void ExtractToStream(const std::wstring& name, TStream& stream);
  // Extracts the entry into a new file, removed again when extraction fails.
  void ExtractToFile(const std::wstring& name, const std::wstring& fileName);

private:
  std::int64_t Locate(const std::wstring& name) const;

  struct TState;
  std::unique_ptr<TState> State;
  std::wstring ArchiveName;
};
