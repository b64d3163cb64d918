#pragma once
// Fills a catalogue text's "%s" placeholders, in order ("%%" is a literal
// percent sign). Missing arguments leave their placeholders empty; extra
// arguments are ignored.

#include <initializer_list>
#include <string>

std::wstring FormatText(const std::wstring& pattern, std::initializer_list<std::wstring> args);
