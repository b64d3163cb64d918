#include "setup/ui/GdiTools.h"

#include <algorithm>
#include <atomic>

#include "platform/PlatformIntfTypes.h"
#include "platform/UniqueHandle.h"

namespace {

using TSetDCBrushColor = COLORREF(WINAPI*)(HDC, COLORREF);

struct TScreenFacts {
  std::uint64_t Colors = 256;
  TSetDCBrushColor SetDCBrushColor = nullptr;
};

const TScreenFacts& ScreenFacts() {
  static const TScreenFacts facts = [] {
    TScreenFacts result;
    if (HDC screen = ::GetDC(nullptr)) {
      const int bits = ::GetDeviceCaps(screen, PLANES) * ::GetDeviceCaps(screen, BITSPIXEL);
      // A true-colour screen has 2^32 colours: wider than an int.
      result.Colors = std::uint64_t{1} << std::clamp(bits, 0, 32);
      ::ReleaseDC(nullptr, screen);
    }
    if (RuntimeEnvironment().IsWindows2000OrLater) {
      if (HMODULE gdi = ::GetModuleHandleW(L"gdi32.dll")) {
        result.SetDCBrushColor = reinterpret_cast<TSetDCBrushColor>(
            reinterpret_cast<void*>(::GetProcAddress(gdi, "SetDCBrushColor")));
      }
    }
    return result;
  }();
  return facts;
}

std::atomic<std::uint64_t> ColorsOverride{0};

int Red(COLORREF c) { return GetRValue(c); }
int Green(COLORREF c) { return GetGValue(c); }
int Blue(COLORREF c) { return GetBValue(c); }

int ClampChannel(int value) { return std::clamp(value, 0, 255); }

// The brush and pen of a helper, made from the nearest colour the device
// context shows.
UniqueGdiObject NearestPen(HDC dc, TColor color, int width) {
  return UniqueGdiObject(::CreatePen(PS_SOLID, width, ::GetNearestColor(dc, ResolveColor(color))));
}

// Selects an object into a device context for a scope.
class TSelection {
public:
  TSelection(HDC dc, HGDIOBJ object) : Dc(dc), Previous(::SelectObject(dc, object)) {}
  ~TSelection() {
    if (Previous != nullptr && Previous != HGDI_ERROR) ::SelectObject(Dc, Previous);
  }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;

private:
  HDC Dc;
  HGDIOBJ Previous;
};

constexpr UINT BaseTextFlags = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;

UINT TextFlags(UINT flags) {
  UINT base = BaseTextFlags;
  if ((flags & DT_SINGLELINE) != 0) base &= ~static_cast<UINT>(DT_WORDBREAK);
  return flags | base;
}

COLORREF BandColor(COLORREF top, COLORREF bottom, int band, int lastBand) {
  auto channel = [&](int t, int b) { return b + (t - b) * band / lastBand; };
  return RGB(channel(Red(top), Red(bottom)), channel(Green(top), Green(bottom)), channel(Blue(top), Blue(bottom)));
}

}  // namespace

COLORREF ResolveColor(TColor color) {
  if (color < 0) return ::GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color);
}

COLORREF ShadeColor(TColor color, int amount) {
  const COLORREF c = ResolveColor(color);
  return RGB(ClampChannel(Red(c) + amount), ClampChannel(Green(c) + amount), ClampChannel(Blue(c) + amount));
}

COLORREF MixColors(TColor a, TColor b) {
  const COLORREF x = ResolveColor(a);
  const COLORREF y = ResolveColor(b);
  return RGB((Red(x) + Red(y)) / 2, (Green(x) + Green(y)) / 2, (Blue(x) + Blue(y)) / 2);
}

int Luminance(TColor color) {
  const COLORREF c = ResolveColor(color);
  return (77 * Red(c) + 150 * Green(c) + 29 * Blue(c)) >> 8;
}

