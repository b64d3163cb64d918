#include "setup/distribution/SuffixArray.h"

#include <algorithm>
#include <stdexcept>

// Induced sorting (SA-IS): the suffixes are typed S (smaller than the next
// suffix) or L (larger); the leftmost S of each S run (LMS) is sorted first,
// by sorting the LMS substrings and, when they are not all distinct, the
// string of their names recursively; the sorted LMS suffixes then induce the
// order of all others in two scans. The text ends in a virtual sentinel that
// is smaller than every character, so no copy of the text is needed.
namespace {

constexpr std::uint32_t Empty = 0xFFFFFFFF;
// From this size on, searches start in the range of their first two bytes.
constexpr std::size_t PairTableSize = 65536;

// One bit a position: set for S-type suffixes.
class TSuffixTypes {
public:
  explicit TSuffixTypes(std::uint32_t size) : Bits((std::size_t{size} + 63) / 64) {}
  bool S(std::uint32_t i) const { return (Bits[i >> 6] >> (i & 63)) & 1; }
  void SetS(std::uint32_t i) { Bits[i >> 6] |= std::uint64_t{1} << (i & 63); }
  // The leftmost S of a run: the suffixes that start the sorting.
  bool Lms(std::uint32_t i) const { return i > 0 && S(i) && !S(i - 1); }

private:
  std::vector<std::uint64_t> Bits;
};

// The start or the end of every character's bucket in the suffix array, on
// demand. The counts are kept for small alphabets; the names of a reduced
// string can number up to half the text, and their counts are taken again
// from the text each time instead (a sequential pass), which halves the
// memory of the buckets.
template <typename TChar>
class TBuckets {
public:
  TBuckets(const TChar* text, std::uint32_t size, std::uint32_t alphabet)
      : Text(text), Size(size), Position(alphabet) {
    if (alphabet <= KeptCounts) {
      Counts.resize(alphabet);
      CountInto(Counts);
    }
  }
  std::vector<std::uint32_t>& Starts() { return Sum(false); }
  std::vector<std::uint32_t>& Ends() { return Sum(true); }

private:
  static constexpr std::uint32_t KeptCounts = 4096;

  void CountInto(std::vector<std::uint32_t>& counts) const {
    std::fill(counts.begin(), counts.end(), 0);
    for (std::uint32_t i = 0; i < Size; ++i) ++counts[Text[i]];
  }
  std::vector<std::uint32_t>& Sum(bool ends) {
    if (Counts.empty()) CountInto(Position);
    const std::vector<std::uint32_t>& counts = Counts.empty() ? Position : Counts;
    std::uint32_t sum = 0;
    for (std::size_t c = 0; c < Position.size(); ++c) {
      const std::uint32_t count = counts[c];
      Position[c] = ends ? sum + count : sum;
      sum += count;
    }
    return Position;
  }

