#pragma once
// Block patches of update files: a patch names ranges of the installed (old)
// file that reappear in the new one, with byte-wise differences, plus the
// literal bytes of everything new. ApplyPatch checks the old file before and
// the new one after, and writes nothing unless the result is right.
// Patches come from outside: every count, size and offset is checked before
// it is used. Platform-neutral.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/ObjList.h"
#include "setup/distribution/Stream.h"

// One block: new-file bytes [NewOffset, NewOffset + Length) that come from
// old-file bytes at OldOffset plus differences, or are literal when
// OldOffset is -1. 64-bit so that files of up to 4 GiB keep their offsets.
class TBlock {
public:
  std::int64_t OldOffset = -1;
  std::int64_t NewOffset = 0;
  std::int64_t Length = 0;
};

// The blocks of one patch, in new-file order; owns its blocks.
class TBlockList : public TObjectList<TBlock> {
public:
  TBlockList() : TObjectList<TBlock>(true) {}

  // Reads W, Count and the block records from the stream's position. A width
  // outside 1..4 or a Count that is negative or larger than the rest of the
  // stream can hold is refused (EMessageError with the invalid-patch text
  // naming fileName) before any block is made; a short read raises
  // EStreamError.
  void LoadBlocks(TStream& stream, const std::wstring& fileName = std::wstring());

  // True when every block lies inside both images: old ranges within
  // oldSize, new ranges (in order, without overlap) within dataSize.
  bool InsideImages(std::int64_t oldSize, std::int64_t dataSize) const;
};

// Called with a percentage (0 to 100).
using TPatchProgress = std::function<void(int percent)>;

// The invalid-patch refusal naming the file being updated.
std::wstring InvalidPatchText(const std::wstring& fileName);

// Adds the old bytes into the data image in place for every block with a
// source, reporting progress by block. The images are separate memory. A block outside either image raises
// the invalid-patch refusal without changing the data image.
void ApplyBlocks(const TBlockList& blocks, const TCustomMemoryStream& oldImage, TCustomMemoryStream& dataImage,
                 const TPatchProgress& progress = {}, const std::wstring& fileName = std::wstring());

// Turns oldFileName into newFileName with the patch (a stream at its start).
// An empty patch copies the old file to the new name (nothing when the names
// are equal regardless of case). Returns true when the old file already is
// the new version (nothing written). The new file is written through a
// temporary file in its folder and a replacing rename, only after its length
// and CRC-32 were checked; every failure raises and leaves it untouched. The
// names may be the same file.
bool ApplyPatch(const std::wstring& oldFileName, const std::wstring& newFileName, TStream& patch,
                const TPatchProgress& progress = {});
