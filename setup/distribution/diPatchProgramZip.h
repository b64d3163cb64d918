#pragma once
// The update file as a ZIP archive, and the entry point of an update: open
// the archive, check and stage the new version.

#include <string>
#include <vector>

#include "setup/distribution/ZipArchive.h"
#include "setup/distribution/diPatchProgram.h"

// An update file opened for reading (EZipError when it is missing or not a
// ZIP archive). An entry is named by its stored path ("\\" or "/") or by
// its bare name, ASCII case ignored. The archive layer reads entries by
// bare name, so an entry whose bare name another entry shares is refused
// rather than read from the wrong one.
class TZipFile : public TUpdateArchive {
public:
  explicit TZipFile(const std::wstring& fileName);

  bool HasEntry(const std::wstring& entry) const override;
  void ReadEntry(const std::wstring& entry, TStream& stream) override;

private:
  // How many stored entries have the bare name of entry; 0 when entry
  // names none.
  int Matches(const std::wstring& entry) const;

  TZipReader Reader;
  std::vector<std::wstring> StoredNames;
};

// Opens updateFileName and runs its commands into stageFolder (ApplyUpdate):
// true when the staged files in changedList may be installed. Raises on
// errors, EAbort when the user refuses a version that does not fit.
bool ApplyUpdateFile(const std::wstring& programFolder, const std::wstring& installedVersion,
                     const std::wstring& updateFileName, const std::wstring& stageFolder,
                     const TProgramLstFile& oldList, TProgramLstFile& newList, TProgramLstFileItems& changedList,
                     const TRenewStatusEvent& onStatus, const TRenewMessageEvent& onMessage,
                     const TRenewQuestionEvent& onQuestion, bool silent, bool continueWhenChanged);
