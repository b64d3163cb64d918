#include "setup/engine/diSetupFunctions.h"

#include <map>

#include "setup/engine/KvtDistr.h"
#include "setup/engine/diExceptions.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/engine/diKvtSetupDistr.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/XilSetupRuntimeMessages.h"

namespace {

// A function whose pipeline this build does not carry yet: it fails with a
// message naming the function instead of reporting a success it never had.
TSetupFunction NotBuilt(const std::wstring& caption) {
  return [caption](TKvtSetup&, void*) {
    throw Exception(FormatText(L"Функция \"%s\" недоступна в этой сборке программы установки", {caption}));
  };
}

// The pipelines this engine carries, by function code (codes 1 to 6 of
// KvtDistr.h); any other code succeeds without doing anything.
std::map<std::int32_t, TSetupFunction> BuiltInSetupFunctions() {
  return {
      {sfInstall, [](TKvtSetup& setup, void* parameter) {
         setup.InstallWithParams(static_cast<const TInstallParams*>(parameter));
       }},
      {sfUpdate, NotBuilt(rsProgramMaintenance)},
      {sfCheck, &CheckProgramFunction},
      {sfBuildKit, &BuildDistributionFunction},
      {sfStationSetup, [](TKvtSetup& setup, void*) { setup.InstallStation(); }},
      {sfUninstall, [](TKvtSetup& setup, void*) { setup.UninstallProgram(); }},
  };
}

std::map<std::int32_t, TSetupFunction>& SetupFunctions() {
  static std::map<std::int32_t, TSetupFunction> functions = BuiltInSetupFunctions();
  return functions;
}

}  // namespace

TSetupFunction FindSetupFunction(std::int32_t code) {
  const auto found = SetupFunctions().find(code);
  return found == SetupFunctions().end() ? TSetupFunction() : found->second;
}

TSetupFunction RegisterSetupFunction(std::int32_t code, TSetupFunction function) {
  TSetupFunction previous = FindSetupFunction(code);
  if (function) {
    SetupFunctions()[code] = std::move(function);
  } else {
    SetupFunctions().erase(code);
  }
  return previous;
}
