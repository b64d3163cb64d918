#include "platform/PlatformWinTypes.h"

#include "platform/Win.h"  // before the other system headers, which need its types

#include <mmsystem.h>
#include <objbase.h>
#include <rpc.h>
#include <softpub.h>
#include <wintrust.h>

#include <atomic>
#include <cmath>
#include <cstdio>

#include "platform/AclApi.h"
#include "platform/RuntimeDetection.h"
#include "platform/StrTool.h"
#include "platform/SystemText.h"
#include "platform/UniqueHandle.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {
// The thread that ran the program's static initialisation: the main thread
// of an executable.
const DWORD MainThreadId = ::GetCurrentThreadId();

// Whether start-up initialised COM on the main thread, so that the program's
// end undoes it.
std::atomic<bool> ComInitialized{false};
struct TComShutdown {
  ~TComShutdown() {
    if (ComInitialized.exchange(false)) ::CoUninitialize();
  }
} ComShutdown;

constexpr DWORD ShutdownReasonApplication = 0x00040000;  // SHTDN_REASON_MAJOR_APPLICATION
constexpr wchar_t RunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

HKEY RootKey(RegistryRoot root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }
HANDLE AsHandle(Handle handle) { return static_cast<HANDLE>(handle); }

template <class Fn>
Fn EntryPoint(const wchar_t* module, const char* name) {
  HMODULE loaded = ::GetModuleHandleW(module);
  return loaded ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(loaded, name))) : nullptr;
}

// Attributes of the trimmed path without a "insert a disk" dialog.
DWORD QuietAttributes(const std::wstring& path) {
  ScopedErrorMode quiet;
  return ::GetFileAttributesW(TrimText(path).c_str());
}

// Calls a Windows function that fills a buffer of the given size and returns
// the length written, or the size needed when the buffer was too small;
// grows the buffer until the text fits. Empty on failure.
template <class Fill>
std::wstring GrowingBuffer(DWORD initial, Fill fill) {
  std::wstring buffer(initial, L'\0');
  for (int attempt = 0; attempt < 16; ++attempt) {
    const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return buffer.substr(0, length);
    buffer.assign(std::max<std::size_t>(length + 1, buffer.size() * 2), L'\0');
  }
  return {};
}

// The drive part ("C:") of a path, empty when it has none.
std::wstring DrivePart(const std::wstring& path) {
  const std::wstring trimmed = TrimText(path);
  return trimmed.size() >= 2 && trimmed[1] == L':' ? trimmed.substr(0, 2) : std::wstring();
}

std::wstring QuietDosDeviceTarget(const std::wstring& path) {
  const std::wstring drive = DrivePart(path);
  if (drive.empty()) return {};
  ScopedErrorMode quiet;
  wchar_t target[1024] = {};
  if (!::QueryDosDeviceW(drive.c_str(), target, 1024)) return {};
  return target;
}

