#pragma once
// A small window framework over dialog templates: objects around native
// windows that see every message of their window, draw it themselves where
// they choose to, and a dialog that owns the objects made for its items.
// Everything here runs on the thread that created the dialog.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Win.h"
// after Win.h: needs <windows.h>
#include <commctrl.h>

// One message as a handler sees it; the handler writes Result.
struct WindowMessage {
  HWND Window = nullptr;
  UINT Message = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// n scaled from 96 dots per inch to the screen's vertical resolution.
int ScaleY(int n);
// The screen's vertical resolution as read at start-up (LOGPIXELSY).
int ScreenPixelsPerInchY();
// The unit's start-up: screen resolution and the common control classes
// (list views, IP address fields). Runs once; every window of the
// framework calls it before it is made.
void StartDialogUnit();

// A window handle with plain operations on it. The object never destroys
// its window.
class TWinControl {
public:
  TWinControl() = default;
  virtual ~TWinControl() = default;
  TWinControl(const TWinControl&) = delete;
  TWinControl& operator=(const TWinControl&) = delete;

  // Binds the object to its window (null when the item does not exist).
  virtual void Create(HWND window);

  HWND Handle() const { return Window; }
  // The window's font, or else the first one of its parent chain.
  HFONT Font() const;
  // The window rectangle in the parent's client coordinates.
  RECT Bounds() const;
  // The client rectangle; empty when it cannot be read.
  RECT ClientRect() const;
  bool Enabled() const;
  void SetEnabled(bool enabled);
  void SetVisible(bool visible);
  bool HasStyle(LONG_PTR bits) const;
  void AddStyle(LONG_PTR bits);
  std::wstring Text() const;
  // Changes the text only when it differs, then redraws (a transparent
  // window also through its parent, which paints what shows through).
  void SetText(const std::wstring& text);
  void Invalidate();
  // -1 keeps a coordinate or a size.
  void SetBounds(int x, int y, int width, int height);

protected:
  HWND Window = nullptr;
  // The procedure the window had before its object took it over.
  WNDPROC PreviousProc = nullptr;
};

// A window whose messages all go through the object's WndProc first.
class TExtWinControl : public TWinControl {
public:
  ~TExtWinControl() override;

  // Takes over the window procedure; the previous one keeps the messages
  // that WndProc passes on.
  void Create(HWND window) override;
  // Draws the control into dc, with its font selected. Nothing here.
  virtual void Paint(HDC dc);
  // WM_PAINT goes to Paint when OwnPaint is set; everything else to the
  // previous procedure.
  virtual void WndProc(WindowMessage& message);

  bool OwnPaint = false;

protected:
  void CallPreviousProc(WindowMessage& message);
  // BeginPaint, the control's font, Paint, EndPaint; result 0.
  void PaintStep(WindowMessage& message);

private:
  friend LRESULT CALLBACK ControlRouter(HWND, UINT, WPARAM, LPARAM);
  // Gives the window back its own procedure.
  void Release();
};

// A control drawn entirely by the program: the native control's own
// behaviour is replaced, unhandled messages go to DefWindowProcW.
class TColorControl : public TExtWinControl {
public:
  void WndProc(WindowMessage& message) override;
};

// Column alignment of TListView::AddColumn (the LVCFMT_* codes).
enum TColumnAlignment : int {
  caLeft = LVCFMT_LEFT,
  caRight = LVCFMT_RIGHT,
  caCenter = LVCFMT_CENTER,
};

// A report-style list whose items and header the program draws.
class TListView : public TExtWinControl {
public:
  ~TListView() override;

