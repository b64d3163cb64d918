#include "setup/engine/SetupIniFile.h"

#include <fstream>
#include <iterator>

#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "setup/messages/JomLocalizationTypes.h"

namespace {

constexpr std::uint32_t CodePageUtf8 = 65001;

std::string ReadAllBytes(const std::wstring& path) {
#ifdef _WIN32
  std::ifstream in(path.c_str(), std::ios::binary);
#else
  std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
#endif
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<std::wstring> SplitUtf8Lines(const std::string& bytes) {
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  const std::wstring text = start >= bytes.size()
                                ? std::wstring()
                                : PlatformTools().BytesToUnicode(bytes.data() + start,
                                                                 static_cast<int>(bytes.size() - start), CodePageUtf8);
  std::vector<std::wstring> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find_first_of(L"\r\n", begin);
    if (end == std::wstring::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    if (end < text.size() && text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n') ++end;
    begin = end + 1;
  }
  return lines;
}

TSetupIniFile::TSetupIniFile(const std::wstring& path, const std::wstring& languageCode)
    : FileName(path), LanguageCode(languageCode.empty() ? Localization().LanguageCode() : languageCode) {
  SetStrings(SplitUtf8Lines(ReadAllBytes(path)));
}

std::wstring TSetupIniFile::ReadString(const std::wstring& section, const std::wstring& key,
                                       const std::wstring& def) const {
  if (ValueExists(LanguageCode, key)) return TMemIniFile::ReadString(LanguageCode, key, def);
  return TMemIniFile::ReadString(section, key, def);
}

bool TSetupIniFile::ReadBool(const std::wstring& section, const std::wstring& key, bool def) const {
  const std::wstring value = TrimText(ReadString(section, key, std::wstring()));
  if (value == L"1" || SameTextAscii(value, L"true")) return true;
  if (value == L"0" || SameTextAscii(value, L"false")) return false;
  return def;
}
