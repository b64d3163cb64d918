#pragma once
// Upper-casing by the system's own character tables: CharUpperBuffW on
// Windows, the C.UTF-8 locale elsewhere. Defined by the system unit of each
// build tree (PlatformWinTypes or PlatformPosixTypes).

#include <string>

// The text upper-cased character by character, with the system's rules.
std::wstring SystemUpperCase(std::wstring text);
