#include "setup/main/SetupStart.h"

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
// after Win.h: needs <windows.h>
#include <shlobj.h>
#include "setup/engine/KvtDistr.h"
#include "setup/engine/SetupIniFile.h"
#include "setup/main/SetupLog.h"
#include "setup/main/SetupRelaunch.h"
#include "setup/messages/XilSetupRuntimeMessages.h"
#include "setup/ui/GuiIntfTypes.h"
#include "setup/ui/JomSetupDialog.h"

namespace {

std::wstring CommonAppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

bool FileExists(const std::wstring& path) { return PlatformTools().FileExists(path); }

TSetupIniProduct ReadSetupIniProduct(const std::wstring& path) {
  const TSetupIniFile ini(path);
  TSetupIniProduct product;
  product.Section = TrimText(ini.ReadString(L"Products", L"Product1", L""));
  if (!product.Section.empty()) product.Name = ini.ReadString(product.Section, L"ProductName1", L"");
  return product;
}

}  // namespace

void SetDistributionParameters() {
  const std::wstring programs = CommonAppDataFolder() + L"\\Tavrel\\jomsetup.ini";
  SetSetupParameter(L"ProgramsIniFileName", reinterpret_cast<intptr_t>(programs.c_str()));
  SetSetupParameter(L"ProgramRenewFileExtension", reinterpret_cast<intptr_t>(L".prf"));
  SetSetupParameter(L"ProgramRenewFileKeyName", reinterpret_cast<intptr_t>(L"JOMRenewFile"));
  SetSetupParameter(L"ProgramLstDirsCharCase", 0);
}

std::wstring ExecutableProductName() {
  const std::wstring path = SetupExeDir() + SetupExeName();
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
  WORD* translation = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 4) {
    return {};
  }
  wchar_t key[64];
  swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\ProductName", translation[0], translation[1]);
  wchar_t* value = nullptr;
  if (!::VerQueryValueW(data.data(), key, reinterpret_cast<void**>(&value), &length) || !value) return {};
  return std::wstring(value, length > 0 ? length - 1 : 0);
}

bool DetermineStartFolder(const std::vector<std::wstring>& args, TStartDecision& decision) {
  decision = DecideStartFolderAndMode(args, SetupExeDir(), FileExists, ReadSetupIniProduct);
  if (decision.Failure == TStartFailure::None) return true;
  const std::wstring& text = decision.Failure == TStartFailure::SetupIniNotFound ? rsSetupDialogSetupIniNotFound
                                                                                 : rsSetupDialogUnknownSetupIni;
  const std::wstring caption = rsProgramInstallation + L" " + ExecutableProductName();
  WriteSetupLog(TSetupLogEntry::Error, text);
  GuiTools().ShowMessage(mkError, text, caption, false);
  return false;
}

void RunRelaunchedCopy(const std::vector<std::wstring>& args) {
  SetDistributionParameters();
  TStartDecision decision;
  const bool started = DetermineStartFolder(args, decision);
  if (started) {
    TJomSetupDialog dialog(ReadSetupInformation(decision.StartDir, decision.Maintenance, decision.RenewFile));
    dialog.ShowModal();
  }
  if (!decision.StartDir.empty()) RemoveRelaunchFolders(SetupExeDir());
}

void RemoveRelaunchFolders(const std::wstring& ownFolder) {
  if (ownFolder.find(L"JOMSETUP.TMP") == std::wstring::npos) return;
  const std::wstring root = RelaunchRoot();
  WIN32_FIND_DATAW data;
  {
    UniqueFindHandle find(::FindFirstFileW((root + L"*").c_str(), &data));
    if (!find) return;
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L".." || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
      const std::wstring folder = root + name + L"\\";
      const bool own = ::CompareStringOrdinal(folder.c_str(), -1, ownFolder.c_str(), -1, TRUE) == CSTR_EQUAL;
      if (own || !IsFileLocked(folder + SetupExeName())) DeleteTree(folder, true, true);
    } while (::FindNextFileW(find.get(), &data));
  }
  // Scheduled after the own folder's content, so that a restart empties
  // the folder before removing it.
  RemoveFolderOrSchedule(root);
}
