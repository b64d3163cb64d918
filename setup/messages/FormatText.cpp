#include "setup/messages/FormatText.h"

#include <cwchar>
#include <vector>

namespace {

std::wstring Render(const TFormatArgument& argument, wchar_t conversion) {
  if (const auto* text = std::get_if<std::wstring>(&argument)) return *text;
  const std::int64_t number = std::get<std::int64_t>(argument);
  wchar_t buffer[32];
  if (conversion == L'x') {
    std::swprintf(buffer, 32, L"%llX", static_cast<unsigned long long>(static_cast<std::uint32_t>(number)));
  } else {
    std::swprintf(buffer, 32, L"%lld", static_cast<long long>(number));
  }
  return buffer;
}

}  // namespace

std::wstring FormatText(const std::wstring& format, std::initializer_list<TFormatArgument> arguments) {
  std::wstring result;
  const std::vector<TFormatArgument> list(arguments);
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const wchar_t c = format[i];
    const wchar_t conversion = i + 1 < format.size() ? format[i + 1] : L'\0';
    if (c != L'%' || (conversion != L's' && conversion != L'd' && conversion != L'x' && conversion != L'%')) {
      result.push_back(c);
      continue;
    }
    ++i;
    if (conversion == L'%') {
      result.push_back(L'%');
    } else if (next < list.size()) {
      result += Render(list[next++], conversion);
    } else {
      result.push_back(L'%');
      result.push_back(conversion);
    }
  }
  return result;
}
