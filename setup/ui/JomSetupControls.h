#pragma once
// The controls of the setup dialog in one flat, light-grey look: buttons
// with a soft vertical gradient and an icon above the caption, boxes with a
// one-pixel grey frame, a blue percentage bar and a bold blue title. Each
// class wraps one item of a dialog template and draws it itself.

#include <string>

#include "setup/ui/Dialog.h"
#include "setup/ui/GdiTools.h"

// Backgrounds of boxes, buttons and the dialog.
constexpr COLORREF FaceColor = 0xF0F0F0;
// One-pixel frames, separators, the drop-down arrow, disabled button text.
constexpr COLORREF BorderColor = 0xB0B0B0;
// The frame of the default button, disabled text.
constexpr COLORREF DarkColor = 0x707070;
// The filled part of the percentage bar and the title text.
constexpr COLORREF ProgressColor = 0xD39000;
constexpr COLORREF TitleColor = 0xBA7518;

// A solid brush of the screen colour nearest to FaceColor; lives until the
// program ends.
HBRUSH FaceBrush();

// A percentage bar: a sunken frame, the filled part and the percentage.
class TProgress : public TColorControl {
public:
  int Position() const { return Value; }
  // Redraws and lets pending messages run when the value changes.
  void SetPosition(int value);
  void Paint(HDC dc) override;

private:
  int Value = 0;
};

// A push button with a gradient face, an optional icon above its caption
// and a darker frame while it is the default button.
class TColorButton : public TColorControl {
public:
  TColorButton() = default;
  TColorButton(HWND window, bool defaultLook, HFONT font, HIMAGELIST images, int imageIndex);

  void Paint(HDC dc) override;
  void WndProc(WindowMessage& message) override;
  // Tells the parent (WM_COMMAND with the control's identifier) and takes
  // the focus.
  virtual void Click();
  virtual bool CanHover() { return true; }
  // Focused, or default-look while the focus is on no other button.
  bool IsDefaultLook() const;
  bool Pressed() const { return IsPressed; }

protected:
  void InvalidateBorderRing();

  bool DefaultLook = false;
  HFONT ButtonFont = nullptr;
  bool IsPressed = false;
  bool Hot = false;
  HIMAGELIST Images = nullptr;
  int ImageIndex = -1;
};

// A check box: a white square with a dark mark and the caption beside it.
// Clicking toggles the mark and tells the parent nothing.
class TColorCheckBox : public TColorButton {
public:
  bool Checked = false;

  void Paint(HDC dc) override;
  void Click() override;
  bool CanHover() override { return false; }
};

// A combo box with a flat frame and its own drop-down button.
class TColorComboBox : public TExtWinControl {
public:
  void Create(HWND window) override;
  void Paint(HDC dc) override;
  void WndProc(WindowMessage& message) override;
  HWND InnerEdit() const { return Edit; }

private:
  void DrawButton(HDC dc);

  bool ButtonPressed = false;
  RECT ButtonRect{};
  HWND Edit = nullptr;
};

// A text line with a flat frame (or only an outline when transparent).
class TColorStatic : public TColorControl {
public:
  void Paint(HDC dc) override;
};

// An edit field with a flat frame; disabled, its text is drawn dark.
class TColorEdit : public TExtWinControl {
public:
  void Create(HWND window) override;
  void Paint(HDC dc) override;
  void WndProc(WindowMessage& message) override;

private:
  void DrawFrame();
};

// A one-pixel separator line along the top of the control.
class TColorFrame : public TColorControl {
public:
  // Takes away the sunken edge that some systems give an etched line, so
  // that the whole control is client area.
  void Create(HWND window) override;
  void Paint(HDC dc) override;
};

// An icon of the program's resources stretched to the control.
class TIconControl : public TColorControl {
public:
  TIconControl(HWND window, int iconResource);
  ~TIconControl() override;
  void Paint(HDC dc) override;

private:
  HICON Icon = nullptr;
};

// The bold blue title, centred and wrapped at word boundaries.
class TTitleControl : public TExtWinControl {
public:
  // size is scaled; characterWidth 0 is the font's natural width.
  TTitleControl(HWND window, const std::wstring& faceName, int size, int characterWidth, bool italic);
  ~TTitleControl() override;
  void Paint(HDC dc) override;
  // Narrows the font step by step, from startWidth down, until the text fits
  // the control's width; a text that fits at no width keeps the natural one.
  void FitText(int startWidth);
  HFONT TitleFont() const { return FontHandle; }

private:
  HFONT FontHandle = nullptr;
};
