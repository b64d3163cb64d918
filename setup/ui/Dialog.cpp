#include "setup/ui/Dialog.h"

#include <algorithm>
#include <iterator>

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "setup/ui/GdiTools.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {

// The window properties through which a window finds its object.
constexpr const wchar_t* ObjectProperty = L"Tavrel.ControlObject";
constexpr const wchar_t* DialogProperty = L"Tavrel.DialogObject";
// The procedure under the router of a window whose object has gone while a
// later subclass still calls the router.
constexpr const wchar_t* PassOnProperty = L"Tavrel.PassOnProc";

int ReadScreenPixelsPerInchY() {
  int result = 96;
  if (HDC screen = ::GetDC(nullptr)) {
    result = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
  }
  return result > 0 ? result : 96;
}

void InitCommonControlClasses(DWORD classes) {
  INITCOMMONCONTROLSEX init{sizeof init, classes};
  if (!::InitCommonControlsEx(&init)) ::InitCommonControls();
}

// The dialog whose window is being made on this thread: the first message
// of a new dialog window binds it, so that the object sees the messages
// sent before WM_INITDIALOG as well.
thread_local TDialog* PendingDialog = nullptr;

// Messages whose result a dialog procedure returns itself instead of
// storing it at DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_COMPAREITEM ||
         message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON ||
         message == WM_INITDIALOG;
}

BOOL CALLBACK SetFontOfChild(HWND child, LPARAM dialog) {
  auto* owner = reinterpret_cast<TDialog*>(dialog);
  if (owner->AcceptsDialogFont(child)) {
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(owner->DialogFont()), FALSE);
  }
  return TRUE;
}

// Selects a font into a device context for a scope.
class TFontSelection {
public:
  TFontSelection(HDC dc, HFONT font) : Dc(dc), Previous(font != nullptr ? ::SelectObject(dc, font) : nullptr) {}
  ~TFontSelection() {
    if (Previous != nullptr) ::SelectObject(Dc, Previous);
  }
  TFontSelection(const TFontSelection&) = delete;
  TFontSelection& operator=(const TFontSelection&) = delete;

private:
  HDC Dc;
  HGDIOBJ Previous;
};

}  // namespace

int ScreenPixelsPerInchY() {
  static const int value = ReadScreenPixelsPerInchY();
  return value;
}

void StartDialogUnit() {
  static const bool started = [] {
    ScreenPixelsPerInchY();
    InitCommonControlClasses(ICC_LISTVIEW_CLASSES);
    InitCommonControlClasses(ICC_INTERNET_CLASSES);
    return true;
  }();
  (void)started;
}

int ScaleY(int n) { return ::MulDiv(n, ScreenPixelsPerInchY(), 96); }

// --- TWinControl -----------------------------------------------------------

void TWinControl::Create(HWND window) { Window = window; }

HFONT TWinControl::Font() const {
  for (HWND window = Window; window != nullptr; window = ::GetParent(window)) {
    if (auto font = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0))) return font;
  }
  return nullptr;
}

