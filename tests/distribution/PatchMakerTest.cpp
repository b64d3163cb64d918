#include "setup/distribution/diPatchMaker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "platform/PlatformIntfTypes.h"
#include "setup/distribution/RawDeflate.h"
#include "setup/distribution/SuffixArray.h"
#include "setup/distribution/diRenewFiles.h"
#include "support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Bytes that look like a program: runs of code-like bytes, small integers,
// zero padding and repeated strings, so that matching has work to do.
std::string ProgramLike(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    switch (random() % 4) {
      case 0:
        for (int i = 0; i < 32; ++i) bytes += static_cast<char>(random());
        break;
      case 1:
        bytes.append(random() % 24, '\0');
        break;
      case 2: {
        const std::uint32_t value = random() % 4096;
        bytes.append(reinterpret_cast<const char*>(&value), 4);
        break;
      }
      default:
        bytes += "Tavrel media server ";
    }
  }
  bytes.resize(size);
  return bytes;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// A few bytes changed at random places.
std::string Scattered(std::string bytes, unsigned seed, int edits) {
  std::mt19937 random(seed);
  for (int i = 0; i < edits && !bytes.empty(); ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
  return bytes;
}

// A program rebuilt: code moved by an insertion, and every 4-byte value in
// the moved part shifted, as relocated addresses are.
std::string Relinked(const std::string& bytes) {
  std::string out = bytes.substr(0, bytes.size() / 4) + "a new function's bytes" + bytes.substr(bytes.size() / 4);
  for (std::size_t i = bytes.size() / 2; i + 4 <= out.size(); i += 64) out[i] = static_cast<char>(out[i] + 22);
  return out;
}

// Applies the patch with the engine's reader and returns the new file.
std::string Applied(const std::string& oldBytes, const std::string& patch, bool* alreadyNew = nullptr) {
  TempDir dir("pm");
  WriteFile(dir.path() / "old.bin", oldBytes);
  TMemoryStream stream(std::vector<std::uint8_t>(patch.begin(), patch.end()));
  const bool result = ApplyPatch((dir.path() / "old.bin").wstring(), (dir.path() / "sub" / "new.bin").wstring(), stream);
  if (alreadyNew) *alreadyNew = result;
  return ReadFile(dir.path() / "sub" / "new.bin");
}

std::size_t DeflatedSize(const std::string& bytes) {
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(DeflateRaw(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), out));
  return out.size();
}

struct TPair {
  const char* Name;
  std::string Old;
  std::string New;
};

std::vector<TPair> Pairs() {
  // Small enough for the sanitizer build, large enough for offsets of three
  // bytes and for blocks far apart.
  const std::string program = ProgramLike(70000, 1);
  return {
      {"scattered edits", program, Scattered(program, 2, 40)},
      {"grown", program, program.substr(0, 40000) + ProgramLike(9000, 3) + program.substr(40000)},
      {"shrunk", program, program.substr(0, 20000) + program.substr(35000, 20000)},
      {"relinked", program, Relinked(program)},
      {"empty old", "", program.substr(0, 5000)},
      {"empty new", program.substr(0, 5000), ""},
      {"both empty", "", ""},
      {"identical", program, program},
      {"unrelated random", RandomBytes(30000, 4), RandomBytes(40000, 5)},
      {"insertion at start", program, "new header" + program},
      {"one byte each", "a", "b"},
      {"zeros against ones", std::string(70000, '\0'), std::string(70000, '\1')},
  };
}

// Induced sorting against a plain sort of the suffixes, on texts that reach
// its recursion (repeats over small alphabets) and its edges.
TEST(PatchMakerTest, SuffixesSortAsAPlainSortWouldSortThem) {
  std::vector<std::string> texts = {"", "a", "aa", "ba", "ab", "banana", "mississippi", "abracadabra",
                                    std::string(300, 'a'), std::string("\xFF\x00\xFF\x00\x01", 5)};
  std::mt19937 random(11);
  for (const int alphabet : {2, 3, 4, 256}) {
    for (int i = 0; i < 20; ++i) {
      std::string text(random() % 700, '\0');
      for (char& c : text) c = static_cast<char>(random() % alphabet);
      texts.push_back(text);
    }
  }
  texts.push_back(std::string(500, 'x') + "abababababababababab" + std::string(500, 'x'));
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.size());
    std::vector<std::uint32_t> expected(text.size());
    std::iota(expected.begin(), expected.end(), 0u);
    const std::string_view view(text);
    std::sort(expected.begin(), expected.end(),
              [&](std::uint32_t a, std::uint32_t b) { return view.substr(a) < view.substr(b); });
    EXPECT_EQ(SortSuffixes(text), expected);
  }
}

