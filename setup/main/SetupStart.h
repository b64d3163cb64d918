#pragma once
// The relaunched copy of setup: it sets the engine's distribution
// parameters, decides its start folder and mode, shows its window, and
// removes its relaunch folder when it ends.

#include <string>
#include <vector>

#include "setup/main/SetupCommandLine.h"

// The engine's distribution parameters for this product.
void SetDistributionParameters();

// The start folder and mode from the copy's arguments. When the start folder
// has no usable "setup.ini" it shows the matching error box and returns false.
bool DetermineStartFolder(const std::vector<std::wstring>& args, TStartDecision& decision);

// The "ProductName" of the running executable's version resource.
std::wstring ExecutableProductName();

// The copy's whole run, for arguments that carry "/STARTDIR".
void RunRelaunchedCopy(const std::vector<std::wstring>& args);

// For a copy running from ownFolder inside a relaunch folder: removes that
// folder (its own executable and what else is in use are scheduled for
// deletion at restart, and then "JOMSETUP.TMP" itself) and the relaunch
// folders left by copies that are gone; folders of running copies stay.
void RemoveRelaunchFolders(const std::wstring& ownFolder);
