#pragma once
// The session's check and kit-building functions (sfCheck, sfBuildKit): they
// load the installed copy's configuration and list and hand the work to the
// version object, with the session's message and progress callbacks.

#include <memory>
#include <string>

#include "setup/distribution/diCommon.h"

class TKvtSetup;

// The installed version of the session's folder, prepared on it and
// connected to the session's callbacks.
std::unique_ptr<TDIVersion> CreateDistrVersion(TKvtSetup& setup);
// Verifies every installed file; each bad file is one error message.
void CheckProgram(TKvtSetup& setup);
// Writes a kit of the installed version into targetFolder.
void BuildDistribution(TKvtSetup& setup, const std::wstring& targetFolder);

// The pipelines of sfCheck and sfBuildKit (the parameter of sfBuildKit is
// the target folder as a wide text).
void CheckProgramFunction(TKvtSetup& setup, void* parameter);
void BuildDistributionFunction(TKvtSetup& setup, void* parameter);
