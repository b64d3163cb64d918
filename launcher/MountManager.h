#pragma once
// Requests to Wine's mount manager device: map a drive letter to a Unix
// folder and ask where a drive letter points. Outside Wine the device is
// missing and both requests fail.

#include <optional>
#include <string>

// Maps drive Letter ('a'..'z') to the Unix folder MountPoint (UTF-8). False,
// with the last error set, when the device cannot be opened or the request
// fails.
bool DefineUnixDrive(char Letter, const std::string& MountPoint);

// The Unix folder drive Letter ('a'..'z') points to; nothing when the device
// cannot be opened, the request fails or the reply names no folder.
std::optional<std::string> QueryUnixDrive(char Letter);
