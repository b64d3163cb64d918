#include "setup/engine/diKvtSetup.h"

#include <filesystem>
#include <system_error>

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/Tempdir.h"
#include "setup/engine/ProfileFiles.h"
#include "setup/engine/diDistrParams.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {

bool FileExists(const std::wstring& path) { return PlatformTools().FileExists(path); }

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

std::wstring EngineWorkDir() {
  StartTempDirectory();
  return TempDirectoryPath + L"DI\\";
}

TKvtSetup::TKvtSetup(const std::wstring& folder) {
  if (!TrimText(folder).empty()) {
    SetupDir = IncludeTrailingBackslash(folder);
    if (FileExists(SetupDir + L"instcfg.ini")) {
      RunningFromInstalled = true;
      KeepUserSettings = true;
      SetInstallDir(SetupDir);
    }
  }
  WorkDir = EngineWorkDir();
  ForceDirectoriesQuiet(WorkDir);  // a failure shows in the file operations that need the folder
}

void TKvtSetup::SetInstallDir(const std::wstring& folder) {
  InstallDir = IncludeTrailingBackslash(folder);
  DistrDir = InstallDir + L"DISTR\\";
}

bool TKvtSetup::CheckSetupDir() {
  if (TrimText(SetupDir).empty()) throw Exception(rsInstallDirectoryNotSpecified);
  if (!PlatformTools().DirectoryExists(SetupDir)) throw Exception(FormatText(rsInstallDirectoryNotFound, {SetupDir}));
  return true;
}

bool TKvtSetup::ReadSetupIni(bool reload) {
  if (SetupIni && !reload) return true;
  const std::wstring path = StagedSetupIni.empty() ? SetupDir + L"Setup.ini" : StagedSetupIni;
  if (!FileExists(path)) throw Exception(FormatText(rsFileNotFound, {path}));
  SetupIni = std::make_unique<TSetupIniFile>(path);
  ProductSection = TrimText(SetupIni->ReadString(L"Products", L"Product1", L""));
  bool valid = false;
  if (!ProductSection.empty() && SetupIni->SectionExists(ProductSection)) {
    ReadProductKeys();
    RegistrationName = ProductSection;
    valid = !ProductName1.empty() && !Version.empty() && !FilesLst.empty();
  }
  if (!valid) throw Exception(FormatText(rsSetupIniInvalidFormat, {path}));
  if (RunningFromInstalled) {
    SetInstallDir(SetupDir);
    ReadInstCfg();
  }
  return true;
}

bool TKvtSetup::LoadFileList() {
  if (FileList) return true;
  const std::wstring path = SetupDir + FilesLst;
  if (!FileExists(path)) throw Exception(FormatText(rsFileNotFound, {path}));
  auto list = std::make_unique<TProgramLstFile>();
  list->LoadFromFile(path, true, true);
  // Its own item does not count: a list that names no file is empty.
  if (list->Count() <= 1) throw Exception(FormatText(rsFileListIsEmpty, {path}));
  FileList = std::move(list);
  if (RunningFromInstalled) return true;
  for (const wchar_t* name : {L"packing.lst", L"packing.144"}) {
    if (FileExists(SetupDir + name)) {
      PackingList = std::make_unique<TProgramLstFile>(SetupDir + name);
      break;
    }
  }
  return true;
}

void TKvtSetup::ReadProductKeys() {
  const TSetupIniFile& ini = *SetupIni;
  const std::wstring& s = ProductSection;
  TargetGroup = ini.ReadString(s, L"TargetGroup", L"KVT");
  AfterInstall = ini.ReadString(s, L"AfterInstall", L"");
  AfterInstallInfo = ini.ReadString(s, L"AfterInstallInfo", rsExecuteProgramAfterInstall);
  BeforeDelete = ini.ReadString(s, L"BeforeDelete", L"");
  BeforeDeleteInfo = ini.ReadString(s, L"BeforeDeleteInfo", rsExecuteProgramBeforeDelete);
  BeforeInstall = ini.ReadString(s, L"BeforeInstall", L"");
  BeforeInstallInfo = ini.ReadString(s, L"BeforeInstallInfo", rsExecuteProgramBeforeInstall);
  MainFile = ini.ReadString(s, L"MainFile", L"");
  Comments = ini.ReadString(s, L"Comments", L"");
  ProductName1 = ini.ReadString(s, L"ProductName1", L"");
  Version = ini.ReadString(s, L"Version", L"");
  FilesLst = ini.ReadString(s, L"FilesLst", L"");
  Tmpl = ini.ReadString(s, L"Tmpl", L"");
  Url = ini.ReadString(s, L"Url", L"");
  Publisher = ini.ReadString(s, L"Publisher", L"");
  HelpTelephone = ini.ReadString(s, L"HelpTelephone", L"");
  URLInfoAbout = ini.ReadString(s, L"URLInfoAbout", L"");
  HelpLink = ini.ReadString(s, L"HelpLink", Url);
  URLUpdateInfo = ini.ReadString(s, L"URLUpdateInfo", Url);
}

void TKvtSetup::ReadInstCfg() {
  // Absolute: the profile functions would look for a relative name in the
  // Windows folder.
  const std::wstring file = ProfileFullPath(InstallDir + L"InstCfg.ini");
  RegistrationName = ReadProfileString(file, ProductSection, L"SectionName", ProductSection);
  TargetGroup = ReadProfileString(file, ProductSection, L"GroupName", TargetGroup);
  BackupFiles = ReadProfileBool(file, ProductSection, L"BackupFiles", false);
  KvtRenewService = ReadProfileBool(file, ProductSection, L"KvtRenewService", false);
}

std::wstring TKvtSetup::FindRegistrationName() {
  const std::wstring file = ProfileFullPath(DistrParameters().ProgramsIniFileName);
  for (unsigned i = 0;; ++i) {
    const std::wstring name = i == 0 ? ProductSection : ProductSection + std::to_wstring(i);
    if (!ProfileSectionExists(file, name)) return name;
    // A section without "InstallPath" names the root "\", which exists: it
    // is taken, not free.
    const std::wstring path = IncludeTrailingBackslash(TrimText(ReadProfileString(file, name, L"InstallPath", L"")));
    if (!PlatformTools().DirectoryExists(path) || SameFolder(path, InstallDir)) return name;
  }
}

void TKvtSetup::ReportMessage(std::int32_t kind, const std::wstring& text) {
  if (OnMessage) {
    OnMessage(kind, text);
  } else if (kind == 0) {
    throw Exception(text);
  }
}

void TKvtSetup::ReportStatus(const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                             std::int32_t percent) {
  if (!OnStatus) return;
  OnStatus(title, text1, text2, percent, Cancel);
  if (Cancel != 0) throw EAbort();
}

std::int32_t TKvtSetup::Ask(const std::wstring& text, std::uint32_t flags) {
  if (OnQuestion) return OnQuestion(rsSetupProgram, text, flags);
  return GuiTools().MessageBox(text, flags, FormatText(rsSetupProgramName, {ProductName1}));
}
