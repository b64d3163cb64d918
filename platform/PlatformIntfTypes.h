#pragma once
// The operating-system operations shared by every part of setup, behind one
// reference-counted interface, and the runtime-environment flags detected
// once at start-up. Platform-neutral: no <windows.h> here.
//
// Contract of every operation: it never throws; on failure it returns a
// neutral value (false, empty text, 0, -1, InvalidHandle) and leaves the
// reason in the thread's last error, as the underlying system call left it.

#include <cstdint>
#include <string>

#include "platform/RefCounted.h"

// Opaque system handles, the same size as their Windows counterparts.
using Handle = void*;
using ModuleHandle = void*;
using WindowHandle = void*;

// INVALID_HANDLE_VALUE.
inline Handle const InvalidHandle = reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1));

// Predefined registry roots (the HKEY_* values).
enum class RegistryRoot : std::uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
  Users = 0x80000003u,
};

// Days since 1899-12-30; the fraction is the time of day.
using DateTime = double;

constexpr std::uint32_t InvalidFileAttributes = 0xFFFFFFFFu;

// Windows disabled by DisableTaskWindows, the last one disabled first.
struct TTaskWindowNode {
  WindowHandle Window;
  TTaskWindowNode* Next;
};
using TTaskWindowList = TTaskWindowNode*;

// Open modes of files (low two bits: access 0 read, 1 write, 2 both; high
// four bits: sharing 0/1 none, 2 read, 3 write, 4 both).
constexpr std::uint8_t OpenModeReadShareBoth = 0x40;
constexpr std::uint8_t OpenModeReadWriteExclusive = 0x12;
constexpr std::uint8_t OpenModeCreateNew = 0x04;
// Writing, no sharing: with openExisting false, the file is created afresh.
constexpr std::uint8_t OpenModeWriteExclusive = 0x11;

