#include "setup/engine/diBackupArchive.h"

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/ZipArchive.h"
#include "setup/distribution/diCommon.h"
#include "setup/engine/diExceptions.h"

TBackupArchive::TBackupArchive(const std::wstring& fileName, const std::wstring& baseDir,
                               const std::wstring& stageDir)
    : ArchiveName(fileName), BaseDir(IncludeTrailingBackslash(baseDir)), StageDir(IncludeTrailingBackslash(stageDir)) {
  try {
    Writer = CreateArchiveWriter(fileName, false);
  } catch (const EZipError& e) {
    throw Exception(e.Message());
  }
}

// An archive that was never saved is saved now; a failure here cannot be
// reported any more, which is why the install saves it itself.
TBackupArchive::~TBackupArchive() {
  try {
    Save();
  } catch (...) {
  }
}

std::wstring TBackupArchive::EntryName(const std::wstring& path) const {
  if (path.size() > BaseDir.size() && UpperCaseText(path.substr(0, BaseDir.size())) == UpperCaseText(BaseDir)) {
    return path.substr(BaseDir.size());
  }
  std::wstring name = RemoveChars(path, L":");
  const std::size_t start = name.find_first_not_of(L'\\');
  return start == std::wstring::npos ? std::wstring() : name.substr(start);
}

void TBackupArchive::Add(const std::wstring& path) {
  if (!Writer) return;
  const std::wstring name = EntryName(path);
  const std::wstring staged = StageDir + name;
  ForceDirectoriesQuiet(ExtractFilePath(staged));
  CheckOSResult(PlatformTools().CopyFile(path, staged, false), path);
  try {
    Writer->AddFile(staged, name);
  } catch (const EZipError& e) {
    throw Exception(e.Message());
  }
}

void TBackupArchive::Save() {
  if (!Writer) return;
  std::unique_ptr<TZipWriter> writer = std::move(Writer);
  try {
    writer->Save();
  } catch (const EZipError& e) {
    throw Exception(e.Message());
  }
}
