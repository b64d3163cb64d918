#pragma once
// A platform for list-file tests: the ANSI code page is 1251, conversions
// and file checks go to the real tools, and the system folders and the
// CurrentVersion registry values are chosen by the test.

#include <map>
#include <string>

#include "platform/PlatformToolsBase.h"

class TListFilePlatform : public TPlatformToolsBase {
public:
  explicit TListFilePlatform(RefPtr<IPlatformTools> real) : Real(std::move(real)) {}

  std::map<std::wstring, std::wstring> CurrentVersionValues = {
      {L"CommonFilesDir (x86)", L"C:\\Program Files (x86)\\Common Files"},
      {L"ProgramFilesDir (x86)", L"C:\\Program Files (x86)"}};
  std::wstring SystemFolder = L"C:\\windows\\system32\\";
  std::wstring WindowsFolder = L"C:\\windows";
  std::uint32_t UserLcid = 1049;

  std::uint32_t GetAnsiCodePage() override { return 1251; }
  std::uint32_t GetUserDefaultLcid() override { return UserLcid; }
  std::wstring AnsiToUnicode(const std::string& text, std::uint32_t codePage) override {
    return Real->AnsiToUnicode(text, codePage);
  }
  std::wstring BytesToUnicode(const void* bytes, int length, std::uint32_t codePage) override {
    return Real->BytesToUnicode(bytes, length, codePage);
  }
  std::string UnicodeToAnsi(const std::wstring& text, std::uint32_t codePage) override {
    return Real->UnicodeToAnsi(text, codePage);
  }
  bool FileExists(const std::wstring& path) override { return Real->FileExists(path); }
  Handle OpenFileHandle(const std::wstring& path, std::uint8_t openMode, bool openExisting) override {
    return Real->OpenFileHandle(path, openMode, openExisting);
  }
  bool ReadFileData(Handle file, void* buffer, std::uint32_t count, std::uint32_t& read) override {
    return Real->ReadFileData(file, buffer, count, read);
  }
  void CloseHandleAndReset(Handle& handle) override { Real->CloseHandleAndReset(handle); }
  std::wstring GetSystemDirectory() override { return SystemFolder; }
  std::wstring GetWindowsDirectory() override { return WindowsFolder; }
  bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::wstring& text,
                          std::uint32_t) override {
    const auto found = CurrentVersionValues.find(name);
    if (root != RegistryRoot::LocalMachine || key != L"Software\\Microsoft\\Windows\\CurrentVersion" ||
        found == CurrentVersionValues.end()) {
      SetLastError(2);
      return false;
    }
    text = found->second;
    return true;
  }

private:
  RefPtr<IPlatformTools> Real;
};
