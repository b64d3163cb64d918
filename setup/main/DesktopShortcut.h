#pragma once
// The desktop link made after a successful installation: a Windows shortcut
// to the installed jom.exe, or, for an AppImage delivery under Wine, a link
// on the Linux desktop to the launcher's desktop entry.

#include <string>

// Nothing unless create is set (the dialog's check box is there and
// checked). With an AppImage path, links the desktop entry of the launcher
// onto the user's desktop (hard link, else symbolic link) when the entry
// exists; otherwise makes productName + ".lnk" on the desktop, pointing at
// installFolder + "jom.exe", described by comments. Failures are silent:
// the installation's result does not depend on the link.
void CreateDesktopShortcut(bool create, const std::wstring& appImagePath, const std::wstring& productName,
                           const std::wstring& comments, const std::wstring& installFolder);

// The Linux desktop entry of the launcher and its link on the desktop, as
// Unix paths for the user.
std::wstring DesktopEntryFile(const std::wstring& userName);
std::wstring DesktopEntryLink(const std::wstring& userName);
// The Windows shortcut file of the product on the desktop folder; empty
// without a desktop folder or product name.
std::wstring DesktopShortcutFile(const std::wstring& desktopFolder, const std::wstring& productName);