RECT TWinControl::Bounds() const {
  RECT rect{};
  if (!::GetWindowRect(Window, &rect)) return RECT{};
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(Window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT TWinControl::ClientRect() const {
  RECT rect{};
  if (!::GetClientRect(Window, &rect)) return RECT{};
  return rect;
}

bool TWinControl::Enabled() const { return ::IsWindowEnabled(Window) != FALSE; }

void TWinControl::SetEnabled(bool enabled) { ::EnableWindow(Window, enabled ? TRUE : FALSE); }

void TWinControl::SetVisible(bool visible) { ::ShowWindow(Window, visible ? SW_SHOW : SW_HIDE); }

bool TWinControl::HasStyle(LONG_PTR bits) const { return (::GetWindowLongPtrW(Window, GWL_STYLE) & bits) != 0; }

void TWinControl::AddStyle(LONG_PTR bits) {
  ::SetWindowLongPtrW(Window, GWL_STYLE, ::GetWindowLongPtrW(Window, GWL_STYLE) | bits);
}

std::wstring TWinControl::Text() const {
  const int length = ::GetWindowTextLengthW(Window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(Window, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

void TWinControl::SetText(const std::wstring& text) {
  if (text == Text()) return;
  ::SetWindowTextW(Window, text.c_str());
  Invalidate();
}

void TWinControl::Invalidate() {
  // No window: invalidating a null window would redraw every window.
  if (Window == nullptr) return;
  if ((::GetWindowLongPtrW(Window, GWL_EXSTYLE) & WS_EX_TRANSPARENT) != 0) {
    // What shows through a transparent control is the parent's drawing.
    const RECT bounds = Bounds();
    ::InvalidateRect(::GetParent(Window), &bounds, TRUE);
  }
  ::InvalidateRect(Window, nullptr, TRUE);
}

void TWinControl::SetBounds(int x, int y, int width, int height) {
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (width == -1 && height == -1) flags |= SWP_NOSIZE;
  if (x == -1 && y == -1) flags |= SWP_NOMOVE;
  ::SetWindowPos(Window, nullptr, x, y, width, height, flags);
}

// --- TExtWinControl --------------------------------------------------------

// The window procedure of every wrapped control: the object first, then,
// when the window goes away, the window gets its own procedure back.
LRESULT CALLBACK ControlRouter(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* control = static_cast<TExtWinControl*>(::GetPropW(window, ObjectProperty));
  if (control == nullptr) {
    auto passOn = reinterpret_cast<WNDPROC>(::GetPropW(window, PassOnProperty));
    if (passOn == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) ::RemovePropW(window, PassOnProperty);
    return ::CallWindowProcW(passOn, window, message, wParam, lParam);
  }
  WindowMessage record{window, message, wParam, lParam, 0};
  control->WndProc(record);
  if (message == WM_NCDESTROY) control->Release();
  return record.Result;
}

TExtWinControl::~TExtWinControl() { Release(); }

void TExtWinControl::Create(HWND window) {
  Release();
  TWinControl::Create(window);
  if (window == nullptr) return;
  // One object per window: a second one takes the window over, so that no
  // procedure ever passes messages on to itself.
  if (auto* previous = static_cast<TExtWinControl*>(::GetPropW(window, ObjectProperty))) previous->Release();
  ::SetPropW(window, ObjectProperty, this);
  if (HANDLE passOn = ::RemovePropW(window, PassOnProperty)) {
    // The router is still in the window's chain: the object takes its place
    // there instead of routing the messages through itself twice.
    PreviousProc = reinterpret_cast<WNDPROC>(passOn);
    return;
  }
  PreviousProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlRouter)));
}

void TExtWinControl::Release() {
  if (Window == nullptr || PreviousProc == nullptr) return;
  if (::GetPropW(Window, ObjectProperty) == this) {
    // Only a procedure that is still ours may be replaced: a later subclass
    // would otherwise be cut off. Under one, the router stays in the chain
    // and passes the messages on without the object.
    if (::GetWindowLongPtrW(Window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ControlRouter)) {
      ::SetWindowLongPtrW(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PreviousProc));
    } else {
      ::SetPropW(Window, PassOnProperty, reinterpret_cast<HANDLE>(PreviousProc));
    }
    ::RemovePropW(Window, ObjectProperty);
  }
  PreviousProc = nullptr;
  Window = nullptr;
}

void TExtWinControl::Paint(HDC) {}

void TExtWinControl::WndProc(WindowMessage& message) {
  if (message.Message == WM_PAINT && OwnPaint) {
    PaintStep(message);
  } else {
    CallPreviousProc(message);
  }
}

void TExtWinControl::CallPreviousProc(WindowMessage& message) {
  if (PreviousProc == nullptr) {
    message.Result = ::DefWindowProcW(message.Window, message.Message, message.WParam, message.LParam);
    return;
  }
  message.Result = ::CallWindowProcW(PreviousProc, message.Window, message.Message, message.WParam, message.LParam);
}

void TExtWinControl::PaintStep(WindowMessage& message) {
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(message.Window, &paint);
  if (dc != nullptr) {
    TFontSelection font(dc, Font());
    Paint(dc);
  }
  ::EndPaint(message.Window, &paint);
  message.Result = 0;
}

// --- TColorControl ---------------------------------------------------------

void TColorControl::WndProc(WindowMessage& message) {
  switch (message.Message) {
    case WM_ERASEBKGND:
      message.Result = 1;
      break;
    case WM_PAINT:
      PaintStep(message);
      break;
    default:
      message.Result = ::DefWindowProcW(message.Window, message.Message, message.WParam, message.LParam);
  }
}

// --- TDialog ---------------------------------------------------------------

INT_PTR CALLBACK DialogRouter(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* dialog = static_cast<TDialog*>(::GetPropW(window, DialogProperty));
  if (dialog == nullptr) {
    dialog = message == WM_INITDIALOG ? reinterpret_cast<TDialog*>(lParam) : PendingDialog;
    if (dialog == nullptr) return FALSE;
    PendingDialog = nullptr;
    dialog->Window = window;
    ::SetPropW(window, DialogProperty, dialog);
  }
  WindowMessage record{window, message, wParam, lParam, 0};
  const bool handled = dialog->DialogProc(record);
  if (message == WM_NCDESTROY) ::RemovePropW(window, DialogProperty);
  if (!handled) return FALSE;
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(record.Result);
  ::SetWindowLongPtrW(window, DWLP_MSGRESULT, record.Result);
  return TRUE;
}

TDialog::TDialog(HWND owner, std::wstring caption, int templateId)
    : OwnerWindow(owner), CaptionText(std::move(caption)), TemplateId(templateId) {
  StartDialogUnit();
}

TDialog::~TDialog() {
  // The controls go first: each gives its window back its own procedure
  // while the window still exists.
  for (auto& control : Controls) control.reset();
  Controls.clear();
  if (Window != nullptr && ::IsWindow(Window)) ::DestroyWindow(Window);
  if (Window != nullptr) ::RemovePropW(Window, DialogProperty);
  if (Font != nullptr) ::DeleteObject(Font);
  if (Icon != nullptr) ::DestroyIcon(Icon);
}

void TDialog::Close() { ::EndDialog(Window, IDCANCEL); }

void TDialog::Destroyed() {
  Window = nullptr;
  if (Font != nullptr) {
    ::DeleteObject(Font);
    Font = nullptr;
  }
}

bool TDialog::DialogProc(WindowMessage& message) {
  switch (message.Message) {
    case WM_INITDIALOG:
      Window = message.Window;
      InitDialog();
      message.Result = 1;
      return true;
    case WM_COMMAND:
      return Command(LOWORD(message.WParam), HIWORD(message.WParam), reinterpret_cast<HWND>(message.LParam));
    case WM_DESTROY:
      Destroyed();
      return false;
    case WM_ACTIVATE:
      if (LOWORD(message.WParam) != WA_INACTIVE) {
        Activated();
      } else {
        Deactivated();
      }
      return false;
    case WM_CLOSE:
      Close();
      message.Result = 1;
      return true;
    case WM_GETFONT:
      // Until the dialog font exists, the system answers with the
      // template's font.
      if (Font == nullptr) return false;
      message.Result = reinterpret_cast<LRESULT>(Font);
      return true;
    default:
      return false;
  }
}

bool TDialog::AcceptsDialogFont(HWND) { return true; }

void TDialog::InitDialog() {
  if (Text() != CaptionText) ::SetWindowTextW(Window, CaptionText.c_str());
  OriginalFont = reinterpret_cast<HFONT>(::SendMessageW(Window, WM_GETFONT, 0, 0));
  if (Font == nullptr) CreateDialogFont();
  GuiTools().CenterWindow(Window, nullptr, true);
}

void TDialog::CreateDialogFont() {
  LOGFONTW logFont{};
  HGDIOBJ source = OriginalFont != nullptr ? OriginalFont : ::GetStockObject(DEFAULT_GUI_FONT);
  if (::GetObjectW(source, sizeof logFont, &logFont) == 0) return;
  logFont.lfCharSet = RUSSIAN_CHARSET;
  Font = ::CreateFontIndirectW(&logFont);
  if (Font == nullptr) return;
  ::EnumChildWindows(Window, SetFontOfChild, reinterpret_cast<LPARAM>(this));
}

bool TDialog::Command(int id, int, HWND) {
  switch (id) {
    case IDOK:
    case IDCANCEL:
      ::EndDialog(Window, id);
      return true;
    case IDHELP:
      Help();
      return true;
    default:
      return false;
  }
}

void TDialog::ShowModeless() {
  if (Window == nullptr) {
    HWND activeBefore = ::GetActiveWindow();
    PendingDialog = this;
    HWND created = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TemplateId), OwnerWindow,
                                        DialogRouter, reinterpret_cast<LPARAM>(this));
    PendingDialog = nullptr;
    if (created == nullptr) {
      const DWORD error = ::GetLastError();
      throw EOSError(error, SystemErrorMessage(error));
    }
    GuiTools().CenterWindow(Window, activeBefore, true);
  } else {
    GuiTools().CenterWindow(Window, ::GetActiveWindow(), true);
  }
  ::ShowWindow(Window, SW_SHOWNORMAL);
  PlatformTools().ProcessPendingMessages();
}

