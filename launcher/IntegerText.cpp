#include "launcher/IntegerText.h"

namespace {

// A magnitude this large fits no range a caller asks for; stopping there
// keeps the next digit from overflowing.
constexpr std::uint64_t kMagnitudeLimit = std::uint64_t{1} << 58;

int DigitValue(wchar_t Ch, bool Hex) {
  if (Ch >= L'0' && Ch <= L'9') return Ch - L'0';
  if (!Hex) return -1;
  if (Ch >= L'a' && Ch <= L'f') return Ch - L'a' + 10;
  if (Ch >= L'A' && Ch <= L'F') return Ch - L'A' + 10;
  return -1;
}

// Skips a hexadecimal prefix at Pos; true when one was there.
bool SkipHexPrefix(std::wstring_view Text, std::size_t& Pos) {
  if (Pos < Text.size() && (Text[Pos] == L'$' || Text[Pos] == L'x' || Text[Pos] == L'X')) {
    ++Pos;
    return true;
  }
  if (Pos + 1 < Text.size() && Text[Pos] == L'0' && (Text[Pos + 1] == L'x' || Text[Pos + 1] == L'X')) {
    Pos += 2;
    return true;
  }
  return false;
}

}  // namespace

std::optional<std::int64_t> ReadInteger(std::wstring_view Text, std::int64_t Min, std::int64_t Max) {
  std::size_t Pos = 0;
  while (Pos < Text.size() && (Text[Pos] == L' ' || Text[Pos] == L'\t')) ++Pos;
  bool Negative = false;
  if (Pos < Text.size() && (Text[Pos] == L'+' || Text[Pos] == L'-')) Negative = Text[Pos++] == L'-';
  const bool Hex = SkipHexPrefix(Text, Pos);
  if (Pos == Text.size()) return std::nullopt;
  std::uint64_t Magnitude = 0;
  for (; Pos < Text.size(); ++Pos) {
    const int Digit = DigitValue(Text[Pos], Hex);
    if (Digit < 0) return std::nullopt;
    if (Magnitude >= kMagnitudeLimit) return std::nullopt;
    Magnitude = Magnitude * (Hex ? 16 : 10) + static_cast<std::uint64_t>(Digit);
  }
  const std::int64_t Value = Negative ? -static_cast<std::int64_t>(Magnitude) : static_cast<std::int64_t>(Magnitude);
  if (Value < Min || Value > Max) return std::nullopt;
  return Value;
}
