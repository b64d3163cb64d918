#include "setup/ui/GdiTools.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "setup/ui/GdiPlus.h"
#include "ui/UiTestWindows.h"

namespace {

using uitest::TBitmapCanvas;

TEST(GdiToolsTest, ColourArithmetic) {
  struct TShade {
    TColor Color;
    int Amount;
    COLORREF Expected;
  };
  const TShade shades[] = {
      {0xF0F0F0, -64, 0xB0B0B0}, {0xF0F0F0, -128, 0x707070}, {0xF0F0F0, 16, 0xFFFFFF},
      {0x102030, -0x20, 0x000010}, {0x00FF80, 0x90, 0x90FFFF}, {0x123456, 0, 0x123456},
  };
  for (const TShade& c : shades) EXPECT_EQ(ShadeColor(c.Color, c.Amount), c.Expected) << std::hex << c.Color;
  // A system colour is resolved first.
  EXPECT_EQ(ShadeColor(clWindow, 0), ::GetSysColor(COLOR_WINDOW));

  struct TMix {
    TColor A;
    TColor B;
    COLORREF Expected;
  };
  const TMix mixes[] = {{0xFFFFFF, 0, 0x7F7F7F}, {0x010203, 0x020304, 0x010203}, {0xF0F0F0, 0xF0F0F0, 0xF0F0F0}};
  for (const TMix& c : mixes) EXPECT_EQ(MixColors(c.A, c.B), c.Expected) << std::hex << c.A << " " << c.B;

  struct TContrast {
    TColor Background;
    COLORREF Expected;
  };
  // Luminance 128 is the first light one.
  const TContrast contrasts[] = {
      {0xFFFFFF, 0}, {0x000000, 0xDCFFFF}, {0x808080, 0}, {0x7F7F7F, 0xDCFFFF}, {0xF0F0F0, 0}, {0x0000FF, 0xDCFFFF},
  };
  for (const TContrast& c : contrasts) {
    EXPECT_EQ(ContrastTextColor(c.Background), c.Expected) << std::hex << c.Background;
  }
}

constexpr COLORREF Paper = 0x123456;

TEST(GdiToolsTest, GradientRowsAndBands) {
  const COLORREF top = 0x0000FF;
  const COLORREF bottom = 0x000000;
  {
    // One row: nothing is drawn.
    TBitmapCanvas canvas(10, 5, Paper);
    GradientFill(canvas.dc(), RECT{0, 2, 10, 3}, top, bottom);
    for (int y = 0; y < 5; ++y) EXPECT_EQ(canvas.Pixel(5, y), Paper) << y;
  }
  {
    // Two rows: the top one in the top colour, the bottom one in the bottom
    // colour, nothing outside.
    TBitmapCanvas canvas(10, 6, Paper);
    GradientFill(canvas.dc(), RECT{2, 2, 8, 4}, top, bottom);
    EXPECT_EQ(canvas.Pixel(2, 2), top);
    EXPECT_EQ(canvas.Pixel(7, 3), bottom);
    EXPECT_EQ(canvas.Pixel(5, 1), Paper);
    EXPECT_EQ(canvas.Pixel(5, 4), Paper);
    EXPECT_EQ(canvas.Pixel(1, 2), Paper);
    EXPECT_EQ(canvas.Pixel(8, 3), Paper);
  }
  {
    // 600 rows: 256 bands of two or three rows, one colour per band.
    TBitmapCanvas canvas(4, 600, Paper);
    GradientFill(canvas.dc(), RECT{0, 0, 4, 600}, top, bottom);
    EXPECT_EQ(canvas.Pixel(0, 0), top);
    EXPECT_EQ(canvas.Pixel(3, 599), bottom);
    std::set<COLORREF> colours;
    int run = 1;
    for (int y = 1; y <= 600; ++y) {
      if (y < 600 && canvas.Pixel(1, y) == canvas.Pixel(1, y - 1)) {
        ++run;
        continue;
      }
      EXPECT_TRUE(run == 2 || run == 3) << "band ending at row " << y << " has " << run << " rows";
      colours.insert(canvas.Pixel(1, y - 1));
      run = 1;
    }
    EXPECT_EQ(colours.size(), 256u);
  }
}

TEST(GdiToolsTest, AGradientOnA256ColourScreenIsThePlainMix) {
  SetScreenColorsForTests(256);
  TBitmapCanvas canvas(10, 40, Paper);
  GradientFill(canvas.dc(), RECT{0, 0, 10, 40}, 0xFFFFFF, 0xF0F0F0);
  SetScreenColorsForTests(0);
  for (int y : {0, 20, 39}) EXPECT_EQ(canvas.Pixel(4, y), MixColors(0xFFFFFF, 0xF0F0F0)) << y;
  EXPECT_TRUE(GradientsDrawn());
}

bool SameDrawing(const TBitmapCanvas& a, const TBitmapCanvas& b) {
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
    }
  }
  return true;
}

