// The platform operations on POSIX systems, for the native build of the
// platform-neutral units: each maps to the nearest POSIX service; the rest
// keep the neutral failure values of TPlatformToolsBase.

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <utility>
#include <string>

#include "platform/PlatformToolsBase.h"
#include "platform/StrTool.h"
#include "platform/SystemText.h"

namespace {
constexpr std::uint32_t ErrorNoUnicodeTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION
constexpr std::uint32_t ErrorFileNotFound = 2;
constexpr std::uint32_t ErrorPathNotFound = 3;
constexpr std::uint32_t ErrorAccessDenied = 5;
constexpr std::uint32_t ErrorInvalidParameter = 87;
constexpr std::uint32_t ErrorReadFault = 30;

// The Windows error code nearest to errno.
std::uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ErrorFileNotFound;
    case ENOTDIR: return ErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return ErrorAccessDenied;
    case EINVAL: return ErrorInvalidParameter;
    default: return ErrorReadFault;
  }
}

Handle FromDescriptor(int fd) { return reinterpret_cast<Handle>(static_cast<std::intptr_t>(fd)); }
int ToDescriptor(Handle handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)); }

std::string IconvName(std::uint32_t codePage) {
  if (codePage == 65001) return "UTF-8";
  if (codePage == 20127) return "ASCII";
  return "CP" + std::to_string(codePage);
}

locale_t Utf8Locale() {
  static const locale_t locale = [] {
    locale_t created = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return created ? created : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  }();
  return locale;
}

