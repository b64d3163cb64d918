#include "ui/UiTestWindows.h"

#include <cstdlib>
#include <string>

#include "platform/UniqueHandle.h"
#include "support/WindowPicture.h"

namespace uitest {

void PumpMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void RepaintNow(HWND window) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpMessages();
  ::GdiFlush();
}

// Pixels are read from the screen: what the user sees, whatever the
// window's own device context would clip.
COLORREF PixelOf(HWND window, int x, int y) {
  POINT point{x, y};
  ::ClientToScreen(window, &point);
  HDC screen = ::GetDC(nullptr);
  const COLORREF color = ::GetPixel(screen, point.x, point.y);
  ::ReleaseDC(nullptr, screen);
  return color;
}

std::vector<COLORREF> PixelsOf(HWND window, const RECT& area) {
  std::vector<COLORREF> pixels;
  POINT origin{0, 0};
  ::ClientToScreen(window, &origin);
  HDC screen = ::GetDC(nullptr);
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) pixels.push_back(::GetPixel(screen, origin.x + x, origin.y + y));
  }
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

TBitmapCanvas::TBitmapCanvas(int width, int height, COLORREF fill) : W(width), H(height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  Dc = ::CreateCompatibleDC(nullptr);
  Bitmap = ::CreateDIBSection(Dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  Bits = static_cast<const std::uint32_t*>(bits);
  Previous = ::SelectObject(Dc, Bitmap);
  HBRUSH brush = ::CreateSolidBrush(fill);
  RECT all{0, 0, width, height};
  ::FillRect(Dc, &all, brush);
  ::DeleteObject(brush);
}

TBitmapCanvas::~TBitmapCanvas() {
  ::SelectObject(Dc, Previous);
  ::DeleteObject(Bitmap);
  ::DeleteDC(Dc);
}

COLORREF TBitmapCanvas::Pixel(int x, int y) const {
  ::GdiFlush();
  const std::uint32_t value = Bits[static_cast<size_t>(y) * W + x] & 0xFFFFFF;
  return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

std::filesystem::path TestOutputDir() {
  const char* binary = std::getenv("TAVREL_BINARY_DIR");
  std::filesystem::path dir = binary != nullptr ? std::filesystem::path(binary) : std::filesystem::current_path();
  dir /= "test-output";
  std::filesystem::create_directories(dir);
  return dir;
}

bool SaveWindowPicture(HWND window, const std::filesystem::path& file) {
  UniqueGdiObject bitmap(testsupport::CaptureWindowFromScreen(window));
  return bitmap && testsupport::SaveBitmapAsPng(static_cast<HBITMAP>(bitmap.get()), file.wstring());
}

}  // namespace uitest