// Enables one privilege of the process token; failure is not reported (the
// call that needs the privilege fails on its own).
void EnablePrivilege(const wchar_t* name) {
  UniqueKernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return;
  ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

std::uint64_t ToUint64(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(std::uint64_t value) {
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

bool RegistryResult(LONG result) {
  if (result != ERROR_SUCCESS) ::SetLastError(static_cast<DWORD>(result));
  return result == ERROR_SUCCESS;
}

bool RegistryValueExists(HKEY root, const wchar_t* key, const std::wstring& name) {
  UniqueRegKey opened;
  if (::RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE, opened.put()) != ERROR_SUCCESS) return false;
  return ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

LONG WriteAutorun(HKEY root, const std::wstring& name, const std::wstring& command, bool enable) {
  UniqueRegKey key;
  LONG result = ::RegCreateKeyExW(root, RunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                  key.put(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  if (!enable) return ::RegDeleteValueW(key.get(), name.c_str());
  return ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                          static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

// Disabled windows collected by DisableTaskWindows' enumeration.
struct TDisableContext {
  HWND Keep;
  TTaskWindowList List;
  bool Failed;
};

BOOL CALLBACK DisableOneWindow(HWND window, LPARAM parameter) {
  auto& context = *reinterpret_cast<TDisableContext*>(parameter);
  if (window == context.Keep || !::IsWindowVisible(window) || !::IsWindowEnabled(window)) return TRUE;
  wchar_t className[256] = {};
  ::GetClassNameW(window, className, 255);
  if (std::wstring(className) == L"TApplication") return TRUE;
  try {
    context.List = new TTaskWindowNode{window, context.List};
  } catch (...) {
    context.Failed = true;
    return FALSE;
  }
  ::EnableWindow(window, FALSE);
  return TRUE;
}

// Answers the detection's questions with the real system calls.
class TWindowsProbe : public IEnvironmentProbe {
public:
  explicit TWindowsProbe(IPlatformTools& tools) : Tools(tools) {}

  void WindowsVersion(std::uint32_t& platformId, std::uint32_t& major, std::uint32_t& minor) override {
    OSVERSIONINFOEXW info{};
    if (!ReadVersion(info)) return;
    platformId = info.dwPlatformId;
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
  }
  bool RegistryKeyExists(RegistryRoot root, const std::wstring& key) override {
    return Tools.RegistryKeyExists(root, key);
  }
  bool WineExportPresent() override {
    return EntryPoint<FARPROC>(L"ntdll.dll", "wine_get_version") != nullptr;
  }
  std::wstring EnvironmentVariable(const std::wstring& name) override {
    return GrowingBuffer(256, [&](wchar_t* buffer, DWORD size) {
      return ::GetEnvironmentVariableW(name.c_str(), buffer, size);
    });
  }
  bool DirectoryExists(const std::wstring& path) override { return Tools.DirectoryExists(path); }
  bool ReadBalloonTips(std::uint32_t& value) override {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", 0,
                        KEY_READ, key.put()) != ERROR_SUCCESS)
      return false;
    DWORD data = 0, size = sizeof(data);
    if (::RegQueryValueExW(key.get(), L"EnableBalloonTips", nullptr, nullptr, reinterpret_cast<BYTE*>(&data),
                           &size) != ERROR_SUCCESS ||
        size != sizeof(data))
      return false;
    value = data;
    return true;
  }
  bool QueryWow64(bool& isWow64) override {
    const auto fn = EntryPoint<BOOL(WINAPI*)(HANDLE, PBOOL)>(L"kernel32.dll", "IsWow64Process");
    BOOL answer = FALSE;
    if (!fn || !fn(::GetCurrentProcess(), &answer)) return false;
    isWow64 = answer != FALSE;
    return true;
  }
  bool QueryProductType(std::uint32_t& productType) override {
    const auto fn = EntryPoint<BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD)>(L"kernel32.dll", "GetProductInfo");
    OSVERSIONINFOEXW info{};
    DWORD type = 0;
    if (!fn || !ReadVersion(info)) return false;
    if (!fn(info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor, info.wServicePackMinor, &type))
      return false;
    productType = type;
    return true;
  }
  bool QueryPackageFamilyName(std::wstring& name) override {
    const auto fn = EntryPoint<LONG(WINAPI*)(UINT32*, PWSTR)>(L"kernel32.dll", "GetCurrentPackageFamilyName");
    UINT32 length = 0;
    if (!fn || fn(&length, nullptr) != ERROR_INSUFFICIENT_BUFFER || length == 0) return false;
    std::wstring buffer(length, L'\0');
    if (fn(&length, buffer.data()) != ERROR_SUCCESS) return false;
    buffer.resize(length > 0 ? length - 1 : 0);
    name = buffer;
    return true;
  }

private:
  // RtlGetVersion reports the real version; GetVersionExW reports 6.2 to a
  // program without a compatibility manifest, which would hide Windows 10.
  static bool ReadVersion(OSVERSIONINFOEXW& info) {
    info.dwOSVersionInfoSize = sizeof(info);
    const auto real = EntryPoint<LONG(WINAPI*)(OSVERSIONINFOEXW*)>(L"ntdll.dll", "RtlGetVersion");
    if (real && real(&info) == 0) return true;
    return ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
  }

  IPlatformTools& Tools;
};
}  // namespace

bool DecodeOpenMode(std::uint8_t openMode, std::uint32_t& access, std::uint32_t& share) {
  static constexpr DWORD accessFlags[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static constexpr DWORD shareFlags[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  const unsigned accessIndex = openMode & 0x03u, shareIndex = openMode >> 4;
  if (accessIndex > 2 || shareIndex > 4) return false;
  access = accessFlags[accessIndex];
  share = shareFlags[shareIndex];
  return true;
}

std::wstring ComposeTempPath(const std::wstring& systemTemp, const std::wstring& tmp, const std::wstring& temp,
                             const std::wstring& windowsDirectory) {
  std::wstring path = systemTemp;
  if (path.empty()) path = tmp;
  if (path.empty()) path = temp;
  if (path.empty()) path = windowsDirectory.substr(0, 2) + L"\\TEMP\\";
  return IncludeTrailingBackslash(path);
}

int ScaleForDpiAt(int value, int dotsPerInch) {
  return static_cast<int>(std::lround(static_cast<double>(value) / 96.0 * dotsPerInch));
}

std::wstring ReplacedFileName(const std::wstring& existingFile) { return ChangeFileExt(existingFile, L".old"); }

bool TPlatformTools::ProcessMessage() {
  // The runtime here has no queue of cross-thread calls to serve besides
  // the window messages themselves.
  return ProcessOneMessage();
}

bool TPlatformTools::ProcessMessages() { return ProcessPendingMessages(); }

void TPlatformTools::PostQuit() {
  if (IsMainThread()) {
    ::PostQuitMessage(0);
  } else {
    ::PostThreadMessageW(MainThreadId, WM_QUIT, 0, 0);
  }
}

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

bool TPlatformTools::TryCharsetToCodePage(std::uint32_t charset, std::uint32_t& codePage) {
  CHARSETINFO info{};
  if (!::TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<ULONG_PTR>(charset)), &info, TCI_SRCCHARSET))
    return false;
  codePage = info.ciACP;
  return true;
}

std::uint32_t TPlatformTools::CharsetToCodePage(std::uint32_t charset) {
  std::uint32_t codePage = 0;
  return TryCharsetToCodePage(charset, codePage) ? codePage : ::GetACP();
}

std::uint32_t TPlatformTools::CodePageToCharset(std::uint32_t codePage) {
  CHARSETINFO info{};
  if (!::TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<ULONG_PTR>(codePage)), &info, TCI_SRCCODEPAGE))
    return DEFAULT_CHARSET;
  return info.ciCharset;
}

