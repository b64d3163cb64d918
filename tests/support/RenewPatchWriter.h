#pragma once
// A small writer of block patches for the tests and the benchmark: every
// field can be set by hand (also to values a reader must refuse), and
// MakePatch builds a correct patch from an old and a new file's bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct TPatchRecord {
  std::int64_t OldOffset = -1;  // -1: no source (all W bytes 0xFF)
  std::uint64_t Gap = 0;
  std::uint64_t Length = 0;
};

struct TRenewPatch {
  std::uint32_t Signature = 0x1A484652;
  std::uint16_t Version = 0x0102;
  std::string Type = "RDF";
  std::uint32_t DataSignature = 0x1A484452;
  std::uint32_t OldSize = 0;
  std::uint32_t OldCrc = 0;
  std::uint32_t NewSize = 0;
  std::uint32_t NewCrc = 0;
  double NewDate = 0;
  bool Compressed = false;
  std::uint8_t SourceKind = 0;
  std::uint8_t ZeroSubstitute = 0;
  int Width = 4;
  std::optional<std::int32_t> Count;  // the records' number unless set
  std::vector<TPatchRecord> Records;
  std::string DataImage;
  std::optional<std::uint32_t> SizeHint;  // the body's length unless set
  // 0: var numbers in their shortest form; 252..255: every var number in
  // that long form.
  int VarForm = 0;

  // The body (W, Count, records, data image) as it is before compression.
  std::string Body() const;
  // The whole patch.
  std::string Serialize() const;
};

// A var number in its shortest form, or in the given long form (252..255).
std::string VarNumber(std::uint64_t value, int form = 0);

// The standard CRC-32 of ZIP.
std::uint32_t Crc32Of(const std::string& bytes);

// A correct patch turning oldBytes into newBytes: the new file cut into
// blocks of blockSize bytes; a block whose range exists in the old file
// takes it as its source (differences in the data image), every other third
// block without source is literal, and a gap of gapEvery bytes is left
// between blocks when gapEvery is not 0.
TRenewPatch MakePatch(const std::string& oldBytes, const std::string& newBytes, std::size_t blockSize,
                      bool compressed, std::uint8_t zeroSubstitute = 0, std::size_t gapEvery = 0);

}  // namespace testsupport
