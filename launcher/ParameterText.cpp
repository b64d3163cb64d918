#include "launcher/ParameterText.h"

namespace {

wchar_t FoldAscii(wchar_t Ch) { return Ch >= L'A' && Ch <= L'Z' ? static_cast<wchar_t>(Ch + (L'a' - L'A')) : Ch; }

bool IsHideSwitch(const std::wstring& Argument) {
  static constexpr wchar_t Name[] = L"hide";
  if (Argument.size() != 5 || (Argument[0] != L'/' && Argument[0] != L'-')) return false;
  for (std::size_t I = 0; I < 4; ++I) {
    if (FoldAscii(Argument[I + 1]) != Name[I]) return false;
  }
  return true;
}

std::wstring WithoutQuotes(const std::wstring& Argument) {
  std::wstring Text;
  for (const wchar_t Ch : Argument) {
    if (Ch != L'"') Text += Ch;
  }
  return Text;
}

}  // namespace

bool HasHideSwitch(const std::vector<std::wstring>& Arguments) {
  for (const std::wstring& Argument : Arguments) {
    if (IsHideSwitch(Argument)) return true;
  }
  return false;
}

std::wstring QuoteArgument(const std::wstring& Argument) { return L"\"" + WithoutQuotes(Argument) + L"\""; }

std::wstring SetupParameters(const std::vector<std::wstring>& Arguments) {
  std::wstring Text;
  for (const std::wstring& Argument : Arguments) {
    // Empty ones are not passed on, nor ones that were nothing but quotes.
    if (!WithoutQuotes(Argument).empty()) Text += L" " + QuoteArgument(Argument);
  }
  Text += L" " + QuoteArgument(L"/WINE");
  return Text;
}

std::wstring JomParameters(const std::vector<std::wstring>& Arguments) {
  return HasHideSwitch(Arguments) ? L"/hide" : L"";
}