// The converter between two encodings, opened once per thread: opening one
// loads the system's conversion modules, which costs far more than a
// conversion. Null when the pair is unknown.
iconv_t Converter(const char* to, const char* from) {
  struct TConverters {
    std::map<std::pair<std::string, std::string>, iconv_t> Open;
    ~TConverters() {
      for (const auto& [names, cd] : Open) {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
      }
    }
  };
  thread_local TConverters converters;
  const auto key = std::make_pair(std::string(to), std::string(from));
  auto found = converters.Open.find(key);
  if (found == converters.Open.end()) found = converters.Open.emplace(key, iconv_open(to, from)).first;
  if (found->second == reinterpret_cast<iconv_t>(-1)) return nullptr;
  iconv(found->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  return found->second;
}

// Converts with iconv; an unconvertible input unit becomes the replacement
// (as the Windows converters do) and conversion goes on. False when the code
// page is unknown.
bool Convert(const char* to, const char* from, const char* input, std::size_t inputSize, std::size_t unit,
             const std::string& replacement, std::string& output) {
  iconv_t cd = Converter(to, from);
  if (!cd) return false;
  output.clear();
  char* in = const_cast<char*>(input);
  std::size_t inLeft = inputSize;
  char buffer[1024];
  while (inLeft > 0) {
    char* out = buffer;
    std::size_t outLeft = sizeof(buffer);
    const std::size_t done = iconv(cd, &in, &inLeft, &out, &outLeft);
    output.append(buffer, out);
    if (done != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    output += replacement;  // EILSEQ or EINVAL: skip the unit that failed
    const std::size_t skip = inLeft < unit ? inLeft : unit;
    in += skip;
    inLeft -= skip;
  }
  return true;
}

std::string NarrowPath(const std::wstring& path) {
  std::string bytes;
  Convert("UTF-8", "WCHAR_T", reinterpret_cast<const char*>(path.data()), path.size() * sizeof(wchar_t),
          sizeof(wchar_t), "?", bytes);
  return bytes;
}

// Decodes 8-bit text; false when the code page is unknown.
bool Decode(const char* bytes, std::size_t length, std::uint32_t codePage, std::wstring& text) {
  std::string wide;
  const wchar_t replacement = L'\uFFFD';
  if (!Convert("WCHAR_T", IconvName(codePage).c_str(), bytes, length, 1,
               std::string(reinterpret_cast<const char*>(&replacement), sizeof(wchar_t)), wide))
    return false;
  text.assign(reinterpret_cast<const wchar_t*>(wide.data()), wide.size() / sizeof(wchar_t));
  return true;
}

class TPosixPlatformTools : public TPlatformToolsBase {
public:
  std::wstring AnsiToUnicode(const std::string& text, std::uint32_t codePage) override {
    return BytesToUnicode(text.data(), static_cast<int>(text.size()), codePage);
  }

  std::wstring BytesToUnicode(const void* bytes, int length, std::uint32_t codePage) override {
    std::wstring text;
    if (length <= 0) return text;
    if (!Decode(static_cast<const char*>(bytes), static_cast<std::size_t>(length), codePage, text))
      SetLastError(ErrorNoUnicodeTranslation);
    return text;
  }

  std::string UnicodeToAnsi(const std::wstring& text, std::uint32_t codePage) override {
    if (text.empty()) return {};
    std::string bytes;
    if (!Convert(IconvName(codePage).c_str(), "WCHAR_T", reinterpret_cast<const char*>(text.data()),
                 text.size() * sizeof(wchar_t), sizeof(wchar_t), "?", bytes)) {
      SetLastError(ErrorNoUnicodeTranslation);
      return {};
    }
    return bytes;
  }

  std::uint32_t GetAnsiCodePage() override { return 1252; }
  std::uint32_t GetConsoleCodePage() override { return 866; }
  std::uint32_t GetUserDefaultLcid() override { return 1033; }
  std::uint32_t GetThreadLocale() override { return 1033; }

  bool IsCharAlpha(wchar_t c) override { return iswalpha_l(static_cast<wint_t>(c), Utf8Locale()) != 0; }
  bool IsCharAlphaAnsi(char c) override { return IsCharAlpha(AnsiToUnicode(std::string(1, c), 1252).front()); }
  bool IsCharAlphaNumeric(wchar_t c) override { return iswalnum_l(static_cast<wint_t>(c), Utf8Locale()) != 0; }
  bool IsCharLower(wchar_t c) override { return iswlower_l(static_cast<wint_t>(c), Utf8Locale()) != 0; }
  bool IsCharUpper(wchar_t c) override { return iswupper_l(static_cast<wint_t>(c), Utf8Locale()) != 0; }

  std::uint64_t GetTickCount() override {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  }

  std::wstring GetTempPath() override {
    const char* tmp = std::getenv("TMPDIR");
    const std::string bytes = tmp && *tmp ? tmp : "/tmp";
    std::wstring path;
    Decode(bytes.data(), bytes.size(), 65001, path);
    if (path.back() != L'/') path += L'/';
    return path;
  }

  bool FileExists(const std::wstring& path) override { return StatMode(path, false); }
  bool DirectoryExists(const std::wstring& path) override { return StatMode(path, true); }

  // Existing files for reading only; a folder is refused as Windows does.
  Handle OpenFileHandle(const std::wstring& path, std::uint8_t openMode, bool openExisting) override {
    if (!openExisting || (openMode & 0x03u) != 0) return TPlatformToolsBase::OpenFileHandle(path, openMode, openExisting);
    const int fd = ::open(NarrowPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      SetLastError(ErrorFromErrno(errno));
      return InvalidHandle;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
      ::close(fd);
      SetLastError(ErrorAccessDenied);
      return InvalidHandle;
    }
    return FromDescriptor(fd);
  }

  bool ReadFileData(Handle file, void* buffer, std::uint32_t count, std::uint32_t& read) override {
    read = 0;
    for (;;) {
      const ssize_t done = ::read(ToDescriptor(file), buffer, count);
      if (done >= 0) {
        read = static_cast<std::uint32_t>(done);
        return true;
      }
      if (errno == EINTR) continue;
      SetLastError(ErrorFromErrno(errno));
      return false;
    }
  }

  void CloseHandleAndReset(Handle& handle) override {
    if (handle != InvalidHandle) ::close(ToDescriptor(handle));
    handle = InvalidHandle;
  }

private:
  bool StatMode(const std::wstring& path, bool directory) {
    struct stat info {};
    if (::stat(NarrowPath(TrimText(path)).c_str(), &info) != 0) {
      SetLastError(ErrorFileNotFound);
      return false;
    }
    return S_ISDIR(info.st_mode) == directory;
  }
};

}  // namespace

RefPtr<IPlatformTools> CreateSystemPlatformTools(TRuntimeEnvironment&) {
  // Not Windows, so no Windows flag holds (IsWine means a Windows program under Wine).
  return MakeRef<TPosixPlatformTools>();
}

std::wstring SystemUpperCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), Utf8Locale()));
  return text;
}