bool TPlatformTools::InitializeCom() { return SUCCEEDED(::CoInitialize(nullptr)); }
void TPlatformTools::UninitializeCom() { ::CoUninitialize(); }

bool TPlatformTools::GrantUsersModifyAccess(const std::wstring& path) {
  if (!IsUserAdmin()) return false;
  const std::wstring target = ExcludeTrailingBackslash(path);
  if (!VolumeSupportsAcls(target)) return false;
  DWORD rights = 0;
  const std::wstring users = GetUsersGroupName();
  if (GetEffectiveRights(target, users, rights) && (rights & UsersModifyAccessMask) == UsersModifyAccessMask)
    return true;
  return GrantAccess(target, users, UsersModifyAccessMask);
}

Handle TPlatformTools::OpenFileHandle(const std::wstring& path, std::uint8_t openMode, bool openExisting) {
  std::uint32_t access = 0, share = 0;
  if (!DecodeOpenMode(openMode, access, share)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return InvalidHandle;
  }
  DWORD disposition = OPEN_EXISTING;
  if (!openExisting) {
    access = GENERIC_READ | GENERIC_WRITE;
    disposition = (openMode & OpenModeCreateNew) ? CREATE_NEW : CREATE_ALWAYS;
  }
  return ::CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

Handle TPlatformTools::CreateNamedPipe(const std::wstring& name, std::uint32_t outputSize, std::uint32_t inputSize) {
  return ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE | PIPE_WAIT,
                            255, outputSize, inputSize, static_cast<DWORD>(-1), EveryoneSecurityAttributes());
}

bool TPlatformTools::PeekPipe(Handle pipe, std::uint32_t& bytesAvailable) {
  DWORD available = 0;
  if (!::PeekNamedPipe(AsHandle(pipe), nullptr, 0, nullptr, &available, nullptr)) return false;
  bytesAvailable = available;
  return true;
}

bool TPlatformTools::CreateHardLink(const std::wstring& existingFile, const std::wstring& newLink) {
  using Fn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES);
  static const auto fn = EntryPoint<Fn>(L"KERNEL32.DLL", "CreateHardLinkW");
  if (!fn) return false;
  return fn(newLink.c_str(), existingFile.c_str(), nullptr) != FALSE;
}

bool TPlatformTools::CreateSymbolicLink(const std::wstring& target, const std::wstring& newLink) {
  using Fn = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
  static const auto fn = [] {
    const auto found = EntryPoint<Fn>(L"KERNEL32.DLL", "CreateSymbolicLinkW");
    if (found) EnablePrivilege(L"SeCreateSymbolicLinkPrivilege");
    return found;
  }();
  if (!fn) return false;
  return fn(newLink.c_str(), target.c_str(), 0) != FALSE;
}

bool TPlatformTools::DefineDosDevice(const std::wstring& device, const std::wstring& target) {
  return ::DefineDosDeviceW(DDD_RAW_TARGET_PATH, device.c_str(), target.c_str()) != FALSE;
}

bool TPlatformTools::RemoveDosDevice(const std::wstring& device) {
  return ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, device.c_str(), nullptr) != FALSE;
}

void TPlatformTools::CloseHandleAndReset(Handle& handle) {
  if (handle != InvalidHandle) ::CloseHandle(AsHandle(handle));
  handle = InvalidHandle;
}

bool TPlatformTools::CopyFile(const std::wstring& source, const std::wstring& destination, bool failIfExists) {
  return ::CopyFileW(source.c_str(), destination.c_str(), failIfExists) != FALSE;
}

void TPlatformTools::WaitProcessingMessages(std::uint32_t milliseconds) {
  const std::uint64_t end = GetTickCount() + milliseconds;
  const bool mainThread = IsMainThread();
  for (;;) {
    if (mainThread) {
      while (ProcessMessage() && GetTickCount() < end) {
      }
    } else {
      ProcessPendingMessages();
    }
    ::Sleep(10);
    if (GetTickCount() >= end) return;
  }
}

