// Benchmark of a fresh install (sfInstall) from a kit built with sfBuildKit,
// timed here and compared by scripts/bench-install.sh with native unzip of
// the same archives plus a copy of the loose files.
// Usage: InstallBench.exe build <program folder> <kit folder>
//        InstallBench.exe install <kit folder> <program folder> <programs ini>
//        InstallBench.exe parts <kit folder> <output folder>
// The parts mode times the pieces an install is made of, on the same kit:
// inflating every archive entry without writing it, zlib's inflate alone over
// the same entries read raw, libzip's decompression with the archive in
// memory, the CRC-32 alone, the
// runtime's memcpy, the extraction of every entry into files, and CopyFileW
// of the loose files.
// Prints "name value" lines.

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/ZipArchive.h"
#include "setup/engine/KvtDistr.h"

#include <vector>

#include <zip.h>
#include <zlib.h>

namespace {
int Errors = 0;

void OnMessage(std::int32_t kind, const wchar_t* text, void*) {
  if (kind != mkError) return;
  ++Errors;
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  std::fprintf(stderr, "error: %s\n", utf8.c_str());
}

double StartTime = 0, FirstCopy = 0, CopyDone = 0;
// User plus kernel time of this process so far: on a shared machine the
// wall clock also counts other people's work.
double CpuNow() {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}
double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }
void OnStatus(const wchar_t* title, const wchar_t*, const wchar_t*, std::int32_t percent, std::uint8_t*, void*) {
  const std::wstring t = title;
  if (t == L"Копирование файлов" && FirstCopy == 0) FirstCopy = Now() - StartTime;
  if (t == L"Копирование файлов" && percent == 100) CopyDone = Now() - StartTime;
}

TSetupFunctionParams Params() {
  TSetupFunctionParams params{};
  params.Size = sizeof params;
  params.Automatic = 1;
  params.OnMessage = OnMessage;
  return params;
}

int BuildKit(const std::wstring& program, const std::wstring& kit) {
  const TSetupFunctionParams params = Params();
  ExecuteSetupFunction(program.c_str(), sfBuildKit, const_cast<wchar_t*>(kit.c_str()), &params);
  // A kit carries its setup.ini beside the list.
  ::CopyFileW((program + L"setup.ini").c_str(), (kit + L"setup.ini").c_str(), FALSE);
  return Errors == 0 ? 0 : 2;
}

int Install(const std::wstring& kit, const std::wstring& program, const std::wstring& programsIni) {
  SetSetupParameter(L"ProgramsIniFileName", reinterpret_cast<intptr_t>(programsIni.c_str()));
  DeleteDirectory(program, true, true, true);
  const TSetupFunctionParams params = Params();
  TInstallParams install{sizeof install, program.c_str(), L"", 1};
  TSetupFunctionParams timed = params;
  timed.OnStatus = OnStatus;
  StartTime = Now();
  const double cpu = CpuNow();
  const auto start = std::chrono::steady_clock::now();
  const std::int32_t result = ExecuteSetupFunction(kit.c_str(), sfInstall, &install, &timed);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("first_copy %.3f\ncopy_done %.3f\n", FirstCopy, CopyDone);
  std::printf("install %.3f\ninstall_cpu %.3f\nresult %d\nerrors %d\n", seconds, CpuNow() - cpu, result, Errors);
  return 0;
}
// Takes the bytes and forgets them.
class TNullStream : public TStream {
public:
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void*, std::size_t count) override {
    Written += static_cast<std::int64_t>(count);
    return count;
  }
  std::int64_t Position() const override { return Written; }
  void SetPosition(std::int64_t) override {}
  std::int64_t Size() const override { return Written; }
  std::int64_t Written = 0;
};

