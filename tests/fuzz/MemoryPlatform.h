#pragma once
// The platform of the fuzz targets that run whole operations on files: a
// small machine kept in memory. Its files live in a folder of a memory file
// system (/dev/shm when there is one), since the format code reaches file
// contents through the C++ library; the operations of IPlatformTools that
// concern files answer for that folder, the registry is a map, the system
// and Windows folders and the temporary folder lie in the folder too, and
// text conversion is the system's. Nothing of the real machine is read or
// changed, and each run of a target sees the same machine.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "platform/PlatformToolsBase.h"

class TMemoryPlatform : public TPlatformToolsBase {
public:
  // root: the folder of the machine's files (made empty); text conversions
  // go to system.
  TMemoryPlatform(std::filesystem::path root, RefPtr<IPlatformTools> system);

  // A path of the machine as the format code writes it: root + "/" + the
  // given text, backslashes and all (on this system they are part of a name).
  std::wstring PathOf(const std::wstring& relative) const;

  std::wstring AnsiToUnicode(const std::string& text, std::uint32_t codePage) override;
  std::wstring BytesToUnicode(const void* bytes, int length, std::uint32_t codePage) override;
  std::string UnicodeToAnsi(const std::wstring& text, std::uint32_t codePage) override;
  std::uint32_t GetAnsiCodePage() override { return 1252; }
  std::uint32_t GetConsoleCodePage() override { return 866; }
  std::uint32_t GetUserDefaultLcid() override { return 1033; }
  std::uint32_t GetThreadLocale() override { return 1033; }
  bool IsCharAlpha(wchar_t c) override;
  bool IsCharAlphaNumeric(wchar_t c) override;
  bool IsCharLower(wchar_t c) override;
  bool IsCharUpper(wchar_t c) override;

  bool FileExists(const std::wstring& path) override;
  bool DirectoryExists(const std::wstring& path) override;
  std::uint32_t GetFileAttributes(const std::wstring& path) override;
  bool SetFileAttributes(const std::wstring& path, std::uint32_t attributes) override;
  std::int64_t GetFileSize(const std::wstring& path, bool forceOpen) override;
  bool CopyFile(const std::wstring& source, const std::wstring& destination, bool failIfExists) override;
  bool RemoveDirectory(const std::wstring& path) override;

  std::wstring GetTempPath() override;
  std::wstring GetSystemDirectory() override;
  std::wstring GetWindowsDirectory() override;
  std::wstring GetComputerName() override { return L"FUZZ"; }
  std::uint64_t GetTickCount() override { return ++Ticks; }
  DateTime GetTimeZoneBias() override { return 0; }

  bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::wstring& text,
                          std::uint32_t extraAccess) override;
  bool WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                           const std::wstring& text) override;

  const std::filesystem::path Root;

private:
  RefPtr<IPlatformTools> System;
  std::map<std::wstring, std::wstring> Registry;  // "root\key\name" in upper case -> value
  std::uint64_t Ticks = 0;
};
