#pragma once
// The Russian transliteration table that items of old localization files
// receive, and that the shipped Russian item carries.

#include <string>
#include <utility>
#include <vector>

// Cyrillic capitals U+0410..U+042F, small letters U+0430..U+044F, then Ё
// and ё, each with its Latin spelling.
const std::vector<std::pair<std::wstring, std::wstring>>& DefaultTransliteration();
