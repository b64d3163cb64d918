#include "setup/distribution/KvtSetupLstFile.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/TextCodec.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/SetupRuntimeMessages.h"

std::atomic<int> ProgramLstFilesCharCase{0};
std::atomic<int> ProgramLstDirsCharCase{0};

namespace {

const wchar_t* const FolderMacros[] = {L"%DAO%", L"%SYSTEM%", L"%WINDOWS%", L"%COMMONFILES%", L"%PROGRAMFILES%"};
const wchar_t* const CurrentVersionKey = L"Software\\Microsoft\\Windows\\CurrentVersion";
constexpr int HeaderWidth = 78;

bool IsBlank(wchar_t c) { return static_cast<unsigned>(c) <= 32; }

constexpr std::int64_t MaxSize = INT64_MAX;

// A "Len" text as a number: decimal digits only (leading zeros allowed),
// at most 2^63 - 1. Tells apart text that is no number from a number that
// is too large.
enum class TLenValue { Number, NotANumber, TooLarge };
TLenValue ParseLen(const std::wstring& text, std::int64_t& value) {
  value = 0;
  if (text.empty()) return TLenValue::NotANumber;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return TLenValue::NotANumber;
  }
  for (wchar_t c : text) {
    const int digit = c - L'0';
    if (value > (MaxSize - digit) / 10) return TLenValue::TooLarge;
    value = value * 10 + digit;
  }
  return TLenValue::Number;
}

// A file or archive name of a list must name a file in the folder it is
// used in: no folder separator of either kind, no drive (or stream) colon,
// and not a name made of dots only, which Windows reads as a folder.
bool IsSafeListName(const std::wstring& name) {
  if (name.find_first_of(L"\\/:") != std::wstring::npos) return false;
  return name.empty() || name.find_first_not_of(L'.') != std::wstring::npos;
}

// What the reader cannot take back from a bare token: characters up to
// code 32, "=", a leading ";" (a token of its own) or, first on a line, a
// leading "#" (a comment).
bool NeedsQuotes(const std::wstring& value, bool firstOnLine) {
  if (value[0] == L';' || (firstOnLine && value[0] == L'#')) return true;
  for (wchar_t c : value) {
    if (IsBlank(c) || c == L'=') return true;
  }
  return false;
}

// The text of a refused list line: the list's format error naming the file,
// the line's number and the line.
[[noreturn]] void RaiseBadLine(const std::wstring& listName, std::size_t lineNumber, const std::wstring& line) {
  throw EMessageError(FormatText(rsSetupIniInvalidFormat, {listName}) + L" (" + std::to_wstring(lineNumber) + L": " +
                      line + L")");
}

// False when a line names a file or archive outside its folder or gives a
// length beyond 2^63 - 1.
bool IsAcceptableItem(const TProgramLstFileItem& item) {
  for (const auto& [name, value] : item.Values) {
    if ((SameTextAscii(name, L"FileName") || SameTextAscii(name, L"Arc")) && !IsSafeListName(value)) return false;
    std::int64_t size = 0;
    if (SameTextAscii(name, L"Len") && ParseLen(value, size) == TLenValue::TooLarge) return false;
  }
  return true;
}

std::wstring ApplyCharCase(const std::wstring& text, int charCase) {
  if (charCase == 1) return UpperCaseText(text);
  if (charCase == 2) return LowerCaseLatin(text);
  return text;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && UpperCaseText(a) == UpperCaseText(b);
}

