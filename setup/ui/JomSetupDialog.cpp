#include "setup/ui/JomSetupDialog.h"

#include <algorithm>
#include <cwctype>
#include <thread>

#include "platform/AclApi.h"
#include "platform/CommandLine.h"
#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/ShTools.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
// after Win.h: needs <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include "setup/distribution/RegTools.h"
#include "setup/engine/ProfileFiles.h"
#include "setup/engine/SetupIniFile.h"
#include "setup/main/AfterUninstall.h"
#include "setup/main/DesktopShortcut.h"
#include "setup/main/SetupLog.h"
#include "setup/main/SetupRelaunch.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/messages/SystemRuntimeMessages.h"
#include "setup/messages/XilSetupRuntimeMessages.h"
#include "setup/ui/GdiPlus.h"
#include "setup/ui/GdiTools.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {

constexpr int FullTemplate = 102;
constexpr int ProgressTemplate = 103;
// The message the dialog posts itself once it shows, to start the update of
// "/RNW" or the unattended installation.
constexpr UINT StartMessage = WM_USER + 100;
constexpr WPARAM StartWParam = 4900;
constexpr LPARAM StartLParam = 21607;
constexpr DWORD DataFolderRights = 0x001301FF;
constexpr DWORD ServicePendingTimeoutMs = 30000;
constexpr DWORD WineProgramWaitMs = 10000;
constexpr wchar_t ServiceName[] = L"JomService";

enum : int {
  IdIcon = 200, IdTitle = 201, IdDrive = 250, IdFolder = 251, IdGroup = 252, IdStep = 253, IdFile = 254,
  IdProgress = 255, IdInstall = 300, IdExit = 301, IdUpdate = 302, IdCheck = 303, IdBuild = 304,
  IdUninstall = 305, IdSelect = 306, IdShortcut = 350, IdLine1 = 351, IdLine2 = 208, IdMessages = 400,
  IdLabelDirectory = 500, IdLabelGroup = 501, IdLabelRunning = 502, IdLabelFile = 503, IdLabelProgress = 504,
};

// Only one free-space pass of the process runs at a time.
std::atomic<bool> SpacePassBusy{false};

// True when a backslash followed by name (any letter case) ends a folder
// name of path: "TavrelData" does not hold the component "Tavrel".
bool HasComponent(const std::wstring& path, const std::wstring& name) {
  const std::wstring upperPath = UpperCaseText(path);
  const std::wstring needle = L"\\" + UpperCaseText(name);
  for (std::size_t at = upperPath.find(needle); at != std::wstring::npos; at = upperPath.find(needle, at + 1)) {
    const std::size_t end = at + needle.size();
    if (end == upperPath.size() || upperPath[end] == L'\\') return true;
  }
  return false;
}

bool BeginsWithTwoBackslashes(const std::wstring& path) { return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\'; }

std::wstring ReplaceAll(std::wstring text, const std::wstring& what, const std::wstring& with) {
  for (std::size_t at = 0; (at = text.find(what, at)) != std::wstring::npos; at += with.size()) {
    text.replace(at, what.size(), with);
  }
  return text;
}

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

// Megabytes with thousands separators, as the user's locale writes them.
std::wstring FormatMegabytes(ULONGLONG bytes) {
  const std::wstring digits = std::to_wstring(bytes / 1048576);
  std::wstring out;
  wchar_t separator[8] = L" ";
  ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

bool FontInstalled(const std::wstring& face) {
  struct Search {
    std::wstring Face;
    bool Found = false;
  } search{face};
  LOGFONTW font{};
  font.lfCharSet = DEFAULT_CHARSET;
  HDC dc = ::GetDC(nullptr);
  ::EnumFontFamiliesExW(
      dc, &font,
      [](const LOGFONTW* found, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
        auto* s = reinterpret_cast<Search*>(data);
        if (::CompareStringOrdinal(found->lfFaceName, -1, s->Face.c_str(), -1, TRUE) == CSTR_EQUAL) {
          s->Found = true;
          return 0;
        }
        return 1;
      },
      reinterpret_cast<LPARAM>(&search), 0);
  ::ReleaseDC(nullptr, dc);
  return search.Found;
}

HIMAGELIST BuildImageList(int size, int firstIcon, int count) {
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, count, 0);
  for (int i = 0; i < count; ++i) {
    HICON icon = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(firstIcon + i), IMAGE_ICON, size, size, 0));
    ImageList_ReplaceIcon(list, -1, icon);
    if (icon) ::DestroyIcon(icon);
  }
  return list;
}

bool HasWineSwitch() {
  for (const std::wstring& arg : SplitCommandLine(::GetCommandLineW())) {
    if (arg.size() == 5 && (arg[0] == L'/' || arg[0] == L'-') && SameTextAscii(arg.substr(1), L"WINE")) return true;
  }
  return false;
}

