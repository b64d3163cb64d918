#include "launcher/VersionCompare.h"

#include <cstdint>
#include <limits>

#include "launcher/IntegerText.h"

namespace {

// The text from Pos up to the next "." or the end; Pos moves past the ".".
std::wstring_view NextPiece(std::wstring_view Text, std::size_t& Pos) {
  const std::size_t Start = Pos;
  const std::size_t Dot = Text.find(L'.', Start);
  const std::size_t End = Dot == std::wstring_view::npos ? Text.size() : Dot;
  Pos = Dot == std::wstring_view::npos ? Text.size() : Dot + 1;
  return Text.substr(Start, End - Start);
}

std::uint32_t FoldAscii(wchar_t Ch) {
  const auto Unit = static_cast<std::uint32_t>(Ch);
  return Unit >= 'a' && Unit <= 'z' ? Unit - ('a' - 'A') : Unit;
}

int CompareFolded(std::wstring_view A, std::wstring_view B) {
  for (std::size_t I = 0; I < A.size() && I < B.size(); ++I) {
    const std::uint32_t Left = FoldAscii(A[I]);
    const std::uint32_t Right = FoldAscii(B[I]);
    if (Left != Right) return Left < Right ? -1 : 1;
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -1 : 1;
}

int ComparePieces(std::wstring_view A, std::wstring_view B) {
  if (A.empty()) return -1;
  if (B.empty()) return 1;
  constexpr std::int64_t Min = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t Max = std::numeric_limits<std::int32_t>::max();
  const auto NumberA = ReadInteger(A, Min, Max);
  const auto NumberB = ReadInteger(B, Min, Max);
  if (NumberA && NumberB) return *NumberA == *NumberB ? 0 : (*NumberA < *NumberB ? -1 : 1);
  return CompareFolded(A, B);
}

}  // namespace

int CompareVersions(std::wstring_view A, std::wstring_view B) {
  std::size_t PosA = 0;
  std::size_t PosB = 0;
  int Result = 0;
  while (Result == 0 && (PosA < A.size() || PosB < B.size())) {
    const std::wstring_view PieceA = NextPiece(A, PosA);
    const std::wstring_view PieceB = NextPiece(B, PosB);
    Result = ComparePieces(PieceA, PieceB);
  }
  return Result;
}
