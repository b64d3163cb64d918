#pragma once
// The clean-up the dialog does after a successful uninstall: the product's
// data folders (when the user agrees), its settings files in the Windows
// folder and the desktop shortcut. The service is the dialog's own step.

#include <string>

#include "platform/PlatformIntfTypes.h"

// Where the clean-up looks: the product's data folders under the common and
// the user's local application data, the Windows folder (with a trailing
// backslash) and the desktop folder.
struct TAfterUninstallFolders {
  std::wstring CommonData, LocalData, WindowsFolder, DesktopFolder;
};
// The folders of this computer and user.
TAfterUninstallFolders SystemAfterUninstallFolders();

// When a data folder exists, asks rsSetupDialogDeleteDataFiles with caption
// (owned by owner); on yes deletes both folders (each failure in an error
// box) and "jom.ini", "jomsvc.ini" and "jomsetup.ini" of the Windows folder
// (failures ignored). Then deletes productName + ".lnk" on the desktop.
void CleanUpAfterUninstall(const std::wstring& productName, const std::wstring& caption, WindowHandle owner,
                           const TAfterUninstallFolders& folders = SystemAfterUninstallFolders());