  const TChar* Text;
  std::uint32_t Size;
  std::vector<std::uint32_t> Counts;
  std::vector<std::uint32_t> Position;
};

// From LMS suffixes placed at their buckets' ends, the L-type suffixes in a
// left-to-right scan, then the S-type ones in a right-to-left scan.
template <typename TChar>
void Induce(const TChar* text, std::uint32_t* sa, std::uint32_t size, const TSuffixTypes& types,
            TBuckets<TChar>& buckets) {
  std::vector<std::uint32_t>& start = buckets.Starts();
  // The last suffix is L-type and follows the sentinel, which sorts first.
  sa[start[text[size - 1]]++] = size - 1;
  for (std::uint32_t i = 0; i < size; ++i) {
    const std::uint32_t j = sa[i];
    if (j != Empty && j > 0 && !types.S(j - 1)) sa[start[text[j - 1]]++] = j - 1;
  }
  std::vector<std::uint32_t>& end = buckets.Ends();
  for (std::uint32_t i = size; i-- > 0;) {
    const std::uint32_t j = sa[i];
    if (j != Empty && j > 0 && types.S(j - 1)) sa[--end[text[j - 1]]] = j - 1;
  }
}

// Whether the LMS substrings at a and b (up to and including the next LMS
// position) are equal; the one that runs into the sentinel equals no other.
template <typename TChar>
bool EqualLmsSubstrings(const TChar* text, std::uint32_t size, const TSuffixTypes& types, std::uint32_t a,
                        std::uint32_t b) {
  for (std::uint32_t d = 0;; ++d) {
    if (a + d == size || b + d == size) return false;
    if (text[a + d] != text[b + d] || types.S(a + d) != types.S(b + d)) return false;
    if (d > 0) {
      const bool endA = types.Lms(a + d), endB = types.Lms(b + d);
      if (endA || endB) return endA && endB;
    }
  }
}

// Progress is reported by the outermost call only, after each of its three
// parts (they take about 40, 25 and 35 percent of the time).
template <typename TChar>
void Sais(const TChar* text, std::uint32_t* sa, std::uint32_t size, std::uint32_t alphabet,
          const TSortProgress& progress = {}) {
  if (size == 0) return;
  if (size == 1) {
    sa[0] = 0;
    return;
  }
  TSuffixTypes types(size);
  for (std::uint32_t i = size - 1; i-- > 0;) {
    if (text[i] < text[i + 1] || (text[i] == text[i + 1] && types.S(i + 1))) types.SetS(i);
  }
  TBuckets<TChar> buckets(text, size, alphabet);

  // Sort the LMS substrings: LMS positions at their buckets' ends, induced.
  std::fill(sa, sa + size, Empty);
  {
    std::vector<std::uint32_t>& end = buckets.Ends();
    for (std::uint32_t i = size - 1; i >= 1; --i) {
      if (types.Lms(i)) sa[--end[text[i]]] = i;
    }
  }
  Induce(text, sa, size, types, buckets);
  if (progress) progress(40);

  // Name them in sorted order (equal substrings, equal names); the names sit
  // at reducedSize + position / 2, which is free since LMS positions are at
  // least two apart and there are at most size / 2 of them.
  std::uint32_t reducedSize = 0;
  for (std::uint32_t i = 0; i < size; ++i) {
    if (sa[i] != Empty && types.Lms(sa[i])) sa[reducedSize++] = sa[i];
  }
  std::fill(sa + reducedSize, sa + size, Empty);
  std::uint32_t names = 0;
  std::uint32_t previous = Empty;
  for (std::uint32_t i = 0; i < reducedSize; ++i) {
    const std::uint32_t position = sa[i];
    if (previous == Empty || !EqualLmsSubstrings(text, size, types, previous, position)) {
      ++names;
      previous = position;
    }
    sa[reducedSize + position / 2] = names - 1;
  }
  // The reduced string (names in text order) moves to the array's end.
  for (std::uint32_t i = size, j = size; i-- > reducedSize;) {
    if (sa[i] != Empty) sa[--j] = sa[i];
  }
  std::uint32_t* reduced = sa + size - reducedSize;

  // Sort the LMS suffixes through the reduced string.
  if (names < reducedSize) {
    Sais<std::uint32_t>(reduced, sa, reducedSize, names);
  } else {
    for (std::uint32_t i = 0; i < reducedSize; ++i) sa[reduced[i]] = i;
  }
  for (std::uint32_t i = 1, j = 0; i < size; ++i) {
    if (types.Lms(i)) reduced[j++] = i;
  }
  for (std::uint32_t i = 0; i < reducedSize; ++i) sa[i] = reduced[sa[i]];
  std::fill(sa + reducedSize, sa + size, Empty);
  if (progress) progress(65);

  // Induce the whole order from the sorted LMS suffixes, placed at their
  // buckets' ends in reverse order (each moves right or stays).
  std::vector<std::uint32_t>& end = buckets.Ends();
  for (std::uint32_t i = reducedSize; i-- > 0;) {
    const std::uint32_t position = sa[i];
    sa[i] = Empty;
    sa[--end[text[position]]] = position;
  }
  Induce(text, sa, size, types, buckets);
  if (progress) progress(100);
}

}  // namespace

