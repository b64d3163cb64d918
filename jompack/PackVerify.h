#pragma once
// jompack verify: runs an update file with the engine's own update code
// (the commands read and staged by the update command processor) on a
// temporary copy of the old kit's version laid out as an installation, and
// compares every file the update leaves with the new kit.

#include <string>

// ExitOk when every file matches, ExitMismatch otherwise (each difference
// printed).
int VerifyUpdate(const std::wstring& oldKit, const std::wstring& updateFile, const std::wstring& newKit);
