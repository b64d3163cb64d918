// setup.exe: the first instance relaunches itself from a temporary folder;
// the copy (started with "/STARTDIR") does the work.

#include "platform/PlatformIntfTypes.h"
#include "platform/Win.h"
// after Win.h: needs <windows.h>
#include <objbase.h>
#include "setup/distribution/Tempdir.h"
#include "setup/engine/diExceptions.h"
#include "setup/main/SetupCommandLine.h"
#include "setup/main/SetupLog.h"
#include "setup/main/SetupRelaunch.h"
#include "setup/main/SetupStart.h"
#include "setup/messages/LocalizationStartup.h"
#include "setup/messages/XilSetupRuntimeMessages.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {

void ShowError(const std::wstring& text, const std::wstring& caption) {
  WriteSetupLog(TSetupLogEntry::Error, text);
  GuiTools().ShowMessage(mkError, text, caption, false);
}

void RunSetup() {
  PlatformTools();
  ApplyLocalization();
  StartTempDirectory();
  const std::vector<std::wstring> args = SplitCommandLine(::GetCommandLineW());
  // Both instances log: the first one its relaunch failures, the copy its
  // run (the relaunch hands it the same file).
  const std::wstring log = FindLogFile(args);
  if (!log.empty()) OpenSetupLog(log);
  if (!RuntimeEnvironment().IsWindowsNT) {
    ShowError(rsSetupInvalidOpSystem, L"Tavrel (UPnP, DLNA, HTTP)");
    return;
  }
  const bool comInitialized = ::CoInitialize(nullptr) >= 0;
  if (HasSwitchWithValue(args, L"STARTDIR")) {
    RunRelaunchedCopy(args);
  } else {
    RelaunchFromTemp(args);
  }
  if (comInitialized) ::CoUninitialize();
  FinishTempDirectory();
  CloseSetupLog();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    RunSetup();
  } catch (const std::exception& e) {
    ShowError(ExceptionMessage(e), L"Error");
  } catch (...) {
    ShowError(L"Unknown error", L"Error");
  }
  return 0;
}