  void Create(HWND window) override { Create(window, nullptr, 0); }
  // With a bitmap name, an image list of 20-pixel state images (magenta
  // transparent) is loaded from it and owned; a non-zero background colour
  // is set for the list and its texts and makes the header custom-drawn.
  void Create(HWND window, const wchar_t* bitmapName, COLORREF backgroundColor);
  void AddColumn(const std::wstring& title, int width, TColumnAlignment alignment);
  // position -1 appends; image index 0 leaves the item without an image.
  // Returns the new item's index, or -1.
  int AddItem(int position, const std::wstring& text, const std::vector<std::wstring>& subItems, int imageIndex);
  void Clear();
  // The small-icon image list (not owned).
  void SetSmallImages(HIMAGELIST images);
  // Redraws one item's row.
  void InvalidateItem(int item);

  void Paint(HDC dc) override;
  void WndProc(WindowMessage& message) override;

private:
  void PaintItem(HDC dc, int item, HRGN updateRegion);
  void DrawCell(HDC dc, int item, int column, RECT cell, int image, bool selected);
  LRESULT HeaderCustomDraw(NMCUSTOMDRAW& draw);
  void FillHeader(HDC dc, RECT rect);
  // The item's bounds, clipped below the header for the first visible item.
  RECT RowRect(int item) const;

  std::vector<int> ColumnAlignments;
  int ColumnCount = 0;
  HWND Header = nullptr;
  COLORREF BackgroundColor = 0;
  RECT HeaderRect{};
  HIMAGELIST SmallImages = nullptr;
  int SmallImageWidth = 0;
  int SmallImageHeight = 0;
  HIMAGELIST OwnImages = nullptr;
};

// A dialog from a template of the program's resources, modal or modeless.
// It owns the control objects made for its items and frees them, in
// creation order, before its window.
class TDialog : public TWinControl {
public:
  TDialog(HWND owner, std::wstring caption, int templateId);
  ~TDialog() override;

  virtual void Activated() {}
  // WM_CLOSE: ends the dialog with IDCANCEL.
  virtual void Close();
  virtual void Deactivated() {}
  // WM_DESTROY: forgets the window and deletes the dialog font.
  virtual void Destroyed();
  // Dispatches the dialog's messages; false leaves a message to the system.
  // A handled message's result is in message.Result.
  virtual bool DialogProc(WindowMessage& message);
  // Whether child gets the dialog font; every child does.
  virtual bool AcceptsDialogFont(HWND child);
  // WM_INITDIALOG: caption, dialog font, centring.
  virtual void InitDialog();
  virtual void Help() {}
  // IDOK and IDCANCEL end the dialog, IDHELP calls Help; false when not
  // handled.
  virtual bool Command(int id, int notifyCode, HWND control);
  // Creates the window once, centres it on the window active before, shows
  // it and lets pending messages run.
  virtual void ShowModeless();
  virtual void Hide();

  // Runs the dialog modally; returns its end code. A failed run (result 0
  // or less) raises EOSError.
  INT_PTR ShowModal();

  // A new object of class T for the item's window, owned by the dialog.
  template <class T>
  T& WrapItem(int itemId) {
    auto control = std::make_unique<T>();
    control->Create(::GetDlgItem(Window, itemId));
    return AddControl(std::move(control));
  }
  // Takes ownership of an object made by the caller.
  template <class T>
  T& AddControl(std::unique_ptr<T> control) {
    T& result = *control;
    Controls.push_back(std::move(control));
    return result;
  }

  // The window icon (big) from the program's icon resource.
  void SetIcon(int resourceId);
  HFONT DialogFont() const { return Font; }
  HFONT TemplateFont() const { return OriginalFont; }
  HWND Owner() const { return OwnerWindow; }
  const std::wstring& Caption() const { return CaptionText; }
  void SetCaption(std::wstring caption) { CaptionText = std::move(caption); }

private:
  friend INT_PTR CALLBACK DialogRouter(HWND, UINT, WPARAM, LPARAM);
  void CreateDialogFont();

  HWND OwnerWindow;
  std::wstring CaptionText;
  HFONT Font = nullptr;
  std::vector<std::unique_ptr<TWinControl>> Controls;
  HFONT OriginalFont = nullptr;
  HICON Icon = nullptr;
  int TemplateId;
};
