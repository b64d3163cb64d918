#pragma once
// A suffix array over bytes and the longest-match search on it, which the
// patch producer uses to find where a piece of the new file occurs in the
// old one. Built in linear time by induced sorting; takes four bytes per
// byte of text. Platform-neutral.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// Called with the share of a sort done so far, percent 0..100.
using TSortProgress = std::function<void(int percent)>;

// The starts of text's suffixes in increasing order of the suffixes (a
// suffix that is a prefix of another sorts first). The text must be shorter
// than 4 GiB - 1 (std::length_error otherwise).
std::vector<std::uint32_t> SortSuffixes(std::string_view text, const TSortProgress& progress = {});

// The suffix array of a text, kept with a view on the text (which must
// outlive it), answering longest-prefix queries.
class TSuffixIndex {
public:
  explicit TSuffixIndex(std::string_view text, const TSortProgress& progress = {});

  struct TMatch {
    std::uint64_t Offset = 0;
    std::uint64_t Length = 0;
  };

  // Where the longest prefix of pattern occurs in the text, its length at
  // most limit (a search stops comparing there, so that long runs of equal
  // bytes cost no more than limit bytes a query). Length 0 when not even
  // the first byte occurs.
  TMatch Longest(const std::uint8_t* pattern, std::size_t size, std::size_t limit) const;

private:
  std::string_view Text;
  std::vector<std::uint32_t> Suffixes;
  // Where the suffixes beginning with each pair of bytes lie in Suffixes
  // ([PairStart, PairEnd) by the pair as a 16-bit number), so that a search
  // starts inside its pair's range; and where each byte first occurs (the
  // text's size when it does not).
  std::vector<std::uint32_t> PairStart, PairEnd;
  std::vector<std::uint64_t> FirstOf;
};
