#include "setup/distribution/diPatchProgram.h"

#include <atomic>
#include <chrono>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "platform/StrTool.h"
#include "setup/distribution/TextCodec.h"
#include "setup/distribution/diRenewFiles.h"
#include "setup/engine/SetupIniFile.h"
#include "setup/engine/diExceptions.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {

constexpr std::uint32_t YesNoQuestion = 36;  // MB_YESNO | MB_ICONQUESTION
constexpr std::int32_t YesAnswer = 6;        // IDYES
constexpr int CriticalWeight = 1000;

const wchar_t* const CommandFileName = L"renew.cmd";
const wchar_t* const KeptCopyLetters = L"ILRC";

std::wstring UnsafePathText(const std::wstring& path) {
  return FormatText(L"Путь \"%s\" в файле обновления выходит за пределы каталога обновления", {path});
}

bool DotsOnly(const std::wstring& part) {
  for (const wchar_t c : part) {
    if (c != L'.' && c != L' ') return false;
  }
  return true;
}

// MulDiv(i, 100, n), rounded to the nearest.
std::int32_t Percent(int done, int total) {
  if (total <= 0) return 100;
  return static_cast<std::int32_t>((static_cast<std::int64_t>(done) * 100 + total / 2) / total);
}

// True when both files can be read and hold the same bytes.
bool SameFileContent(const std::wstring& a, const std::wstring& b) {
  std::ifstream first(FileSystemPath(a), std::ios::binary), second(FileSystemPath(b), std::ios::binary);
  if (!first || !second) return false;
  std::vector<char> left(64 * 1024), right(64 * 1024);
  for (;;) {
    first.read(left.data(), static_cast<std::streamsize>(left.size()));
    second.read(right.data(), static_cast<std::streamsize>(right.size()));
    const std::streamsize n = first.gcount();
    if (n != second.gcount() || !std::equal(left.begin(), left.begin() + n, right.begin())) return false;
    if (n == 0 || first.eof() || second.eof()) return first.eof() == second.eof();
  }
}

void CreateFolderOf(const std::wstring& fileName) {
  const std::filesystem::path folder = FileSystemPath(fileName).parent_path();
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) RaiseFileCreateError(fileName);
}

}  // namespace

std::wstring EntryNameWithSlashes(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'\\') c = L'/';
  }
  return path;
}

int CountEntryMatches(const std::vector<std::wstring>& storedNames, const std::wstring& entry) {
  const std::wstring wanted = EntryNameWithSlashes(entry);
  const std::wstring bare = ExtractFileName(wanted);
  bool named = false;
  int sameBareName = 0;
  for (const std::wstring& stored : storedNames) {
    if (SameTextAscii(stored, wanted)) named = true;
    if (SameTextAscii(ExtractFileName(stored), bare)) ++sameBareName;
  }
  // A bare name finds the entry in any folder; a path only its own entry.
  if (!named && bare != wanted) return 0;
  return sameBareName;
}

void TUpdateArchive::ExtractToStream(const std::wstring& entry, TStream& stream) {
  struct TRewind {
    TStream& Stream;
    ~TRewind() { Stream.SetPosition(0); }
  } rewind{stream};
  if (!HasEntry(entry)) throw EMessageError(FormatText(rsRenewFileNotFound, {entry}));
  try {
    ReadEntry(entry, stream);
  } catch (const EEntryCrcError&) {
    throw EMessageError(FormatText(rsRenewFileCrcFailed, {entry}));
  }
}

void TUpdateArchive::ExtractToFile(const std::wstring& entry, const std::wstring& fileName) {
  WriteStagedFile(fileName, [&](TStream& file) { ExtractToStream(entry, file); });
}

void WriteStagedFile(const std::wstring& fileName, const std::function<void(TStream& file)>& write) {
  CreateFolderOf(fileName);
  // Written beside the target and renamed over it only when whole: a
  // half-written or empty staged file would look like a new version, and a
  // file an earlier command staged must survive a later one that fails.
  static std::atomic<unsigned> counter{0};
  const std::wstring partial = fileName + L".~" + std::to_wstring(++counter);
  try {
    {
      TFileStream file(partial, TFileStream::Mode::Create);
      write(file);
    }
    std::error_code error;
    std::filesystem::rename(FileSystemPath(partial), FileSystemPath(fileName), error);
    if (error) RaiseFileCreateError(fileName);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(FileSystemPath(partial), ignored);
    throw;
  }
}

std::wstring StagedPath(const std::wstring& stageFolder, const std::wstring& relative) {
  constexpr wchar_t separator = std::filesystem::path::preferred_separator;
  std::wstring result = stageFolder;
  if (!result.empty() && result.back() != L'\\' && result.back() != L'/') result += separator;
  std::wstring part;
  bool empty = true;
  const auto finishPart = [&] {
    if (part.empty()) return;
    if (DotsOnly(part)) throw EMessageError(UnsafePathText(relative));
    if (!empty) result += separator;
    result += part;
    part.clear();
    empty = false;
  };
  for (const wchar_t c : relative) {
    if (c == L':' || c == 0) throw EMessageError(UnsafePathText(relative));
    if (c == L'\\' || c == L'/') {
      finishPart();
    } else {
      part += c;
    }
  }
  finishPart();
  if (empty) throw EMessageError(UnsafePathText(relative));
  return result;
}

