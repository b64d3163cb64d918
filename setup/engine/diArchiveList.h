#pragma once
// The kit archives an install reads: one open ZIP reader per archive path,
// kept for the length of the install so that each archive's directory is
// read once however many files come out of it.

#include <string>

#include "platform/ObjList.h"
#include "setup/distribution/ZipArchive.h"

class TArchiveList : public TObjectStrings<TZipReader> {
public:
  // Case-insensitive, sorted, owning its readers; Clear closes them.
  TArchiveList();

  // Extracts the entry named fileName (stored folders ignored in the
  // search) into folder, restoring its stored folders, and returns the file
  // written. A stored path that is absolute, names a drive or climbs out of
  // folder is refused and nothing is written; that, a missing archive or
  // entry, damaged data and a bad CRC raise the archive error text.
  std::wstring Extract(const std::wstring& archive, const std::wstring& fileName, const std::wstring& folder);
  // Extracts the entry into the file target (its folders made), refusing
  // the same entries as Extract; a failed file is removed again.
  void ExtractAs(const std::wstring& archive, const std::wstring& fileName, const std::wstring& target);

private:
  // The open reader of the archive, opened on first use.
  TZipReader& Reader(const std::wstring& archive);
  TZipEntryInfo Entry(const std::wstring& archive, const std::wstring& fileName);
  void Write(const std::wstring& archive, const std::wstring& fileName, const TZipEntryInfo& info,
             const std::wstring& target);
};

// The stored path of an entry as a relative Windows path, or empty when it
// would leave the folder it is extracted into (absolute, drive, "..").
std::wstring SafeEntryPath(const std::wstring& storedName);
