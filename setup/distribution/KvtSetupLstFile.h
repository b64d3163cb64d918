#pragma once
// The program list file: one line per file of a product version, giving the
// file name and name=value pairs (archive, status letters, folder, CRC-32,
// length, captions...). Read with byte-order-mark detection (UTF-8, UTF-16,
// else the system ANSI code page); written in the ANSI code page with CR LF.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ObjList.h"

class TFileCrcReader;

// Letter case applied to FileName and Arc values (Files) and Dir values
// (Dirs) while parsing: 0 as written, 1 upper case by the system, 2 A-Z and
// U+00C0..U+00DF lowered. Set once through the distribution parameters.
extern std::atomic<int> ProgramLstFilesCharCase;
extern std::atomic<int> ProgramLstDirsCharCase;

// Splits one list line into tokens.
class TProgramLstLineParser {
public:
  explicit TProgramLstLineParser(std::wstring line) : Line(std::move(line)) {}
  // The next token: ";" and "=" alone, a double-quoted text without its
  // quotes, or a run up to a blank or "="; empty at the end of the line.
  std::wstring NextToken();

  std::wstring Line;
  int Position = 1;  // 1-based
};

// One line of a list file.
class TProgramLstFileItem {
public:
  // Parses the line; an empty line gives an empty item.
  explicit TProgramLstFileItem(const std::wstring& line = std::wstring());

  // The first value of name (any letter case), empty if absent.
  std::wstring GetValue(const std::wstring& name) const;
  // Applies the parser's field rules, then replaces the first entry of name
  // (an empty value removes it; a new name is appended).
  void SetValue(const std::wstring& name, const std::wstring& value);

  // True if St holds any of the letters.
  bool HasStatus(const std::wstring& letters) const;
  // Len as a decimal number (up to 2^63 - 1); 0 for a deleted file or a Len
  // that is not one.
  std::int64_t Size() const;
  bool HasCaption() const { return !Caption.empty(); }
  // Dir starts with %DAO%, %SYSTEM%, %WINDOWS%, %COMMONFILES% or %PROGRAMFILES%.
  bool HasFolderMacro() const;
  bool IsSystemLocated() const;
  bool IsOutside() const;
  // The path inside a distribution folder: the bare name for folder macros,
  // else RelativePath with "..\" written "##\".
  std::wstring DistrPath() const;
  std::wstring NormalizedCaption() const;
  bool CaptionChanged(const TProgramLstFileItem* other) const;
  // Whether the file differs from other's (OCRC when both have one, else CRC).
  bool ContentChanged(const TProgramLstFileItem* other) const;
  bool StatusChanged(const TProgramLstFileItem* other) const;
  // The installed path under programFolder, folder macros and the system
  // folder resolved through the platform.
  std::wstring TargetPath(const std::wstring& programFolder) const;
  // Checks presence, length and CRC of LocalPath (and presence of
  // InstalledPath); raises EMessageError with rsFileNotFound,
  // rsFileSizeMismatch or rsFileCrcMismatch. A check of many items passes
  // one reader to all of them.
  void Verify() const;
  void Verify(TFileCrcReader& reader) const;

  std::vector<std::pair<std::wstring, std::wstring>> Values;
  std::wstring Arc;
  std::wstring LocalPath;
  const TProgramLstFileItem* Previous = nullptr;
  std::wstring Caption;
  bool AttributesChanged = false;
  std::wstring Dir;  // "/" read as "\"; Values keeps the text as written
  std::wstring Dsk;
  std::wstring CRC;
  std::wstring Len;
  std::wstring FileName;
  std::wstring RelativePath;
  std::wstring SDir;
  std::wstring St;
  std::wstring OCRC;
  bool IsDeleted = false;
  std::wstring InstalledPath;

private:
  // Sets the typed field of name and returns the value as Values keeps it.
  std::wstring ApplyField(const std::wstring& name, const std::wstring& value);
};