std::wstring AppImageSwitch() {
  for (const std::wstring& arg : SplitCommandLine(::GetCommandLineW())) {
    if (arg.size() > 10 && (arg[0] == L'/' || arg[0] == L'-') && SameTextAscii(arg.substr(1, 9), L"APPIMAGE=")) {
      return arg.substr(10);
    }
  }
  return {};
}

void CALLBACK OnEngineMessage(int32_t kind, const wchar_t* text, void* data) {
  static_cast<TJomSetupDialog*>(data)->AddMessage(kind, text ? text : L"");
}

void CALLBACK OnEngineStatus(const wchar_t* title, const wchar_t* text1, const wchar_t*, int32_t percent, uint8_t*,
                             void* data) {
  static_cast<TJomSetupDialog*>(data)->ShowStatus(title ? title : L"", text1 ? text1 : L"", percent);
}

}  // namespace

std::wstring SetupFunctionName(int function) {
  switch (function) {
    case sfInstall: return rsProgramInstallation;
    case sfUpdate: return rsProgramMaintenance;
    case sfCheck: return rsProgramCheckProgram;
    case sfBuildKit: return rsProgramBuildDistributionKit;
    case sfStationSetup: return rsProgramStationSetup;
    case sfUninstall: return rsProgramUninstall;
    default: return {};
  }
}

std::wstring ServiceProgramFile(const std::wstring& binaryPath,
                               const std::function<bool(const std::wstring&)>& fileExists) {
  const std::wstring text = TrimText(ExpandedText(binaryPath));
  // A quoted program name ends at its closing quote, whatever arguments
  // follow ("C:\Program Files\Tavrel\jomsvc.exe" -service).
  if (!text.empty() && text.front() == L'"') {
    const std::size_t close = text.find(L'"', 1);
    if (close != std::wstring::npos) return text.substr(1, close - 1);
  }
  std::wstring program = TrimText(text.substr(0, text.find(L'/')));
  if (program.size() >= 2 && program.front() == L'"' && program.back() == L'"') {
    program = program.substr(1, program.size() - 2);
  }
  if (program.empty() || fileExists(program)) return program;
  // Unquoted with blanks: the first part up to a blank that names a file,
  // as the service manager itself reads it (arguments may begin with "-").
  for (std::size_t blank = program.find(L' '); blank != std::wstring::npos; blank = program.find(L' ', blank + 1)) {
    const std::wstring candidate = TrimText(program.substr(0, blank));
    if (!candidate.empty() && fileExists(candidate)) return candidate;
  }
  return program;
}

std::wstring CompleteWithDefaultDir(const std::wstring& path, const std::wstring& defaultDir) {
  if (defaultDir.empty() || defaultDir == L"\\") return path;
  const std::wstring dir = ExcludeTrailingBackslash(defaultDir);
  const std::size_t slash = dir.rfind(L'\\');
  const std::wstring last = slash == std::wstring::npos ? dir : dir.substr(slash + 1);
  if (last.empty()) return path;
  if (HasComponent(path, last)) return path;
  std::wstring result = slash == std::wstring::npos ? path : CompleteWithDefaultDir(path, dir.substr(0, slash));
  return IncludeTrailingBackslash(result) + last;
}

TSetupInformation ReadSetupInformation(const std::wstring& setupDirectory, bool maintenance,
                                       const std::wstring& renewFile) {
  TSetupInformation info;
  info.SetupDirectory = IncludeTrailingBackslash(setupDirectory);
  info.Maintenance = maintenance;
  info.RenewFile = renewFile;
  const TSetupIniFile ini(info.SetupDirectory + L"setup.ini");
  const std::wstring product = TrimText(ini.ReadString(L"Products", L"Product1", L""));
  info.ProductName = ini.ReadString(product, L"ProductName1", L"");
  info.Comments = ini.ReadString(product, L"Comments", L"");
  info.Version = ini.ReadString(product, L"Version", L"");
  info.DefaultDir = ini.ReadString(product, L"DefaultDir", L"Tavrel");
  info.MainFile = ini.ReadString(product, L"MainFile", L"jom.exe");
  // The engine writes instcfg.ini with the profile functions (ANSI or
  // UTF-16), the kit's setup.ini is UTF-8.
  info.GroupName = maintenance
                       ? ReadProfileString(info.SetupDirectory + L"instcfg.ini", product, L"GroupName", L"Tavrel")
                       : ini.ReadString(product, L"GroupName", L"Tavrel");
  return info;
}

TJomSetupDialog::TJomSetupDialog(TSetupInformation information)
    : TDialog(nullptr, rsProgramInstallation, HasWineSwitch() ? ProgressTemplate : FullTemplate),
      Info(std::move(information)), WineMode(HasWineSwitch()), AppImagePath(AppImageSwitch()) {}

