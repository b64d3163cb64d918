#include "setup/distribution/diPatchMaker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "setup/distribution/Crc_32.h"
#include "setup/distribution/RawDeflate.h"
#include "setup/distribution/SuffixArray.h"

namespace {

constexpr std::uint32_t PatchSignature = 0x1A484652;  // "RFH" 0x1A
constexpr std::uint32_t DataSignature = 0x1A484452;   // "RDH" 0x1A
constexpr std::uint16_t PatchVersion = 0x0102;
constexpr std::uint64_t MaxImageSize = 0xFFFFFFFF;    // sizes are 32-bit unsigned
constexpr std::uint64_t MaxBlockCount = 0x7FFFFFFF;   // Count is signed 32-bit

// One block of the patch: new bytes [NewOffset, NewOffset + Length) are the
// old bytes at OldOffset plus differences.
struct TMatch {
  std::uint64_t NewOffset = 0;
  std::uint64_t OldOffset = 0;
  std::uint64_t Length = 0;
};

using TBytes = std::vector<std::uint8_t>;

const std::uint8_t* Bytes(std::string_view text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

void PutUnsigned(TBytes& out, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A var number in its shortest form: 0..251 as itself, else a byte 251 + n
// followed by the value in n bytes.
void PutVarNumber(TBytes& out, std::uint64_t value) {
  if (value <= 251) {
    out.push_back(static_cast<std::uint8_t>(value));
    return;
  }
  int size = 1;
  while (size < 4 && (value >> (8 * size)) != 0) ++size;
  out.push_back(static_cast<std::uint8_t>(251 + size));
  PutUnsigned(out, value, size);
}

// The exchange of z and 0 that both images undergo.
std::array<std::uint8_t, 256> ExchangeTable(std::uint8_t z) {
  std::array<std::uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) table[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
  table[0] = z;
  table[z] = 0;
  return table;
}

// The smallest width whose no-source mark (all bytes 0xFF) lies above every
// old offset used.
int OffsetWidth(const std::vector<TMatch>& blocks) {
  std::uint64_t largest = 0;
  for (const TMatch& block : blocks) largest = std::max(largest, block.OldOffset);
  int width = 1;
  while (width < 4 && largest >= (std::uint64_t{1} << (8 * width)) - 1) ++width;
  return width;
}

// The patch body before compression: W, Count, the records and the data
// image (literal bytes, and differences inside blocks), both images seen
// through the exchange of z and 0.
TBytes MakeBody(std::string_view oldBytes, std::string_view newBytes, const std::vector<TMatch>& blocks,
                std::uint8_t z) {
  const int width = OffsetWidth(blocks);
  TBytes body;
  body.reserve(5 + blocks.size() * static_cast<std::size_t>(width + 2) + newBytes.size());
  body.push_back(static_cast<std::uint8_t>(width));
  PutUnsigned(body, blocks.size(), 4);
  std::uint64_t end = 0;
  for (const TMatch& block : blocks) {
    PutUnsigned(body, block.OldOffset, width);
    PutVarNumber(body, block.NewOffset - end);
    PutVarNumber(body, block.Length);
    end = block.NewOffset + block.Length;
  }
  const std::size_t imageStart = body.size();
  body.resize(imageStart + newBytes.size());
  std::uint8_t* image = body.data() + imageStart;
  const std::uint8_t* in = Bytes(newBytes);
  const std::uint8_t* old = Bytes(oldBytes);
  const auto table = ExchangeTable(z);
  for (std::size_t i = 0; i < newBytes.size(); ++i) image[i] = table[in[i]];
  for (const TMatch& block : blocks) {
    std::uint8_t* to = image + block.NewOffset;
    const std::uint8_t* from = old + block.OldOffset;
    for (std::uint64_t i = 0; i < block.Length; ++i) to[i] = static_cast<std::uint8_t>(to[i] - table[from[i]]);
  }
  return body;
}

// Matches longer than this are taken as they are: the search stops
// comparing there, which keeps long runs of equal bytes linear.
constexpr std::size_t SearchLimit = std::size_t{1} << 16;
// A match at least this long is carried on to the next position (one byte
// shorter, one byte further in the old file) instead of searched again.
constexpr std::uint64_t CarryLength = 32;
// How much longer than the current alignment a match must be to start a new
// block (a block record costs several bytes, mostly its absolute offset).
constexpr std::uint64_t SwitchMargin = 16;

// Chooses the blocks of a patch: the new file is scanned with the longest
// exact match of each position in the old file; while the current alignment
// (old offset minus new offset) explains about as many bytes as the match
// would, the block goes on through changed bytes, which become non-zero
// differences. A better match ends it: the old block grows forward and the
// new one backward while at least a third of their bytes agree, and what
// lies between becomes literal bytes. (Differences of a rebuilt program's
// code deflate better than its literal bytes even where most bytes changed:
// relocated addresses change alike.)
class TBlockFinder {
public:
  // Sorts the old file's suffixes, reporting from 0 to sortedPercent.
  TBlockFinder(std::string_view oldBytes, std::string_view newBytes, const TPatchMakerProgress& progress,
               int sortedPercent)
      : Old(Bytes(oldBytes)), OldSize(oldBytes.size()), New(Bytes(newBytes)), NewSize(newBytes.size()),
        Progress(progress), Index(oldBytes, ScaledProgress(progress, 0, sortedPercent)) {}

  // Scans the new file, reporting from fromPercent to toPercent.
  std::vector<TMatch> Find(int fromPercent, int toPercent) {
    std::uint64_t scan = 0, length = 0, position = 0;
    std::uint64_t lastScan = 0, lastPosition = 0;
    std::int64_t lastOffset = 0;
    int reported = -1;
    while (scan < NewSize) {
      const int percent = fromPercent + static_cast<int>(scan * (toPercent - fromPercent) / NewSize);
      if (Progress && percent != reported) Progress(reported = percent);

      // The agreeing bytes of the current alignment in [scan, counted); it
      // goes below zero for a moment when a position is dropped before it
      // was counted.
      std::int64_t oldScore = 0;
      bool carried = false;
      scan += length;
      for (std::uint64_t counted = scan; scan < NewSize; ++scan) {
        if (carried && length > CarryLength) {
          ++position;
          --length;
        } else {
          const TSuffixIndex::TMatch match = Index.Longest(New + scan, NewSize - scan, SearchLimit);
          position = match.Offset;
          length = match.Length;
        }
        carried = true;
        for (; counted < scan + length; ++counted) {
          if (AgreesAt(counted, lastOffset)) ++oldScore;
        }
        const auto score = static_cast<std::int64_t>(length);
        if ((score == oldScore && length != 0) || score > oldScore + static_cast<std::int64_t>(SwitchMargin)) break;
        if (AgreesAt(scan, lastOffset)) --oldScore;
      }
      if (static_cast<std::int64_t>(length) == oldScore && scan != NewSize) continue;

      std::uint64_t forward = ForwardLength(lastScan, lastPosition, scan);
      std::uint64_t backward = scan < NewSize ? BackwardLength(scan, position, lastScan) : 0;
      if (lastScan + forward > scan - backward) {
        const std::uint64_t shared = SharedSplit(lastScan, lastPosition, forward, scan, position, backward);
        const std::uint64_t overlap = (lastScan + forward) - (scan - backward);
        forward = forward - overlap + shared;
        backward -= shared;
      }
      if (forward != 0) Blocks.push_back({lastScan, lastPosition, forward});
      lastScan = scan - backward;
      lastPosition = position - backward;
      lastOffset = static_cast<std::int64_t>(position) - static_cast<std::int64_t>(scan);
    }
    return std::move(Blocks);
  }

private:
  // A progress of 0..100 shown as from..to of the whole (none without one).
  static TSortProgress ScaledProgress(const TPatchMakerProgress& progress, int from, int to) {
    if (!progress) return {};
    return [&progress, from, to](int percent) { progress(from + percent * (to - from) / 100); };
  }

  // Whether the new byte at i equals the old byte offset from it.
  bool AgreesAt(std::uint64_t i, std::int64_t offset) const {
    const std::int64_t at = static_cast<std::int64_t>(i) + offset;
    return at >= 0 && static_cast<std::uint64_t>(at) < OldSize && Old[at] == New[i];
  }

  // How far the block at newStart / oldStart goes on before end: the length
  // where three times the agreeing bytes minus the length is largest.
  std::uint64_t ForwardLength(std::uint64_t newStart, std::uint64_t oldStart, std::uint64_t end) const {
    std::int64_t agree = 0, best = 0;
    std::uint64_t length = 0;
    for (std::uint64_t i = 0; newStart + i < end && oldStart + i < OldSize;) {
      if (Old[oldStart + i] == New[newStart + i]) ++agree;
      ++i;
      const std::int64_t score = 3 * agree - static_cast<std::int64_t>(i);
      if (score > best) {
        best = score;
        length = i;
      }
    }
    return length;
  }

  // The same backwards from the match at newStart / oldStart, not before
  // limit.
  std::uint64_t BackwardLength(std::uint64_t newStart, std::uint64_t oldStart, std::uint64_t limit) const {
    std::int64_t agree = 0, best = 0;
    std::uint64_t length = 0;
    for (std::uint64_t i = 1; newStart >= limit + i && oldStart >= i; ++i) {
      if (Old[oldStart - i] == New[newStart - i]) ++agree;
      const std::int64_t score = 3 * agree - static_cast<std::int64_t>(i);
      if (score > best) {
        best = score;
        length = i;
      }
    }
    return length;
  }

  // Where the overlap of a forward and a backward extension is best split:
  // how many of its bytes go to the earlier block.
  std::uint64_t SharedSplit(std::uint64_t lastScan, std::uint64_t lastPosition, std::uint64_t forward,
                            std::uint64_t scan, std::uint64_t position, std::uint64_t backward) const {
    const std::uint64_t overlap = (lastScan + forward) - (scan - backward);
    std::int64_t score = 0, best = 0;
    std::uint64_t split = 0;
    for (std::uint64_t i = 0; i < overlap; ++i) {
      const std::uint64_t earlier = lastScan + forward - overlap + i;
      if (New[earlier] == Old[lastPosition + forward - overlap + i]) ++score;
      if (New[scan - backward + i] == Old[position - backward + i]) --score;
      if (score > best) {
        best = score;
        split = i + 1;
      }
    }
    return split;
  }

  const std::uint8_t* Old;
  std::uint64_t OldSize;
  const std::uint8_t* New;
  std::uint64_t NewSize;
  const TPatchMakerProgress& Progress;
  TSuffixIndex Index;
  std::vector<TMatch> Blocks;
};

void PutHeader(TBytes& out, std::string_view oldBytes, std::string_view newBytes, double newDate, bool compressed,
               std::uint8_t z) {
  PutUnsigned(out, PatchSignature, 4);
  PutUnsigned(out, PatchVersion, 2);
  for (const char c : std::string_view("RDF")) out.push_back(static_cast<std::uint8_t>(c));
  out.push_back(0);
  out.push_back(0);  // two texts the reader skips
  out.push_back(0);
  PutUnsigned(out, 0, 4);
  PutUnsigned(out, DataSignature, 4);
  PutUnsigned(out, 0, 2);
  PutUnsigned(out, 0, 2);
  PutUnsigned(out, oldBytes.size(), 4);
  PutUnsigned(out, ~UpdateCrc32(oldBytes.data(), oldBytes.size(), 0xFFFFFFFF), 4);
  PutUnsigned(out, newBytes.size(), 4);
  PutUnsigned(out, ~UpdateCrc32(newBytes.data(), newBytes.size(), 0xFFFFFFFF), 4);
  std::uint64_t dateBits = 0;
  std::memcpy(&dateBits, &newDate, sizeof dateBits);
  PutUnsigned(out, dateBits, 8);
  out.push_back(compressed ? 1 : 0);
  out.push_back(0);  // the old file is read whole from disk
  out.push_back(z);
}

// The level that candidate bodies are compared at: it ranks them as the
// highest level does at a small part of its time, which is then spent on
// the chosen body alone.
constexpr int TrialLevel = 6;

// The size a body deflates to at the trial level (its own size when that is
// not smaller).
std::size_t TrialSize(const TBytes& body) {
  TBytes deflated;
  if (body.size() > MaxImageSize || !DeflateRaw(body, deflated, TrialLevel)) return body.size();
  return std::min(deflated.size(), body.size());
}

// The whole patch for a body: deflated when that is smaller (and the size
// hint can hold the body's length), else stored.
std::string Assemble(std::string_view oldBytes, std::string_view newBytes, double newDate, std::uint8_t z,
                     const TBytes& body) {
  TBytes deflated;
  const bool compressed = body.size() <= MaxImageSize && DeflateRaw(body, deflated) &&
                          deflated.size() + 4 < body.size();
  TBytes patch;
  PutHeader(patch, oldBytes, newBytes, newDate, compressed, z);
  std::string out(reinterpret_cast<const char*>(patch.data()), patch.size());
  if (compressed) {
    TBytes hint;
    PutUnsigned(hint, body.size(), 4);
    out.append(reinterpret_cast<const char*>(hint.data()), hint.size());
    out.append(reinterpret_cast<const char*>(deflated.data()), deflated.size());
  } else {
    out.append(reinterpret_cast<const char*>(body.data()), body.size());
  }
  return out;
}

// The order-0 entropy of bytes with these counts, in bits.
double EntropyBits(const std::array<std::uint64_t, 256>& counts) {
  double total = 0, bits = 0;
  for (const std::uint64_t count : counts) total += static_cast<double>(count);
  for (const std::uint64_t count : counts) {
    if (count != 0) bits -= static_cast<double>(count) * std::log2(static_cast<double>(count) / total);
  }
  return bits;
}

// The zero substitute most likely to give the smallest body: the one whose
// exchange makes the bytes deflate sees (literal bytes and differences)
// least varied, by their order-0 entropy. The exchange cannot change which
// differences are zero, only the values of literal bytes and of the
// differences of changed bytes, so one pass over the images gives the
// byte histogram of every choice.
std::uint8_t LikelyZeroSubstitute(std::string_view oldBytes, std::string_view newBytes,
                                  const std::vector<TMatch>& blocks) {
  const std::uint8_t* old = Bytes(oldBytes);
  const std::uint8_t* in = Bytes(newBytes);
  // Counts of (old, new) byte pairs that differ, and which pairs occurred:
  // usually few, so the later passes visit only those.
  std::array<std::uint64_t, 256> literals{};
  const auto changed = std::make_unique<std::uint32_t[]>(256 * 256);
  std::vector<std::uint16_t> occurred;
  std::uint64_t unchanged = 0, end = 0;
  const auto literal = [&](std::uint64_t from, std::uint64_t to) {
    for (std::uint64_t i = from; i < to; ++i) ++literals[in[i]];
  };
  for (const TMatch& block : blocks) {
    literal(end, block.NewOffset);
    for (std::uint64_t i = 0; i < block.Length; ++i) {
      const std::uint8_t n = in[block.NewOffset + i], o = old[block.OldOffset + i];
      if (n == o) {
        ++unchanged;
      } else {
        const std::size_t pair = std::size_t{o} << 8 | n;
        if (changed[pair]++ == 0) occurred.push_back(static_cast<std::uint16_t>(pair));
      }
    }
    end = block.NewOffset + block.Length;
  }
  literal(end, newBytes.size());

  // The histogram without exchange; an exchange of z changes only literal
  // bytes 0 and z and the changed pairs with 0 or z on either side, which
  // are listed by the byte values they hold.
  struct TPairCount {
    std::uint8_t Old, New;
    std::uint64_t Count;
  };
  std::vector<TPairCount> pairs;
  std::array<std::vector<std::uint32_t>, 256> touching;
  std::array<std::uint64_t, 256> plain{};
  plain[0] = unchanged;
  for (std::size_t b = 0; b < 256; ++b) plain[b] += literals[b];
  for (const std::size_t pair : occurred) {
    const auto o = static_cast<std::uint8_t>(pair >> 8), n = static_cast<std::uint8_t>(pair);
    plain[static_cast<std::uint8_t>(n - o)] += changed[pair];
    const auto index = static_cast<std::uint32_t>(pairs.size());
    pairs.push_back({o, n, changed[pair]});
    touching[o].push_back(index);
    touching[n].push_back(index);
  }
  std::uint8_t best = 0;
  double bestBits = EntropyBits(plain);
  for (std::size_t z = 1; z < 256; ++z) {
    const auto table = ExchangeTable(static_cast<std::uint8_t>(z));
    std::array<std::uint64_t, 256> counts = plain;
    for (const std::size_t b : {std::size_t{0}, z}) {
      counts[b] -= literals[b];
      counts[table[b]] += literals[b];
    }
    const auto move = [&](const TPairCount& pair) {
      counts[static_cast<std::uint8_t>(pair.New - pair.Old)] -= pair.Count;
      counts[static_cast<std::uint8_t>(table[pair.New] - table[pair.Old])] += pair.Count;
    };
    for (const std::uint32_t index : touching[0]) move(pairs[index]);
    for (const std::uint32_t index : touching[z]) {
      // A pair of 0 and z is in both lists.
      if (pairs[index].Old != 0 && pairs[index].New != 0) move(pairs[index]);
    }
    const double bits = EntropyBits(counts);
    if (bits < bestBits) {
      best = static_cast<std::uint8_t>(z);
      bestBits = bits;
    }
  }
  return best;
}

void Report(const TPatchMakerProgress& progress, int percent) {
  if (progress) progress(percent);
}

}  // namespace

std::string MakeRenewPatch(std::string_view oldBytes, std::string_view newBytes, double newDate,
                           const TPatchMakerProgress& progress) {
  // The old file's suffix array numbers its positions in 32 bits with one
  // value kept free, so the old file stays a byte below the format's limit.
  if (oldBytes.size() >= MaxImageSize || newBytes.size() > MaxImageSize) {
    throw EPatchMakerError(L"Файл слишком велик для блочного обновления (4 ГБ и более)");
  }
  Report(progress, 0);
  std::vector<TMatch> blocks;
  // The sort, the scan and the deflate take about a third of the time each.
  if (!oldBytes.empty() && !newBytes.empty()) blocks = TBlockFinder(oldBytes, newBytes, progress, 35).Find(35, 70);
  if (blocks.size() > MaxBlockCount) blocks.resize(MaxBlockCount);
  Report(progress, 70);

  // The estimate picks the substitute; the body made with it is kept only
  // when it really deflates smaller than the one without exchange.
  TBytes body = MakeBody(oldBytes, newBytes, blocks, 0);
  std::uint8_t chosen = 0;
  const std::uint8_t z = LikelyZeroSubstitute(oldBytes, newBytes, blocks);
  if (z != 0) {
    TBytes exchanged = MakeBody(oldBytes, newBytes, blocks, z);
    if (TrialSize(exchanged) < TrialSize(body)) {
      body = std::move(exchanged);
      chosen = z;
    }
  }
  Report(progress, 80);
  std::string patch = Assemble(oldBytes, newBytes, newDate, chosen, body);
  Report(progress, 100);
  return patch;
}
