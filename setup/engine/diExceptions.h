#pragma once
// Exceptions of the engine. Their messages are catalogue texts; only the
// flat entry turns them into messages for the caller.

#include <exception>
#include <string>

#include "setup/messages/FormatText.h"

// An engine failure with its user-visible text.
class Exception : public EMessageError {
public:
  explicit Exception(std::wstring message) : EMessageError(std::move(message)) {}
  const std::wstring& Message() const noexcept { return Text(); }
};

// The user declined a confirmation: the running function stops quietly.
class EAbort : public Exception {
public:
  EAbort() : Exception(L"Operation aborted") {}
};

// The text of any exception for a message: the wide text of ours and of the
// platform's, the UTF-8 text of any other.
std::wstring ExceptionMessage(const std::exception& e);