std::vector<std::wstring> RenewCommandTokens(const std::wstring& line) {
  std::vector<std::wstring> tokens;
  std::size_t i = 0;
  const std::size_t size = line.size();
  for (;;) {
    while (i < size && line[i] <= L' ') ++i;
    if (i >= size) return tokens;
    if (line[i] == L'"') {
      const std::size_t close = line.find(L'"', i + 1);
      const std::size_t end = close == std::wstring::npos ? size : close;
      tokens.push_back(line.substr(i + 1, end - i - 1));
      i = close == std::wstring::npos ? size : close + 1;
    } else {
      const std::size_t start = i;
      while (i < size && line[i] > L' ') ++i;
      tokens.push_back(line.substr(start, i - start));
    }
  }
}

bool TCopyRenewCmdItem::Execute(TUpdateArchive& zip) {
  zip.ExtractToFile(Entry, TargetFile);
  return true;
}

bool TPatchRenewCmdItem::Execute(TUpdateArchive& zip) {
  TMemoryStream patch;
  zip.ExtractToStream(Entry, patch);
  if (!ApplyPatch(SourceFile, TargetFile, patch)) return true;
  if (InstalledFile.empty() || SameFileContent(SourceFile, InstalledFile)) return false;
  TMemoryStream kept;
  kept.LoadFromFile(SourceFile);
  WriteStagedFile(TargetFile, [&](TStream& file) { file.WriteBuffer(kept.Bytes().data(), kept.Bytes().size()); });
  return true;
}

bool TChangeCmdItem::Execute(TUpdateArchive&) {
  Item->AttributesChanged = true;
  return true;
}

void TRenewCmdFile::Status(const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                           std::int32_t percent) {
  if (OnStatus) OnStatus(title, text1, text2, percent, Cancel);
}

void TRenewCmdFile::Message(std::int32_t kind, const std::wstring& text) {
  if (OnMessage) OnMessage(kind, text);
}

void TRenewCmdFile::LoadNewList() {
  std::wstring name;
  if (Zip->HasEntry(L"setup.ini")) {
    const std::wstring setupIni = StagedPath(StageFolder, L"setup.ini");
    Zip->ExtractToFile(L"setup.ini", setupIni);
    const TSetupIniFile ini(setupIni);
    const std::wstring product = TrimText(ini.ReadString(L"Products", L"Product1", L""));
    if (!product.empty()) name = ExtractFileName(TrimText(ini.ReadString(product, L"FilesLst", L"")));
  }
  if (name.empty()) name = ExtractFileName(OldList->FileName);
  if (!Zip->HasEntry(name)) throw EMessageError(FormatText(rsUpdatingFilesLstNotFound, {name}));
  const std::wstring listFile = StagedPath(StageFolder, name);
  Zip->ExtractToFile(name, listFile);
  NewList->LoadFromFile(listFile, true, true);
  TProgramLstFileItem* self = NewList->Last();
  ChangedList->AddObject(self->RelativePath, self);
}

void TRenewCmdFile::LoadCommands() {
  TMemoryStream stream;
  Zip->ExtractToStream(CommandFileName, stream);
  const std::vector<std::uint8_t>& bytes = stream.Bytes();
  LoadCommands(std::string(bytes.begin(), bytes.end()));
}

void TRenewCmdFile::LoadCommands(const std::string& bytes) {
  Clear();
  for (const std::wstring& line : DecodeListLines(bytes)) {
    const std::vector<std::wstring> tokens = RenewCommandTokens(line);
    if (tokens.size() < 2) continue;
    const std::wstring& word = tokens[0];
    const bool pathIsArgument = SameTextAscii(word, L"Copy") || SameTextAscii(word, L"Change");
    const std::wstring path = pathIsArgument ? tokens[1] : tokens.size() > 2 ? tokens[2] : std::wstring();
    if (path.empty()) continue;
    AddCommand(word, tokens[1], path);
  }
}

