#pragma once
// Files and folders of jompack's commands: native spellings of the lists'
// "\"-separated paths, whole-file reads, outputs written under a temporary
// name and renamed only when complete, and scratch folders.

#include <cstdint>
#include <filesystem>
#include <string>

// The path in the spelling of the system: "\" and "/" both separate.
std::filesystem::path FsPath(const std::wstring& path);
std::wstring PathText(const std::filesystem::path& path);
// folder joined with a "\"-separated path of a list.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& relative);
// The folder with the system's separator at its end.
std::wstring WithSeparator(const std::wstring& folder);

bool IsFolder(const std::wstring& path);
bool IsFile(const std::wstring& path);
// Whether both name the same existing file (another spelling or a link).
bool SameFile(const std::wstring& a, const std::wstring& b);
// The file's bytes; EPackError(ExitInput) naming it when it cannot be read.
std::string ReadWholeFile(const std::wstring& path);
// Seconds since 1970 of the file's last write; 0 when unknown.
std::int64_t FileWriteTime(const std::wstring& path);

// A name in the folder of path that no other file or run takes, for a file
// written or moved aside there until it is renamed or removed.
std::wstring TemporaryNameBeside(const std::wstring& path);

// An output file: written under a temporary name beside the target and
// renamed over it by Commit; removed again when the command fails before.
class TOutputFile {
public:
  explicit TOutputFile(std::wstring target);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  const std::wstring& Path() const { return Temporary; }
  const std::wstring& Target() const { return Final; }
  // Writes bytes to the temporary file; EPackError(ExitFailed) on failure.
  void Write(const std::string& bytes);
  // Renames the temporary file over the target.
  void Commit();

private:
  std::wstring Final;
  std::wstring Temporary;
  bool Committed = false;
};

// A scratch folder of its own, removed with everything in it.
class TScratchFolder {
public:
  // Made beside near (a file or folder that is written), or in the
  // system's temporary folder when near is empty.
  explicit TScratchFolder(const std::wstring& near = std::wstring());
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;
  // With a trailing separator.
  const std::wstring& Path() const { return Folder; }

private:
  std::wstring Folder;
};

// Writes bytes to a new file (folders made); EPackError(ExitFailed).
void WriteWholeFile(const std::wstring& path, const std::string& bytes);
