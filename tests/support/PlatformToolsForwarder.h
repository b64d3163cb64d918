#pragma once
// An IPlatformTools that hands every operation to another instance (the
// system's own, as a rule). Test decorators derive from it and override only
// the operations they watch or change.

#include <utility>

#include "platform/PlatformIntfTypes.h"

class TPlatformToolsForwarder : public TRefCountedObject<IPlatformTools> {
public:
  explicit TPlatformToolsForwarder(RefPtr<IPlatformTools> real) : Real(std::move(real)) {}

  void* GetApplicationObject() override { return Real->GetApplicationObject(); }
  bool ProcessMessage() override { return Real->ProcessMessage(); }
  bool ProcessMessages() override { return Real->ProcessMessages(); }
  void InvokeHandler(std::intptr_t a, std::intptr_t b, std::intptr_t c) override { Real->InvokeHandler(a, b, c); }
  void PostQuit() override { Real->PostQuit(); }
  std::wstring AnsiToUnicode(const std::string& text, std::uint32_t codePage) override {
    return Real->AnsiToUnicode(text, codePage);
  }
  std::wstring BytesToUnicode(const void* bytes, int length, std::uint32_t codePage) override {
    return Real->BytesToUnicode(bytes, length, codePage);
  }
  std::string UnicodeToAnsi(const std::wstring& text, std::uint32_t codePage) override {
    return Real->UnicodeToAnsi(text, codePage);
  }
  bool TryCharsetToCodePage(std::uint32_t charset, std::uint32_t& codePage) override {
    return Real->TryCharsetToCodePage(charset, codePage);
  }
  std::uint32_t CharsetToCodePage(std::uint32_t charset) override { return Real->CharsetToCodePage(charset); }
  std::uint32_t CodePageToCharset(std::uint32_t codePage) override { return Real->CodePageToCharset(codePage); }
  bool InitializeCom() override { return Real->InitializeCom(); }
  void UninitializeCom() override { Real->UninitializeCom(); }
  bool GrantUsersModifyAccess(const std::wstring& path) override { return Real->GrantUsersModifyAccess(path); }
  Handle OpenFileHandle(const std::wstring& path, std::uint8_t openMode, bool openExisting) override {
    return Real->OpenFileHandle(path, openMode, openExisting);
  }
  Handle CreateNamedPipe(const std::wstring& name, std::uint32_t outputSize, std::uint32_t inputSize) override {
    return Real->CreateNamedPipe(name, outputSize, inputSize);
  }
  bool PeekPipe(Handle pipe, std::uint32_t& bytesAvailable) override { return Real->PeekPipe(pipe, bytesAvailable); }
  bool CreateHardLink(const std::wstring& existingFile, const std::wstring& newLink) override {
    return Real->CreateHardLink(existingFile, newLink);
  }
  bool CreateSymbolicLink(const std::wstring& target, const std::wstring& newLink) override {
    return Real->CreateSymbolicLink(target, newLink);
  }
  bool DefineDosDevice(const std::wstring& device, const std::wstring& target) override {
    return Real->DefineDosDevice(device, target);
  }
  bool RemoveDosDevice(const std::wstring& device) override { return Real->RemoveDosDevice(device); }
  void CloseHandleAndReset(Handle& handle) override { Real->CloseHandleAndReset(handle); }
  bool CopyFile(const std::wstring& source, const std::wstring& destination, bool failIfExists) override {
    return Real->CopyFile(source, destination, failIfExists);
  }
  void WaitProcessingMessages(std::uint32_t milliseconds) override { Real->WaitProcessingMessages(milliseconds); }
  bool DirectoryExists(const std::wstring& path) override { return Real->DirectoryExists(path); }
  Handle OpenPathForQuery(const std::wstring& path) override { return Real->OpenPathForQuery(path); }
  void EnableTaskWindows(TTaskWindowList& list) override { Real->EnableTaskWindows(list); }
  TTaskWindowList DisableTaskWindows(WindowHandle windowToKeep) override {
    return Real->DisableTaskWindows(windowToKeep);
  }
  std::wstring GetLongPathName(const std::wstring& path) override { return Real->GetLongPathName(path); }
  DateTime FileTimeToDateTime(std::uint64_t fileTime, bool toLocal) override {
    return Real->FileTimeToDateTime(fileTime, toLocal);
  }
  std::wstring GetFileVersion(const std::wstring& file) override { return Real->GetFileVersion(file); }
  bool FlushFile(Handle file) override { return Real->FlushFile(file); }
  std::wstring CreateGuidString(bool hex, bool lowerCase, bool dashed) override {
    return Real->CreateGuidString(hex, lowerCase, dashed);
  }
  Handle ReservedHandle() override { return Real->ReservedHandle(); }
  std::wstring GetComputerName() override { return Real->GetComputerName(); }
  std::uint32_t GetCurrentThreadId() override { return Real->GetCurrentThreadId(); }
  std::uint32_t GetAnsiCodePage() override { return Real->GetAnsiCodePage(); }
  std::wstring GetFinalDirectoryPath(const std::wstring& path) override { return Real->GetFinalDirectoryPath(path); }
  std::uint32_t GetDriveType(const std::wstring& root) override { return Real->GetDriveType(root); }
  std::uint32_t GetFileAttributes(const std::wstring& path) override { return Real->GetFileAttributes(path); }
  std::int64_t GetFileSize(const std::wstring& path, bool forceOpen) override {
    return Real->GetFileSize(path, forceOpen);
  }
  bool GetFileWriteTime(Handle file, std::uint64_t& fileTime) override {
    return Real->GetFileWriteTime(file, fileTime);
  }
  bool SetFileWriteTime(Handle file, std::uint64_t fileTime) override { return Real->SetFileWriteTime(file, fileTime); }
  std::int64_t GetDiskFreeSpace(const std::wstring& path) override { return Real->GetDiskFreeSpace(path); }
  std::uint32_t GetLastError() override { return Real->GetLastError(); }
  std::wstring GetLocaleInfo(std::uint32_t locale, std::uint32_t infoType) override {
    return Real->GetLocaleInfo(locale, infoType);
  }
  std::uint32_t GetConsoleCodePage() override { return Real->GetConsoleCodePage(); }
  DateTime GetTimeZoneBias() override { return Real->GetTimeZoneBias(); }
  std::wstring GetDosDeviceTarget(const std::wstring& path) override { return Real->GetDosDeviceTarget(path); }
  std::wstring GetModuleFileName(ModuleHandle module) override { return Real->GetModuleFileName(module); }
  std::uint32_t GetNearestColor(std::uint32_t color) override { return Real->GetNearestColor(color); }
  std::uint32_t GetThreadLocale() override { return Real->GetThreadLocale(); }
  std::uint64_t GetTickCount() override { return Real->GetTickCount(); }
  std::uint32_t GetUserDefaultLcid() override { return Real->GetUserDefaultLcid(); }
  std::wstring GetUserName() override { return Real->GetUserName(); }
  bool GetVolumeLabel(const std::wstring& root, std::wstring& label) override {
    return Real->GetVolumeLabel(root, label);
  }
  std::int32_t InterlockedDecrement(std::int32_t& counter) override { return Real->InterlockedDecrement(counter); }
  std::int32_t InterlockedIncrement(std::int32_t& counter) override { return Real->InterlockedIncrement(counter); }
  bool IsUserAdmin() override { return Real->IsUserAdmin(); }
  bool IsCharAlpha(wchar_t c) override { return Real->IsCharAlpha(c); }
  bool IsCharAlphaAnsi(char c) override { return Real->IsCharAlphaAnsi(c); }
  bool IsCharAlphaNumeric(wchar_t c) override { return Real->IsCharAlphaNumeric(c); }
  bool IsCharLower(wchar_t c) override { return Real->IsCharLower(c); }
  bool IsCharUpper(wchar_t c) override { return Real->IsCharUpper(c); }
  bool IsRemovableDrive(const std::wstring& path) override { return Real->IsRemovableDrive(path); }
  bool IsNetworkDrive(const std::wstring& path) override { return Real->IsNetworkDrive(path); }
  bool FileExists(const std::wstring& path) override { return Real->FileExists(path); }
  bool IsFloppyDrive(const std::wstring& path) override { return Real->IsFloppyDrive(path); }
  bool IsMainThread() override { return Real->IsMainThread(); }
  bool IsSubstDrive(const std::wstring& path) override { return Real->IsSubstDrive(path); }
  bool IsPipeHandle(Handle handle) override { return Real->IsPipeHandle(handle); }
  bool IsAutorunRegistered(const std::wstring& name) override { return Real->IsAutorunRegistered(name); }
  bool IsRemoteSession() override { return Real->IsRemoteSession(); }
  void* GetProcAddress(ModuleHandle module, const char* name) override { return Real->GetProcAddress(module, name); }
  ModuleHandle LoadLibrary(const std::wstring& fileName) override { return Real->LoadLibrary(fileName); }
  bool FreeLibrary(ModuleHandle module) override { return Real->FreeLibrary(module); }
  int MulDiv(int number, int numerator, int denominator) override {
    return Real->MulDiv(number, numerator, denominator);
  }
  bool InitializeComLibrary() override { return Real->InitializeComLibrary(); }
  void UninitializeComLibrary() override { Real->UninitializeComLibrary(); }
  std::wstring GetWindowsDirectory() override { return Real->GetWindowsDirectory(); }
  std::wstring GetSystemDirectory() override { return Real->GetSystemDirectory(); }
  std::wstring GetSystemWow64Directory() override { return Real->GetSystemWow64Directory(); }
  bool InitiateShutdown(const std::wstring& message, std::uint32_t graceSeconds, bool force, bool restart) override {
    return Real->InitiateShutdown(message, graceSeconds, force, restart);
  }
  bool ExitWindows(bool force, bool restart) override { return Real->ExitWindows(force, restart); }
  bool SuspendSystem(bool hibernate) override { return Real->SuspendSystem(hibernate); }
  void ReservedProcedure1() override { Real->ReservedProcedure1(); }
  void ReservedProcedure2() override { Real->ReservedProcedure2(); }
  bool PostMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
    return Real->PostMessage(window, message, wParam, lParam);
  }
  bool ProcessOneMessage() override { return Real->ProcessOneMessage(); }
  bool ProcessPendingMessages() override { return Real->ProcessPendingMessages(); }
  bool QueryPerformanceCounter(std::int64_t& counter) override { return Real->QueryPerformanceCounter(counter); }
  bool QueryPerformanceFrequency(std::int64_t& frequency) override {
    return Real->QueryPerformanceFrequency(frequency);
  }
  std::uint32_t RegisterWindowMessage(const std::wstring& name) override { return Real->RegisterWindowMessage(name); }
  bool ReadRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                         std::uint32_t& value) override {
    return Real->ReadRegistryDword(root, key, name, value);
  }
  bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::wstring& text,
                          std::uint32_t extraAccess) override {
    return Real->ReadRegistryString(root, key, name, text, extraAccess);
  }
  bool DeleteRegistryKey(RegistryRoot root, const std::wstring& key) override {
    return Real->DeleteRegistryKey(root, key);
  }
  bool RegistryKeyExists(RegistryRoot root, const std::wstring& key) override {
    return Real->RegistryKeyExists(root, key);
  }
  bool WriteRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                          std::uint32_t value) override {
    return Real->WriteRegistryDword(root, key, name, value);
  }
  bool WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                           const std::wstring& text) override {
    return Real->WriteRegistryString(root, key, name, text);
  }
  bool RemoveDirectory(const std::wstring& path) override { return Real->RemoveDirectory(path); }
  bool ReplaceFileInUse(const std::wstring& existingFile, const std::wstring& newFile) override {
    return Real->ReplaceFileInUse(existingFile, newFile);
  }
  bool SendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                          std::uint32_t flags, std::uint32_t timeout, std::uintptr_t* result) override {
    return Real->SendMessageTimeout(window, message, wParam, lParam, flags, timeout, result);
  }
  bool SetEnvironmentVariable(const std::wstring& name, const std::wstring& value) override {
    return Real->SetEnvironmentVariable(name, value);
  }
  bool SetFileAttributes(const std::wstring& path, std::uint32_t attributes) override {
    return Real->SetFileAttributes(path, attributes);
  }
  std::uint32_t SetErrorMode(std::uint32_t mode) override { return Real->SetErrorMode(mode); }
  std::uint32_t SetAutorun(const std::wstring& name, const std::wstring& command, bool enable, bool allUsers) override {
    return Real->SetAutorun(name, command, enable, allUsers);
  }
  void SetLastError(std::uint32_t code) override { Real->SetLastError(code); }
  bool SetThreadPriorityHighest() override { return Real->SetThreadPriorityHighest(); }
  bool SetThreadPriorityNormal() override { return Real->SetThreadPriorityNormal(); }
  bool SetThreadPriorityTimeCritical() override { return Real->SetThreadPriorityTimeCritical(); }
  int ScaleForDpi(int value) override { return Real->ScaleForDpi(value); }
  void PreciseSleep(int milliseconds) override { Real->PreciseSleep(milliseconds); }
  std::wstring GetTempPath() override { return Real->GetTempPath(); }
  bool TerminateThread(Handle thread, std::uint32_t exitCode) override {
    return Real->TerminateThread(thread, exitCode);
  }
  bool ThreadExists(std::uint32_t threadId) override { return Real->ThreadExists(threadId); }
  bool VerifyFileSignature(const std::wstring& file) override { return Real->VerifyFileSignature(file); }
  int AskYesNoWithTimeout(const std::wstring& caption, const std::wstring& text, std::uint32_t timeoutMs) override {
    return Real->AskYesNoWithTimeout(caption, text, timeoutMs);
  }
  bool WriteFileData(Handle file, const void* buffer, std::uint32_t count, std::uint32_t& written) override {
    return Real->WriteFileData(file, buffer, count, written);
  }
  bool DeleteFile(const std::wstring& path) override { return Real->DeleteFile(path); }
  bool MoveFile(const std::wstring& existingFile, const std::wstring& newFile, std::uint32_t flags) override {
    return Real->MoveFile(existingFile, newFile, flags);
  }
  bool CreateDirectory(const std::wstring& path) override { return Real->CreateDirectory(path); }
  bool WriteIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                      const wchar_t* value) override {
    return Real->WriteIniString(file, section, key, value);
  }
  bool ReadFileData(Handle file, void* buffer, std::uint32_t count, std::uint32_t& read) override {
    return Real->ReadFileData(file, buffer, count, read);
  }

protected:
  RefPtr<IPlatformTools> Real;
};
