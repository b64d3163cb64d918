#pragma once
// Small system helpers of the launcher: environment texts, UTF-8 for the
// Unix side of Wine, and folder tests that never raise drive dialogs.

#include <string>

// The value of an environment variable; empty when it is not set.
std::wstring EnvironmentText(const wchar_t* Name);

// Text as UTF-8 (the encoding of Unix paths handed to Wine); empty on failure.
std::string Utf8FromWide(const std::wstring& Text);

// Text read as the system ANSI code page (exception messages).
std::wstring WideFromAnsi(const char* Text);

// True when Path names an existing folder; a symbolic link is followed.
// Runs with critical-error boxes suppressed; any failure counts as false.
bool DirectoryExists(const std::wstring& Path);

// Path with a trailing backslash added when missing (empty stays empty).
std::wstring WithTrailingBackslash(std::wstring Path);