TJomSetupDialog::~TJomSetupDialog() {
  StopSpaceThread = true;
  if (SpaceThread) {
    ::WaitForSingleObject(SpaceThread, INFINITE);
    ::CloseHandle(SpaceThread);
  }
  if (SmallImages) ImageList_Destroy(SmallImages);
  if (LargeImages) ImageList_Destroy(LargeImages);
  if (HeaderPicture) DisposePicture(HeaderPicture);
}

void TJomSetupDialog::InitDialog() {
  TDialog::InitDialog();
  if (WineMode) {
    Progress = &WrapItem<TProgress>(IdProgress);
    ::SetDlgItemTextW(Window, IdLabelProgress, rsSetupDialogProgress.c_str());
  } else {
    InitFullLayout();
  }
  InitHeaderAndTitle();
  const std::wstring directory =
      Info.Maintenance ? Info.SetupDirectory
                       : CompleteWithDefaultDir(SpecialFolder(CSIDL_PROGRAM_FILESX86), Info.DefaultDir);
  SetInstallDirectory(directory);
}

void TJomSetupDialog::InitFullLayout() {
  const std::pair<int, const std::wstring*> texts[] = {
      {IdLabelDirectory, &rsSetupDialogInstallDirectory}, {IdLabelGroup, &rsSetupDialogProgramGroup},
      {IdLabelRunning, &rsSetupDialogRunning},           {IdLabelFile, &rsSetupDialogCurrentFile},
      {IdLabelProgress, &rsSetupDialogProgress},         {IdInstall, &rsSetupDialogInstall},
      {IdExit, &rsSetupDialogExit},                      {IdUpdate, &rsSetupDialogUpgrade},
      {IdCheck, &rsSetupDialogCheck},                    {IdBuild, &rsSetupDialogBuild},
      {IdUninstall, &rsSetupDialogUninstall},            {IdSelect, &rsSetupDialogSelect},
  };
  for (const auto& [id, text] : texts) ::SetDlgItemTextW(Window, id, text->c_str());
  ::SetDlgItemTextW(Window, IdShortcut, FormatText(rsSetupDialogCreateShortCut, {Info.ProductName}).c_str());

  SmallImages = BuildImageList(16, 2010, 7);
  LargeImages = BuildImageList(32, 2000, 6);
  AddStyle(WS_SYSMENU);

  const bool install = !Info.Maintenance;
  DriveBox = &WrapItem<TColorComboBox>(IdDrive);
  FolderEdit = &WrapItem<TColorEdit>(IdFolder);
  GroupBox = &WrapItem<TColorComboBox>(IdGroup);
  DriveBox->SetEnabled(install);
  FolderEdit->SetEnabled(install);
  GroupBox->SetEnabled(install);
  if (!install && GroupBox->InnerEdit()) ::ShowWindow(GroupBox->InnerEdit(), SW_HIDE);
  GroupBox->SetText(Info.GroupName);

  StepLine = &WrapItem<TColorStatic>(IdStep);
  FileLine = &WrapItem<TColorStatic>(IdFile);
  FillDriveList();
  FillGroupList();

  Messages = &AddControl(std::make_unique<TListView>());
  Messages->Create(::GetDlgItem(Window, IdMessages), nullptr, FaceColor);
  const RECT client = Messages->ClientRect();
  Messages->AddColumn(rsSetupDialogMessageColumn, client.right - client.left, caLeft);
  Messages->SetSmallImages(SmallImages);

  for (int i = 0; i < 6; ++i) {
    const int id = IdInstall + i;
    auto& button = AddControl(
        std::make_unique<TColorButton>(::GetDlgItem(Window, id), id == IdInstall, DialogFont(), LargeImages, i));
    Buttons.push_back(&button);
    button.SetVisible(id == IdExit || (id == IdInstall ? install : !install));
  }
  ShortcutBox = &WrapItem<TColorCheckBox>(IdShortcut);
  ShortcutBox->SetVisible(install);
  WrapItem<TColorFrame>(IdLine1);
  WrapItem<TColorFrame>(IdLine2);
  Progress = &WrapItem<TProgress>(IdProgress);
  auto& select = AddControl(
      std::make_unique<TColorButton>(::GetDlgItem(Window, IdSelect), false, DialogFont(), nullptr, -1));
  select.SetEnabled(install);
}