class IPlatformTools : public IInterface {
public:
  virtual void* GetApplicationObject() = 0;
  virtual bool ProcessMessage() = 0;
  virtual bool ProcessMessages() = 0;
  virtual void InvokeHandler(std::intptr_t a, std::intptr_t b, std::intptr_t c) = 0;
  virtual void PostQuit() = 0;
  virtual std::wstring AnsiToUnicode(const std::string& text, std::uint32_t codePage) = 0;
  virtual std::wstring BytesToUnicode(const void* bytes, int length, std::uint32_t codePage) = 0;
  virtual std::string UnicodeToAnsi(const std::wstring& text, std::uint32_t codePage) = 0;
  virtual bool TryCharsetToCodePage(std::uint32_t charset, std::uint32_t& codePage) = 0;
  virtual std::uint32_t CharsetToCodePage(std::uint32_t charset) = 0;
  virtual std::uint32_t CodePageToCharset(std::uint32_t codePage) = 0;
  virtual bool InitializeCom() = 0;
  virtual void UninitializeCom() = 0;
  virtual bool GrantUsersModifyAccess(const std::wstring& path) = 0;
  virtual Handle OpenFileHandle(const std::wstring& path, std::uint8_t openMode, bool openExisting) = 0;
  virtual Handle CreateNamedPipe(const std::wstring& name, std::uint32_t outputSize, std::uint32_t inputSize) = 0;
  virtual bool PeekPipe(Handle pipe, std::uint32_t& bytesAvailable) = 0;
  virtual bool CreateHardLink(const std::wstring& existingFile, const std::wstring& newLink) = 0;
  virtual bool CreateSymbolicLink(const std::wstring& target, const std::wstring& newLink) = 0;
  virtual bool DefineDosDevice(const std::wstring& device, const std::wstring& target) = 0;
  virtual bool RemoveDosDevice(const std::wstring& device) = 0;
  virtual void CloseHandleAndReset(Handle& handle) = 0;
  virtual bool CopyFile(const std::wstring& source, const std::wstring& destination, bool failIfExists) = 0;
  virtual void WaitProcessingMessages(std::uint32_t milliseconds) = 0;
  virtual bool DirectoryExists(const std::wstring& path) = 0;
  virtual Handle OpenPathForQuery(const std::wstring& path) = 0;
  virtual void EnableTaskWindows(TTaskWindowList& list) = 0;
  virtual TTaskWindowList DisableTaskWindows(WindowHandle windowToKeep) = 0;
  virtual std::wstring GetLongPathName(const std::wstring& path) = 0;
  virtual DateTime FileTimeToDateTime(std::uint64_t fileTime, bool toLocal) = 0;
  virtual std::wstring GetFileVersion(const std::wstring& file) = 0;
  virtual bool FlushFile(Handle file) = 0;
  virtual std::wstring CreateGuidString(bool hex, bool lowerCase, bool dashed) = 0;
  virtual Handle ReservedHandle() = 0;
  virtual std::wstring GetComputerName() = 0;
  virtual std::uint32_t GetCurrentThreadId() = 0;
  virtual std::uint32_t GetAnsiCodePage() = 0;
  virtual std::wstring GetFinalDirectoryPath(const std::wstring& path) = 0;
  virtual std::uint32_t GetDriveType(const std::wstring& root) = 0;
  virtual std::uint32_t GetFileAttributes(const std::wstring& path) = 0;
  virtual std::int64_t GetFileSize(const std::wstring& path, bool forceOpen) = 0;
  virtual bool GetFileWriteTime(Handle file, std::uint64_t& fileTime) = 0;
  virtual bool SetFileWriteTime(Handle file, std::uint64_t fileTime) = 0;
  virtual std::int64_t GetDiskFreeSpace(const std::wstring& path) = 0;
  virtual std::uint32_t GetLastError() = 0;
  virtual std::wstring GetLocaleInfo(std::uint32_t locale, std::uint32_t infoType) = 0;
  virtual std::uint32_t GetConsoleCodePage() = 0;
  virtual DateTime GetTimeZoneBias() = 0;
  virtual std::wstring GetDosDeviceTarget(const std::wstring& path) = 0;
  virtual std::wstring GetModuleFileName(ModuleHandle module) = 0;
  virtual std::uint32_t GetNearestColor(std::uint32_t color) = 0;
  virtual std::uint32_t GetThreadLocale() = 0;
  virtual std::uint64_t GetTickCount() = 0;
  virtual std::uint32_t GetUserDefaultLcid() = 0;
  virtual std::wstring GetUserName() = 0;
  virtual bool GetVolumeLabel(const std::wstring& root, std::wstring& label) = 0;
  virtual std::int32_t InterlockedDecrement(std::int32_t& counter) = 0;
  virtual std::int32_t InterlockedIncrement(std::int32_t& counter) = 0;
  virtual bool IsUserAdmin() = 0;
  virtual bool IsCharAlpha(wchar_t c) = 0;
  virtual bool IsCharAlphaAnsi(char c) = 0;
  virtual bool IsCharAlphaNumeric(wchar_t c) = 0;
  virtual bool IsCharLower(wchar_t c) = 0;
  virtual bool IsCharUpper(wchar_t c) = 0;
  virtual bool IsRemovableDrive(const std::wstring& path) = 0;
  virtual bool IsNetworkDrive(const std::wstring& path) = 0;
  virtual bool FileExists(const std::wstring& path) = 0;
  virtual bool IsFloppyDrive(const std::wstring& path) = 0;
  virtual bool IsMainThread() = 0;
  virtual bool IsSubstDrive(const std::wstring& path) = 0;
  virtual bool IsPipeHandle(Handle handle) = 0;
  virtual bool IsAutorunRegistered(const std::wstring& name) = 0;
  virtual bool IsRemoteSession() = 0;
  virtual void* GetProcAddress(ModuleHandle module, const char* name) = 0;
  virtual ModuleHandle LoadLibrary(const std::wstring& fileName) = 0;
  virtual bool FreeLibrary(ModuleHandle module) = 0;
  virtual int MulDiv(int number, int numerator, int denominator) = 0;
  virtual bool InitializeComLibrary() = 0;
  virtual void UninitializeComLibrary() = 0;
  virtual std::wstring GetWindowsDirectory() = 0;
  virtual std::wstring GetSystemDirectory() = 0;
  virtual std::wstring GetSystemWow64Directory() = 0;
  virtual bool InitiateShutdown(const std::wstring& message, std::uint32_t graceSeconds, bool force, bool restart) = 0;
  virtual bool ExitWindows(bool force, bool restart) = 0;
  virtual bool SuspendSystem(bool hibernate) = 0;
  virtual void ReservedProcedure1() = 0;
  virtual void ReservedProcedure2() = 0;
  virtual bool PostMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  virtual bool ProcessOneMessage() = 0;
  virtual bool ProcessPendingMessages() = 0;
  virtual bool QueryPerformanceCounter(std::int64_t& counter) = 0;
  virtual bool QueryPerformanceFrequency(std::int64_t& frequency) = 0;
  virtual std::uint32_t RegisterWindowMessage(const std::wstring& name) = 0;
  virtual bool ReadRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::uint32_t& value) = 0;
  virtual bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::wstring& text,
                                  std::uint32_t extraAccess) = 0;
  virtual bool DeleteRegistryKey(RegistryRoot root, const std::wstring& key) = 0;
  virtual bool RegistryKeyExists(RegistryRoot root, const std::wstring& key) = 0;
  virtual bool WriteRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::uint32_t value) = 0;
  virtual bool WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                                   const std::wstring& text) = 0;
  virtual bool RemoveDirectory(const std::wstring& path) = 0;
  virtual bool ReplaceFileInUse(const std::wstring& existingFile, const std::wstring& newFile) = 0;
  virtual bool SendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                                  std::uint32_t flags, std::uint32_t timeout, std::uintptr_t* result) = 0;
  virtual bool SetEnvironmentVariable(const std::wstring& name, const std::wstring& value) = 0;
  virtual bool SetFileAttributes(const std::wstring& path, std::uint32_t attributes) = 0;
  virtual std::uint32_t SetErrorMode(std::uint32_t mode) = 0;
  virtual std::uint32_t SetAutorun(const std::wstring& name, const std::wstring& command, bool enable, bool allUsers) = 0;
  virtual void SetLastError(std::uint32_t code) = 0;
  virtual bool SetThreadPriorityHighest() = 0;
  virtual bool SetThreadPriorityNormal() = 0;
  virtual bool SetThreadPriorityTimeCritical() = 0;
  virtual int ScaleForDpi(int value) = 0;
  virtual void PreciseSleep(int milliseconds) = 0;
  virtual std::wstring GetTempPath() = 0;
  virtual bool TerminateThread(Handle thread, std::uint32_t exitCode) = 0;
  virtual bool ThreadExists(std::uint32_t threadId) = 0;
  virtual bool VerifyFileSignature(const std::wstring& file) = 0;
  virtual int AskYesNoWithTimeout(const std::wstring& caption, const std::wstring& text, std::uint32_t timeoutMs) = 0;

  // The file writes of the install, update and uninstall pipelines that the
  // operations above do not cover. Together with OpenFileHandle (creating),
  // CopyFile, ReplaceFileInUse, RemoveDirectory and SetFileAttributes they
  // are every change those pipelines make to files, so that a decorator of
  // this interface sees (and may fail) each one.

  // WriteFile: all of count bytes or false (written tells how many went).
  virtual bool WriteFileData(Handle file, const void* buffer, std::uint32_t count, std::uint32_t& written) = 0;
  // DeleteFileW.
  virtual bool DeleteFile(const std::wstring& path) = 0;
  // MoveFileExW with MoveFile* flags; an empty target with
  // MoveFileDelayUntilReboot deletes the file at the next system start.
  virtual bool MoveFile(const std::wstring& existingFile, const std::wstring& newFile, std::uint32_t flags) = 0;
  // CreateDirectoryW of one folder (its parent must exist).
  virtual bool CreateDirectory(const std::wstring& path) = 0;
  // WritePrivateProfileStringW; a null key erases the section, a null value
  // the key, all three null flush the file's cached changes.
  virtual bool WriteIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                                  const wchar_t* value) = 0;

  // ReadFile of a handle from OpenFileHandle: up to count bytes; true with
  // read 0 at the end of the file.
  virtual bool ReadFileData(Handle file, void* buffer, std::uint32_t count, std::uint32_t& read) = 0;
};

