#include "setup/engine/TextFormat.h"

std::wstring FormatText(const std::wstring& pattern, std::initializer_list<std::wstring> args) {
  std::wstring text;
  text.reserve(pattern.size());
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != L'%' || i + 1 == pattern.size()) {
      text += pattern[i];
    } else if (pattern[i + 1] == L's') {
      if (next != args.end()) text += *next++;
      ++i;
    } else if (pattern[i + 1] == L'%') {
      text += L'%';
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}
