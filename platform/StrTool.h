#pragma once
// String routines shared by every part of setup. Platform-neutral: code-page
// conversion goes through PlatformTools(), upper-casing through the system's
// tables (SystemText.h). Positions are 1-based, 0 meaning "not found".

#include <cstdint>
#include <string>

// Upper case by the system's rules (CharUpperBuffW on Windows).
std::wstring UpperCaseText(const std::wstring& text);
// Adds 32 to "A".."Z" and to U+00C0..U+00DF (the whole range); nothing else changes.
std::wstring LowerCaseLatin(const std::wstring& text);
// True when the texts are equal with ASCII letters folded to one case.
bool SameTextAscii(const std::wstring& a, const std::wstring& b);

// The text without leading and trailing blanks and control characters (<= U+0020).
std::wstring TrimText(const std::wstring& text);
// The folder text with / without one trailing backslash (an empty text stays empty
// when excluding, becomes "\" when including).
std::wstring IncludeTrailingBackslash(const std::wstring& path);
std::wstring ExcludeTrailingBackslash(const std::wstring& path);
// File-name parts of a Windows path: the extension with its dot (empty when
// none), the folder with its trailing separator, the name after the last separator.
std::wstring ExtractFileExt(const std::wstring& path);
std::wstring ExtractFilePath(const std::wstring& path);
std::wstring ExtractFileName(const std::wstring& path);
// The path with its extension replaced (or added when it has none).
std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& extension);

// Prepends / appends c until the length reaches width.
std::wstring PadLeft(const std::wstring& text, int width, wchar_t c = L' ');
std::wstring PadRight(const std::wstring& text, int width, wchar_t c = L' ');
// count copies of c (none for count <= 0).
std::wstring RepeatChar(wchar_t c, int count);
// The last n characters (n from 0 to 255), or the text if it is not longer.
std::wstring RightChars(const std::wstring& text, int n);
// The text without the characters of the set; only code points up to 255 can be removed.
std::wstring RemoveChars(const std::wstring& text, const std::wstring& set);
// Centres the text in width characters of c; a longer text is cut to width.
std::wstring CenterText(const std::wstring& text, int width, wchar_t c = L' ');
// Every from replaced by to.
std::wstring ReplaceChar(const std::wstring& text, wchar_t from, wchar_t to);
// Runs of c shortened to one c.
std::wstring CollapseRepeats(const std::wstring& text, wchar_t c);

// Matches a fixed-width mask after conversion to the system code page: "9"
// or "N" a digit, "A" a letter (A-Z, a-z, 0xC0-0xFF), "C" a letter or digit,
// "H" a hexadecimal digit, anything else only itself. Lengths must be equal.
bool MatchPattern(const std::wstring& mask, const std::wstring& text);

// The text from position up to the next delimiter (or the end); position
// moves past the delimiter. Empty once position is past the end.
std::wstring NextToken(const std::wstring& text, const std::wstring& delimiter, int& position);
// Position of sub in text at or after index, 0 if absent.
int PosFrom(const std::wstring& sub, const std::wstring& text, int index);

// Each byte XOR the key byte at the same position modulo the key length
// (its own inverse); the data unchanged for an empty key.
std::string XorScramble(const std::string& key, const std::string& data);

// The 8-bit encoding of console programs' output (code page 866).
class TConsoleEncoding {
public:
  explicit TConsoleEncoding(std::uint32_t codePage) : CodePage(codePage) {}
  std::uint32_t GetCodePage() const { return CodePage; }
  std::wstring Decode(const std::string& bytes) const;
  std::string Encode(const std::wstring& text) const;

private:
  std::uint32_t CodePage;
};

// The process-wide console encoding, built on first use for GetConsoleCodePage.
const TConsoleEncoding& ConsoleEncoding();