bool StartsWithText(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
  for (std::size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The localized caption key of the current language: "Caption_" and the
// eight hexadecimal digits of the language code.
std::wstring LocalizedCaptionKey() { return L"Caption_" + Localization().LanguageCode().substr(1); }

std::wstring ReadCurrentVersionValue(const wchar_t* name) {
  std::wstring value;
  if (!PlatformTools().ReadRegistryString(RegistryRoot::LocalMachine, CurrentVersionKey, name, value, 0)) return {};
  return value;
}

// The base folder of a folder macro; found is false for an unknown macro.
std::wstring MacroFolder(const std::wstring& macro, bool& found) {
  found = true;
  if (macro == L"%DAO%") {
    return IncludeTrailingBackslash(ReadCurrentVersionValue(L"CommonFilesDir (x86)")) + L"Microsoft Shared\\DAO\\";
  }
  if (macro == L"%COMMONFILES%") return ReadCurrentVersionValue(L"CommonFilesDir (x86)");
  if (macro == L"%PROGRAMFILES%") return ReadCurrentVersionValue(L"ProgramFilesDir (x86)");
  if (macro == L"%SYSTEM%") return ExcludeTrailingBackslash(PlatformTools().GetSystemDirectory());
  if (macro == L"%WINDOWS%") return ExcludeTrailingBackslash(PlatformTools().GetWindowsDirectory());
  found = false;
  return {};
}

std::wstring CenterLine(const std::wstring& text) { return L";*" + CenterText(text, HeaderWidth) + L"*"; }

}  // namespace

std::wstring TProgramLstLineParser::NextToken() {
  const int length = static_cast<int>(Line.size());
  while (Position <= length && IsBlank(Line[Position - 1])) ++Position;
  if (Position > length) return {};
  const wchar_t first = Line[Position - 1];
  if (first == L';' || first == L'=') {
    ++Position;
    return std::wstring(1, first);
  }
  if (first == L'"') {
    const int start = Position + 1;
    int end = start;
    while (end <= length && Line[end - 1] != L'"') ++end;
    Position = end <= length ? end + 1 : end;
    return Line.substr(start - 1, end - start);
  }
  const int start = Position;
  while (Position <= length && !IsBlank(Line[Position - 1]) && Line[Position - 1] != L'=') ++Position;
  return Line.substr(start - 1, Position - start);
}

TProgramLstFileItem::TProgramLstFileItem(const std::wstring& line) {
  TProgramLstLineParser parser(line);
  const std::wstring name = parser.NextToken();
  if (name.empty() || name == L";") return;
  Values.emplace_back(L"FileName", ApplyField(L"FileName", name));
  for (;;) {
    const std::wstring key = parser.NextToken();
    if (parser.NextToken() != L"=") break;
    const std::wstring value = parser.NextToken();
    Values.emplace_back(key, ApplyField(key, value));
  }
  IsDeleted = St.find(L'D') != std::wstring::npos;
}

std::wstring TProgramLstFileItem::ApplyField(const std::wstring& name, const std::wstring& value) {
  std::wstring kept = value;
  if (SameTextAscii(name, L"FileName")) {
    kept = FileName = ApplyCharCase(value, ProgramLstFilesCharCase);
  } else if (SameTextAscii(name, L"Arc")) {
    // The letter case applies to the whole name, ".zip" included.
    kept = value.empty() ? value : ApplyCharCase(ChangeFileExt(value, L".zip"), ProgramLstFilesCharCase);
    Arc = kept;
  } else if (SameTextAscii(name, L"Dir")) {
    if (!kept.empty() && (kept[0] == L'\\' || kept[0] == L'/')) kept.erase(0, 1);
    kept = ApplyCharCase(kept, ProgramLstDirsCharCase);
    // The folder rules see "/" as the separator it is; the list keeps the
    // value as written.
    Dir = kept;
    std::replace(Dir.begin(), Dir.end(), L'/', L'\\');
  } else if (SameTextAscii(name, L"St")) {
    St = value;
  } else if (SameTextAscii(name, L"CRC")) {
    CRC = value;
  } else if (SameTextAscii(name, L"OCRC")) {
    OCRC = value;
  } else if (SameTextAscii(name, L"Len")) {
    Len = value;
  } else if (SameTextAscii(name, L"SDir")) {
    SDir = value;
  } else if (SameTextAscii(name, L"Dsk")) {
    Dsk = value;
  } else if (SameTextAscii(name, L"Caption") ||
             (StartsWithText(name, L"Caption_") && SameTextAscii(name, LocalizedCaptionKey()))) {
    Caption = value;
  }
  RelativePath = Dir.empty() ? FileName : IncludeTrailingBackslash(Dir) + FileName;
  return kept;
}

std::wstring TProgramLstFileItem::GetValue(const std::wstring& name) const {
  for (const auto& [key, value] : Values) {
    if (SameTextAscii(key, name)) return value;
  }
  return {};
}

void TProgramLstFileItem::SetValue(const std::wstring& name, const std::wstring& value) {
  const std::wstring kept = ApplyField(name, value);
  for (auto it = Values.begin(); it != Values.end(); ++it) {
    if (!SameTextAscii(it->first, name)) continue;
    if (kept.empty()) {
      Values.erase(it);
    } else {
      it->second = kept;
    }
    return;
  }
  if (!kept.empty()) Values.emplace_back(name, kept);
}

bool TProgramLstFileItem::HasStatus(const std::wstring& letters) const {
  return St.find_first_of(letters) != std::wstring::npos;
}

std::int64_t TProgramLstFileItem::Size() const {
  std::int64_t size = 0;
  if (IsDeleted || ParseLen(Len, size) != TLenValue::Number) return 0;
  return size;
}

bool TProgramLstFileItem::HasFolderMacro() const {
  if (Dir.empty() || Dir[0] != L'%') return false;
  for (const wchar_t* macro : FolderMacros) {
    if (StartsWithText(Dir, macro)) return true;
  }
  return false;
}

bool TProgramLstFileItem::IsSystemLocated() const { return HasStatus(L"L") || HasFolderMacro(); }

bool TProgramLstFileItem::IsOutside() const { return HasStatus(L"C") || Dir.find(L"..\\") != std::wstring::npos; }

std::wstring TProgramLstFileItem::DistrPath() const {
  if (HasFolderMacro()) return FileName;
  return ReplaceAll(RelativePath, L"..\\", L"##\\");
}

std::wstring TProgramLstFileItem::NormalizedCaption() const { return CollapseRepeats(Caption, L'\\'); }

bool TProgramLstFileItem::CaptionChanged(const TProgramLstFileItem* other) const {
  return other && NormalizedCaption() != other->NormalizedCaption();
}

bool TProgramLstFileItem::ContentChanged(const TProgramLstFileItem* other) const {
  if (IsDeleted) return false;
  if (!other) return true;
  if (!OCRC.empty() && !other->OCRC.empty()) return OCRC != other->OCRC;
  return CRC != other->CRC;
}

bool TProgramLstFileItem::StatusChanged(const TProgramLstFileItem* other) const {
  return (other && St != other->St) || (IsDeleted && !other);
}

std::wstring TProgramLstFileItem::TargetPath(const std::wstring& programFolder) const {
  bool haveBase = false;
  std::wstring base;
  std::size_t macroLength = 0;
  if (!Dir.empty() && Dir[0] == L'%') {
    for (const wchar_t* macro : FolderMacros) {
      if (!StartsWithText(Dir, macro)) continue;
      base = MacroFolder(macro, haveBase);
      macroLength = std::wcslen(macro);
      break;
    }
  } else if (HasStatus(L"L")) {
    base = ExcludeTrailingBackslash(PlatformTools().GetSystemDirectory());
    haveBase = true;
  }
  if (!haveBase) return NormalizePath(IncludeTrailingBackslash(programFolder) + RelativePath);
  std::wstring result = IncludeTrailingBackslash(base);
  const std::wstring rest = Dir.substr(macroLength);
  // Only a separator right after the macro continues the path; anything else
  // after it is ignored.
  if (rest.size() > 1 && rest[0] == L'\\') result += IncludeTrailingBackslash(rest.substr(1));
  return result + FileName;
}

void TProgramLstFileItem::Verify() const {
  TFileCrcReader reader;
  Verify(reader);
}

void TProgramLstFileItem::Verify(TFileCrcReader& reader) const {
  if (IsDeleted || !ContentChanged(Previous)) return;
  if (!InstalledPath.empty() && !PlatformTools().FileExists(InstalledPath)) {
    throw EMessageError(FormatText(rsFileNotFound, {InstalledPath}));
  }
  if (LocalPath.empty()) throw EMessageError(FormatText(rsFileNotFound, {FileName}));
  // One open and one pass: whether the file is there, its length and its
  // CRC all come from reading it.
  const TFileSum sum = reader.Sum(LocalPath);
  if (!sum.Found) throw EMessageError(FormatText(rsFileNotFound, {LocalPath}));
  if (sum.Length != Size()) throw EMessageError(FormatText(rsFileSizeMismatch, {LocalPath}));
  if (CrcToHex(sum.Crc) != CRC) throw EMessageError(FormatText(rsFileCrcMismatch, {LocalPath}));
}

std::wstring NormalizePath(const std::wstring& path) {
  std::wstring result = path;
  for (;;) {
    const std::size_t up = result.find(L"..\\", 2);
    if (up == std::wstring::npos || up < 2) break;
    const std::size_t slash = result.rfind(L'\\', up - 2);
    if (slash == std::wstring::npos) break;
    result.erase(slash, up + 2 - slash);
  }
  return result;
}

std::wstring QuoteValue(const std::wstring& value, bool force) { return QuoteToken(value, force, true); }

std::wstring QuoteToken(const std::wstring& value, bool force, bool firstOnLine) {
  if (value.empty()) return value;
  const std::size_t quote = value.find(L'"');
  const auto unwritable = [&] {
    return EMessageError(L"A list value cannot be written so that it reads back: " + value);
  };
  if (value.find_first_of(L"\r\n") != std::wstring::npos) throw unwritable();
  // Already in quotes (and nothing else quoted inside): as the caller wrote it.
  if (quote == 0 && value.size() >= 2 && value.back() == L'"' && value.find(L'"', 1) == value.size() - 1) {
    return value;
  }
  const bool needed = NeedsQuotes(value, firstOnLine);
  if (quote == std::wstring::npos) return force || needed ? L"\"" + value + L"\"" : value;
  // A quote inside a bare token is an ordinary character; a quoted token
  // ends at it, and a leading one would start a quoted token.
  if (quote == 0 || needed) throw unwritable();
  return value;
}

TProgramLstFile::TProgramLstFile(const std::wstring& fileName) : TObjectList<TProgramLstFileItem>(true) {
  Index.SetCaseSensitive(false);
  FileName = fileName;
  if (!fileName.empty() && PlatformTools().FileExists(fileName)) LoadFromFile(fileName, true, true);
}

int TProgramLstFile::Add(TProgramLstFileItem* item) {
  const int index = TObjectList::Add(item);
  Index.AddObject(item->RelativePath, item);
  return index;
}

void TProgramLstFile::FreeItem(int index) {
  TProgramLstFileItem* item = Get(index);
  if (!GetOwnsObjects() || !item) return TObjectList::FreeItem(index);
  const std::wstring path = item->RelativePath;
  const int entry = Index.IndexOfObject(item);
  TObjectList::FreeItem(index);
  if (entry < 0) return;
  // The next item of the same path, if any, takes the freed one's place.
  Index.Delete(entry);
  for (int i = 0; i < Count(); ++i) {
    TProgramLstFileItem* other = Get(i);
    if (other && objlist_detail::CompareIgnoreCase(other->RelativePath, path) == 0) {
      Index.AddObject(other->RelativePath, other);
      break;
    }
  }
}

void TProgramLstFile::Clear() {
  Index.Clear();
  TObjectList::Clear();
}

void TProgramLstFile::LoadFromLines(const std::vector<std::wstring>& lines) { LoadLines(lines, FileName); }

void TProgramLstFile::LoadLines(const std::vector<std::wstring>& lines, const std::wstring& source) {
  Clear();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::wstring trimmed = TrimText(lines[i]);
    if (trimmed.empty() || trimmed[0] == L';' || trimmed[0] == L'#') continue;
    auto item = std::make_unique<TProgramLstFileItem>(trimmed);
    if (!IsAcceptableItem(*item)) {
      Clear();
      RaiseBadLine(source, i + 1, trimmed);
    }
    Add(item.release());
  }
}

