#include "platform/PlatformToolsBase.h"

#include <atomic>
#include <cmath>
#include <utility>

namespace {
// The thread's last error where no system keeps one for us.
thread_local std::uint32_t LastErrorCode = 0;

constexpr std::uint32_t ErrorCallNotImplemented = 120;  // ERROR_CALL_NOT_IMPLEMENTED

template <class Result>
Result NotAvailable(Result value) {
  LastErrorCode = ErrorCallNotImplemented;
  return value;
}
}  // namespace

void* TPlatformToolsBase::GetApplicationObject() { return nullptr; }
bool TPlatformToolsBase::ProcessMessage() { return false; }
bool TPlatformToolsBase::ProcessMessages() { return true; }
void TPlatformToolsBase::InvokeHandler(std::intptr_t, std::intptr_t, std::intptr_t) {}
void TPlatformToolsBase::PostQuit() {}
std::wstring TPlatformToolsBase::AnsiToUnicode(const std::string&, std::uint32_t) { return NotAvailable(std::wstring()); }
std::wstring TPlatformToolsBase::BytesToUnicode(const void*, int, std::uint32_t) { return NotAvailable(std::wstring()); }
std::string TPlatformToolsBase::UnicodeToAnsi(const std::wstring&, std::uint32_t) { return NotAvailable(std::string()); }
bool TPlatformToolsBase::TryCharsetToCodePage(std::uint32_t, std::uint32_t&) { return NotAvailable(false); }
std::uint32_t TPlatformToolsBase::CharsetToCodePage(std::uint32_t) { return GetAnsiCodePage(); }
std::uint32_t TPlatformToolsBase::CodePageToCharset(std::uint32_t) { return 1; }  // DEFAULT_CHARSET
bool TPlatformToolsBase::InitializeCom() { return NotAvailable(false); }
void TPlatformToolsBase::UninitializeCom() {}
bool TPlatformToolsBase::GrantUsersModifyAccess(const std::wstring&) { return NotAvailable(false); }
Handle TPlatformToolsBase::OpenFileHandle(const std::wstring&, std::uint8_t, bool) { return NotAvailable(InvalidHandle); }
Handle TPlatformToolsBase::CreateNamedPipe(const std::wstring&, std::uint32_t, std::uint32_t) {
  return NotAvailable(InvalidHandle);
}
bool TPlatformToolsBase::PeekPipe(Handle, std::uint32_t&) { return NotAvailable(false); }
bool TPlatformToolsBase::CreateHardLink(const std::wstring&, const std::wstring&) { return NotAvailable(false); }
bool TPlatformToolsBase::CreateSymbolicLink(const std::wstring&, const std::wstring&) { return NotAvailable(false); }
bool TPlatformToolsBase::DefineDosDevice(const std::wstring&, const std::wstring&) { return NotAvailable(false); }
bool TPlatformToolsBase::RemoveDosDevice(const std::wstring&) { return NotAvailable(false); }
void TPlatformToolsBase::CloseHandleAndReset(Handle& handle) { handle = InvalidHandle; }
bool TPlatformToolsBase::CopyFile(const std::wstring&, const std::wstring&, bool) { return NotAvailable(false); }
void TPlatformToolsBase::WaitProcessingMessages(std::uint32_t) {}
bool TPlatformToolsBase::DirectoryExists(const std::wstring&) { return false; }
Handle TPlatformToolsBase::OpenPathForQuery(const std::wstring&) { return NotAvailable(InvalidHandle); }

void TPlatformToolsBase::EnableTaskWindows(TTaskWindowList& list) {
  while (list) delete std::exchange(list, list->Next);
}

TTaskWindowList TPlatformToolsBase::DisableTaskWindows(WindowHandle) { return nullptr; }
std::wstring TPlatformToolsBase::GetLongPathName(const std::wstring& path) { return path; }

DateTime TPlatformToolsBase::FileTimeToDateTime(std::uint64_t fileTime, bool) {
  // 100-ns units since 1601-01-01 to days since 1899-12-30.
  return static_cast<double>(fileTime) / 864000000000.0 - 109205.0;
}

