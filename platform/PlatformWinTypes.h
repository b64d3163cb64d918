#pragma once
// The Windows implementation of IPlatformTools.

#include "platform/PlatformToolsBase.h"

// Every operation through the Windows call it names; see IPlatformTools.
class TPlatformTools : public TPlatformToolsBase {
public:
  std::wstring AnsiToUnicode(const std::string& text, std::uint32_t codePage) override;
  std::wstring BytesToUnicode(const void* bytes, int length, std::uint32_t codePage) override;
  std::string UnicodeToAnsi(const std::wstring& text, std::uint32_t codePage) override;
  std::uint32_t GetAnsiCodePage() override;
  std::uint32_t GetLastError() override;
  void SetLastError(std::uint32_t code) override;
  bool IsCharAlpha(wchar_t c) override;
  bool IsCharAlphaAnsi(char c) override;
  bool IsCharAlphaNumeric(wchar_t c) override;
  bool IsCharLower(wchar_t c) override;
  bool IsCharUpper(wchar_t c) override;
  bool RegistryKeyExists(RegistryRoot root, const std::wstring& key) override;
  bool DirectoryExists(const std::wstring& path) override;
  bool FileExists(const std::wstring& path) override;
  std::uint32_t GetUserDefaultLcid() override;
  std::uint32_t GetThreadLocale() override;
};
