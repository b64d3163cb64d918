#pragma once
// The backup archive of an upgrade: the user files and the files an install
// replaces, stored under their paths relative to the program folder. Each
// file is copied aside the moment it is added, since the install overwrites
// it before the archive is written at the end.

#include <memory>
#include <string>

class TZipWriter;

class TBackupArchive {
public:
  // A new archive fileName (an existing one is deleted first; raises the
  // system's text with the name when it cannot be); the copies wait in
  // stageDir, which the caller empties after Save.
  TBackupArchive(const std::wstring& fileName, const std::wstring& baseDir, const std::wstring& stageDir);
  ~TBackupArchive();
  TBackupArchive(const TBackupArchive&) = delete;
  TBackupArchive& operator=(const TBackupArchive&) = delete;

  const std::wstring& FileName() const { return ArchiveName; }
  // The name a file is stored under: its path relative to the base folder
  // (letter case ignored), else the path without its drive colon and
  // leading backslashes, so that every stored name is relative.
  std::wstring EntryName(const std::wstring& path) const;
  // Copies the file aside and adds it under EntryName; raises the system's
  // text with the name, or the archive layer's, when that fails.
  void Add(const std::wstring& path);
  // Writes the archive (nothing when no file was added) and closes it;
  // raises the archive layer's text on failure. Later calls do nothing.
  void Save();

private:
  std::wstring ArchiveName;
  std::wstring BaseDir;
  std::wstring StageDir;
  std::unique_ptr<TZipWriter> Writer;
};
