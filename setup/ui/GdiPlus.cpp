#include "setup/ui/GdiPlus.h"

#include <cmath>
#include <mutex>

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
// after Win.h: needs <windows.h>
#include <objidl.h>
#include <shlwapi.h>

namespace {

struct TStartupInput {
  UINT32 GdiplusVersion;
  void* DebugEventCallback;
  BOOL SuppressBackgroundThread;
  BOOL SuppressExternalCodecs;
};

using TStatus = int;
constexpr TStatus Ok = 0;
constexpr int InterpolationModeHighQualityBicubic = 7;

struct TGdiPlus {
  HMODULE Library = nullptr;
  ULONG_PTR Token = 0;
  bool Tried = false;
  bool Available = false;
  std::wstring LibraryOverride;
  TStatus(WINAPI* Startup)(ULONG_PTR*, const TStartupInput*, void*) = nullptr;
  void(WINAPI* Shutdown)(ULONG_PTR) = nullptr;
  TStatus(WINAPI* LoadImageFromStream)(IStream*, void**) = nullptr;
  TStatus(WINAPI* DisposeImage)(void*) = nullptr;
  TStatus(WINAPI* GetImageDimension)(void*, float*, float*) = nullptr;
  TStatus(WINAPI* CreateFromHDC)(HDC, void**) = nullptr;
  TStatus(WINAPI* DeleteGraphics)(void*) = nullptr;
  TStatus(WINAPI* SetInterpolationMode)(void*, int) = nullptr;
  TStatus(WINAPI* DrawImageRect)(void*, void*, float, float, float, float) = nullptr;
};

TGdiPlus& Binding() {
  static TGdiPlus binding;
  return binding;
}

std::mutex& BindingLock() {
  static std::mutex lock;
  return lock;
}

template <class T>
bool Bind(HMODULE library, const char* name, T& entry) {
  entry = reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
  return entry != nullptr;
}

HMODULE LoadGdiPlusLibrary(const std::wstring& override) {
  if (!override.empty()) return ::LoadLibraryW(override.c_str());
  if (RuntimeEnvironment().IsWine) {
    // A GDI+ shipped beside the program wins over Wine's own.
    const std::wstring& program = ProgramPath();
    const std::wstring beside = program.substr(0, program.find_last_of(L"\\/") + 1) + L"gdiplus.dll";
    if (::GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) return ::LoadLibraryW(beside.c_str());
  }
  return ::LoadLibraryW(L"gdiplus.dll");
}

bool StartGdiPlus(TGdiPlus& gdi) {
  gdi.Library = LoadGdiPlusLibrary(gdi.LibraryOverride);
  if (gdi.Library == nullptr) return false;
  const bool bound = Bind(gdi.Library, "GdiplusStartup", gdi.Startup) &&
                     Bind(gdi.Library, "GdiplusShutdown", gdi.Shutdown) &&
                     Bind(gdi.Library, "GdipLoadImageFromStream", gdi.LoadImageFromStream) &&
                     Bind(gdi.Library, "GdipDisposeImage", gdi.DisposeImage) &&
                     Bind(gdi.Library, "GdipGetImageDimension", gdi.GetImageDimension) &&
                     Bind(gdi.Library, "GdipCreateFromHDC", gdi.CreateFromHDC) &&
                     Bind(gdi.Library, "GdipDeleteGraphics", gdi.DeleteGraphics) &&
                     Bind(gdi.Library, "GdipSetInterpolationMode", gdi.SetInterpolationMode) &&
                     Bind(gdi.Library, "GdipDrawImageRect", gdi.DrawImageRect);
  if (bound) {
    const TStartupInput input{1, nullptr, FALSE, FALSE};
    if (gdi.Startup(&gdi.Token, &input, nullptr) == Ok) return true;
    if (gdi.Token != 0) gdi.Shutdown(gdi.Token);
  }
  ::FreeLibrary(gdi.Library);
  gdi.Library = nullptr;
  gdi.Token = 0;
  return false;
}

}  // namespace

bool EnsureGdiPlus() {
  std::lock_guard<std::mutex> guard(BindingLock());
  TGdiPlus& gdi = Binding();
  if (!gdi.Tried) {
    gdi.Tried = true;
    gdi.Available = StartGdiPlus(gdi);
  }
  return gdi.Available;
}

void RebindGdiPlusForTests(const std::wstring& library) {
  std::lock_guard<std::mutex> guard(BindingLock());
  TGdiPlus& gdi = Binding();
  if (gdi.Available) {
    gdi.Shutdown(gdi.Token);
    ::FreeLibrary(gdi.Library);
  }
  gdi = TGdiPlus{};
  gdi.LibraryOverride = library;
}

TGdiPlusImage LoadResourcePicture(const wchar_t* name) {
  HMODULE program = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceW(program, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (resource == nullptr) return nullptr;
  HGLOBAL loaded = ::LoadResource(program, resource);
  const DWORD size = ::SizeofResource(program, resource);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr || size == 0) return nullptr;
  if (!EnsureGdiPlus()) return nullptr;
  IStream* stream = ::SHCreateMemStream(static_cast<const BYTE*>(bytes), size);
  if (stream == nullptr) return nullptr;
  void* image = nullptr;
  const TStatus status = Binding().LoadImageFromStream(stream, &image);
  stream->Release();
  if (status != Ok) {
    if (image != nullptr) Binding().DisposeImage(image);
    return nullptr;
  }
  return image;
}

void DisposePicture(TGdiPlusImage image) {
  if (image != nullptr && EnsureGdiPlus()) Binding().DisposeImage(image);
}

bool PictureSize(TGdiPlusImage image, float& width, float& height) {
  if (image == nullptr || !EnsureGdiPlus()) return false;
  return Binding().GetImageDimension(image, &width, &height) == Ok;
}

bool DrawPicture(HDC dc, const RECT& rect, TGdiPlusImage image) {
  float width = 0;
  float height = 0;
  if (!PictureSize(image, width, height) || width <= 0) return false;
  TGdiPlus& gdi = Binding();
  void* graphics = nullptr;
  if (gdi.CreateFromHDC(dc, &graphics) != Ok) return false;
  gdi.SetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
  const float drawnWidth = static_cast<float>(rect.right - rect.left);
  const float drawnHeight = std::round(drawnWidth * height / width);
  const bool drawn = gdi.DrawImageRect(graphics, image, static_cast<float>(rect.left),
                                       static_cast<float>(rect.top), drawnWidth, drawnHeight) == Ok;
  gdi.DeleteGraphics(graphics);
  return drawn;
}