bool TPlatformTools::DirectoryExists(const std::wstring& path) {
  const DWORD attributes = QuietAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Handle TPlatformTools::OpenPathForQuery(const std::wstring& path) {
  return ::CreateFileW(ExcludeTrailingBackslash(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

void TPlatformTools::EnableTaskWindows(TTaskWindowList& list) {
  while (list) {
    TTaskWindowNode* node = std::exchange(list, list->Next);
    HWND window = static_cast<HWND>(node->Window);
    if (::IsWindow(window)) ::EnableWindow(window, TRUE);
    delete node;
  }
}

TTaskWindowList TPlatformTools::DisableTaskWindows(WindowHandle windowToKeep) {
  TDisableContext context{static_cast<HWND>(windowToKeep), nullptr, false};
  ::EnumThreadWindows(::GetCurrentThreadId(), DisableOneWindow, reinterpret_cast<LPARAM>(&context));
  if (context.Failed) {
    EnableTaskWindows(context.List);
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  return context.List;
}

std::wstring TPlatformTools::GetLongPathName(const std::wstring& path) {
  using Fn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
  static const auto fn = EntryPoint<Fn>(L"kernel32.dll", "GetLongPathNameW");
  if (!fn) return path;
  return GrowingBuffer(520, [&](wchar_t* buffer, DWORD size) { return fn(path.c_str(), buffer, size); });
}

DateTime TPlatformTools::FileTimeToDateTime(std::uint64_t fileTime, bool toLocal) {
  if (toLocal) {
    const FILETIME utc = ToFileTime(fileTime);
    FILETIME local{};
    if (::FileTimeToLocalFileTime(&utc, &local)) fileTime = ToUint64(local);
  }
  return TPlatformToolsBase::FileTimeToDateTime(fileTime, false);
}

std::wstring TPlatformTools::GetFileVersion(const std::wstring& file) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return {};
  std::string block(size, '\0');
  if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return {};
  const auto query = [&](const std::wstring& name) -> std::wstring {
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), name.c_str(), &value, &length) || !value || length == 0) return {};
    return std::wstring(static_cast<const wchar_t*>(value), wcsnlen(static_cast<const wchar_t*>(value), length));
  };
  std::wstring language = L"040904E4";
  WORD* translation = nullptr;
  UINT length = 0;
  if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
      translation && length >= 4) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%04X%04X", translation[0], translation[1]);
    language = text;
  }
  std::wstring version = query(L"\\StringFileInfo\\" + language + L"\\FileVersion");
  if (version.empty()) version = query(L"\\StringFileInfo\\040904E4\\FileVersion");
  return version;
}

bool TPlatformTools::FlushFile(Handle file) { return ::FlushFileBuffers(AsHandle(file)) != FALSE; }

std::wstring TPlatformTools::CreateGuidString(bool hex, bool lowerCase, bool dashed) {
  UUID guid{};
  const RPC_STATUS status = ::UuidCreate(&guid);
  if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) return {};
  if (hex) {
    const wchar_t* format = dashed ? L"%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X"
                                   : L"%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X";
    wchar_t text[40];
    std::swprintf(text, 40, format, static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
                  guid.Data4[7]);
    return text;
  }
  wchar_t registryForm[40] = {};
  if (!::StringFromGUID2(guid, registryForm, 40)) return {};
  std::wstring text(registryForm);
  text = text.substr(1, text.size() - 2);
  if (lowerCase) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring TPlatformTools::GetComputerName() {
  wchar_t name[16] = {};
  DWORD size = 16;
  return ::GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

std::uint32_t TPlatformTools::GetCurrentThreadId() { return ::GetCurrentThreadId(); }
std::uint32_t TPlatformTools::GetAnsiCodePage() { return ::GetACP(); }

std::wstring TPlatformTools::GetFinalDirectoryPath(const std::wstring& path) {
  UniqueKernelHandle opened(static_cast<HANDLE>(OpenPathForQuery(path)));
  if (!opened) return path;
  std::wstring final(4095, L'\0');
  const DWORD length = ::GetFinalPathNameByHandleW(opened.get(), final.data(), 4095,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= 4095) return path;
  final.resize(length);
  if (final.rfind(L"\\\\?\\", 0) == 0) final.erase(0, 4);
  return DirectoryExists(final) ? final : path;
}

std::uint32_t TPlatformTools::GetDriveType(const std::wstring& root) { return ::GetDriveTypeW(root.c_str()); }
std::uint32_t TPlatformTools::GetFileAttributes(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str());
}