std::wstring TPlatformToolsBase::GetFileVersion(const std::wstring&) { return {}; }
bool TPlatformToolsBase::FlushFile(Handle) { return NotAvailable(false); }
std::wstring TPlatformToolsBase::CreateGuidString(bool, bool, bool) { return NotAvailable(std::wstring()); }
Handle TPlatformToolsBase::ReservedHandle() { return nullptr; }
std::wstring TPlatformToolsBase::GetComputerName() { return NotAvailable(std::wstring()); }
std::uint32_t TPlatformToolsBase::GetCurrentThreadId() { return 0; }
std::uint32_t TPlatformToolsBase::GetAnsiCodePage() { return 1252; }
std::wstring TPlatformToolsBase::GetFinalDirectoryPath(const std::wstring& path) { return path; }
std::uint32_t TPlatformToolsBase::GetDriveType(const std::wstring&) { return 0; }  // DRIVE_UNKNOWN
std::uint32_t TPlatformToolsBase::GetFileAttributes(const std::wstring&) { return NotAvailable(InvalidFileAttributes); }
std::int64_t TPlatformToolsBase::GetFileSize(const std::wstring&, bool) { return NotAvailable(std::int64_t{-1}); }
bool TPlatformToolsBase::GetFileWriteTime(Handle, std::uint64_t&) { return NotAvailable(false); }
bool TPlatformToolsBase::SetFileWriteTime(Handle, std::uint64_t) { return NotAvailable(false); }
std::int64_t TPlatformToolsBase::GetDiskFreeSpace(const std::wstring&) { return NotAvailable(std::int64_t{-1}); }
std::uint32_t TPlatformToolsBase::GetLastError() { return LastErrorCode; }
std::wstring TPlatformToolsBase::GetLocaleInfo(std::uint32_t, std::uint32_t) { return NotAvailable(std::wstring()); }
std::uint32_t TPlatformToolsBase::GetConsoleCodePage() { return 866; }
DateTime TPlatformToolsBase::GetTimeZoneBias() { return 0; }
std::wstring TPlatformToolsBase::GetDosDeviceTarget(const std::wstring&) { return {}; }
std::wstring TPlatformToolsBase::GetModuleFileName(ModuleHandle) { return NotAvailable(std::wstring()); }
std::uint32_t TPlatformToolsBase::GetNearestColor(std::uint32_t color) { return color; }
std::uint32_t TPlatformToolsBase::GetThreadLocale() { return 1033; }
std::uint64_t TPlatformToolsBase::GetTickCount() { return 0; }
std::uint32_t TPlatformToolsBase::GetUserDefaultLcid() { return 1033; }
std::wstring TPlatformToolsBase::GetUserName() { return NotAvailable(std::wstring()); }
bool TPlatformToolsBase::GetVolumeLabel(const std::wstring&, std::wstring&) { return NotAvailable(false); }

std::int32_t TPlatformToolsBase::InterlockedDecrement(std::int32_t& counter) {
  return std::atomic_ref<std::int32_t>(counter).fetch_sub(1) - 1;
}

std::int32_t TPlatformToolsBase::InterlockedIncrement(std::int32_t& counter) {
  return std::atomic_ref<std::int32_t>(counter).fetch_add(1) + 1;
}

bool TPlatformToolsBase::IsUserAdmin() { return false; }
bool TPlatformToolsBase::IsCharAlpha(wchar_t) { return false; }
bool TPlatformToolsBase::IsCharAlphaAnsi(char) { return false; }
bool TPlatformToolsBase::IsCharAlphaNumeric(wchar_t) { return false; }
bool TPlatformToolsBase::IsCharLower(wchar_t) { return false; }
bool TPlatformToolsBase::IsCharUpper(wchar_t) { return false; }
bool TPlatformToolsBase::IsRemovableDrive(const std::wstring&) { return false; }
bool TPlatformToolsBase::IsNetworkDrive(const std::wstring&) { return false; }
bool TPlatformToolsBase::FileExists(const std::wstring&) { return false; }
bool TPlatformToolsBase::IsFloppyDrive(const std::wstring&) { return false; }
bool TPlatformToolsBase::IsMainThread() { return false; }
bool TPlatformToolsBase::IsSubstDrive(const std::wstring&) { return false; }
bool TPlatformToolsBase::IsPipeHandle(Handle) { return false; }
bool TPlatformToolsBase::IsAutorunRegistered(const std::wstring&) { return false; }
bool TPlatformToolsBase::IsRemoteSession() { return false; }
void* TPlatformToolsBase::GetProcAddress(ModuleHandle, const char*) { return NotAvailable(nullptr); }
ModuleHandle TPlatformToolsBase::LoadLibrary(const std::wstring&) { return NotAvailable(nullptr); }
bool TPlatformToolsBase::FreeLibrary(ModuleHandle) { return NotAvailable(false); }

int TPlatformToolsBase::MulDiv(int number, int numerator, int denominator) {
  // Windows semantics: rounded to the nearest integer, -1 for a zero divisor.
  if (denominator == 0) return -1;
  const long double exact = static_cast<long double>(number) * numerator / denominator;
  const long double rounded = std::round(exact);
  if (rounded > 2147483647.0L || rounded < -2147483648.0L) return -1;
  return static_cast<int>(rounded);
}

