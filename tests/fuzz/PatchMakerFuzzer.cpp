// The patch producer on pairs cut from arbitrary bytes: the first two bytes
// give the old file's length (at most 4 KiB), the third picks how the new
// file is made, the old file's bytes follow. With an even third byte the
// rest is the new file; with an odd one the rest is a recipe of four-byte
// steps that copy pieces of the old file, add literal bytes and change the
// last byte, so that the pair has the shared and shifted runs of real
// versions. Every patch must give the new file exactly through ApplyPatch.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "setup/distribution/diPatchMaker.h"
#include "setup/distribution/diRenewFiles.h"
#include "tests/fuzz/FuzzFolder.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
  static const fuzzsupport::TFuzzFolder folder("tavrel-patchmaker-fuzz-");
  return folder.Path;
}

std::string FromRecipe(const std::string& old, const std::uint8_t* step, std::size_t size) {
  std::string out;
  for (; size >= 4; step += 4, size -= 4) {
    if (step[0] < 192 && !old.empty()) {
      const std::size_t from = (step[1] | (step[2] << 8)) % old.size();
      out += old.substr(from, 1 + step[3] % 128);
    } else if (step[0] < 240 || out.empty()) {
      out += static_cast<char>(step[3]);
    } else {
      out.back() = static_cast<char>(out.back() + step[3]);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::size_t oldSize = std::min<std::size_t>((data[0] | (data[1] << 8)) & 0xFFF, size - 3);
  const std::string oldBytes(reinterpret_cast<const char*>(data + 3), oldSize);
  const std::uint8_t* rest = data + 3 + oldSize;
  const std::size_t restSize = size - 3 - oldSize;
  const std::string newBytes =
      data[2] % 2 == 0 ? std::string(reinterpret_cast<const char*>(rest), restSize) : FromRecipe(oldBytes, rest, restSize);

  const std::string patch = MakeRenewPatch(oldBytes, newBytes, 0);
  const fs::path oldFile = Folder() / "old.bin", newFile = Folder() / "new.bin";
  {
    std::ofstream out(oldFile, std::ios::binary | std::ios::trunc);
    out.write(oldBytes.data(), static_cast<std::streamsize>(oldBytes.size()));
  }
  TMemoryStream stream(std::vector<std::uint8_t>(patch.begin(), patch.end()));
  ApplyPatch(oldFile.wstring(), newFile.wstring(), stream);
  std::ifstream in(newFile, std::ios::binary);
  std::ostringstream applied;
  applied << in.rdbuf();
  if (applied.str() != newBytes) std::abort();
  std::error_code ignored;
  fs::remove(newFile, ignored);
  return 0;
}
