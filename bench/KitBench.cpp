// Benchmark of the version check and the kit build on an installed copy,
// each against its baseline in the same Wine process: the check against a
// plain read of the same files (and, to tell the engine's own cost apart,
// the reading and summing the check does, alone), the kit build timed here
// and compared by scripts/bench-kit.sh with native zip of the same groups.
// Usage: KitBench.exe <program folder> <kit folder>
// Prints "name seconds" lines and the kit's archive bytes.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/diCommon.h"
#include "setup/engine/KvtDistr.h"

namespace {
int Errors = 0;

void OnMessage(std::int32_t kind, const wchar_t* text, void*) {
  if (kind == mkError) {
    ++Errors;
    std::fwprintf(stderr, L"error: %ls\n", text);
  }
}

// Reads every file the check reads, whole, as the check reads them: opened
// and read through the platform tools, in blocks of the reader's size into
// one buffer.
std::int64_t PlainRead(const std::vector<std::wstring>& files) {
  IPlatformTools& tools = PlatformTools();
  std::vector<char> buffer(TFileCrcReader::BlockSize);
  std::int64_t total = 0;
  for (const std::wstring& file : files) {
    Handle handle = tools.OpenFileHandle(file, OpenModeReadShareBoth, true);
    std::uint32_t got = 0;
    while (handle != InvalidHandle &&
           tools.ReadFileData(handle, buffer.data(), static_cast<std::uint32_t>(buffer.size()), got) && got)
      total += got;
    tools.CloseHandleAndReset(handle);
  }
  return total;
}

// The same files read straight through the Windows API in 64 KiB chunks, as
// a small program would: a second baseline, to show the first is no slower.
std::int64_t PlainRead64K(const std::vector<std::wstring>& files) {
  std::vector<char> buffer(1 << 16);
  std::int64_t total = 0;
  for (const std::wstring& file : files) {
    UniqueHandle<KernelHandleTraits> handle(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    DWORD got = 0;
    while (handle && ::ReadFile(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got)
      total += got;
  }
  return total;
}

// Sums every file through one reader as the check does, without the rest
// of the check: what reading and summing cost on their own.
void ReadAndSum(const std::vector<std::wstring>& files) {
  TFileCrcReader reader;
  for (const std::wstring& file : files) reader.Sum(file);
}

template <class Work>
double Seconds(Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::int64_t ArchiveBytes(const std::wstring& folder) {
  std::int64_t total = 0;
  WIN32_FIND_DATAW entry{};
  UniqueHandle<FindHandleTraits> find(::FindFirstFileW((folder + L"*.zip").c_str(), &entry));
  if (!find) return 0;
  do {
    total += (static_cast<std::int64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
  } while (::FindNextFileW(find.get(), &entry));
  return total;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 1;
  const std::wstring program = IncludeTrailingBackslash(argv[1]);
  const std::wstring kit = IncludeTrailingBackslash(argv[2]);

  TDIVersion version(L"bench", program + L"files.lst");
  version.Prepare(program);
  std::vector<std::wstring> files;
  for (const TProgramLstFileItem* item : version.Items) {
    if (!item->IsDeleted) files.push_back(item->LocalPath);
  }

  TSetupFunctionParams params{};
  params.Size = sizeof params;
  params.OnMessage = OnMessage;
  // Alternating runs, the best of each, so that the load of other programs
  // on the machine and a cold file cache weigh on neither side alone. Each
  // run is short: many of them, for the best to be near the unloaded time.
  std::int64_t bytes = PlainRead(files);
  double read = 1e9, read64k = 1e9, check = 1e9, sum = 1e9, load = 1e9;
  for (int run = 0; run < 40; ++run) {
    read = std::min(read, Seconds([&] { bytes = PlainRead(files); }));
    read64k = std::min(read64k, Seconds([&] { PlainRead64K(files); }));
    check = std::min(check, Seconds([&] { ExecuteSetupFunction(program.c_str(), sfCheck, nullptr, &params); }));
    sum = std::min(sum, Seconds([&] { ReadAndSum(files); }));
    load = std::min(load, Seconds([&] {
      TDIVersion loaded(L"bench", program + L"files.lst");
      loaded.Prepare(program);
    }));
  }
  const double build =
      Seconds([&] { ExecuteSetupFunction(program.c_str(), sfBuildKit, const_cast<wchar_t*>(kit.c_str()), &params); });

  std::printf("files %zu\nbytes %lld\n", files.size(), static_cast<long long>(bytes));
  std::printf("plain_read %.4f\nplain_read_64k %.4f\ncheck %.4f\nread_and_sum %.4f\nbuild %.4f\n", read, read64k, check,
              sum, build);
  std::printf("list_load %.4f\n", load);
  std::printf("archive_bytes %lld\nerrors %d\n", static_cast<long long>(ArchiveBytes(kit)), Errors);
  return Errors == 0 ? 0 : 2;
}
