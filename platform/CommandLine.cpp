#include "platform/CommandLine.h"

namespace {

// Reads one argument from position, which is left after it; false at the end.
bool NextArgument(const std::wstring& line, std::size_t& position, std::wstring& argument) {
  while (position < line.size() && line[position] <= L' ') ++position;
  if (position >= line.size()) return false;
  argument.clear();
  bool quoted = false;
  for (; position < line.size() && (quoted || line[position] > L' '); ++position) {
    if (line[position] == L'"') {
      quoted = !quoted;
    } else {
      argument += line[position];
    }
  }
  return true;
}

}  // namespace

std::vector<std::wstring> SplitCommandLineWithProgram(const std::wstring& commandLine) {
  std::vector<std::wstring> args;
  std::size_t position = 0;
  std::wstring argument;
  while (NextArgument(commandLine, position, argument)) args.push_back(argument);
  return args;
}

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
  std::vector<std::wstring> args = SplitCommandLineWithProgram(commandLine);
  if (!args.empty()) args.erase(args.begin());
  return args;
}
