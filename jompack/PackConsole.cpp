#include "jompack/PackConsole.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "setup/distribution/TextCodec.h"

#ifdef _WIN32
#include "platform/Win.h"
#else
#include <unistd.h>
#endif

namespace {
#ifdef _WIN32
// The console takes UTF-16 as it is; a pipe or a file gets UTF-8.
void Write(DWORD which, const std::wstring& text) {
  const HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0, written = 0;
  if (::GetConsoleMode(handle, &mode)) {
    ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const std::string bytes = WideToUtf8(text);
  ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
void Out(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, text); }
void Err(const std::wstring& text) { Write(STD_ERROR_HANDLE, text); }
bool ErrIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
#else
void Put(std::FILE* file, const std::wstring& text) {
  const std::string bytes = WideToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fflush(file);
}
void Out(const std::wstring& text) { Put(stdout, text); }
void Err(const std::wstring& text) { Put(stderr, text); }
bool ErrIsTerminal() { return ::isatty(2) != 0; }
#endif

bool ProgressWanted() {
  const char* forced = std::getenv("JOMPACK_PROGRESS");
  if (forced && *forced) return std::string_view(forced) == "1";
  return ErrIsTerminal();
}
}  // namespace

void PrintLine(const std::wstring& text) { Out(text + L"\n"); }

void PrintWarning(const std::wstring& text) { Err(L"jompack: warning: " + text + L"\n"); }

void PrintError(const std::wstring& text) { Err(L"jompack: " + text + L"\n"); }

void TProgressLine::Show(int percent, const std::wstring& what) {
  static const bool wanted = ProgressWanted();
  if (!wanted || percent == Shown) return;
  Shown = percent;
  Open = true;
  std::wstring line = L"\r" + Title + L": " + std::to_wstring(percent) + L"%";
  if (!what.empty()) line += L" " + what;
  // Clears what a longer earlier line left.
  Err(line + L"\x1b[K");
}

void TProgressLine::Finish() {
  if (!Open) return;
  Open = false;
  Err(L"\n");
}
