#pragma once
// What the ZIP layer needs of the system of its tree: the files it packs,
// read one at a time while an archive is saved, the archive file itself as
// a libzip source, and the system's text for an error code. ZipArchiveWin
// implements it over the Windows API, ZipArchivePosix over POSIX.

#include <zip.h>

#include <cstdint>
#include <ctime>
#include <string>

// A file opened for sequential reading, shared with other readers, writers
// and deleters. Failures leave the system's error code in LastError.
class TZipInputFile {
public:
  TZipInputFile() = default;
  ~TZipInputFile() { Close(); }
  TZipInputFile(const TZipInputFile&) = delete;
  TZipInputFile& operator=(const TZipInputFile&) = delete;

  bool Open(const std::wstring& path);
  void Close();
  bool IsOpen() const { return Handle != Closed; }
  // Up to length bytes; 0 at the end, -1 on failure.
  std::int64_t Read(void* data, std::size_t length);
  // The size of the open file; false on failure.
  bool Size(std::int64_t& size);
  // Seconds since 1970 of the open file's last write; now when unknown.
  time_t WriteTime();

  std::uint32_t LastError = 0;

private:
  static constexpr std::intptr_t Closed = -1;
  std::intptr_t Handle = Closed;
};

// A libzip source over the archive file; null with error set on failure.
zip_source_t* CreateArchiveFileSource(const std::wstring& fileName, zip_error_t* error);

// The system's text for an error code from LastError.
std::wstring ZipSystemErrorText(std::uint32_t code);
