#include "setup/ui/JomSetupControls.h"

#include <algorithm>
#include <cwctype>

#include "platform/PlatformIntfTypes.h"
#include "platform/UniqueHandle.h"

namespace {

// Selects an object into a device context for a scope.
class TSelected {
public:
  TSelected(HDC dc, HGDIOBJ object) : Dc(dc), Previous(object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
  ~TSelected() {
    if (Previous != nullptr && Previous != HGDI_ERROR) ::SelectObject(Dc, Previous);
  }
  TSelected(const TSelected&) = delete;
  TSelected& operator=(const TSelected&) = delete;

private:
  HDC Dc;
  HGDIOBJ Previous;
};

HFONT ParentFont(HWND window) {
  return reinterpret_cast<HFONT>(::SendMessageW(::GetParent(window), WM_GETFONT, 0, 0));
}

bool IsButtonClass(HWND window) {
  wchar_t name[16] = {};
  if (window == nullptr || ::GetClassNameW(window, name, 16) == 0) return false;
  return ::_wcsicmp(name, L"BUTTON") == 0;
}

// The deepest visible, enabled window at a screen point.
HWND DeepestWindowAt(POINT screen) {
  HWND window = ::WindowFromPoint(screen);
  while (window != nullptr) {
    POINT client = screen;
    ::ScreenToClient(window, &client);
    HWND child = ::ChildWindowFromPointEx(window, client, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED);
    if (child == nullptr || child == window) break;
    window = child;
  }
  return window;
}

}  // namespace

HBRUSH FaceBrush() {
  static const UniqueGdiObject brush([] {
    HDC screen = ::GetDC(nullptr);
    HBRUSH made = ::CreateSolidBrush(screen != nullptr ? ::GetNearestColor(screen, FaceColor) : FaceColor);
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    return made;
  }());
  return static_cast<HBRUSH>(brush.get());
}

// --- TProgress -------------------------------------------------------------

void TProgress::SetPosition(int value) {
  if (value == Value) return;
  Value = value;
  Invalidate();
  PlatformTools().ProcessPendingMessages();
}

void TProgress::Paint(HDC dc) {
  const RECT client = ClientRect();
  Draw3DBorder(dc, client, FaceColor, false, 1, false);
  RECT inner = client;
  ::InflateRect(&inner, -1, -1);
  RECT rest = inner;
  if (Value > 0) {
    RECT filled = inner;
    // A position above 100 fills the bar, not its frame.
    filled.right = std::min<LONG>(::MulDiv(Value, inner.right, 100), inner.right);
    DrawRectangle(dc, filled, ProgressColor, true);
    rest.left = filled.right;
  }
  if (rest.left < rest.right) ::FillRect(dc, &rest, FaceBrush());
  if (Value <= 0) return;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, 0);
  TSelected font(dc, ParentFont(Window));
  DrawTextCentered(dc, inner, std::to_wstring(Value) + L"%", DT_CENTER);
}

// --- TColorButton ----------------------------------------------------------

TColorButton::TColorButton(HWND window, bool defaultLook, HFONT font, HIMAGELIST images, int imageIndex)
    : DefaultLook(defaultLook), ButtonFont(font), Images(images), ImageIndex(imageIndex) {
  TColorButton::Create(window);
}

bool TColorButton::IsDefaultLook() const {
  HWND focus = ::GetFocus();
  if (focus == Window) return true;
  return !IsButtonClass(focus) && DefaultLook;
}

void TColorButton::InvalidateBorderRing() {
  const RECT client = ClientRect();
  RECT inner = client;
  ::InflateRect(&inner, -1, -1);
  HRGN ring = ::CreateRectRgnIndirect(&client);
  HRGN hole = ::CreateRectRgnIndirect(&inner);
  if (ring != nullptr && hole != nullptr) {
    ::CombineRgn(ring, ring, hole, RGN_DIFF);
    ::InvalidateRgn(Window, ring, TRUE);
  }
  if (ring != nullptr) ::DeleteObject(ring);
  if (hole != nullptr) ::DeleteObject(hole);
}