void TProgramLstFile::LoadFromFile(const std::wstring& fileName, bool addSelf, bool keepName) {
  if (keepName) FileName = fileName;
  TMemoryStream stream;
  stream.LoadFromFile(fileName);
  const auto& bytes = stream.Bytes();
  LoadLines(DecodeListLines(std::string(bytes.begin(), bytes.end())), fileName);
  if (addSelf) Add(new TProgramLstFileItem(QuoteValue(ExtractFileName(fileName), false) + L" St=S"));
}

TProgramLstFileItem* TProgramLstFile::FindByRelativePath(const std::wstring& path) const {
  const int index = Index.IndexOf(path);
  return index < 0 ? nullptr : Index.Objects(index);
}

TProgramLstFileItem* TProgramLstFile::FindSameDistrPath(const TProgramLstFileItem& item) const {
  const std::wstring path = item.DistrPath();
  for (int i = 0; i < Count(); ++i) {
    if (Get(i) != &item && SameText(Get(i)->DistrPath(), path)) return Get(i);
  }
  return nullptr;
}

TProgramLstFileItem* TProgramLstFile::FindItem(const std::wstring& path, const std::wstring& programFolder,
                                               int count) const {
  const std::wstring name = ExtractFileName(path);
  const std::wstring folder = TrimText(programFolder).empty() ? std::wstring()
                                                               : IncludeTrailingBackslash(TrimText(programFolder));
  const std::wstring pathFolder = ExtractFilePath(path);
  const bool inside = !folder.empty() && StartsWithText(pathFolder, folder);
  std::wstring relative;
  if (inside) {
    relative = pathFolder.substr(folder.size());
    if (StartsWithText(relative, L"DISTR\\")) relative = ReplaceAll(relative.substr(6), L"##\\", L"..\\");
    relative = ExcludeTrailingBackslash(relative);
  }
  const int limit = count < 0 ? Count() : std::min(count, Count());
  for (int i = 0; i < limit; ++i) {
    const TProgramLstFileItem& item = *Get(i);
    if (!SameText(item.FileName, name)) continue;
    if (folder.empty()) {
      if (item.IsSystemLocated() || item.Dir.empty()) return Get(i);
    } else if (inside) {
      if (SameText(item.IsSystemLocated() ? std::wstring() : item.Dir, relative)) return Get(i);
    } else if (SameText(item.TargetPath(folder), path)) {
      return Get(i);
    }
  }
  return nullptr;
}

