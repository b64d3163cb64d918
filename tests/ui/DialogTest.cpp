#include "setup/ui/Dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileTool.h"
#include "ui/UiTestWindows.h"

namespace {

constexpr int SmallTemplate = 9001;
constexpr int EditItem = 10;

std::vector<UINT>& RecordedByClass() {
  static std::vector<UINT> messages;
  return messages;
}

// The window's own procedure, which must keep the messages its object does
// not handle.
LRESULT CALLBACK RecordingClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  RecordedByClass().push_back(message);
  if (message == WM_APP + 1) return 12345;
  return ::DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t* RecordingClass() {
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordingClassProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TavrelRecordingWindow";
    return ::RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
  return L"TavrelRecordingWindow";
}

class TRecordingControl : public TExtWinControl {
public:
  void WndProc(WindowMessage& message) override {
    Seen.push_back(message.Message);
    TExtWinControl::WndProc(message);
  }
  std::vector<UINT> Seen;
};

bool Contains(const std::vector<UINT>& messages, UINT message) {
  return std::find(messages.begin(), messages.end(), message) != messages.end();
}

TEST(ExtWinControlTest, EveryMessageReachesTheObjectAndUnhandledOnesThePreviousProcedure) {
  HWND window = ::CreateWindowExW(0, RecordingClass(), L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  const LONG_PTR ownProcedure = ::GetWindowLongPtrW(window, GWLP_WNDPROC);
  {
    TRecordingControl control;
    control.Create(window);
    RecordedByClass().clear();
    EXPECT_EQ(::SendMessageW(window, WM_APP + 1, 0, 0), 12345);
    ::SetWindowTextW(window, L"x");
    EXPECT_TRUE(Contains(control.Seen, WM_APP + 1));
    EXPECT_TRUE(Contains(control.Seen, WM_SETTEXT));
    EXPECT_TRUE(Contains(RecordedByClass(), WM_APP + 1));
    EXPECT_TRUE(Contains(RecordedByClass(), WM_SETTEXT));
    EXPECT_EQ(control.Text(), L"x");
  }
  // The object gone, the window has its own procedure back.
  EXPECT_EQ(::GetWindowLongPtrW(window, GWLP_WNDPROC), ownProcedure);
  RecordedByClass().clear();
  EXPECT_EQ(::SendMessageW(window, WM_APP + 1, 0, 0), 12345);
  ::DestroyWindow(window);
}

TEST(ExtWinControlTest, ASecondObjectTakesTheWindowOver) {
  HWND window = ::CreateWindowExW(0, RecordingClass(), L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
  TRecordingControl first;
  TRecordingControl second;
  first.Create(window);
  second.Create(window);
  EXPECT_EQ(first.Handle(), nullptr);
  EXPECT_EQ(::SendMessageW(window, WM_APP + 1, 0, 0), 12345);
  EXPECT_TRUE(Contains(second.Seen, WM_APP + 1));
  EXPECT_FALSE(Contains(first.Seen, WM_APP + 1));
  ::DestroyWindow(window);
}

WNDPROC OuterPrevious = nullptr;

// A subclass put over a wrapped window by someone else, after its object.
LRESULT CALLBACK OuterSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(OuterPrevious, window, message, wParam, lParam);
}

TEST(ExtWinControlTest, AnObjectGoneUnderALaterSubclassLeavesTheWindowItsOwnProcedure) {
  HWND window = ::CreateWindowExW(0, RecordingClass(), L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  {
    auto control = std::make_unique<TRecordingControl>();
    control->Create(window);
    OuterPrevious = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OuterSubclassProc)));
  }
  // The later subclass still passes its messages down the chain: they reach
  // the window's own procedure, not a freed object.
  RecordedByClass().clear();
  EXPECT_EQ(::SendMessageW(window, WM_APP + 1, 0, 0), 12345);
  EXPECT_TRUE(Contains(RecordedByClass(), WM_APP + 1));
  // A new object on that window sees each message once, and so does the
  // window's own procedure.
  TRecordingControl next;
  next.Create(window);
  RecordedByClass().clear();
  EXPECT_EQ(::SendMessageW(window, WM_APP + 1, 0, 0), 12345);
  EXPECT_EQ(std::count(next.Seen.begin(), next.Seen.end(), WM_APP + 1), 1);
  EXPECT_EQ(std::count(RecordedByClass().begin(), RecordedByClass().end(), WM_APP + 1), 1);
  ::DestroyWindow(window);
  EXPECT_EQ(next.Handle(), nullptr);
}

