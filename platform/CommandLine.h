#pragma once
// The one way setup splits a command line into arguments, the way its
// relaunch and the launcher write them: blanks (characters up to code 32)
// separate arguments, a double quote switches quoting on and off and is
// dropped, and a backslash is an ordinary character, so that
// /STARTDIR="C:\kit\" keeps its trailing backslash. There is no escape: an
// argument cannot carry a double quote.

#include <string>
#include <vector>

// The arguments of a whole command line, without the program name.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);
// The same with the program name first.
std::vector<std::wstring> SplitCommandLineWithProgram(const std::wstring& commandLine);
