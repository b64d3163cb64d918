#include "setup/ui/WindowGeometry.h"

#include <gtest/gtest.h>

namespace {

struct TCentringCase {
  const char* Name;
  std::int32_t Width, Height;
  TScreenRect Reference;
  TScreenRect WorkArea;
  bool Fit;
  TScreenPoint Expected;
};

const TScreenRect Screen{0, 0, 1280, 1000};

const TCentringCase CentringCases[] = {
    {"centred on the reference", 200, 100, {100, 100, 700, 500}, Screen, true, {300, 250}},
    {"odd sums round toward zero", 201, 101, {100, 100, 700, 500}, Screen, false, {299, 249}},
    {"exactly three times the width stays on the reference", 300, 100, {100, 100, 200, 500}, Screen, true,
     {0, 250}},
    {"wider than three times the reference: work area", 301, 100, {100, 100, 200, 500}, Screen, true, {489, 450}},
    {"taller than three times the reference: work area", 200, 301, {100, 100, 700, 200}, Screen, true,
     {540, 349}},
    {"too small a reference without fit stays on it", 301, 100, {500, 100, 600, 500}, Screen, false, {399, 250}},
    {"no reference without fit: top-left corner", 300, 200, {}, Screen, false, {0, 0}},
    {"no reference with fit: work area", 300, 200, {}, Screen, true, {490, 400}},
    {"past the right edge ends at it", 400, 100, {1100, 100, 1280, 300}, Screen, false, {880, 150}},
    {"past the bottom edge ends at it", 200, 300, {100, 900, 300, 1000}, Screen, false, {100, 700}},
    {"before the left and top edges starts at them", 400, 300, {0, 0, 100, 100}, Screen, false, {0, 0}},
    // A window larger than the work area keeps its title bar on the screen.
    {"larger than the work area: top-left of it", 1400, 1100, {100, 100, 700, 500}, Screen, true, {0, 0}},
    // A monitor left of and above the primary one has negative coordinates.
    {"monitor with negative coordinates", 200, 100, {-1500, -800, -900, -400}, {-1920, -1080, 0, -40}, true,
     {-1300, -650}},
    {"near the left edge of a monitor with negative coordinates", 400, 300, {-1920, -1080, -1820, -980},
     {-1920, -1080, 0, -40}, false, {-1920, -1080}},
    {"work area not at the origin", 200, 100, {}, {0, 40, 1280, 1000}, false, {0, 40}},
};

TEST(CenteredWindowPosition, PlacesTheWindowByTheTable) {
  for (const TCentringCase& c : CentringCases) {
    SCOPED_TRACE(c.Name);
    const TScreenPoint at = CenteredWindowPosition(c.Width, c.Height, c.Reference, c.WorkArea, c.Fit);
    EXPECT_EQ(at.X, c.Expected.X);
    EXPECT_EQ(at.Y, c.Expected.Y);
  }
}

TEST(TrayProbePoints, CoversTheClientAreaWithATenPixelGrid) {
  EXPECT_TRUE(TrayProbePoints(0, 0).empty());
  EXPECT_TRUE(TrayProbePoints(5, 100).empty());
  EXPECT_EQ(TrayProbePoints(6, 6), (std::vector<TScreenPoint>{{5, 5}}));
  EXPECT_EQ(TrayProbePoints(26, 16), (std::vector<TScreenPoint>{{5, 5}, {15, 5}, {25, 5}, {5, 15}, {15, 15}, {25, 15}}));
  EXPECT_EQ(TrayProbePoints(25, 6), (std::vector<TScreenPoint>{{5, 5}, {15, 5}}));
}

}  // namespace
