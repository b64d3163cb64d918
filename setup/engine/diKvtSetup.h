#pragma once
// The installation session: one object per ExecuteSetupFunction call. It
// reads the kit's setup.ini and an installed copy's instcfg.ini, and reports
// messages, progress and questions through the callbacks its caller
// connects.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "setup/distribution/KvtSetupLstFile.h"
#include "setup/engine/ProfileFiles.h"
#include "setup/engine/SetupIniFile.h"
#include "setup/engine/diArchiveList.h"
#include "setup/engine/diBackupArchive.h"
#include "setup/engine/diExceptions.h"

struct TInstallParams;

// The user skipped one file (the ignore button): the install loop turns it
// into a warning and goes on.
class EIgnore : public Exception {
public:
  EIgnore() : Exception(std::wstring()) {}
};

using TSessionMessage = std::function<void(std::int32_t kind, const std::wstring& text)>;
using TSessionStatus = std::function<void(const std::wstring& title, const std::wstring& text1,
                                          const std::wstring& text2, std::int32_t percent, std::uint8_t& cancel)>;
using TSessionQuestion =
    std::function<std::int32_t(const std::wstring& caption, const std::wstring& text, std::uint32_t flags)>;

// Where an install takes one file from: a file of the kit, or a temporary
// one (extracted, joined or staged) that is deleted once copied.
struct TSourceFile {
  std::wstring Path;
  bool IsTemporary = false;
};

class TKvtSetup {
public:
  // A session on folder (the kit, or an installed copy when it holds
  // "instcfg.ini"); creates the work folder.
  explicit TKvtSetup(const std::wstring& folder);
  TKvtSetup(const TKvtSetup&) = delete;
  TKvtSetup& operator=(const TKvtSetup&) = delete;

  // Reads SetupDir's setup.ini (once unless reload); raises rsFileNotFound
  // or rsSetupIniInvalidFormat. From an installed copy also reads instcfg.ini.
  bool ReadSetupIni(bool reload);
  // Loads SetupDir's program list (once; the list's own file becomes its
  // last item) and, for a kit, its packing list; raises rsFileNotFound or
  // rsFileListIsEmpty.
  bool LoadFileList();
  // Raises when SetupDir is not given or does not exist; else true.
  bool CheckSetupDir();
  // InstallDir = folder with a trailing backslash; DistrDir below it.
  void SetInstallDir(const std::wstring& folder);
  // Reads InstallDir's instcfg.ini into RegistrationName, TargetGroup,
  // BackupFiles and KvtRenewService (missing keys keep their defaults).
  void ReadInstCfg();
  // The first free section name for this installation in the programs
  // registration file: ProductSection, then ProductSection + 1, 2, ...
  std::wstring FindRegistrationName();

  // An mkError message without OnMessage raises instead.
  void ReportMessage(std::int32_t kind, const std::wstring& text);
  // Progress; raises EAbort when the callee sets Cancel.
  void ReportStatus(const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                    std::int32_t percent);
  // A question with message-box flags; returns the pressed button.
  std::int32_t Ask(const std::wstring& text, std::uint32_t flags);

  // sfInstall: refuses a record whose Size is outside 16..64, then installs
  // from the kit into the record's folder and group.
  void InstallWithParams(const TInstallParams* params);
  // Installs the kit in SetupDir into folder (refused when empty, a root or
  // a special folder); a non-empty group replaces the kit's program group.
  void InstallFromKit(const std::wstring& folder, const std::wstring& group);
  // sfStationSetup: registers the installed copy in SetupDir on this
  // computer (system files, shortcuts, OLE and help files, the records).
  void InstallStation();
  // The pipeline shared by install, update and station setup: questions and
  // locked files, the program run before, the backup, the copy and deletion
  // of FilesToProcess, the registrations and the program run after. The
  // work folder and the archives are cleaned up on every path.
  void InstallProgram(bool stationMode);

