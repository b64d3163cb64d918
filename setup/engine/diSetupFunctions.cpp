#include "setup/engine/diSetupFunctions.h"

#include <map>

#include "setup/engine/KvtDistr.h"
#include "setup/engine/diKvtSetupDistr.h"

namespace {

// The pipelines this engine carries, by function code (codes 1 to 6 of
// KvtDistr.h); a code missing here succeeds without doing anything.
std::map<std::int32_t, TSetupFunction> BuiltInSetupFunctions() {
  return {
      {sfCheck, &CheckProgramFunction},
      {sfBuildKit, &BuildDistributionFunction},
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
