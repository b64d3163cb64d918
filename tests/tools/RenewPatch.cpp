// Writes a block patch that turns one file into another, for the demo's
// update file (the system itself only reads patches).
// Usage: renewpatch.exe <old file> <new file> <patch file>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/RenewPatchWriter.h"

namespace {
std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fputs("usage: renewpatch <old file> <new file> <patch file>\n", stderr);
    return 2;
  }
  const std::string patch =
      testsupport::MakePatch(ReadAll(argv[1]), ReadAll(argv[2]), 4096, true).Serialize();
  std::ofstream out(std::filesystem::path(argv[3]), std::ios::binary | std::ios::trunc);
  out.write(patch.data(), static_cast<std::streamsize>(patch.size()));
  return out.good() ? 0 : 1;
}