// Texts long enough that the reduced string has more names than the sort
// keeps counts for: the order checked pair by pair, and every position once.
TEST(PatchMakerTest, LongTextsSortToo) {
  const std::vector<std::string> texts = {RandomBytes(300000, 13), ProgramLike(300000, 14)};
  for (const std::string& text : texts) {
    const std::vector<std::uint32_t> sa = SortSuffixes(text);
    ASSERT_EQ(sa.size(), text.size());
    std::vector<bool> seen(text.size());
    const std::string_view view(text);
    for (std::size_t i = 0; i < sa.size(); ++i) {
      ASSERT_LT(sa[i], text.size());
      ASSERT_FALSE(seen[sa[i]]);
      seen[sa[i]] = true;
      if (i > 0) {
        ASSERT_LT(view.substr(sa[i - 1]), view.substr(sa[i])) << i;
      }
    }
  }
}

// The longest match of a pattern against every position by hand, with the
// search's length limit; short texts, and long ones whose searches start
// from the range of their first two bytes.
TEST(PatchMakerTest, TheIndexFindsTheLongestMatch) {
  std::mt19937 random(12);
  for (int n = 0; n < 64; ++n) {
    const int alphabet = std::vector<int>{1, 2, 3, 256}[n % 4];
    std::string text(n == 61 || n == 63 ? 70000 : random() % 400, '\0');
    for (char& c : text) c = static_cast<char>(random() % alphabet);
    const TSuffixIndex index(text);
    for (int k = 0; k < 30; ++k) {
      std::string pattern(1 + random() % 40, '\0');
      if (k % 2 == 0 && !text.empty()) {
        const std::size_t from = random() % text.size();
        pattern = text.substr(from, pattern.size());
        pattern.back() = static_cast<char>(random() % alphabet);
      } else {
        for (char& c : pattern) c = static_cast<char>(random() % alphabet);
      }
      const std::size_t limit = k % 3 == 0 ? 5 : 1000;
      std::size_t best = 0;
      for (std::size_t at = 0; at < text.size(); ++at) {
        std::size_t length = 0;
        while (length < limit && at + length < text.size() && length < pattern.size() &&
               text[at + length] == pattern[length])
          ++length;
        best = std::max(best, length);
      }
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(pattern.data());
      const TSuffixIndex::TMatch match = index.Longest(bytes, pattern.size(), limit);
      SCOPED_TRACE(testing::Message() << "text " << n << " pattern " << k);
      ASSERT_EQ(match.Length, best);
      EXPECT_EQ(text.substr(match.Offset, match.Length), pattern.substr(0, match.Length));
    }
  }
}

TEST(PatchMakerTest, PatchesGiveTheNewBytesExactly) {
  for (const TPair& pair : Pairs()) {
    SCOPED_TRACE(pair.Name);
    const std::string patch = MakeRenewPatch(pair.Old, pair.New, 0);
    bool alreadyNew = true;
    EXPECT_EQ(Applied(pair.Old, patch, &alreadyNew), pair.New);
    EXPECT_FALSE(alreadyNew);
  }
}

// The point of a patch: an edited file costs far less than shipping it whole,
// also when its code moved and its addresses shifted.
TEST(PatchMakerTest, AnEditedFileCostsLessThanItsDeflatedBytes) {
  const std::string program = ProgramLike(70000, 7);
  const std::vector<TPair> pairs = {
      {"scattered edits", program, Scattered(program, 8, 40)},
      {"relinked", program, Relinked(program)},
      {"grown and edited", program, Scattered(program.substr(0, 30000) + ProgramLike(2000, 9) + program.substr(30000), 10, 20)},
  };
  for (const TPair& pair : pairs) {
    SCOPED_TRACE(pair.Name);
    const std::string patch = MakeRenewPatch(pair.Old, pair.New, 0);
    EXPECT_LT(patch.size() * 4, DeflatedSize(pair.New));
    EXPECT_EQ(Applied(pair.Old, patch), pair.New);
  }
}

// Pairs made of random pieces of a random old file (shifted copies, literal
// bytes, changed bytes) over small and large alphabets, so that matches
// start and end everywhere. PATCHMAKER_PAIRS sets the number of pairs (150
// in the test run).
TEST(PatchMakerTest, RandomPairsComeBackExactly) {
  const char* setting = std::getenv("PATCHMAKER_PAIRS");
  const int count = setting ? std::atoi(setting) : 150;
  std::mt19937 random(2024);
  for (int n = 0; n < count; ++n) {
    const int alphabet = std::vector<int>{1, 2, 4, 16, 256}[random() % 5];
    std::string old(random() % 3000, '\0');
    for (char& c : old) c = static_cast<char>(random() % alphabet);
    std::string fresh;
    while (fresh.size() < 3000 && random() % 40 != 0) {
      const unsigned step = random() % 10;
      if (step < 6 && !old.empty()) {
        fresh += old.substr(random() % old.size(), random() % 300);
      } else if (step < 9) {
        fresh += static_cast<char>(random() % alphabet);
      } else if (!fresh.empty()) {
        fresh.back() = static_cast<char>(fresh.back() + 1 + random() % 255);
      }
    }
    SCOPED_TRACE(n);
    ASSERT_EQ(Applied(old, MakeRenewPatch(old, fresh, 0)), fresh);
  }
}

