#pragma once
// The Windows implementation of IGuiTools: system message boxes whose
// button texts and placement are set by a CBT hook just before the box is
// activated.

#include "platform/Win.h"
#include "setup/ui/GuiIntfTypes.h"

class TGuiTools : public TRefCountedObject<IGuiTools> {
public:
  void CenterWindow(WindowHandle window, WindowHandle owner, bool fit) override;
  std::int32_t ShowMessage(TMessageKind kind, const std::wstring& text, const std::wstring& caption,
                           bool centre) override;
  void RefreshTrayArea() override;
  bool Confirm(const std::wstring& text, const std::wstring& caption, bool centre, WindowHandle owner) override;
  std::int32_t MessageBox(const std::wstring& text, std::uint32_t flags, const std::wstring& caption) override;
};

// Sends the mouse moves of RefreshTrayArea to the notification area inside
// tray (its "ToolbarWindow32" inside "TrayNotifyWnd", or "TrayNotifyWnd"
// itself); false when tray holds no "TrayNotifyWnd".
bool RefreshTrayWindow(HWND tray);