// C:\a\b\..\c becomes C:\a\c, for every "..\" after the second character.
std::wstring NormalizePath(const std::wstring& path);
// The value as a list line carries it so that the reader takes it back
// whole: in double quotes when forced or when it holds a character up to
// code 32, "=", or a leading ";" or "#"; as it is when already in quotes;
// empty stays empty. A value that no form reads back (a double quote where
// quotes are needed, a leading one, a line break) raises EMessageError.
std::wstring QuoteValue(const std::wstring& value, bool force);
// QuoteValue for a token that is not first on its line, where a leading "#"
// starts no comment (so "#a\"b" can be written bare).
std::wstring QuoteToken(const std::wstring& value, bool force, bool firstOnLine);

// a + b for sizes in bytes, held at 2^63 - 1 instead of overflowing;
// negative sizes count as 0.
std::int64_t AddSizes(std::int64_t a, std::int64_t b);
// done of total as a rounded percentage from 0 to 100, without overflow;
// -1 (keep the bar) when total is not positive.
std::int32_t SizePercent(std::int64_t done, std::int64_t total);

// Decides whether SaveToFile writes an item.
using ListFilter = std::function<bool(const TProgramLstFileItem&)>;

// A whole list file; owns its items.
class TProgramLstFile : public TObjectList<TProgramLstFileItem> {
public:
  // Loads the file when it exists (adding its own item); else only keeps the name.
  explicit TProgramLstFile(const std::wstring& fileName = std::wstring());

  // Replaces the content with the file's lines; EStreamError when it cannot
  // be read. A line whose file name or "Arc" holds a folder separator, a
  // drive or only dots, or whose "Len" exceeds 2^63 - 1, can only come from
  // a damaged or hostile list: the list is refused with rsSetupIniInvalidFormat
  // naming the file, the line's number and the line, and stays empty.
  void LoadFromFile(const std::wstring& fileName, bool addSelf, bool keepName);
  // Replaces the content with the given text lines, refusing them as
  // LoadFromFile does (naming FileName).
  void LoadFromLines(const std::vector<std::wstring>& lines);
  // Takes the item and indexes it by RelativePath (the first one wins),
  // also when added through the base list.
  int Add(TProgramLstFileItem* item) override;
  // Drops the item from the index before freeing it, so that no lookup
  // returns a freed item.
  void FreeItem(int index) override;
  void Clear() override;

  TProgramLstFileItem* FindByRelativePath(const std::wstring& path) const;
  TProgramLstFileItem* FindSameDistrPath(const TProgramLstFileItem& item) const;
  // The first of the first count items (-1: all) that is the file at path.
  TProgramLstFileItem* FindItem(const std::wstring& path, const std::wstring& programFolder, int count = -1) const;
  std::int64_t TotalSize() const;

  // Writes a list file: the comment header, then one line per item with the
  // named values in columns, in the ANSI code page (UTF-8 with a byte-order
  // mark when an item holds a character that page lacks). EStreamError when
  // the file cannot be written.
  void SaveToFile(const std::wstring& fileName, const std::vector<std::wstring>& names,
                  const std::vector<int>& widths, const std::wstring& productName, const std::wstring& version,
                  bool halveCaptionBackslashes, const ListFilter& filter = nullptr) const;
  // The text SaveToFile writes, before conversion to the ANSI code page.
  std::wstring SaveToText(const std::vector<std::wstring>& names, const std::vector<int>& widths,
                          const std::wstring& productName, const std::wstring& version,
                          bool halveCaptionBackslashes, const ListFilter& filter = nullptr) const;

  std::wstring FileName;
  TBinaryStrings<TProgramLstFileItem> Index{true};
  std::wstring Version;

private:
  void LoadLines(const std::vector<std::wstring>& lines, const std::wstring& source);
  std::wstring HeaderText(const std::wstring& productName, const std::wstring& version) const;
  std::wstring ItemLines(const std::vector<std::wstring>& names, const std::vector<int>& widths,
                         bool halveCaptionBackslashes, const ListFilter& filter) const;
};

// Items kept sorted by a key; equal keys are all kept.
class TProgramLstFileItems : public TBinaryStrings<TProgramLstFileItem> {
public:
  TProgramLstFileItems();
};

// Decodes list file bytes: a UTF-8 or UTF-16 byte-order mark selects that
// encoding, otherwise the system ANSI code page. Lines end at CR, LF or CR LF.
std::vector<std::wstring> DecodeListLines(const std::string& bytes);
