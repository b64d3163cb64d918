#include "jompack/PackUpdate.h"

#include <cwctype>
#include <memory>
#include <set>
#include <vector>

#include "jompack/PackConsole.h"
#include "jompack/PackFiles.h"
#include "jompack/PackKit.h"
#include "jompack/PackList.h"
#include "platform/StrTool.h"
#include "setup/distribution/RawDeflate.h"
#include "setup/distribution/TextCodec.h"
#include "setup/distribution/ZipArchive.h"
#include "setup/distribution/diPatchMaker.h"

namespace {
// The extension of update files and the prefix of their volumes'.
const wchar_t* const UpdateExtension = L".prf";
const wchar_t* const KeptUnlessLetters = L"SLCo";

// One entry of the update file: a file of the scratch folder under the
// name the commands give it.
struct TEntry {
  std::wstring Name;
  std::wstring Source;
};

// The bare names of the entries: the update file's reader finds entries by
// bare name and refuses a name that two entries share.
class TEntryNames {
public:
  bool Take(const std::wstring& name) { return Used.insert(UpperCaseAscii(ExtractFileName(name))).second; }
  bool Taken(const std::wstring& name) const { return Used.count(UpperCaseAscii(ExtractFileName(name))) != 0; }
  // name itself, or name with a number put before its extension.
  std::wstring Unique(const std::wstring& name) {
    std::wstring candidate = name;
    for (int n = 2; !Take(candidate); ++n) candidate = ChangeFileExt(name, L"." + std::to_wstring(n) + ExtractFileExt(name));
    return candidate;
  }

private:
  static std::wstring UpperCaseAscii(std::wstring text) {
    for (wchar_t& c : text) {
      if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    }
    return text;
  }
  std::set<std::wstring> Used;
};

// A token of the command file: quoted when it holds a blank or starts
// with a quote; a quote inside cannot be written at all.
std::wstring CommandToken(const std::wstring& token) {
  if (token.find(L'"') != std::wstring::npos) RaiseInput(L"a path with a double quote cannot be updated: " + token);
  for (const wchar_t c : token) {
    if (c <= L' ') return L"\"" + token + L"\"";
  }
  return token;
}

bool SameValues(const TProgramLstFileItem& a, const TProgramLstFileItem& b) {
  if (a.Values.size() != b.Values.size()) return false;
  for (std::size_t i = 0; i < a.Values.size(); ++i) {
    if (!SameTextAscii(a.Values[i].first, b.Values[i].first) || a.Values[i].second != b.Values[i].second) return false;
  }
  return true;
}

std::size_t DeflatedSize(const std::string& bytes) {
  std::vector<std::uint8_t> out;
  if (!DeflateRaw(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), out)) return bytes.size();
  return out.size();
}

// The line that marks a file gone from the new version.
std::wstring DeletedLine(const TProgramLstFileItem& gone) {
  std::wstring line = QuoteToken(gone.FileName, false, true) + L" St=D";
  const std::wstring dir = gone.GetValue(L"Dir");
  if (!dir.empty()) line += L" Dir=" + QuoteToken(dir, false, false);
  return line;
}

class TUpdateWriter {
public:
  TUpdateWriter(TPackKit& oldKit, TPackKit& newKit, const std::wstring& scratch)
      : Old(oldKit), New(newKit), Scratch(scratch) {}

  // Decides every command and writes the entries' files.
  void Plan();
  // Writes the archive to path; shown names it in an error.
  void WriteArchive(const std::wstring& path, const std::wstring& shown);

  int Renewed = 0, Copied = 0, Changed = 0, Removed = 0;

private:
  void PlanItem(const TProgramLstFileItem& item);
  std::wstring ScratchFile(const std::string& bytes);
  void AddCopy(const TProgramLstFileItem& item, const std::string& bytes);
  void AddRenew(const TProgramLstFileItem& item, const std::string& patch);