std::int64_t TPlatformTools::GetFileSize(const std::wstring& path, bool forceOpen) {
  if (!forceOpen) {
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(::FindFirstFileW(path.c_str(), &found));
    if (find) {
      const std::int64_t size = static_cast<std::int64_t>(
          (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
      if (size != 0 || !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return size;
    }
  }
  UniqueKernelHandle file(static_cast<HANDLE>(OpenFileHandle(path, OpenModeReadShareBoth, true)));
  LARGE_INTEGER end{};
  if (!file || !::SetFilePointerEx(file.get(), LARGE_INTEGER{}, &end, FILE_END)) return -1;
  return end.QuadPart;
}

bool TPlatformTools::GetFileWriteTime(Handle file, std::uint64_t& fileTime) {
  FILETIME written{};
  if (!::GetFileTime(AsHandle(file), nullptr, nullptr, &written)) return false;
  fileTime = ToUint64(written);
  return true;
}

bool TPlatformTools::SetFileWriteTime(Handle file, std::uint64_t fileTime) {
  const FILETIME written = ToFileTime(fileTime);
  return ::SetFileTime(AsHandle(file), nullptr, nullptr, &written) != FALSE;
}

std::int64_t TPlatformTools::GetDiskFreeSpace(const std::wstring& path) {
  const std::wstring drive = DrivePart(path);
  const std::wstring root = drive.empty() ? IncludeTrailingBackslash(TrimText(path)) : drive + L"\\";
  ULARGE_INTEGER available{}, total{}, free{};
  if (!::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) return -1;
  return static_cast<std::int64_t>(available.QuadPart != 0 ? available.QuadPart : free.QuadPart);
}

std::uint32_t TPlatformTools::GetLastError() { return ::GetLastError(); }

std::wstring TPlatformTools::GetLocaleInfo(std::uint32_t locale, std::uint32_t infoType) {
  wchar_t buffer[1024] = {};
  const int length = ::GetLocaleInfoW(locale, infoType, buffer, 1024);
  return length > 0 ? std::wstring(buffer, static_cast<std::size_t>(length - 1)) : std::wstring();
}

std::uint32_t TPlatformTools::GetConsoleCodePage() { return 866; }

DateTime TPlatformTools::GetTimeZoneBias() {
  TIME_ZONE_INFORMATION zone{};
  LONG bias = 0;
  switch (::GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_STANDARD:
      bias = zone.Bias + zone.StandardBias;
      break;
    case TIME_ZONE_ID_DAYLIGHT:
      bias = zone.Bias + zone.DaylightBias;
      break;
    case TIME_ZONE_ID_INVALID:
      return 0;
    default:
      bias = zone.Bias;
  }
  return static_cast<double>(bias) / (24.0 * 60.0);
}

std::wstring TPlatformTools::GetDosDeviceTarget(const std::wstring& path) {
  const std::wstring target = QuietDosDeviceTarget(path);
  return target.find(L':') != std::wstring::npos ? target : std::wstring();
}

std::wstring TPlatformTools::GetModuleFileName(ModuleHandle module) {
  // A deep program folder needs more than MAX_PATH; grow until it fits.
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = ::GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(),
                                              static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return buffer.substr(0, length);
    buffer.assign(buffer.size() * 2, L'\0');
  }
  return {};
}

std::uint32_t TPlatformTools::GetNearestColor(std::uint32_t color) {
  HDC screen = ::GetDC(nullptr);
  if (!screen) return color;
  const COLORREF nearest = ::GetNearestColor(screen, color);
  ::ReleaseDC(nullptr, screen);
  return nearest == CLR_INVALID ? color : nearest;
}

std::uint32_t TPlatformTools::GetThreadLocale() { return ::GetThreadLocale(); }

std::uint64_t TPlatformTools::GetTickCount() {
  static const double ticksPerMillisecond = [] {
    LARGE_INTEGER frequency{};
    return ::QueryPerformanceFrequency(&frequency) ? static_cast<double>(frequency.QuadPart) / 1000.0 : 0.0;
  }();
  LARGE_INTEGER counter{};
  if (ticksPerMillisecond > 0 && ::QueryPerformanceCounter(&counter))
    return static_cast<std::uint64_t>(std::llround(static_cast<double>(counter.QuadPart) / ticksPerMillisecond));
  static const auto tickCount64 = EntryPoint<ULONGLONG(WINAPI*)()>(L"kernel32.dll", "GetTickCount64");
  return tickCount64 ? tickCount64() : ::GetTickCount();
}

std::uint32_t TPlatformTools::GetUserDefaultLcid() { return ::GetUserDefaultLCID(); }

std::wstring TPlatformTools::GetUserName() {
  wchar_t name[257] = {};
  DWORD size = 257;
  return ::GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

bool TPlatformTools::GetVolumeLabel(const std::wstring& root, std::wstring& label) {
  wchar_t buffer[MAX_PATH + 1] = {};
  ScopedErrorMode quiet;
  if (!::GetVolumeInformationW(root.c_str(), buffer, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
    return false;
  label = buffer;
  return true;
}

bool TPlatformTools::IsUserAdmin() {
  if (!RuntimeEnvironment().IsWindows2000OrLater) return false;
  using Fn = BOOL(WINAPI*)();
  static const auto fn = [] {
    HMODULE shell = ::LoadLibraryW(L"shell32.dll");
    return shell ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(shell, "IsUserAnAdmin"))) : nullptr;
  }();
  return fn && fn();
}

bool TPlatformTools::IsCharAlpha(wchar_t c) { return ::IsCharAlphaW(c) != FALSE; }
bool TPlatformTools::IsCharAlphaAnsi(char c) { return ::IsCharAlphaA(c) != FALSE; }
bool TPlatformTools::IsCharAlphaNumeric(wchar_t c) { return ::IsCharAlphaNumericW(c) != FALSE; }
bool TPlatformTools::IsCharLower(wchar_t c) { return ::IsCharLowerW(c) != FALSE; }
bool TPlatformTools::IsCharUpper(wchar_t c) { return ::IsCharUpperW(c) != FALSE; }

bool TPlatformTools::IsRemovableDrive(const std::wstring& path) {
  return ::GetDriveTypeW(path.substr(0, 3).c_str()) == DRIVE_REMOVABLE;
}

bool TPlatformTools::IsNetworkDrive(const std::wstring& path) {
  return ::GetDriveTypeW(path.substr(0, 3).c_str()) == DRIVE_REMOTE;
}

bool TPlatformTools::FileExists(const std::wstring& path) {
  const DWORD attributes = QuietAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool TPlatformTools::IsFloppyDrive(const std::wstring& path) {
  return UpperCaseText(QuietDosDeviceTarget(path)).find(L"FLOPPY") != std::wstring::npos;
}

bool TPlatformTools::IsMainThread() { return ::GetCurrentThreadId() == MainThreadId; }

bool TPlatformTools::IsSubstDrive(const std::wstring& path) {
  const std::wstring target = QuietDosDeviceTarget(path);
  if (target.empty()) return false;
  if (RuntimeEnvironment().IsWindowsNT) return target.find(L':') != std::wstring::npos;
  return target == DrivePart(path);
}

bool TPlatformTools::IsPipeHandle(Handle handle) { return ::GetFileType(AsHandle(handle)) == FILE_TYPE_PIPE; }

bool TPlatformTools::IsAutorunRegistered(const std::wstring& name) {
  return RegistryValueExists(HKEY_LOCAL_MACHINE, RunKey, name) || RegistryValueExists(HKEY_CURRENT_USER, RunKey, name);
}

bool TPlatformTools::IsRemoteSession() { return ::GetSystemMetrics(SM_REMOTESESSION) != 0; }

void* TPlatformTools::GetProcAddress(ModuleHandle module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

ModuleHandle TPlatformTools::LoadLibrary(const std::wstring& fileName) { return ::LoadLibraryW(fileName.c_str()); }
bool TPlatformTools::FreeLibrary(ModuleHandle module) { return ::FreeLibrary(static_cast<HMODULE>(module)) != FALSE; }
int TPlatformTools::MulDiv(int number, int numerator, int denominator) {
  return ::MulDiv(number, numerator, denominator);
}

std::wstring TPlatformTools::GetWindowsDirectory() {
  return ExcludeTrailingBackslash(GrowingBuffer(MAX_PATH, [](wchar_t* buffer, DWORD size) {
    return static_cast<DWORD>(::GetWindowsDirectoryW(buffer, size));
  }));
}

std::wstring TPlatformTools::GetSystemDirectory() {
  return ExcludeTrailingBackslash(GrowingBuffer(MAX_PATH, [](wchar_t* buffer, DWORD size) {
    return static_cast<DWORD>(::GetSystemDirectoryW(buffer, size));
  }));
}

std::wstring TPlatformTools::GetSystemWow64Directory() {
  using Fn = UINT(WINAPI*)(LPWSTR, UINT);
  static const auto fn = EntryPoint<Fn>(L"kernel32.dll", "GetSystemWow64DirectoryW");
  if (!fn) return {};
  return ExcludeTrailingBackslash(
      GrowingBuffer(MAX_PATH, [](wchar_t* buffer, DWORD size) { return static_cast<DWORD>(fn(buffer, size)); }));
}

bool TPlatformTools::InitiateShutdown(const std::wstring& message, std::uint32_t graceSeconds, bool force,
                                      bool restart) {
  EnablePrivilege(L"SeShutdownPrivilege");
  DWORD flags = force ? (SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF) : 0;
  flags |= restart ? (SHUTDOWN_RESTART | SHUTDOWN_RESTARTAPPS) : SHUTDOWN_POWEROFF;
  if (restart && RuntimeEnvironment().IsWindows10OrLater) flags |= 0x2000;  // SHUTDOWN_ARSO
  std::wstring text = message;
  return ::InitiateShutdownW(nullptr, text.data(), graceSeconds, flags, ShutdownReasonApplication) == ERROR_SUCCESS;
}

bool TPlatformTools::ExitWindows(bool force, bool restart) {
  if (RuntimeEnvironment().IsWindowsNT) EnablePrivilege(L"SeShutdownPrivilege");
  UINT flags = restart ? (EWX_REBOOT | EWX_RESTARTAPPS) : EWX_SHUTDOWN;
  flags |= force ? EWX_FORCE : EWX_FORCEIFHUNG;
  if (restart && RuntimeEnvironment().IsWindows10OrLater) flags |= 0x04000000;  // EWX_ARSO
  return ::ExitWindowsEx(flags, ShutdownReasonApplication) != FALSE;
}

bool TPlatformTools::SuspendSystem(bool hibernate) {
  using Fn = BOOLEAN(WINAPI*)(BOOLEAN, BOOLEAN, BOOLEAN);
  static const auto fn = [] {
    HMODULE powrprof = ::LoadLibraryW(L"PowrProf.dll");  // kept loaded
    return powrprof ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(powrprof, "SetSuspendState")))
                    : nullptr;
  }();
  if (!fn) return false;
  if (RuntimeEnvironment().IsWindowsNT) EnablePrivilege(L"SeShutdownPrivilege");
  return fn(hibernate, TRUE, FALSE) != FALSE;
}

bool TPlatformTools::PostMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  return ::PostMessageW(static_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

bool TPlatformTools::ProcessOneMessage() {
  MSG message{};
  if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message != WM_QUIT) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return true;
}

bool TPlatformTools::ProcessPendingMessages() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) return false;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return true;
}

bool TPlatformTools::QueryPerformanceCounter(std::int64_t& counter) {
  LARGE_INTEGER value{};
  if (!::QueryPerformanceCounter(&value)) return false;
  counter = value.QuadPart;
  return true;
}

bool TPlatformTools::QueryPerformanceFrequency(std::int64_t& frequency) {
  LARGE_INTEGER value{};
  if (!::QueryPerformanceFrequency(&value)) return false;
  frequency = value.QuadPart;
  return true;
}

std::uint32_t TPlatformTools::RegisterWindowMessage(const std::wstring& name) {
  return ::RegisterWindowMessageW(name.c_str());
}

bool TPlatformTools::ReadRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                                       std::uint32_t& value) {
  UniqueRegKey opened;
  if (!RegistryResult(::RegOpenKeyExW(RootKey(root), key.c_str(), 0, KEY_QUERY_VALUE, opened.put()))) return false;
  DWORD type = 0, data = 0, size = sizeof(data);
  if (!RegistryResult(::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                                         &size)))
    return false;
  if (type != REG_DWORD || size != sizeof(data)) return RegistryResult(ERROR_INVALID_DATA);
  value = data;
  return true;
}

