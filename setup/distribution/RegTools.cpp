#include "setup/distribution/RegTools.h"

#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"

namespace {

// Uninstall strings longer than this are not ours and are never touched.
constexpr std::size_t MaxUninstallString = 260;

// Publishers that mark an uninstall entry as written by this framework.
const wchar_t* const FrameworkPublishers[] = {L"ООО \"КВТ\"", L"KVTSETUP"};

HKEY RootKey(RegistryRoot root) { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(root)); }

// The registry call's status as a result, its code left as the last error.
bool Succeeded(LSTATUS status) {
  ::SetLastError(static_cast<DWORD>(status));
  return status == ERROR_SUCCESS;
}

UniqueRegKey OpenKey(HKEY parent, const std::wstring& key, REGSAM access) {
  UniqueRegKey opened;
  Succeeded(::RegOpenKeyExW(parent, key.c_str(), 0, access, opened.put()));
  return opened;
}

UniqueRegKey CreateKey(RegistryRoot root, const std::wstring& key) {
  UniqueRegKey created;
  Succeeded(::RegCreateKeyExW(RootKey(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                              created.put(), nullptr));
  return created;
}

bool SetString(HKEY key, const std::wstring& name, const std::wstring& value) {
  return Succeeded(::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

bool ReadString(HKEY key, const std::wstring& name, std::wstring& value) {
  DWORD type = 0, size = 0;
  if (!Succeeded(::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size))) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return Succeeded(ERROR_INVALID_DATA);
  // Room for a terminating zero that the stored value may lack.
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  DWORD read = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (!Succeeded(::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &read)))
    return false;
  data.resize(read / sizeof(wchar_t));
  while (!data.empty() && data.back() == L'\0') data.pop_back();
  value = std::move(data);
  return true;
}

// A symbolic link key: its tree is that of another key, which is not ours
// to delete.
bool IsLinkKey(HKEY parent, const std::wstring& key, UniqueRegKey& link) {
  if (::RegOpenKeyExW(parent, key.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | DELETE, link.put()) !=
      ERROR_SUCCESS)
    return false;
  DWORD type = 0;
  return ::RegQueryValueExW(link.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
         type == REG_LINK;
}

// Deletes the link itself, not the key it leads to.
bool DeleteLink(HKEY link) {
  using DeleteKeyFunction = LONG(WINAPI*)(HANDLE);
  using StatusToErrorFunction = ULONG(WINAPI*)(LONG);
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return Succeeded(ERROR_CALL_NOT_IMPLEMENTED);
  const auto deleteKey =
      reinterpret_cast<DeleteKeyFunction>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDeleteKey")));
  const auto toError = reinterpret_cast<StatusToErrorFunction>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (!deleteKey || !toError) return Succeeded(ERROR_CALL_NOT_IMPLEMENTED);
  return Succeeded(static_cast<LSTATUS>(toError(deleteKey(link))));
}

bool DeleteTree(HKEY parent, const std::wstring& key) {
  {
    UniqueRegKey link;
    if (IsLinkKey(parent, key, link)) return DeleteLink(link.get());
  }
  {
    UniqueRegKey opened = OpenKey(parent, key, KEY_READ | DELETE);
    if (!opened) return false;
    DWORD subkeys = 0, longest = 0;
    if (Succeeded(::RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr))) {
      // From the last index down, so that deleting does not shift the ones still to visit.
      for (DWORD index = subkeys; index-- > 0;) {
        std::wstring name(longest + 1, L'\0');
        DWORD length = static_cast<DWORD>(name.size());
        if (::RegEnumKeyExW(opened.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
          continue;
        name.resize(length);
        DeleteTree(opened.get(), name);
      }
    }
  }
  return Succeeded(::RegDeleteKeyW(parent, key.c_str()));
}

bool IsFrameworkPublisher(const std::wstring& publisher) {
  for (const wchar_t* known : FrameworkPublishers) {
    if (publisher == known) return true;
  }
  return false;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The programs an uninstall command may run, the likeliest first: the
// quoted part of a command that starts with a quote; else the text up to
// each blank that follows ".exe" (a folder name may hold ".exe " too), then
// the whole text. Leading blanks are no part of the command.
std::vector<std::wstring> UninstallProgramPaths(const std::wstring& text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  const std::wstring command = text.substr(start);
  if (!command.empty() && command.front() == L'"') {
    const std::size_t close = command.find(L'"', 1);
    return {command.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1)};
  }
  std::vector<std::wstring> paths;
  const std::wstring upper = UpperCaseText(command);
  for (std::size_t at = upper.find(L".EXE"); at != std::wstring::npos; at = upper.find(L".EXE", at + 1)) {
    const std::size_t end = at + 4;
    if (end < command.size() && IsBlank(command[end])) paths.push_back(command.substr(0, end));
  }
  paths.push_back(command);
  return paths;
}


// Whether any program the command may run exists, with its environment
// variables as written and expanded: an entry is only ever stale when
// none does.
bool UninstallProgramExists(const std::wstring& command) {
  IPlatformTools& tools = PlatformTools();
  for (const std::wstring& text : {command, ExpandedText(command)}) {
    for (const std::wstring& path : UninstallProgramPaths(text)) {
      if (tools.FileExists(path)) return true;
    }
  }
  return false;
}

}  // namespace

std::wstring ExpandedText(const std::wstring& text) {
  if (text.find(L'%') == std::wstring::npos) return text;
  const DWORD size = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (size == 0) return text;
  std::wstring expanded(size, L'\0');
  const DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size);
  if (length == 0 || length > size) return text;
  expanded.resize(length - 1);
  return expanded;
}

bool RegReadString(RegistryRoot root, const std::wstring& key, const std::wstring& name, const std::wstring& def,
                   std::wstring& value) {
  UniqueRegKey opened = OpenKey(RootKey(root), key, KEY_QUERY_VALUE);
  if (opened && ReadString(opened.get(), name, value)) return true;
  const DWORD error = ::GetLastError();
  value = def;
  ::SetLastError(error);
  return false;
}

bool RegWriteString(RegistryRoot root, const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  UniqueRegKey created = CreateKey(root, key);
  return created && SetString(created.get(), name, value);
}

bool RegWriteDword(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::uint32_t value) {
  UniqueRegKey created = CreateKey(root, key);
  const DWORD data = value;
  return created && Succeeded(::RegSetValueExW(created.get(), name.c_str(), 0, REG_DWORD,
                                               reinterpret_cast<const BYTE*>(&data), sizeof(data)));
}

bool RegWriteStrings(RegistryRoot root, const std::wstring& key,
                     const std::vector<std::pair<std::wstring, std::wstring>>& pairs) {
  UniqueRegKey created = CreateKey(root, key);
  if (!created) return false;
  for (const auto& [name, value] : pairs) {
    if (value.empty()) continue;
    if (!SetString(created.get(), name, value)) return false;
  }
  return true;
}

bool RegSubkeyCount(RegistryRoot root, const std::wstring& key, std::uint32_t& count) {
  UniqueRegKey opened = OpenKey(RootKey(root), key, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
  DWORD subkeys = 0;
  if (!opened || !Succeeded(::RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                               nullptr, nullptr, nullptr, nullptr, nullptr)))
    return false;
  count = subkeys;
  return true;
}

bool RegDeleteKeyTree(RegistryRoot root, const std::wstring& key) {
  // An empty name would mean the root itself.
  if (key.empty()) return Succeeded(ERROR_INVALID_PARAMETER);
  return DeleteTree(RootKey(root), key);
}

std::wstring UninstallProgramPath(const std::wstring& command) {
  return UninstallProgramPaths(command).front();
}

void RemoveStaleUninstallEntries(const std::wstring& ownKeyName, const std::wstring& ownUninstallString) {
  UniqueRegKey list = OpenKey(HKEY_LOCAL_MACHINE, UninstallListKey, KEY_READ | KEY_WRITE);
  if (!list) return;
  DWORD subkeys = 0, longest = 0;
  if (!Succeeded(::RegQueryInfoKeyW(list.get(), nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr)))
    return;
  for (DWORD index = subkeys; index-- > 0;) {
    std::wstring name(longest + 1, L'\0');
    DWORD length = static_cast<DWORD>(name.size());
    if (::RegEnumKeyExW(list.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      continue;
    name.resize(length);
    if (SameTextAscii(name, ownKeyName)) continue;
    UniqueRegKey entry = OpenKey(list.get(), name, KEY_QUERY_VALUE);
    std::wstring command;
    if (!entry || !ReadString(entry.get(), L"UninstallString", command) || command.size() > MaxUninstallString)
      continue;
    bool stale = SameTextAscii(command, ownUninstallString);
    if (!stale) {
      std::wstring publisher;
      // The command may be quoted or carry arguments: only a missing
      // program makes the entry stale.
      stale = ReadString(entry.get(), L"Publisher", publisher) && IsFrameworkPublisher(publisher) &&
              !UninstallProgramExists(command);
    }
    entry.reset();
    if (stale) ::RegDeleteKeyW(list.get(), name.c_str());
  }
}
