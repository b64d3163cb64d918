#include "setup/distribution/diPatchMaker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "setup/distribution/Crc_32.h"
#include "setup/distribution/RawDeflate.h"

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

// The blocks of the patch, in new-file order and without overlap.
std::vector<TMatch> FindBlocks(std::string_view oldBytes, std::string_view newBytes) {
  std::vector<TMatch> blocks;
  const std::uint64_t common = std::min(oldBytes.size(), newBytes.size());
  if (common != 0) blocks.push_back({0, 0, common});
  return blocks;
}

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

void Report(const TPatchMakerProgress& progress, int percent) {
  if (progress) progress(percent);
}

}  // namespace

std::string MakeRenewPatch(std::string_view oldBytes, std::string_view newBytes, double newDate,
                           const TPatchMakerProgress& progress) {
  if (oldBytes.size() > MaxImageSize || newBytes.size() > MaxImageSize) {
    throw EPatchMakerError(L"Файл слишком велик для блочного обновления (4 ГБ и более)");
  }
  Report(progress, 0);
  std::vector<TMatch> blocks = FindBlocks(oldBytes, newBytes);
  if (blocks.size() > MaxBlockCount) blocks.resize(MaxBlockCount);
  const std::uint8_t z = 0;
  const std::string patch = Assemble(oldBytes, newBytes, newDate, z, MakeBody(oldBytes, newBytes, blocks, z));
  Report(progress, 100);
  return patch;
}
