#pragma once
// What jompack tells its user: results on standard output, warnings, errors
// and the progress line on standard error, and the exit code that a failure
// carries out of a command.

#include <cstdint>
#include <stdexcept>
#include <string>

// Exit codes, as "jompack --help" lists them.
enum TExitCode : int {
  ExitOk = 0,
  ExitMismatch = 1,  // verify: the update does not give the new version
  ExitUsage = 2,     // the command line is wrong
  ExitInput = 3,     // an input is missing, unreadable or not what it must be
  ExitFailed = 4,    // writing the output failed
};

// A failure that ends the command with its exit code and text.
class EPackError : public std::runtime_error {
public:
  EPackError(TExitCode code, std::wstring text) : std::runtime_error("jompack"), Code(code), Text(std::move(text)) {}
  TExitCode Code;
  std::wstring Text;
};

[[noreturn]] inline void RaiseInput(const std::wstring& text) { throw EPackError(ExitInput, text); }
[[noreturn]] inline void RaiseFailed(const std::wstring& text) { throw EPackError(ExitFailed, text); }

// A line on standard output.
void PrintLine(const std::wstring& text);
// "jompack: warning: " + text on standard error.
void PrintWarning(const std::wstring& text);
// "jompack: " + text on standard error.
void PrintError(const std::wstring& text);

// One progress line on standard error, rewritten in place while the
// percentage changes; written only when standard error is a terminal or
// JOMPACK_PROGRESS=1 is set, so that logs stay clean.
class TProgressLine {
public:
  explicit TProgressLine(std::wstring title) : Title(std::move(title)) {}
  ~TProgressLine() { Finish(); }
  void Show(int percent, const std::wstring& what = std::wstring());
  // Ends the line (done by the destructor too).
  void Finish();

private:
  std::wstring Title;
  int Shown = -1;
  bool Open = false;
};
