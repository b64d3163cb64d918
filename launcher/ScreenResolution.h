#pragma once
// The screen resolution requested for the Wine prefix through the
// environment.

// Stores "WINELOGPIXELS" (dots per inch, 0..4294967295) as "LogPixels" under
// HKEY_CURRENT_USER\Control Panel\Desktop when it differs from the stored
// value (96 when none is stored). Anything else, or a failure, changes nothing.
void ApplyScreenResolution();
