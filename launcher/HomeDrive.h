#pragma once
// Drive H: as the user's Unix home folder inside the Wine prefix.

#include <string>

// True when the Wine prefix runs on macOS: Root + "System" and Root + "Users"
// both exist as folders. Root is "Z:\" (the Unix root) unless a test names
// another folder (with a trailing backslash).
bool IsWinePrefixOnMac(const std::wstring& Root = L"Z:\\");

// Maps H: to the home folder named by "HOMEDIRECTORY", or built from "USER"
// or "USERNAME". A missing H: is defined; an H: pointing elsewhere is moved
// to the first free letter from D: on and H: redefined. Never throws: any
// failure leaves the remaining drives as they are.
void MapHomeDrive(const std::wstring& MacProbeRoot = L"Z:\\");
