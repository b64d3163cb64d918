#include "setup/messages/LocalizationStartup.h"

#include "setup/messages/JomLocalizationTypes.h"

std::wstring LocalizationProblemText(const TJomLocalization& localization) {
  if (localization.LoadError.empty()) return {};
  return L"Файл локализации \"" + localization.FileName +
         L"\" повреждён. Программа использует встроенные тексты на русском языке.";
}
