// setup.ini from arbitrary bytes, read through TSetupIniFile the way the
// engine and the dialog read it: the product named by [Products], every key
// of the product section (the language section first), the boolean keys.
// Every input must be read without fault, and the store written back as
// text must read again to the same values (a kit built from an installed
// copy carries its setup.ini on).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/StrTool.h"
#include "setup/engine/SetupIniFile.h"

namespace {

const std::wstring LanguageCode = L"$00000409";

const wchar_t* const ProductKeys[] = {
    L"TargetGroup", L"AfterInstall", L"AfterInstallInfo", L"BeforeDelete", L"BeforeDeleteInfo",
    L"BeforeInstall", L"BeforeInstallInfo", L"MainFile", L"Comments", L"ProductName1",
    L"Version", L"FilesLst", L"Tmpl", L"Url", L"Publisher",
    L"HelpTelephone", L"URLInfoAbout", L"HelpLink", L"URLUpdateInfo", L"DefaultDir",
    L"GenDistrBeforeUpgrade", L"UnregOleFiles"};

// What the engine and the dialog take from the file, as one list of texts.
std::vector<std::wstring> EngineView(const TSetupIniFile& ini) {
  std::vector<std::wstring> view;
  const std::wstring product = TrimText(ini.ReadString(L"Products", L"Product1", L""));
  view.push_back(product);
  view.push_back(ini.SectionExists(product) ? L"1" : L"0");
  for (const wchar_t* key : ProductKeys) view.push_back(ini.ReadString(product, key, L"\x1F"));
  for (const wchar_t* key : {L"GenDistrBeforeUpgrade", L"UnregOleFiles"}) {
    view.push_back(ini.ReadBool(product, key, false) ? L"1" : L"0");
    view.push_back(ini.ReadBool(product, key, true) ? L"1" : L"0");
  }
  return view;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TSetupIniFile ini(L"", LanguageCode);
  ini.SetStrings(SplitUtf8Lines(std::string(reinterpret_cast<const char*>(data), size)));
  const std::vector<std::wstring> view = EngineView(ini);

  // The product section's own values with a language section present or not.
  const std::wstring product = view[0];
  for (const wchar_t* key : ProductKeys) {
    const std::wstring own = ini.TMemIniFile::ReadString(product, key, L"\x1F");
    const std::wstring read = ini.ReadString(product, key, L"\x1F");
    if (!ini.ValueExists(LanguageCode, key) && read != own) std::abort();
  }

  // Written back as text and read again, the file says the same.
  const std::vector<std::wstring> written = ini.GetStrings();
  TSetupIniFile reread(L"", LanguageCode);
  reread.SetStrings(written);
  if (EngineView(reread) != view) std::abort();
  if (reread.GetStrings() != written) std::abort();
  return 0;
}