TEST(ExtWinControlTest, AWindowDestroyedBeforeItsObjectLeavesTheObjectHarmless) {
  HWND window = ::CreateWindowExW(0, RecordingClass(), L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
  TRecordingControl control;
  control.Create(window);
  ::DestroyWindow(window);
  EXPECT_TRUE(Contains(control.Seen, WM_NCDESTROY));
  EXPECT_EQ(control.Handle(), nullptr);
}

// A dialog that records what reaches it and ends itself in a chosen way.
class TRecordingDialog : public TDialog {
public:
  TRecordingDialog(int templateId, UINT endMessage, WPARAM endCommand)
      : TDialog(nullptr, L"Recording dialog", templateId), EndMessage(endMessage), EndCommand(endCommand) {}

  bool DialogProc(WindowMessage& message) override {
    Seen.push_back(message.Message);
    if (message.Message == WM_INITDIALOG) HandleAtInit = Handle() == message.Window;
    return TDialog::DialogProc(message);
  }
  void InitDialog() override {
    Edit = &WrapItem<TRecordingControl>(EditItem);
    TDialog::InitDialog();
    if (EndMessage != 0) ::PostMessageW(Handle(), EndMessage, EndCommand, 0);
  }

  bool AcceptsDialogFont(HWND child) override {
    Offered.push_back(child);
    return TDialog::AcceptsDialogFont(child);
  }

  std::vector<UINT> Seen;
  std::vector<HWND> Offered;
  bool HandleAtInit = false;
  TRecordingControl* Edit = nullptr;

private:
  UINT EndMessage;
  WPARAM EndCommand;
};

struct TModalEndCase {
  const char* Name;
  UINT Message;
  WPARAM Command;
  INT_PTR Expected;
};

TEST(DialogTest, ModalDialogEndsWithTheCommandsIdentifierAndSeesTheMessagesOfItsCreation) {
  const TModalEndCase cases[] = {
      {"OK button", WM_COMMAND, IDOK, IDOK},
      {"Cancel button", WM_COMMAND, IDCANCEL, IDCANCEL},
      {"closed", WM_CLOSE, 0, IDCANCEL},
  };
  for (const TModalEndCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRecordingDialog dialog(SmallTemplate, c.Message, c.Command);
    EXPECT_EQ(dialog.ShowModal(), c.Expected);
    // The font message comes before WM_INITDIALOG, during DialogBoxParamW.
    ASSERT_FALSE(dialog.Seen.empty());
    EXPECT_EQ(dialog.Seen.front(), static_cast<UINT>(WM_SETFONT));
    EXPECT_TRUE(Contains(dialog.Seen, WM_INITDIALOG));
    EXPECT_TRUE(Contains(dialog.Seen, WM_DESTROY));
    EXPECT_TRUE(dialog.HandleAtInit);
    EXPECT_EQ(dialog.Handle(), nullptr);
    // The wrapped edit saw the dialog font, and passed it on to the edit.
    ASSERT_NE(dialog.Edit, nullptr);
    EXPECT_TRUE(Contains(dialog.Edit->Seen, WM_SETFONT));
  }
}

TEST(DialogTest, AFailedModalRunRaises) {
  TDialog dialog(nullptr, L"", 4711);  // no such template
  EXPECT_THROW(dialog.ShowModal(), EOSError);
}

std::vector<std::string>& DestructionLog() {
  static std::vector<std::string> log;
  return log;
}

class TOrderProbe : public TWinControl {
public:
  ~TOrderProbe() override {
    DestructionLog().push_back(std::to_string(::GetDlgCtrlID(Handle())) +
                               (::IsWindow(::GetParent(Handle())) ? " window alive" : " window gone"));
  }
};

TEST(DialogTest, OwnedControlsAreFreedInCreationOrderBeforeTheWindow) {
  DestructionLog().clear();
  HWND window = nullptr;
  {
    TRecordingDialog dialog(SmallTemplate, 0, 0);
    dialog.ShowModeless();
    window = dialog.Handle();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));
    // As in a modal run, the messages of CreateDialogParamW reach the
    // dialog from its first one, and those of the wrapped edit the edit.
    ASSERT_FALSE(dialog.Seen.empty());
    EXPECT_EQ(dialog.Seen.front(), static_cast<UINT>(WM_SETFONT));
    EXPECT_TRUE(dialog.HandleAtInit);
    ASSERT_NE(dialog.Edit, nullptr);
    EXPECT_TRUE(Contains(dialog.Edit->Seen, WM_SETFONT));
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendDlgItemMessageW(window, EditItem, WM_GETFONT, 0, 0)),
              dialog.DialogFont());
    dialog.WrapItem<TOrderProbe>(11);
    dialog.WrapItem<TOrderProbe>(2);
    dialog.AddControl(std::make_unique<TOrderProbe>()).Create(::GetDlgItem(window, 12));
  }
  EXPECT_EQ(DestructionLog(), (std::vector<std::string>{"11 window alive", "2 window alive", "12 window alive"}));
  EXPECT_FALSE(::IsWindow(window));
}

// The dialog font in the setup window's own template and in a template of
// the default character set.
TEST(DialogTest, EveryChildGetsTheDialogFontWithTheRussianCharacterSet) {
  for (int templateId : {102, SmallTemplate}) {
    SCOPED_TRACE(templateId);
    TRecordingDialog dialog(templateId, 0, 0);
    dialog.ShowModeless();
    ASSERT_NE(dialog.DialogFont(), nullptr);
    LOGFONTW original{};
    ASSERT_NE(::GetObjectW(dialog.TemplateFont(), sizeof original, &original), 0);
    int children = 0;
    for (HWND child = ::GetWindow(dialog.Handle(), GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      EXPECT_TRUE(std::find(dialog.Offered.begin(), dialog.Offered.end(), child) != dialog.Offered.end());
      // Icons and separator lines have no text and keep no font.
      auto font = reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0));
      if (font == nullptr) continue;
      ++children;
      EXPECT_EQ(font, dialog.DialogFont()) << ::GetDlgCtrlID(child);
      LOGFONTW logFont{};
      ASSERT_NE(::GetObjectW(font, sizeof logFont, &logFont), 0);
      EXPECT_EQ(logFont.lfCharSet, 204) << ::GetDlgCtrlID(child);
      EXPECT_EQ(logFont.lfHeight, original.lfHeight);
      EXPECT_EQ(std::wstring(logFont.lfFaceName), std::wstring(original.lfFaceName));
    }
    EXPECT_GE(children, 5);
    // The caption given to the object replaces the template's.
    EXPECT_EQ(dialog.Text(), L"Recording dialog");
  }
}

TEST(DialogTest, ScaleFollowsTheScreensVerticalResolution) {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(ScaleY(96), dpi);
  EXPECT_EQ(ScaleY(15), ::MulDiv(15, dpi, 96));
}

}  // namespace
