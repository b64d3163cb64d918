#include "setup/engine/diKvtDistrTypes.h"

#include "setup/ui/GuiIntfTypes.h"

void TKvtDistr::DoMessage(std::int32_t kind, const std::wstring& text) {
  if (kind == mkError) ++ErrorCount;
  if (Params.OnMessage) Params.OnMessage(kind, text.c_str(), Params.UserData);
}

void TKvtDistr::DoStatus(const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                         std::int32_t percent, std::uint8_t& cancel) {
  if (Params.OnStatus) Params.OnStatus(title.c_str(), text1.c_str(), text2.c_str(), percent, &cancel, Params.UserData);
}

std::int32_t TKvtDistr::DoQuestion(const std::wstring& caption, const std::wstring& text, std::uint32_t flags) {
  if (Params.OnQuestion) return Params.OnQuestion(caption.c_str(), text.c_str(), flags, Params.UserData);
  return GuiTools().MessageBox(text, flags, caption);
}
