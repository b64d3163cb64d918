#pragma once
// The Windows profile (INI) files of the engine: instcfg.ini, the programs
// registration file and desktop.ini, read and written through the system's
// profile functions so that other programs read them the same way.

#include <string>

// A value; def when the key is missing.
std::wstring ReadProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                               const std::wstring& def);
// A number as a boolean (nonzero is true); def when the key is missing.
bool ReadProfileBool(const std::wstring& file, const std::wstring& section, const std::wstring& key, bool def);
// A section counts as present when it holds at least one key.
bool ProfileSectionExists(const std::wstring& file, const std::wstring& section);
// Writes one value; raises EOSError naming the file when it cannot. A text
// that the ANSI code page cannot hold first turns an ANSI file (or a new
// one) into UTF-16, which the profile functions then keep: a folder or
// group name is never stored as question marks.
void WriteProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                        const std::wstring& value);
// The same, always in the file's present form: for desktop.ini, which
// carries its Unicode text in UTF-7.
void WriteAnsiProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                            const std::wstring& value);
// Removes the section with its keys; raises EOSError naming the file.
void EraseProfileSection(const std::wstring& file, const std::wstring& section);
// The profile functions look for a bare name in the Windows folder; the
// engine's files are meant relative to the current folder.
std::wstring ProfileFullPath(const std::wstring& path);
