#pragma once
// The message boxes the engine falls back on when its caller gave no
// callback for them.

#include <cstdint>
#include <string>

// A modal error box (caption "Ошибка") with text.
void ShowEngineErrorMessage(const std::wstring& text);
// A modal message box with the message-box flags; returns the pressed button.
std::int32_t EngineMessageBox(const std::wstring& text, std::uint32_t flags, const std::wstring& caption);
