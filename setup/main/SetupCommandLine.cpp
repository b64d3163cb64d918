#include "setup/main/SetupCommandLine.h"

#include "platform/StrTool.h"

namespace {

bool StartsWithAscii(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

bool IsSwitchChar(wchar_t c) { return c == L'/' || c == L'-'; }

// The value of "<switch>=<value>" when name (with its switch character)
// matches the text before the first "=": quotes around it removed.
bool ReadSwitchValue(const std::wstring& argument, const std::wstring& name, std::wstring& value) {
  const size_t equals = argument.find(L'=');
  if (equals == std::wstring::npos || equals < 2 || !IsSwitchChar(argument[0])) return false;
  if (!SameTextAscii(argument.substr(1, equals - 1), name)) return false;
  value = argument.substr(equals + 1);
  if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') value = value.substr(1, value.size() - 2);
  return !value.empty();
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The copy splits its command line at every character up to a blank, so an
// argument holding any of them goes in quotes.
bool NeedsQuotes(const std::wstring& argument) {
  for (const wchar_t c : argument) {
    if (c <= L' ') return true;
  }
  return false;
}

bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

bool HasDrive(const std::wstring& path) {
  if (path.size() < 2 || path[1] != L':') return false;
  const wchar_t letter = path[0];
  return (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
}

}  // namespace

bool HasSwitchWithValue(const std::vector<std::wstring>& args, const std::wstring& name) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (arg.size() < 2 || !IsSwitchChar(arg[0]) || !StartsWithAscii(arg.substr(1), name)) continue;
    const std::wstring rest = arg.substr(1 + name.size());
    if (rest.empty() && i + 1 < args.size()) return true;
    if (!rest.empty() && (rest[0] == L'=' || rest[0] == L':')) return true;
  }
  return false;
}

std::wstring LogSwitchFile(const std::wstring& argument) {
  std::wstring file;
  return ReadSwitchValue(argument, L"LOG", file) ? file : std::wstring();
}

std::wstring FindLogFile(const std::vector<std::wstring>& args) {
  for (const std::wstring& arg : args) {
    std::wstring file = LogSwitchFile(arg);
    if (!file.empty()) return file;
  }
  return {};
}

std::wstring AbsolutePathFrom(const std::wstring& path, const std::wstring& folder) {
  if (path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1])) return path;  // a network path
  if (HasDrive(path)) {
    if (path.size() >= 3 && IsSlash(path[2])) return path;
    // "X:name": relative to the current folder of drive X, which only the
    // given folder can tell; otherwise the drive's root.
    const std::wstring rest = path.substr(2);
    if (HasDrive(folder) && SameTextAscii(folder.substr(0, 1), path.substr(0, 1))) {
      return IncludeTrailingBackslash(folder) + rest;
    }
    return path.substr(0, 2) + L"\\" + rest;
  }
  if (!path.empty() && IsSlash(path[0])) {
    // The root of the folder's drive (or of its network share).
    if (HasDrive(folder)) return folder.substr(0, 2) + path;
    if (folder.size() >= 2 && IsSlash(folder[0]) && IsSlash(folder[1])) {
      std::size_t end = folder.find_first_of(L"\\/", 2);
      if (end != std::wstring::npos) end = folder.find_first_of(L"\\/", end + 1);
      return folder.substr(0, end) + path;
    }
    return path;
  }
  return folder.empty() ? path : IncludeTrailingBackslash(folder) + path;
}

std::wstring BuildRelaunchArguments(const std::wstring& sourceDir, const std::vector<std::wstring>& args,
                                    const std::wstring& currentDir, const TFileExists& fileExists) {
  std::wstring text = L"/STARTDIR=" + Quoted(sourceDir);
  // Log switches go last: the copy reads an update file only as its second
  // argument, which a log switch must not take.
  std::wstring logSwitches;
  for (const std::wstring& arg : args) {
    const std::wstring extension = ExtractFileExt(arg);
    const std::wstring log = LogSwitchFile(arg);
    if (!log.empty()) {
      logSwitches += L" /LOG=" + Quoted(AbsolutePathFrom(log, currentDir));
    } else if (StartsWithAscii(extension, L".pr")) {
      std::wstring path = arg;
      if (!fileExists(path)) path = IncludeTrailingBackslash(currentDir) + ExtractFileName(arg);
      if (fileExists(path)) text += L" /RNW=" + Quoted(path);
    } else if (SameTextAscii(extension, L".AppImage")) {
      text += L" /APPIMAGE=" + Quoted(arg);
    } else if (NeedsQuotes(arg)) {
      text += L" " + Quoted(arg);
    } else {
      text += L" " + arg;
    }
  }
  return text + logSwitches;
}

TStartArguments ParseStartArguments(const std::vector<std::wstring>& args, const std::wstring& exeDir) {
  TStartArguments result;
  if (args.empty()) return result;
  const std::wstring& first = args[0];
  if (first.size() == 5 && IsSwitchChar(first[0]) && SameTextAscii(first.substr(1), L"WINE")) {
    result.StartDir = IncludeTrailingBackslash(exeDir);
  } else if (ReadSwitchValue(first, L"STARTDIR", result.StartDir)) {
    result.StartDir = IncludeTrailingBackslash(result.StartDir);
  }
  if (args.size() >= 2) ReadSwitchValue(args[1], L"RNW", result.RenewFile);
  return result;
}

TStartDecision DecideStartFolderAndMode(const std::vector<std::wstring>& args, const std::wstring& exeDir,
                                        const TFileExists& fileExists, const TReadSetupIniProduct& readProduct) {
  const TStartArguments start = ParseStartArguments(args, exeDir);
  TStartDecision decision;
  decision.StartDir = start.StartDir;
  decision.RenewFile = start.RenewFile;
  const std::wstring setupIni = start.StartDir + L"setup.ini";
  if (start.StartDir.empty() || !fileExists(setupIni)) {
    decision.Failure = TStartFailure::SetupIniNotFound;
    return decision;
  }
  const TSetupIniProduct product = readProduct(setupIni);
  decision.ProductSection = TrimText(product.Section);
  decision.ProductName = product.Name;
  if (decision.ProductSection.empty() || TrimText(decision.ProductName).empty()) {
    decision.Failure = TStartFailure::UnknownSetupIni;
    return decision;
  }
  decision.Maintenance = fileExists(start.StartDir + L"instcfg.ini");
  return decision;
}
