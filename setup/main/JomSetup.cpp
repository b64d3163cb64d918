// setup.exe: the first instance relaunches itself from a temporary folder;
// the copy (started with "/STARTDIR") does the work.

#include "platform/PlatformIntfTypes.h"
#include "platform/Win.h"
// after Win.h: needs <windows.h>
#include <objbase.h>
#include "setup/distribution/Tempdir.h"
#include "setup/engine/diExceptions.h"
#include "setup/main/SetupCommandLine.h"
#include "setup/main/SetupRelaunch.h"
#include "setup/main/SetupStart.h"
#include "setup/messages/MessageCatalogue.h"
#include "setup/messages/XilSetupRuntimeMessages.h"

namespace {

void ShowError(const std::wstring& text, const std::wstring& caption) {
  ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void RunSetup() {
  const std::wstring commandLine = ::GetCommandLineW();
  const std::vector<std::wstring> args = SplitCommandLine(commandLine);
  std::vector<std::wstring> withProgram{SetupExeDir() + SetupExeName()};
  withProgram.insert(withProgram.end(), args.begin(), args.end());
  PlatformTools();
  ApplyLocalization(withProgram);
  StartTempDirectory();
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
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    RunSetup();
  } catch (const std::exception& e) {
    ShowError(ExceptionMessage(e), L"Error");
  }
  return 0;
}
