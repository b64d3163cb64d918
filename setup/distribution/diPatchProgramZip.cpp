#include "setup/distribution/diPatchProgramZip.h"

#include <zip.h>

#include "platform/StrTool.h"
#include "setup/messages/FormatText.h"

namespace {
std::wstring WithSlashes(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'\\') c = L'/';
  }
  return path;
}
}  // namespace

TZipFile::TZipFile(const std::wstring& fileName) : Reader(fileName) {
  const int count = Reader.EntryCount();
  for (int i = 0; i < count; ++i) StoredNames.push_back(WithSlashes(Reader.EntryName(i)));
}

int TZipFile::Matches(const std::wstring& entry) const {
  const std::wstring wanted = WithSlashes(entry);
  const std::wstring bare = ExtractFileName(wanted);
  bool named = false;
  int sameBareName = 0;
  for (const std::wstring& stored : StoredNames) {
    if (SameTextAscii(stored, wanted)) named = true;
    if (SameTextAscii(ExtractFileName(stored), bare)) ++sameBareName;
  }
  // A bare name finds the entry in any folder; a path only its own entry.
  if (!named && bare != wanted) return 0;
  return sameBareName;
}

bool TZipFile::HasEntry(const std::wstring& entry) const { return Matches(entry) > 0; }

void TZipFile::ReadEntry(const std::wstring& entry, TStream& stream) {
  if (Matches(entry) > 1)
    throw EMessageError(FormatText(L"Файл %s встречается в файле обновления несколько раз", {entry}));
  try {
    Reader.ExtractToStream(ExtractFileName(WithSlashes(entry)), stream);
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
