#include "support/FaultPlatformTools.h"

#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"

namespace testsupport {

namespace {

// The first half of the source's bytes, as a full disk lets through.
std::string FirstHalf(IPlatformTools& real, const std::wstring& source) {
  UniqueKernelHandle file(static_cast<HANDLE>(real.OpenFileHandle(source, OpenModeReadShareBoth, true)));
  if (!file) return {};
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return {};
  std::string bytes(static_cast<std::size_t>(size.QuadPart / 2), '\0');
  DWORD read = 0;
  if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
    return {};
  bytes.resize(read);
  return bytes;
}

}  // namespace

void TFaultPlatformTools::FailAt(std::uint64_t n, std::uint32_t errorCode) {
  std::lock_guard<std::mutex> guard(Lock);
  FailingAt = n;
  FailingKind.clear();
  FailingSuffix.clear();
  ErrorCode = errorCode;
  Hit = false;
}

void TFaultPlatformTools::FailOn(const std::string& kind, const std::wstring& pathSuffix, std::uint32_t errorCode) {
  std::lock_guard<std::mutex> guard(Lock);
  FailingAt = 0;
  FailingKind = kind;
  FailingSuffix = UpperCaseText(pathSuffix);
  ErrorCode = errorCode;
  Hit = false;
}

void TFaultPlatformTools::Reset() {
  std::lock_guard<std::mutex> guard(Lock);
  Counted = 0;
  FailingAt = 0;
  FailingKind.clear();
  FailingSuffix.clear();
  Hit = false;
  Log.clear();
}

std::uint64_t TFaultPlatformTools::Count() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Counted;
}

bool TFaultPlatformTools::Injected() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Hit;
}

TFileOperation TFaultPlatformTools::Failure() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Hit ? Failed : TFileOperation{};
}

std::vector<TFileOperation> TFaultPlatformTools::Operations() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Log;
}

std::uint32_t TFaultPlatformTools::Code() const {
  std::lock_guard<std::mutex> guard(Lock);
  return ErrorCode;
}

bool TFaultPlatformTools::Fails(const char* kind, const std::wstring& path) {
  std::uint32_t code = 0;
  {
    std::lock_guard<std::mutex> guard(Lock);
    Log.push_back({kind, path});
    ++Counted;
    const std::wstring upper = UpperCaseText(path);
    const bool matches = !FailingKind.empty() && !Hit && FailingKind == kind && upper.size() >= FailingSuffix.size() &&
                         upper.compare(upper.size() - FailingSuffix.size(), FailingSuffix.size(), FailingSuffix) == 0;
    if (Counted != FailingAt && !matches) return false;
    Hit = true;
    Failed = Log.back();
    code = ErrorCode;
  }
  // Set after the lock is released, which might touch the last error.
  Real->SetLastError(code);
  return true;
}

Handle TFaultPlatformTools::OpenFileHandle(const std::wstring& path, std::uint8_t openMode, bool openExisting) {
  // Opening an existing file changes nothing; creating one does.
  if (!openExisting && Fails("create", path)) return InvalidHandle;
  return Real->OpenFileHandle(path, openMode, openExisting);
}

bool TFaultPlatformTools::CopyFile(const std::wstring& source, const std::wstring& destination, bool failIfExists) {
  if (!Fails("copy", destination)) return Real->CopyFile(source, destination, failIfExists);
  if (Code() == ERROR_DISK_FULL && !(failIfExists && Real->FileExists(destination))) {
    const std::string half = FirstHalf(*Real, source);
    UniqueKernelHandle file(static_cast<HANDLE>(Real->OpenFileHandle(destination, OpenModeWriteExclusive, false)));
    std::uint32_t written = 0;
    if (file && !half.empty()) Real->WriteFileData(file.get(), half.data(), static_cast<std::uint32_t>(half.size()), written);
  }
  Real->SetLastError(Code());
  return false;
}

bool TFaultPlatformTools::RemoveDirectory(const std::wstring& path) {
  return !Fails("rmdir", path) && Real->RemoveDirectory(path);
}

bool TFaultPlatformTools::ReplaceFileInUse(const std::wstring& existingFile, const std::wstring& newFile) {
  return !Fails("move", existingFile) && Real->ReplaceFileInUse(existingFile, newFile);
}

bool TFaultPlatformTools::SetFileAttributes(const std::wstring& path, std::uint32_t attributes) {
  return !Fails("attributes", path) && Real->SetFileAttributes(path, attributes);
}

bool TFaultPlatformTools::WriteFileData(Handle file, const void* buffer, std::uint32_t count,
                                        std::uint32_t& written) {
  written = 0;
  if (!Fails("write", L"")) return Real->WriteFileData(file, buffer, count, written);
  if (Code() == ERROR_DISK_FULL && count / 2 > 0) Real->WriteFileData(file, buffer, count / 2, written);
  Real->SetLastError(Code());
  return false;
}

bool TFaultPlatformTools::DeleteFile(const std::wstring& path) {
  return !Fails("delete", path) && Real->DeleteFile(path);
}

bool TFaultPlatformTools::MoveFile(const std::wstring& existingFile, const std::wstring& newFile,
                                   std::uint32_t flags) {
  return !Fails("move", newFile.empty() ? existingFile : newFile) && Real->MoveFile(existingFile, newFile, flags);
}

bool TFaultPlatformTools::CreateDirectory(const std::wstring& path) {
  return !Fails("mkdir", path) && Real->CreateDirectory(path);
}

bool TFaultPlatformTools::WriteIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                                         const wchar_t* value) {
  // A flush of the cache alone writes nothing of its own.
  if (section && Fails("profile", file)) return false;
  return Real->WriteIniString(file, section, key, value);
}

TFaultInjection::TFaultInjection()
    : Tools(MakeRef<TFaultPlatformTools>(RefPtr<IPlatformTools>(&PlatformTools()))),
      Previous(SetPlatformTools(Tools)) {}

TFaultInjection::~TFaultInjection() { SetPlatformTools(Previous); }

}  // namespace testsupport
