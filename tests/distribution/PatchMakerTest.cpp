#include "setup/distribution/diPatchMaker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "setup/distribution/RawDeflate.h"
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
  const std::string program = ProgramLike(200000, 1);
  return {
      {"scattered edits", program, Scattered(program, 2, 40)},
      {"grown", program, program.substr(0, 120000) + ProgramLike(30000, 3) + program.substr(120000)},
      {"shrunk", program, program.substr(0, 50000) + program.substr(90000, 60000)},
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

TEST(PatchMakerTest, PatchesGiveTheNewBytesExactly) {
  for (const TPair& pair : Pairs()) {
    SCOPED_TRACE(pair.Name);
    const std::string patch = MakeRenewPatch(pair.Old, pair.New, 0);
    bool alreadyNew = true;
    EXPECT_EQ(Applied(pair.Old, patch, &alreadyNew), pair.New);
    EXPECT_FALSE(alreadyNew);
  }
}

// The point of a patch: an edited file costs far less than shipping it whole.
TEST(PatchMakerTest, AnEditedFileCostsLessThanItsDeflatedBytes) {
  const std::string program = ProgramLike(200000, 7);
  const std::string edited = Scattered(program, 8, 40);
  const std::string patch = MakeRenewPatch(program, edited, 0);
  EXPECT_LT(patch.size() * 10, DeflatedSize(edited));
  EXPECT_EQ(Applied(program, patch), edited);
}

}  // namespace
