#pragma once
// A neutral IPlatformTools whose every operation reports failure with the
// operation's neutral value (false, empty text, 0, -1, InvalidHandle). Test
// fakes and the implementation for other systems derive from it and override
// only what they provide. The few operations that are pure arithmetic or
// bookkeeping (MulDiv, the interlocked counters, FileTimeToDateTime, the
// thread's last error, CloseHandleAndReset) work everywhere.

#include "platform/PlatformIntfTypes.h"

class TPlatformToolsBase : public TRefCountedObject<IPlatformTools> {
public:
  void* GetApplicationObject() override;
  bool ProcessMessage() override;
  bool ProcessMessages() override;
  void InvokeHandler(std::intptr_t a, std::intptr_t b, std::intptr_t c) override;
  void PostQuit() override;
  std::wstring AnsiToUnicode(const std::string& text, std::uint32_t codePage) override;
  std::wstring BytesToUnicode(const void* bytes, int length, std::uint32_t codePage) override;
  std::string UnicodeToAnsi(const std::wstring& text, std::uint32_t codePage) override;
  bool TryCharsetToCodePage(std::uint32_t charset, std::uint32_t& codePage) override;
  std::uint32_t CharsetToCodePage(std::uint32_t charset) override;
  std::uint32_t CodePageToCharset(std::uint32_t codePage) override;
  bool InitializeCom() override;
  void UninitializeCom() override;
  bool GrantUsersModifyAccess(const std::wstring& path) override;
  Handle OpenFileHandle(const std::wstring& path, std::uint8_t openMode, bool openExisting) override;
  Handle CreateNamedPipe(const std::wstring& name, std::uint32_t outputSize, std::uint32_t inputSize) override;
  bool PeekPipe(Handle pipe, std::uint32_t& bytesAvailable) override;
  bool CreateHardLink(const std::wstring& existingFile, const std::wstring& newLink) override;
  bool CreateSymbolicLink(const std::wstring& target, const std::wstring& newLink) override;
  bool DefineDosDevice(const std::wstring& device, const std::wstring& target) override;
  bool RemoveDosDevice(const std::wstring& device) override;
  void CloseHandleAndReset(Handle& handle) override;
  bool CopyFile(const std::wstring& source, const std::wstring& destination, bool failIfExists) override;
  void WaitProcessingMessages(std::uint32_t milliseconds) override;
  bool DirectoryExists(const std::wstring& path) override;
  Handle OpenPathForQuery(const std::wstring& path) override;
  void EnableTaskWindows(TTaskWindowList& list) override;
  TTaskWindowList DisableTaskWindows(WindowHandle windowToKeep) override;
  std::wstring GetLongPathName(const std::wstring& path) override;
  DateTime FileTimeToDateTime(std::uint64_t fileTime, bool toLocal) override;
  std::wstring GetFileVersion(const std::wstring& file) override;
  bool FlushFile(Handle file) override;
  std::wstring CreateGuidString(bool hex, bool lowerCase, bool dashed) override;
  Handle ReservedHandle() override;
  std::wstring GetComputerName() override;
  std::uint32_t GetCurrentThreadId() override;
  std::uint32_t GetAnsiCodePage() override;
  std::wstring GetFinalDirectoryPath(const std::wstring& path) override;
  std::uint32_t GetDriveType(const std::wstring& root) override;
  std::uint32_t GetFileAttributes(const std::wstring& path) override;
  std::int64_t GetFileSize(const std::wstring& path, bool forceOpen) override;
  bool GetFileWriteTime(Handle file, std::uint64_t& fileTime) override;
  bool SetFileWriteTime(Handle file, std::uint64_t fileTime) override;
  std::int64_t GetDiskFreeSpace(const std::wstring& path) override;
  std::uint32_t GetLastError() override;
  std::wstring GetLocaleInfo(std::uint32_t locale, std::uint32_t infoType) override;
  std::uint32_t GetConsoleCodePage() override;
  DateTime GetTimeZoneBias() override;
  std::wstring GetDosDeviceTarget(const std::wstring& path) override;
  std::wstring GetModuleFileName(ModuleHandle module) override;
  std::uint32_t GetNearestColor(std::uint32_t color) override;
  std::uint32_t GetThreadLocale() override;
  std::uint64_t GetTickCount() override;
  std::uint32_t GetUserDefaultLcid() override;
  std::wstring GetUserName() override;
  bool GetVolumeLabel(const std::wstring& root, std::wstring& label) override;
  std::int32_t InterlockedDecrement(std::int32_t& counter) override;
  std::int32_t InterlockedIncrement(std::int32_t& counter) override;
  bool IsUserAdmin() override;
  bool IsCharAlpha(wchar_t c) override;
  bool IsCharAlphaAnsi(char c) override;
  bool IsCharAlphaNumeric(wchar_t c) override;
  bool IsCharLower(wchar_t c) override;
  bool IsCharUpper(wchar_t c) override;
  bool IsRemovableDrive(const std::wstring& path) override;
  bool IsNetworkDrive(const std::wstring& path) override;
  bool FileExists(const std::wstring& path) override;
  bool IsFloppyDrive(const std::wstring& path) override;
  bool IsMainThread() override;
  bool IsSubstDrive(const std::wstring& path) override;
  bool IsPipeHandle(Handle handle) override;
  bool IsAutorunRegistered(const std::wstring& name) override;
  bool IsRemoteSession() override;
  void* GetProcAddress(ModuleHandle module, const char* name) override;
  ModuleHandle LoadLibrary(const std::wstring& fileName) override;
  bool FreeLibrary(ModuleHandle module) override;
  int MulDiv(int number, int numerator, int denominator) override;
  bool InitializeComLibrary() override;
  void UninitializeComLibrary() override;
  std::wstring GetWindowsDirectory() override;
  std::wstring GetSystemDirectory() override;
  std::wstring GetSystemWow64Directory() override;
  bool InitiateShutdown(const std::wstring& message, std::uint32_t graceSeconds, bool force, bool restart) override;
  bool ExitWindows(bool force, bool restart) override;
  bool SuspendSystem(bool hibernate) override;
  void ReservedProcedure1() override;
  void ReservedProcedure2() override;
  bool PostMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
  bool ProcessOneMessage() override;
  bool ProcessPendingMessages() override;
  bool QueryPerformanceCounter(std::int64_t& counter) override;
  bool QueryPerformanceFrequency(std::int64_t& frequency) override;
  std::uint32_t RegisterWindowMessage(const std::wstring& name) override;
  bool ReadRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                         std::uint32_t& value) override;
  bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::wstring& text,
                          std::uint32_t extraAccess) override;
  bool DeleteRegistryKey(RegistryRoot root, const std::wstring& key) override;
  bool RegistryKeyExists(RegistryRoot root, const std::wstring& key) override;
  bool WriteRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                          std::uint32_t value) override;
  bool WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                           const std::wstring& text) override;
  bool RemoveDirectory(const std::wstring& path) override;
  bool ReplaceFileInUse(const std::wstring& existingFile, const std::wstring& newFile) override;
  bool SendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                          std::uint32_t flags, std::uint32_t timeout, std::uintptr_t* result) override;
  bool SetEnvironmentVariable(const std::wstring& name, const std::wstring& value) override;
  bool SetFileAttributes(const std::wstring& path, std::uint32_t attributes) override;
  std::uint32_t SetErrorMode(std::uint32_t mode) override;
  std::uint32_t SetAutorun(const std::wstring& name, const std::wstring& command, bool enable, bool allUsers) override;
  void SetLastError(std::uint32_t code) override;
  bool SetThreadPriorityHighest() override;
  bool SetThreadPriorityNormal() override;
  bool SetThreadPriorityTimeCritical() override;
  int ScaleForDpi(int value) override;
  void PreciseSleep(int milliseconds) override;
  std::wstring GetTempPath() override;
  bool TerminateThread(Handle thread, std::uint32_t exitCode) override;
  bool ThreadExists(std::uint32_t threadId) override;
  bool VerifyFileSignature(const std::wstring& file) override;
  int AskYesNoWithTimeout(const std::wstring& caption, const std::wstring& text, std::uint32_t timeoutMs) override;
  bool WriteFileData(Handle file, const void* buffer, std::uint32_t count, std::uint32_t& written) override;
  bool DeleteFile(const std::wstring& path) override;
  bool MoveFile(const std::wstring& existingFile, const std::wstring& newFile, std::uint32_t flags) override;
  bool CreateDirectory(const std::wstring& path) override;
  bool WriteIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                          const wchar_t* value) override;
  bool ReadFileData(Handle file, void* buffer, std::uint32_t count, std::uint32_t& read) override;
};

// Creates the system's own implementation and fills the environment flags;
// PlatformTools() calls it once, on first use. Each build tree links exactly
// one definition (the Windows unit or the POSIX unit).
RefPtr<IPlatformTools> CreateSystemPlatformTools(TRuntimeEnvironment& environment);