std::int64_t TProgramLstFile::TotalSize() const {
  std::int64_t total = 0;
  for (int i = 0; i < Count(); ++i) total = AddSizes(total, Get(i)->Size());
  return total;
}

std::int64_t AddSizes(std::int64_t a, std::int64_t b) {
  if (a < 0) a = 0;
  if (b < 0) b = 0;
  return a > MaxSize - b ? MaxSize : a + b;
}

std::int32_t SizePercent(std::int64_t done, std::int64_t total) {
  if (total <= 0) return -1;
  if (done <= 0) return 0;
  if (done >= total) return 100;
  // done * 100 would overflow for sizes above 2^63 / 100; 128 bits hold it.
  const auto scaled = static_cast<unsigned __int128>(done) * 100 + static_cast<unsigned __int128>(total) / 2;
  return static_cast<std::int32_t>(scaled / static_cast<unsigned __int128>(total));
}

std::wstring TProgramLstFile::HeaderText(const std::wstring& productName, const std::wstring& version) const {
  const std::wstring rule = L";" + RepeatChar(L'*', 80);
  std::wstring text = rule + L"\r\n" + CenterLine(L"КВТ-Дистрибьютор") + L"\r\n";
  if (!productName.empty()) {
    std::wstring title = L"Список файлов программы \"" + productName + L"\"";
    if (!version.empty()) title += L", версия " + version;
    text += CenterLine(title) + L"\r\n";
  }
  return text + CenterLine(L"ООО \"КВТ\"") + L"\r\n" + rule + L"\r\n\r\n";
}

