#include "setup/main/DesktopShortcut.h"

#include "platform/PlatformIntfTypes.h"
#include "platform/ShTools.h"
#include "platform/StrTool.h"

namespace {
constexpr wchar_t DesktopEntryName[] = L"JomStart.desktop";
// The shortcut always starts the product's own program, whatever the kit
// names as its main file.
constexpr wchar_t ShortcutTarget[] = L"jom.exe";
constexpr int DesktopDirectoryKind = 3;

// The product name as a file name: characters that would make a path (or
// an invalid name) are replaced.
std::wstring FileNameOf(const std::wstring& name) {
  std::wstring result = TrimText(name);
  for (wchar_t& c : result) {
    if (c < 32 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) c = L'_';
  }
  return result;
}
}  // namespace

std::wstring DesktopEntryFile(const std::wstring& userName) {
  return L"/home/" + userName + L"/.local/share/applications/" + DesktopEntryName;
}

std::wstring DesktopEntryLink(const std::wstring& userName) {
  return L"/home/" + userName + L"/Desktop/" + DesktopEntryName;
}

std::wstring DesktopShortcutFile(const std::wstring& desktopFolder, const std::wstring& productName) {
  const std::wstring name = FileNameOf(productName);
  if (desktopFolder.empty() || name.empty()) return {};
  return IncludeTrailingBackslash(desktopFolder) + name + L".lnk";
}

void CreateDesktopShortcut(bool create, const std::wstring& appImagePath, const std::wstring& productName,
                           const std::wstring& comments, const std::wstring& installFolder) {
  if (!create) return;
  if (!appImagePath.empty()) {
    IPlatformTools& tools = PlatformTools();
    const std::wstring user = tools.GetUserName();
    if (user.empty()) return;
    const std::wstring entry = DesktopEntryFile(user);
    if (!tools.FileExists(entry)) return;
    const std::wstring link = DesktopEntryLink(user);
    // A hard link fails across file systems; a symbolic one does not.
    if (!tools.CreateHardLink(entry, link)) tools.CreateSymbolicLink(entry, link);
    return;
  }
  const std::wstring link = DesktopShortcutFile(GetShellFolderParsingName(DesktopDirectoryKind), productName);
  if (link.empty() || installFolder.empty()) return;
  CreateShortcut(IncludeTrailingBackslash(installFolder) + ShortcutTarget, {}, comments, link, {});
}
