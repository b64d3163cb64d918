#include "setup/ui/JomSetupControls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/UiTestWindows.h"

namespace {

using uitest::PixelOf;
using uitest::PixelsOf;
using uitest::PumpMessages;
using uitest::RepaintNow;

constexpr int EveryControlTemplate = 9002;

bool Has(const std::vector<COLORREF>& pixels, COLORREF color) {
  return std::find(pixels.begin(), pixels.end(), color) != pixels.end();
}

// The test dialog with every control wrapped as the setup window wraps
// its own; it records the commands and owner-draw requests it receives.
class TControlsDialog : public TDialog {
public:
  TControlsDialog() : TDialog(nullptr, L"Tavrel controls", EveryControlTemplate) {}
  ~TControlsDialog() override {
    if (Icons16 != nullptr) ::ImageList_Destroy(Icons16);
    if (Icons32 != nullptr) ::ImageList_Destroy(Icons32);
  }

  void InitDialog() override {
    TDialog::InitDialog();
    Icons16 = LoadIcons({2010, 2011, 2012, 2013, 2014, 2015, 2016}, 16);
    Icons32 = LoadIcons({2000, 2001, 2002, 2003, 2004, 2005}, 32);
    Icon = &AddControl(std::make_unique<TIconControl>(::GetDlgItem(Handle(), 100), 3000));
    Title = &AddControl(std::make_unique<TTitleControl>(::GetDlgItem(Handle(), 101), L"Tahoma", 16, 0, false));
    Title->SetText(L"Tavrel");
    LongTitle = &AddControl(std::make_unique<TTitleControl>(::GetDlgItem(Handle(), 102), L"Tahoma", 12, 0, false));
    for (int id : {110, 111}) {
      ::SendDlgItemMessageW(Handle(), id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"C:\\ (1 024 МБ)"));
      ::SendDlgItemMessageW(Handle(), id, CB_SETCURSEL, 0, 0);
    }
    PlainList = &WrapItem<TColorComboBox>(110);
    DriveList = &WrapItem<TColorComboBox>(111);
    Group = &WrapItem<TColorComboBox>(112);
    Group->SetText(L"Tavrel");
    PlainList->SetEnabled(false);
    DriveList->SetEnabled(false);
    Edit = &WrapItem<TColorEdit>(120);
    Edit->SetText(L"\\Program Files\\Tavrel");
    DisabledEdit = &WrapItem<TColorEdit>(121);
    DisabledEdit->SetText(L"disabled");
    DisabledEdit->SetEnabled(false);
    Step = &WrapItem<TColorStatic>(130);
    for (int i = 0; i < 3; ++i) Progress[i] = &WrapItem<TProgress>(140 + i);
    Progress[1]->SetPosition(50);
    Progress[2]->SetPosition(100);
    WrapItem<TColorFrame>(150);
    WrapItem<TColorFrame>(151);
    Check = &WrapItem<TColorCheckBox>(160);
    Check->Checked = true;
    Unchecked = &WrapItem<TColorCheckBox>(161);
    List = &AddControl(std::make_unique<TListView>());
    List->Create(::GetDlgItem(Handle(), 170), nullptr, FaceColor);
    List->AddColumn(L"Messages", List->ClientRect().right, caLeft);
    List->SetSmallImages(Icons16);
    List->AddItem(-1, L"An error", {}, 0);
    List->AddItem(-1, L"Information", {}, 1);
    List->AddItem(-1, L"A warning", {}, 2);
    DefaultButton = &AddControl(std::make_unique<TColorButton>(::GetDlgItem(Handle(), 180), true, DialogFont(),
                                                                 Icons32, 0));
    PlainButton = &AddControl(std::make_unique<TColorButton>(::GetDlgItem(Handle(), 181), false, DialogFont(),
                                                               Icons32, 1));
    DisabledButton = &AddControl(std::make_unique<TColorButton>(::GetDlgItem(Handle(), 182), false,
                                                                  DialogFont(), Icons32, 5));
    DisabledButton->SetEnabled(false);
    SmallButton = &AddControl(std::make_unique<TColorButton>(::GetDlgItem(Handle(), 183), false, nullptr,
                                                               nullptr, -1));
  }

