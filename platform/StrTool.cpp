#include "platform/StrTool.h"

#include <algorithm>

#include "platform/PlatformIntfTypes.h"
#include "platform/SystemText.h"

std::wstring UpperCaseText(const std::wstring& text) { return SystemUpperCase(text); }

std::wstring LowerCaseLatin(const std::wstring& text) {
  std::wstring result = text;
  for (wchar_t& c : result) {
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDF)) c = static_cast<wchar_t>(c + 32);
  }
  return result;
}

bool SameTextAscii(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  const auto fold = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::wstring TrimText(const std::wstring& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && text[first] <= L' ') ++first;
  while (last > first && text[last - 1] <= L' ') --last;
  return text.substr(first, last - first);
}

std::wstring IncludeTrailingBackslash(const std::wstring& path) {
  if (!path.empty() && path.back() == L'\\') return path;
  return path + L'\\';
}

std::wstring ExcludeTrailingBackslash(const std::wstring& path) {
  if (!path.empty() && path.back() == L'\\') return path.substr(0, path.size() - 1);
  return path;
}

namespace {
// Index just after the last folder separator or drive colon (0 if none).
std::size_t NameStart(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring::npos ? 0 : separator + 1;
}

// Index of the extension's dot, npos when the name has none.
std::size_t ExtensionStart(const std::wstring& path) {
  const std::size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || dot < NameStart(path)) return std::wstring::npos;
  return dot;
}
}  // namespace

std::wstring ExtractFileExt(const std::wstring& path) {
  const std::size_t dot = ExtensionStart(path);
  return dot == std::wstring::npos ? std::wstring() : path.substr(dot);
}

std::wstring ExtractFilePath(const std::wstring& path) { return path.substr(0, NameStart(path)); }

std::wstring ExtractFileName(const std::wstring& path) { return path.substr(NameStart(path)); }

std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& extension) {
  return path.substr(0, std::min(ExtensionStart(path), path.size())) + extension;
}

std::wstring PadLeft(const std::wstring& text, int width, wchar_t c) {
  const int missing = width - static_cast<int>(text.size());
  return missing > 0 ? RepeatChar(c, missing) + text : text;
}

std::wstring PadRight(const std::wstring& text, int width, wchar_t c) {
  const int missing = width - static_cast<int>(text.size());
  return missing > 0 ? text + RepeatChar(c, missing) : text;
}

std::wstring RepeatChar(wchar_t c, int count) {
  return count > 0 ? std::wstring(static_cast<std::size_t>(count), c) : std::wstring();
}

std::wstring RightChars(const std::wstring& text, int n) {
  n = std::clamp(n, 0, 255);
  if (text.size() <= static_cast<std::size_t>(n)) return text;
  return text.substr(text.size() - static_cast<std::size_t>(n));
}

std::wstring RemoveChars(const std::wstring& text, const std::wstring& set) {
  std::wstring result;
  for (wchar_t c : text) {
    const bool removable = static_cast<std::uint32_t>(c) <= 255 && set.find(c) != std::wstring::npos;
    if (!removable) result += c;
  }
  return result;
}

std::wstring CenterText(const std::wstring& text, int width, wchar_t c) {
  if (width < 0) width = 0;
  if (text.size() > static_cast<std::size_t>(width)) return text.substr(0, static_cast<std::size_t>(width));
  const int before = (width - static_cast<int>(text.size())) / 2;
  return PadRight(RepeatChar(c, before) + text, width, c);
}

std::wstring ReplaceChar(const std::wstring& text, wchar_t from, wchar_t to) {
  std::wstring result = text;
  std::replace(result.begin(), result.end(), from, to);
  return result;
}

std::wstring CollapseRepeats(const std::wstring& text, wchar_t c) {
  std::wstring result;
  for (wchar_t x : text) {
    if (x == c && !result.empty() && result.back() == c) continue;
    result += x;
  }
  return result;
}

namespace {
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0xC0; }
bool IsHexDigit(unsigned char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool MatchMaskChar(unsigned char mask, unsigned char c) {
  switch (mask) {
    case '9':
    case 'N':
      return IsDigit(c);
    case 'A':
      return IsLetter(c);
    case 'C':
      return IsLetter(c) || IsDigit(c);
    case 'H':
      return IsHexDigit(c);
    default:
      return mask == c;
  }
}
}  // namespace

bool MatchPattern(const std::wstring& mask, const std::wstring& text) {
  IPlatformTools& tools = PlatformTools();
  const std::uint32_t codePage = tools.GetAnsiCodePage();
  const std::string mask8 = tools.UnicodeToAnsi(mask, codePage);
  const std::string text8 = tools.UnicodeToAnsi(text, codePage);
  if (mask8.size() != text8.size()) return false;
  for (std::size_t i = 0; i < mask8.size(); ++i) {
    if (!MatchMaskChar(static_cast<unsigned char>(mask8[i]), static_cast<unsigned char>(text8[i]))) return false;
  }
  return true;
}

std::wstring NextToken(const std::wstring& text, const std::wstring& delimiter, int& position) {
  if (position < 1) position = 1;
  if (static_cast<std::size_t>(position) > text.size()) return {};
  const std::size_t start = static_cast<std::size_t>(position) - 1;
  const std::size_t found = delimiter.empty() ? std::wstring::npos : text.find(delimiter, start);
  if (found == std::wstring::npos) {
    position = static_cast<int>(text.size()) + 1;
    return text.substr(start);
  }
  position = static_cast<int>(found + delimiter.size()) + 1;
  return text.substr(start, found - start);
}

int PosFrom(const std::wstring& sub, const std::wstring& text, int index) {
  if (index < 1) index = 1;
  if (sub.empty() || static_cast<std::size_t>(index) > text.size()) return 0;
  const std::size_t found = text.find(sub, static_cast<std::size_t>(index) - 1);
  return found == std::wstring::npos ? 0 : static_cast<int>(found) + 1;
}

std::string XorScramble(const std::string& key, const std::string& data) {
  if (key.empty()) return data;
  std::string result = data;
  for (std::size_t i = 0; i < result.size(); ++i) result[i] = static_cast<char>(result[i] ^ key[i % key.size()]);
  return result;
}

std::wstring TConsoleEncoding::Decode(const std::string& bytes) const {
  return PlatformTools().AnsiToUnicode(bytes, CodePage);
}

std::string TConsoleEncoding::Encode(const std::wstring& text) const {
  return PlatformTools().UnicodeToAnsi(text, CodePage);
}

const TConsoleEncoding& ConsoleEncoding() {
  static const TConsoleEncoding encoding(PlatformTools().GetConsoleCodePage());
  return encoding;
}
