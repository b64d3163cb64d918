#pragma once
// The packing list of a kit spread over several volumes ("packing.lst" or
// "packing.144"): a program list whose items give the volume ("Dsk") of the
// kit's files, archives and archive parts, and the order in which an
// install reads such a kit.

#include <cstdint>
#include <string>

#include "setup/distribution/KvtSetupLstFile.h"

// The "Dsk" value the packing list gives the bare file name of name; empty
// without a packing list or an item of that name.
std::wstring PackingDiskLabel(const TProgramLstFile* packing, const std::wstring& name);
// The volume of an item of the kit's list: that of its archive (or of the
// file itself when it lies loose), else that of the archive's first part
// (the name with extension ".z0").
std::wstring PackingDiskLabelFor(const TProgramLstFile* packing, const TProgramLstFileItem& item);
// True when name is not packed itself but its first part ".z0" is: an
// archive split into name.z0, name.z1, ...
bool IsPackedInParts(const TProgramLstFile* packing, const std::wstring& name);
// A "Dsk" value as the volume order; missing or not a number reads last.
std::int32_t DiskNumber(const std::wstring& label);
// Reorders the items by the volume of their "Dsk" value, keeping the order
// within one volume.
void SortByDisk(TProgramLstFileItems& items);