  bool DialogProc(WindowMessage& message) override {
    switch (message.Message) {
      case WM_ERASEBKGND: {
        RECT client = ClientRect();
        ::FillRect(reinterpret_cast<HDC>(message.WParam), &client, FaceBrush());
        DrawRectangle(reinterpret_cast<HDC>(message.WParam), client, DarkColor, false, 1);
        message.Result = 1;
        return true;
      }
      case WM_CTLCOLORSTATIC:
        ::SetBkMode(reinterpret_cast<HDC>(message.WParam), TRANSPARENT);
        message.Result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        return true;
      case WM_DRAWITEM: {
        const auto& draw = *reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam);
        DrawRequests.push_back(draw);
        ::FillRect(draw.hDC, &draw.rcItem, FaceBrush());
        RECT text = draw.rcItem;
        text.left += 19;
        ::SetTextColor(draw.hDC, DarkColor);
        ::SetBkMode(draw.hDC, TRANSPARENT);
        ::ImageList_Draw(Icons16, 5, draw.hDC, draw.rcItem.left + 1, draw.rcItem.top + 1, ILD_TRANSPARENT);
        DrawTextCentered(draw.hDC, text, L"C: (1 024 МБ)", DT_SINGLELINE);
        message.Result = 1;
        return true;
      }
      default:
        return TDialog::DialogProc(message);
    }
  }

  bool Command(int id, int notifyCode, HWND control) override {
    Commands.push_back(id);
    return TDialog::Command(id, notifyCode, control);
  }

  static HIMAGELIST LoadIcons(std::initializer_list<int> ids, int size) {
    HIMAGELIST list = ::ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 0, 8);
    for (int id : ids) {
      auto icon = static_cast<HICON>(
          ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
      ::ImageList_ReplaceIcon(list, -1, icon);
      ::DestroyIcon(icon);
    }
    return list;
  }

  HIMAGELIST Icons16 = nullptr;
  HIMAGELIST Icons32 = nullptr;
  TIconControl* Icon = nullptr;
  TTitleControl* Title = nullptr;
  TTitleControl* LongTitle = nullptr;
  TColorComboBox* PlainList = nullptr;
  TColorComboBox* DriveList = nullptr;
  TColorComboBox* Group = nullptr;
  TColorEdit* Edit = nullptr;
  TColorEdit* DisabledEdit = nullptr;
  TColorStatic* Step = nullptr;
  TProgress* Progress[3] = {};
  TColorCheckBox* Check = nullptr;
  TColorCheckBox* Unchecked = nullptr;
  TListView* List = nullptr;
  TColorButton* DefaultButton = nullptr;
  TColorButton* PlainButton = nullptr;
  TColorButton* DisabledButton = nullptr;
  TColorButton* SmallButton = nullptr;
  std::vector<int> Commands;
  std::vector<DRAWITEMSTRUCT> DrawRequests;
};

class ControlsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dialog.ShowModeless();
    // The focus on a field that is no button: the default button shows
    // its default look.
    ::SetFocus(Dialog.Edit->Handle());
    RepaintNow(Dialog.Handle());
  }

  TControlsDialog Dialog;
};

