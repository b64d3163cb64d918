#include "setup/distribution/Crc_32.h"

#include <libdeflate.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "setup/distribution/Stream.h"
#include "setup/distribution/TextCodec.h"

namespace {

constexpr std::size_t StreamChunkSize = 64 * 1024;

// The chunks a small file is read in: read and summed while in the cache.
constexpr std::size_t SmallChunkSize = 64 * 1024;

// Blocks in flight between the reading thread and the worker: one being
// read, one being summed, and one to spare for a worker woken late.
constexpr std::size_t BlockCount = 3;

}  // namespace

std::uint32_t UpdateCrc32(const void* data, std::size_t length, std::uint32_t crc) {
  // libdeflate inverts on entry and exit; undoing both gives the bare step.
  return ~libdeflate_crc32(~crc, data, length);
}

std::wstring CrcToHex(std::uint32_t crc) {
  static const wchar_t Digits[] = L"0123456789ABCDEF";
  std::wstring text(8, L'0');
  for (int i = 7; i >= 0; --i, crc >>= 4) text[i] = Digits[crc & 0xF];
  return text;
}

std::uint32_t StreamCrc32(TStream& stream) {
  stream.SetPosition(0);
  std::vector<std::uint8_t> buffer(StreamChunkSize);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (;;) {
    const std::size_t n = stream.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    crc = UpdateCrc32(buffer.data(), n, crc);
  }
  return ~crc;
}

// Block number k (counted over all files of the reader) lives in buffer
// k % BlockCount. Blocks below Submitted were read; the worker has added
// those below Summed to Crc. Crc belongs to the worker while it has blocks
// to sum and to the reading thread once it has none.
struct TFileCrcReader::TState {
  std::unique_ptr<std::uint8_t[]> Memory;
  std::size_t Lengths[BlockCount] = {};
  std::uint64_t Submitted = 0;
  std::uint64_t Summed = 0;
  std::uint32_t Crc = 0xFFFFFFFFu;
  bool Stopping = false;
  bool WorkerFailed = false;
  std::mutex Guard;
  std::condition_variable WorkReady;    // a block was submitted, or the reader ends
  std::condition_variable BlockSummed;  // the worker finished a block
  std::thread Worker;

  std::uint8_t* Buffer(std::uint64_t block) const { return Memory.get() + (block % BlockCount) * BlockSize; }

  // The buffer of the next block, once the worker is done with what it held.
  std::uint8_t* NextBuffer() {
    std::unique_lock<std::mutex> lock(Guard);
    BlockSummed.wait(lock, [this] { return Submitted - Summed < BlockCount; });
    return Buffer(Submitted);
  }

  // True when a worker runs (started now if needed); false when the system
  // cannot start one, and the reading thread sums on its own.
  bool HaveWorker() {
    if (Worker.joinable()) return true;
    if (WorkerFailed) return false;
    try {
      Worker = std::thread([this] { Run(); });
      return true;
    } catch (const std::system_error&) {
      WorkerFailed = true;
      return false;
    }
  }

  void Submit(std::size_t length) {
    {
      std::lock_guard<std::mutex> lock(Guard);
      Lengths[Submitted % BlockCount] = length;
      ++Submitted;
    }
    WorkReady.notify_one();
  }

  // Waits until every submitted block is summed: Crc is the caller's again.
  void WaitIdle() {
    std::unique_lock<std::mutex> lock(Guard);
    BlockSummed.wait(lock, [this] { return Summed == Submitted; });
  }

  void Run() {
    std::unique_lock<std::mutex> lock(Guard);
    for (;;) {
      WorkReady.wait(lock, [this] { return Stopping || Summed < Submitted; });
      if (Stopping) return;
      const std::uint8_t* data = Buffer(Summed);
      const std::size_t length = Lengths[Summed % BlockCount];
      std::uint32_t crc = Crc;
      lock.unlock();
      crc = UpdateCrc32(data, length, crc);
      lock.lock();
      Crc = crc;
      ++Summed;
      BlockSummed.notify_one();
    }
  }

  // Reads and sums the start of a file in small chunks on this thread, up
  // to LargeFileSize bytes; false when the file goes on beyond them.
  bool SumStart(std::istream& in, std::int64_t& total) {
    std::uint8_t* buffer = Memory.get();
    while (total < LargeFileSize) {
      in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(SmallChunkSize));
      const auto length = static_cast<std::size_t>(in.gcount());
      Crc = UpdateCrc32(buffer, length, Crc);
      total += static_cast<std::int64_t>(length);
      if (length < SmallChunkSize) return true;
    }
    return false;
  }

  // Reads the rest of a file in blocks: each full block is summed by the
  // worker while the next is read; the last one here, once the worker is
  // done.
  void SumRest(std::istream& in, std::int64_t& total) {
    for (;;) {
      std::uint8_t* buffer = NextBuffer();
      in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(BlockSize));
      const auto length = static_cast<std::size_t>(in.gcount());
      total += static_cast<std::int64_t>(length);
      if (length == BlockSize && HaveWorker()) {
        Submit(length);
        continue;
      }
      WaitIdle();
      Crc = UpdateCrc32(buffer, length, Crc);
      if (length < BlockSize) return;
    }
  }
};

TFileCrcReader::TFileCrcReader() : State(std::make_unique<TState>()) {}

TFileCrcReader::~TFileCrcReader() {
  if (!State->Worker.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(State->Guard);
    State->Stopping = true;
  }
  State->WorkReady.notify_one();
  State->Worker.join();
}

TFileSum TFileCrcReader::Sum(const std::wstring& fileName) {
  const std::filesystem::path path = FileSystemPath(fileName);
  // Unbuffered: every chunk is read straight into its buffer.
  std::ifstream in;
  in.rdbuf()->pubsetbuf(nullptr, 0);
  in.open(path, std::ios::binary);
  std::error_code error;
  if (!in) {
    if (!std::filesystem::is_regular_file(path, error)) return {};
    RaiseFileOpenError(fileName);
  }
  // Once per reader: fresh memory per file (which Windows heaps map and
  // unmap for every large block) made a check several times slower.
  if (!State->Memory) State->Memory.reset(new std::uint8_t[BlockCount * BlockSize]);

  // No size is asked for: a file is large once its start has been read.
  State->Crc = 0xFFFFFFFFu;
  TFileSum sum;
  if (!State->SumStart(in, sum.Length)) State->SumRest(in, sum.Length);
  if (in.bad()) {
    if (!std::filesystem::is_regular_file(path, error)) return {};  // a folder opens on some systems
    RaiseReadError(fileName);
  }
  sum.Found = true;
  sum.Crc = ~State->Crc;
  return sum;
}

std::uint32_t FileCrc32(const std::wstring& fileName) {
  TFileCrcReader reader;
  return reader.FileCrc32(fileName);
}

std::uint32_t WideStringCrc32(const std::wstring& text, std::uint32_t start) {
  const std::string bytes = WideToUtf16Le(text);
  return UpdateCrc32(bytes.data(), bytes.size(), start);
}