void TColorButton::Paint(HDC dc) {
  RECT rect = ClientRect();
  if (IsPressed) {
    Draw3DBorder(dc, rect, FaceColor, false, 1, false);
  } else {
    DrawRectangle(dc, rect, IsDefaultLook() ? DarkColor : BorderColor, false, 1);
  }
  ::InflateRect(&rect, -1, -1);
  if (IsPressed) {
    GradientFill(dc, rect, ShadeColor(FaceColor, -8), ShadeColor(FaceColor, 8));
  } else if (Hot) {
    GradientFill(dc, rect, ShadeColor(FaceColor, 16), FaceColor);
  } else {
    GradientFill(dc, rect, ShadeColor(FaceColor, 16), ShadeColor(FaceColor, -16));
  }
  if (Images != nullptr && ImageIndex >= 0) {
    int width = 0;
    int height = 0;
    ::ImageList_GetIconSize(Images, &width, &height);
    const int x = (rect.left + rect.right - width) / 2;
    const int y = ScaleY(6) + (ScaleY(height) - height) / 2;
    ::ImageList_Draw(Images, ImageIndex, dc, x, y, ILD_TRANSPARENT);
    rect.top += ScaleY(height) + ScaleY(2);
  }
  ::SetTextColor(dc, Enabled() ? 0 : BorderColor);
  ::SetBkMode(dc, TRANSPARENT);
  TSelected font(dc, ButtonFont != nullptr ? ButtonFont : ParentFont(Window));
  DrawTextCentered(dc, rect, Text(), DT_CENTER);
}

void TColorButton::Click() {
  ::SendMessageW(::GetParent(Window), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(Window), 0),
                 reinterpret_cast<LPARAM>(Window));
  ::SetFocus(Window);
}

void TColorButton::WndProc(WindowMessage& message) {
  switch (message.Message) {
    case WM_GETDLGCODE:
      if (IsDefaultLook()) {
        message.Result = DLGC_DEFPUSHBUTTON;
        InvalidateBorderRing();
      } else {
        if (DefaultLook) InvalidateBorderRing();
        message.Result = DLGC_UNDEFPUSHBUTTON;
      }
      return;
    case BM_GETSTATE:
      message.Result = IsPressed ? BST_PUSHED : 0;
      return;
    case WM_KEYDOWN:
      if (message.WParam == VK_SPACE && !IsPressed) {
        IsPressed = true;
        Invalidate();
      }
      return;
    case WM_KEYUP:
      if (message.WParam == VK_SPACE && IsPressed) {
        IsPressed = false;
        Invalidate();
        Click();
      }
      return;
    case WM_ENABLE:
      Invalidate();
      return;
    case WM_MOUSEMOVE:
      if (!Hot && CanHover()) {
        Hot = true;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Window, 0};
        ::TrackMouseEvent(&track);
        Invalidate();
      }
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      IsPressed = true;
      ::SetCapture(Window);
      Invalidate();
      return;
    case WM_LBUTTONUP: {
      // A release counts only after a press on the button, and only where
      // the button itself is the deepest window under the pointer.
      const bool wasPressed = IsPressed;
      IsPressed = false;
      ::ReleaseCapture();
      Invalidate();
      POINT point{static_cast<short>(LOWORD(message.LParam)), static_cast<short>(HIWORD(message.LParam))};
      ::ClientToScreen(Window, &point);
      if (wasPressed && DeepestWindowAt(point) == Window) Click();
      return;
    }
    case WM_MOUSELEAVE:
      if (CanHover()) {
        Hot = false;
        Invalidate();
      }
      return;
    default:
      TColorControl::WndProc(message);
  }
}

// --- TColorCheckBox --------------------------------------------------------

void TColorCheckBox::Paint(HDC dc) {
  const RECT client = ClientRect();
  RECT rect = client;
  ::InflateRect(&rect, -1, -1);
  const int side = rect.bottom - rect.top;
  const RECT box{rect.left, rect.top, rect.left + side, rect.bottom};
  FrameAndFill(dc, box, 0xFFFFFF, BorderColor);
  if (Checked) {
    const int o = (side - 12) / 2;
    for (int i = 0; i < 3; ++i) DrawLine(dc, {4 + i + o, 6 + i + o}, {4 + i + o, 9 + i + o}, DarkColor);
    for (int i = 0; i < 4; ++i) DrawLine(dc, {7 + i + o, 7 - i + o}, {7 + i + o, 10 - i + o}, DarkColor);
  }
  ::SetTextColor(dc, Enabled() ? 0 : BorderColor);
  ::SetBkMode(dc, TRANSPARENT);
  TSelected font(dc, ButtonFont != nullptr ? ButtonFont : ParentFont(Window));
  RECT caption{box.right + 2, client.top, client.right, client.bottom};
  DrawTextCentered(dc, caption, Text(), DT_SINGLELINE);
}

void TColorCheckBox::Click() {
  Checked = !Checked;
  Invalidate();
  ::SetFocus(Window);
}

// --- TColorComboBox --------------------------------------------------------

