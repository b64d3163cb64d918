#pragma once
// The start-up step of setup: the catalogues bound from the localization
// file beside the program, for the process's own command line.

#include <string>

class TJomLocalization;

// A sentence for the user when the localization file exists but could not
// be read (the program then shows its built-in texts); empty otherwise.
std::wstring LocalizationProblemText(const TJomLocalization& localization);

#ifdef _WIN32
// ApplyLocalization over the process's command line. A damaged localization
// file is reported in a warning box, except in the unattended "/WINE" mode,
// where nobody could answer it.
void ApplyLocalization();
#endif
