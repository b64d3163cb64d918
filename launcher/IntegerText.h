#pragma once
// Reading whole numbers the way the launcher's inputs write them: the
// resolution variable and the numeric pieces of version texts.

#include <cstdint>
#include <optional>
#include <string_view>

// The number written in Text if it lies within [Min, Max], else nothing.
// Syntax: leading blanks, an optional sign, then decimal digits or
// hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may follow.
std::optional<std::int64_t> ReadInteger(std::wstring_view Text, std::int64_t Min, std::int64_t Max);
