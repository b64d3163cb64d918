#include "setup/engine/diDistrParams.h"

#include "platform/StrTool.h"
#include "setup/distribution/KvtSetupLstFile.h"

TDistrParameters& DistrParameters() {
  static TDistrParameters parameters;
  return parameters;
}

namespace {

std::wstring TextValue(std::intptr_t value) {
  const auto* text = reinterpret_cast<const wchar_t*>(value);
  return text ? std::wstring(text) : std::wstring();
}

}  // namespace

void SetDistrParameter(const std::wstring& name, std::intptr_t value) {
  TDistrParameters& p = DistrParameters();
  if (SameTextAscii(name, L"ProgramsIniFileName") || SameTextAscii(name, L"KvtIniFileName")) {
    const std::wstring file = TextValue(value);
    p.ProgramsIniFileName = TrimText(file).empty() ? std::wstring(L"kvt.ini") : file;
  } else if (SameTextAscii(name, L"ProgramRenewFileExtension")) {
    p.ProgramRenewFileExtension = TextValue(value);
  } else if (SameTextAscii(name, L"ProgramRenewFileKeyName")) {
    p.ProgramRenewFileKeyName = TextValue(value);
  } else if (SameTextAscii(name, L"ProgramLstFilesCharCase")) {
    p.ProgramLstFilesCharCase = static_cast<std::uint8_t>(value);
    ProgramLstFilesCharCase = p.ProgramLstFilesCharCase;
  } else if (SameTextAscii(name, L"ProgramLstDirsCharCase")) {
    p.ProgramLstDirsCharCase = static_cast<std::uint8_t>(value);
    ProgramLstDirsCharCase = p.ProgramLstDirsCharCase;
  }
}
