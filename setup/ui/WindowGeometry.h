#pragma once
// Window placement arithmetic, kept apart from the window system so that
// every case can be checked with plain rectangles.

#include <cstdint>
#include <vector>

// A rectangle in screen coordinates; Right and Bottom are exclusive, as in
// the system's RECT.
struct TScreenRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;

  std::int32_t Width() const { return Right - Left; }
  std::int32_t Height() const { return Bottom - Top; }
  bool operator==(const TScreenRect&) const = default;
};

struct TScreenPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  bool operator==(const TScreenPoint&) const = default;
};

// Top-left corner for a window of width x height centred on reference.
// With fit, a reference less than a third of the window's width or height
// (an empty one always is) gives way to the work area. The result is moved
// back so that the window ends at the work area's right and bottom edges at
// most, and then so that it starts at its left and top edges at least: a
// window larger than the work area keeps its title bar reachable.
TScreenPoint CenteredWindowPosition(std::int32_t width, std::int32_t height, const TScreenRect& reference,
                                    const TScreenRect& workArea, bool fit);

// The points of a grid with a 10-pixel step, starting 5 pixels inside the
// top-left corner of a client area of width x height, row by row.
std::vector<TScreenPoint> TrayProbePoints(std::int32_t width, std::int32_t height);