std::vector<std::uint32_t> SortSuffixes(std::string_view text, const TSortProgress& progress) {
  if (text.size() >= Empty) throw std::length_error("text too long for a suffix array");
  const auto size = static_cast<std::uint32_t>(text.size());
  std::vector<std::uint32_t> sa(size);
  Sais(reinterpret_cast<const std::uint8_t*>(text.data()), sa.data(), size, 256, progress);
  return sa;
}

TSuffixIndex::TSuffixIndex(std::string_view text, const TSortProgress& progress)
    : Text(text), Suffixes(SortSuffixes(text, progress)), FirstOf(256, text.size()) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t size = text.size();
  for (std::size_t i = size; i-- > 0;) FirstOf[bytes[i]] = i;
  // A short text is searched whole: the tables would cost more than they save.
  if (size < PairTableSize) return;
  PairStart.resize(65536);
  PairEnd.resize(65536);
  std::vector<std::uint32_t> counts(65536);
  for (std::size_t i = 0; i + 1 < size; ++i) ++counts[std::size_t{bytes[i]} << 8 | bytes[i + 1]];
  // Within a first byte, the one-byte suffix at the end sorts before every
  // pair.
  std::uint32_t position = 0;
  for (std::size_t first = 0; first < 256; ++first) {
    if (size != 0 && bytes[size - 1] == first) ++position;
    for (std::size_t pair = first << 8; pair < (first + 1) << 8; ++pair) {
      PairStart[pair] = position;
      position += counts[pair];
      PairEnd[pair] = position;
    }
  }
}

TSuffixIndex::TMatch TSuffixIndex::Longest(const std::uint8_t* pattern, std::size_t size, std::size_t limit) const {
  if (Suffixes.empty() || size == 0) return {};
  const auto* text = reinterpret_cast<const std::uint8_t*>(Text.data());
  const std::size_t textSize = Text.size();
  const std::size_t wanted = std::min(size, limit);
  // The common prefix of the pattern and the suffix at start, known to be
  // at least from bytes long.
  const auto common = [&](std::uint32_t start, std::size_t from) {
    const std::size_t end = std::min(wanted, textSize - start);
    std::size_t k = from;
    while (k < end && text[start + k] == pattern[k]) ++k;
    return k;
  };
  // Matches of fewer than two bytes need no search.
  const std::size_t pair = wanted >= 2 ? std::size_t{pattern[0]} << 8 | pattern[1] : 0;
  const bool tables = !PairStart.empty();
  if (wanted < 2 || (tables && PairStart[pair] == PairEnd[pair])) {
    const std::uint64_t first = FirstOf[pattern[0]];
    if (first == textSize) return {};
    return {first, 1};
  }
  // Binary search between two suffixes of the pair's range (or of the whole
  // array); every suffix between them shares the smaller of their common
  // prefixes with the pattern, which need not be compared again.
  std::size_t low = tables ? PairStart[pair] : 0, high = tables ? PairEnd[pair] - 1 : Suffixes.size() - 1;
  const std::size_t known = tables ? 2 : 0;
  std::size_t lowCommon = common(Suffixes[low], known), highCommon = common(Suffixes[high], known);
  while (high - low > 1) {
    const std::size_t middle = low + (high - low) / 2;
    const std::uint32_t start = Suffixes[middle];
    const std::size_t k = common(start, std::min(lowCommon, highCommon));
    if (k < wanted && (start + k == textSize || text[start + k] < pattern[k])) {
      low = middle;
      lowCommon = k;
    } else {
      high = middle;
      highCommon = k;
    }
  }
  if (lowCommon >= highCommon) return {Suffixes[low], lowCommon};
  return {Suffixes[high], highCommon};
}
