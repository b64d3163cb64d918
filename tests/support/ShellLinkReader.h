#pragma once
// Reads a saved shell link back through the shell's own link object, for
// tests of the code that makes shortcuts. Windows tree only.

#include <string>

#include "platform/Win.h"  // before the other system headers, which need its types

#include <objbase.h>
#include <shlobj.h>

namespace testsupport {

struct TShellLinkContents {
  std::wstring Target, Arguments, Description, WorkingFolder;
};

// False when the file cannot be loaded as a link.
inline bool ReadShellLink(const std::wstring& file, TShellLinkContents& contents) {
  const HRESULT com = ::CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  IPersistFile* persist = nullptr;
  const bool ok = SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                               reinterpret_cast<void**>(&link))) &&
                  SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
                  SUCCEEDED(persist->Load(file.c_str(), STGM_READ));
  if (ok) {
    wchar_t text[1024];
    auto read = [&](auto&& fill) {
      text[0] = 0;
      fill();
      return std::wstring(text);
    };
    contents.Target = read([&] { link->GetPath(text, 1024, nullptr, SLGP_RAWPATH); });
    contents.Arguments = read([&] { link->GetArguments(text, 1024); });
    contents.Description = read([&] { link->GetDescription(text, 1024); });
    contents.WorkingFolder = read([&] { link->GetWorkingDirectory(text, 1024); });
  }
  if (persist) persist->Release();
  if (link) link->Release();
  if (SUCCEEDED(com)) ::CoUninitialize();
  return ok;
}

}  // namespace testsupport