namespace {

int ScrollBarWidth() {
  static const int width = ::GetSystemMetrics(SM_CXHSCROLL);
  return width;
}

}  // namespace

void TColorComboBox::Create(HWND window) {
  const int scroll = ScrollBarWidth();
  TExtWinControl::Create(window);
  if (window == nullptr) return;
  Edit = ::FindWindowExW(window, nullptr, L"Edit", nullptr);
  if (Edit == nullptr) ::SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), ScaleY(15));
  const RECT bounds = Bounds();
  const int field = static_cast<int>(::SendMessageW(window, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  const int item = static_cast<int>(::SendMessageW(window, CB_GETITEMHEIGHT, 0, 0));
  SetBounds(-1, -1, bounds.right - bounds.left + 1, field + 10 * item);
  const RECT client = ClientRect();
  if (Edit != nullptr) {
    ::SetWindowPos(Edit, nullptr, 2, 2, client.right - scroll - 4, client.bottom - 4,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ButtonRect = client;
  ::InflateRect(&ButtonRect, -1, -1);
  ButtonRect.left = std::max(ButtonRect.left, ButtonRect.right - scroll);
}

void TColorComboBox::DrawButton(HDC dc) {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  ::ScreenToClient(Window, &cursor);
  ButtonPressed = ::PtInRect(&ButtonRect, cursor) && (::GetKeyState(VK_LBUTTON) & 0x8000) != 0;
  Draw3DBorder(dc, ButtonRect, FaceColor, !ButtonPressed, 1, true);
  RECT button = ButtonRect;
  if (ButtonPressed) ::OffsetRect(&button, 1, 1);
  int w = (button.right - button.left - 1) / 2;
  if (w % 2 == 0) ++w;
  const int x = (button.left + button.right - w) / 2;
  const int y = (button.top + button.bottom - w / 2 - 1 + 1) / 2;
  const POINT arrow[] = {{x, y}, {x + w - 1, y}, {(button.left + button.right - 1) / 2, y + w / 2}};
  UniqueGdiObject pen(::CreatePen(PS_SOLID, 1, ::GetNearestColor(dc, BorderColor)));
  UniqueGdiObject brush(CreateNearestBrush(dc, BorderColor));
  TSelected selectPen(dc, pen.get());
  TSelected selectBrush(dc, brush.get());
  ::Polygon(dc, arrow, 3);
}

void TColorComboBox::Paint(HDC dc) {
  const RECT client = ClientRect();
  const bool enabled = Enabled();
  FrameAndFill(dc, client, enabled ? clWindow : static_cast<TColor>(FaceColor), BorderColor);
  DrawButton(dc);
  RECT field = client;
  ::InflateRect(&field, -3, -3);
  field.right -= ButtonRect.right - ButtonRect.left;
  const int selected = static_cast<int>(::SendMessageW(Window, CB_GETCURSEL, 0, 0));
  if (HasStyle(CBS_OWNERDRAWFIXED) && selected >= 0) {
    DRAWITEMSTRUCT draw{};
    draw.itemID = static_cast<UINT>(selected);
    draw.itemState = ODS_COMBOBOXEDIT;
    if (::GetFocus() == Window) draw.itemState |= ODS_SELECTED | ODS_FOCUS;
    draw.hwndItem = Window;
    draw.hDC = dc;
    draw.rcItem = field;
    ::SendMessageW(::GetParent(Window), WM_DRAWITEM, static_cast<WPARAM>(::GetDlgCtrlID(Window)),
                   reinterpret_cast<LPARAM>(&draw));
    return;
  }
  if (Edit != nullptr) return;
  // A plain drop-down list shows its selection itself: dark when disabled.
  ::SetTextColor(dc, enabled ? ResolveColor(clWindowText) : DarkColor);
  ::SetBkMode(dc, TRANSPARENT);
  DrawTextCentered(dc, field, Text(), DT_SINGLELINE);
}

void TColorComboBox::WndProc(WindowMessage& message) {
  if (message.Message == WM_PAINT) {
    PaintStep(message);
    return;
  }
  CallPreviousProc(message);
  if (message.Message == WM_LBUTTONDOWN || message.Message == WM_LBUTTONUP) {
    if (HDC dc = ::GetDC(message.Window)) {
      DrawButton(dc);
      ::ReleaseDC(message.Window, dc);
    }
  }
}

// --- TColorStatic, TColorEdit, TColorFrame, TIconControl -------------------

void TColorStatic::Paint(HDC dc) {
  RECT rect = ClientRect();
  if ((::GetWindowLongPtrW(Window, GWL_EXSTYLE) & WS_EX_TRANSPARENT) != 0) {
    DrawRectangle(dc, rect, BorderColor, false, 1);
  } else {
    FrameAndFill(dc, rect, FaceColor, BorderColor);
  }
  ::InflateRect(&rect, -2, -1);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, 0);
  DrawTextCentered(dc, rect, Text(), DT_SINGLELINE);
}

void TColorEdit::Create(HWND window) {
  TExtWinControl::Create(window);
  if (window == nullptr) return;
  RECT rect = ClientRect();
  ::InflateRect(&rect, -2, -2);
  const auto margins = static_cast<DWORD>(::SendMessageW(window, EM_GETMARGINS, 0, 0));
  rect.left += LOWORD(margins);
  rect.right -= HIWORD(margins);
  ::SendMessageW(window, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&rect));
}

void TColorEdit::DrawFrame() {
  // Some edit controls paint their whole client area, frame included.
  if (HDC dc = ::GetDC(Window)) {
    FrameAndFill(dc, ClientRect(), NoColor, BorderColor);
    ::ReleaseDC(Window, dc);
  }
}

void TColorEdit::Paint(HDC dc) {
  ::SetTextColor(dc, DarkColor);
  ::SetBkMode(dc, TRANSPARENT);
  DrawTextCentered(dc, ClientRect(), Text(), DT_SINGLELINE);
}

void TColorEdit::WndProc(WindowMessage& message) {
  switch (message.Message) {
    case WM_ERASEBKGND:
      FrameAndFill(reinterpret_cast<HDC>(message.WParam), ClientRect(),
                   Enabled() ? clWindow : static_cast<TColor>(FaceColor), BorderColor);
      message.Result = 0;
      return;
    case WM_PAINT:
      if (!Enabled()) {
        PaintStep(message);
        return;
      }
      CallPreviousProc(message);
      DrawFrame();
      return;
    default:
      CallPreviousProc(message);
  }
}

void TColorFrame::Create(HWND window) {
  TColorControl::Create(window);
  if (window == nullptr) return;
  const LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
  const LONG_PTR edges = WS_EX_STATICEDGE | WS_EX_CLIENTEDGE;
  if ((exStyle & edges) == 0) return;
  ::SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle & ~edges);
  ::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TColorFrame::Paint(HDC dc) {
  const RECT rect = ClientRect();
  DrawLine(dc, {rect.left, rect.top}, {rect.right, rect.top}, BorderColor);
}

TIconControl::TIconControl(HWND window, int iconResource) {
  TIconControl::Create(window);
  Icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconResource), IMAGE_ICON, 0,
                                         0, LR_DEFAULTCOLOR));
}

