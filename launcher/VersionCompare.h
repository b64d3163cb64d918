#pragma once
// Ordering of product version texts such as 5.02 or 5.2.1, used to decide
// whether the kit beside the launcher is newer than the installed copy.

#include <string_view>

// Negative, zero or positive as version A is older than, the same as or newer
// than version B. Dot-separated pieces are compared in turn: numbers by value
// (5.02 = 5.2), other pieces ordinally with ASCII case folded; an empty piece
// of A makes A the older, an empty piece of B (A's not empty) makes A the newer.
int CompareVersions(std::wstring_view A, std::wstring_view B);
