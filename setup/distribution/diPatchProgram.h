#pragma once
// Update files: a ZIP archive that takes an installed version to the next
// one with a command file "renew.cmd", the new program list, whole new files
// and block patches. The commands are read and run into a staging folder,
// from which the install pipeline then copies the changed files. The update
// file comes from outside: every path it gives is kept inside the staging
// folder. Platform-neutral: the archive is reached through TUpdateArchive.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ObjList.h"
#include "setup/distribution/KvtSetupLstFile.h"
#include "setup/distribution/Stream.h"

// An entry's content that fails the CRC-32 its archive records.
class EEntryCrcError : public Exception {
public:
  using Exception::Exception;
};

// The entries of an update file.
class TUpdateArchive {
public:
  virtual ~TUpdateArchive() = default;

  // True when the archive has an entry of that name.
  virtual bool HasEntry(const std::wstring& entry) const = 0;
  // Writes the entry's content to the stream; EEntryCrcError when the
  // content fails its CRC-32, the archive's own errors otherwise.
  virtual void ReadEntry(const std::wstring& entry, TStream& stream) = 0;

  // The entry's content into the stream, which is rewound afterwards (also
  // on failure). A missing entry raises rsRenewFileNotFound, a CRC failure
  // rsRenewFileCrcFailed, both naming the entry.
  void ExtractToStream(const std::wstring& entry, TStream& stream);
  // The entry into a file (replacing one), written beside it and renamed
  // over it when whole: a failed extraction leaves the file as it was.
  void ExtractToFile(const std::wstring& entry, const std::wstring& fileName);
};

// How many of an update file's stored entry names (folders separated by
// "/") the entry names: an entry is named by its stored path ("\\" or "/")
// or by its bare name, ASCII case ignored. The archive layer reads entries
// by bare name, so the count is that of the stored entries with the entry's
// bare name; 0 when the entry names none. More than one is ambiguous.
int CountEntryMatches(const std::vector<std::wstring>& storedNames, const std::wstring& entry);
// The path with every "\\" written as "/", as entry names are stored.
std::wstring EntryNameWithSlashes(std::wstring path);

// Writes a staged file through write, beside it first and renamed over it
// when write ended: a failure raises and leaves the file as it was.
void WriteStagedFile(const std::wstring& fileName, const std::function<void(TStream& file)>& write);

// Progress: an empty text keeps its line, " " clears it, percent -1 keeps
// the bar; setting cancel stops the update before its next command.
using TRenewStatusEvent = std::function<void(const std::wstring& title, const std::wstring& text1,
                                             const std::wstring& text2, std::int32_t percent, std::uint8_t& cancel)>;
// Kind 0 an error, 1 an information line.
using TRenewMessageEvent = std::function<void(std::int32_t kind, const std::wstring& text)>;
// A question with message-box flags; returns the pressed button.
using TRenewQuestionEvent =
    std::function<std::int32_t(const std::wstring& caption, const std::wstring& text, std::uint32_t flags)>;

// The file at relative below stageFolder, written with the platform's
// separator ("\" and "/" in relative both separate). Refused (EMessageError
// naming relative) unless it stays inside the staging folder: no drive, no
// stream name, no ".." or other dots-only part, not empty.
std::wstring StagedPath(const std::wstring& stageFolder, const std::wstring& relative);

// One command of the command file.
class TRenewCmdItem {
public:
  virtual ~TRenewCmdItem() = default;
  // Stages the new file (or marks its attributes); true when the file
  // changed. Raises on failure.
  virtual bool Execute(TUpdateArchive& zip) = 0;

  std::wstring Entry;       // archive entry
  std::wstring SourceFile;  // the installed file a patch starts from
  std::wstring TargetFile;  // the staged file
  TProgramLstFileItem* Item = nullptr;  // of the new list, not owned
};

// "Copy": the entry is the whole new file.
class TCopyRenewCmdItem : public TRenewCmdItem {
public:
  bool Execute(TUpdateArchive& zip) override;
};

