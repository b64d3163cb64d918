#include "MemoryPlatform.h"

#include <system_error>

#include "platform/StrTool.h"

namespace {

constexpr std::uint32_t AttributeReadOnly = 0x01;
constexpr std::uint32_t AttributeDirectory = 0x10;
constexpr std::uint32_t AttributeNormal = 0x80;
constexpr std::uint32_t ErrorFileNotFound = 2;
constexpr std::uint32_t ErrorAccessDenied = 5;
constexpr std::uint32_t ErrorFileExists = 80;

std::wstring RegistryName(RegistryRoot root, const std::wstring& key, const std::wstring& name) {
  return UpperCaseText(std::to_wstring(static_cast<std::uint32_t>(root)) + L"\\" + key + L"\\" + name);
}

}  // namespace

TMemoryPlatform::TMemoryPlatform(std::filesystem::path root, RefPtr<IPlatformTools> system)
    : Root(std::move(root)), System(std::move(system)) {
  std::error_code ignored;
  std::filesystem::remove_all(Root, ignored);
  std::filesystem::create_directories(Root);
  for (const wchar_t* folder : {L"windows", L"system", L"temp"}) std::filesystem::create_directories(Root / folder);
  const std::wstring software = L"Software\\Microsoft\\Windows\\CurrentVersion";
  WriteRegistryString(RegistryRoot::LocalMachine, software, L"CommonFilesDir (x86)", PathOf(L"common"));
  WriteRegistryString(RegistryRoot::LocalMachine, software, L"ProgramFilesDir (x86)", PathOf(L"programs"));
}

std::wstring TMemoryPlatform::PathOf(const std::wstring& relative) const {
  return Root.wstring() + L"/" + relative;
}

std::wstring TMemoryPlatform::AnsiToUnicode(const std::string& text, std::uint32_t codePage) {
  return System->AnsiToUnicode(text, codePage);
}

std::wstring TMemoryPlatform::BytesToUnicode(const void* bytes, int length, std::uint32_t codePage) {
  return System->BytesToUnicode(bytes, length, codePage);
}

std::string TMemoryPlatform::UnicodeToAnsi(const std::wstring& text, std::uint32_t codePage) {
  return System->UnicodeToAnsi(text, codePage);
}

bool TMemoryPlatform::IsCharAlpha(wchar_t c) { return System->IsCharAlpha(c); }
bool TMemoryPlatform::IsCharAlphaNumeric(wchar_t c) { return System->IsCharAlphaNumeric(c); }
bool TMemoryPlatform::IsCharLower(wchar_t c) { return System->IsCharLower(c); }
bool TMemoryPlatform::IsCharUpper(wchar_t c) { return System->IsCharUpper(c); }

bool TMemoryPlatform::FileExists(const std::wstring& path) {
  std::error_code error;
  if (std::filesystem::is_regular_file(std::filesystem::path(TrimText(path)), error)) return true;
  SetLastError(ErrorFileNotFound);
  return false;
}

bool TMemoryPlatform::DirectoryExists(const std::wstring& path) {
  std::error_code error;
  if (std::filesystem::is_directory(std::filesystem::path(TrimText(path)), error)) return true;
  SetLastError(ErrorFileNotFound);
  return false;
}

std::uint32_t TMemoryPlatform::GetFileAttributes(const std::wstring& path) {
  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::path(path), error);
  if (error || !std::filesystem::exists(status)) {
    SetLastError(ErrorFileNotFound);
    return InvalidFileAttributes;
  }
  if (std::filesystem::is_directory(status)) return AttributeDirectory;
  const auto writable = std::filesystem::perms::owner_write;
  return (status.permissions() & writable) == std::filesystem::perms::none ? AttributeReadOnly : AttributeNormal;
}

bool TMemoryPlatform::SetFileAttributes(const std::wstring& path, std::uint32_t attributes) {
  std::error_code error;
  const auto option = (attributes & AttributeReadOnly) != 0 ? std::filesystem::perm_options::remove
                                                            : std::filesystem::perm_options::add;
  std::filesystem::permissions(std::filesystem::path(path), std::filesystem::perms::owner_write, option, error);
  if (!error) return true;
  SetLastError(ErrorFileNotFound);
  return false;
}

std::int64_t TMemoryPlatform::GetFileSize(const std::wstring& path, bool) {
  std::error_code error;
  const auto size = std::filesystem::file_size(std::filesystem::path(path), error);
  if (!error) return static_cast<std::int64_t>(size);
  SetLastError(ErrorFileNotFound);
  return -1;
}

bool TMemoryPlatform::CopyFile(const std::wstring& source, const std::wstring& destination, bool failIfExists) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_regular_file(fs::path(source), error)) {
    SetLastError(ErrorFileNotFound);
    return false;
  }
  if (failIfExists && fs::exists(fs::path(destination), error)) {
    SetLastError(ErrorFileExists);
    return false;
  }
  fs::copy_file(fs::path(source), fs::path(destination), fs::copy_options::overwrite_existing, error);
  if (!error) return true;
  SetLastError(ErrorAccessDenied);
  return false;
}

bool TMemoryPlatform::RemoveDirectory(const std::wstring& path) {
  std::error_code error;
  if (std::filesystem::is_directory(std::filesystem::path(path), error) &&
      std::filesystem::remove(std::filesystem::path(path), error))
    return true;
  SetLastError(ErrorAccessDenied);
  return false;
}

std::wstring TMemoryPlatform::GetTempPath() { return PathOf(L"temp/"); }
std::wstring TMemoryPlatform::GetSystemDirectory() { return PathOf(L"system"); }
std::wstring TMemoryPlatform::GetWindowsDirectory() { return PathOf(L"windows"); }

bool TMemoryPlatform::ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                                         std::wstring& text, std::uint32_t) {
  const auto found = Registry.find(RegistryName(root, key, name));
  if (found == Registry.end()) {
    SetLastError(ErrorFileNotFound);
    return false;
  }
  text = found->second;
  return true;
}

bool TMemoryPlatform::WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                                          const std::wstring& text) {
  Registry[RegistryName(root, key, name)] = text;
  return true;
}
