#pragma once
// jompack list: a program list for the files of a folder from a template
// list, with "Len" and "CRC" filled in from the files.

#include <string>

#include "setup/distribution/KvtSetupLstFile.h"

// The names a list file is written with: the kit builder's, then every
// other name the items carry, in order of first appearance; widths to match.
void ListColumns(const TProgramLstFile& list, std::vector<std::wstring>& names, std::vector<int>& widths);

// Fills Len and CRC of every item of templateFile that is not deleted from
// its file below folder (at the item's path in a kit's "DISTR\" layout) and
// writes the list to outFile. A file the template names but folder lacks
// is an error naming it; nothing is written then.
int MakeList(const std::wstring& folder, const std::wstring& templateFile, const std::wstring& outFile);
