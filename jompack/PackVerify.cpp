#include "jompack/PackVerify.h"

#include <cwctype>
#include <vector>

#include "jompack/PackConsole.h"
#include "jompack/PackFiles.h"
#include "jompack/PackKit.h"
#include "jompack/PackUpdate.h"
#include "platform/StrTool.h"
#include "setup/distribution/diPatchProgram.h"
#include "setup/distribution/diPatchProgramZip.h"

namespace {
const wchar_t* const KeptCopyLetters = L"ILRC";
const wchar_t* const KeptUnlessLetters = L"SLCo";

// The whole update file: the file itself, or for a volume (a name ending in
// a digit) the whole file beside it or the volumes joined, as the setup
// takes them: volumes follow while each has the first one's size.
std::wstring WholeUpdateFile(const std::wstring& file, const std::wstring& scratch) {
  if (file.empty() || !std::iswdigit(file.back())) return file;
  const std::wstring beside = ChangeFileExt(file, L".prf");
  if (IsFile(beside)) return beside;
  if (!IsFile(VolumeName(file, 1))) RaiseInput(L"the first volume is missing: " + VolumeName(file, 1));
  std::string joined = ReadWholeFile(VolumeName(file, 1));
  const std::size_t first = joined.size();
  for (int n = 2; IsFile(VolumeName(file, n)); ++n) {
    const std::string volume = ReadWholeFile(VolumeName(file, n));
    joined += volume;
    if (volume.size() != first) break;
  }
  const std::wstring whole = scratch + L"joined.prf";
  WriteWholeFile(whole, joined);
  return whole;
}

// Where the engine finds an installed file of the old version: the kept
// copy in "DISTR\" for items with one, else the installed file.
std::wstring KeptCopyPath(const std::wstring& program, const TProgramLstFileItem& item) {
  return PathText(FsPath(IncludeTrailingBackslash(program) + L"DISTR\\" + item.DistrPath()));
}
std::wstring InstalledPath(const std::wstring& program, const TProgramLstFileItem& item) {
  return PathText(FsPath(item.TargetPath(IncludeTrailingBackslash(program))));
}

// The same names with the same values, in any order (a list written anew
// puts its names in column order).
bool SameLine(const TProgramLstFileItem& a, const TProgramLstFileItem& b) {
  if (a.Values.size() != b.Values.size()) return false;
  std::vector<bool> used(b.Values.size(), false);
  for (const auto& [name, value] : a.Values) {
    bool found = false;
    for (std::size_t i = 0; i < b.Values.size() && !found; ++i) {
      if (used[i] || !SameTextAscii(b.Values[i].first, name) || b.Values[i].second != value) continue;
      used[i] = found = true;
    }
    if (!found) return false;
  }
  return true;
}

class TVerifier {
public:
  TVerifier(TPackKit& oldKit, TPackKit& newKit, const std::wstring& scratch)
      : Old(oldKit), New(newKit), Program(scratch + L"program"), StageFolder(scratch + L"stage") {}

  void LayOutOldVersion();
  void Stage(const std::wstring& updateFile);
  void Compare();

  std::vector<std::wstring> Mismatches;
  int Matched = 0;

private:
  void Mismatch(const std::wstring& text) { Mismatches.push_back(text); }
  std::string ResultOf(const TProgramLstFileItem& updated, const TProgramLstFileItem* before);

