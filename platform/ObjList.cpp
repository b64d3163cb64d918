#include "platform/ObjList.h"

#include "platform/SystemText.h"

namespace objlist_detail {

void RaiseIndexError(std::ptrdiff_t index) {
  throw EListError(L"List index out of bounds (" + std::to_wstring(index) + L")");
}

void RaiseSortedError() { throw EListError(L"Operation not allowed on sorted list"); }

void RaiseDuplicateError() { throw EListError(L"String list does not allow duplicates"); }

namespace {
// Sort key that orders code points as their UTF-16 code units would be
// ordered: U+E000..U+FFFF come after the supplementary planes, whose lead
// surrogates are D800..DBFF. The identity where wchar_t is UTF-16.
std::uint32_t Utf16Key(wchar_t c) {
  const auto code = static_cast<std::uint32_t>(c);
  if constexpr (sizeof(wchar_t) > 2) {
    if (code >= 0xE000 && code <= 0xFFFF) return code + 0x110000;
  }
  return code;
}
}  // namespace

int CompareOrdinal(const std::wstring& a, const std::wstring& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const std::uint32_t x = Utf16Key(a[i]), y = Utf16Key(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareIgnoreCase(const std::wstring& a, const std::wstring& b) {
  return CompareOrdinal(SystemUpperCase(a), SystemUpperCase(b));
}

}  // namespace objlist_detail
