#pragma once
// The decisions of the home-drive step that need no system: which Unix
// folder is the user's home, whether H: already points there, and which
// drive letter is free to keep H:'s previous folder.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The home folder (UTF-8): HomeDirectory when set; otherwise "/home/" or, when
// OnMac answers true, "/Users/" followed by User or, when that is empty,
// UserName; empty when all three are empty. OnMac is asked only when needed.
std::string ChooseHomePath(std::string_view HomeDirectory, std::string_view User, std::string_view UserName,
                           const std::function<bool()>& OnMac);

// True when two mount points are the same byte by byte, ASCII letters
// compared without regard to case.
bool SameMountPoint(std::string_view A, std::string_view B);

// The first letter of d..z whose bit is clear in a GetLogicalDrives mask.
std::optional<char> FirstFreeDriveLetter(std::uint32_t LogicalDrives);
