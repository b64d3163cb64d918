#pragma once
// Helpers of the window and control tests: message pumping, pixels read
// back from windows and memory bitmaps, and saving a window as a picture.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/Win.h"

namespace uitest {

// Runs the messages of this thread until none is left.
void PumpMessages();
// Repaints the window and its children now.
void RepaintNow(HWND window);
// The colour of a pixel of a window's client area, as the screen shows it.
COLORREF PixelOf(HWND window, int x, int y);
// Every pixel of a window's client area, row by row.
std::vector<COLORREF> PixelsOf(HWND window, const RECT& area);

// A 32-bit memory bitmap with a device context, filled with one colour.
class TBitmapCanvas {
public:
  TBitmapCanvas(int width, int height, COLORREF fill);
  ~TBitmapCanvas();
  TBitmapCanvas(const TBitmapCanvas&) = delete;
  TBitmapCanvas& operator=(const TBitmapCanvas&) = delete;

  HDC dc() const { return Dc; }
  COLORREF Pixel(int x, int y) const;
  int Width() const { return W; }
  int Height() const { return H; }

private:
  int W;
  int H;
  HDC Dc = nullptr;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ Previous = nullptr;
  const std::uint32_t* Bits = nullptr;
};

// The folder of this build's test output (created).
std::filesystem::path TestOutputDir();
// Saves what the screen shows of the window as a PNG; false on failure.
bool SaveWindowPicture(HWND window, const std::filesystem::path& file);

}  // namespace uitest
