#pragma once
// The session's update function (sfUpdate): an installed copy is brought to
// the next version from an update file, delivered whole or in volumes.

#include <string>

class TKvtSetup;

// Joins the volumes of fileName when it names one, lets the update file's
// commands check the installed version and stage the new files in the work
// folder, and installs them. Raises rsRenewFileNotSpecified,
// rsRenewFileMergeError or rsRenewFileNotExists before anything is read;
// nothing installed changes unless the staged update is accepted.
void UpdateFromRenewFile(TKvtSetup& setup, const std::wstring& fileName);

// The pipeline of sfUpdate: the parameter is the update file's path as a
// wide text.
void UpdateFromRenewFileFunction(TKvtSetup& setup, void* parameter);
