// Benchmark of block patching: a 256 MiB file with scattered small changes
// and a compressed patch, ApplyPatch timed against a plain copy of the new
// file in the same process, and the process's peak memory against old file
// + patch + new file. Built natively and for Windows (run under Wine).
// Usage: RenewBench prepare <folder>   writes old.bin, new.bin, patch.rnw
//        RenewBench run <folder>       prints "name value" lines
// The two steps are separate processes so that the peak memory of the run
// is that of patching alone.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "setup/distribution/diRenewFiles.h"
#include "support/RenewPatchWriter.h"

#ifdef _WIN32
#include "platform/Win.h"
// clang-format off
#include <psapi.h>
// clang-format on
#else
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::size_t FileSize = std::size_t{256} << 20;
constexpr std::size_t BlockSize = std::size_t{1} << 20;
constexpr std::size_t ChangeEvery = std::size_t{64} << 10;

// Peak and current resident memory of the process in bytes.
struct TMemory {
  std::int64_t Peak = 0;
  std::int64_t Current = 0;
};

TMemory Memory() {
  TMemory memory;
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) {
    memory.Peak = static_cast<std::int64_t>(counters.PeakWorkingSetSize);
    memory.Current = static_cast<std::int64_t>(counters.WorkingSetSize);
  }
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  memory.Peak = static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
  std::ifstream status("/proc/self/statm");
  std::int64_t size = 0, resident = 0;
  status >> size >> resident;
  memory.Current = resident * 4096;
#endif
  return memory;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(fs::file_size(file)), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void WriteAll(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int Prepare(const fs::path& folder) {
  fs::create_directories(folder);
  std::string oldBytes(FileSize, '\0');
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  const auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (std::size_t i = 0; i + 8 <= oldBytes.size(); i += 8) {
    const std::uint64_t value = next();
    std::memcpy(&oldBytes[i], &value, 8);
  }
  // A change of 1 to 16 bytes at a random place of every 64 KiB.
  std::string newBytes = oldBytes;
  for (std::size_t start = 0; start < newBytes.size(); start += ChangeEvery) {
    const std::size_t length = 1 + next() % 16;
    const std::size_t at = start + next() % (ChangeEvery - length);
    for (std::size_t i = 0; i < length; ++i) newBytes[at + i] = static_cast<char>(next());
  }
  testsupport::TRenewPatch patch;
  patch.OldSize = patch.NewSize = static_cast<std::uint32_t>(FileSize);
  patch.OldCrc = testsupport::Crc32Of(oldBytes);
  patch.NewCrc = testsupport::Crc32Of(newBytes);
  patch.Compressed = true;
  patch.DataImage.resize(FileSize);
  for (std::size_t i = 0; i < FileSize; ++i) {
    patch.DataImage[i] = static_cast<char>(static_cast<std::uint8_t>(newBytes[i] - oldBytes[i]));
  }
  for (std::size_t start = 0; start < FileSize; start += BlockSize) {
    patch.Records.push_back({static_cast<std::int64_t>(start), 0, std::min(BlockSize, FileSize - start)});
  }
  WriteAll(folder / "old.bin", oldBytes);
  WriteAll(folder / "new.bin", newBytes);
  WriteAll(folder / "patch.rnw", patch.Serialize());
  return 0;
}

template <class Work>
double Seconds(Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool PlainCopy(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
  return ::CopyFileW(from.wstring().c_str(), to.wstring().c_str(), FALSE) != FALSE;
#else
  std::error_code error;
  return fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
#endif
}

int Run(const fs::path& folder) {
  const TMemory start = Memory();
  const std::string patchBytes = ReadAll(folder / "patch.rnw");
  TMemoryStream patch(std::vector<std::uint8_t>(patchBytes.begin(), patchBytes.end()));
  double copy = 1e9, apply = 1e9;
  for (int round = 0; round < 3; ++round) {
    copy = std::min(copy, Seconds([&] {
      if (!PlainCopy(folder / "new.bin", folder / "copy.bin")) std::fprintf(stderr, "copy failed\n");
    }));
    patch.SetPosition(0);
    apply = std::min(apply, Seconds([&] {
      try {
        ApplyPatch((folder / "old.bin").wstring(), (folder / "out.bin").wstring(), patch);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "ApplyPatch failed: %s\n", e.what());
      }
    }));
  }
  const TMemory end = Memory();
  const bool same = ReadAll(folder / "out.bin") == ReadAll(folder / "new.bin");
  const double oldSize = static_cast<double>(fs::file_size(folder / "old.bin"));
  const double newSize = static_cast<double>(fs::file_size(folder / "new.bin"));
  const double patchSize = static_cast<double>(patchBytes.size());
  // The patch is held twice here (the read bytes and the stream); count it once.
  const double peak = static_cast<double>(end.Peak - start.Current) - patchSize;
  std::printf("copy_seconds %.3f\n", copy);
  std::printf("apply_seconds %.3f\n", apply);
  std::printf("patch_bytes %.0f\n", patchSize);
  std::printf("peak_bytes %.0f\n", peak);
  std::printf("old_patch_new_bytes %.0f\n", oldSize + patchSize + newSize);
  std::printf("ratio_time %.2f (goal <= 2)\n", apply / copy);
  std::printf("ratio_memory %.3f (goal <= 1.10)\n", peak / (oldSize + patchSize + newSize));
  std::printf("output_matches %s\n", same ? "yes" : "NO");
  fs::remove(folder / "copy.bin");
  fs::remove(folder / "out.bin");
  return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: RenewBench prepare|run <folder>\n");
    return 2;
  }
  const std::string mode = argv[1];
  const fs::path folder = fs::u8path(argv[2]);
  if (mode == "prepare") return Prepare(folder);
  if (mode == "run") return Run(folder);
  return 2;
}
