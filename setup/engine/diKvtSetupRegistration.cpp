// The registration records of an install and their removal: Start-menu
// shortcuts, OLE servers and help files, the update-file association, the
// folder's information tip, the Windows uninstall entry, instcfg.ini, the
// programs registration file and the station list.

#include <cwctype>
#include <limits>

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/ShTools.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/HelpFiles.h"
#include "setup/distribution/RegOleFiles.h"
#include "setup/distribution/RegTools.h"
#include "setup/engine/KvtDistr.h"
#include "setup/engine/ProfileFiles.h"
#include "setup/engine/diDistrParams.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

#include <ole2.h>

namespace {

constexpr std::size_t MaxUninstallComment = 80;

const wchar_t* const InfoTipSection = L".ShellClassInfo";
const wchar_t* const InfoTipAnsiSection = L".ShellClassInfo.A";
const wchar_t* const InfoTipWideSection = L".ShellClassInfo.W";
const wchar_t* const InfoTipKey = L"InfoTip";

bool SameText(const std::wstring& a, const std::wstring& b) { return UpperCaseText(a) == UpperCaseText(b); }

// A decimal number of digits only; 0 for anything else or on overflow.
std::uint32_t VersionPart(const std::wstring& text) {
  if (text.empty()) return 0;
  std::uint64_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return 0;
    value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    if (value > std::numeric_limits<std::int32_t>::max()) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

// The text as UTF-7, which is plain ASCII: the form Explorer reads from a
// desktop.ini that the profile functions wrote in the ANSI code page.
std::wstring Utf7Text(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF7, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  if (size <= 0) return {};
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF7, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  return std::wstring(bytes.begin(), bytes.end());
}

std::wstring LocalDateText() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  wchar_t text[16];
  swprintf(text, 16, L"%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  return text;
}

void ClearReadOnly(const std::wstring& path) {
  IPlatformTools& tools = PlatformTools();
  const std::uint32_t attributes = tools.GetFileAttributes(path);
  if (attributes != InvalidFileAttributes && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    tools.SetFileAttributes(path, attributes & ~static_cast<std::uint32_t>(FILE_ATTRIBUTE_READONLY));
}

void AddAttributes(const std::wstring& path, std::uint32_t added) {
  IPlatformTools& tools = PlatformTools();
  const std::uint32_t attributes = tools.GetFileAttributes(path);
  if (attributes != InvalidFileAttributes) tools.SetFileAttributes(path, attributes | added);
}

std::wstring ProgramsIniFile() { return ProfileFullPath(DistrParameters().ProgramsIniFileName); }

// An existing association keeps working when its command runs an existing
// program with the file name quoted after it.
bool AssociationPointsAtSetup(const std::wstring& ext, const std::wstring& key) {
  std::wstring current, command;
  if (!RegReadString(RegistryRoot::ClassesRoot, ext, L"", L"", current) || !SameText(current, key)) return false;
  if (!RegReadString(RegistryRoot::ClassesRoot, key + L"\\shell\\open\\command", L"", L"", command)) return false;
  const std::size_t blank = command.find(L' ');
  if (blank == std::wstring::npos || blank + 1 >= command.size()) return false;
  return PlatformTools().FileExists(command.substr(0, blank)) && command[blank + 1] == L'"';
}

// The association serves another installation while its command runs that
// one's existing program: removing ours must not take it away.
bool AssociationServesAnother(const std::wstring& key, const std::wstring& ownProgram) {
  std::wstring command;
  if (!RegReadString(RegistryRoot::ClassesRoot, key + L"\\shell\\open\\command", L"", L"", command)) return false;
  const std::wstring argument = L" \"%1\"";
  std::wstring program;
  if (command.size() > argument.size() && command.compare(command.size() - argument.size(), argument.size(), argument) == 0)
    program = command.substr(0, command.size() - argument.size());
  else
    program = command.substr(0, command.find(L' '));
  return !SameText(program, ownProgram) && PlatformTools().FileExists(program);
}

}  // namespace

std::wstring UninstallEntryKey(const std::wstring& registrationName) {
  return std::wstring(UninstallListKey) + L"\\" + registrationName;
}

std::vector<std::wstring> RenewFileExtensions(const std::wstring& ext) {
  std::vector<std::wstring> extensions{ext};
  const std::wstring stem = ext.substr(0, 3);
  for (wchar_t digit = L'1'; digit <= L'9'; ++digit) extensions.push_back(stem + digit);
  return extensions;
}

std::pair<std::uint32_t, std::uint32_t> VersionNumbers(const std::wstring& version) {
  const std::size_t dot = version.find(L'.');
  const std::uint32_t major = VersionPart(version.substr(0, dot));
  if (dot == std::wstring::npos) return {major, 0};
  const std::size_t next = version.find(L'.', dot + 1);
  const std::size_t length = next == std::wstring::npos ? std::wstring::npos : next - dot - 1;
  return {major, VersionPart(version.substr(dot + 1, length))};
}

void TKvtSetup::ReportRegistrationStatus(const std::wstring& title, const std::wstring& text1,
                                         const std::wstring& text2, std::int32_t percent) {
  if (!OnStatus) return;
  std::uint8_t cancel = 0;
  OnStatus(title, text1, text2, percent, cancel);
}

void TKvtSetup::ReloadInstalledSetupIni() {
  if (RunningFromInstalled)
    SetupIni = std::make_unique<TSetupIniFile>(StagedSetupIni.empty() ? SetupDir + L"Setup.ini" : StagedSetupIni);
}

bool TKvtSetup::CaptionCarriedByAnother(const std::wstring& caption, const TProgramLstFileItem& item) const {
  for (int i = 0; i < ShortcutItems.Count(); ++i) {
    const TProgramLstFileItem* other = ShortcutItems.Objects(i);
    if (other != &item && other->NormalizedCaption() == caption) return true;
  }
  return false;
}

void TKvtSetup::CreateShortcuts() {
  if (NoShortcuts) return;
  for (int i = 0; i < ShortcutItems.Count(); ++i) {
    const TProgramLstFileItem* item = ShortcutItems.Objects(i);
    const std::wstring caption = item->NormalizedCaption();
    try {
      if (item->CaptionChanged(item->Previous)) {
        // The item that now carries the old caption makes that shortcut
        // itself: deleting it after that item ran would lose it.
        const std::wstring old = item->Previous->NormalizedCaption();
        if (!old.empty() && !CaptionCarriedByAnother(old, *item)) DeleteProgramsShortcut(TargetGroup, old);
      }
      if (!caption.empty())
        CheckOSResult(CreateProgramsShortcut(TargetGroup, caption, item->LocalPath, item->GetValue(L"Params")),
                      ProgramsShortcutFile(TargetGroup, caption));
    } catch (const std::exception& e) {
      ReportMessage(mkError, FormatText(rsShortcutCreateError, {caption, ExceptionMessage(e)}));
    }
  }
}

void TKvtSetup::RegisterItems(const TProgramLstFileItems& items, const std::wstring& title,
                              const std::wstring& errorFormat,
                              const std::function<void(const TProgramLstFileItem&)>& registerItem) {
  ReportRegistrationStatus(title, L" ", L" ", 0);
  const int count = items.Count();
  for (int i = 0; i < count; ++i) {
    const TProgramLstFileItem& item = *items.Objects(i);
    ReportRegistrationStatus(title, item.LocalPath, L"", -1);
    try {
      registerItem(item);
    } catch (const std::exception& e) {
      ReportMessage(mkError, FormatText(errorFormat, {item.LocalPath, ExceptionMessage(e)}));
    }
    ReportRegistrationStatus(title, L"", L"", (i + 1) * 100 / count);
  }
  ReportRegistrationStatus(L" ", L" ", L" ", 100);
}

void TKvtSetup::RegisterOleFiles() {
  if (OleItems.Empty()) return;
  // Undone on every way out, a raised error message included.
  struct OleScope {
    bool Initialized = SUCCEEDED(::OleInitialize(nullptr));
    ~OleScope() {
      if (Initialized) ::OleUninitialize();
    }
  } ole;
  RegisterItems(OleItems, rsRegOleFiles, rsRegOleFileError,
                [](const TProgramLstFileItem& item) { RegisterOleFile(item.LocalPath); });
}

void TKvtSetup::RegisterHelpFiles() {
  if (HelpItems.Empty()) return;
  RegisterItems(HelpItems, rsHelpFileRegistration, rsHelpFileRegistrationError,
                [](const TProgramLstFileItem& item) { RegisterHelpFile(item.LocalPath, item.IsOutside()); });
}

void TKvtSetup::RegisterFileAssociation() {
  const std::wstring ext = DistrParameters().ProgramRenewFileExtension;
  const std::wstring key = DistrParameters().ProgramRenewFileKeyName;
  // Empty names would write the values of the classes root itself.
  if (ext.empty() || key.empty()) return;
  if (AssociationPointsAtSetup(ext, key)) return;
  const std::wstring setupProgram = InstallDir + L"setup.exe";
  const auto root = RegistryRoot::ClassesRoot;
  for (const std::wstring& extension : RenewFileExtensions(ext)) RegWriteString(root, extension, L"", key);
  RegWriteString(root, key, L"", FormatText(rsRenewFileComment, {ProductName1}));
  RegWriteString(root, key + L"\\DefaultIcon", L"", setupProgram + L",1");
  RegWriteString(root, key + L"\\shell\\open\\command", L"", setupProgram + L" \"%1\"");
}

void TKvtSetup::WriteFolderInfoTip() {
  const std::wstring tip = FormatText(rsProgramInfoTip, {ProductName1, Version});
  const std::wstring wideTip = Utf7Text(tip);
  const std::wstring file = InstallDir + L"desktop.ini";
  IPlatformTools& tools = PlatformTools();
  const bool written = tools.FileExists(file) && ReadProfileString(file, InfoTipSection, InfoTipKey, L"") == tip &&
                       ReadProfileString(file, InfoTipWideSection, InfoTipKey, L"") == wideTip;
  if (!written) {
    try {
      ClearReadOnly(file);
      WriteAnsiProfileString(file, InfoTipSection, InfoTipKey, tip);
      WriteAnsiProfileString(file, InfoTipAnsiSection, InfoTipKey, tip);
      WriteAnsiProfileString(file, InfoTipWideSection, InfoTipKey, wideTip);
    } catch (const std::exception&) {
      // The tip is a nicety: an install never fails for it.
    }
  }
  // Explorer reads desktop.ini only in a read-only folder. Set also when the
  // tip was already written: a run stopped between the tip and these
  // attributes is completed by the next one.
  AddAttributes(ExcludeTrailingBackslash(InstallDir), FILE_ATTRIBUTE_READONLY);
  AddAttributes(file, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

void TKvtSetup::WriteUninstallEntry() {
  const std::wstring uninstall = InstallDir + L"SETUP.EXE";
  RemoveStaleUninstallEntries(RegistrationName, uninstall);
  const std::wstring key = UninstallEntryKey(RegistrationName);
  const auto root = RegistryRoot::LocalMachine;
  RegWriteString(root, key, L"DisplayName", ProductName1);
  RegWriteString(root, key, L"UninstallString", uninstall);
  RegWriteStrings(root, key,
                  {{L"Comments", Comments.substr(0, MaxUninstallComment)},
                   {L"DisplayIcon", MainFile.empty() ? uninstall : InstallDir + MainFile},
                   {L"DisplayVersion", Version},
                   {L"Publisher", Publisher},
                   {L"HelpLink", HelpLink},
                   {L"URLUpdateInfo", URLUpdateInfo},
                   {L"HelpTelephone", HelpTelephone},
                   {L"InstallDate", LocalDateText()},
                   {L"InstallLocation", InstallDir},
                   {L"URLInfoAbout", URLInfoAbout}});
  const auto [major, minor] = VersionNumbers(Version);
  if (major == 0) return;
  RegWriteDword(root, key, L"VersionMajor", major);
  RegWriteDword(root, key, L"VersionMinor", minor);
}

void TKvtSetup::WriteInstCfg() {
  const std::wstring file = InstallDir + L"instcfg.ini";
  ClearReadOnly(file);
  WriteProfileString(file, ProductSection, L"Options", L"* REDISTR");
  WriteProfileString(file, ProductSection, L"Distr", ExcludeTrailingBackslash(DistrDir));
  // Read back as this installation's registration name: a second
  // installation (JOM1) must find its own entries again.
  WriteProfileString(file, ProductSection, L"SectionName", RegistrationName);
  WriteProfileString(file, ProductSection, L"GroupName", TargetGroup);
  SyncInstCfgFlags();
}

void TKvtSetup::SyncInstCfgFlags() {
  const std::wstring file = InstallDir + L"instcfg.ini";
  const std::pair<const wchar_t*, bool> flags[] = {{L"BackupFiles", BackupFiles},
                                                   {L"KvtRenewService", KvtRenewService}};
  for (const auto& [name, value] : flags) {
    if (ReadProfileBool(file, ProductSection, name, false) != value)
      WriteProfileString(file, ProductSection, name, value ? L"1" : L"0");
  }
}

void TKvtSetup::RegisterInProgramsIni() {
  try {
    ReloadInstalledSetupIni();
    const std::wstring file = ProgramsIniFile();
    WriteProfileString(file, RegistrationName, L"InstallPath", ExcludeTrailingBackslash(InstallDir));
    WriteProfileString(file, RegistrationName, L"ProductID", ProductSection);
    WriteProfileString(file, RegistrationName, L"Distr", ExcludeTrailingBackslash(DistrDir));
    WriteProfileString(file, RegistrationName, L"Version",
                       SetupIni ? SetupIni->ReadString(ProductSection, L"Version", L"") : Version);
  } catch (const std::exception& e) {
    ReportMessage(mkWarning, ExceptionMessage(e));
  }
}

void TKvtSetup::WriteStationEntry() {
  try {
    ReloadInstalledSetupIni();
    const std::wstring computer = PlatformTools().GetComputerName();
    if (computer.empty()) return;
    const std::wstring file = InstallDir + L"instcfg.ini";
    ClearReadOnly(file);
    WriteProfileString(file, L"StationSetup", computer,
                       SetupIni ? SetupIni->ReadString(ProductSection, L"Version", L"") : Version);
  } catch (const std::exception& e) {
    ReportMessage(mkWarning, ExceptionMessage(e));
  }
}

void TKvtSetup::UnregisterFileAssociation() {
  const std::wstring ext = DistrParameters().ProgramRenewFileExtension;
  const std::wstring key = DistrParameters().ProgramRenewFileKeyName;
  // Without a class name every extension without a default value would match.
  if (key.empty() || AssociationServesAnother(key, InstallDir + L"setup.exe")) return;
  const auto root = RegistryRoot::ClassesRoot;
  RegDeleteKeyTree(root, key);
  if (ext.empty()) return;
  for (const std::wstring& extension : RenewFileExtensions(ext)) {
    std::wstring current;
    if (RegReadString(root, extension, L"", L"", current) && SameText(current, key)) RegDeleteKeyTree(root, extension);
  }
}

void TKvtSetup::DeleteUninstallEntry() {
  if (RegistrationName.empty()) return;
  PlatformTools().DeleteRegistryKey(RegistryRoot::LocalMachine, UninstallEntryKey(RegistrationName));
}

void TKvtSetup::UnregisterFromProgramsIni() {
  if (RegistrationName.empty()) return;
  try {
    const std::wstring file = ProgramsIniFile();
    if (PlatformTools().FileExists(file)) EraseProfileSection(file, RegistrationName);
  } catch (const std::exception& e) {
    ReportMessage(mkWarning, ExceptionMessage(e));
  }
}
