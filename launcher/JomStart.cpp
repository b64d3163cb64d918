// JomStart: the product's entry point inside a Wine prefix.

#include <string>
#include <vector>

#include "launcher/Launcher.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> Arguments;
  for (int I = 1; I < argc; ++I) Arguments.emplace_back(argv[I]);
  return RunJomStart(Arguments);
}
