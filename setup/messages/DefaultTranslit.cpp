#include "setup/messages/DefaultTranslit.h"

namespace {

// Spellings of the capitals in code order; a small letter takes the same
// spelling in lower case, except the hard and soft signs, which vanish.
const wchar_t* const CapitalSpellings[32] = {L"A",  L"B",   L"V", L"G", L"D", L"E",  L"Zh", L"Z",
                                             L"I",  L"J",   L"K", L"L", L"M", L"N",  L"O",  L"P",
                                             L"R",  L"S",   L"T", L"U", L"F", L"X",  L"C",  L"Ch",
                                             L"Sh", L"Shh", L"#", L"Y", L"`", L"Je", L"Yu", L"Ya"};

std::wstring SmallSpelling(const std::wstring& capital) {
  if (capital == L"#" || capital == L"`") return {};
  std::wstring small = capital;
  for (auto& c : small) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
  }
  return small;
}

std::vector<std::pair<std::wstring, std::wstring>> BuildTable() {
  std::vector<std::pair<std::wstring, std::wstring>> table;
  for (int i = 0; i < 32; ++i) table.emplace_back(std::wstring(1, static_cast<wchar_t>(0x410 + i)), CapitalSpellings[i]);
  for (int i = 0; i < 32; ++i) {
    table.emplace_back(std::wstring(1, static_cast<wchar_t>(0x430 + i)), SmallSpelling(CapitalSpellings[i]));
  }
  table.emplace_back(L"\u0401", L"Yo");
  table.emplace_back(L"\u0451", L"yo");
  return table;
}

}  // namespace

const std::vector<std::pair<std::wstring, std::wstring>>& DefaultTransliteration() {
  static const auto table = BuildTable();
  return table;
}
