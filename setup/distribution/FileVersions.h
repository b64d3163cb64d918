#pragma once
// Whether an installed file may be replaced by a new one: file version
// numbers, the newer-file test of the version-checked copy, and Windows File
// Protection.

#include <cstdint>
#include <string>

// The fixed version block of the file's version resource (dwFileVersionMS
// and dwFileVersionLS); false when the file has none.
bool GetFileVersionNumbers(const std::wstring& fileName, std::uint32_t& high, std::uint32_t& low);
// True when the existing file should give way to the new one: when both
// have versions, existing's is smaller; otherwise unless both files open and
// have the same bytes.
bool IsOlderFile(const std::wstring& existing, const std::wstring& newFile);
// True when the system protects the file (SfcIsFileProtected); false where
// the protection library is missing.
bool IsFileProtected(const std::wstring& fileName);
