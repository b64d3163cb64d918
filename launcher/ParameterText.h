#pragma once
// The parameter texts with which the launcher starts setup.exe of the kit or
// the installed jom.exe.

#include <string>
#include <vector>

// True when an argument is the switch "hide" ("/" or "-", any letter case).
bool HasHideSwitch(const std::vector<std::wstring>& Arguments);

// One argument in double quotes, written so that the standard command-line
// split gives back exactly the argument (backslashes before a quote, and
// quotes inside it, are escaped; a plain argument is just enclosed).
std::wstring QuoteArgument(const std::wstring& Argument);

// Parameters of setup.exe: every non-empty argument, in order, then "/WINE",
// each as a blank followed by the quoted argument; so the text begins with a
// blank.
std::wstring SetupParameters(const std::vector<std::wstring>& Arguments);

// Parameters of jom.exe: "/hide" when the launcher got the hide switch.
std::wstring JomParameters(const std::vector<std::wstring>& Arguments);
