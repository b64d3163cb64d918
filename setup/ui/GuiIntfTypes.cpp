#include "setup/ui/GuiIntfTypes.h"

#include <mutex>

namespace {

struct TGuiInstance {
  std::mutex Lock;
  RefPtr<IGuiTools> Tools;
};

TGuiInstance& Instance() {
  // Never destroyed: code running during static destruction may still
  // report an error.
  static TGuiInstance* instance = new TGuiInstance;
  return *instance;
}

}  // namespace

IGuiTools& GuiTools() {
  TGuiInstance& instance = Instance();
  std::lock_guard<std::mutex> guard(instance.Lock);
  if (!instance.Tools) instance.Tools = CreateSystemGuiTools();
  return *instance.Tools;
}

RefPtr<IGuiTools> SetGuiTools(RefPtr<IGuiTools> tools) {
  TGuiInstance& instance = Instance();
  std::lock_guard<std::mutex> guard(instance.Lock);
  RefPtr<IGuiTools> previous = instance.Tools;
  instance.Tools = tools;
  return previous;
}

void ShowErrorMessage(const std::wstring& text, const std::wstring& caption) {
  GuiTools().ShowMessage(mkError, text, caption, true);
}