  TPackKit& Old;
  TPackKit& New;
  std::wstring Scratch;
  std::vector<std::wstring> Commands;
  std::vector<TEntry> Entries;
  TEntryNames Names;
  int Files = 0;
};

std::wstring TUpdateWriter::ScratchFile(const std::string& bytes) {
  const std::wstring path = Scratch + L"e" + std::to_wstring(Files++);
  WriteWholeFile(path, bytes);
  return path;
}

void TUpdateWriter::AddCopy(const TProgramLstFileItem& item, const std::string& bytes) {
  Commands.push_back(L"Copy " + CommandToken(item.RelativePath));
  Entries.push_back({item.RelativePath, ScratchFile(bytes)});
  ++Copied;
}

void TUpdateWriter::AddRenew(const TProgramLstFileItem& item, const std::string& patch) {
  const std::wstring entry = Names.Unique(item.FileName + L".rdf");
  Commands.push_back(L"Renew " + CommandToken(entry) + L" " + CommandToken(item.RelativePath));
  Entries.push_back({entry, ScratchFile(patch)});
  ++Renewed;
}

void TUpdateWriter::PlanItem(const TProgramLstFileItem& item) {
  const TProgramLstFileItem* before = Old.List.FindByRelativePath(item.RelativePath);
  if (before && before->IsDeleted) before = nullptr;
  if (before && before->Size() == item.Size() && before->CRC == item.CRC) {
    if (SameValues(*before, item)) return;
    Commands.push_back(L"Change " + CommandToken(item.RelativePath));
    ++Changed;
    return;
  }
  const std::string newBytes = New.FileBytes(item);
  if (before && !item.HasStatus(KeptUnlessLetters))
    PrintWarning(item.RelativePath + L" changes, but carries none of the letters S, L, C, o: an update keeps the "
                 L"user's copy of it and does not install the new one");
  // setup.ini travels anyway: a copy of it is that same entry.
  if (SameTextAscii(item.RelativePath, L"setup.ini")) {
    Commands.push_back(L"Copy setup.ini");
    ++Copied;
    return;
  }
  std::string patch;
  if (before) {
    const std::string oldBytes = Old.FileBytes(*before);
    try {
      patch = MakeRenewPatch(oldBytes, newBytes, 0);
    } catch (const std::exception& e) {
      RaiseInput(L"cannot make a patch of " + item.RelativePath + L": " + ExceptionMessage(e));
    }
  }
  // A whole file goes in under its own path, which its bare name must not
  // share with another entry; a patch can take any name.
  const bool copyFits = !Names.Taken(item.RelativePath);
  if (before && (!copyFits || patch.size() < DeflatedSize(newBytes))) {
    AddRenew(item, patch);
    return;
  }
  if (!copyFits)
    RaiseInput(L"the update cannot carry " + item.RelativePath + L" whole: another file of the update has the name " +
               item.FileName);
  Names.Take(item.RelativePath);
  AddCopy(item, newBytes);
}

