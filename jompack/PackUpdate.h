#pragma once
// jompack update: the update file that takes an installed copy of one kit's
// version to another's: "Version" old new, then for every file of the new
// list nothing (unchanged), "Change" (only its list attributes changed),
// "Renew" with a block patch (when that is smaller than the deflated file)
// or "Copy" of the whole file; the new list, with "D" for the files gone,
// and setup.ini inside.

#include <cstdint>
#include <string>

// Writes the update to outFile, or as volumes outFile.pr1, .pr2, ... of
// volumeSize bytes each but the last when volumeSize is not 0.
int MakeUpdate(const std::wstring& oldKit, const std::wstring& newKit, const std::wstring& outFile,
               std::int64_t volumeSize);

// The file name of volume number of an update file.
std::wstring VolumeName(const std::wstring& updateFile, int number);