TEST_F(ControlsTest, PercentageBarAtZeroFiftyAndHundred) {
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(Dialog.Progress[i]->Position());
    HWND bar = Dialog.Progress[i]->Handle();
    const RECT client = Dialog.Progress[i]->ClientRect();
    // A sunken frame: dark top and left, light bottom and right.
    EXPECT_EQ(PixelOf(bar, 0, client.bottom / 2), ShadeColor(FaceColor, -32));
    EXPECT_EQ(PixelOf(bar, client.right / 2, 0), ShadeColor(FaceColor, -32));
    EXPECT_EQ(PixelOf(bar, client.right - 1, client.bottom / 2), ShadeColor(FaceColor, 32));
    EXPECT_EQ(PixelOf(bar, client.right / 2, client.bottom - 1), ShadeColor(FaceColor, 32));
  }
  // At 0: the background only, no text.
  const RECT inner0{1, 1, Dialog.Progress[0]->ClientRect().right - 1, Dialog.Progress[0]->ClientRect().bottom - 1};
  const std::vector<COLORREF> empty = PixelsOf(Dialog.Progress[0]->Handle(), inner0);
  EXPECT_TRUE(std::all_of(empty.begin(), empty.end(), [](COLORREF c) { return c == FaceColor; }));
  // At 50: filled up to the middle, the background after it, a text between.
  HWND half = Dialog.Progress[1]->Handle();
  const RECT client = Dialog.Progress[1]->ClientRect();
  const int middle = ::MulDiv(50, client.right - 1, 100);
  EXPECT_EQ(PixelOf(half, 1, 1), ProgressColor);
  EXPECT_EQ(PixelOf(half, middle - 1, 1), ProgressColor);
  EXPECT_EQ(PixelOf(half, middle, 1), FaceColor);
  EXPECT_EQ(PixelOf(half, client.right - 2, 1), FaceColor);
  const std::vector<COLORREF> halfPixels = PixelsOf(half, RECT{1, 1, client.right - 1, client.bottom - 1});
  EXPECT_TRUE(Has(halfPixels, 0x000000)) << "the percentage text";
  // At 100: the fill reaches the inner right edge.
  HWND full = Dialog.Progress[2]->Handle();
  EXPECT_EQ(PixelOf(full, 1, 1), ProgressColor);
  EXPECT_EQ(PixelOf(full, client.right - 2, 1), ProgressColor);
  EXPECT_EQ(PixelOf(full, client.right - 2, client.bottom - 2), ProgressColor);
}

TEST_F(ControlsTest, APercentageOutsideTheRangeKeepsTheBarInsideItsFrame) {
  TProgress& bar = *Dialog.Progress[0];
  const RECT client = bar.ClientRect();
  struct TCase {
    int Position;
    COLORREF Inside;
  };
  for (const TCase& c : {TCase{150, ProgressColor}, TCase{-5, FaceColor}}) {
    SCOPED_TRACE(c.Position);
    bar.SetPosition(c.Position);
    RepaintNow(bar.Handle());
    EXPECT_EQ(PixelOf(bar.Handle(), client.right - 2, 1), c.Inside);
    // The frame's light right and bottom edges stay.
    EXPECT_EQ(PixelOf(bar.Handle(), client.right - 1, client.bottom / 2), ShadeColor(FaceColor, 32));
    EXPECT_EQ(PixelOf(bar.Handle(), client.right / 2, client.bottom - 1), ShadeColor(FaceColor, 32));
  }
  bar.SetPosition(0);
}

TEST_F(ControlsTest, AnObjectWithoutAWindowRedrawsNothing) {
  // An item the template does not hold, as the progress-only layout lacks
  // most of the full one's.
  TColorStatic& missing = Dialog.WrapItem<TColorStatic>(999);
  ASSERT_EQ(missing.Handle(), nullptr);
  RepaintNow(Dialog.Handle());
  ASSERT_FALSE(::GetUpdateRect(Dialog.Handle(), nullptr, FALSE));
  missing.SetText(L"x");
  missing.Invalidate();
  EXPECT_FALSE(::GetUpdateRect(Dialog.Handle(), nullptr, FALSE));
  EXPECT_FALSE(::GetUpdateRect(Dialog.Step->Handle(), nullptr, FALSE));
}

