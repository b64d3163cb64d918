#pragma once
// The installation session: one object per ExecuteSetupFunction call. It
// reads the kit's setup.ini and an installed copy's instcfg.ini, and reports
// messages, progress and questions through the callbacks its caller
// connects.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "setup/distribution/KvtSetupLstFile.h"
#include "setup/engine/SetupIniFile.h"
#include "setup/engine/diExceptions.h"

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

  std::uint8_t Cancel = 0;
  std::wstring AfterInstall, AfterInstallInfo;
  bool Automatic = false;
  bool BackupFiles = false;
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
};

// The engine's work folder: "DI\" in the process's own folder under the
// temporary folder (removed when the process ends), with a trailing backslash.
std::wstring EngineWorkDir();