void TRenewCmdFile::AddCommand(const std::wstring& word, const std::wstring& argument, const std::wstring& path) {
  if (SameTextAscii(word, L"Version")) {
    FromVersion = argument;
    ToVersion = path;
    NewList->Version = ToVersion;
    Message(1, FormatText(rsUpdatingVersionsInformation, {FromVersion, ToVersion}));
    return;
  }
  const bool copy = SameTextAscii(word, L"Copy");
  const bool change = SameTextAscii(word, L"Change");
  const bool renew = SameTextAscii(word, L"Renew");
  if (!copy && !change && !renew) return;
  TProgramLstFileItem* item = NewList->FindByRelativePath(path);
  if (!item) return;
  if (copy) {
    auto command = std::make_unique<TCopyRenewCmdItem>();
    command->Entry = argument;
    command->TargetFile = StagedPath(StageFolder, item->DistrPath());
    command->Item = item;
    Add(command.release());
    return;
  }
  const TProgramLstFileItem* installed = OldList->FindByRelativePath(path);
  if (installed) item->Previous = installed;
  if (change) {
    auto command = std::make_unique<TChangeCmdItem>();
    command->Item = item;
    Add(command.release());
    return;
  }
  if (!installed) return;
  auto command = std::make_unique<TPatchRenewCmdItem>();
  command->Entry = argument;
  // Items with a kept copy patch the pristine file, not the one in use.
  if (installed->HasStatus(KeptCopyLetters)) {
    command->SourceFile = IncludeTrailingBackslash(ProgramFolder) + L"DISTR\\" + installed->DistrPath();
    command->InstalledFile = installed->TargetPath(ProgramFolder);
  } else {
    command->SourceFile = installed->TargetPath(ProgramFolder);
  }
  command->TargetFile = StagedPath(StageFolder, item->DistrPath());
  command->Item = item;
  Add(command.release());
}

void TRenewCmdFile::CheckVersion() {
  if (FromVersion == InstalledVersion) return;
  const std::wstring mismatch = FormatText(rsRenewVersionMismatch, {FromVersion, InstalledVersion});
  if (Silent) throw EMessageError(mismatch);
  if (!Confirm(mismatch + rsRenewConfirmation)) throw EAbort();
}

bool TRenewCmdFile::Execute() {
  ErrorWeight = 0;
  const auto started = std::chrono::steady_clock::now();
  const std::wstring title = rsUpdatingFiles;
  Status(title, L" ", L" ", 0);
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    if (Cancel != 0) throw EMessageError(rsUpdatingFilesInterrupted);
    TRenewCmdItem& command = *Get(i);
    Status(title, command.SourceFile, L"", -1);
    try {
      // A file named by two commands is installed once: the install takes
      // each staged file away as it copies it.
      if (command.Execute(*Zip) && ChangedList->IndexOfObject(command.Item) < 0)
        ChangedList->AddObject(command.Item->RelativePath, command.Item);
    } catch (const std::exception& e) {
      ErrorWeight += command.Item->HasStatus(L"k") ? CriticalWeight : 1;
      // A whole new file has no source: the staged file names it.
      const std::wstring& file = command.SourceFile.empty() ? command.TargetFile : command.SourceFile;
      const std::wstring text = file + L": " + ExceptionMessage(e);
      if (!OnMessage) throw EMessageError(text);
      OnMessage(0, text);
    }
    Status(title, L"", L"", Percent(i + 1, count));
  }
  Status(L" ", L" ", L" ", 100);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  Message(1, FormatText(rsUpdatingFilesTime, {std::to_wstring(elapsed.count())}));

  if (ErrorWeight == 0) return true;
  if (ContinueWhenChanged && !ChangedList->Empty()) return true;
  if (ErrorWeight >= CriticalWeight) throw EMessageError(rsUpdatingFilesCriticalErrors);
  return Confirm(FormatText(rsUpdatingFilesWasErrors, {static_cast<std::int64_t>(ErrorWeight)}));
}

bool TRenewCmdFile::Confirm(const std::wstring& text) {
  if (Silent) return false;
  if (OnQuestion) return OnQuestion(rsSetupProgram, text, YesNoQuestion) == YesAnswer;
  return GuiTools().MessageBox(text, YesNoQuestion, rsSetupProgram) == YesAnswer;
}

bool ApplyUpdate(TUpdateArchive& zip, const std::wstring& programFolder, const std::wstring& installedVersion,
                 const std::wstring& stageFolder, const TProgramLstFile& oldList, TProgramLstFile& newList,
                 TProgramLstFileItems& changedList, const TRenewStatusEvent& onStatus,
                 const TRenewMessageEvent& onMessage, const TRenewQuestionEvent& onQuestion, bool silent,
                 bool continueWhenChanged) {
  TRenewCmdFile commands;
  commands.Silent = silent;
  commands.ContinueWhenChanged = continueWhenChanged;
  commands.StageFolder = stageFolder;
  commands.ProgramFolder = IncludeTrailingBackslash(programFolder);
  commands.InstalledVersion = installedVersion;
  commands.Zip = &zip;
  commands.OldList = &oldList;
  commands.NewList = &newList;
  commands.ChangedList = &changedList;
  commands.OnStatus = onStatus;
  commands.OnMessage = onMessage;
  commands.OnQuestion = onQuestion;
  changedList.Clear();
  commands.LoadNewList();
  commands.LoadCommands();
  commands.CheckVersion();
  return commands.Execute();
}