// "Renew": the entry is a block patch of the installed file; an installed
// file that already is the new one does not count as changed. A patch of a
// kept copy that already is new still stages it when the installed file is
// not the same (an update stopped between the two), so that it is
// installed.
class TPatchRenewCmdItem : public TRenewCmdItem {
public:
  bool Execute(TUpdateArchive& zip) override;

  std::wstring InstalledFile;  // the installed file when SourceFile is its kept copy
};

// "Change": only the list attributes of the file changed.
class TChangeCmdItem : public TRenewCmdItem {
public:
  bool Execute(TUpdateArchive& zip) override;
};

// The commands of one update file, in file order (owned), with what they
// need to run.
class TRenewCmdFile : public TObjectList<TRenewCmdItem> {
public:
  TRenewCmdFile() : TObjectList<TRenewCmdItem>(true) {}

  // Extracts the new list (named by the update's setup.ini, else as the
  // installed one) into StageFolder, loads it into NewList with its own
  // item and adds that item to ChangedList; rsUpdatingFilesLstNotFound when
  // the archive lacks it.
  void LoadNewList();
  // Parses "renew.cmd" of the archive into commands; rsRenewFileNotFound
  // without it.
  void LoadCommands();
  // Parses the command file's bytes (a byte-order mark selects UTF-8 or
  // UTF-16, else the ANSI code page) into commands against NewList and
  // OldList. A target outside StageFolder refuses the file.
  void LoadCommands(const std::string& bytes);
  // Goes on when the update is for InstalledVersion; otherwise raises the
  // mismatch when Silent, else asks and ends with EAbort on No.
  void CheckVersion();
  // Runs every command, counting failures in ErrorWeight (1000 for "k"
  // files, else 1); true when the staged files may be installed. Raises
  // rsUpdatingFilesInterrupted when cancelled, rsUpdatingFilesCriticalErrors
  // after a failed "k" file.
  bool Execute();
  // A yes/no question: false when Silent, else the answer.
  bool Confirm(const std::wstring& text);

  bool Silent = false;
  int ErrorWeight = 0;
  std::wstring FromVersion, ToVersion;
  bool ContinueWhenChanged = false;
  std::wstring StageFolder;    // where the new files are staged
  std::wstring ProgramFolder;  // with a trailing backslash
  std::wstring InstalledVersion;
  TUpdateArchive* Zip = nullptr;           // not owned
  const TProgramLstFile* OldList = nullptr;  // the installed list
  TProgramLstFile* NewList = nullptr;      // filled here
  TProgramLstFileItems* ChangedList = nullptr;  // filled here
  TRenewMessageEvent OnMessage;
  TRenewStatusEvent OnStatus;
  TRenewQuestionEvent OnQuestion;
  std::uint8_t Cancel = 0;

private:
  void Status(const std::wstring& title, const std::wstring& text1, const std::wstring& text2, std::int32_t percent);
  void Message(std::int32_t kind, const std::wstring& text);
  void AddCommand(const std::wstring& word, const std::wstring& argument, const std::wstring& path);
};

// Splits one command line into tokens: runs of characters above code 32,
// or texts in double quotes (without the quotes, no escapes).
std::vector<std::wstring> RenewCommandTokens(const std::wstring& line);

// Runs the commands of an opened update file into stageFolder: the new list
// and the staged files end up in newList and changedList. True when the
// update may be installed; raises on errors, EAbort when the user refuses
// a version that does not fit.
bool ApplyUpdate(TUpdateArchive& zip, const std::wstring& programFolder, const std::wstring& installedVersion,
                 const std::wstring& stageFolder, const TProgramLstFile& oldList, TProgramLstFile& newList,
                 TProgramLstFileItems& changedList, const TRenewStatusEvent& onStatus,
                 const TRenewMessageEvent& onMessage, const TRenewQuestionEvent& onQuestion, bool silent,
                 bool continueWhenChanged);
