#pragma once
// The launcher's decision between the installed server program and setup of
// the kit that lies beside the launcher, and the start of the chosen one.

#include <string>
#include <vector>

// The installed product's folder: Program Files (x86) + "Tavrel\"; empty
// when the system cannot name Program Files (x86).
std::wstring InstallDirectory();

// The folder of the running launcher, with a trailing backslash.
std::wstring KitDirectory();

// Key "Version" of section "JOM" in Directory + "setup.ini"; empty when the
// file or the key is missing.
std::wstring ProductVersion(const std::wstring& Directory);

// Starts InstallDir + "jom.exe" when that folder exists and its version is
// at least the kit's, else KitDir + "setup.exe" with the arguments and
// "/WINE". Waits for nothing; a failed start is not reported.
void StartProduct(const std::wstring& InstallDir, const std::wstring& KitDir,
                  const std::vector<std::wstring>& Arguments);
