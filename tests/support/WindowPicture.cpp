#include "support/WindowPicture.h"

#include "platform/UniqueHandle.h"

namespace testsupport {

namespace {

struct TGdiplusStartupInput {
  UINT32 Version;
  void* DebugEventCallback;
  BOOL SuppressBackgroundThread;
  BOOL SuppressExternalCodecs;
};
using TStartup = int(WINAPI*)(ULONG_PTR*, const TGdiplusStartupInput*, void*);
using TShutdown = void(WINAPI*)(ULONG_PTR);
using TFromHbitmap = int(WINAPI*)(HBITMAP, HPALETTE, void**);
using TSave = int(WINAPI*)(void*, const wchar_t*, const CLSID*, const void*);
using TDispose = int(WINAPI*)(void*);

template <class T>
T Entry(HMODULE library, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

}  // namespace

HBITMAP CaptureWindowFromScreen(HWND window) {
  if (!::IsWindowVisible(window)) return nullptr;
  RECT rect{};
  if (!::GetWindowRect(window, &rect)) return nullptr;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return nullptr;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = ::SelectObject(memory, bitmap);
  const bool copied = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != 0;
  ::SelectObject(memory, previous);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (!copied) {
    ::DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

bool SaveBitmapAsPng(HBITMAP bitmap, const std::wstring& file) {
  UniqueModule gdiplus(::LoadLibraryW(L"gdiplus.dll"));
  if (!gdiplus) return false;
  auto startup = Entry<TStartup>(gdiplus.get(), "GdiplusStartup");
  auto shutdown = Entry<TShutdown>(gdiplus.get(), "GdiplusShutdown");
  auto fromHbitmap = Entry<TFromHbitmap>(gdiplus.get(), "GdipCreateBitmapFromHBITMAP");
  auto save = Entry<TSave>(gdiplus.get(), "GdipSaveImageToFile");
  auto dispose = Entry<TDispose>(gdiplus.get(), "GdipDisposeImage");
  ULONG_PTR token = 0;
  const TGdiplusStartupInput input{1, nullptr, FALSE, FALSE};
  if (!startup || !shutdown || !fromHbitmap || !save || !dispose || startup(&token, &input, nullptr) != 0) {
    return false;
  }
  bool saved = false;
  void* image = nullptr;
  // The PNG encoder of GDI+.
  const CLSID png{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  if (fromHbitmap(bitmap, nullptr, &image) == 0) {
    saved = save(image, file.c_str(), &png, nullptr) == 0;
    dispose(image);
  }
  shutdown(token);
  return saved;
}

}  // namespace testsupport