void TJomSetupDialog::InitHeaderAndTitle() {
  HeaderPicture = LoadResourcePicture(L"HEADER");
  HWND titleWindow = ::GetDlgItem(Window, IdTitle);
  if (HeaderPicture) {
    std::wstring face = L"Arial";
    int width = ScaleY(7);
    if (FontInstalled(L"Roboto Cn")) {
      face = L"Roboto Cn";
      width = 0;
    } else if (FontInstalled(L"Ubuntu Condensed")) {
      face = L"Ubuntu Condensed";
      width = 0;
    }
    Title = &AddControl(std::make_unique<TTitleControl>(titleWindow, face, 17, width, false));
    Title->SetBounds(ScaleY(100), ScaleY(16), ScaleY(330), ScaleY(64));
  } else {
    auto& icon = AddControl(std::make_unique<TIconControl>(::GetDlgItem(Window, IdIcon), 3000));
    icon.SetBounds(-1, -1, ScaleY(64), ScaleY(64));
    Title = &AddControl(std::make_unique<TTitleControl>(titleWindow, L"Times New Roman", 24, 0, true));
  }
  const std::wstring title =
      (Info.Maintenance ? rsProgramMaintenance : rsProgramInstallation) + L"\r\n" + Info.ProductName;
  Title->SetText(title);
  Title->FitText(ScaleY(7));
  const std::wstring caption = ReplaceAll(title, L"\r\n", L" ");
  SetCaption(caption);
  ::SetWindowTextW(Window, caption.c_str());
}

void TJomSetupDialog::FillDriveList() {
  const DWORD mask = ::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((mask & (1u << i)) == 0) continue;
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\";
    const UINT type = ::GetDriveTypeW(root.c_str());
    if (type != DRIVE_FIXED && type != DRIVE_REMOTE) continue;
    ::SendMessageW(DriveBox->Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(root.c_str()));
    Drives.push_back({root, std::make_shared<const std::wstring>(root), type});
  }
  DWORD id = 0;
  SpaceThread = ::CreateThread(
      nullptr, 0,
      [](void* dialog) -> DWORD {
        DriveSpaceThread(static_cast<TJomSetupDialog*>(dialog));
        return 0;
      },
      this, 0, &id);
}

// Fixed drives get their free megabytes in the drive box; a pass is skipped
// while another dialog's pass still runs.
void TJomSetupDialog::DriveSpaceThread(TJomSetupDialog* dialog) {
  bool expected = false;
  if (!SpacePassBusy.compare_exchange_strong(expected, true)) return;
  for (TDriveEntry& drive : dialog->Drives) {
    if (dialog->StopSpaceThread) break;
    if (drive.Type != DRIVE_FIXED) continue;
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(drive.Root.c_str(), &available, nullptr, nullptr)) continue;
    std::atomic_store(&drive.DisplayText, std::make_shared<const std::wstring>(
                                              drive.Root.substr(0, 2) + L" (" + FormatMegabytes(available.QuadPart) +
                                              L" МБ)"));
  }
  SpacePassBusy = false;
}

void TJomSetupDialog::FillGroupList() {
  ScopedErrorMode quiet(SEM_FAILCRITICALERRORS);
  const std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  if (programs.empty()) return;
  WIN32_FIND_DATAW data;
  UniqueFindHandle find(::FindFirstFileExW((IncludeTrailingBackslash(programs) + L"*.*").c_str(), FindExInfoStandard,
                                           &data, FindExSearchNameMatch, nullptr, 0));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || name == L"." || name == L"..") continue;
    ::SendMessageW(GroupBox->Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  } while (::FindNextFileW(find.get(), &data));
}

std::wstring TJomSetupDialog::GetInstallDirectory() const {
  if (!FolderEdit) return KeptInstallDirectory;
  const std::wstring text = FolderEdit->Text();
  if (text.empty() || BeginsWithTwoBackslashes(text)) return text;
  const std::wstring rest = text[0] == L'\\' ? text : L"\\" + text;
  return DriveBox->Text().substr(0, 2) + rest;
}

void TJomSetupDialog::SetInstallDirectory(const std::wstring& path) {
  const std::wstring value = ExcludeTrailingBackslash(path);
  if (!FolderEdit) {
    KeptInstallDirectory = value;
    return;
  }
  const bool install = !Info.Maintenance;
  if (BeginsWithTwoBackslashes(value)) {
    FolderEdit->SetText(value);
    if (install) DriveBox->SetEnabled(false);
    return;
  }
  if (install) DriveBox->SetEnabled(true);
  const std::wstring drive = value.substr(0, 2);
  HWND box = DriveBox->Handle();
  if (::SendMessageW(box, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(drive.c_str())) ==
      CB_ERR) {
    // A drive the list does not offer (removable, or gone) is added for
    // this folder: without a drive the folder would be taken on whatever
    // drive is current.
    const wchar_t letter = drive.empty() ? L'\0' : static_cast<wchar_t>(std::towupper(drive[0]));
    if (drive.size() == 2 && drive[1] == L':' && letter >= L'A' && letter <= L'Z') {
      const std::wstring root = std::wstring(1, letter) + L":\\";
      const LRESULT added = ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(root.c_str()));
      ::SendMessageW(box, CB_SETCURSEL, added == CB_ERR ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(added), 0);
    } else {
      ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
  }
  FolderEdit->SetText(value.size() > 2 ? value.substr(2, 260) : std::wstring());
}

