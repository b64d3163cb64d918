#pragma once
// Colour arithmetic and the GDI drawing helpers of the setup window: frames,
// fills, edges, a three-dimensional border, a banded vertical gradient,
// vertically centred text, text measuring and font narrowing. Every helper
// draws into a device context given by the caller.

#include <cstdint>
#include <string>

#include "platform/Win.h"

// A COLORREF (0x00BBGGRR), or a system colour (negative: GetSysColor of the
// low byte), or NoColor.
using TColor = std::int32_t;

// The part drawn in this colour is left out.
constexpr TColor NoColor = 0x1FFFFFFF;
constexpr TColor clWindow = static_cast<TColor>(0xFF000005u);
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);
constexpr TColor clHighlight = static_cast<TColor>(0xFF00000Du);
constexpr TColor clHighlightText = static_cast<TColor>(0xFF00000Eu);

// Edges of DrawEdges, combined by addition.
enum : int { edLeft = 1, edTop = 2, edRight = 4, edBottom = 8 };

// The COLORREF of a colour (system colours looked up).
COLORREF ResolveColor(TColor color);
// Each channel moved by amount, clamped to 0..255.
COLORREF ShadeColor(TColor color, int amount);
// The per-channel average, rounded down.
COLORREF MixColors(TColor a, TColor b);
// (77 red + 150 green + 29 blue) / 256.
int Luminance(TColor color);
// Black on light colours (luminance 128 or more), else a pale yellow.
COLORREF ContrastTextColor(TColor color);

// The colours of the screen (1 << planes x bits per pixel, at most 1 << 32);
// 256 without a screen device context. Read once.
std::uint64_t ScreenColors();
// Gradients are drawn only on screens of more than 256 colours.
bool GradientsDrawn();
// Makes the helpers draw as on a screen of that many colours; 0 goes back
// to the screen's own count. For tests.
void SetScreenColorsForTests(std::uint64_t colors);

// A one-pixel frame (unless frame is NoColor, which keeps the rectangle)
// and a fill inside it (unless fill is NoColor); returns the inner
// rectangle.
RECT FrameAndFill(HDC dc, RECT rect, TColor fill, TColor frame);
// Filled: a solid (or, with hatch not -1, hatched) fill; returns rect.
// Outline: a pen of penWidth drawn inside rect; returns rect shrunk by the
// pen width, or rect unchanged when no pen could be made.
RECT DrawRectangle(HDC dc, RECT rect, TColor color, bool filled, int penWidth = 1, int hatch = -1);
// One-pixel lines just inside the chosen edges.
void DrawEdges(HDC dc, const RECT& rect, TColor color, int edges);
// A one-pixel line from one point to the other (the end point excluded).
void DrawLine(HDC dc, POINT from, POINT to, TColor color);
void DrawPolyline(HDC dc, const POINT* points, int count, TColor color, int penWidth);
// A raised or sunken border of width pixels in lighter and darker shades of
// color; with fill, the inside is filled with color. Nothing is drawn for a
// rectangle narrower than twice the width.
void Draw3DBorder(HDC dc, RECT rect, TColor color, bool raised, int width, bool fill, int hatch = -1);
// A vertical gradient of at most 256 bands, top colour at the top row and
// bottom colour at the bottom row; on 256 colours or fewer the plain mix
// of both. A rectangle one pixel high draws nothing.
void GradientFill(HDC dc, const RECT& rect, TColor top, TColor bottom);
// DrawTextW with the caller's flags and DT_WORDBREAK (unless DT_SINGLELINE),
// DT_EXPANDTABS and DT_NOPREFIX, moved down so that the text is centred
// vertically; a text taller than rect starts at its top. Returns the
// height of the drawn text.
int DrawTextCentered(HDC dc, RECT rect, const std::wstring& text, UINT flags);
// The width of text in font, measured as DrawTextCentered lays it out.
int TextWidth(HFONT font, const std::wstring& text);
// Re-creates font with another character width: a natural width (0)
// becomes startWidth, any other changes by delta. Returns the new width;
// the old font is deleted. On failure font stays as it was.
int NarrowFont(HFONT& font, int startWidth, int delta);

// A solid brush of the nearest colour the device context can show.
HBRUSH CreateNearestBrush(HDC dc, TColor color);