bool TPlatformTools::ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                                        std::wstring& text, std::uint32_t extraAccess) {
  UniqueRegKey opened;
  if (!RegistryResult(
          ::RegOpenKeyExW(RootKey(root), key.c_str(), 0, KEY_QUERY_VALUE | extraAccess, opened.put())))
    return false;
  DWORD type = 0, size = 0;
  if (!RegistryResult(::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, nullptr, &size))) return false;
  if (type != REG_SZ || size < sizeof(wchar_t)) return RegistryResult(ERROR_INVALID_DATA);
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  if (!RegistryResult(::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &size)))
    return false;
  data.resize(wcsnlen(data.c_str(), size / sizeof(wchar_t)));
  if (data.empty()) return RegistryResult(ERROR_INVALID_DATA);
  text = data;
  return true;
}

bool TPlatformTools::DeleteRegistryKey(RegistryRoot root, const std::wstring& key) {
  return RegistryResult(::RegDeleteKeyW(RootKey(root), key.c_str()));
}

bool TPlatformTools::RegistryKeyExists(RegistryRoot root, const std::wstring& key) {
  UniqueRegKey opened;
  return RegistryResult(::RegOpenKeyExW(RootKey(root), key.c_str(), 0, KEY_READ, opened.put()));
}

bool TPlatformTools::WriteRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                                        std::uint32_t value) {
  UniqueRegKey created;
  if (!RegistryResult(::RegCreateKeyExW(RootKey(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                        nullptr, created.put(), nullptr)))
    return false;
  const DWORD data = value;
  return RegistryResult(
      ::RegSetValueExW(created.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)));
}

