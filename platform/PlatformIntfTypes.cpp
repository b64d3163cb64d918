#include "platform/PlatformIntfTypes.h"

#include <mutex>

#include "platform/PlatformToolsBase.h"

namespace {
// Created on first use rather than by a static initialiser, so that units
// initialised earlier can already call PlatformTools().
struct TPlatformInstance {
  std::once_flag Created;
  std::mutex Guard;
  RefPtr<IPlatformTools> Tools;
  TRuntimeEnvironment Environment;
};

TPlatformInstance& Instance() {
  // Never destroyed: code running during static destruction may still ask.
  static TPlatformInstance* instance = new TPlatformInstance;
  std::call_once(instance->Created, [] { instance->Tools = CreateSystemPlatformTools(instance->Environment); });
  return *instance;
}
}  // namespace

IPlatformTools& PlatformTools() { return *Instance().Tools; }

const TRuntimeEnvironment& RuntimeEnvironment() { return Instance().Environment; }

RefPtr<IPlatformTools> SetPlatformTools(RefPtr<IPlatformTools> tools) {
  TPlatformInstance& instance = Instance();
  std::lock_guard<std::mutex> lock(instance.Guard);
  RefPtr<IPlatformTools> previous = instance.Tools;
  instance.Tools = tools;
  return previous;
}
