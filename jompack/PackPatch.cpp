#include "jompack/PackPatch.h"

#include "jompack/PackConsole.h"
#include "jompack/PackFiles.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/diPatchMaker.h"
#include "setup/distribution/diRenewFiles.h"

int MakePatchFile(const std::wstring& oldFile, const std::wstring& newFile, const std::wstring& patchFile) {
  const std::string oldBytes = ReadWholeFile(oldFile);
  const std::string newBytes = ReadWholeFile(newFile);
  TOutputFile out(patchFile);
  std::string patch;
  {
    TProgressLine progress(L"diff");
    try {
      patch = MakeRenewPatch(oldBytes, newBytes, 0, [&](int percent) { progress.Show(percent); });
    } catch (const std::exception& e) {
      RaiseInput(L"cannot make a patch of " + oldFile + L" and " + newFile + L": " + ExceptionMessage(e));
    }
  }
  out.Write(patch);
  out.Commit();
  PrintLine(L"patch of " + std::to_wstring(patch.size()) + L" bytes written to " + out.Target());
  return ExitOk;
}

int ApplyPatchFile(const std::wstring& oldFile, const std::wstring& patchFile, const std::wstring& newFile) {
  if (!IsFile(oldFile)) RaiseInput(L"file not found: " + oldFile);
  const std::string patch = ReadWholeFile(patchFile);
  // An empty patch means "copy the old file", which needs no check.
  if (patch.empty()) RaiseInput(L"the patch is empty: " + patchFile);
  // ApplyPatch itself writes through a temporary file and leaves the target
  // untouched on every failure.
  TOutputFile target(newFile);
  bool alreadyNew = false;
  {
    TProgressLine progress(L"patch");
    TMemoryStream stream(std::vector<std::uint8_t>(patch.begin(), patch.end()));
    try {
      alreadyNew = ApplyPatch(PathText(FsPath(oldFile)), target.Target(), stream,
                              [&](int percent) { progress.Show(percent); });
    } catch (const std::exception& e) {
      RaiseInput(L"cannot apply " + patchFile + L" to " + oldFile + L": " + ExceptionMessage(e));
    }
  }
  if (alreadyNew) {
    // Nothing to patch: the new file is the old one.
    target.Write(ReadWholeFile(oldFile));
    target.Commit();
    PrintLine(oldFile + L" already is the patched file; copied to " + target.Target());
    return ExitOk;
  }
  PrintLine(L"patched file written to " + target.Target());
  return ExitOk;
}
