#pragma once
// Conversions between std::wstring and the byte encodings of the formats:
// UTF-16LE and UTF-8. On Windows wchar_t is one UTF-16 code unit; on other
// platforms it is a code point, and surrogate pairs are joined and split
// here so that the bytes on disk are the same everywhere.

#include <cstddef>
#include <filesystem>
#include <string>

// The text as UTF-16LE bytes (two per code unit, no terminator).
std::string WideToUtf16Le(const std::wstring& text);

// Decodes count UTF-16LE code units from bytes (2 * count bytes are read).
// Unpaired surrogates are kept as they are.
std::wstring Utf16LeToWide(const void* bytes, std::size_t count);

// Decodes UTF-8; a byte that does not start a valid sequence becomes U+FFFD.
std::wstring Utf8ToWide(const std::string& bytes);

// Encodes as UTF-8 (lone surrogates as U+FFFD).
std::string WideToUtf8(const std::wstring& text);

// A file name as the file system takes it: the UTF-16 name itself on
// Windows, its UTF-8 bytes elsewhere (std::filesystem would convert through
// the "C" locale there, which refuses every character beyond ASCII).
std::filesystem::path FileSystemPath(const std::wstring& fileName);
