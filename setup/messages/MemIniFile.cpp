#include "setup/messages/MemIniFile.h"

#include <algorithm>

#include "platform/StrTool.h"

namespace {

// Section and key names compare like the system's case-insensitive text
// comparison.
bool SameName(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && UpperCaseText(a) == UpperCaseText(b);
}

}  // namespace

const TMemIniFile::TSection* TMemIniFile::FindSection(const std::wstring& name) const {
  for (const auto& section : Sections) {
    if (SameName(section.Name, name)) return &section;
  }
  return nullptr;
}

std::wstring TMemIniFile::ReadString(const std::wstring& section, const std::wstring& key,
                                     const std::wstring& def) const {
  const TSection* found = FindSection(section);
  if (!found) return def;
  for (const auto& [name, value] : found->Values) {
    if (SameName(name, key)) return value;
  }
  return def;
}

void TMemIniFile::WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
  auto* found = const_cast<TSection*>(FindSection(section));
  if (!found) found = &Sections.emplace_back(TSection{section, {}});
  for (auto& [name, old] : found->Values) {
    if (SameName(name, key)) {
      old = value;
      return;
    }
  }
  found->Values.emplace_back(key, value);
}

bool TMemIniFile::SectionExists(const std::wstring& section) const { return FindSection(section) != nullptr; }

bool TMemIniFile::ValueExists(const std::wstring& section, const std::wstring& key) const {
  const TSection* found = FindSection(section);
  if (!found) return false;
  return std::any_of(found->Values.begin(), found->Values.end(),
                     [&](const auto& entry) { return SameName(entry.first, key); });
}

void TMemIniFile::SetStrings(const std::vector<std::wstring>& lines) {
  Sections.clear();
  TSection* current = nullptr;
  for (const auto& line : lines) {
    const std::wstring trimmed = TrimText(line);
    if (trimmed.empty() || trimmed[0] == L';') continue;
    if (trimmed.front() == L'[' && trimmed.back() == L']' && trimmed.size() >= 2) {
      const std::wstring name = TrimText(trimmed.substr(1, trimmed.size() - 2));
      current = const_cast<TSection*>(FindSection(name));
      if (!current) current = &Sections.emplace_back(TSection{name, {}});
      continue;
    }
    if (!current) continue;
    const std::size_t start = line.find_first_not_of(L" \t");
    const std::size_t equal = line.find(L'=', start);
    if (equal == std::wstring::npos) {
      current->Values.emplace_back(trimmed, std::wstring());
      continue;
    }
    current->Values.emplace_back(TrimText(line.substr(start, equal - start)), line.substr(equal + 1));
  }
}

std::vector<std::wstring> TMemIniFile::GetStrings() const {
  std::vector<std::wstring> lines;
  for (const auto& section : Sections) {
    lines.push_back(L"[" + section.Name + L"]");
    for (const auto& [name, value] : section.Values) lines.push_back(name + L"=" + value);
  }
  return lines;
}
