// The uninstall pipeline of the session: it removes the installed copy the
// session was created on, its shortcuts and OLE registrations, and the
// records its install wrote on this computer.

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/ShTools.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/RegOleFiles.h"
#include "setup/distribution/diCommon.h"
#include "setup/engine/KvtDistr.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

#include <ole2.h>

namespace {

constexpr std::uint32_t YesNoQuestion = 36;  // MB_YESNO | MB_ICONQUESTION

// Why a folder that is a drive root or a folder of the system or of all
// users keeps its files: deleting it whole would take everything in it.
const wchar_t* const ProtectedFolderNotDeleted =
    L"Каталог \"%s\" является корневым каталогом диска или системным каталогом, файлы из него не удалены.";

// The folder is one an install would have refused.
bool IsProtectedFolder(const std::wstring& folder) {
  try {
    ValidateProgramFolder(folder);
    return false;
  } catch (const std::exception&) {
    return true;
  }
}

}  // namespace

void TKvtSetup::UninstallProgram() {
  if (!CheckSetupDir() || !ReadSetupIni(false) || !LoadFileList()) return;
  if (!Automatic && Ask(FormatText(rsUninstallProgramConfirmation, {ProductName1}), YesNoQuestion) != IDYES)
    throw EAbort();

  const bool network = IsNetworkPath(SetupDir);
  // A planted instcfg.ini must not be able to empty a drive or a folder of
  // the system: such a folder is treated as one whose files stay.
  const bool protectedFolder = !network && IsProtectedFolder(SetupDir);
  const bool deleteFiles = !network && !protectedFolder;
  if (deleteFiles && !Automatic &&
      Ask(FormatText(rsDeleteFilesConfirmation, {SetupDir}), YesNoQuestion) != IDYES)
    throw Exception(rsDeleteFilesCancelled);
  if (deleteFiles) CheckLockedFiles(rsFileLockedBeforeDelete);
  if (!BeforeDelete.empty()) RunProgram(SetupDir + BeforeDelete, L"/BEFOREDELETE", BeforeDeleteInfo);

  ReportRegistrationStatus(rsUninstallProgram, L" ", L" ", 0);
  RemoveShortcutsAndOleServers(SetupIni && SetupIni->ReadBool(ProductSection, L"UnregOleFiles", false));
  if (deleteFiles) DeleteProgramFolder();
  UnregisterFileAssociation();
  DeleteUninstallEntry();
  UnregisterFromProgramsIni();
  ReportRegistrationStatus(L" ", L" ", L" ", 100);

  if (network) ReportMessage(mkWarning, FormatText(rsDeleteFilesNotPerformed, {SetupDir}));
  if (protectedFolder) ReportMessage(mkWarning, FormatText(ProtectedFolderNotDeleted, {SetupDir}));
}

void TKvtSetup::RemoveShortcutsAndOleServers(bool unregisterOle) {
  IPlatformTools& platform = PlatformTools();
  // COM for the shell and the OLE servers when the engine runs on a thread
  // of the caller's that did not initialise it.
  const bool comInitialized = !platform.IsMainThread() && platform.InitializeCom();
  // Servers unregister through their own entry points, which may need OLE.
  const bool oleInitialized = unregisterOle && SUCCEEDED(::OleInitialize(nullptr));
  for (const TProgramLstFileItem* item : *FileList) {
    if (item->IsDeleted || item->IsOutside()) continue;
    if (item->HasCaption()) DeleteProgramsShortcut(TargetGroup, item->NormalizedCaption());
    if (!unregisterOle || !item->HasStatus(L"g")) continue;
    const std::wstring file = item->TargetPath(InstallDir);
    ReportRegistrationStatus(rsUninstallProgram, file, L"", -1);
    // One server that cannot be unregistered does not keep the others, or
    // the rest of the uninstall, from being done.
    try {
      UnregisterOleFile(file);
    } catch (const std::exception& e) {
      ReportMessage(mkError, FormatText(rsRegOleFileError, {file, ExceptionMessage(e)}));
    }
  }
  if (oleInitialized) ::OleUninitialize();
  if (comInitialized) platform.UninitializeCom();
}

void TKvtSetup::DeleteProgramFolder() {
  // Neither this process nor the folder's own attributes may keep it.
  ::SetCurrentDirectoryW(WorkDir.c_str());
  const std::wstring folder = ExcludeTrailingBackslash(SetupDir);
  IPlatformTools& platform = PlatformTools();
  const std::uint32_t blocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const auto clearAttributes = [&] {
    const std::uint32_t attributes = platform.GetFileAttributes(folder);
    if (attributes != InvalidFileAttributes && (attributes & blocking) != 0)
      platform.SetFileAttributes(folder, attributes & ~blocking);
  };
  clearAttributes();
  // The files that make the folder an installed copy go last, once all
  // else has gone: a folder that keeps a file it could not delete is still
  // a copy whose uninstall can be run again. What cannot be deleted stays
  // behind without a message.
  const std::wstring base = UpperCaseText(IncludeTrailingBackslash(folder));
  const auto identifiesCopy = [&](const std::wstring& file) {
    const std::wstring name = UpperCaseText(file);
    return name == base + L"SETUP.INI" || name == base + L"INSTCFG.INI" ||
           (!FilesLst.empty() && name == base + UpperCaseText(FilesLst));
  };
  if (!DeleteDirectory(folder, false, true, true, identifiesCopy)) return;
  clearAttributes();
  DeleteDirectory(folder, true, true, true);
}
