#include "jompack/PackFiles.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <random>
#include <system_error>

#include "jompack/PackConsole.h"
#include "setup/distribution/TextCodec.h"

namespace fs = std::filesystem;

namespace {
std::wstring ErrorText(const std::error_code& error) { return Utf8ToWide(error.message()); }

// A name no other run picks: the process's clock and a counter.
std::wstring UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::to_wstring(seed ^ static_cast<unsigned>(now)) + L"-" + std::to_wstring(counter++);
}
}  // namespace

fs::path FsPath(const std::wstring& path) {
#ifdef _WIN32
  std::wstring text = path;
  std::replace(text.begin(), text.end(), L'/', L'\\');
  return fs::path(text);
#else
  std::string bytes = WideToUtf8(path);
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  return fs::path(bytes);
#endif
}

std::wstring PathText(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return Utf8ToWide(path.string());
#endif
}

std::wstring WithSeparator(const std::wstring& folder) {
  std::wstring text = PathText(FsPath(folder));
  constexpr wchar_t separator = fs::path::preferred_separator;
  if (text.empty() || text.back() != separator) text += separator;
  return text;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& relative) {
  std::wstring rest = relative;
  while (!rest.empty() && (rest.front() == L'\\' || rest.front() == L'/')) rest.erase(0, 1);
  return PathText(FsPath(WithSeparator(folder) + rest));
}

bool IsFolder(const std::wstring& path) {
  std::error_code error;
  return fs::is_directory(FsPath(path), error);
}

bool IsFile(const std::wstring& path) {
  std::error_code error;
  return fs::is_regular_file(FsPath(path), error);
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
  std::error_code error;
  return fs::equivalent(FsPath(a), FsPath(b), error) && !error;
}

std::string ReadWholeFile(const std::wstring& path) {
  if (!IsFile(path)) RaiseInput(L"file not found: " + path);
  std::ifstream in(FsPath(path), std::ios::binary);
  std::error_code error;
  const auto size = fs::file_size(FsPath(path), error);
  if (!in || error) RaiseInput(L"cannot read " + path + (error ? L": " + ErrorText(error) : L""));
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (size != 0 && !in.read(bytes.data(), static_cast<std::streamsize>(size))) RaiseInput(L"cannot read " + path);
  return bytes;
}

std::int64_t FileWriteTime(const std::wstring& path) {
  std::error_code error;
  const auto written = fs::last_write_time(FsPath(path), error);
  if (error) return 0;
  const auto system = std::chrono::file_clock::to_sys(written);
  return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

namespace {
// The system's reason for the failed stream operation just done.
std::wstring LastErrorText() { return ErrorText(std::error_code(errno, std::generic_category())); }

void WriteFileAs(const std::wstring& path, const std::string& bytes, const std::wstring& shown) {
  std::error_code error;
  fs::create_directories(FsPath(path).parent_path(), error);
  errno = 0;
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  if (!out) RaiseFailed(L"cannot create " + shown + L": " + LastErrorText());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) RaiseFailed(L"cannot write " + shown + L": " + LastErrorText());
}
}  // namespace

void WriteWholeFile(const std::wstring& path, const std::string& bytes) { WriteFileAs(path, bytes, path); }

std::wstring TemporaryNameBeside(const std::wstring& path) {
  const fs::path file = FsPath(path);
  const fs::path parent = file.has_parent_path() ? file.parent_path() : fs::path(".");
  return PathText(parent / (L".jompack-" + UniqueSuffix() + L".tmp"));
}

TOutputFile::TOutputFile(std::wstring target) : Final(PathText(FsPath(target))) {
  const fs::path path = FsPath(Final);
  if (path.filename().empty()) RaiseInput(L"not a file name: " + Final);
  std::error_code error;
  if (fs::is_directory(path, error)) RaiseInput(L"a folder is in the way of the output: " + Final);
  const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::is_directory(parent, error)) RaiseInput(L"the output's folder does not exist: " + PathText(parent));
  Temporary = TemporaryNameBeside(Final);
}

TOutputFile::~TOutputFile() {
  if (Committed) return;
  std::error_code ignored;
  fs::remove(FsPath(Temporary), ignored);
}

void TOutputFile::Write(const std::string& bytes) { WriteFileAs(Temporary, bytes, Final); }

void TOutputFile::Commit() {
  std::error_code error;
  fs::rename(FsPath(Temporary), FsPath(Final), error);
  if (error) RaiseFailed(L"cannot write " + Final + L": " + ErrorText(error));
  Committed = true;
}

TScratchFolder::TScratchFolder(const std::wstring& near) {
  std::error_code error;
  fs::path base;
  if (near.empty()) {
    base = fs::temp_directory_path(error);
  } else {
    fs::path path = FsPath(near);
    if (path.filename().empty()) path = path.parent_path();
    base = path.has_parent_path() ? path.parent_path() : fs::path(".");
  }
  if (error || base.empty()) base = ".";
  const fs::path folder = base / (L".jompack-" + UniqueSuffix());
  if (!fs::create_directories(folder, error)) RaiseFailed(L"cannot create the work folder " + PathText(folder));
  Folder = WithSeparator(PathText(folder));
}

TScratchFolder::~TScratchFolder() {
  std::error_code ignored;
  fs::remove_all(FsPath(Folder), ignored);
}
