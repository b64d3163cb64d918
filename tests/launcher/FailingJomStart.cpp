// Test fixture (never shipped): JomStart whose run raises at once, to show
// how the launcher reports an exception.

#include <stdexcept>
#include <string>
#include <vector>

#include "launcher/Launcher.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> Arguments;
  for (int I = 1; I < argc; ++I) Arguments.emplace_back(argv[I]);
  return RunJomStart(Arguments, [] { throw std::runtime_error("Launcher test fault"); });
}