  // Steps of InstallProgram.
  void PrepareInstall();
  // An installed copy of this product in InstallDir: asks whether to keep
  // the user's settings (automatic mode keeps them), notes the versions and
  // may offer a kit of the installed version; then waits for locked files.
  void CheckInstalledCopy();
  // Each "k" file of FileList that another program holds: automatic mode
  // raises messageFormat with its path, else asks to retry or cancel.
  void CheckLockedFiles(const std::wstring& messageFormat);
  // Offers to build a kit of the installed version before it is replaced.
  void OfferDistrBeforeUpgrade(bool onlyIfVersionDiffers);
  // Where a kit of this session's installed version goes ("MakeDistr" of
  // instcfg.ini, else <drive>\KVTDISTR\<product>\<version>).
  std::wstring GetDistrTargetDir();
  // Saves the installed list and every "R" file into the backup archive.
  void BackupUserFiles();
  // Adds an existing file to the backup archive under its path relative to
  // InstallDir; raises the interruption text when cancelled at its report.
  void BackupFile(const std::wstring& path);
  TSourceFile GetSourceFile(const TProgramLstFileItem& item);
  // The kit file name (or a joined split archive, or a file already in the
  // work folder); raises rsFileNotFound.
  std::wstring LocateSourceFile(const std::wstring& name);
  // The "Dsk" value the packing list gives the bare name; empty without one.
  std::wstring DiskLabelOf(const std::wstring& name);
  std::wstring DiskLabelFor(const TProgramLstFileItem& item);
  // Extracts fileName from the archive into WorkDir; returns the file.
  std::wstring ExtractFromArchive(const std::wstring& archive, const std::wstring& fileName);
  // Copies source over target: version-checked copies replace only an
  // older, unprotected file (a file in use at restart); with backup an
  // existing target of other content is saved first and an equal one left
  // alone. A failed copy raises in automatic mode, else asks to abort,
  // retry or skip (EIgnore).
  void CopyProgramFile(const std::wstring& source, const std::wstring& target, bool checkVersions, bool backup);
  // Runs file (when it exists) with the install folder and the switch and
  // waits for it while messages flow.
  void RunProgram(const std::wstring& file, const std::wstring& switchText, const std::wstring& info);
  // Closes the archives, writes the backup archive, empties WorkDir.
  void Cleanup();

  // Registration records of an install, in the order the install runs them.
  // Per-item failures of shortcuts, OLE and help files are error messages;
  // the programs registration file and the station entry only warn.
  // Start-menu shortcuts of ShortcutItems (none with NoShortcuts); a renamed
  // item's old shortcut goes unless another item now carries its caption.
  void CreateShortcuts();
  // Whether an item of ShortcutItems other than item has that caption now.
  bool CaptionCarriedByAnother(const std::wstring& caption, const TProgramLstFileItem& item) const;
  void RegisterOleFiles();
  void RegisterHelpFiles();
  // The update-file extensions open with this installation's setup.exe,
  // unless they already open with an existing one.
  void RegisterFileAssociation();
  // desktop.ini of InstallDir with the product's information tip; errors
  // are ignored.
  void WriteFolderInfoTip();
  // The entry in the Windows list of installed programs, after removing
  // stale entries of this framework.
  void WriteUninstallEntry();
  // instcfg.ini of InstallDir, which marks the folder as an installed copy;
  // raises EOSError when it cannot be written.
  void WriteInstCfg();
  // Writes BackupFiles and KvtRenewService into instcfg.ini where they
  // differ from the stored values.
  void SyncInstCfgFlags();
  void RegisterInProgramsIni();
  // [StationSetup] of instcfg.ini: this computer's installed version.
  void WriteStationEntry();

  // sfUninstall: after the confirmations, the program run before and the
  // locked-file check, removes the shortcuts (and, with "UnregOleFiles", the
  // OLE registrations), the program folder unless it lies on a network or
  // is a drive root or special folder (a warning says so), and the records.
  void UninstallProgram();
  // Steps of UninstallProgram. A server that cannot be unregistered is an
  // error message and the next item follows.
  void RemoveShortcutsAndOleServers(bool unregisterOle);
  // The program folder with everything below it; what cannot be deleted
  // stays silently.
  void DeleteProgramFolder();

  // Removal steps of the uninstall: each removes what its install step
  // wrote, nothing of another product.
  void UnregisterFileAssociation();
  void DeleteUninstallEntry();
  void UnregisterFromProgramsIni();

