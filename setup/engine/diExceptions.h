#pragma once
// Exceptions of the engine. They derive from the common base Exception,
// whose message is a catalogue text; only the flat entry turns them into
// messages for the caller (ExceptionMessage).

#include <string>

#include "platform/Exception.h"

// The user declined a confirmation: the running function stops quietly.
class EAbort : public Exception {
public:
  EAbort() : Exception(L"Operation aborted") {}
};
