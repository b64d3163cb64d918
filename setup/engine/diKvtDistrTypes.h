#pragma once
// The adapter of one ExecuteSetupFunction call: turns the session's
// callbacks into the caller's flat callbacks and counts the errors.

#include <cstdint>
#include <string>

#include "setup/engine/KvtDistr.h"

class TKvtDistr {
public:
  TKvtDistr(const TSetupFunctionParams& params, std::wstring folder) : Params(params), Folder(std::move(folder)) {}

  // Counts mkError messages, then hands the message on when OnMessage is set.
  void DoMessage(std::int32_t kind, const std::wstring& text);
  // Hands progress on when OnStatus is set; otherwise nothing (cancel stays).
  void DoStatus(const std::wstring& title, const std::wstring& text1, const std::wstring& text2, std::int32_t percent,
                std::uint8_t& cancel);
  // The caller's answer, or the engine's own message box when OnQuestion is null.
  std::int32_t DoQuestion(const std::wstring& caption, const std::wstring& text, std::uint32_t flags);

  TSetupFunctionParams Params;
  std::int32_t ErrorCount = 0;
  std::wstring Folder;
};
