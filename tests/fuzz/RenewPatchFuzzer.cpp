// Block patches from arbitrary bytes: the first two bytes give the old
// file's length (at most 1 KiB), the old file's bytes follow, and the rest is
// the patch. Every input must either be applied or refused with an
// exception, without reading outside an image; a refused patch leaves no
// new file and no temporary file behind.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "setup/distribution/diRenewFiles.h"
#include "tests/fuzz/FuzzFolder.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
  static const fuzzsupport::TFuzzFolder folder("tavrel-renew-fuzz-");
  return folder.Path;
}

std::size_t FolderEntries() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Folder())) ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t oldSize = std::min<std::size_t>((data[0] | (data[1] << 8)) & 0x3FF, size - 2);
  const fs::path oldFile = Folder() / "old.bin", newFile = Folder() / "new.bin";
  {
    std::ofstream out(oldFile, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 2), static_cast<std::streamsize>(oldSize));
  }
  std::error_code ignored;
  fs::remove(newFile, ignored);
  TMemoryStream patch(std::vector<std::uint8_t>(data + 2 + oldSize, data + size));
  try {
    ApplyPatch(oldFile.wstring(), newFile.wstring(), patch);
  } catch (const Exception&) {
    if (fs::exists(newFile) || FolderEntries() != 1) std::abort();
  }
  fs::remove(newFile, ignored);
  return 0;
}