TEST(GdiToolsTest, TextIsCentredVerticallyAndATallTextStartsAtTheTop) {
  HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  struct TCase {
    const char* Name;
    std::wstring Text;
    UINT Flags;
  };
  const TCase cases[] = {
      {"one line", L"Tavrel", DT_CENTER},
      {"single-line flag", L"Tavrel setup", DT_SINGLELINE},
      {"taller than the rectangle", L"one\ntwo\nthree\nfour\nfive\nsix", DT_CENTER},
  };
  const RECT rect{10, 20, 150, 50};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBitmapCanvas centred(160, 120, 0xFFFFFF);
    TBitmapCanvas expected(160, 120, 0xFFFFFF);
    ::SelectObject(centred.dc(), font);
    ::SelectObject(expected.dc(), font);
    DrawTextCentered(centred.dc(), rect, c.Text, c.Flags);
    UINT flags = c.Flags | DT_EXPANDTABS | DT_NOPREFIX;
    if ((c.Flags & DT_SINGLELINE) == 0) flags |= DT_WORDBREAK;
    RECT measured{0, 0, rect.right - rect.left, 0};
    ::DrawTextW(expected.dc(), c.Text.c_str(), -1, &measured, flags | DT_CALCRECT);
    RECT at = rect;
    const int height = measured.bottom - measured.top;
    if (height < rect.bottom - rect.top) at.top += (rect.bottom - rect.top - height) / 2;
    if (std::string(c.Name) == "taller than the rectangle") {
      EXPECT_EQ(at.top, rect.top);
    }
    ::DrawTextW(expected.dc(), c.Text.c_str(), -1, &at, flags);
    EXPECT_TRUE(SameDrawing(centred, expected));
  }
}

TEST(GdiToolsTest, NarrowFontStartsANaturalWidthAndThenStepsIt) {
  LOGFONTW logFont{};
  logFont.lfHeight = -16;
  ::lstrcpyW(logFont.lfFaceName, L"Tahoma");
  HFONT font = ::CreateFontIndirectW(&logFont);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(NarrowFont(font, 7, -1), 7);
  LOGFONTW read{};
  ::GetObjectW(font, sizeof read, &read);
  EXPECT_EQ(read.lfWidth, 7);
  EXPECT_EQ(NarrowFont(font, 7, -1), 6);
  ::GetObjectW(font, sizeof read, &read);
  EXPECT_EQ(read.lfWidth, 6);
  EXPECT_EQ(std::wstring(read.lfFaceName), L"Tahoma");
  EXPECT_LT(TextWidth(font, L"Tavrel Setup"), 12 * 7 + 1);
  ::DeleteObject(font);
}

TEST(GdiToolsTest, TextWidthMeasuresTheWidestLine) {
  HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  const int one = TextWidth(font, L"Installation");
  EXPECT_GT(one, 0);
  EXPECT_EQ(TextWidth(font, L"Installation\r\nTav"), one);
  EXPECT_GT(TextWidth(font, L"Installation Installation"), one);
}

