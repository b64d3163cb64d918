#pragma once
// The one base of every exception that setup's engine, file services and
// platform tools raise: a UTF-16 message meant for the user, usually a
// catalogue text formatted with its arguments. Only the flat entry, the
// program's entry point and the dialog turn exceptions into messages, and
// they all take the text from ExceptionMessage.

#include <exception>
#include <string>

class Exception : public std::exception {
public:
  explicit Exception(std::wstring message);

  // The text for the user.
  const std::wstring& Message() const noexcept { return Text; }
  // The message as UTF-8, for diagnostics (test output, debuggers); never
  // shown to the user.
  const char* what() const noexcept override { return Utf8Text.c_str(); }

private:
  std::wstring Text;
  std::string Utf8Text;
};

// The user-visible text of any exception: the message of ours; for any
// other (the C++ runtime's, a caller's callback), its what() read as UTF-8.
std::wstring ExceptionMessage(const std::exception& e);