void TUpdateWriter::Plan() {
  Names.Take(L"renew.cmd");
  Names.Take(L"setup.ini");
  Names.Take(New.Config.ListName);
  Commands.push_back(L"Version " + CommandToken(Old.Config.Version) + L" " + CommandToken(New.Config.Version));

  TProgressLine progress(L"update");
  const int count = New.List.Count();
  for (int i = 0; i < count; ++i) {
    const TProgramLstFileItem& item = *New.List[i];
    progress.Show(count ? i * 100 / count : 100, item.RelativePath);
    if (!item.IsDeleted) PlanItem(item);
  }
  progress.Finish();

  // Files gone from the new list altogether are marked "D" in the update's
  // list, so that the update removes them.
  std::vector<std::wstring> gone;
  for (const TProgramLstFileItem* before : Old.List) {
    if (before->IsDeleted || New.List.FindByRelativePath(before->RelativePath)) continue;
    gone.push_back(DeletedLine(*before));
    PrintLine(L"note: " + before->RelativePath + L" is not in the new list; the update's list marks it \"D\"");
  }
  Removed = static_cast<int>(gone.size());
  for (const TProgramLstFileItem* item : New.List) Removed += item->IsDeleted ? 1 : 0;

  std::wstring listSource = New.ListPath;
  if (!gone.empty()) {
    TProgramLstFile list;
    list.LoadFromFile(New.ListPath, false, true);
    for (const std::wstring& line : gone) list.Add(new TProgramLstFileItem(line));
    std::vector<std::wstring> names;
    std::vector<int> widths;
    ListColumns(list, names, widths);
    listSource = Scratch + L"list";
    list.SaveToFile(listSource, names, widths, L"", New.Config.Version, false);
  }

  std::wstring text;
  for (const std::wstring& command : Commands) text += command + L"\r\n";
  bool ascii = true;
  for (const wchar_t c : text) ascii = ascii && c < 0x80;
  // Without a byte-order mark the reader takes the ANSI code page.
  const std::string bytes = ascii ? WideToUtf8(text) : "\xEF\xBB\xBF" + WideToUtf8(text);
  Entries.insert(Entries.begin(), {{L"renew.cmd", ScratchFile(bytes)},
                                   {L"setup.ini", New.SetupIniPath},
                                   {New.Config.ListName, listSource}});
}

void TUpdateWriter::WriteArchive(const std::wstring& path, const std::wstring& shown) {
  std::wstring failure;
  TZipWriter writer(path, false);
  writer.OnFailure = [&](const TZipFailure& f) {
    if (failure.empty()) failure = (f.EntryName.empty() ? L"" : f.EntryName + L": ") + ZipErrorText(f.LibraryCode);
  };
  for (const TEntry& entry : Entries) writer.AddFile(entry.Source, entry.Name);
  if (!writer.Save() || !failure.empty()) RaiseFailed(L"cannot write the update file " + shown + L": " + failure);
}

// The files of an earlier update of this name that the setup would take
// together with count new volumes or in their place: its volumes among the
// first count, those that would follow the new last one (the setup joins
// volumes while they follow one another), and the whole file beside the
// first volume, which the setup prefers to joining.
std::vector<std::wstring> EarlierVolumeSet(const std::wstring& outFile, int count) {
  std::vector<std::wstring> files;
  for (int n = 1; n <= count || IsFile(VolumeName(outFile, n)); ++n) {
    if (IsFile(VolumeName(outFile, n))) files.push_back(VolumeName(outFile, n));
  }
  const std::wstring whole = ChangeFileExt(VolumeName(outFile, 1), UpdateExtension);
  if (IsFile(whole)) files.push_back(whole);
  return files;
}

