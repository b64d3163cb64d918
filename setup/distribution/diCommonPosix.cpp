#include "setup/distribution/diCommonSystem.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "setup/messages/FormatText.h"
#include "setup/distribution/TextCodec.h"
#include "setup/distribution/ZipArchiveSystem.h"

namespace {
// The native spelling of a path: the format code may join folders with "\".
std::filesystem::path NativePath(const std::wstring& path) {
  std::string bytes = WideToUtf8(path);
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  return std::filesystem::path(bytes);
}

std::uint32_t ErrorCode(const std::error_code& error) {
  return error ? static_cast<std::uint32_t>(error.value()) : static_cast<std::uint32_t>(EIO);
}
}  // namespace

std::wstring FullFolder(const std::wstring& folder) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(NativePath(folder), error);
  if (error) path = NativePath(folder);
  std::wstring text = Utf8ToWide(path.lexically_normal().string());
  if (text.empty() || text.back() != L'/') text += L'/';
  return text;
}

std::wstring ElapsedText(std::uint64_t milliseconds) {
  const std::uint64_t seconds = milliseconds / 1000;
  wchar_t buffer[32];
  std::swprintf(buffer, 32, L"%u:%02u:%02u", static_cast<unsigned>((seconds / 3600) % 24),
                static_cast<unsigned>((seconds / 60) % 60), static_cast<unsigned>(seconds % 60));
  return buffer;
}

bool CopyKitFile(const std::wstring& source, const std::wstring& target, std::uint32_t& error) {
  std::error_code failure;
  if (std::filesystem::copy_file(NativePath(source), NativePath(target),
                                 std::filesystem::copy_options::overwrite_existing, failure))
    return true;
  error = ErrorCode(failure);
  return false;
}

void DeleteKitFile(const std::wstring& fileName) {
  std::error_code failure;
  if (std::filesystem::remove(NativePath(fileName), failure) || !failure) return;
  throw EMessageError(ZipSystemErrorText(ErrorCode(failure)) + L" (" + fileName + L")");
}

bool ForceKitFolder(const std::wstring& folder) {
  std::error_code failure;
  std::filesystem::create_directories(NativePath(folder), failure);
  return !failure;
}