TEST_F(ControlsTest, ButtonFaceFrameAndCaption) {
  struct TCase {
    const char* Name;
    TColorButton* Button;
    COLORREF Frame;
    bool BlackCaption;
  };
  const TCase cases[] = {
      {"default look", Dialog.DefaultButton, DarkColor, true},
      {"plain", Dialog.PlainButton, BorderColor, true},
      {"disabled", Dialog.DisabledButton, BorderColor, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    HWND button = c.Button->Handle();
    const RECT client = c.Button->ClientRect();
    EXPECT_EQ(PixelOf(button, 0, 0), c.Frame);
    EXPECT_EQ(PixelOf(button, client.right - 1, client.bottom / 2), c.Frame);
    // The gradient: white at the top, 0xE0E0E0 at the bottom, darker row
    // by row, beside the icon and the caption.
    EXPECT_EQ(PixelOf(button, 2, 1), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(button, 2, client.bottom - 2), 0xE0E0E0u);
    COLORREF above = 0xFFFFFF;
    for (int y = 1; y < client.bottom - 1; ++y) {
      const COLORREF row = PixelOf(button, 2, y);
      EXPECT_LE(GetRValue(row), GetRValue(above)) << y;
      EXPECT_EQ(GetRValue(row), GetBValue(row)) << y;
      above = row;
    }
    const RECT captionArea{1, ScaleY(32) + ScaleY(2), client.right - 1, client.bottom - 1};
    const std::vector<COLORREF> caption = PixelsOf(button, captionArea);
    EXPECT_EQ(Has(caption, 0x000000), c.BlackCaption);
    EXPECT_EQ(Has(caption, BorderColor), !c.BlackCaption);
  }
}

TEST_F(ControlsTest, APressReleasedOutsideDoesNotClickReleasedOverTheButtonClicks) {
  HWND button = Dialog.PlainButton->Handle();
  const int id = ::GetDlgCtrlID(button);
  struct TCase {
    const char* Name;
    POINT Release;
    size_t Clicks;
  };
  const TCase cases[] = {
      {"released outside", {-40, -40}, 0},
      {"released over a neighbour", {-50, 10}, 0},
      {"released over it", {10, 10}, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Dialog.Commands.clear();
    ::PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PumpMessages();
    EXPECT_TRUE(Dialog.PlainButton->Pressed());
    EXPECT_EQ(::GetCapture(), button);
    RepaintNow(button);
    // Pressed: a sunken frame and a gradient from dark to light.
    EXPECT_EQ(PixelOf(button, 0, 5), ShadeColor(FaceColor, -32));
    EXPECT_EQ(PixelOf(button, 2, 1), ShadeColor(FaceColor, -8));
    ::PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(c.Release.x, c.Release.y));
    PumpMessages();
    EXPECT_FALSE(Dialog.PlainButton->Pressed());
    EXPECT_NE(::GetCapture(), button);
    EXPECT_EQ(std::count(Dialog.Commands.begin(), Dialog.Commands.end(), id), static_cast<long>(c.Clicks));
  }
  // A release without a press on the button is no click.
  Dialog.Commands.clear();
  ::PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  PumpMessages();
  EXPECT_TRUE(Dialog.Commands.empty());
}

TEST_F(ControlsTest, KeyboardSpaceClicksAndTheDialogCodeFollowsTheDefaultLook) {
  HWND button = Dialog.DefaultButton->Handle();
  EXPECT_EQ(::SendMessageW(button, WM_GETDLGCODE, 0, 0), DLGC_DEFPUSHBUTTON);
  ::SetFocus(Dialog.PlainButton->Handle());
  EXPECT_EQ(::SendMessageW(button, WM_GETDLGCODE, 0, 0), DLGC_UNDEFPUSHBUTTON);
  EXPECT_EQ(::SendMessageW(Dialog.PlainButton->Handle(), WM_GETDLGCODE, 0, 0), DLGC_DEFPUSHBUTTON);
  Dialog.Commands.clear();
  ::SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(::SendMessageW(button, BM_GETSTATE, 0, 0), BST_PUSHED);
  ::SendMessageW(button, WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(::SendMessageW(button, BM_GETSTATE, 0, 0), 0);
  EXPECT_EQ(Dialog.Commands, std::vector<int>{180});
  EXPECT_EQ(::GetFocus(), button);
}

TEST_F(ControlsTest, CheckBoxMarkAndToggle) {
  struct TCase {
    TColorCheckBox* Box;
    COLORREF Mark;
  };
  for (const TCase& c : {TCase{Dialog.Check, DarkColor}, TCase{Dialog.Unchecked, 0xFFFFFF}}) {
    SCOPED_TRACE(c.Box->Checked);
    HWND box = c.Box->Handle();
    const int side = c.Box->ClientRect().bottom - 2;
    const int o = (side - 12) / 2;
    EXPECT_EQ(PixelOf(box, 1, 1), BorderColor);
    // The strokes of the mark: the short one down, the long one up.
    for (POINT p : {POINT{4, 6}, POINT{5, 8}, POINT{6, 10}, POINT{7, 9}, POINT{8, 6}, POINT{10, 4}, POINT{10, 6}}) {
      EXPECT_EQ(PixelOf(box, p.x + o, p.y + o), c.Mark) << p.x << "," << p.y;
    }
    EXPECT_EQ(PixelOf(box, 4 + o, 9 + o), 0xFFFFFFu);
  }
  Dialog.Commands.clear();
  Dialog.Unchecked->Click();
  EXPECT_TRUE(Dialog.Unchecked->Checked);
  EXPECT_EQ(std::count(Dialog.Commands.begin(), Dialog.Commands.end(), 161), 0) << "a check box tells its parent nothing";
}

TEST_F(ControlsTest, TitleTextIsDrawnInTheTitleColour) {
  const RECT client = Dialog.Title->ClientRect();
  EXPECT_TRUE(Has(PixelsOf(Dialog.Title->Handle(), client), TitleColor));
}

// Large enough that the natural width is wider than the start width.
constexpr int TitleSize = 28;

int WidthOf(HFONT font) {
  LOGFONTW logFont{};
  ::GetObjectW(font, sizeof logFont, &logFont);
  return logFont.lfWidth;
}

int TextWidthAt(const std::wstring& text, int characterWidth) {
  LOGFONTW logFont{};
  logFont.lfHeight = -ScaleY(TitleSize);
  logFont.lfWidth = characterWidth;
  logFont.lfWeight = FW_BOLD;
  logFont.lfCharSet = DEFAULT_CHARSET;
  logFont.lfQuality = CLEARTYPE_QUALITY;
  ::lstrcpyW(logFont.lfFaceName, L"Tahoma");
  HFONT font = ::CreateFontIndirectW(&logFont);
  const int width = TextWidth(font, text);
  ::DeleteObject(font);
  return width;
}

TEST_F(ControlsTest, ATitleTooLongIsNarrowedStepByStepOrKeepsItsNaturalWidth) {
  const std::wstring text = L"Установка программы";
  ASSERT_GT(TextWidthAt(text, 7), TextWidthAt(text, 4));
  ASSERT_GT(TextWidthAt(text, 4), TextWidthAt(text, 1));
  struct TCase {
    const char* Name;
    int ControlWidth;
    int ExpectedWidth;
  };
  const TCase cases[] = {
      {"fits at its natural width", TextWidthAt(text, 0) + 4, 0},
      {"fits at the start width", TextWidthAt(text, 7), 7},
      {"fits after three steps", TextWidthAt(text, 4), 4},
      {"fits at no width", TextWidthAt(text, 1) - 6, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTitleControl& title = Dialog.AddControl(
        std::make_unique<TTitleControl>(::GetDlgItem(Dialog.Handle(), 102), L"Tahoma", TitleSize, 0, false));
    title.SetBounds(-1, -1, c.ControlWidth, 40);
    title.SetText(text);
    title.FitText(7);
    EXPECT_EQ(WidthOf(title.TitleFont()), c.ExpectedWidth);
  }
}

TEST_F(ControlsTest, DisabledComboBoxes) {
  // A plain drop-down list shows its text in the dark colour.
  const RECT client = Dialog.PlainList->ClientRect();
  const std::vector<COLORREF> field = PixelsOf(Dialog.PlainList->Handle(), RECT{3, 3, client.right / 2, client.bottom - 3});
  EXPECT_TRUE(Has(field, DarkColor));
  EXPECT_FALSE(Has(field, 0x000000));
  EXPECT_EQ(PixelOf(Dialog.PlainList->Handle(), 0, 0), BorderColor);
  EXPECT_EQ(PixelOf(Dialog.PlainList->Handle(), 2, client.bottom / 2), FaceColor);
  // An owner-drawn one asks its parent to draw the selection field.
  ASSERT_FALSE(Dialog.DrawRequests.empty());
  const DRAWITEMSTRUCT& draw = Dialog.DrawRequests.back();
  EXPECT_EQ(draw.hwndItem, Dialog.DriveList->Handle());
  EXPECT_EQ(draw.itemID, 0u);
  EXPECT_NE(draw.itemState & ODS_COMBOBOXEDIT, 0u);
  EXPECT_EQ(draw.rcItem.left, 3);
}

TEST_F(ControlsTest, StaticEditAndFrameLook) {
  EXPECT_EQ(PixelOf(Dialog.Step->Handle(), 0, 0), BorderColor);
  EXPECT_EQ(PixelOf(Dialog.Edit->Handle(), 0, 0), BorderColor);
  EXPECT_EQ(PixelOf(Dialog.DisabledEdit->Handle(), 1, 1), FaceColor);
  const RECT edit = Dialog.DisabledEdit->ClientRect();
  EXPECT_TRUE(Has(PixelsOf(Dialog.DisabledEdit->Handle(), RECT{1, 1, edit.right - 1, edit.bottom - 1}), DarkColor));
  HWND frame = ::GetDlgItem(Dialog.Handle(), 150);
  EXPECT_EQ(PixelOf(frame, 10, 0), BorderColor);
}

TEST_F(ControlsTest, MessageListDrawsItsHeaderAndGrid) {
  HWND list = Dialog.List->Handle();
  HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
  ASSERT_NE(header, nullptr);
  RECT headerRect{};
  ::GetClientRect(header, &headerRect);
  // The header: a plain band, then a gradient in its last four rows.
  EXPECT_EQ(PixelOf(header, 2, 1), ShadeColor(FaceColor, -8));
  EXPECT_EQ(PixelOf(header, 2, headerRect.bottom - 1), ShadeColor(FaceColor, -16));
  // Rows: the window colour with grid lines at the bottom.
  RECT row{};
  row.left = LVIR_BOUNDS;
  ASSERT_TRUE(::SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row)));
  EXPECT_EQ(PixelOf(list, row.right / 2, row.bottom - 1), ShadeColor(FaceColor, -96));
  EXPECT_EQ(PixelOf(list, row.right - 3, (row.top + row.bottom) / 2), ::GetSysColor(COLOR_WINDOW));
}

TEST_F(ControlsTest, ScreenshotOfEveryControl) {
  Dialog.List->InvalidateItem(0);
  RepaintNow(Dialog.Handle());
  const auto file = uitest::TestOutputDir() / "controls.png";
  std::filesystem::remove(file);
  ASSERT_TRUE(uitest::SaveWindowPicture(Dialog.Handle(), file));
  EXPECT_GT(std::filesystem::file_size(file), 1000u);
}

}  // namespace
