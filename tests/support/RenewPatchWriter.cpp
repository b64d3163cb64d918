#include "support/RenewPatchWriter.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace testsupport {
namespace {

void PutUnsigned(std::string& out, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Deflated(const std::string& bytes) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
  std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (status != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

std::uint8_t Exchanged(std::uint8_t b, std::uint8_t z) { return z == 0 ? b : b == z ? 0 : b == 0 ? z : b; }

}  // namespace

std::string VarNumber(std::uint64_t value, int form) {
  std::string out;
  if (form == 0) {
    if (value <= 251) return std::string(1, static_cast<char>(value));
    int size = 1;
    while (size < 4 && (value >> (8 * size)) != 0) ++size;
    form = 251 + size;
  }
  out += static_cast<char>(form);
  PutUnsigned(out, value, form - 251);
  return out;
}

std::uint32_t Crc32Of(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string TRenewPatch::Body() const {
  std::string body;
  body += static_cast<char>(Width);
  PutUnsigned(body, static_cast<std::uint32_t>(Count.value_or(static_cast<std::int32_t>(Records.size()))), 4);
  const int width = Width >= 1 && Width <= 8 ? Width : 4;
  for (const TPatchRecord& record : Records) {
    const std::uint64_t none = width >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * width)) - 1;
    PutUnsigned(body, record.OldOffset < 0 ? none : static_cast<std::uint64_t>(record.OldOffset), width);
    body += VarNumber(record.Gap, VarForm);
    body += VarNumber(record.Length, VarForm);
  }
  return body + DataImage;
}

std::string TRenewPatch::Serialize() const {
  std::string out;
  PutUnsigned(out, Signature, 4);
  PutUnsigned(out, Version, 2);
  out += Type;
  out += '\0';
  out += "made by the tests";
  out += '\0';
  out += '\0';
  PutUnsigned(out, 0x12345678, 4);
  PutUnsigned(out, DataSignature, 4);
  PutUnsigned(out, 1, 2);
  PutUnsigned(out, 2, 2);
  PutUnsigned(out, OldSize, 4);
  PutUnsigned(out, OldCrc, 4);
  PutUnsigned(out, NewSize, 4);
  PutUnsigned(out, NewCrc, 4);
  std::uint64_t date = 0;
  std::memcpy(&date, &NewDate, sizeof date);
  PutUnsigned(out, date, 8);
  out += static_cast<char>(Compressed ? 1 : 0);
  out += static_cast<char>(SourceKind);
  out += static_cast<char>(ZeroSubstitute);
  const std::string body = Body();
  if (!Compressed) return out + body;
  PutUnsigned(out, SizeHint.value_or(static_cast<std::uint32_t>(body.size())), 4);
  return out + Deflated(body);
}

TRenewPatch MakePatch(const std::string& oldBytes, const std::string& newBytes, std::size_t blockSize,
                      bool compressed, std::uint8_t zeroSubstitute, std::size_t gapEvery) {
  TRenewPatch patch;
  patch.OldSize = static_cast<std::uint32_t>(oldBytes.size());
  patch.OldCrc = Crc32Of(oldBytes);
  patch.NewSize = static_cast<std::uint32_t>(newBytes.size());
  patch.NewCrc = Crc32Of(newBytes);
  patch.Compressed = compressed;
  patch.ZeroSubstitute = zeroSubstitute;
  patch.DataImage.resize(newBytes.size());
  std::size_t position = 0, index = 0;
  const auto literal = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      patch.DataImage[i] = static_cast<char>(Exchanged(static_cast<std::uint8_t>(newBytes[i]), zeroSubstitute));
    }
  };
  while (position < newBytes.size()) {
    const std::size_t gap = gapEvery != 0 && index % 2 == 1 ? std::min(gapEvery, newBytes.size() - position) : 0;
    literal(position, position + gap);
    const std::size_t start = position + gap;
    const std::size_t length = std::min(blockSize, newBytes.size() - start);
    TPatchRecord record{-1, gap, length};
    if (start + length <= oldBytes.size() && index % 3 != 2) {
      record.OldOffset = static_cast<std::int64_t>(start);
      for (std::size_t i = start; i < start + length; ++i) {
        const auto n = Exchanged(static_cast<std::uint8_t>(newBytes[i]), zeroSubstitute);
        const auto o = Exchanged(static_cast<std::uint8_t>(oldBytes[i]), zeroSubstitute);
        patch.DataImage[i] = static_cast<char>(static_cast<std::uint8_t>(n - o));
      }
    } else {
      literal(start, start + length);
    }
    patch.Records.push_back(record);
    position = start + length;
    ++index;
  }
  return patch;
}

}  // namespace testsupport
