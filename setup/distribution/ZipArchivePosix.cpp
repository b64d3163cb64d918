#include "setup/distribution/ZipArchiveSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "setup/distribution/TextCodec.h"

namespace {
// The native spelling of a path: the format code may join folders with "\".
std::string NativePath(const std::wstring& path) {
  std::string bytes = WideToUtf8(path);
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  return bytes;
}
}  // namespace

bool TZipInputFile::Open(const std::wstring& path) {
  Close();
  const int file = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    LastError = static_cast<std::uint32_t>(errno);
    return false;
  }
  Handle = file;
  return true;
}

void TZipInputFile::Close() {
  if (Handle == Closed) return;
  ::close(static_cast<int>(Handle));
  Handle = Closed;
}

std::int64_t TZipInputFile::Read(void* data, std::size_t length) {
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(Handle), data, std::min<std::size_t>(length, 1u << 30));
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    LastError = static_cast<std::uint32_t>(errno);
    return -1;
  }
}

bool TZipInputFile::Size(std::int64_t& size) {
  struct stat info {};
  if (::fstat(static_cast<int>(Handle), &info) != 0) {
    LastError = static_cast<std::uint32_t>(errno);
    return false;
  }
  size = info.st_size;
  return true;
}

time_t TZipInputFile::WriteTime() {
  struct stat info {};
  if (::fstat(static_cast<int>(Handle), &info) != 0) return ::time(nullptr);
  return info.st_mtime;
}

zip_source_t* CreateArchiveFileSource(const std::wstring& fileName, zip_error_t* error) {
  return zip_source_file_create(NativePath(fileName).c_str(), 0, -1, error);
}

std::wstring ZipSystemErrorText(std::uint32_t code) { return Utf8ToWide(std::strerror(static_cast<int>(code))); }
