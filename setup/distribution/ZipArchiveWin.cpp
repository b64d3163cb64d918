#include "setup/distribution/ZipArchiveSystem.h"

#include <algorithm>

#include "platform/FileTool.h"
#include "platform/Win.h"

namespace {
HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
}  // namespace

bool TZipInputFile::Open(const std::wstring& path) {
  Close();
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LastError = ::GetLastError();
    return false;
  }
  Handle = reinterpret_cast<std::intptr_t>(file);
  return true;
}

void TZipInputFile::Close() {
  if (Handle == Closed) return;
  ::CloseHandle(AsHandle(Handle));
  Handle = Closed;
}

std::int64_t TZipInputFile::Read(void* data, std::size_t length) {
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
  DWORD got = 0;
  if (!::ReadFile(AsHandle(Handle), data, wanted, &got, nullptr)) {
    LastError = ::GetLastError();
    return -1;
  }
  return got;
}

bool TZipInputFile::Size(std::int64_t& size) {
  LARGE_INTEGER value{};
  if (!::GetFileSizeEx(AsHandle(Handle), &value)) {
    LastError = ::GetLastError();
    return false;
  }
  size = value.QuadPart;
  return true;
}

time_t TZipInputFile::WriteTime() {
  FILETIME written{};
  if (!::GetFileTime(AsHandle(Handle), nullptr, nullptr, &written)) return ::time(nullptr);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  constexpr std::uint64_t UnixEpoch = 116444736000000000ull;
  return ticks < UnixEpoch ? 0 : static_cast<time_t>((ticks - UnixEpoch) / 10000000ull);
}

zip_source_t* CreateArchiveFileSource(const std::wstring& fileName, zip_error_t* error) {
  return zip_source_win32w_create(fileName.c_str(), 0, -1, error);
}

std::wstring ZipSystemErrorText(std::uint32_t code) { return SystemErrorMessage(code); }