void TJomSetupDialog::AddMessage(int kind, const std::wstring& text) {
  WriteSetupLog(kind == mkError     ? TSetupLogEntry::Error
                : kind == mkWarning ? TSetupLogEntry::Warning
                                    : TSetupLogEntry::Info,
                text);
  if (Messages) {
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find(L"\r\n", start);
      const std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
      Messages->AddItem(-1, line, {}, kind);
      if (end == std::wstring::npos) break;
      start = end + 2;
    }
  }
  if (kind == mkError) ErrorTexts.push_back(text);
  PlatformTools().ProcessPendingMessages();
}

void TJomSetupDialog::ShowStatus(const std::wstring& title, const std::wstring& text1, int percent) {
  bool changed = false;
  if (!title.empty()) WriteSetupLog(TSetupLogEntry::Status, title);
  if (!title.empty() && StepLine) {
    StepLine->SetText(L" " + title);
    changed = true;
  }
  if (!text1.empty() && FileLine) {
    FileLine->SetText(L" " + text1);
    changed = true;
  }
  if (percent != -1 && Progress && percent != Progress->Position()) {
    Progress->SetPosition(percent);
    changed = true;
  }
  if (changed) PlatformTools().ProcessPendingMessages();
}

void TJomSetupDialog::SetStepLine(const std::wstring& text) {
  if (!TrimText(text).empty()) WriteSetupLog(TSetupLogEntry::Status, text);
  if (StepLine) StepLine->SetText(text);
}

void TJomSetupDialog::SetFunctionButtonsEnabled(bool enabled) {
  for (TColorButton* button : Buttons) {
    const int id = ::GetDlgCtrlID(button->Handle());
    const bool function = id == IdInstall ? !Info.Maintenance : (id >= IdUpdate && Info.Maintenance);
    if (function) button->SetEnabled(enabled);
  }
  PlatformTools().ProcessPendingMessages();
}

bool TJomSetupDialog::RunFunction(const std::wstring& directory, int function, void* parameter,
                                  const std::wstring& completion) {
  if (Messages) Messages->Clear();
  if (Running != 0) {
    const std::wstring refusal = FormatText(rsSetupDialogRunningFunction, {SetupFunctionName(Running)});
    WriteSetupLog(TSetupLogEntry::Error, refusal);
    ShowErrorMessage(refusal);
    return false;
  }
  WriteSetupLog(TSetupLogEntry::Start, SetupFunctionName(function) + L": " + directory);
  // The folder fields stay editable during the run: what follows it uses
  // the folder the function was started for.
  const std::wstring installDirectory = GetInstallDirectory();
  Running = function;
  ErrorTexts.clear();
  SetFunctionButtonsEnabled(false);
  bool result = false;
  try {
    const std::wstring dataFolder = GetCommonAppDataFolder() + L"\\Tavrel";
    if (ForceDirectoriesQuiet(dataFolder) && VolumeSupportsAcls(dataFolder)) {
      GrantAccess(dataFolder, GetUsersGroupName(), DataFolderRights);
    }
    TSetupFunctionParams params{};
    params.Size = sizeof params;
    params.Automatic = WineMode ? -1 : 0;
    params.OnMessage = OnEngineMessage;
    params.OnStatus = OnEngineStatus;
    params.UserData = this;
    const bool replacesFiles = function == sfInstall || function == sfUpdate || function == sfUninstall;
    const bool serviceStopped = replacesFiles && ControlProductService(TServiceMode::Stop);
    result = ExecuteSetupFunction(directory.c_str(), function, parameter, &params) != 0;
    WriteSetupLog(TSetupLogEntry::Result,
                  result ? L"OK " + completion : L"FAILED " + completion + rsSetupDialogWasErrors);
    if (serviceStopped && !(result && function == sfUninstall)) ControlProductService(TServiceMode::Start);
    if (result) {
      if (function == sfInstall) {
        CreateDesktopShortcut(ShortcutBox && ShortcutBox->Checked, AppImagePath, Info.ProductName, Info.Comments,
                              IncludeTrailingBackslash(installDirectory));
      } else if (function == sfUninstall) {
        ControlProductService(TServiceMode::Delete);
        CleanUpAfterUninstall(Info.ProductName, rsSetupProgram, Window);
      }
      if ((function == sfInstall || function == sfUpdate) && !Info.MainFile.empty()) {
        if (WineMode || GuiTools().Confirm(completion + rsSetupDialogRunProgramQuestion, L"", true, Window)) {
          StartMainFile(installDirectory);
          CloseWhenDone = true;
        }
      } else {
        GuiTools().ShowMessage(mkInfo, completion, L"", true);
      }
    } else if (WineMode && !ErrorTexts.empty()) {
      std::wstring all;
      for (const std::wstring& text : ErrorTexts) all += (all.empty() ? L"" : L"\r\n") + text;
      GuiTools().ShowMessage(mkError, all, L"", true);
    } else {
      GuiTools().ShowMessage(mkWarning, completion + rsSetupDialogWasErrors, L"", true);
    }
  } catch (...) {
    Running = 0;
    SetFunctionButtonsEnabled(true);
    throw;
  }
  Running = 0;
  SetFunctionButtonsEnabled(true);
  if (CloseWhenDone || WineMode) CloseDialog(1);
  return result;
}