  TPackKit& Old;
  TPackKit& New;
  const std::wstring Program;
  const std::wstring StageFolder;
  TProgramLstFile UpdateList;
  TProgramLstFileItems ChangedList;
  std::wstring ToVersion;
};

void TVerifier::LayOutOldVersion() {
  for (const TProgramLstFileItem* item : Old.List) {
    if (item->IsDeleted) continue;
    const std::string bytes = Old.FileBytes(*item);
    if (item->HasStatus(KeptCopyLetters)) WriteWholeFile(KeptCopyPath(Program, *item), bytes);
    // Files of the system's folders stay out of the copy: only their kept
    // copies take part in an update.
    if (!item->IsSystemLocated()) WriteWholeFile(InstalledPath(Program, *item), bytes);
  }
}

void TVerifier::Stage(const std::wstring& updateFile) {
  std::unique_ptr<TZipFile> zip;
  try {
    zip = std::make_unique<TZipFile>(updateFile);
  } catch (const std::exception& e) {
    RaiseInput(L"not an update file: " + updateFile + L": " + ExceptionMessage(e));
  }
  TRenewCmdFile commands;
  commands.Silent = true;
  commands.StageFolder = WithSeparator(StageFolder);
  commands.ProgramFolder = IncludeTrailingBackslash(Program);
  commands.InstalledVersion = Old.Config.Version;
  commands.Zip = zip.get();
  commands.OldList = &Old.List;
  commands.NewList = &UpdateList;
  commands.ChangedList = &ChangedList;
  TProgressLine progress(L"verify");
  commands.OnStatus = [&](const std::wstring&, const std::wstring&, const std::wstring&, std::int32_t percent,
                          std::uint8_t&) {
    if (percent >= 0) progress.Show(percent);
  };
  commands.OnMessage = [this](std::int32_t kind, const std::wstring& text) {
    if (kind == 0) Mismatch(L"the update failed: " + text);
  };
  try {
    commands.LoadNewList();
    commands.LoadCommands();
    // The engine joins the installed files' paths with "\": in the native
    // spelling here.
    for (TRenewCmdItem* command : commands) {
      if (!command->SourceFile.empty()) command->SourceFile = PathText(FsPath(command->SourceFile));
    }
    commands.CheckVersion();
    if (!commands.Execute() && Mismatches.empty()) Mismatch(L"the update refuses to install");
  } catch (const std::exception& e) {
    Mismatch(L"the update failed: " + ExceptionMessage(e));
  }
  progress.Finish();
  ToVersion = commands.ToVersion;
  if (ToVersion != New.Config.Version)
    Mismatch(L"the update makes version " + ToVersion + L", the new kit is version " + New.Config.Version);
}

// The file an update leaves for the item: the staged one when the update
// changed it, else the installed one of the old version.
std::string TVerifier::ResultOf(const TProgramLstFileItem& updated, const TProgramLstFileItem* before) {
  if (ChangedList.IndexOfObject(const_cast<TProgramLstFileItem*>(&updated)) >= 0 && !updated.AttributesChanged)
    return ReadWholeFile(PathText(FsPath(StagedPath(WithSeparator(StageFolder), updated.DistrPath()))));
  if (!before) throw EPackError(ExitMismatch, updated.RelativePath + L" is new, but the update does not carry it");
  return Old.FileBytes(*before);
}

void TVerifier::Compare() {
  if (!Mismatches.empty()) return;
  for (const TProgramLstFileItem* item : New.List) {
    const TProgramLstFileItem* updated = UpdateList.FindByRelativePath(item->RelativePath);
    if (!updated) {
      Mismatch(item->RelativePath + L" is missing from the update's list");
      continue;
    }
    if (!SameLine(*updated, *item)) Mismatch(item->RelativePath + L": the update's list line differs from the new kit's");
    if (item->IsDeleted) continue;
    const TProgramLstFileItem* before = Old.List.FindByRelativePath(item->RelativePath);
    if (before && before->IsDeleted) before = nullptr;
    try {
      if (ResultOf(*updated, before) != New.FileBytes(*item)) {
        Mismatch(item->RelativePath + L" differs from the new kit after the update");
      } else {
        ++Matched;
      }
    } catch (const EPackError& e) {
      Mismatch(e.Text);
    }
    if (before && !item->HasStatus(KeptUnlessLetters) && item->CRC != before->CRC)
      PrintLine(L"note: " + item->RelativePath + L" carries none of S, L, C, o: an update keeps a user's copy of it");
  }
  // Files of the old version that the new one lacks must go.
  for (const TProgramLstFileItem* before : Old.List) {
    if (before->IsDeleted) continue;
    const TProgramLstFileItem* item = New.List.FindByRelativePath(before->RelativePath);
    if (item && !item->IsDeleted) continue;
    const TProgramLstFileItem* updated = UpdateList.FindByRelativePath(before->RelativePath);
    if (!updated || !updated->IsDeleted)
      Mismatch(before->RelativePath + L" is gone from the new kit, but the update leaves it installed");
  }
  for (const TProgramLstFileItem* updated : UpdateList) {
    if (!updated->IsDeleted && !updated->HasStatus(L"S") && !New.List.FindByRelativePath(updated->RelativePath))
      Mismatch(updated->RelativePath + L" is in the update's list but not in the new kit");
  }
  const std::wstring stagedIni = PathText(FsPath(StagedPath(WithSeparator(StageFolder), L"setup.ini")));
  const std::string setupIni = IsFile(stagedIni) ? ReadWholeFile(stagedIni) : ReadWholeFile(Old.SetupIniPath);
  if (setupIni != ReadWholeFile(New.SetupIniPath)) Mismatch(L"setup.ini differs from the new kit's after the update");
}
}  // namespace

int VerifyUpdate(const std::wstring& oldKit, const std::wstring& updateFile, const std::wstring& newKit) {
  TPackKit before(oldKit);
  TPackKit after(newKit);
  if (!IsFile(updateFile) && !(!updateFile.empty() && std::iswdigit(updateFile.back())))
    RaiseInput(L"update file not found: " + updateFile);
  const TScratchFolder scratch;
  const std::wstring whole = WholeUpdateFile(updateFile, scratch.Path());
  if (!IsFile(whole)) RaiseInput(L"update file not found: " + whole);

  TVerifier verifier(before, after, scratch.Path());
  verifier.LayOutOldVersion();
  verifier.Stage(whole);
  verifier.Compare();
  if (!verifier.Mismatches.empty()) {
    for (const std::wstring& text : verifier.Mismatches) PrintError(L"verify: " + text);
    PrintError(L"verify: the update does not give version " + after.Config.Version);
    return ExitMismatch;
  }
  PrintLine(L"verify: the update " + before.Config.Version + L" -> " + after.Config.Version + L" gives the new kit's " +
            std::to_wstring(verifier.Matched) + L" files");
  return ExitOk;
}