// Flags of MoveFile (the MOVEFILE_* values).
constexpr std::uint32_t MoveFileReplaceExisting = 0x1;
constexpr std::uint32_t MoveFileCopyAllowed = 0x2;
constexpr std::uint32_t MoveFileDelayUntilReboot = 0x4;
constexpr std::uint32_t MoveFileWriteThrough = 0x8;

// Runtime-environment flags: written once by the start-up detection, read
// everywhere afterwards. All false until detection has run.
struct TRuntimeEnvironment {
  bool IsWindowsNT = false;
  bool IsWindows2000OrLater = false;
  bool IsWindowsNT4 = false;
  bool IsWindowsXPOrLater = false;
  bool IsWindowsVistaOrLater = false;
  bool IsWindows7OrLater = false;
  bool IsWindows8OrLater = false;
  bool IsWindows10OrLater = false;
  bool IsWine = false;
  bool IsCrossOver = false;
  bool IsSnap = false;
  bool IsWineOnMacOS = false;
  bool IsWineOnLinux = false;
  bool BalloonTipsEnabled = false;
  bool IsWow64 = false;
  bool IsWindowsSMode = false;
  bool IsPackagedApp = false;
  std::wstring PackageFamilyName;
};

// The process-wide instance; created, with the environment detected, on
// first use (the program's entry calls it before anything else).
IPlatformTools& PlatformTools();
const TRuntimeEnvironment& RuntimeEnvironment();

// Replaces the process-wide instance (test seams and fault injection). The
// previous instance is returned so that the caller can put it back.
RefPtr<IPlatformTools> SetPlatformTools(RefPtr<IPlatformTools> tools);
