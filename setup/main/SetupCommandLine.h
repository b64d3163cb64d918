#pragma once
// The command line of setup: how the first instance hands its arguments to
// the relaunched copy, and how the copy finds its start folder and mode.
// Platform-neutral: the file system is reached through the callbacks.
// Arguments are split by SplitCommandLine, which reads back what the
// relaunch writes.

#include <functional>
#include <string>
#include <vector>

#include "platform/CommandLine.h"

using TFileExists = std::function<bool(const std::wstring& path)>;

// True when an argument is "/" or "-" followed by name (any letter case),
// either with an appended value ("=value" or ":value") or followed by a
// further argument that carries the value.
bool HasSwitchWithValue(const std::vector<std::wstring>& args, const std::wstring& name);

// The file of a "/LOG=<file>" argument ("/" or "-", any letter case),
// surrounding quotes removed; empty when the argument is no such switch.
std::wstring LogSwitchFile(const std::wstring& argument);
// The file of the first "/LOG=<file>" among the arguments, empty when none.
std::wstring FindLogFile(const std::vector<std::wstring>& args);
// path as an absolute path: a relative one is taken against folder (a
// leading backslash against folder's drive, "X:name" against folder when
// folder lies on X:, else against the root of X:).
std::wstring AbsolutePathFrom(const std::wstring& path, const std::wstring& folder);

// The parameter text for the relaunched copy: "/STARTDIR="<sourceDir>"",
// then each argument rewritten: "/LOG=<file>" becomes /LOG="<file>", moved
// to the end (after the update file the copy looks for in second place),
// with the file made absolute against currentDir (the copy runs
// elsewhere), update files (extension ".pr…") become
// /RNW="<path>" (looked up as given, then by name in currentDir, dropped
// when found nowhere), AppImage paths become /APPIMAGE="<path>", arguments
// with blanks (or other characters up to a blank) are quoted, others pass
// bare.
std::wstring BuildRelaunchArguments(const std::wstring& sourceDir, const std::vector<std::wstring>& args,
                                    const std::wstring& currentDir, const TFileExists& fileExists);

// Start folder (with trailing backslash, empty when none) and update file
// named by the copy's arguments: "/WINE" first names exeDir, else the first
// argument must be "/STARTDIR=<folder>"; "/RNW=<file>" counts only as the
// second argument.
struct TStartArguments {
  std::wstring StartDir;
  std::wstring RenewFile;
};
TStartArguments ParseStartArguments(const std::vector<std::wstring>& args, const std::wstring& exeDir);

enum class TStartFailure { None, SetupIniNotFound, UnknownSetupIni };

// What the copy does: install from a kit, or maintain an installed copy
// (the start folder holds "instcfg.ini").
struct TStartDecision {
  TStartFailure Failure = TStartFailure::None;
  std::wstring StartDir;
  std::wstring RenewFile;
  std::wstring ProductSection;
  std::wstring ProductName;
  bool Maintenance = false;
};

// Reads the product of a setup.ini: [Products] "Product1" trimmed, and the
// product's "ProductName1" in the user's language.
struct TSetupIniProduct {
  std::wstring Section;
  std::wstring Name;
};
using TReadSetupIniProduct = std::function<TSetupIniProduct(const std::wstring& setupIniPath)>;

// The start folder and mode of the copy; Failure names the box to show
// when there is no usable "setup.ini" in the start folder.
TStartDecision DecideStartFolderAndMode(const std::vector<std::wstring>& args, const std::wstring& exeDir,
                                        const TFileExists& fileExists, const TReadSetupIniProduct& readProduct);
