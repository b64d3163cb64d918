#include "setup/engine/diExceptions.h"

#include <cstring>

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"

namespace {
constexpr std::uint32_t CodePageUtf8 = 65001;
}

std::wstring ExceptionMessage(const std::exception& e) {
  if (const auto* message = dynamic_cast<const EMessageError*>(&e)) return message->Text();
  if (const auto* os = dynamic_cast<const EOSError*>(&e)) return os->Message();
  const char* text = e.what();
  return PlatformTools().BytesToUnicode(text, static_cast<int>(std::strlen(text)), CodePageUtf8);
}
