#include "setup/ui/WindowGeometry.h"

#include <algorithm>

namespace {

// Centre of [low, high) for a span of length size, before any clamping.
std::int32_t CentredStart(std::int32_t low, std::int32_t high, std::int32_t size) {
  const std::int64_t sum = std::int64_t{low} + high - size;
  return static_cast<std::int32_t>(sum / 2);
}

// Keeps [start, start + size) inside [low, high) where it can; when it
// cannot, the start edge wins.
std::int32_t KeepInside(std::int32_t start, std::int32_t size, std::int32_t low, std::int32_t high) {
  if (std::int64_t{start} + size > high) start = high - size;
  return std::max(start, low);
}

bool TooSmallToCentreOn(const TScreenRect& reference, std::int32_t width, std::int32_t height) {
  return std::int64_t{reference.Width()} * 3 < width || std::int64_t{reference.Height()} * 3 < height;
}

}  // namespace

TScreenPoint CenteredWindowPosition(std::int32_t width, std::int32_t height, const TScreenRect& reference,
                                    const TScreenRect& workArea, bool fit) {
  const TScreenRect& centre = fit && TooSmallToCentreOn(reference, width, height) ? workArea : reference;
  const std::int32_t x = CentredStart(centre.Left, centre.Right, width);
  const std::int32_t y = CentredStart(centre.Top, centre.Bottom, height);
  return {KeepInside(x, width, workArea.Left, workArea.Right), KeepInside(y, height, workArea.Top, workArea.Bottom)};
}

std::vector<TScreenPoint> TrayProbePoints(std::int32_t width, std::int32_t height) {
  std::vector<TScreenPoint> points;
  for (std::int32_t y = 5; y < height; y += 10) {
    for (std::int32_t x = 5; x < width; x += 10) points.push_back({x, y});
  }
  return points;
}
