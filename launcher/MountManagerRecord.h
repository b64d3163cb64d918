#pragma once
// Byte layout of the records exchanged with Wine's mount manager device
// ("\\.\MountPointManager") to define a drive letter as a Unix folder and to
// ask where a drive letter points. All integers are little-endian; the
// 32-byte header is followed by NUL-terminated 8-bit strings.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Device control codes of the two requests.
inline constexpr std::uint32_t kDefineUnixDriveCode = 0x006DC080;
inline constexpr std::uint32_t kQueryUnixDriveCode = 0x006D4084;
inline constexpr std::size_t kMountRecordHeaderSize = 32;
// Size of the reply buffer handed to the query request.
inline constexpr std::size_t kQueryReplySize = 1024;

// The request that maps drive Letter ('a'..'z') to the Unix folder MountPoint
// (UTF-8), with an empty device string. Empty when the letter is not a..z,
// the mount point is empty or holds a NUL, or the record would exceed the
// 16-bit offsets of the layout.
std::vector<std::uint8_t> BuildDefineRecord(char Letter, std::string_view MountPoint);

// The request that asks where drive Letter ('a'..'z') points; empty for any
// other letter.
std::vector<std::uint8_t> BuildQueryRecord(char Letter);

// The mount point named by a query reply; nothing when the reply names none
// (offset 0) or its offset or string lies outside the reply.
std::optional<std::string> ReadQueryReply(std::span<const std::uint8_t> Reply);
