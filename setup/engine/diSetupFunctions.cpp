#include "setup/engine/diSetupFunctions.h"

#include <map>

#include "setup/engine/KvtDistr.h"
#include "setup/engine/diExceptions.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/engine/diKvtSetupDistr.h"
#include "setup/engine/diKvtSetupUpdate.h"

namespace {

// The pipelines this engine carries, by function code (codes 1 to 6 of
// KvtDistr.h); any other code succeeds without doing anything.
std::map<std::int32_t, TSetupFunction> BuiltInSetupFunctions() {
  return {
      {sfInstall, [](TKvtSetup& setup, void* parameter) {
         setup.InstallWithParams(static_cast<const TInstallParams*>(parameter));
       }},
      {sfUpdate, &UpdateFromRenewFileFunction},
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