std::vector<std::wstring> KitFiles(const std::wstring& kit, bool archives) {
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((kit + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring name = data.cFileName;
    const bool zip = name.size() > 4 && UpperCaseText(name.substr(name.size() - 4)) == L".ZIP";
    if (zip == archives) files.push_back(kit + name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return files;
}

int Parts(const std::wstring& kit, const std::wstring& output) {
  auto timed = [](const char* name, auto&& work) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuNow();
    const std::int64_t bytes = work();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %.3f cpu %.3f bytes %lld\n", name, seconds, CpuNow() - cpu, static_cast<long long>(bytes));
  };
  timed("inflate", [&] {
    std::int64_t bytes = 0;
    for (const std::wstring& archive : KitFiles(kit, true)) {
      TZipReader reader(archive);
      for (int i = 0; i < reader.EntryCount(); ++i) {
        TNullStream sink;
        reader.ExtractToStream(reader.EntryName(i), sink);
        bytes += sink.Written;
      }
    }
    return bytes;
  });
  timed("crc", [&] {
    std::vector<std::uint8_t> block(1 << 20, 0x5A);
    std::uint32_t crc = 0xFFFFFFFFu;
    for (int i = 0; i < 200; ++i) crc = UpdateCrc32(block.data(), block.size(), crc);
    return static_cast<std::int64_t>(block.size()) * 200 + (crc == 0 ? 1 : 0);
  });
  // zlib's inflate alone over the raw deflate data libzip hands out
  // compressed: what the decompression costs without libzip's layers.
  timed("raw_inflate", [&] {
    std::int64_t bytes = 0;
    std::vector<std::uint8_t> input, output(1 << 20);
    for (const std::wstring& archive : KitFiles(kit, true)) {
      const int size = ::WideCharToMultiByte(CP_UTF8, 0, archive.c_str(), -1, nullptr, 0, nullptr, nullptr);
      std::string name(static_cast<std::size_t>(size), '\0');
      ::WideCharToMultiByte(CP_UTF8, 0, archive.c_str(), -1, name.data(), size, nullptr, nullptr);
      zip_t* zip = zip_open(name.c_str(), ZIP_RDONLY, nullptr);
      if (!zip) continue;
      for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t stat;
        if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &stat) != 0) continue;
        input.resize(static_cast<std::size_t>(stat.comp_size));
        zip_file_t* entry = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), ZIP_FL_COMPRESSED);
        if (!entry) continue;
        zip_fread(entry, input.data(), input.size());
        zip_fclose(entry);
        z_stream stream{};
        inflateInit2(&stream, -MAX_WBITS);
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(input.size());
        int result = Z_OK;
        while (result == Z_OK) {
          stream.next_out = output.data();
          stream.avail_out = static_cast<uInt>(output.size());
          result = inflate(&stream, Z_NO_FLUSH);
          bytes += static_cast<std::int64_t>(output.size() - stream.avail_out);
        }
        inflateEnd(&stream);
      }
      zip_close(zip);
    }
    return bytes;
  });
  // libzip's own decompression with the archive in memory: what its read
  // path costs without file reads.
  timed("memory_inflate", [&] {
    std::int64_t bytes = 0;
    std::vector<std::uint8_t> output(1 << 20);
    for (const std::wstring& archive : KitFiles(kit, true)) {
      const std::string data = [&] {
        std::string all;
        HANDLE file = ::CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size{};
        ::GetFileSizeEx(file, &size);
        all.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        for (std::size_t at = 0; at < all.size(); at += read) {
          if (!::ReadFile(file, all.data() + at, static_cast<DWORD>(std::min<std::size_t>(all.size() - at, 1 << 24)),
                          &read, nullptr) || read == 0)
            break;
        }
        ::CloseHandle(file);
        return all;
      }();
      zip_source_t* source = zip_source_buffer_create(data.data(), data.size(), 0, nullptr);
      zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY, nullptr) : nullptr;
      if (!zip) {
        if (source) zip_source_free(source);
        continue;
      }
      for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_file_t* entry = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
        if (!entry) continue;
        for (zip_int64_t got; (got = zip_fread(entry, output.data(), output.size())) > 0;) bytes += got;
        zip_fclose(entry);
      }
      zip_close(zip);
    }
    return bytes;
  });
  // The runtime's memcpy, which the inflate path calls for every block.
  timed("memcpy", [&] {
    std::vector<std::uint8_t> from(1 << 20, 0x5A), to(1 << 20);
    for (int i = 0; i < 400; ++i) {
      from[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
      std::memcpy(to.data(), from.data(), from.size());
    }
    return static_cast<std::int64_t>(from.size()) * 400 + to[7];
  });
  DeleteDirectory(output, true, true, true);
  ForceDirectoriesQuiet(output);
  timed("extract", [&] {
    std::int64_t bytes = 0;
    for (const std::wstring& archive : KitFiles(kit, true)) {
      TZipReader reader(archive);
      for (int i = 0; i < reader.EntryCount(); ++i) {
        const std::wstring name = reader.EntryName(i);
        const std::wstring target = output + ExtractFileName(ReplaceChar(name, L'/', L'\\'));
        reader.ExtractToFile(name, target);
        bytes += reader.EntryInfo(name).Size;
      }
    }
    return bytes;
  });
  timed("copy_loose", [&] {
    std::int64_t count = 0;
    for (const std::wstring& file : KitFiles(kit, false)) {
      if (::CopyFileW(file.c_str(), (output + ExtractFileName(file)).c_str(), FALSE)) ++count;
    }
    return count;
  });
  DeleteDirectory(output, true, true, true);
  return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"build" && argc == 4) return BuildKit(IncludeTrailingBackslash(argv[2]), IncludeTrailingBackslash(argv[3]));
  if (mode == L"install" && argc == 5)
    return Install(IncludeTrailingBackslash(argv[2]), IncludeTrailingBackslash(argv[3]), argv[4]);
  if (mode == L"parts" && argc == 4) return Parts(IncludeTrailingBackslash(argv[2]), IncludeTrailingBackslash(argv[3]));
  std::fwprintf(stderr, L"usage: InstallBench.exe build <program> <kit> | install <kit> <program> <programs ini>\n");
  return 1;
}