std::wstring TProgramLstFile::ItemLines(const std::vector<std::wstring>& names, const std::vector<int>& widths,
                                        bool halveCaptionBackslashes, const ListFilter& filter) const {
  std::wstring text;
  for (int i = 0; i < Count(); ++i) {
    const TProgramLstFileItem& item = *Get(i);
    if (filter && !filter(item)) continue;
    // An item without a name is written as an empty quoted name, so that
    // its line is not read back as an empty one.
    std::wstring line = PadRight(item.FileName.empty() ? L"\"\"" : QuoteValue(item.FileName, false), 12);
    for (std::size_t n = 0; n < names.size(); ++n) {
      std::wstring value = item.GetValue(names[n]);
      if (value.empty()) continue;
      const bool caption = SameTextAscii(names[n], L"Caption");
      if (caption && halveCaptionBackslashes) value = ReplaceAll(value, L"\\\\\\\\", L"\\\\");
      // The reader drops one leading separator of a folder: a folder that
      // still begins with one after reading (or with the quote that followed
      // it) gets it back.
      if (SameTextAscii(names[n], L"Dir") && (value[0] == L'\\' || value[0] == L'/' || value[0] == L'"')) {
        value = L"\\" + value;
      }
      const bool forced = caption || SameTextAscii(names[n], L"Descr") || SameTextAscii(names[n], L"Params");
      value = QuoteToken(value, forced, false);
      const int width = n < widths.size() ? widths[n] : 0;
      value = width > 0 ? PadRight(value, width) : PadLeft(value, -width);
      line += L" " + names[n] + L"=" + value;
    }
    text += line + L"\r\n";
  }
  return text;
}

