#pragma once
// The parameter texts with which the launcher starts setup.exe of the kit or
// the installed jom.exe.

#include <string>
#include <vector>

// True when an argument is the switch "hide" ("/" or "-", any letter case).
bool HasHideSwitch(const std::vector<std::wstring>& Arguments);

// One argument in double quotes, as setup reads it back: setup's split takes
// backslashes literally and a double quote only switches quoting on and off,
// so the argument is enclosed as it is. A double quote inside it cannot be
// carried and is left out; kept, it would end the quoting early and join or
// split arguments (even swallow the "/WINE" after it).
std::wstring QuoteArgument(const std::wstring& Argument);

// Parameters of setup.exe: every non-empty argument (once its double quotes
// are left out), in order, then "/WINE",
// each as a blank followed by the quoted argument; so the text begins with a
// blank.
std::wstring SetupParameters(const std::vector<std::wstring>& Arguments);

// Parameters of jom.exe: "/hide" when the launcher got the hide switch.
std::wstring JomParameters(const std::vector<std::wstring>& Arguments);
