#include "platform/ExecIntfTypes.h"

#include <atomic>
#include <mutex>
#include <sstream>

namespace {
class TExitCode : public TRefCountedObject<IExitCode> {
public:
  explicit TExitCode(std::int32_t value) : Value(value) {}
  void Reserved() override {}
  void SetCommandLine(const std::wstring&) override {}
  std::int32_t GetExitCode() override { return Value.load(); }
  void SetExitCode(std::int32_t code) override { Value = code; }

private:
  std::atomic<std::int32_t> Value;
};

class TExecuteOutputStream : public TRefCountedObject<IExecuteOutputStream> {
public:
  explicit TExecuteOutputStream(std::unique_ptr<std::ostream> stream) : Stream(std::move(stream)) {}

  std::string GetOutputText() override {
    std::lock_guard<std::mutex> lock(Lock);
    const auto* memory = dynamic_cast<const std::ostringstream*>(Stream.get());
    return memory ? memory->str() : std::string();
  }

  std::int32_t WriteOutput(const void* buffer, std::int32_t count) override {
    if (count <= 0 || !Stream) return 0;
    std::lock_guard<std::mutex> lock(Lock);
    Stream->write(static_cast<const char*>(buffer), count);
    return Stream->good() ? count : 0;
  }

private:
  std::mutex Lock;
  std::unique_ptr<std::ostream> Stream;
};
}  // namespace

RefPtr<IExitCode> CreateExitCode(std::int32_t initialValue) {
  return RefPtr<IExitCode>(new TExitCode(initialValue));
}

RefPtr<IExecuteOutputStream> CreateOutputStream(std::unique_ptr<std::ostream> stream) {
  return RefPtr<IExecuteOutputStream>(new TExecuteOutputStream(std::move(stream)));
}

RefPtr<IExecuteOutputStream> CreateMemoryOutputStream() {
  return CreateOutputStream(std::make_unique<std::ostringstream>(std::ios::out | std::ios::binary));
}
