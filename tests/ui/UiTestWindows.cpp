#include "ui/UiTestWindows.h"

#include <cstdlib>
#include <string>

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

namespace {

struct TStartupInput {
  UINT32 Version;
  void* Callback;
  BOOL NoThread;
  BOOL NoCodecs;
};

using TStartup = int(WINAPI*)(ULONG_PTR*, const TStartupInput*, void*);
using TShutdown = void(WINAPI*)(ULONG_PTR);
using TFromHbitmap = int(WINAPI*)(HBITMAP, HPALETTE, void**);
using TSave = int(WINAPI*)(void*, const wchar_t*, const CLSID*, const void*);
using TDispose = int(WINAPI*)(void*);

template <class T>
T Entry(HMODULE library, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::filesystem::path& file) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  ::SelectObject(memory, previous);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);

  bool saved = false;
  HMODULE gdiplus = ::LoadLibraryW(L"gdiplus.dll");
  if (gdiplus != nullptr) {
    auto startup = Entry<TStartup>(gdiplus, "GdiplusStartup");
    auto shutdown = Entry<TShutdown>(gdiplus, "GdiplusShutdown");
    auto fromHbitmap = Entry<TFromHbitmap>(gdiplus, "GdipCreateBitmapFromHBITMAP");
    auto save = Entry<TSave>(gdiplus, "GdipSaveImageToFile");
    auto dispose = Entry<TDispose>(gdiplus, "GdipDisposeImage");
    ULONG_PTR token = 0;
    const TStartupInput input{1, nullptr, FALSE, FALSE};
    if (startup && shutdown && fromHbitmap && save && dispose && startup(&token, &input, nullptr) == 0) {
      void* image = nullptr;
      // The PNG encoder of GDI+.
      const CLSID png{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
      if (fromHbitmap(bitmap, nullptr, &image) == 0) {
        saved = save(image, file.wstring().c_str(), &png, nullptr) == 0;
        dispose(image);
      }
      shutdown(token);
    }
    ::FreeLibrary(gdiplus);
  }
  ::DeleteObject(bitmap);
  return saved;
}

}  // namespace uitest
