#pragma once
// An in-memory INI store: sections of key=value lines, section and key names
// compared without regard to letter case. Values are taken verbatim after
// the first "=", so blanks at their ends survive.

#include <string>
#include <utility>
#include <vector>

class TMemIniFile {
public:
  TMemIniFile() = default;
  virtual ~TMemIniFile() = default;

  // The first value of key in section (a repeated section header continues
  // the same section), or def when there is none.
  virtual std::wstring ReadString(const std::wstring& section, const std::wstring& key, const std::wstring& def) const;
  // Replaces the first value of key in section, or appends the key (and the
  // section when it is new).
  void WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value);
  bool SectionExists(const std::wstring& section) const;
  bool ValueExists(const std::wstring& section, const std::wstring& key) const;

  // Replaces the whole content with INI text lines. Blank lines, lines that
  // start with ";" and lines before the first section are dropped.
  void SetStrings(const std::vector<std::wstring>& lines);
  // The content as INI text lines.
  std::vector<std::wstring> GetStrings() const;
  void Clear() { Sections.clear(); }

private:
  struct TSection {
    std::wstring Name;
    std::vector<std::pair<std::wstring, std::wstring>> Values;
  };
  const TSection* FindSection(const std::wstring& name) const;
  std::vector<TSection> Sections;
};
