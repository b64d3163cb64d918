#include "setup/distribution/diPatchProgramZip.h"

#include <zip.h>

#include "platform/StrTool.h"
#include "setup/messages/FormatText.h"

TZipFile::TZipFile(const std::wstring& fileName) : Reader(fileName) {
  const int count = Reader.EntryCount();
  for (int i = 0; i < count; ++i) StoredNames.push_back(EntryNameWithSlashes(Reader.EntryName(i)));
}

int TZipFile::Matches(const std::wstring& entry) const { return CountEntryMatches(StoredNames, entry); }

bool TZipFile::HasEntry(const std::wstring& entry) const { return Matches(entry) > 0; }

void TZipFile::ReadEntry(const std::wstring& entry, TStream& stream) {
  if (Matches(entry) > 1)
    throw EMessageError(FormatText(L"Файл %s встречается в файле обновления несколько раз", {entry}));
  try {
    Reader.ExtractToStream(ExtractFileName(EntryNameWithSlashes(entry)), stream);
  } catch (const EZipError& e) {
    if (e.ZipCode() == ZIP_ER_CRC) throw EEntryCrcError(e.Message());
    throw;
  }
}

bool ApplyUpdateFile(const std::wstring& programFolder, const std::wstring& installedVersion,
                     const std::wstring& updateFileName, const std::wstring& stageFolder,
                     const TProgramLstFile& oldList, TProgramLstFile& newList, TProgramLstFileItems& changedList,
                     const TRenewStatusEvent& onStatus, const TRenewMessageEvent& onMessage,
                     const TRenewQuestionEvent& onQuestion, bool silent, bool continueWhenChanged) {
  TZipFile zip(updateFileName);
  return ApplyUpdate(zip, programFolder, installedVersion, stageFolder, oldList, newList, changedList, onStatus,
                     onMessage, onQuestion, silent, continueWhenChanged);
}