COLORREF ContrastTextColor(TColor color) { return Luminance(color) >= 128 ? 0 : 0xDCFFFF; }

std::uint64_t ScreenColors() {
  const std::uint64_t forced = ColorsOverride.load();
  return forced != 0 ? forced : ScreenFacts().Colors;
}

bool GradientsDrawn() { return ScreenColors() > 256; }

void SetScreenColorsForTests(std::uint64_t colors) { ColorsOverride.store(colors); }

HBRUSH CreateNearestBrush(HDC dc, TColor color) {
  return ::CreateSolidBrush(::GetNearestColor(dc, ResolveColor(color)));
}

RECT FrameAndFill(HDC dc, RECT rect, TColor fill, TColor frame) {
  if (frame != NoColor) {
    UniqueGdiObject brush(CreateNearestBrush(dc, frame));
    ::FrameRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
    ::InflateRect(&rect, -1, -1);
  }
  if (fill != NoColor) {
    UniqueGdiObject brush(CreateNearestBrush(dc, fill));
    ::FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
  }
  return rect;
}

RECT DrawRectangle(HDC dc, RECT rect, TColor color, bool filled, int penWidth, int hatch) {
  if (filled) {
    const COLORREF nearest = ::GetNearestColor(dc, ResolveColor(color));
    UniqueGdiObject brush(hatch != -1 ? ::CreateHatchBrush(hatch, nearest) : ::CreateSolidBrush(nearest));
    ::FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
    return rect;
  }
  UniqueGdiObject pen = NearestPen(dc, color, penWidth);
  if (!pen) return rect;
  RECT outline = rect;
  if (penWidth > 1) {
    // A wide pen is centred on the outline: move the outline in so that the
    // whole line stays inside the rectangle.
    outline.left += penWidth / 2;
    outline.top += penWidth / 2;
    outline.right -= (penWidth - 1) / 2;
    outline.bottom -= (penWidth - 1) / 2;
  }
  {
    TSelection selectPen(dc, pen.get());
    TSelection selectBrush(dc, ::GetStockObject(NULL_BRUSH));
    ::Rectangle(dc, outline.left, outline.top, outline.right, outline.bottom);
  }
  ::InflateRect(&rect, -penWidth, -penWidth);
  return rect;
}

void DrawLine(HDC dc, POINT from, POINT to, TColor color) {
  UniqueGdiObject pen = NearestPen(dc, color, 1);
  if (!pen) return;
  TSelection selectPen(dc, pen.get());
  ::MoveToEx(dc, from.x, from.y, nullptr);
  ::LineTo(dc, to.x, to.y);
}

void DrawPolyline(HDC dc, const POINT* points, int count, TColor color, int penWidth) {
  UniqueGdiObject pen = NearestPen(dc, color, penWidth);
  if (!pen) return;
  TSelection selectPen(dc, pen.get());
  ::Polyline(dc, points, count);
}

void DrawEdges(HDC dc, const RECT& rect, TColor color, int edges) {
  const LONG right = rect.right - 1;
  const LONG bottom = rect.bottom - 1;
  if ((edges & edLeft) != 0) DrawLine(dc, {rect.left, rect.top}, {rect.left, rect.bottom}, color);
  if ((edges & edTop) != 0) DrawLine(dc, {rect.left, rect.top}, {rect.right, rect.top}, color);
  if ((edges & edRight) != 0) DrawLine(dc, {right, rect.top}, {right, rect.bottom}, color);
  if ((edges & edBottom) != 0) DrawLine(dc, {rect.left, bottom}, {rect.right, bottom}, color);
}

