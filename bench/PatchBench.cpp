// Benchmark of the block-patch producer against bsdiff and xdelta3 -9 on
// the same pairs of files, in one run: patch size and producing time (the
// processor time, best of several runs), with the ratios to bsdiff. The
// producer runs on one thread, as bsdiff and xdelta3 do. Every patch of ours is
// applied with ApplyPatch and compared with the new file. Native only (the
// other tools are Linux programs).
// Usage: PatchBench text <old> <new>            writes the text-data pair
//        PatchBench large <old> <new>           writes a 100 MiB pair
//        PatchBench compare <work> <name> <old> <new> [runs]
//                                               one table row (bsdiff and
//                                               xdelta3 must be on PATH)
//        PatchBench ours <work> <name> <old> <new>
//                                               our producer alone, with
//                                               its peak memory
//        PatchBench header                      the table's header

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "setup/distribution/Stream.h"
#include "setup/distribution/diPatchMaker.h"
#include "setup/distribution/diRenewFiles.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    std::exit(2);
  }
  return std::move(out).str();
}

void WriteAll(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    std::exit(2);
  }
}

// Processor time (user and system) of this process or of its finished
// children: the machine is shared, and wall time would measure the others.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::int64_t PeakMemory() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
}

// A media library's catalogue as a server exports it: one line a file with
// folder, name, size, date, duration and tags, about 6 MB.
std::string Catalogue(std::mt19937& random, int lines) {
  static const char* const folders[] = {"Music/Jazz", "Music/Rock", "Video/Films", "Video/Series", "Photo/2025"};
  static const char* const words[] = {"night", "river", "blue", "road", "live", "session", "remaster", "part",
                                      "city", "summer", "theme", "suite", "dance", "piano", "voice"};
  std::string text;
  char line[512];
  for (int i = 0; i < lines; ++i) {
    const char* folder = folders[random() % 5];
    std::string title;
    for (int w = 0, n = 2 + static_cast<int>(random() % 4); w < n; ++w) title += std::string(w ? " " : "") + words[random() % 15];
    std::snprintf(line, sizeof line, "%06d\t%s/%s %03u.mkv\t%u\t2025-%02u-%02u %02u:%02u\t%u:%02u\t%s;%s\n", i, folder,
                  title.c_str(), static_cast<unsigned>(random() % 1000), static_cast<unsigned>(random() % 90000000),
                  1 + static_cast<unsigned>(random() % 12), 1 + static_cast<unsigned>(random() % 28),
                  static_cast<unsigned>(random() % 24), static_cast<unsigned>(random() % 60),
                  static_cast<unsigned>(random() % 180), static_cast<unsigned>(random() % 60), words[random() % 15],
                  words[random() % 15]);
    text += line;
  }
  return text;
}

// The next version of the catalogue: some lines changed, some removed, some
// inserted, and a block of lines moved.
std::string EditedCatalogue(const std::string& text, std::mt19937& random) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
  std::vector<std::string> out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const unsigned roll = random() % 1000;
    if (roll < 5) continue;  // removed
    if (roll < 15) {         // changed size field
      std::string line = lines[i];
      const std::size_t tab = line.find('\t', line.find('\t') + 1);
      line.insert(tab + 1, std::to_string(random() % 10));
      out.push_back(line);
      continue;
    }
    out.push_back(lines[i]);
    if (roll < 20) out.push_back("999999\tMusic/New/added " + std::to_string(random()) + ".flac\t1\t2026-01-01 00:00\t0:01\tnew;new\n");
  }
  const std::size_t from = out.size() / 3, count = out.size() / 20;
  std::vector<std::string> moved(out.begin() + static_cast<std::ptrdiff_t>(from),
                                 out.begin() + static_cast<std::ptrdiff_t>(from + count));
  out.erase(out.begin() + static_cast<std::ptrdiff_t>(from), out.begin() + static_cast<std::ptrdiff_t>(from + count));
  out.insert(out.begin() + static_cast<std::ptrdiff_t>(out.size() * 4 / 5), moved.begin(), moved.end());
  std::string result;
  for (const std::string& line : out) result += line;
  return result;
}

// 100 MiB of mixed content (compressible records and random media-like
// data) and its next version with scattered edits and an insertion.
void LargePair(const fs::path& oldFile, const fs::path& newFile) {
  std::mt19937 random(17);
  std::string bytes;
  bytes.reserve(std::size_t{100} << 20);
  while (bytes.size() < (std::size_t{100} << 20)) {
    if (random() % 2) {
      for (int i = 0; i < 4096; ++i) bytes += static_cast<char>(random());
    } else {
      bytes += Catalogue(random, 40);
    }
  }
  bytes.resize(std::size_t{100} << 20);
  WriteAll(oldFile, bytes);
  for (int i = 0; i < 2000; ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
  bytes.insert(bytes.size() / 2, Catalogue(random, 1000));
  WriteAll(newFile, bytes);
}

struct TResult {
  std::uint64_t Size = 0;
  double Time = 0;
};

// Runs a shell command runs times; the best time and the output's size.
TResult RunTool(const std::string& command, const fs::path& output, int runs) {
  TResult result{0, 1e30};
  for (int i = 0; i < runs; ++i) {
    fs::remove(output);
    const double start = CpuSeconds(RUSAGE_CHILDREN);
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "failed: %s\n", command.c_str());
      std::exit(1);
    }
    result.Time = std::min(result.Time, CpuSeconds(RUSAGE_CHILDREN) - start);
  }
  result.Size = fs::file_size(output);
  return result;
}

