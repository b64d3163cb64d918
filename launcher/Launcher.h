#pragma once
// The run of JomStart: prepares the Wine prefix, then starts the installed
// server program or setup of the kit.

#include <functional>
#include <string>
#include <vector>

// Runs every step with Arguments (the command line without the program).
// An exception is shown in an error box captioned "Error". Returns the exit
// code, always 0. FaultPoint, when set, runs first inside the guarded steps
// (tests use it to raise).
int RunJomStart(const std::vector<std::wstring>& Arguments, const std::function<void()>& FaultPoint = {});