std::wstring TProgramLstFile::SaveToText(const std::vector<std::wstring>& names, const std::vector<int>& widths,
                                         const std::wstring& productName, const std::wstring& version,
                                         bool halveCaptionBackslashes, const ListFilter& filter) const {
  return HeaderText(productName, version) + ItemLines(names, widths, halveCaptionBackslashes, filter);
}

void TProgramLstFile::SaveToFile(const std::wstring& fileName, const std::vector<std::wstring>& names,
                                 const std::vector<int>& widths, const std::wstring& productName,
                                 const std::wstring& version, bool halveCaptionBackslashes,
                                 const ListFilter& filter) const {
  const std::wstring header = HeaderText(productName, version);
  const std::wstring items = ItemLines(names, widths, halveCaptionBackslashes, filter);
  IPlatformTools& platform = PlatformTools();
  const std::uint32_t codePage = platform.GetAnsiCodePage();
  const std::string ansiItems = platform.UnicodeToAnsi(items, codePage);
  std::string bytes;
  // A name the ANSI code page cannot hold would be written as "?" and the
  // file could no longer be found; such a list is written in UTF-8 with its
  // byte-order mark, which every reader of list files recognises.
  if (platform.AnsiToUnicode(ansiItems, codePage) == items) {
    bytes = platform.UnicodeToAnsi(header, codePage) + ansiItems;
  } else {
    bytes = "\xEF\xBB\xBF" + WideToUtf8(header + items);
  }
  TMemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  stream.SaveToFile(fileName);
}

TProgramLstFileItems::TProgramLstFileItems() : TBinaryStrings<TProgramLstFileItem>(true) {
  SetCaseSensitive(false);
  Duplicates = TDuplicates::Accept;
}

std::vector<std::wstring> DecodeListLines(const std::string& bytes) {
  std::wstring text;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    text = Utf8ToWide(bytes.substr(3));
  } else if (bytes.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    text = Utf16LeToWide(data + 2, (bytes.size() - 2) / 2);
  } else if (bytes.size() >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
    std::string swapped = bytes.substr(2, (bytes.size() - 2) & ~std::size_t{1});
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    text = Utf16LeToWide(swapped.data(), swapped.size() / 2);
  } else if (!bytes.empty()) {
    IPlatformTools& platform = PlatformTools();
    text = platform.BytesToUnicode(bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 0x7FFFFFFF)),
                                   platform.GetAnsiCodePage());
  }
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\r' && text[i] != L'\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}
