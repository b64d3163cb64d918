#include "setup/engine/diEngineUi.h"

#include "platform/Win.h"
#include "setup/messages/SystemRuntimeMessages.h"

void ShowEngineErrorMessage(const std::wstring& text) {
  ::MessageBoxW(nullptr, text.c_str(), rsCaptionError.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

std::int32_t EngineMessageBox(const std::wstring& text, std::uint32_t flags, const std::wstring& caption) {
  return ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags | MB_TASKMODAL);
}