// Writes the file as volumes of size bytes beside outFile, replacing an
// earlier set of that name as one: the new volumes are written under
// temporary names first, the earlier set is moved aside, the new volumes
// are renamed into place and only then is the earlier set removed. A
// failure on the way removes what of the new set is in place and moves the
// earlier set back, so that no mixed or partial set remains.
int WriteVolumes(const std::wstring& wholeFile, const std::wstring& outFile, std::int64_t size) {
  const std::string bytes = ReadWholeFile(wholeFile);
  std::vector<std::unique_ptr<TOutputFile>> volumes;
  std::size_t at = 0;
  do {
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(size), bytes.size() - at);
    volumes.push_back(std::make_unique<TOutputFile>(VolumeName(outFile, static_cast<int>(volumes.size()) + 1)));
    volumes.back()->Write(bytes.substr(at, length));
    at += length;
  } while (at < bytes.size());

  struct TAside {
    std::wstring Name, Temporary;
  };
  std::vector<TAside> aside;
  std::vector<std::wstring> placed;
  const auto rollBack = [&]() {
    std::error_code ignored;
    for (const std::wstring& name : placed) std::filesystem::remove(FsPath(name), ignored);
    for (const TAside& file : aside) std::filesystem::rename(FsPath(file.Temporary), FsPath(file.Name), ignored);
  };
  try {
    for (const std::wstring& name : EarlierVolumeSet(outFile, static_cast<int>(volumes.size()))) {
      const std::wstring temporary = TemporaryNameBeside(name);
      std::error_code error;
      std::filesystem::rename(FsPath(name), FsPath(temporary), error);
      if (error)
        RaiseFailed(L"cannot replace " + name + L" of an earlier update: " + Utf8ToWide(error.message()));
      aside.push_back({name, temporary});
    }
    for (auto& volume : volumes) {
      volume->Commit();
      placed.push_back(volume->Target());
    }
  } catch (...) {
    rollBack();
    throw;
  }
  for (const TAside& file : aside) {
    std::error_code error;
    std::filesystem::remove(FsPath(file.Temporary), error);
    if (error) PrintWarning(L"cannot remove " + file.Temporary + L" (" + file.Name + L" of an earlier update)");
  }
  const std::wstring whole = ChangeFileExt(VolumeName(outFile, 1), UpdateExtension);
  for (const TAside& file : aside) {
    if (file.Name == whole) PrintLine(L"note: removed " + whole + L", which the setup would take in place of the volumes");
  }
  return static_cast<int>(volumes.size());
}
// The name the update is written under: the setup takes a name that ends
// in a digit (upd5, jom-5.03) for a volume of a split update and looks for
// its volumes instead, so such a name gets the update extension.
std::wstring UpdateFileName(const std::wstring& outFile) {
  // Windows drops dots and blanks at the end of a name.
  std::size_t end = outFile.size();
  while (end > 0 && (outFile[end - 1] == L'.' || outFile[end - 1] == L' ')) --end;
  if (end == 0 || !std::iswdigit(outFile[end - 1])) return outFile;
  const std::wstring name = outFile.substr(0, end) + UpdateExtension;
  PrintWarning(L"the setup takes a name that ends in a digit for a volume of a split update: writing " + name);
  return name;
}
}  // namespace

std::wstring VolumeName(const std::wstring& updateFile, int number) {
  return ChangeFileExt(updateFile, std::wstring(UpdateExtension).substr(0, 3) + std::to_wstring(number));
}

int MakeUpdate(const std::wstring& oldKit, const std::wstring& newKit, const std::wstring& outFile,
               std::int64_t volumeSize) {
  TPackKit before(oldKit);
  TPackKit after(newKit);
  if (!SameTextAscii(before.Config.Product, after.Config.Product))
    RaiseInput(L"the kits are of different products: " + before.Config.Product + L" (" + oldKit + L") and " +
               after.Config.Product + L" (" + newKit + L")");
  if (after.Config.Version.empty()) RaiseInput(after.SetupIniPath + L" names no version");
  if (before.Config.Version == after.Config.Version)
    RaiseInput(L"both kits are version " + after.Config.Version + L": an update from a version to itself");

  const std::wstring target = UpdateFileName(outFile);
  for (const TPackKit* kit : {&before, &after}) {
    if (kit->HoldsFile(target)) RaiseInput(L"the update would replace a file of the kit " + kit->Folder + L": " + target);
  }
  TOutputFile out(target);
  const TScratchFolder scratch(out.Target());
  TUpdateWriter writer(before, after, scratch.Path());
  writer.Plan();
  const std::wstring whole = volumeSize > 0 ? scratch.Path() + L"whole" : out.Path();
  writer.WriteArchive(whole, out.Target());

  std::wstring written = out.Target();
  if (volumeSize > 0) {
    const int count = WriteVolumes(whole, out.Target(), volumeSize);
    written = std::to_wstring(count) + L" volumes " + VolumeName(out.Target(), 1) + L" ...";
  } else {
    out.Commit();
  }
  PrintLine(L"update " + before.Config.Version + L" -> " + after.Config.Version + L": " +
            std::to_wstring(writer.Renewed) + L" patched, " + std::to_wstring(writer.Copied) + L" whole, " +
            std::to_wstring(writer.Changed) + L" changed attributes, " + std::to_wstring(writer.Removed) +
            L" removed; written to " + written);
  return ExitOk;
}
