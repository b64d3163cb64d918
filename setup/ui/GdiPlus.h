#pragma once
// GDI+ bound at run time, only to load the PNG header picture from the
// program's resources and draw it scaled. Without GDI+ every operation
// fails quietly and the caller falls back to plain GDI.

#include <string>

#include "platform/Win.h"

// An image of GDI+ (GpImage), owned by whoever loaded it.
using TGdiPlusImage = void*;

// Loads and starts GDI+ on the first call; later calls return the
// remembered outcome. The library stays loaded until the process ends.
bool EnsureGdiPlus();
// The picture of the program's RT_RCDATA resource name, or null on any
// failure (no resource, no GDI+, not a picture). Release it with
// DisposePicture.
TGdiPlusImage LoadResourcePicture(const wchar_t* name);
void DisposePicture(TGdiPlusImage image);
// Draws image from rect's top-left corner, as wide as rect and as high as
// the picture's aspect ratio gives; false when nothing could be drawn.
bool DrawPicture(HDC dc, const RECT& rect, TGdiPlusImage image);
// The picture's size in pixels; false without GDI+ or image.
bool PictureSize(TGdiPlusImage image, float& width, float& height);

// Forgets the outcome of EnsureGdiPlus and makes the next call load the
// given library file instead ("" means the system's "gdiplus.dll"). For
// tests of a missing or broken GDI+.
void RebindGdiPlusForTests(const std::wstring& library);