TIconControl::~TIconControl() {
  if (Icon != nullptr) ::DestroyIcon(Icon);
}

void TIconControl::Paint(HDC dc) {
  if (Icon == nullptr) return;
  const RECT rect = ClientRect();
  ::DrawIconEx(dc, 0, 0, Icon, rect.right, rect.bottom, 0, nullptr, DI_NORMAL | DI_COMPAT);
}

// --- TTitleControl ---------------------------------------------------------

TTitleControl::TTitleControl(HWND window, const std::wstring& faceName, int size, int characterWidth, bool italic) {
  TTitleControl::Create(window);
  OwnPaint = true;
  LOGFONTW font{};
  font.lfHeight = -ScaleY(size);
  font.lfWidth = characterWidth;
  font.lfWeight = FW_BOLD;
  font.lfItalic = italic ? TRUE : FALSE;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  faceName.copy(font.lfFaceName, LF_FACESIZE - 1);
  FontHandle = ::CreateFontIndirectW(&font);
}

TTitleControl::~TTitleControl() {
  if (FontHandle != nullptr) ::DeleteObject(FontHandle);
}

void TTitleControl::Paint(HDC dc) {
  RECT rect = ClientRect();
  ::OffsetRect(&rect, -1, -1);
  ::SetTextColor(dc, TitleColor);
  ::SetBkMode(dc, TRANSPARENT);
  TSelected font(dc, FontHandle);
  DrawTextCentered(dc, rect, Text(), DT_CENTER);
}

void TTitleControl::FitText(int startWidth) {
  if (FontHandle == nullptr) return;
  const std::wstring text = Text();
  const int available = ClientRect().right;
  while (TextWidth(FontHandle, text) > available) {
    if (NarrowFont(FontHandle, startWidth, -1) <= 0) break;
  }
  Invalidate();
}
