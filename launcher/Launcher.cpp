#include "launcher/Launcher.h"

#include <exception>

#include "launcher/HomeDrive.h"
#include "launcher/LauncherSystem.h"
#include "launcher/ProductStart.h"
#include "launcher/ScreenResolution.h"
#include "launcher/UserFolders.h"
#include "platform/Win.h"
// objbase.h needs the declarations of windows.h first.
#include <objbase.h>

namespace {

void RunSteps(const std::vector<std::wstring>& Arguments, const std::function<void()>& FaultPoint) {
  if (FaultPoint) FaultPoint();
  MapHomeDrive();
  CreateUserFolders();
  ApplyScreenResolution();
  StartProduct(InstallDirectory(), KitDirectory(), Arguments);
}

void ShowError(const std::wstring& Message) { ::MessageBoxW(nullptr, Message.c_str(), L"Error", MB_ICONERROR); }

}  // namespace

int RunJomStart(const std::vector<std::wstring>& Arguments, const std::function<void()>& FaultPoint) {
  const bool ComReady = SUCCEEDED(::CoInitialize(nullptr));
  try {
    RunSteps(Arguments, FaultPoint);
  } catch (const std::exception& Error) {
    ShowError(WideFromAnsi(Error.what()));
  } catch (...) {
    ShowError(L"Unknown error");
  }
  if (ComReady) ::CoUninitialize();
  return 0;
}