void TDialog::Hide() { ::ShowWindow(Window, SW_HIDE); }

INT_PTR TDialog::ShowModal() {
  PendingDialog = this;
  ::SetLastError(0);
  const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TemplateId), OwnerWindow,
                                           DialogRouter, reinterpret_cast<LPARAM>(this));
  const DWORD error = ::GetLastError();
  PendingDialog = nullptr;
  if (result <= 0) throw EOSError(error, SystemErrorMessage(error));
  return result;
}

void TDialog::SetIcon(int resourceId) {
  HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId));
  if (icon == nullptr) return;
  if (Icon != nullptr) ::DestroyIcon(Icon);
  Icon = icon;
  ::SendMessageW(Window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon));
}

// --- TListView -------------------------------------------------------------

TListView::~TListView() {
  if (OwnImages != nullptr) ::ImageList_Destroy(OwnImages);
}

void TListView::Create(HWND window, const wchar_t* bitmapName, COLORREF backgroundColor) {
  TExtWinControl::Create(window);
  if (window == nullptr) return;
  Header = reinterpret_cast<HWND>(::SendMessageW(window, LVM_GETHEADER, 0, 0));
  if (Header != nullptr) ::GetClientRect(Header, &HeaderRect);
  if (bitmapName != nullptr) {
    OwnImages = ::ImageList_LoadImageW(::GetModuleHandleW(nullptr), bitmapName, 20, 4, RGB(255, 0, 255),
                                       IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (OwnImages != nullptr) {
      ::SendMessageW(window, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(OwnImages));
    }
  }
  BackgroundColor = backgroundColor;
  if (backgroundColor != 0) {
    ::SendMessageW(window, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(backgroundColor));
    ::SendMessageW(window, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(backgroundColor));
  }
  ::SendMessageW(window, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

void TListView::AddColumn(const std::wstring& title, int width, TColumnAlignment alignment) {
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = alignment;
  column.cx = width;
  std::wstring text = title;
  column.pszText = text.data();
  ::SendMessageW(Window, LVM_INSERTCOLUMNW, ColumnCount, reinterpret_cast<LPARAM>(&column));
  ColumnAlignments.push_back(alignment);
  ++ColumnCount;
}

int TListView::AddItem(int position, const std::wstring& text, const std::vector<std::wstring>& subItems,
                       int imageIndex) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = position < 0 ? static_cast<int>(::SendMessageW(Window, LVM_GETITEMCOUNT, 0, 0)) : position;
  std::wstring itemText = text;
  item.pszText = itemText.data();
  if (imageIndex != 0) {
    item.mask |= LVIF_IMAGE;
    item.iImage = imageIndex;
  }
  if (OwnImages != nullptr) {
    item.mask |= LVIF_STATE;
    item.state = INDEXTOSTATEIMAGEMASK(1);
    item.stateMask = LVIS_STATEIMAGEMASK;
  }
  const int index = static_cast<int>(::SendMessageW(Window, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (index < 0) return -1;
  for (size_t i = 0; i < subItems.size(); ++i) {
    LVITEMW sub{};
    sub.iSubItem = static_cast<int>(i) + 1;
    std::wstring subText = subItems[i];
    sub.pszText = subText.data();
    ::SendMessageW(Window, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
  }
  return index;
}

void TListView::Clear() { ::SendMessageW(Window, LVM_DELETEALLITEMS, 0, 0); }

void TListView::SetSmallImages(HIMAGELIST images) {
  ::SendMessageW(Window, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
  SmallImages = images;
  SmallImageWidth = SmallImageHeight = 0;
  if (images != nullptr) ::ImageList_GetIconSize(images, &SmallImageWidth, &SmallImageHeight);
}

RECT TListView::RowRect(int item) const {
  RECT rect{};
  rect.left = LVIR_BOUNDS;
  if (!::SendMessageW(Window, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&rect))) return RECT{};
  const int top = static_cast<int>(::SendMessageW(Window, LVM_GETTOPINDEX, 0, 0));
  if (item == top && Header != nullptr && ::IsWindowVisible(Header)) {
    rect.top = std::max<LONG>(rect.top, HeaderRect.bottom);
  }
  return rect;
}

void TListView::InvalidateItem(int item) {
  const RECT rect = RowRect(item);
  if (!::IsRectEmpty(&rect)) ::InvalidateRect(Window, &rect, TRUE);
}

void TListView::Paint(HDC dc) {
  ::SetBkMode(dc, TRANSPARENT);
  HRGN update = ::CreateRectRgn(0, 0, 0, 0);
  if (update == nullptr) return;
  RECT clip{};
  ::GetClipBox(dc, &clip);
  ::SetRectRgn(update, clip.left, clip.top, clip.right, clip.bottom);
  const int count = static_cast<int>(::SendMessageW(Window, LVM_GETITEMCOUNT, 0, 0));
  const int top = static_cast<int>(::SendMessageW(Window, LVM_GETTOPINDEX, 0, 0));
  for (int item = std::max(top, 0); item < count; ++item) {
    const RECT row = RowRect(item);
    if (row.top >= clip.bottom) break;
    if (::RectInRegion(update, &row)) PaintItem(dc, item, update);
  }
  ::DeleteObject(update);
}

void TListView::PaintItem(HDC dc, int item, HRGN) {
  LVITEMW info{};
  info.mask = LVIF_IMAGE | LVIF_STATE;
  info.iItem = item;
  info.stateMask = LVIS_SELECTED;
  if (!::SendMessageW(Window, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info))) return;
  const bool selected = (info.state & LVIS_SELECTED) != 0;
  const int top = static_cast<int>(::SendMessageW(Window, LVM_GETTOPINDEX, 0, 0));
  const LONG headerBottom = (Header != nullptr && ::IsWindowVisible(Header)) ? HeaderRect.bottom : 0;
  for (int column = 0; column < std::max(ColumnCount, 1); ++column) {
    RECT cell{};
    if (column == 0) {
      cell.left = LVIR_BOUNDS;
      ::SendMessageW(Window, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&cell));
      RECT label{};
      label.left = LVIR_LABEL;
      ::SendMessageW(Window, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&label));
      cell.right = label.right;
    } else {
      cell.top = column;
      cell.left = LVIR_BOUNDS;
      ::SendMessageW(Window, LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&cell));
    }
    if (item == top) cell.top = std::max(cell.top, headerBottom);
    if (cell.bottom <= cell.top) continue;
    DrawCell(dc, item, column, cell, info.iImage, selected);
  }
}

void TListView::DrawCell(HDC dc, int item, int column, RECT cell, int image, bool selected) {
  const bool lastColumn = column == std::max(ColumnCount, 1) - 1;
  const TColor background = selected ? clHighlight : clWindow;
  ::SetTextColor(dc, ResolveColor(selected ? clHighlightText : clWindowText));
  DrawRectangle(dc, cell, background, true);
  const int edges = selected ? (lastColumn ? edRight + edBottom : edBottom) : edRight + edBottom;
  DrawEdges(dc, cell, ShadeColor(static_cast<TColor>(BackgroundColor), -96), edges);
  ::InflateRect(&cell, -1, -1);
  if (column == 0 && SmallImages != nullptr && image >= 0) {
    ::ImageList_Draw(SmallImages, image, dc, cell.left, cell.bottom - SmallImageHeight + 1, ILD_TRANSPARENT);
    cell.left += SmallImageWidth + 2;
  }
  wchar_t text[1024] = {};
  LVITEMW request{};
  request.iSubItem = column;
  request.pszText = text;
  request.cchTextMax = static_cast<int>(std::size(text));
  ::SendMessageW(Window, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request));
  UINT align = DT_LEFT;
  const int format = column < static_cast<int>(ColumnAlignments.size()) ? ColumnAlignments[column] : caLeft;
  if ((format & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT) align = DT_RIGHT;
  if ((format & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER) align = DT_CENTER;
  ::DrawTextW(dc, text, -1, &cell, align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void TListView::FillHeader(HDC dc, RECT rect) {
  const COLORREF face = ShadeColor(static_cast<TColor>(BackgroundColor), -8);
  RECT upper = rect;
  upper.bottom = std::max(rect.top, rect.bottom - 4);
  DrawRectangle(dc, upper, face, true);
  RECT lower = rect;
  lower.top = upper.bottom;
  GradientFill(dc, lower, face, ShadeColor(static_cast<TColor>(BackgroundColor), -16));
}

LRESULT TListView::HeaderCustomDraw(NMCUSTOMDRAW& draw) {
  switch (draw.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPREPAINT: {
      RECT rect = draw.rc;
      rect.right -= 1;
      FillHeader(draw.hdc, rect);
      wchar_t title[256] = {};
      HDITEMW item{};
      item.mask = HDI_TEXT;
      item.pszText = title;
      item.cchTextMax = static_cast<int>(std::size(title));
      ::SendMessageW(Header, HDM_GETITEMW, draw.dwItemSpec, reinterpret_cast<LPARAM>(&item));
      ::SetBkMode(draw.hdc, TRANSPARENT);
      ::SetTextColor(draw.hdc, ContrastTextColor(static_cast<TColor>(BackgroundColor)));
      RECT textRect = rect;
      ::DrawTextW(draw.hdc, title, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      const COLORREF separator = ShadeColor(static_cast<TColor>(BackgroundColor), -96);
      DrawLine(draw.hdc, {draw.rc.right - 1, draw.rc.top}, {draw.rc.right - 1, draw.rc.bottom}, separator);
      return CDRF_SKIPDEFAULT;
    }
    case CDDS_POSTPAINT: {
      RECT client{};
      ::GetClientRect(Header, &client);
      const int count = static_cast<int>(::SendMessageW(Header, HDM_GETITEMCOUNT, 0, 0));
      if (count > 0) {
        RECT last{};
        ::SendMessageW(Header, HDM_GETITEMRECT, count - 1, reinterpret_cast<LPARAM>(&last));
        client.left = last.right;
      }
      if (client.left < client.right) FillHeader(draw.hdc, client);
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void TListView::WndProc(WindowMessage& message) {
  switch (message.Message) {
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(message.LParam);
      if (BackgroundColor != 0 && header != nullptr && header->hwndFrom == Header &&
          header->code == static_cast<UINT>(NM_CUSTOMDRAW)) {
        message.Result = HeaderCustomDraw(*reinterpret_cast<NMCUSTOMDRAW*>(message.LParam));
        return;
      }
      CallPreviousProc(message);
      return;
    }
    case WM_PAINT:
      PaintStep(message);
      return;
    case WM_HSCROLL:
    case WM_VSCROLL: {
      CallPreviousProc(message);
      const int top = static_cast<int>(::SendMessageW(Window, LVM_GETTOPINDEX, 0, 0));
      InvalidateItem(top);
      return;
    }
    default:
      CallPreviousProc(message);
  }
}