bool TPlatformToolsBase::InitializeComLibrary() { return InitializeCom(); }
void TPlatformToolsBase::UninitializeComLibrary() { UninitializeCom(); }
std::wstring TPlatformToolsBase::GetWindowsDirectory() { return NotAvailable(std::wstring()); }
std::wstring TPlatformToolsBase::GetSystemDirectory() { return NotAvailable(std::wstring()); }
std::wstring TPlatformToolsBase::GetSystemWow64Directory() { return NotAvailable(std::wstring()); }
bool TPlatformToolsBase::InitiateShutdown(const std::wstring&, std::uint32_t, bool, bool) { return NotAvailable(false); }
bool TPlatformToolsBase::ExitWindows(bool, bool) { return NotAvailable(false); }
bool TPlatformToolsBase::SuspendSystem(bool) { return NotAvailable(false); }
void TPlatformToolsBase::ReservedProcedure1() {}
void TPlatformToolsBase::ReservedProcedure2() {}
bool TPlatformToolsBase::PostMessage(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
  return NotAvailable(false);
}
bool TPlatformToolsBase::ProcessOneMessage() { return false; }
bool TPlatformToolsBase::ProcessPendingMessages() { return true; }
bool TPlatformToolsBase::QueryPerformanceCounter(std::int64_t&) { return NotAvailable(false); }
bool TPlatformToolsBase::QueryPerformanceFrequency(std::int64_t&) { return NotAvailable(false); }
std::uint32_t TPlatformToolsBase::RegisterWindowMessage(const std::wstring&) { return NotAvailable(0u); }
bool TPlatformToolsBase::ReadRegistryDword(RegistryRoot, const std::wstring&, const std::wstring&, std::uint32_t&) {
  return NotAvailable(false);
}
bool TPlatformToolsBase::ReadRegistryString(RegistryRoot, const std::wstring&, const std::wstring&, std::wstring&,
                                            std::uint32_t) {
  return NotAvailable(false);
}
bool TPlatformToolsBase::DeleteRegistryKey(RegistryRoot, const std::wstring&) { return NotAvailable(false); }
bool TPlatformToolsBase::RegistryKeyExists(RegistryRoot, const std::wstring&) { return NotAvailable(false); }
bool TPlatformToolsBase::WriteRegistryDword(RegistryRoot, const std::wstring&, const std::wstring&, std::uint32_t) {
  return NotAvailable(false);
}
bool TPlatformToolsBase::WriteRegistryString(RegistryRoot, const std::wstring&, const std::wstring&,
                                             const std::wstring&) {
  return NotAvailable(false);
}
bool TPlatformToolsBase::RemoveDirectory(const std::wstring&) { return NotAvailable(false); }
bool TPlatformToolsBase::ReplaceFileInUse(const std::wstring&, const std::wstring&) { return false; }
bool TPlatformToolsBase::SendMessageTimeout(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t, std::uint32_t,
                                            std::uint32_t, std::uintptr_t*) {
  return NotAvailable(false);
}
bool TPlatformToolsBase::SetEnvironmentVariable(const std::wstring&, const std::wstring&) { return NotAvailable(false); }
bool TPlatformToolsBase::SetFileAttributes(const std::wstring&, std::uint32_t) { return NotAvailable(false); }
std::uint32_t TPlatformToolsBase::SetErrorMode(std::uint32_t) { return 0; }
std::uint32_t TPlatformToolsBase::SetAutorun(const std::wstring&, const std::wstring&, bool, bool) {
  return ErrorCallNotImplemented;
}
void TPlatformToolsBase::SetLastError(std::uint32_t code) { LastErrorCode = code; }
bool TPlatformToolsBase::SetThreadPriorityHighest() { return NotAvailable(false); }
bool TPlatformToolsBase::SetThreadPriorityNormal() { return NotAvailable(false); }
bool TPlatformToolsBase::SetThreadPriorityTimeCritical() { return NotAvailable(false); }
int TPlatformToolsBase::ScaleForDpi(int value) { return value; }
void TPlatformToolsBase::PreciseSleep(int) {}
std::wstring TPlatformToolsBase::GetTempPath() { return NotAvailable(std::wstring()); }
bool TPlatformToolsBase::TerminateThread(Handle, std::uint32_t) { return NotAvailable(false); }
bool TPlatformToolsBase::ThreadExists(std::uint32_t) { return false; }
bool TPlatformToolsBase::VerifyFileSignature(const std::wstring&) { return true; }
int TPlatformToolsBase::AskYesNoWithTimeout(const std::wstring&, const std::wstring&, std::uint32_t) {
  return 2;  // IDCANCEL: no way to ask
}
bool TPlatformToolsBase::WriteFileData(Handle, const void*, std::uint32_t, std::uint32_t& written) {
  written = 0;
  return NotAvailable(false);
}
bool TPlatformToolsBase::ReadFileData(Handle, void*, std::uint32_t, std::uint32_t& read) {
  read = 0;
  return NotAvailable(false);
}
bool TPlatformToolsBase::DeleteFile(const std::wstring&) { return NotAvailable(false); }
bool TPlatformToolsBase::MoveFile(const std::wstring&, const std::wstring&, std::uint32_t) { return NotAvailable(false); }
bool TPlatformToolsBase::CreateDirectory(const std::wstring&) { return NotAvailable(false); }
bool TPlatformToolsBase::WriteIniString(const std::wstring&, const wchar_t*, const wchar_t*, const wchar_t*) {
  return NotAvailable(false);
}