void TJomSetupDialog::StartMainFile(const std::wstring& installDirectory) {
  SetStepLine(rsSetupDialogRunProgram + Info.ProductName);
  const std::wstring folder = IncludeTrailingBackslash(installDirectory);
  const std::wstring program = folder + Info.MainFile;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpFile = program.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  // The user (or the launcher) expects the program to run: a failed start
  // is said, not left to look like success.
  if (!::ShellExecuteExW(&info)) ShowSystemError(::GetLastError(), rsSetupDialogRunProgram + L"\"" + program + L"\"");
  SetStepLine(L" ");
}

void TJomSetupDialog::CloseDialog(INT_PTR result) {
  if (Running != 0) {
    ShowErrorMessage(FormatText(rsSetupDialogRunningFunction, {SetupFunctionName(Running)}));
    return;
  }
  ::EndDialog(Window, result);
}

void TJomSetupDialog::Close() { CloseDialog(IDCANCEL); }

void TJomSetupDialog::Install() {
  const std::wstring directory = GetInstallDirectory();
  const std::wstring group = GroupBox ? GroupBox->Text() : Info.GroupName;
  TInstallParams params{};
  params.Size = sizeof params;
  params.InstallDir = directory.c_str();
  params.GroupName = group.c_str();
  params.NoShortcuts = AppImagePath.empty() ? 0 : -1;
  RunFunction(Info.SetupDirectory, sfInstall, &params, rsSetupDialogInstallationCompleted);
}

bool TJomSetupDialog::Command(int id, int notifyCode, HWND control) {
  // A button of the other layout is hidden, not gone: the hidden install
  // button is still the template's default button, which Enter presses.
  const bool installButton = id == IdInstall;
  const bool maintenanceButton = id >= IdUpdate && id <= IdUninstall;
  if ((installButton && (Info.Maintenance || WineMode)) || (maintenanceButton && (!Info.Maintenance || WineMode))) {
    return true;
  }
  switch (id) {
    case IdInstall:
      Install();
      return true;
    case IdExit:
      CloseDialog(1);
      return true;
    case IdUpdate: {
      const std::wstring filter = FormatText(rsSetupDialogUpdateFiles, {L".prf", L".prf"});
      wchar_t file[MAX_PATH * 4] = {};
      OPENFILENAMEW open{};
      open.lStructSize = sizeof open;
      open.hwndOwner = Window;
      open.lpstrFilter = filter.c_str();
      open.lpstrFile = file;
      open.nMaxFile = MAX_PATH * 4;
      open.lpstrTitle = rsSetupDialogSelectUpdateFile.c_str();
      open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
      if (::GetOpenFileNameW(&open)) {
        std::wstring chosen = file;
        RunFunction(GetInstallDirectory(), sfUpdate, chosen.data(), rsSetupDialogUpgradeCompleted);
      }
      return true;
    }
    case IdCheck:
      RunFunction(GetInstallDirectory(), sfCheck, nullptr, rsSetupDialogCheckCompleted);
      return true;
    case IdBuild: {
      std::wstring target = GetInstallDirectory();
      if (SelectDirectory(target, rsSelectDirectoryCaption, 0, false, true)) {
        target = IncludeTrailingBackslash(target) + ReplaceAll(Info.Version, L".", L"_");
        RunFunction(GetInstallDirectory(), sfBuildKit, target.data(), rsSetupDialogBuildCompleted);
      }
      return true;
    }
    case IdUninstall:
      if (RunFunction(GetInstallDirectory(), sfUninstall, nullptr, rsSetupDialogUninstallCompleted)) CloseDialog(1);
      return true;
    case IdSelect: {
      std::wstring path = GetInstallDirectory();
      if (SelectDirectory(path, rsSelectInstallDirectory, 0, false, true)) {
        SetInstallDirectory(CompleteWithDefaultDir(path, Info.DefaultDir));
      }
      return true;
    }
    default:
      return TDialog::Command(id, notifyCode, control);
  }
}

