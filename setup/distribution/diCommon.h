#pragma once
// One installed version as a whole: checking its files against the program
// list, and building a distribution kit from it (one ZIP archive per "Arc"
// value, loose files, a new list). Also the layout rules that installation
// and update share: kept copies in "DISTR\", the ZIP writer settings, the
// program-folder validation and the texts of archive errors.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ObjList.h"
#include "setup/distribution/KvtSetupLstFile.h"
#include "setup/distribution/ZipArchive.h"

// One archive of a kit and the list items packed in it, in list order.
class TDIArchive {
public:
  std::wstring Name;  // the "Arc" value, with ".zip"
  TObjectList<TProgramLstFileItem> Items{false};
  std::wstring Dir;  // the "Dir" value of its first item
};

// The archives of a version by name: sorted, case-insensitive, owning.
class TDIArchiveList : public TObjectStrings<TDIArchive> {
public:
  TDIArchiveList();
  // The archive of that name, made with dir when there is none yet.
  TDIArchive& FindOrAdd(const std::wstring& name, const std::wstring& dir);
};

// Progress: an empty text keeps its line, " " clears it, percent -1 keeps
// the bar; setting cancel asks the running operation to stop.
using TDIStatusEvent = std::function<void(const std::wstring& title, const std::wstring& text1,
                                          const std::wstring& text2, std::int32_t percent, std::uint8_t& cancel)>;
// Kind 0 an error, 1 an information line; data is 0.
using TDIMessageEvent = std::function<void(std::int32_t kind, const std::wstring& text, std::intptr_t data)>;

// What the writing of one archive on a worker thread tells the building
// thread, in the order it happens.
struct TSaveEvent {
  enum TKind { Opening, Written, Failure, Raised, Done } Kind;
  std::size_t Archive;
  int File = 0;                  // Opening, Written: the item's place in its archive
  TZipFailure Error{};           // Failure
  std::exception_ptr Exception;  // Raised: what ended the archive's writing
};

// Hands save events from worker threads to the building thread; Cancelled
// tells the workers to stop.
class TSaveQueue {
public:
  void Push(TSaveEvent event);
  // Waits for at least one event and takes all that arrived.
  std::vector<TSaveEvent> Wait();
  std::atomic<bool> Cancelled{false};
  // When set, Push hands each event to it at once on the pushing thread.
  std::function<void(const TSaveEvent&)> Sink;

private:
  std::mutex Guard;
  std::condition_variable Ready;
  std::vector<TSaveEvent> Events;
};

class TDIVersion {
public:
  // Loads the list at listPath (without an item for the list itself).
  TDIVersion(const std::wstring& version, const std::wstring& listPath);

  // Locates every file under programFolder (kept copies in "DISTR\" for
  // items with I, L, R or C) and groups the archived items by archive.
  void Prepare(const std::wstring& programFolder);
  // Groups the archived items that are not deleted by archive, for files
  // already located (LocalPath set) by the caller instead of by Prepare.
  void GroupArchives();
  // Verifies every item; each bad file is one error message. Raises
  // rsCheckingVersionInterrupted when cancelled.
  void Check();
  // Writes a kit of the prepared version into distrFolder. Refuses a drive
  // root, programFolder or a folder below it, and a folder that holds a file
  // being read; archive errors are counted and end it with
  // rsDistributionCreationWasErrors; other errors raise at once.
  void Build(const std::wstring& distrFolder, const std::wstring& programFolder, const std::wstring& listName);

  TDIArchiveList Archives;
  TDIStatusEvent OnStatus;
  int ErrorCount = 0;
  std::int64_t TotalSize = 0;
  std::int64_t DoneSize = 0;
  std::wstring Version;
  std::wstring ListFileName;
  TProgramLstFile Items;
  TDIMessageEvent OnMessage;
  // Starts one of the threads that write the archives; raises
  // std::system_error when the system cannot (the build then goes on with
  // the threads it has, or on its own thread).
  std::function<std::thread(std::function<void()>)> StartWorker = [](std::function<void()> work) {
    return std::thread(std::move(work));
  };
  // The most archives written at once; 0 for one per processor.
  unsigned WorkerLimit = 0;

private:
  struct TArchiveProgress;
  void Status(const std::wstring& title, const std::wstring& text1, const std::wstring& text2, std::int32_t percent);
  void Message(std::int32_t kind, const std::wstring& text);
  void AdvanceProgress(std::int64_t bytes);
  void CheckItem(int index, const std::wstring& title, TFileCrcReader& reader);
  void WriteArchive(std::size_t index, const std::wstring& distrFolder, TSaveQueue& queue);
  void WriteArchives(const std::wstring& distrFolder);
  bool HandleSaveEvent(const TSaveEvent& event, TArchiveProgress& progress);
  void CopyLooseFiles(const std::wstring& distrFolder);
  void ReportArchiveError(const TDIArchive& archive, const std::wstring& fileName, const TZipFailure& failure);

  std::uint8_t Cancel = 0;
};

// (Windows tree.) Raises rsInstallDirectoryNotSpecified for an empty folder and
// rsInstallDirectoryInvalid for a drive or share root or a folder of the
// system or of all users (Windows, system, Program Files, the profiles
// folder and each profile in it, common application data, desktops and
// documents), which an uninstall would remove whole.
void ValidateProgramFolder(const std::wstring& folder);

// Deletes an existing file of that name (raising the system's text and the
// name when that fails) and returns a new writer: deflate at the highest
// level, entries under their bare names.
std::unique_ptr<TZipWriter> CreateArchiveWriter(const std::wstring& fileName, bool autoSave);

// The text of an archive writer's failure: "Архив: <archive>; " (when the
// writer's file is known) + "Файл: <ENTRY>; Сообщение: <reason>".
std::wstring ZipFailureText(const std::wstring& archiveFileName, const TZipFailure& failure);
