#pragma once
// Registry access of the engine and the file services: reading and writing
// values, counting subkeys, deleting whole key trees, and tidying the
// Windows list of installed programs. Failures are reported through the
// boolean results, with the reason in the thread's last error.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/PlatformIntfTypes.h"

// The Windows list of installed programs (below HKEY_LOCAL_MACHINE).
inline constexpr const wchar_t* UninstallListKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Reads a string value whole (an empty name reads the default value). On
// any failure value = def and the result is false.
bool RegReadString(RegistryRoot root, const std::wstring& key, const std::wstring& name, const std::wstring& def,
                   std::wstring& value);
// Create or open the key and set a REG_SZ / REG_DWORD value. When the key
// cannot be created its error becomes the thread's last error.
bool RegWriteString(RegistryRoot root, const std::wstring& key, const std::wstring& name, const std::wstring& value);
bool RegWriteDword(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::uint32_t value);
// Writes each (name, value) pair with a non-empty value as REG_SZ, in
// order, stopping at the first failure (false then).
bool RegWriteStrings(RegistryRoot root, const std::wstring& key,
                     const std::vector<std::pair<std::wstring, std::wstring>>& pairs);
// The number of the key's direct subkeys.
bool RegSubkeyCount(RegistryRoot root, const std::wstring& key, std::uint32_t& count);
// Deletes the key with everything below it, depth-first; false when the key
// cannot be opened (it is then left alone) or the final delete fails.
bool RegDeleteKeyTree(RegistryRoot root, const std::wstring& key);

// The text with its %NAME% variables replaced by their values; unchanged
// when it has none or the expansion fails.
std::wstring ExpandedText(const std::wstring& text);
// The program an uninstall command runs (leading blanks skipped): the quoted
// part of a command that starts with a quote, else the text up to the first
// blank that follows ".exe", else the whole command.
std::wstring UninstallProgramPath(const std::wstring& command);
// Deletes the entries of the uninstall list, other than ownKeyName, whose
// command equals ownUninstallString (ASCII case ignored), and the entries of
// this installer framework whose uninstall program no longer exists (no
// cut of the command at a blank after ".exe", with its environment
// variables as written or expanded, names an existing file).
void RemoveStaleUninstallEntries(const std::wstring& ownKeyName, const std::wstring& ownUninstallString);
