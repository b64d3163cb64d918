#include "platform/ShellWinTypes.h"

#include "platform/Win.h"  // before the other system headers, which need its types

#include <objbase.h>
#include <propsys.h>
#include <propvarutil.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <mutex>

#include "platform/FileTool.h"
#include "platform/ShTools.h"
#include "platform/StrTool.h"

namespace {
// The registry names of the shared-files root are kept scrambled in the
// program (key "Tavrel").
constexpr unsigned char ScrambledKey[] = {0x07, 0x0E, 0x10, 0x06, 0x12, 0x0D, 0x26, 0x04, 0x2A, 0x3F, 0x0C,
                                          0x0F, 0x26, 0x0E, 0x05, 0x1D, 0x03, 0x18, 0x08, 0x36, 0x1F, 0x1C,
                                          0x01, 0x03, 0x23, 0x12, 0x2A, 0x31, 0x10, 0x1E, 0x26, 0x04, 0x18,
                                          0x06, 0x33, 0x09, 0x26, 0x12, 0x1F, 0x1D, 0x0B};
constexpr unsigned char ScrambledValue[] = {0x17, 0x0E, 0x1B, 0x1F, 0x0A, 0x02, 0x12, 0x08,
                                            0x1A, 0x17, 0x16, 0x28, 0x3D, 0x13};

std::wstring Unscramble(const unsigned char* bytes, std::size_t count) {
  const std::string plain = XorScramble("Tavrel", std::string(reinterpret_cast<const char*>(bytes), count));
  return std::wstring(plain.begin(), plain.end());
}

std::wstring StartupLink(const std::wstring& name) {
  const std::wstring startup = GetSpecialFolderPath(CSIDL_STARTUP);
  return startup.empty() ? std::wstring() : IncludeTrailingBackslash(startup) + name + L".lnk";
}

struct TShellInstance {
  std::mutex Guard;
  RefPtr<IShellTools> Tools;
};

TShellInstance& Instance() {
  static TShellInstance* instance = new TShellInstance;  // never destroyed
  return *instance;
}
}  // namespace

std::wstring TShellTools::GetCommonAppDataFolder() { return ::GetCommonAppDataFolder(); }
std::wstring TShellTools::GetLocalAppDataFolder() { return ::GetLocalAppDataFolder(); }

bool TShellTools::CopyFolderContents(const std::wstring& from, const std::wstring& to) {
  if (ShellCopy(IncludeTrailingBackslash(from) + L"*.*", ExcludeTrailingBackslash(to), true) == 0) return true;
  return SUCCEEDED(FileOperationCopyFolder(from, to, true));
}

bool TShellTools::CopyFiles(const std::wstring& from, const std::wstring& to) { return ShellCopy(from, to, true) == 0; }

bool TShellTools::CopyFileLists(const std::vector<std::wstring>& sources,
                                const std::vector<std::wstring>& destinations) {
  return sources.size() == destinations.size() && ShellCopyLists(sources, destinations) == 0;
}

bool TShellTools::CreateDirectoryChain(const std::wstring& path) { return ShellForceDirectories(path); }

bool TShellTools::SetStartupShortcut(const std::wstring& name, const std::wstring& target,
                                     const std::wstring& arguments, bool create) {
  const std::wstring link = StartupLink(name);
  if (link.empty()) return false;
  if (create) return CreateShortcut(target, arguments, name, link, {});
  return ShellDelete(link, false) == 0;
}

bool TShellTools::DeleteDirectory(const std::wstring& path) {
  if (ShellDelete(ExcludeTrailingBackslash(path), true) == 0) return true;
  return SUCCEEDED(FileOperationDelete(path, true));
}

bool TShellTools::DeleteFile(const std::wstring& path) {
  if (ShellDelete(path, false) == 0) return true;
  return SUCCEEDED(FileOperationDelete(path, true));
}

bool TShellTools::ExecuteFile(const std::wstring& file, const std::wstring& parameters, bool wait,
                              std::uint32_t& exitCode) {
  return ShellExecuteAndWait(file, parameters, {}, SW_SHOWNORMAL, wait, 100, exitCode, {});
}

bool TShellTools::GetFileProperties(const std::wstring& file, TShellFilePropertyList& properties) {
  TComScope com;
  IPropertyStore* store = nullptr;
  if (FAILED(::SHGetPropertyStoreFromParsingName(file.c_str(), nullptr, GPS_DEFAULT, IID_IPropertyStore,
                                                 reinterpret_cast<void**>(&store))))
    return false;
  DWORD count = 0;
  store->GetCount(&count);
  for (DWORD i = 0; i < count; ++i) {
    PROPERTYKEY key{};
    if (FAILED(store->GetAt(i, &key))) continue;
    PROPVARIANT value;
    ::PropVariantInit(&value);
    PWSTR name = nullptr;
    PWSTR text = nullptr;
    if (SUCCEEDED(store->GetValue(key, &value)) && SUCCEEDED(::PSGetNameFromPropertyKey(key, &name)) &&
        SUCCEEDED(::PropVariantToStringAlloc(value, &text))) {
      properties.AddObject(name, new TShellFileProperty(text));
    }
    ::CoTaskMemFree(text);
    ::CoTaskMemFree(name);
    ::PropVariantClear(&value);
  }
  store->Release();
  return true;
}

std::wstring TShellTools::GetSharedFilesRoot() {
  std::wstring value;
  PlatformTools().ReadRegistryString(RegistryRoot::LocalMachine, Unscramble(ScrambledKey, sizeof(ScrambledKey)),
                                     Unscramble(ScrambledValue, sizeof(ScrambledValue)), value, 0);
  return value;
}

std::wstring TShellTools::GetSharedFilesFolder() {
  const std::wstring root = GetSharedFilesRoot();
  return root.empty() ? std::wstring() : MakeAbsolutePath(root, PlatformTools().GetWindowsDirectory());
}

bool TShellTools::OpenDocument(const std::wstring& file, WindowHandle owner) { return ::OpenDocument(file, true, owner); }

bool TShellTools::ShowFileProperties(const std::wstring& file, WindowHandle owner) {
  TComScope com;
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  execute.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
  execute.hwnd = static_cast<HWND>(owner);
  execute.lpVerb = L"properties";
  execute.lpFile = file.c_str();
  execute.nShow = SW_SHOWNORMAL;
  return ::ShellExecuteExW(&execute) != FALSE;
}

bool TShellTools::StartupShortcutExists(const std::wstring& name) {
  const std::wstring link = StartupLink(name);
  return !link.empty() && PlatformTools().FileExists(link);
}

IShellTools& ShellTools() {
  TShellInstance& instance = Instance();
  std::lock_guard<std::mutex> lock(instance.Guard);
  if (!instance.Tools) instance.Tools = RefPtr<IShellTools>(new TShellTools);
  return *instance.Tools;
}

RefPtr<IShellTools> SetShellTools(RefPtr<IShellTools> tools) {
  TShellInstance& instance = Instance();
  std::lock_guard<std::mutex> lock(instance.Guard);
  RefPtr<IShellTools> previous = instance.Tools;
  instance.Tools = std::move(tools);
  return previous;
}
