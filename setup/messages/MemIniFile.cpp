#include "setup/messages/MemIniFile.h"

#include <algorithm>

namespace {

wchar_t FoldCase(wchar_t c) {
  if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 32);
  if (c >= 0x430 && c <= 0x44F) return static_cast<wchar_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 0x50);
  return c;
}

std::wstring Trim(const std::wstring& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && static_cast<unsigned>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

}  // namespace

bool SameTextIgnoreCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return FoldCase(x) == FoldCase(y); });
}

const TMemIniFile::TSection* TMemIniFile::FindSection(const std::wstring& name) const {
  for (const auto& section : Sections) {
    if (SameTextIgnoreCase(section.Name, name)) return &section;
  }
  return nullptr;
}

std::wstring TMemIniFile::ReadString(const std::wstring& section, const std::wstring& key,
                                     const std::wstring& def) const {
  const TSection* found = FindSection(section);
  if (!found) return def;
  for (const auto& [name, value] : found->Values) {
    if (SameTextIgnoreCase(name, key)) return value;
  }
  return def;
}

void TMemIniFile::WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
  auto* found = const_cast<TSection*>(FindSection(section));
  if (!found) found = &Sections.emplace_back(TSection{section, {}});
  for (auto& [name, old] : found->Values) {
    if (SameTextIgnoreCase(name, key)) {
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
                     [&](const auto& entry) { return SameTextIgnoreCase(entry.first, key); });
}

void TMemIniFile::SetStrings(const std::vector<std::wstring>& lines) {
  Sections.clear();
  TSection* current = nullptr;
  for (const auto& line : lines) {
    const std::wstring trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == L';') continue;
    if (trimmed.front() == L'[' && trimmed.back() == L']' && trimmed.size() >= 2) {
      const std::wstring name = Trim(trimmed.substr(1, trimmed.size() - 2));
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
    current->Values.emplace_back(Trim(line.substr(start, equal - start)), line.substr(equal + 1));
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
