// Native builds have no window system: every box fails as a box that could
// not be shown does, so that platform-neutral code links and runs in tests.
#include "setup/ui/GuiIntfTypes.h"

namespace {

constexpr std::uint32_t ErrorCallNotImplemented = 120;  // ERROR_CALL_NOT_IMPLEMENTED

class TNoWindowGuiTools : public TRefCountedObject<IGuiTools> {
public:
  void CenterWindow(WindowHandle, WindowHandle, bool) override {}
  std::int32_t ShowMessage(TMessageKind, const std::wstring&, const std::wstring&, bool) override { return Fail(); }
  void RefreshTrayArea() override {}
  bool Confirm(const std::wstring&, const std::wstring&, bool, WindowHandle) override { return Fail() != 0; }
  std::int32_t MessageBox(const std::wstring&, std::uint32_t, const std::wstring&) override { return Fail(); }

private:
  static std::int32_t Fail() {
    PlatformTools().SetLastError(ErrorCallNotImplemented);
    return 0;
  }
};

}  // namespace

RefPtr<IGuiTools> CreateSystemGuiTools() { return MakeRef<TNoWindowGuiTools>(); }