  std::uint8_t Cancel = 0;
  std::wstring AfterInstall, AfterInstallInfo;
  TArchiveList Archives;
  bool Automatic = false;
  bool BackupFiles = false;
  std::unique_ptr<TBackupArchive> BackupArchive;
  // An update's setup.ini, not yet installed, and its staged file, which
  // the records read meanwhile (empty: SetupDir's setup.ini).
  TProgramLstFileItem* VersionFile = nullptr;
  std::wstring StagedSetupIni;
  std::wstring BeforeDelete, BeforeDeleteInfo, BeforeInstall, BeforeInstallInfo;
  std::wstring RegistrationName;
  bool KvtRenewService = false;
  bool NoShortcuts = false;
  std::wstring DistrDir;
  std::wstring TargetGroup = L"KVT";
  // The item lists refer to items owned by FileList or NewFileList.
  TProgramLstFileItems HelpItems;
  std::wstring InstallDir;
  TProgramLstFileItems FilesToProcess;
  std::wstring MainFile;
  TSessionMessage OnMessage;
  TProgramLstFileItems OleItems;
  TSessionQuestion OnQuestion;
  std::unique_ptr<TProgramLstFile> PackingList;
  std::wstring Comments, ProductSection, ProductName1, Version, OldVersion, NewVersion, FilesLst;
  std::unique_ptr<TProgramLstFile> FileList;
  std::unique_ptr<TProgramLstFile> NewFileList;
  std::wstring HelpLink, Publisher, HelpTelephone, Url, URLInfoAbout, URLUpdateInfo;
  TSessionStatus OnStatus;
  std::wstring Tmpl;
  bool KeepUserSettings = false;
  std::unique_ptr<TSetupIniFile> SetupIni;
  TProgramLstFileItems ShortcutItems;
  std::wstring SetupDir;
  std::wstring WorkDir;
  bool RunningFromInstalled = false;

private:
  void ReadProductKeys();
  // Reloads setup.ini of an installed copy, which an update has replaced.
  void ReloadInstalledSetupIni();
  // Progress of the registration steps, which do not stop on cancel.
  void ReportRegistrationStatus(const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                                std::int32_t percent);
  // Registers each item with progress; a failure is one error message
  // (errorFormat with the file and the reason) and the next item follows.
  void RegisterItems(const TProgramLstFileItems& items, const std::wstring& title, const std::wstring& errorFormat,
                     const std::function<void(const TProgramLstFileItem&)>& registerItem);
  void OpenBackupArchive();
  // Copies one item; an install that must stop raises rsInstallFileError.
  void InstallItem(TProgramLstFileItem& item, bool stationMode);
  // Extracts a kit item of an archive straight into destination when no
  // file is there yet; false (nothing left behind) when it cannot be.
  bool ExtractInPlace(const TProgramLstFileItem& item, const std::wstring& destination);
  void CopyFiles(bool stationMode, std::uint8_t& cancel);
  // FilesToProcess in the order the copy loop takes them.
  std::vector<TProgramLstFileItem*> CopyOrder() const;
  // Copies source onto target through a file beside it that replaces target
  // by a rename: a copy that fails half-way leaves the old file whole. False
  // (with the reason as the last error, nothing left beside) on failure.
  bool CopyThroughTemporary(const std::wstring& source, const std::wstring& target);
  // The temporary name beside target, never the path of a listed file.
  std::wstring TemporaryCopyName(const std::wstring& target) const;
  void DeleteRemovedFiles(std::uint8_t& cancel);
  void FinishInstall();
  // Installs an update's setup.ini, which CopyFiles left for the very end:
  // it names the installed version, and a copy that still names the old
  // one takes the same update again after a run stopped at any point.
  void InstallVersionFile();
  // Progress with a cancel byte of the caller's; true when it is set.
  bool StatusCancelled(const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                       std::int32_t percent, std::uint8_t& cancel);
  // Cleanup on a failure path: it reports instead of raising.
  void CleanupQuietly();
};

// The key of the installation's entry in the Windows list of installed
// programs (below HKEY_LOCAL_MACHINE).
std::wstring UninstallEntryKey(const std::wstring& registrationName);
// The update-file extensions of ext: ext itself, then its first three
// characters followed by 1 to 9 (".prf": ".pr1" to ".pr9").
std::vector<std::wstring> RenewFileExtensions(const std::wstring& ext);
// The "VersionMajor" / "VersionMinor" numbers of a version text: its first
// two "."-separated parts as integers, 0 where a part is missing or not a
// number.
std::pair<std::uint32_t, std::uint32_t> VersionNumbers(const std::wstring& version);

// The engine's work folder: "DI\" in the process's own folder under the
// temporary folder (removed when the process ends), with a trailing backslash.
std::wstring EngineWorkDir();
