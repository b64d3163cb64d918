// Build-machine tool that writes the localization file shipped beside
// setup.exe from our per-language INI texts.
//
// Usage: SlnBuilder OUTPUT.sln LANGUAGE.ini...
// Each INI file is UTF-8. Its [Language] section gives the item's "Lcid",
// "Id" and "Translit" ("default" for the Russian table, else none); every
// other section is stored as the item's INI text. The three catalogue
// sections must translate every entry and name no unknown one, so that a
// shipped language never falls back to built-in texts unnoticed.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "setup/distribution/RawDeflate.h"
#include "setup/distribution/StreamHelper.h"
#include "setup/distribution/TextCodec.h"
#include "setup/messages/DefaultTranslit.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/messages/SystemRuntimeMessages.h"
#include "setup/messages/XilSetupRuntimeMessages.h"

namespace {

constexpr std::int32_t Signature = 0x4C544553;
constexpr std::int32_t FormatVersion = 3;

struct TLanguageText {
  std::int32_t Lcid = 0;
  std::wstring Id;
  bool DefaultTranslit = false;
  std::vector<std::wstring> Lines;
  std::map<std::wstring, std::map<std::wstring, std::wstring>> Values;  // section -> key -> value
};

std::wstring Trim(const std::wstring& text) {
  const auto first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

std::vector<std::wstring> ReadLines(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + fileName);
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string bytes = buffer.str();
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
  std::vector<std::wstring> lines;
  std::istringstream stream(bytes);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(Utf8ToWide(line));
  }
  return lines;
}

TLanguageText ParseLanguage(const std::string& fileName) {
  TLanguageText language;
  std::wstring section;
  for (const auto& line : ReadLines(fileName)) {
    const std::wstring trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == L';') continue;
    if (trimmed.front() == L'[' && trimmed.back() == L']') {
      section = Trim(trimmed.substr(1, trimmed.size() - 2));
      if (section != L"Language") language.Lines.push_back(L"[" + section + L"]");
      continue;
    }
    const std::size_t equal = line.find(L'=');
    if (section.empty() || equal == std::wstring::npos) throw std::runtime_error("stray line in " + fileName);
    const std::wstring key = Trim(line.substr(0, equal));
    const std::wstring value = line.substr(equal + 1);
    if (section == L"Language") {
      if (key == L"Lcid") language.Lcid = std::stoi(value);
      else if (key == L"Id") language.Id = Trim(value);
      else if (key == L"Translit") language.DefaultTranslit = Trim(value) == L"default";
      continue;
    }
    if (!language.Values[section].emplace(key, value).second) {
      throw std::runtime_error("repeated key " + WideToUtf8(key) + " in " + fileName);
    }
    language.Lines.push_back(key + L"=" + value);
  }
  if (language.Lcid == 0 || language.Id.size() != 32) throw std::runtime_error("no [Language] Lcid and Id in " + fileName);
  return language;
}

// Every catalogue entry translated, and nothing that no catalogue knows.
void CheckComplete(const TLanguageText& language, const std::string& fileName) {
  const TMessageCatalogue* catalogues[] = {&XilSetupRuntimeMessagesCatalogue(), &SystemRuntimeMessagesCatalogue(),
                                           &SetupRuntimeMessagesCatalogue()};
  for (const TMessageCatalogue* catalogue : catalogues) {
    const auto found = language.Values.find(catalogue->GroupName);
    const std::size_t given = found == language.Values.end() ? 0 : found->second.size();
    std::set<std::wstring> names;
    for (const auto& entry : catalogue->Entries) {
      names.insert(entry.Name);
      const bool present = found != language.Values.end() && found->second.count(entry.Name) &&
                           !found->second.at(entry.Name).empty();
      if (!present) throw std::runtime_error(fileName + ": no text for " + WideToUtf8(entry.Name));
    }
    if (given != names.size()) throw std::runtime_error(fileName + ": unknown entries in " + WideToUtf8(catalogue->GroupName));
  }
}

std::vector<std::uint8_t> Payload(const std::vector<TLanguageText>& languages) {
  TMemoryStream stream;
  TStreamHelper writer(nullptr, &stream);
  writer.WriteInteger(FormatVersion);
  writer.WriteInteger(static_cast<std::int32_t>(languages.size()));
  for (const auto& language : languages) {
    writer.WriteInteger(language.Lcid);
    writer.WriteString(language.Id);
    const auto& table = DefaultTransliteration();
    writer.WriteInteger(language.DefaultTranslit ? static_cast<std::int32_t>(table.size()) : 0);
    if (language.DefaultTranslit) {
      for (const auto& [key, value] : table) {
        writer.WriteString(key);
        writer.WriteString(value);
      }
    }
    writer.WriteStrings(language.Lines);
  }
  return stream.Bytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: SlnBuilder OUTPUT.sln LANGUAGE.ini...\n";
    return 2;
  }
  try {
    std::vector<TLanguageText> languages;
    for (int i = 2; i < argc; ++i) {
      languages.push_back(ParseLanguage(argv[i]));
      CheckComplete(languages.back(), argv[i]);
    }
    std::vector<std::uint8_t> packed;
    if (!DeflateRaw(Payload(languages), packed)) throw std::runtime_error("deflate failed");
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    const char signature[4] = {'S', 'E', 'T', 'L'};
    static_assert(Signature == ('S' | 'E' << 8 | 'T' << 16 | 'L' << 24));
    out.write(signature, 4);
    out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
    out.close();
    if (!out) throw std::runtime_error(std::string("cannot write ") + argv[1]);
  } catch (const std::exception& error) {
    std::cerr << "SlnBuilder: " << error.what() << "\n";
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