// Our producer on the files (the read not timed), checked by applying the
// patch with the engine's reader.
TResult RunOurs(const fs::path& work, const fs::path& oldFile, const fs::path& newFile, int runs) {
  const std::string oldBytes = ReadAll(oldFile), newBytes = ReadAll(newFile);
  TResult result{0, 1e30};
  std::string patch;
  for (int i = 0; i < runs; ++i) {
    const double start = CpuSeconds(RUSAGE_SELF);
    patch = MakeRenewPatch(oldBytes, newBytes, 0);
    result.Time = std::min(result.Time, CpuSeconds(RUSAGE_SELF) - start);
  }
  result.Size = patch.size();
  TMemoryStream stream(std::vector<std::uint8_t>(patch.begin(), patch.end()));
  const fs::path applied = work / "applied.bin";
  ApplyPatch(oldFile.wstring(), applied.wstring(), stream);
  if (ReadAll(applied) != newBytes) {
    std::fprintf(stderr, "the patch does not give the new file\n");
    std::exit(1);
  }
  fs::remove(applied);
  return result;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

int Compare(const fs::path& work, const std::string& name, const fs::path& oldFile, const fs::path& newFile,
            int runs) {
  const TResult ours = RunOurs(work, oldFile, newFile, runs);
  const fs::path bsdiffOut = work / "patch.bsdiff", xdeltaOut = work / "patch.xdelta";
  const TResult bsdiff =
      RunTool("bsdiff " + Quoted(oldFile) + " " + Quoted(newFile) + " " + Quoted(bsdiffOut), bsdiffOut, runs);
  const TResult xdelta = RunTool("xdelta3 -9 -e -f -s " + Quoted(oldFile) + " " + Quoted(newFile) + " " +
                                     Quoted(xdeltaOut),
                                 xdeltaOut, runs);
  std::printf("%-22s %10ju %10ju | %9ju %7.3f | %9ju %7.3f | %9ju %7.3f | %6.3f %6.3f | %6.3f\n", name.c_str(),
              static_cast<std::uintmax_t>(fs::file_size(oldFile)), static_cast<std::uintmax_t>(fs::file_size(newFile)),
              static_cast<std::uintmax_t>(ours.Size), ours.Time, static_cast<std::uintmax_t>(bsdiff.Size),
              bsdiff.Time, static_cast<std::uintmax_t>(xdelta.Size), xdelta.Time,
              static_cast<double>(ours.Size) / static_cast<double>(bsdiff.Size), ours.Time / bsdiff.Time,
              static_cast<double>(ours.Size) / static_cast<double>(xdelta.Size));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "header") {
    std::printf("%-22s %10s %10s | %9s %7s | %9s %7s | %9s %7s | %6s %6s | %6s\n", "pair", "old", "new", "ours",
                "cpu s", "bsdiff", "cpu s", "xdelta3", "cpu s", "size", "time", "size");
    std::printf("%-22s %10s %10s | %17s | %17s | %17s | %13s | %6s\n", "", "bytes", "bytes", "", "", "",
                "ours/bsdiff", "/xd3");
    return 0;
  }
  if (args.size() == 3 && args[0] == "text") {
    std::mt19937 random(3);
    const std::string text = Catalogue(random, 60000);
    WriteAll(args[1], text);
    WriteAll(args[2], EditedCatalogue(text, random));
    return 0;
  }
  if (args.size() == 3 && args[0] == "large") {
    LargePair(args[1], args[2]);
    return 0;
  }
  if ((args.size() == 5 || args.size() == 6) && args[0] == "compare") {
    return Compare(args[1], args[2], args[3], args[4], args.size() == 6 ? std::atoi(args[5].c_str()) : 3);
  }
  if (args.size() == 5 && args[0] == "ours") {
    const TResult ours = RunOurs(args[1], args[3], args[4], 1);
    std::printf("%-22s %10ju %10ju | %9ju %7.3f | peak memory %.0f MiB\n", args[2].c_str(),
                static_cast<std::uintmax_t>(fs::file_size(args[3])), static_cast<std::uintmax_t>(fs::file_size(args[4])),
                static_cast<std::uintmax_t>(ours.Size), ours.Time, static_cast<double>(PeakMemory()) / 1048576.0);
    return 0;
  }
  std::fprintf(stderr, "usage: see the comment at the top of bench/PatchBench.cpp\n");
  return 2;
}