bool TPlatformTools::WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& name,
                                         const std::wstring& text) {
  UniqueRegKey created;
  if (!RegistryResult(::RegCreateKeyExW(RootKey(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_SET_VALUE, nullptr, created.put(), nullptr)))
    return false;
  return RegistryResult(::RegSetValueExW(created.get(), name.c_str(), 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(text.c_str()),
                                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
}

bool TPlatformTools::RemoveDirectory(const std::wstring& path) { return ::RemoveDirectoryW(path.c_str()) != FALSE; }

bool TPlatformTools::ReplaceFileInUse(const std::wstring& existingFile, const std::wstring& newFile) {
  const DWORD savedError = ::GetLastError();
  bool replaced = false;
  if (RuntimeEnvironment().IsWindowsNT) {
    // A running program's file can be renamed but not overwritten: move it
    // aside, put the new file in its place, and delete the old one at restart.
    const std::wstring oldName = ReplacedFileName(existingFile);
    if (::MoveFileExW(existingFile.c_str(), oldName.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      replaced = ::CopyFileW(newFile.c_str(), existingFile.c_str(), FALSE) != FALSE;
      if (replaced) {
        ::MoveFileExW(oldName.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      } else {
        // Put the original back rather than leave the program without it.
        ::MoveFileExW(oldName.c_str(), existingFile.c_str(), MOVEFILE_REPLACE_EXISTING);
      }
    }
  } else {
    const std::wstring staged = ChangeFileExt(existingFile, L".new");
    replaced = ::CopyFileW(newFile.c_str(), staged.c_str(), FALSE) &&
               ::WritePrivateProfileStringW(L"rename", existingFile.c_str(), staged.c_str(), L"wininit.ini");
  }
  ::SetLastError(savedError);
  return replaced;
}

bool TPlatformTools::SendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam, std::uint32_t flags, std::uint32_t timeout,
                                        std::uintptr_t* result) {
  DWORD_PTR answer = 0;
  const LRESULT sent =
      ::SendMessageTimeoutW(static_cast<HWND>(window), message, wParam, lParam, flags, timeout, &answer);
  if (result) *result = answer;
  return sent != 0;
}

bool TPlatformTools::SetEnvironmentVariable(const std::wstring& name, const std::wstring& value) {
  return ::SetEnvironmentVariableW(name.c_str(), value.c_str()) != FALSE;
}

bool TPlatformTools::SetFileAttributes(const std::wstring& path, std::uint32_t attributes) {
  return ::SetFileAttributesW(path.c_str(), attributes) != FALSE;
}

std::uint32_t TPlatformTools::SetErrorMode(std::uint32_t mode) { return ::SetErrorMode(mode); }

std::uint32_t TPlatformTools::SetAutorun(const std::wstring& name, const std::wstring& command, bool enable,
                                         bool allUsers) {
  LONG result = WriteAutorun(allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, name, command, enable);
  if (result != ERROR_SUCCESS && allUsers) result = WriteAutorun(HKEY_CURRENT_USER, name, command, enable);
  return static_cast<std::uint32_t>(result);
}

void TPlatformTools::SetLastError(std::uint32_t code) { ::SetLastError(code); }

bool TPlatformTools::SetThreadPriorityHighest() {
  return ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST) != FALSE;
}

bool TPlatformTools::SetThreadPriorityNormal() {
  return ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL) != FALSE;
}

bool TPlatformTools::SetThreadPriorityTimeCritical() {
  return ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != FALSE;
}

int TPlatformTools::ScaleForDpi(int value) {
  static std::atomic<int> screenDpi{0};
  if (screenDpi == 0) {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ::ReleaseDC(nullptr, screen);
    screenDpi = dpi > 0 ? dpi : 96;
  }
  return ScaleForDpiAt(value, screenDpi);
}

void TPlatformTools::PreciseSleep(int milliseconds) {
  if (milliseconds <= 0) return;
  ::timeBeginPeriod(1);
  ::Sleep(static_cast<DWORD>(milliseconds));
  ::timeEndPeriod(1);
}

std::wstring TPlatformTools::GetTempPath() {
  // The system's answer may be longer than MAX_PATH; grow until it fits.
  const std::wstring system = GrowingBuffer(MAX_PATH + 1, [](wchar_t* buffer, DWORD size) {
    return ::GetTempPathW(size, buffer);
  });
  if (!system.empty()) return IncludeTrailingBackslash(system);
  const auto variable = [](const wchar_t* name) {
    return GrowingBuffer(MAX_PATH, [name](wchar_t* buffer, DWORD size) {
      return ::GetEnvironmentVariableW(name, buffer, size);
    });
  };
  return ComposeTempPath(L"", variable(L"TMP"), variable(L"TEMP"), GetWindowsDirectory());
}

bool TPlatformTools::TerminateThread(Handle thread, std::uint32_t exitCode) {
  return ::TerminateThread(AsHandle(thread), exitCode) != FALSE;
}

bool TPlatformTools::ThreadExists(std::uint32_t threadId) {
  UniqueKernelHandle thread(::OpenThread(MAXIMUM_ALLOWED, FALSE, threadId));
  return thread.valid();
}

bool TPlatformTools::VerifyFileSignature(const std::wstring& file) {
  using Fn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
  const bool comReady = SUCCEEDED(::CoInitialize(nullptr));
  HMODULE wintrust = ::GetModuleHandleW(L"WINTRUST.DLL");
  UniqueModule loadedHere;
  if (!wintrust) {
    loadedHere.reset(::LoadLibraryW(L"WINTRUST.DLL"));
    wintrust = loadedHere.get();
  }
  bool trusted = true;  // WinTrust that cannot be used at all does not reject
  Fn verify = nullptr;
  if (wintrust) {
    verify = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(wintrust, "WinVerifyTrustEx")));
    if (!verify) verify = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(wintrust, "WinVerifyTrust")));
  }
  if (verify) {
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = file.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    trusted = result != static_cast<LONG>(TRUST_E_NOSIGNATURE) && result != static_cast<LONG>(TRUST_E_BAD_DIGEST);
  }
  if (comReady) ::CoUninitialize();
  return trusted;
}

