#include "setup/main/AfterUninstall.h"

#include "platform/ShTools.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/main/DesktopShortcut.h"
#include "setup/main/SetupRelaunch.h"
#include "setup/messages/XilSetupRuntimeMessages.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {
constexpr wchar_t ProductFolderName[] = L"Tavrel";
constexpr int DesktopDirectoryKind = 3;

// The product's folder below an application-data folder; empty without one.
std::wstring ProductDataFolder(const std::wstring& appData) {
  return appData.empty() ? std::wstring() : IncludeTrailingBackslash(appData) + ProductFolderName;
}
}  // namespace

TAfterUninstallFolders SystemAfterUninstallFolders() {
  TAfterUninstallFolders folders;
  folders.CommonData = ProductDataFolder(GetCommonAppDataFolder());
  folders.LocalData = ProductDataFolder(GetLocalAppDataFolder());
  const std::wstring windows = PlatformTools().GetWindowsDirectory();
  folders.WindowsFolder = windows.empty() ? std::wstring() : IncludeTrailingBackslash(windows);
  folders.DesktopFolder = GetShellFolderParsingName(DesktopDirectoryKind);
  return folders;
}

void CleanUpAfterUninstall(const std::wstring& productName, const std::wstring& caption, WindowHandle owner,
                           const TAfterUninstallFolders& folders) {
  IPlatformTools& platform = PlatformTools();
  const bool dataExists = (!folders.CommonData.empty() && platform.DirectoryExists(folders.CommonData)) ||
                          (!folders.LocalData.empty() && platform.DirectoryExists(folders.LocalData));
  if (dataExists && GuiTools().Confirm(rsSetupDialogDeleteDataFiles, caption, true, owner)) {
    for (const std::wstring& folder : {folders.CommonData, folders.LocalData}) {
      if (!folder.empty()) DeleteTree(folder, true, false);
    }
    if (!folders.WindowsFolder.empty()) {
      for (const wchar_t* name : {L"jom.ini", L"jomsvc.ini", L"jomsetup.ini"})
        ::DeleteFileW((IncludeTrailingBackslash(folders.WindowsFolder) + name).c_str());
    }
  }
  const std::wstring link = DesktopShortcutFile(folders.DesktopFolder, productName);
  if (!link.empty() && platform.FileExists(link)) ShellDelete(link, false);
}
