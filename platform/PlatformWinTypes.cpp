#include "platform/PlatformWinTypes.h"

#include "platform/RuntimeDetection.h"
#include "platform/StrTool.h"
#include "platform/SystemText.h"
#include "platform/UniqueHandle.h"

namespace {
HKEY RootKey(RegistryRoot root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }

// Attributes of the trimmed path without a "insert a disk" dialog.
DWORD QuietAttributes(const std::wstring& path) {
  ScopedErrorMode quiet;
  return ::GetFileAttributesW(TrimText(path).c_str());
}

// Answers the detection's questions with the real system calls.
class TWindowsProbe : public IEnvironmentProbe {
public:
  explicit TWindowsProbe(IPlatformTools& tools) : Tools(tools) {}

  void WindowsVersion(std::uint32_t& platformId, std::uint32_t& major, std::uint32_t& minor) override {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!RealVersion(info) && !::GetVersionExW(&info)) return;
    platformId = info.dwPlatformId;
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
  }
  bool RegistryKeyExists(RegistryRoot root, const std::wstring& key) override {
    return Tools.RegistryKeyExists(root, key);
  }
  bool WineExportPresent() override {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }
  std::wstring EnvironmentVariable(const std::wstring& name) override {
    std::wstring value(256, L'\0');
    for (;;) {
      const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
      if (length < value.size()) return value.substr(0, length);
      value.resize(length);
    }
  }
  bool DirectoryExists(const std::wstring& path) override { return Tools.DirectoryExists(path); }
  bool ReadBalloonTips(std::uint32_t& value) override {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", 0,
                        KEY_READ, key.put()) != ERROR_SUCCESS)
      return false;
    DWORD type = 0, data = 0, size = sizeof(data);
    if (::RegQueryValueExW(key.get(), L"EnableBalloonTips", nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        size != sizeof(data))
      return false;
    value = data;
    return true;
  }
  bool QueryWow64(bool& isWow64) override {
    using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto fn = Kernel32<Fn>("IsWow64Process");
    BOOL answer = FALSE;
    if (!fn || !fn(::GetCurrentProcess(), &answer)) return false;
    isWow64 = answer != FALSE;
    return true;
  }
  bool QueryProductType(std::uint32_t& productType) override {
    using Fn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
    const auto fn = Kernel32<Fn>("GetProductInfo");
    if (!fn) return false;
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!RealVersion(reinterpret_cast<OSVERSIONINFOW&>(info)) &&
        !::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)))
      return false;
    DWORD type = 0;
    if (!fn(info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor, info.wServicePackMinor, &type))
      return false;
    productType = type;
    return true;
  }
  bool QueryPackageFamilyName(std::wstring& name) override {
    using Fn = LONG(WINAPI*)(UINT32*, PWSTR);
    const auto fn = Kernel32<Fn>("GetCurrentPackageFamilyName");
    if (!fn) return false;
    UINT32 length = 0;
    if (fn(&length, nullptr) != ERROR_INSUFFICIENT_BUFFER || length == 0) return false;
    std::wstring buffer(length, L'\0');
    if (fn(&length, buffer.data()) != ERROR_SUCCESS) return false;
    buffer.resize(length > 0 ? length - 1 : 0);
    name = buffer;
    return true;
  }

private:
  template <class Fn>
  static Fn Kernel32(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
  }
  // RtlGetVersion reports the real version; GetVersionExW reports 6.2 to a
  // program without a compatibility manifest, which would hide Windows 10.
  static bool RealVersion(OSVERSIONINFOW& info) {
    using Fn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    return fn && fn(&info) == 0;
  }

  IPlatformTools& Tools;
};
}  // namespace

std::wstring TPlatformTools::AnsiToUnicode(const std::string& text, std::uint32_t codePage) {
  return BytesToUnicode(text.data(), static_cast<int>(text.size()), codePage);
}

std::wstring TPlatformTools::BytesToUnicode(const void* bytes, int length, std::uint32_t codePage) {
  if (length <= 0) return {};
  const auto* input = static_cast<const char*>(bytes);
  const int size = ::MultiByteToWideChar(codePage, 0, input, length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring text(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(codePage, 0, input, length, text.data(), size);
  return text;
}

std::string TPlatformTools::UnicodeToAnsi(const std::wstring& text, std::uint32_t codePage) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(codePage, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::uint32_t TPlatformTools::GetAnsiCodePage() { return ::GetACP(); }
std::uint32_t TPlatformTools::GetLastError() { return ::GetLastError(); }
void TPlatformTools::SetLastError(std::uint32_t code) { ::SetLastError(code); }
bool TPlatformTools::IsCharAlpha(wchar_t c) { return ::IsCharAlphaW(c) != FALSE; }
bool TPlatformTools::IsCharAlphaAnsi(char c) { return ::IsCharAlphaA(c) != FALSE; }
bool TPlatformTools::IsCharAlphaNumeric(wchar_t c) { return ::IsCharAlphaNumericW(c) != FALSE; }
bool TPlatformTools::IsCharLower(wchar_t c) { return ::IsCharLowerW(c) != FALSE; }
bool TPlatformTools::IsCharUpper(wchar_t c) { return ::IsCharUpperW(c) != FALSE; }

bool TPlatformTools::RegistryKeyExists(RegistryRoot root, const std::wstring& key) {
  UniqueRegKey opened;
  const LONG result = ::RegOpenKeyExW(RootKey(root), key.c_str(), 0, KEY_READ, opened.put());
  if (result != ERROR_SUCCESS) ::SetLastError(static_cast<DWORD>(result));
  return result == ERROR_SUCCESS;
}

bool TPlatformTools::DirectoryExists(const std::wstring& path) {
  const DWORD attributes = QuietAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool TPlatformTools::FileExists(const std::wstring& path) {
  const DWORD attributes = QuietAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::uint32_t TPlatformTools::GetUserDefaultLcid() { return ::GetUserDefaultLCID(); }
std::uint32_t TPlatformTools::GetThreadLocale() { return ::GetThreadLocale(); }

RefPtr<IPlatformTools> CreateSystemPlatformTools(TRuntimeEnvironment& environment) {
  RefPtr<IPlatformTools> tools = MakeRef<TPlatformTools>();
  TWindowsProbe probe(*tools);
  environment = DetectRuntimeEnvironment(probe);
  return tools;
}

std::wstring SystemUpperCase(std::wstring text) {
  if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}