void Draw3DBorder(HDC dc, RECT rect, TColor color, bool raised, int width, bool fill, int hatch) {
  if (rect.right - rect.left < 2 * width) return;
  const std::uint64_t colors = ScreenColors();
  const int step = colors <= 16 ? 128 : colors <= 256 ? 64 : 32;
  const COLORREF light = ShadeColor(color, step);
  const COLORREF dark = ShadeColor(color, -step);
  // The pen is centred on the line: the lines run half a width inside, and
  // right and bottom become the coordinates of the last pixel.
  rect.left += width / 2;
  rect.top += width / 2;
  rect.right -= width / 2 + (width % 2);
  rect.bottom -= width / 2 + (width % 2);
  const POINT topLeftEdges[] = {{rect.left, rect.bottom}, {rect.left, rect.top}, {rect.right, rect.top}};
  const POINT bottomRightEdges[] = {{rect.right, rect.top}, {rect.right, rect.bottom}, {rect.left, rect.bottom}};
  DrawPolyline(dc, topLeftEdges, 3, raised ? light : dark, width);
  DrawPolyline(dc, bottomRightEdges, 3, raised ? dark : light, width);
  if (fill) {
    RECT inside{rect.left + (width + 1) / 2, rect.top + (width + 1) / 2, rect.right - width / 2,
                rect.bottom - width / 2};
    DrawRectangle(dc, inside, color, true, 1, hatch);
  }
}

void GradientFill(HDC dc, const RECT& rect, TColor top, TColor bottom) {
  if (::IsRectEmpty(&rect)) return;
  if (!GradientsDrawn()) {
    DrawRectangle(dc, rect, MixColors(top, bottom), true);
    return;
  }
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const int bands = std::min(height, 256);
  if (bands <= 1) return;
  const COLORREF topColor = ResolveColor(top);
  const COLORREF bottomColor = ResolveColor(bottom);
  const TSetDCBrushColor setBrushColor = ScreenFacts().SetDCBrushColor;
  HGDIOBJ previous = ::SelectObject(dc, ::GetStockObject(DC_BRUSH));
  UniqueGdiObject bandBrush;
  for (int band = 0; band < bands; ++band) {
    const int from = rect.bottom - height * (band + 1) / bands;
    const int to = rect.bottom - height * band / bands;
    const COLORREF color = BandColor(topColor, bottomColor, band, bands - 1);
    if (setBrushColor != nullptr) {
      setBrushColor(dc, color);
    } else {
      UniqueGdiObject brush(::CreateSolidBrush(color));
      ::SelectObject(dc, brush.get());
      bandBrush = std::move(brush);
    }
    ::PatBlt(dc, rect.left, from, width, to - from, PATCOPY);
  }
  ::SelectObject(dc, previous);
  ::GdiFlush();
}

int DrawTextCentered(HDC dc, RECT rect, const std::wstring& text, UINT flags) {
  const UINT allFlags = TextFlags(flags);
  RECT measured{0, 0, rect.right - rect.left, rect.bottom - rect.top};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, allFlags | DT_CALCRECT);
  const int textHeight = measured.bottom - measured.top;
  const int height = rect.bottom - rect.top;
  if (textHeight < height) rect.top += (height - textHeight) / 2;
  return ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, allFlags);
}

int TextWidth(HFONT font, const std::wstring& text) {
  HDC dc = ::CreateCompatibleDC(nullptr);
  if (dc == nullptr) return 0;
  RECT area{0, 0, 0x7FFF, 0x7FFF};
  {
    TSelection selectFont(dc, font);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, BaseTextFlags | DT_CALCRECT);
  }
  ::DeleteDC(dc);
  return area.right - area.left;
}

int NarrowFont(HFONT& font, int startWidth, int delta) {
  LOGFONTW logFont{};
  if (::GetObjectW(font, sizeof logFont, &logFont) != sizeof logFont) return 0;
  logFont.lfWidth = logFont.lfWidth == 0 ? startWidth : logFont.lfWidth + delta;
  HFONT narrowed = ::CreateFontIndirectW(&logFont);
  if (narrowed == nullptr) return 0;
  ::DeleteObject(font);
  font = narrowed;
  return logFont.lfWidth;
}
