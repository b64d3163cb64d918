// The relaunch's rewriting of setup's command line, from arbitrary text: the
// first instance's arguments (split as setup splits its own command line)
// are rewritten for the copy, and the copy, splitting what it is given, must
// read back exactly what the first instance meant: its start folder first,
// update files as "/RNW=<path>" (or dropped when found nowhere), AppImage
// paths as "/APPIMAGE=<path>", every other argument unchanged and whole.
//
// Input: the kit folder, a line feed, the current folder, a line feed, then
// the first instance's command line. Which files exist is decided by a hash
// of the path salted with the input's first byte.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/StrTool.h"
#include "setup/main/SetupCommandLine.h"

namespace {

// Latin-1 bytes, and a few bytes above 0x7F widened into Cyrillic so that
// names beyond one code page are tried too.
std::wstring Widen(const std::string& bytes) {
  std::wstring text;
  for (const unsigned char c : bytes) text += c >= 0xC0 ? static_cast<wchar_t>(0x0410 + (c - 0xC0)) : wchar_t(c);
  return text;
}

// A folder as Windows names one: no double quotes, no control characters.
std::wstring FolderText(const std::wstring& text) {
  std::wstring folder;
  for (const wchar_t c : text) {
    if (c >= 32 && c != L'"') folder += c;
  }
  return folder;
}

bool StartsWithAscii(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring input = Widen(std::string(reinterpret_cast<const char*>(data), size));
  const std::size_t first = input.find(L'\n');
  const std::size_t second = first == std::wstring::npos ? std::wstring::npos : input.find(L'\n', first + 1);
  if (second == std::wstring::npos) return 0;
  const std::wstring sourceDir = IncludeTrailingBackslash(FolderText(input.substr(0, first)));
  const std::wstring currentDir = FolderText(input.substr(first + 1, second - first - 1));
  const std::vector<std::wstring> args = SplitCommandLine(L"setup.exe " + input.substr(second + 1));
  const std::size_t salt = size > 0 ? data[0] : 0;
  const TFileExists exists = [salt](const std::wstring& path) {
    return ((std::hash<std::wstring>{}(path) ^ salt) & 1) != 0;
  };

  const std::wstring text = BuildRelaunchArguments(sourceDir, args, currentDir, exists);
  const std::vector<std::wstring> copy = SplitCommandLine(L"setup.exe " + text);

  std::vector<std::wstring> expected{L"/STARTDIR=" + sourceDir};
  for (const std::wstring& arg : args) {
    const std::wstring extension = ExtractFileExt(arg);
    if (StartsWithAscii(extension, L".pr")) {
      std::wstring path = arg;
      if (!exists(path)) path = IncludeTrailingBackslash(currentDir) + ExtractFileName(arg);
      if (exists(path)) expected.push_back(L"/RNW=" + path);
    } else if (SameTextAscii(extension, L".AppImage")) {
      expected.push_back(L"/APPIMAGE=" + arg);
    } else if (!arg.empty()) {
      expected.push_back(arg);
    }
  }
  if (copy != expected) std::abort();

  // The copy knows itself as the copy (else it would relaunch again) and
  // finds the kit folder and the update file where the dialog looks.
  if (!HasSwitchWithValue(copy, L"STARTDIR")) std::abort();
  const TStartArguments start = ParseStartArguments(copy, L"C:\\exe\\");
  if (start.StartDir != sourceDir) std::abort();
  if (copy.size() >= 2 && StartsWithAscii(copy[1], L"/RNW=") && start.RenewFile != copy[1].substr(5)) std::abort();
  return 0;
}