TEST(GdiToolsTest, FramesEdgesAndBorders) {
  TBitmapCanvas canvas(40, 40, Paper);
  const RECT inner = FrameAndFill(canvas.dc(), RECT{0, 0, 10, 10}, 0xFFFFFF, 0xB0B0B0);
  EXPECT_EQ(inner.left, 1);
  EXPECT_EQ(inner.bottom, 9);
  EXPECT_EQ(canvas.Pixel(0, 0), 0xB0B0B0u);
  EXPECT_EQ(canvas.Pixel(9, 9), 0xB0B0B0u);
  EXPECT_EQ(canvas.Pixel(5, 5), 0xFFFFFFu);
  // No frame colour: the fill covers the whole rectangle.
  FrameAndFill(canvas.dc(), RECT{10, 0, 20, 10}, 0x00FF00, NoColor);
  EXPECT_EQ(canvas.Pixel(10, 0), 0x00FF00u);

  DrawEdges(canvas.dc(), RECT{0, 20, 10, 30}, 0x0000FF, edRight + edBottom);
  EXPECT_EQ(canvas.Pixel(9, 22), 0x0000FFu);
  EXPECT_EQ(canvas.Pixel(4, 29), 0x0000FFu);
  EXPECT_EQ(canvas.Pixel(0, 22), Paper);
  EXPECT_EQ(canvas.Pixel(4, 20), Paper);

  // Sunken: dark top and left, light right and bottom; the inside is kept.
  Draw3DBorder(canvas.dc(), RECT{20, 20, 30, 30}, 0xF0F0F0, false, 1, false);
  EXPECT_EQ(canvas.Pixel(20, 25), 0xD0D0D0u);
  EXPECT_EQ(canvas.Pixel(25, 20), 0xD0D0D0u);
  EXPECT_EQ(canvas.Pixel(29, 25), 0xFFFFFFu);
  EXPECT_EQ(canvas.Pixel(25, 29), 0xFFFFFFu);
  EXPECT_EQ(canvas.Pixel(25, 25), Paper);
  // Raised and filled.
  Draw3DBorder(canvas.dc(), RECT{30, 30, 40, 40}, 0xF0F0F0, true, 1, true);
  EXPECT_EQ(canvas.Pixel(30, 35), 0xFFFFFFu);
  EXPECT_EQ(canvas.Pixel(39, 35), 0xD0D0D0u);
  EXPECT_EQ(canvas.Pixel(35, 35), 0xF0F0F0u);

  const RECT outline = DrawRectangle(canvas.dc(), RECT{0, 30, 10, 40}, 0xFF0000, false, 2);
  EXPECT_EQ(outline.left, 2);
  EXPECT_EQ(canvas.Pixel(0, 35), 0xFF0000u);
  EXPECT_EQ(canvas.Pixel(1, 35), 0xFF0000u);
  EXPECT_EQ(canvas.Pixel(9, 35), 0xFF0000u);
  EXPECT_EQ(canvas.Pixel(5, 35), Paper);
}

// --- GDI+ ------------------------------------------------------------------

TEST(GdiPlusTest, TheHeaderPictureLoadsFromTheResourcesAndDrawsScaled) {
  ASSERT_TRUE(EnsureGdiPlus());
  TGdiPlusImage picture = LoadResourcePicture(L"HEADER");
  ASSERT_NE(picture, nullptr);
  float width = 0;
  float height = 0;
  ASSERT_TRUE(PictureSize(picture, width, height));
  EXPECT_EQ(width, 688.0f);
  EXPECT_EQ(height, 86.0f);
  // Half the width: 43 rows high.
  TBitmapCanvas canvas(344, 60, Paper);
  EXPECT_TRUE(DrawPicture(canvas.dc(), RECT{0, 0, 344, 10}, picture));
  const COLORREF tile = canvas.Pixel(12, 32);  // the blue tile of the mark
  EXPECT_NEAR(GetRValue(tile), 24, 8);
  EXPECT_NEAR(GetGValue(tile), 117, 8);
  EXPECT_NEAR(GetBValue(tile), 186, 8);
  EXPECT_NE(canvas.Pixel(200, 40), Paper);
  EXPECT_EQ(canvas.Pixel(200, 45), Paper);
  DisposePicture(picture);
  EXPECT_EQ(LoadResourcePicture(L"NO_SUCH_PICTURE"), nullptr);
}

TEST(GdiPlusTest, WithoutGdiPlusLoadingAndDrawingFailQuietly) {
  RebindGdiPlusForTests(L"no-such-gdiplus.dll");
  EXPECT_FALSE(EnsureGdiPlus());
  EXPECT_FALSE(EnsureGdiPlus());
  EXPECT_EQ(LoadResourcePicture(L"HEADER"), nullptr);
  TBitmapCanvas canvas(10, 10, Paper);
  int fake = 0;
  EXPECT_FALSE(DrawPicture(canvas.dc(), RECT{0, 0, 10, 10}, &fake));
  RebindGdiPlusForTests(L"");
  EXPECT_TRUE(EnsureGdiPlus());
}

}  // namespace