// The body of a patch (W, Count, records, data image), inflated when the
// patch is deflated. Header: signature, version, "RDF", two empty texts, 4,
// signature, 2, 2, four sizes and sums, the date; Compressed at 48, the body
// at 51, or the size hint at 51 and the deflated body at 55.
constexpr std::size_t CompressedAt = 48;

std::string BodyOf(const std::string& patch) {
  if (patch[CompressedAt] != 1) return patch.substr(51);
  std::vector<std::uint8_t> body;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(patch.data());
  EXPECT_TRUE(InflateRaw(bytes + 55, patch.size() - 55, std::size_t{1} << 30, body));
  return std::string(body.begin(), body.end());
}

// The choices made per patch: bytes that deflate cannot shrink are stored
// (the patch is then hardly larger than the new file), and old offsets take
// as few bytes as the largest one needs.
TEST(PatchMakerTest, EachPatchTakesItsSmallestForm) {
  const std::string random = RandomBytes(20000, 31);
  const std::string unrelated = MakeRenewPatch(RandomBytes(20000, 32), random, 0);
  EXPECT_NE(unrelated[CompressedAt], 1);
  EXPECT_LE(unrelated.size(), random.size() + 64);

  const std::string program = ProgramLike(70000, 34);
  const std::string edited = MakeRenewPatch(program, Scattered(program, 35, 10), 0);
  EXPECT_EQ(edited[CompressedAt], 1);
  EXPECT_EQ(BodyOf(edited)[0], 1);  // one block at offset 0
  // A block from old offset 66000 needs three bytes (two hold up to 65534).
  const std::string rotated = MakeRenewPatch(program, program.substr(66000) + program.substr(0, 66000), 0);
  EXPECT_EQ(BodyOf(rotated)[0], 3);
}

// A long patch reports its way from 0 to 100 without going back, through the
// sort and the scan as well.
TEST(PatchMakerTest, ProgressRunsFromZeroToOneHundred) {
  const std::string program = ProgramLike(70000, 41);
  std::vector<int> seen;
  MakeRenewPatch(program, Relinked(program), 0, [&](int percent) { seen.push_back(percent); });
  ASSERT_GE(seen.size(), 10u);
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_TRUE(std::find_if(seen.begin(), seen.end(), [](int p) { return p > 0 && p < 35; }) != seen.end());
}

// The new file gets the date the patch was made with (at the 2 seconds of a
// DOS date, in local time).
TEST(PatchMakerTest, TheNewFileGetsThePatchDate) {
  const std::string oldBytes = ProgramLike(5000, 21), newBytes = Scattered(oldBytes, 22, 5);
  // 2024-03-15 12:34:57.6 local time.
  const double date = 45366.0 + (12 * 3600 + 34 * 60 + 57.6) / 86400.0;
  TempDir dir("pm");
  WriteFile(dir.path() / "old.bin", oldBytes);
  const std::string patch = MakeRenewPatch(oldBytes, newBytes, date);
  TMemoryStream stream(std::vector<std::uint8_t>(patch.begin(), patch.end()));
  ApplyPatch((dir.path() / "old.bin").wstring(), (dir.path() / "new.bin").wstring(), stream);
  const auto written = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(dir.path() / "new.bin"));
  const std::int64_t utc = std::chrono::duration_cast<std::chrono::seconds>(written.time_since_epoch()).count();
  const std::int64_t local = utc - std::llround(PlatformTools().GetTimeZoneBias() * 86400.0);
  EXPECT_EQ(local, (45366 - 25569) * std::int64_t{86400} + 12 * 3600 + 34 * 60 + 56);
}

// Sizes of 4 GiB and more do not fit the header's 32-bit fields: refused
// before a byte is read (the views below point at one byte).
TEST(PatchMakerTest, FilesOfFourGibibytesAreRefused) {
  const char byte = 0;
  const std::string_view huge(&byte, std::size_t{1} << 32);
  EXPECT_THROW(MakeRenewPatch(huge, "new", 0), EPatchMakerError);
  EXPECT_THROW(MakeRenewPatch("old", huge, 0), EPatchMakerError);
}

}  // namespace
