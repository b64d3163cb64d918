#pragma once
// setup.ini of a kit or an installed copy, read into memory as UTF-8. A
// section named by a language code ("$" and the locale identifier as 8
// hexadecimal digits) carries translated values: reads look there first.

#include <string>

#include "setup/messages/MemIniFile.h"

class TSetupIniFile : public TMemIniFile {
public:
  // Reads path (a missing or unreadable file gives an empty store). The
  // language code is the process's current one unless given.
  explicit TSetupIniFile(const std::wstring& path, const std::wstring& languageCode = {});

  // The value of key in the language section when that has the key, else
  // in section, else def.
  std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                          const std::wstring& def) const override;
  // "1"/"0" and "true"/"false" (any case); anything else gives def.
  bool ReadBool(const std::wstring& section, const std::wstring& key, bool def) const;

  const std::wstring FileName;
  const std::wstring LanguageCode;
};

// Splits UTF-8 text (with or without its byte-order mark) into lines.
std::vector<std::wstring> SplitUtf8Lines(const std::string& bytes);
