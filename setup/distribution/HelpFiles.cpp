#include "setup/distribution/HelpFiles.h"

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "setup/distribution/RegTools.h"
#include "setup/messages/FormatText.h"

namespace {

void AllowNetworkHelp(const std::wstring& fileName) {
  std::wstring list;
  RegReadString(RegistryRoot::LocalMachine, HelpRestrictionsKey, L"UrlAllowList", L"", list);
  const std::wstring known = list.empty() ? std::wstring() : L";" + UpperCaseText(list) + L";";
  bool appended = false;
  for (const std::wstring& entry : {L"file://" + fileName, fileName}) {
    if (!known.empty() && known.find(L";" + UpperCaseText(entry) + L";") != std::wstring::npos) continue;
    if (!list.empty()) list += L";";
    list += entry;
    appended = true;
  }
  if (!appended) return;
  if (!RegWriteString(RegistryRoot::LocalMachine, HelpRestrictionsKey, L"UrlAllowList", list)) {
    const std::uint32_t error = PlatformTools().GetLastError();
    throw Exception(FormatText(L"%s (%d)", {SystemErrorMessage(error), static_cast<std::int64_t>(error)}));
  }
}

void RecordHelpFolder(const std::wstring& fileName) {
  const std::wstring name = ExtractFileName(fileName);
  std::wstring folder;
  if (RegReadString(RegistryRoot::LocalMachine, HelpFoldersKey, name, L"", folder) &&
      PlatformTools().FileExists(IncludeTrailingBackslash(folder) + name))
    return;
  RegWriteString(RegistryRoot::LocalMachine, HelpFoldersKey, name, ExcludeTrailingBackslash(ExtractFilePath(fileName)));
}

}  // namespace

void RegisterHelpFile(const std::wstring& fileName, bool recordFolder) {
  if (!PlatformTools().FileExists(fileName)) return;
  if (IsNetworkPath(fileName)) AllowNetworkHelp(fileName);
  if (recordFolder) RecordHelpFolder(fileName);
}
