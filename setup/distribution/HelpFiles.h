#pragma once
// Makes a compiled HTML help file usable after it is installed: help on a
// network location must be allow-listed before the viewer shows it, and a
// help file installed elsewhere can be recorded with its folder.

#include <string>

// Allow-list of the help viewer and the folders of recorded help files
// (below HKEY_LOCAL_MACHINE).
inline constexpr const wchar_t* HelpRestrictionsKey = L"SOFTWARE\\Microsoft\\HTMLHelp\\1.x\\ItssRestrictions";
inline constexpr const wchar_t* HelpFoldersKey = L"SOFTWARE\\Microsoft\\Windows\\HTML Help";

// Nothing for a missing file. On a network location adds "file://" + name
// and the name itself to "UrlAllowList" unless listed (any letter case);
// raises an Exception "text (code)" when the list cannot be written. With
// recordFolder, records the file's folder under its name unless a valid
// record exists.
void RegisterHelpFile(const std::wstring& fileName, bool recordFolder);
