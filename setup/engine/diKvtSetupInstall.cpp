// The install pipeline of the session: a fresh install or a reinstall from a
// kit, the station setup of an installed copy, and the steps an update
// shares with them.

#include <algorithm>
#include <cwchar>

#include "platform/ExecIntfTypes.h"
#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/ShTools.h"
#include "platform/StrTool.h"
#include "platform/SyncIntfTypes.h"
#include "platform/Win.h"

#include "setup/distribution/FileVersions.h"
#include "setup/distribution/diCommon.h"
#include "setup/engine/KvtDistr.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/engine/diDistrTarget.h"
#include "setup/engine/diKvtSetupDistr.h"
#include "setup/engine/diPackingList.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

namespace {

constexpr std::uint32_t AbortRetryIgnoreQuestion = 18;  // MB_ABORTRETRYIGNORE | MB_ICONERROR
constexpr std::uint32_t RetryCancelQuestion = 21;       // MB_RETRYCANCEL | MB_ICONERROR
constexpr std::uint32_t YesNoCancelQuestion = 35;       // MB_YESNOCANCEL | MB_ICONQUESTION
constexpr std::uint32_t YesNoQuestion = 36;             // MB_YESNO | MB_ICONQUESTION

// Letters of the item flags the pipeline tests.
const wchar_t* const KeptCopyLetters = L"ILRCt";
const wchar_t* const AlwaysOverwrittenLetters = L"SLCo";
const wchar_t* const VersionCheckedLetters = L"CLv";
// Items whose update patch applies to the kept copy rather than the file.
const wchar_t* const PatchedKeptCopyLetters = L"ILRC";

bool FileExists(const std::wstring& path) { return PlatformTools().FileExists(path); }

[[noreturn]] void Raise(const std::wstring& text) { throw Exception(text); }

void ClearReadOnly(const std::wstring& path) {
  IPlatformTools& platform = PlatformTools();
  const std::uint32_t attributes = platform.GetFileAttributes(path);
  if (attributes != InvalidFileAttributes && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    platform.SetFileAttributes(path, attributes & ~static_cast<std::uint32_t>(FILE_ATTRIBUTE_READONLY));
}

// Done of total as a percentage; an empty total counts as done.
std::int32_t Percentage(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 100;
  const long double share = static_cast<long double>(done) * 100 / static_cast<long double>(total);
  return static_cast<std::int32_t>(std::clamp<long double>(share, 0, 100));
}

std::wstring WithoutDots(const std::wstring& text) { return RemoveChars(text, L"."); }

}  // namespace

bool TKvtSetup::StatusCancelled(const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                                std::int32_t percent, std::uint8_t& cancel) {
  if (OnStatus) OnStatus(title, text1, text2, percent, cancel);
  return cancel != 0;
}

void TKvtSetup::InstallWithParams(const TInstallParams* params) {
  if (!params || params->Size < 16 || params->Size > 64) Raise(rsInvalidInstallParameters);
  NoShortcuts = params->NoShortcuts != 0;
  InstallFromKit(params->InstallDir ? params->InstallDir : L"", params->GroupName ? params->GroupName : L"");
}

void TKvtSetup::InstallFromKit(const std::wstring& folder, const std::wstring& group) {
  if (TrimText(SetupDir).empty()) Raise(rsDistributionDirectoryNotSpecified);
  if (!PlatformTools().DirectoryExists(SetupDir)) Raise(FormatText(rsDistributionDirectoryNotFound, {SetupDir}));
  ValidateProgramFolder(folder);

  SetInstallDir(TrimText(folder));
  ReadSetupIni(false);
  LoadFileList();
  if (!group.empty()) TargetGroup = group;

  FilesToProcess.Clear();
  for (TProgramLstFileItem* item : *FileList) FilesToProcess.AddObject(item->RelativePath, item);
  // A kit spread over several volumes is read volume by volume.
  if (IsRemovablePath(SetupDir)) {
    for (TProgramLstFileItem* item : *FileList) item->SetValue(L"Dsk", DiskLabelFor(*item));
    SortByDisk(FilesToProcess);
  }
  InstallProgram(false);
}

void TKvtSetup::InstallStation() {
  CheckSetupDir();
  // Only an installed copy can be set up on another computer: without one
  // there is no program folder to take the files from.
  if (!RunningFromInstalled) Raise(FormatText(rsFileNotFound, {SetupDir + L"instcfg.ini"}));
  ReadSetupIni(false);
  LoadFileList();
  FilesToProcess.Clear();
  for (TProgramLstFileItem* item : *FileList) {
    if (item->IsSystemLocated() || item->HasCaption() || item->HasStatus(L"g") || item->HasStatus(L"h"))
      FilesToProcess.AddObject(item->RelativePath, item);
  }
  InstallProgram(true);
}

void TKvtSetup::InstallProgram(bool stationMode) {
  try {
    PrepareInstall();
    if (!stationMode) CheckInstalledCopy();
    ForceDirectoriesQuiet(InstallDir);  // a failure shows when the first file is copied
    if (!BeforeInstall.empty()) RunProgram(SetupDir + BeforeInstall, L"/BEFOREINSTALL", BeforeInstallInfo);
    OpenBackupArchive();
    std::uint8_t cancel = 0;
    CopyFiles(stationMode, cancel);
    DeleteRemovedFiles(cancel);
    // A cancel at the last progress report still stops the install rather
    // than leaving it unregistered as if it had succeeded.
    if (cancel != 0) Raise(rsInstallProgramInterrupted);
    FinishInstall();
  } catch (...) {
    CleanupQuietly();
    throw;
  }
  Cleanup();
}

void TKvtSetup::PrepareInstall() {
  if (!RunningFromInstalled && !KeepUserSettings) {
    ClearDirectory(WorkDir, true, true);
    RegistrationName = FindRegistrationName();
  }
  Archives.Clear();
  HelpItems.Clear();
  OleItems.Clear();
  ShortcutItems.Clear();
}

void TKvtSetup::CheckInstalledCopy() {
  if (!RunningFromInstalled && FileExists(InstallDir + L"instcfg.ini")) {
    const TSetupIniFile installed(InstallDir + L"setup.ini");
    const std::wstring product = TrimText(installed.ReadString(L"Products", L"Product1", L""));
    if (product == ProductSection) {
      // The copy's own options survive a reinstall.
      const std::wstring config = InstallDir + L"instcfg.ini";
      BackupFiles = ReadProfileBool(config, ProductSection, L"BackupFiles", BackupFiles);
      KvtRenewService = ReadProfileBool(config, ProductSection, L"KvtRenewService", KvtRenewService);
      if (!KeepUserSettings) {
        if (Automatic) {
          KeepUserSettings = true;
        } else {
          switch (Ask(FormatText(rsSaveUserSettings, {InstallDir, ProductName1}), YesNoCancelQuestion)) {
            case IDYES: KeepUserSettings = true; break;
            case IDNO: KeepUserSettings = false; break;
            default: Raise(rsInstallProgramInterrupted);
          }
        }
      }
      if (KeepUserSettings) {
        OldVersion = installed.ReadString(ProductSection, L"Version", L"");
        NewVersion = Version;
      }
      if (!Automatic && KeepUserSettings && SetupIni && SetupIni->ReadBool(ProductSection, L"GenDistrBeforeUpgrade", false))
        OfferDistrBeforeUpgrade(true);
    }
  }
  CheckLockedFiles(rsFileLockedBeforeInstall);
}

void TKvtSetup::CheckLockedFiles(const std::wstring& messageFormat) {
  if (!FileList) return;
  for (const TProgramLstFileItem* item : *FileList) {
    if (item->IsDeleted || !item->HasStatus(L"k")) continue;
    const std::wstring path = item->TargetPath(InstallDir);
    for (;;) {
      ClearReadOnly(path);
      if (!IsFileLocked(path)) break;
      const std::wstring text = FormatText(messageFormat, {path});
      if (Automatic) Raise(text);
      if (Ask(text, RetryCancelQuestion) != IDRETRY) Raise(rsInstallProgramInterrupted);
    }
  }
}

void TKvtSetup::OfferDistrBeforeUpgrade(bool onlyIfVersionDiffers) {
  if (onlyIfVersionDiffers) {
    const TSetupIniFile installed(InstallDir + L"setup.ini");
    const std::wstring product = TrimText(installed.ReadString(L"Products", L"Product1", L""));
    if (installed.ReadString(product, L"Version", L"") == Version) return;
  }
  if (Ask(rsBuildDistrBeforeInstall, YesNoQuestion) != IDYES) return;
  TKvtSetup installed(InstallDir);
  installed.OnMessage = OnMessage;
  installed.OnStatus = OnStatus;
  if (installed.ReadSetupIni(false)) BuildDistribution(installed, installed.GetDistrTargetDir());
}

std::wstring TKvtSetup::GetDistrTargetDir() {
  return DistrTargetDir(InstallDir, ProductSection, Version,
                        ReadProfileString(InstallDir + L"instcfg.ini", ProductSection, L"MakeDistr", L""));
}

void TKvtSetup::OpenBackupArchive() {
  BackupArchive.reset();
  if (!KeepUserSettings || !BackupFiles || OldVersion.empty() || NewVersion.empty() || !(OldVersion < NewVersion))
    return;
  ReportMessage(mkInfo, rsBackupFiles);
  const std::wstring folder = InstallDir + L"$BACKUP$\\";
  ForceDirectoriesQuiet(folder);
  const std::wstring name = folder + Tmpl + WithoutDots(OldVersion) + WithoutDots(NewVersion) + L".bak";
  const std::wstring stage = WorkDir + L"$BACKUP$\\";
  ClearDirectory(stage, true, true);
  BackupArchive = std::make_unique<TBackupArchive>(name, InstallDir, stage);
  BackupUserFiles();
}

void TKvtSetup::BackupUserFiles() {
  const std::wstring listPath = InstallDir + FilesLst;
  if (!FileExists(listPath)) return;
  BackupFile(listPath);
  const TProgramLstFile installed(listPath);
  ReportStatus(rsBackupUserFiles, L"", L"", 0);
  for (int i = 0; i < installed.Count(); ++i) {
    const TProgramLstFileItem& item = *installed[i];
    if (!item.HasStatus(L"R") || item.IsDeleted) continue;
    BackupFile(item.TargetPath(InstallDir));
    ReportStatus(rsBackupUserFiles, L"", L"", Percentage(i + 1, installed.Count()));
  }
  ReportStatus(L" ", L" ", L" ", -1);
}

void TKvtSetup::BackupFile(const std::wstring& path) {
  if (!BackupArchive || !FileExists(path)) return;
  std::uint8_t cancel = 0;
  if (StatusCancelled(rsBackupFiles, path, L" ", -1, cancel))
    Raise(RunningFromInstalled ? rsUpdateProgramInterrupted : rsInstallProgramInterrupted);
  BackupArchive->Add(path);
}

void TKvtSetup::CopyFiles(bool stationMode, std::uint8_t& cancel) {
  const std::wstring title = rsCopyFiles;
  std::int64_t total = 0;
  std::int64_t done = 0;
  if (OnStatus) {
    StatusCancelled(title, L" ", L" ", 0, cancel);
    for (int i = 0; i < FilesToProcess.Count(); ++i) total += FilesToProcess.Objects(i)->Size();
  }
  VersionFile = nullptr;
  StagedSetupIni.clear();
  const std::wstring setupIni = UpperCaseText(InstallDir + L"setup.ini");
  for (TProgramLstFileItem* item : CopyOrder()) {
    if (item->HasStatus(L"D")) continue;
    if (RunningFromInstalled && !stationMode && UpperCaseText(item->TargetPath(InstallDir)) == setupIni) {
      VersionFile = item;
      // The records read it when InstallItem will copy it.
      if (!item->AttributesChanged &&
          (!KeepUserSettings || item->HasStatus(AlwaysOverwrittenLetters) || !FileExists(item->TargetPath(InstallDir))))
        StagedSetupIni = GetSourceFile(*item).Path;
    } else {
      if (StatusCancelled(title, item->TargetPath(InstallDir), L" ", -1, cancel)) Raise(rsInstallProgramInterrupted);
      InstallItem(*item, stationMode);
    }
    if (OnStatus) {
      done += item->Size();
      StatusCancelled(title, L"", L"", Percentage(done, total), cancel);
    }
  }
}

std::vector<TProgramLstFileItem*> TKvtSetup::CopyOrder() const {
  std::vector<TProgramLstFileItem*> items;
  for (int i = 0; i < FilesToProcess.Count(); ++i) items.push_back(FilesToProcess.Objects(i));
  if (!RunningFromInstalled) return items;
  // An update names the installed version in setup.ini and the installed
  // files in the list: these two go in last, setup.ini after the list (and
  // after the records, see InstallVersionFile), so that an update that stops
  // half-way still reads as the old version and is run again from the start.
  const std::wstring list =
      InstallDir + (NewFileList && !NewFileList->FileName.empty() ? ExtractFileName(NewFileList->FileName) : FilesLst);
  for (const std::wstring& last : {list, InstallDir + L"setup.ini"}) {
    std::stable_partition(items.begin(), items.end(),
                          [&](const TProgramLstFileItem* item) {
                            return UpperCaseText(item->TargetPath(InstallDir)) != UpperCaseText(last);
                          });
  }
  return items;
}

void TKvtSetup::InstallItem(TProgramLstFileItem& item, bool stationMode) {
  const std::wstring target = item.TargetPath(InstallDir);
  const std::wstring keptCopy = DistrDir + item.DistrPath();
  try {
    item.LocalPath = target;
    TSourceFile source;
    bool copyToKept = false;
    bool copyToTarget = false;
    if (stationMode) {
      source.Path = keptCopy;
      copyToTarget = item.IsSystemLocated();
    } else if (!item.AttributesChanged) {
      copyToKept = item.HasStatus(KeptCopyLetters);
      // With the user's settings kept (a reinstall answered Yes, or an
      // update), an existing file is replaced only when its letters say so.
      copyToTarget = !(FileExists(target) && KeepUserSettings && !item.HasStatus(AlwaysOverwrittenLetters));
      // A file that lands where nothing is yet comes straight out of its
      // archive; the other copy, if any, is made from it.
      const std::wstring& first = copyToKept ? keptCopy : target;
      if ((copyToKept || copyToTarget) && ExtractInPlace(item, first)) {
        if (!copyToKept) copyToTarget = false;
        copyToKept = false;
        source.Path = first;
      } else {
        source = GetSourceFile(item);
      }
    } else if (item.StatusChanged(item.Previous)) {
      copyToKept = item.HasStatus(KeptCopyLetters) && !(item.Previous && item.Previous->HasStatus(KeptCopyLetters)) &&
                   FileExists(target);
      source.Path = target;
    }
    try {
      // An update patches the kept copy of an "I", "L", "R" or "C" item and
      // the installed file of any other: that file is written last, so that
      // an install stopped between the two copies leaves it old and a second
      // update patches and copies the item again instead of skipping it.
      const bool keptCopyLast = item.HasStatus(PatchedKeptCopyLetters);
      if (copyToKept && !keptCopyLast) CopyProgramFile(source.Path, keptCopy, false, BackupArchive != nullptr);
      if (copyToTarget)
        CopyProgramFile(source.Path, target, item.HasStatus(VersionCheckedLetters), BackupArchive != nullptr);
      if (copyToKept && keptCopyLast) CopyProgramFile(source.Path, keptCopy, false, BackupArchive != nullptr);
    } catch (...) {
      if (source.IsTemporary) PlatformTools().DeleteFile(source.Path);
      throw;
    }
    if (source.IsTemporary) PlatformTools().DeleteFile(source.Path);
    if (item.HasCaption() || item.CaptionChanged(item.Previous)) ShortcutItems.AddObject(item.RelativePath, &item);
    if (item.HasStatus(L"g")) OleItems.AddObject(item.RelativePath, &item);
    if (item.HasStatus(L"h")) HelpItems.AddObject(item.RelativePath, &item);
  } catch (const EIgnore&) {
    ReportMessage(mkWarning, FormatText(rsInstallFileSkipped, {target}));
  } catch (const std::exception& e) {
    Raise(FormatText(rsInstallFileError, {target, ExceptionMessage(e)}));
  }
}

void TKvtSetup::DeleteRemovedFiles(std::uint8_t& cancel) {
  const TProgramLstFile& list = NewFileList ? *NewFileList : *FileList;
  for (const TProgramLstFileItem* item : list) {
    if (!item->HasStatus(L"D")) continue;
    const std::wstring target = item->TargetPath(InstallDir);
    const std::wstring keptCopy = DistrDir + item->DistrPath();
    if (OnStatus && StatusCancelled(rsDeletingFile, target, L" ", -1, cancel)) Raise(rsInstallProgramInterrupted);
    // A file that stays behind is only a leftover: the install goes on.
    auto remove = [this](const std::wstring& path) {
      ClearReadOnly(path);
      if (!PlatformTools().DeleteFile(path)) {
        const DWORD code = ::GetLastError();
        ReportMessage(mkWarning, SystemErrorMessage(code) + L" (" + path + L")");
      }
    };
    if (FileExists(target)) remove(target);
    if (FileExists(keptCopy) && !list.FindSameDistrPath(*item)) remove(keptCopy);
  }
}

void TKvtSetup::FinishInstall() {
  // The records name the new version of an update: its staged setup.ini
  // until that is installed, last of all.
  if (RunningFromInstalled) ReadSetupIni(true);
  IPlatformTools& platform = PlatformTools();
  // COM for the shortcuts and OLE servers when the engine runs on a thread
  // of the caller's that did not initialise it.
  const bool comInitialized = !platform.IsMainThread() && platform.InitializeCom();
  try {
    CreateShortcuts();
    RegisterOleFiles();
    RegisterHelpFiles();
  } catch (...) {
    if (comInitialized) platform.UninitializeCom();
    throw;
  }
  if (comInitialized) platform.UninitializeCom();
  RegisterFileAssociation();
  WriteFolderInfoTip();
  WriteUninstallEntry();
  if (!RunningFromInstalled) WriteInstCfg();
  RegisterInProgramsIni();
  WriteStationEntry();
  InstallVersionFile();
  NotifyAssociationsChanged();
  if (!AfterInstall.empty()) RunProgram(InstallDir + AfterInstall, L"/AFTERINSTALL", AfterInstallInfo);
  std::uint8_t cancel = 0;
  StatusCancelled(L" ", L" ", L" ", 100, cancel);
}

void TKvtSetup::InstallVersionFile() {
  TProgramLstFileItem* item = VersionFile;
  VersionFile = nullptr;
  if (!item) return;
  InstallItem(*item, false);
  StagedSetupIni.clear();
  ReloadInstalledSetupIni();
}

bool TKvtSetup::ExtractInPlace(const TProgramLstFileItem& item, const std::wstring& destination) {
  if (RunningFromInstalled || item.Arc.empty() || FileExists(destination)) return false;
  std::uint8_t cancel = 0;
  try {
    const std::wstring archive = LocateSourceFile(item.Arc);
    if (StatusCancelled(rsCopyFiles, destination, archive, -1, cancel)) Raise(rsInstallProgramInterrupted);
    Archives.ExtractAs(archive, item.FileName, destination);
    return true;
  } catch (...) {
    if (cancel != 0) throw;
  }
  // Whatever failed fails again on the ordinary way, with its question.
  return false;
}

TSourceFile TKvtSetup::GetSourceFile(const TProgramLstFileItem& item) {
  if (RunningFromInstalled) return {WorkDir + item.DistrPath(), true};
  if (!item.Arc.empty()) return {ExtractFromArchive(LocateSourceFile(item.Arc), item.FileName), true};
  return {LocateSourceFile(item.FileName), false};
}

std::wstring TKvtSetup::LocateSourceFile(const std::wstring& name) {
  std::wstring path = SetupDir + name;
  if (FileExists(path)) return path;
  const std::wstring inWorkDir = WorkDir + ExtractFileName(name);
  if (FileExists(inWorkDir)) return inWorkDir;
  // An archive split over volumes: name.z0, name.z1, ... joined into one.
  if (IsPackedInParts(PackingList.get(), name)) {
    if (JoinFileParts(SetupDir + name, inWorkDir, L".z", 0, false, false)) path = inWorkDir;
  }
  if (!FileExists(path)) Raise(FormatText(rsFileNotFound, {path}));
  return path;
}

std::wstring TKvtSetup::DiskLabelOf(const std::wstring& name) { return PackingDiskLabel(PackingList.get(), name); }

std::wstring TKvtSetup::DiskLabelFor(const TProgramLstFileItem& item) {
  return PackingDiskLabelFor(PackingList.get(), item);
}

std::wstring TKvtSetup::ExtractFromArchive(const std::wstring& archive, const std::wstring& fileName) {
  return Archives.Extract(archive, fileName, WorkDir);
}

void TKvtSetup::CopyProgramFile(const std::wstring& source, const std::wstring& target, bool checkVersions,
                                bool backup) {
  std::uint8_t cancel = 0;
  if (StatusCancelled(rsCopyFiles, target, source, -1, cancel)) Raise(rsInstallProgramInterrupted);
  const bool targetExists = FileExists(target);
  if (checkVersions && targetExists && (IsFileProtected(target) || !IsOlderFile(target, source))) return;
  if (backup && targetExists) {
    bool sameSize = false;
    if (FilesEqual(source, target, sameSize)) return;
    BackupFile(target);
  }
  ForceDirectoriesQuiet(ExtractFilePath(target));
  for (;;) {
    if (FileExists(target)) ClearReadOnly(target);
    if (CopyThroughTemporary(source, target)) {
      ClearReadOnly(target);
      return;
    }
    const DWORD code = ::GetLastError();
    // A file in use is replaced when the system restarts.
    if (checkVersions && PlatformTools().ReplaceFileInUse(target, source)) return;
    const std::wstring text =
        FormatText(rsCopyFileError, {source, target, static_cast<std::int64_t>(code), SystemErrorMessage(code)});
    if (Automatic) Raise(text);
    switch (Ask(text, AbortRetryIgnoreQuestion)) {
      case IDRETRY: continue;
      case IDIGNORE: throw EIgnore();
      default: Raise(rsInstallProgramInterrupted);
    }
  }
}

bool TKvtSetup::CopyThroughTemporary(const std::wstring& source, const std::wstring& target) {
  IPlatformTools& platform = PlatformTools();
  // A target that a copy onto it could not open fails for the same reason
  // (a file in use reads as a sharing violation), before anything is made.
  if (IsFileLocked(target, OpenModeWriteExclusive)) return false;
  const std::wstring temporary = TemporaryCopyName(target);
  // The copy takes the source's attributes and times with it; the rename
  // keeps them and replaces the old file in one step.
  if (FileExists(temporary)) ClearReadOnly(temporary);
  if (platform.CopyFile(source, temporary, false) && platform.MoveFile(temporary, target, MoveFileReplaceExisting))
    return true;
  const DWORD code = ::GetLastError();
  if (FileExists(temporary)) {
    ClearReadOnly(temporary);
    platform.DeleteFile(temporary);
  }
  ::SetLastError(code);
  return false;
}

std::wstring TKvtSetup::TemporaryCopyName(const std::wstring& target) const {
  const auto listed = [this](const std::wstring& path) {
    const std::wstring upper = UpperCaseText(path);
    for (const TProgramLstFile* list : {FileList.get(), NewFileList.get()}) {
      if (!list) continue;
      for (const TProgramLstFileItem* item : *list) {
        // Only a listed name with the marker can be the temporary one.
        if (item->RelativePath.find(L".~") == std::wstring::npos) continue;
        if (UpperCaseText(item->TargetPath(InstallDir)) == upper ||
            UpperCaseText(DistrDir + item->DistrPath()) == upper)
          return true;
      }
    }
    return false;
  };
  std::wstring name = target + L".~new";
  for (int n = 1; listed(name); ++n) name = target + L".~new" + std::to_wstring(n);
  return name;
}

void TKvtSetup::RunProgram(const std::wstring& file, const std::wstring& switchText, const std::wstring& info) {
  if (!FileExists(file)) return;
  std::uint8_t cancel = 0;
  StatusCancelled(info, L" ", L" ", -1, cancel);
  // The product's programs read the program folder and the step from their
  // command line, and " /AUTO" tells them that nobody is there to answer.
  std::wstring commandLine = L"\"" + file + L"\" \"" + InstallDir + L"\" " + switchText;
  if (Automatic) commandLine += L" /AUTO";
  try {
    // The dialog stays alive while the program runs: its messages flow
    // during the wait. What the program returns is its own business.
    const RefPtr<ITerminateObject> terminate = SyncObjectsProvider().CreateTerminateObjectWithCheck({}, {}, {});
    const bool started = ExecuteProgramProvider().ExecuteProgram(commandLine, smShowNormal, true, wmWaitForEnd, 1000,
                                                                 piNormal, terminate, {}, {}, 30000, {});
    // A start that failed without a reason still fails.
    if (!CheckOSResult(started, file)) Raise(SystemErrorMessage(ERROR_GEN_FAILURE) + L" (" + file + L")");
  } catch (...) {
    StatusCancelled(L" ", L" ", L" ", -1, cancel);
    throw;
  }
  StatusCancelled(L" ", L" ", L" ", -1, cancel);
  if (cancel != 0) Raise(FormatText(rsExecuteProgramInterrupted, {info}));
}

void TKvtSetup::Cleanup() {
  Archives.Clear();
  std::unique_ptr<TBackupArchive> backup = std::move(BackupArchive);
  try {
    if (backup) backup->Save();
  } catch (...) {
    ClearDirectory(WorkDir, true, true);
    throw;
  }
  ClearDirectory(WorkDir, true, true);
}

void TKvtSetup::CleanupQuietly() {
  try {
    Cleanup();
  } catch (const std::exception& e) {
    try {
      ReportMessage(mkError, ExceptionMessage(e));
    } catch (...) {
    }
  } catch (...) {
  }
}