int TPlatformTools::AskYesNoWithTimeout(const std::wstring& caption, const std::wstring& text,
                                        std::uint32_t timeoutMs) {
  using Fn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT, WORD, DWORD);
  static const auto fn = [] {
    HMODULE user32 = ::LoadLibraryW(L"USER32");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, "MessageBoxTimeoutW")))
                  : nullptr;
  }();
  if (!fn) return IDCANCEL;
  const int answer = fn(nullptr, text.c_str(), caption.c_str(), 0x00201034, 0, timeoutMs);
  return answer == IDNO ? IDNO : IDYES;
}

bool TPlatformTools::WriteFileData(Handle file, const void* buffer, std::uint32_t count, std::uint32_t& written) {
  DWORD done = 0;
  const bool ok = ::WriteFile(AsHandle(file), buffer, count, &done, nullptr) != FALSE;
  written = done;
  if (ok && done != count) {
    // A short write without a reason is a full disk.
    ::SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return ok;
}

bool TPlatformTools::ReadFileData(Handle file, void* buffer, std::uint32_t count, std::uint32_t& read) {
  DWORD done = 0;
  const bool ok = ::ReadFile(AsHandle(file), buffer, count, &done, nullptr) != FALSE;
  read = ok ? done : 0;
  return ok;
}

bool TPlatformTools::DeleteFile(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != FALSE; }

bool TPlatformTools::MoveFile(const std::wstring& existingFile, const std::wstring& newFile, std::uint32_t flags) {
  return ::MoveFileExW(existingFile.c_str(), newFile.empty() ? nullptr : newFile.c_str(), flags) != FALSE;
}

bool TPlatformTools::CreateDirectory(const std::wstring& path) {
  return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool TPlatformTools::WriteIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                                    const wchar_t* value) {
  return ::WritePrivateProfileStringW(section, key, value, file.c_str()) != FALSE;
}

RefPtr<IPlatformTools> CreateSystemPlatformTools(TRuntimeEnvironment& environment) {
  RefPtr<IPlatformTools> tools = MakeRef<TPlatformTools>();
  // A library must not initialise COM on its host's thread.
  const bool isLibrary = ::GetModuleHandleW(nullptr) != reinterpret_cast<HMODULE>(&__ImageBase);
  if (!isLibrary && tools->IsMainThread()) ComInitialized = tools->InitializeCom();
  TWindowsProbe probe(*tools);
  environment = DetectRuntimeEnvironment(probe);
  return tools;
}

std::wstring SystemUpperCase(std::wstring text) {
  if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}
