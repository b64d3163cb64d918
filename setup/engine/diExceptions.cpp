#include "setup/engine/diExceptions.h"

std::wstring ExceptionMessage(const std::exception& e) {
  if (const auto* ours = dynamic_cast<const Exception*>(&e)) return ours->Message();
  const std::string narrow = e.what();
  return std::wstring(narrow.begin(), narrow.end());
}