bool TJomSetupDialog::DialogProc(WindowMessage& message) {
  switch (message.Message) {
    case WM_SHOWWINDOW: {
      const bool handled = TDialog::DialogProc(message);
      ::PostMessageW(Window, StartMessage, StartWParam, StartLParam);
      return handled;
    }
    case StartMessage:
      if (message.WParam != StartWParam || message.LParam != StartLParam) break;
      if (!Info.RenewFile.empty()) {
        std::wstring file = Info.RenewFile;
        RunFunction(GetInstallDirectory(), sfUpdate, file.data(), rsSetupDialogUpgradeCompleted);
      } else if (WineMode) {
        PlatformTools().ProcessPendingMessages();
        Install();
      }
      return true;
    case WM_LBUTTONDOWN:
      ::ReleaseCapture();
      ::SendMessageW(Window, WM_SYSCOMMAND, 0xF012, 0);
      return true;
    case WM_ERASEBKGND:
      EraseBackground(reinterpret_cast<HDC>(message.WParam));
      message.Result = 1;
      ::SetWindowLongPtrW(Window, DWLP_MSGRESULT, 1);
      return true;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG:
      message.Result = ColorStatic(reinterpret_cast<HDC>(message.WParam), reinterpret_cast<HWND>(message.LParam));
      if (message.Result) return true;
      break;
    case WM_DRAWITEM:
      if (message.WParam == IdDrive) {
        DrawDriveItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam));
        message.Result = 1;
        ::SetWindowLongPtrW(Window, DWLP_MSGRESULT, 1);
        return true;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(message.LParam);
      if (Messages && header->idFrom == IdMessages && header->code == LVN_ITEMCHANGED) {
        Messages->InvalidateItem(reinterpret_cast<const NMLISTVIEW*>(message.LParam)->iItem);
        return true;
      }
      break;
    }
    default:
      break;
  }
  return TDialog::DialogProc(message);
}

LRESULT TJomSetupDialog::ColorStatic(HDC dc, HWND control) {
  if (!control || control == Window) return 0;
  if ((::GetWindowLongPtrW(control, GWL_EXSTYLE) & WS_EX_TRANSPARENT) != 0) {
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
  }
  if (!::IsWindowEnabled(control)) {
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, 0x0000FF);
    return reinterpret_cast<LRESULT>(FaceBrush());
  }
  return 0;
}

void TJomSetupDialog::EraseBackground(HDC dc) {
  RECT client{};
  ::GetClientRect(Window, &client);
  HBRUSH dark = ::CreateSolidBrush(DarkColor);
  ::FrameRect(dc, &client, dark);
  ::DeleteObject(dark);
  RECT inside = client;
  ::InflateRect(&inside, -1, -1);
  const int dpiX = ::GetDeviceCaps(dc, LOGPIXELSX);
  const int bandBottom = ::MulDiv(85, dpiX, 96);
  RECT band{inside.left, inside.top, inside.right, std::min<LONG>(inside.bottom, bandBottom)};
  GradientFill(dc, band, static_cast<TColor>(0xFFFFFF), static_cast<TColor>(0xFAF9F8));
  if (HeaderPicture) DrawPicture(dc, band, HeaderPicture);
  RECT edge{inside.left, band.bottom, inside.right, std::min<LONG>(inside.bottom, band.bottom + 2)};
  GradientFill(dc, edge, static_cast<TColor>(0xFAF9F8), static_cast<TColor>(FaceColor));
  RECT rest{inside.left, edge.bottom, inside.right, inside.bottom};
  if (rest.bottom > rest.top) ::FillRect(dc, &rest, FaceBrush());
}

void TJomSetupDialog::DrawDriveItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  HGDIOBJ oldFont = ::SelectObject(dc, DialogFont());
  COLORREF back, fore;
  if (item.itemState & ODS_SELECTED) {
    back = ::GetSysColor(COLOR_HIGHLIGHT);
    fore = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
  } else if (DriveBox && DriveBox->Enabled()) {
    back = ::GetSysColor(COLOR_WINDOW);
    fore = ::GetSysColor(COLOR_WINDOWTEXT);
  } else {
    back = FaceColor;
    fore = DarkColor;
  }
  HBRUSH brush = ::CreateSolidBrush(back);
  ::FillRect(dc, &rect, brush);
  ::DeleteObject(brush);
  if (item.itemID != static_cast<UINT>(-1)) {
    wchar_t rootText[8] = {};
    ::SendMessageW(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(rootText));
    std::wstring text = rootText;
    UINT type = DRIVE_FIXED;
    for (const TDriveEntry& drive : Drives) {
      if (drive.Root == rootText) {
        text = *std::atomic_load(&drive.DisplayText);
        type = drive.Type;
      }
    }
    ImageList_Draw(SmallImages, static_cast<int>(type) + 2, dc, rect.left + 1, rect.top + 1, ILD_TRANSPARENT);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, fore);
    RECT textRect{rect.left + 19, rect.top, rect.right, rect.bottom};
    DrawTextCentered(dc, textRect, text, DT_SINGLELINE | DT_LEFT);
  }
  if ((item.itemState & ODS_FOCUS) && (item.itemState & ODS_COMBOBOXEDIT)) ::DrawFocusRect(dc, &rect);
  ::SelectObject(dc, oldFont);
  ::ValidateRect(item.hwndItem, &rect);
}

