#pragma once
// Registers and unregisters one COM file in the way that fits it: an
// in-process server through its own entry point, a type library through
// the automation library, a local server by starting it with a switch;
// when that fails, through regsvr32 run silently.

#include <string>

// Raise an exception naming the file when neither way could (un)register
// it; the message is the first way's.
// A program x.exe with x.tlb beside it stands for its type library. A local
// server is started and not waited for.
void RegisterOleFile(const std::wstring& fileName);
void UnregisterOleFile(const std::wstring& fileName);
