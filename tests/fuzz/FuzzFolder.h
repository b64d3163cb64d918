#pragma once
// The fuzz run's own folder under the temporary folder, made on first use
// and removed when the process ends.

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace fuzzsupport {

class TFuzzFolder {
public:
  explicit TFuzzFolder(const std::string& prefix)
      : Path(std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()))) {
    std::filesystem::create_directories(Path);
  }
  ~TFuzzFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
  const std::filesystem::path Path;
};

}  // namespace fuzzsupport
