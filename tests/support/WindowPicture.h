#pragma once
// Pictures of windows as the screen shows them, saved as PNG through the
// system's GDI+ (bound at run time). Shared by the control tests and the
// demo's window driver; needs no test framework.

#include <string>

#include "platform/Win.h"

namespace testsupport {

// The window as the screen shows it, copied into a new bitmap the caller
// deletes; null when the window is not visible or the copy fails. Copied
// from the screen rather than printed by the window, so that the picture is
// exactly what the user sees.
HBITMAP CaptureWindowFromScreen(HWND window);

// Saves the bitmap as a PNG file; false when GDI+ is missing or fails.
bool SaveBitmapAsPng(HBITMAP bitmap, const std::wstring& file);

}  // namespace testsupport
