#pragma once
// Formatting of catalogue texts with their arguments, and the exception the
// format code raises with such a text.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

#include "platform/Exception.h"

using TFormatArgument = std::variant<std::wstring, std::int64_t>;

// Replaces "%s", "%d" and "%x" (upper-case hexadecimal) with the arguments
// in order and "%%" with "%". A placeholder without an argument stays as it
// is, so a translated text with too many placeholders cannot crash.
std::wstring FormatText(const std::wstring& format, std::initializer_list<TFormatArgument> arguments);

// The name under which the format code raises a formatted catalogue text:
// the common exception base itself.
using EMessageError = Exception;