bool TJomSetupDialog::ControlProductService(TServiceMode mode) {
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, MAXIMUM_ALLOWED);
  if (!manager) return false;
  SC_HANDLE service = ::OpenServiceW(manager, ServiceName, MAXIMUM_ALLOWED);
  if (!service) {
    ::CloseServiceHandle(manager);
    return false;
  }
  bool result = false;
  SERVICE_STATUS status{};
  if (mode == TServiceMode::Delete) {
    if (::DeleteService(service)) {
      ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\JomService");
      result = true;
    }
  } else if (::QueryServiceStatus(service, &status)) {
    if (mode == TServiceMode::Stop) {
      WaitForServiceState(service, SERVICE_START_PENDING, ServicePendingTimeoutMs, status, true);
      if (status.dwCurrentState == SERVICE_RUNNING) {
        SetStepLine(FormatText(rsSetupDialogStopService, {Info.ProductName}));
        if (::ControlService(service, SERVICE_CONTROL_STOP, &status)) {
          WaitForServiceState(service, SERVICE_STOP_PENDING, ServicePendingTimeoutMs, status, true);
        }
        SetStepLine(L" ");
        if (status.dwCurrentState == SERVICE_STOPPED && RuntimeEnvironment().IsWine) WaitForServiceProgram(service);
      }
      result = status.dwCurrentState == SERVICE_STOPPED;
    } else if (status.dwCurrentState == SERVICE_STOPPED) {
      SetStepLine(FormatText(rsSetupDialogStartService, {Info.ProductName}));
      if (::StartServiceW(service, 0, nullptr)) {
        ::QueryServiceStatus(service, &status);
        WaitForServiceState(service, SERVICE_START_PENDING, ServicePendingTimeoutMs, status, false);
      }
      SetStepLine(L" ");
      result = status.dwCurrentState == SERVICE_RUNNING;
    }
  }
  ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
  return result;
}

void TJomSetupDialog::WaitForServiceState(SC_HANDLE service, DWORD pendingState, DWORD timeoutMs,
                                          SERVICE_STATUS& status, bool animate) {
  const std::uint64_t start = PlatformTools().GetTickCount();
  while (status.dwCurrentState == pendingState && PlatformTools().GetTickCount() - start < timeoutMs) {
    if (animate && Progress) Progress->SetPosition((Progress->Position() + 1) % 100);
    PlatformTools().WaitProcessingMessages(500);
    if (!::QueryServiceStatus(service, &status)) break;
  }
}

// Under Wine a stopped service's process may still hold its program file for
// a while; the install would then fail to replace it.
void TJomSetupDialog::WaitForServiceProgram(SC_HANDLE service) {
  std::wstring program;
  DWORD needed = 0;
  ::QueryServiceConfigW(service, nullptr, 0, &needed);
  if (needed > 0) {
    std::vector<unsigned char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (::QueryServiceConfigW(service, config, needed, &needed) && config->lpBinaryPathName) {
      program = ServiceProgramFile(config->lpBinaryPathName,
                                   [](const std::wstring& path) { return PlatformTools().FileExists(path); });
    }
  }
  // Bounded by the clock, not by the number of steps: the messages handled
  // during each step may take their own time.
  const std::uint64_t start = PlatformTools().GetTickCount();
  while (PlatformTools().GetTickCount() - start < WineProgramWaitMs) {
    if (!program.empty() && (!PlatformTools().FileExists(program) || !IsFileLocked(program))) return;
    if (Progress) Progress->SetPosition((Progress->Position() + 1) % 100);
    const std::uint64_t left = WineProgramWaitMs - std::min<std::uint64_t>(PlatformTools().GetTickCount() - start,
                                                                            WineProgramWaitMs);
    if (left == 0) break;
    PlatformTools().WaitProcessingMessages(static_cast<std::uint32_t>(std::min<std::uint64_t>(1000, left)));
  }
}
