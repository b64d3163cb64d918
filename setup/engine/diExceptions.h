#pragma once
// Exceptions of the engine. Their messages are catalogue texts (UTF-16);
// only the flat entry turns them into messages for the caller.

#include <exception>
#include <string>

// An engine failure with its user-visible text.
class Exception : public std::exception {
public:
  explicit Exception(std::wstring message) : Text(std::move(message)) {}
  const std::wstring& Message() const noexcept { return Text; }
  // A narrow stand-in for code that only knows std::exception.
  const char* what() const noexcept override { return "Tavrel setup engine error"; }

private:
  std::wstring Text;
};

// The user declined a confirmation: the running function stops quietly.
class EAbort : public Exception {
public:
  EAbort() : Exception(L"Operation aborted") {}
};

// The text of any exception for a message: the wide message of ours, the
// narrow one of the library's, a fixed text otherwise.
std::wstring ExceptionMessage(const std::exception& e);
