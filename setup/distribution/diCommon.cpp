#include "setup/distribution/diCommon.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/ZipArchiveSystem.h"
#include "setup/distribution/diCommonSystem.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {
std::wstring UpperAscii(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  }
  return text;
}

bool SameFolderText(const std::wstring& a, const std::wstring& b) { return UpperCaseText(a) == UpperCaseText(b); }

[[noreturn]] void Raise(const std::wstring& text) { throw EMessageError(text); }

// The folder with one trailing separator: one it already ends in ("\\" or
// "/"), else the system's own, so that a folder in the native spelling
// stays native.
std::wstring WithTrailingSeparator(const std::wstring& folder) {
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder;
  return folder + static_cast<wchar_t>(std::filesystem::path::preferred_separator);
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
  return path.size() >= folder.size() && SameFolderText(path.substr(0, folder.size()), folder);
}

// A kit may not be written where it would replace what it is built from:
// into the program folder or below it, or into a folder that holds a file
// being read (the writer deletes an archive's old file first, and copies
// loose files over files of their name).
void ValidateDistrFolder(const std::wstring& distrFolder, const std::wstring& programFolder,
                         const TProgramLstFile& items) {
  if (distrFolder.size() <= 3) Raise(rsDistributionCreationInvalidDirectory1);
  const std::wstring target = FullFolder(distrFolder);
  if (!programFolder.empty()) {
    const std::wstring program = FullFolder(programFolder);
    if (StartsWithFolder(target, program + L"DISTR\\")) Raise(rsDistributionCreationInvalidDirectory3);
    if (StartsWithFolder(target, program)) Raise(rsDistributionCreationInvalidDirectory2);
  }
  for (const TProgramLstFileItem* item : items) {
    if (item->IsDeleted || item->LocalPath.empty()) continue;
    if (StartsWithFolder(FullFolder(ExtractFilePath(item->LocalPath)), target)) {
      Raise(rsDistributionCreationInvalidDirectory3);
    }
  }
}

// The threads that write archives, joined on every way out; a way out by
// an exception tells them to stop first.
class TWorkerThreads {
public:
  explicit TWorkerThreads(TSaveQueue& queue) : Queue(queue) {}
  ~TWorkerThreads() {
    if (std::uncaught_exceptions() > 0) Queue.Cancelled = true;
    for (std::thread& thread : Threads) thread.join();
  }
  std::vector<std::thread> Threads;

private:
  TSaveQueue& Queue;
};
}  // namespace

void TSaveQueue::Push(TSaveEvent event) {
  if (Sink) {
    Sink(event);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(Guard);
    Events.push_back(std::move(event));
  }
  Ready.notify_one();
}

std::vector<TSaveEvent> TSaveQueue::Wait() {
  std::unique_lock<std::mutex> lock(Guard);
  Ready.wait(lock, [this] { return !Events.empty(); });
  return std::exchange(Events, {});
}

TDIArchiveList::TDIArchiveList() : TObjectStrings<TDIArchive>(true) { SetCaseSensitive(false); }

TDIArchive& TDIArchiveList::FindOrAdd(const std::wstring& name, const std::wstring& dir) {
  int index = 0;
  if (Find(name, index)) return *Objects(index);
  auto* archive = new TDIArchive;
  archive->Name = name;
  archive->Dir = dir;
  AddObject(name, archive);
  return *archive;
}

TDIVersion::TDIVersion(const std::wstring& version, const std::wstring& listPath)
    : Version(version), ListFileName(ExtractFileName(listPath)) {
  Items.LoadFromFile(listPath, false, true);
}

void TDIVersion::Status(const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                        std::int32_t percent) {
  if (OnStatus) OnStatus(title, text1, text2, percent, Cancel);
}

void TDIVersion::Message(std::int32_t kind, const std::wstring& text) {
  if (OnMessage) {
    OnMessage(kind, text, 0);
    return;
  }
  if (kind == 0) Raise(text);
  GuiTools().ShowMessage(kind == 1 ? mkInfo : mkWarning, text, std::wstring(), false);
}

void TDIVersion::AdvanceProgress(std::int64_t bytes) {
  DoneSize = AddSizes(DoneSize, bytes);
  if (OnStatus) Status(rsDistributionCreation, L"", L"", SizePercent(DoneSize, TotalSize));
}

void TDIVersion::Prepare(const std::wstring& programFolder) {
  const std::wstring folder = IncludeTrailingBackslash(programFolder);
  for (TProgramLstFileItem* item : Items) {
    if (item->IsDeleted) continue;
    const std::wstring target = item->TargetPath(folder);
    if (item->HasStatus(L"ILRC")) {
      item->LocalPath = folder + L"DISTR\\" + item->DistrPath();
      item->InstalledPath = target;
    } else {
      item->LocalPath = target;
    }
  }
  GroupArchives();
}

void TDIVersion::GroupArchives() {
  Archives.Clear();
  for (TProgramLstFileItem* item : Items) {
    if (!item->IsDeleted && !item->Arc.empty()) Archives.FindOrAdd(item->Arc, item->Dir).Items.Add(item);
  }
}

void TDIVersion::Check() {
  const std::wstring title = FormatText(rsCheckingVersion, {std::wstring()});
  Status(title, L" ", L" ", 0);
  Message(1, FormatText(rsCheckingVersion, {Version}));
  // One reader for all items: its buffer serves every file.
  TFileCrcReader reader;
  for (int i = 0; i < Items.Count(); ++i) {
    try {
      CheckItem(i, title, reader);
    } catch (const std::exception& e) {
      Message(0, ExceptionMessage(e));
      if (Cancel) throw;
    }
  }
  Status(title, L" ", L" ", 100);
}

void TDIVersion::CheckItem(int index, const std::wstring& title, TFileCrcReader& reader) {
  if (Cancel) Raise(rsCheckingVersionInterrupted);
  const TProgramLstFileItem& item = *Items[index];
  const std::int32_t percent = PlatformTools().MulDiv(index + 1, 100, Items.Count());
  Status(title, item.LocalPath, L"", percent);
  // A long file reports again while it is read, so that a cancel ends it.
  reader.OnProgress = [&] {
    Status(title, item.LocalPath, L"", percent);
    if (Cancel) Raise(rsCheckingVersionInterrupted);
  };
  item.Verify(reader);
  Status(title, L"", L"", percent);
}

void TDIVersion::Build(const std::wstring& distrFolder, const std::wstring& programFolder,
                       const std::wstring& listName) {
  ValidateDistrFolder(distrFolder, programFolder, Items);
  const std::wstring folder = WithTrailingSeparator(distrFolder);
  ForceKitFolder(folder);

  Message(1, FormatText(rsDistributionCreationDirectory, {Version, distrFolder}));
  const std::uint64_t start = PlatformTools().GetTickCount();
  ErrorCount = 0;
  TotalSize = Items.TotalSize();
  DoneSize = 0;

  WriteArchives(folder);
  CopyLooseFiles(folder);
  Items.SaveToFile(folder + LowerCaseLatin(listName), {L"St", L"CRC", L"Len", L"Arc", L"Cond", L"Dir", L"Caption", L"Descr", L"Params"},
                   {4, 8, -8, 12, 8, 0, 0, 0, 0}, L"", Version, false);

  if (ErrorCount > 0) Raise(rsDistributionCreationWasErrors);
  Message(1, FormatText(rsDistributionCreationTime, {ElapsedText(PlatformTools().GetTickCount() - start)}));
}

// The archive the building thread reports on: its items are counted in
// the progress once each, by their size in the list.
struct TDIVersion::TArchiveProgress {
  std::size_t Archive = 0;
  std::wstring FileName;
  std::wstring Caption;
  std::vector<bool> Counted;
};

// Writes one archive on the calling thread and tells the queue what
// happens, in order; nothing escapes. A cancel drops the archive unsaved.
void TDIVersion::WriteArchive(std::size_t index, const std::wstring& distrFolder, TSaveQueue& queue) {
  try {
    const TDIArchive& archive = *Archives.Objects(static_cast<int>(index));
    std::unique_ptr<TZipWriter> writer = CreateArchiveWriter(distrFolder + LowerCaseLatin(archive.Name), false);
    writer->SetCancelFlag(&queue.Cancelled);
    writer->OnFailure = [&queue, index](const TZipFailure& failure) {
      queue.Push({TSaveEvent::Failure, index, 0, failure, nullptr});
    };
    writer->OnEntryOpening = [&queue, index](int file, const std::wstring&) {
      queue.Push({TSaveEvent::Opening, index, file, {}, nullptr});
      return !queue.Cancelled;
    };
    writer->OnEntryWritten = [&queue, index](int file, const std::wstring&, std::int64_t) {
      queue.Push({TSaveEvent::Written, index, file, {}, nullptr});
      return !queue.Cancelled;
    };
    for (const TProgramLstFileItem* item : archive.Items) {
      if (queue.Cancelled) break;
      writer->AddFile(item->LocalPath);
    }
    if (!queue.Cancelled) writer->Save();
  } catch (...) {
    queue.Push({TSaveEvent::Raised, index, 0, {}, std::current_exception()});
  }
  queue.Push({TSaveEvent::Done, index, 0, {}, nullptr});
}

// The archives are written on worker threads, several at once, while this
// thread alone reports on them one after another in name order, as they
// happen or as they happened: an archive's items are announced only once
// the archives before it are saved. A cancel or an error therefore keeps
// every archive reported as finished and drops the ones being written; an
// archive is complete or absent. Without any worker thread the archives are
// written here, one by one.
void TDIVersion::WriteArchives(const std::wstring& distrFolder) {
  const std::size_t count = static_cast<std::size_t>(Archives.Count());
  if (count == 0) return;
  TArchiveProgress progress;
  auto begin = [&](std::size_t index) {
    progress.Archive = index;
    if (index == count) return;
    const TDIArchive& archive = *Archives.Objects(static_cast<int>(index));
    progress.FileName = distrFolder + LowerCaseLatin(archive.Name);
    progress.Caption = FormatText(rsArchiveCreation, {UpperCaseText(archive.Name)});
    progress.Counted.assign(static_cast<std::size_t>(archive.Items.Count()), false);
  };
  begin(0);

  TSaveQueue queue;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; !queue.Cancelled && (i = next++) < count;) WriteArchive(i, distrFolder, queue);
  };
  TWorkerThreads workers(queue);
  const unsigned limit = WorkerLimit != 0 ? WorkerLimit : std::max(1u, std::thread::hardware_concurrency());
  for (std::size_t t = 0; t < std::min<std::size_t>(count, limit); ++t) {
    try {
      workers.Threads.push_back(StartWorker(work));
    } catch (const std::exception&) {
      break;  // the threads that did start, or this one, do the work
    }
  }

  if (workers.Threads.empty()) {
    std::exception_ptr failure;
    queue.Sink = [&](const TSaveEvent& event) {
      if (failure) return;
      try {
        if (HandleSaveEvent(event, progress)) begin(progress.Archive + 1);
      } catch (...) {
        failure = std::current_exception();
        queue.Cancelled = true;
      }
    };
    work();
    if (failure) std::rethrow_exception(failure);
    return;
  }

  // Events of archives not reported yet wait here for their turn.
  std::vector<std::vector<TSaveEvent>> pending(count);
  std::size_t handled = 0;
  while (progress.Archive < count) {
    for (TSaveEvent& event : queue.Wait()) pending[event.Archive].push_back(std::move(event));
    while (progress.Archive < count && handled < pending[progress.Archive].size()) {
      if (!HandleSaveEvent(pending[progress.Archive][handled++], progress)) continue;
      pending[progress.Archive].clear();
      handled = 0;
      begin(progress.Archive + 1);
    }
  }
}

// Reports one event of the archive in turn; true when it is finished.
// Raises when cancelled and passes on what ended the archive's writing.
bool TDIVersion::HandleSaveEvent(const TSaveEvent& event, TArchiveProgress& progress) {
  const TDIArchive& archive = *Archives.Objects(static_cast<int>(progress.Archive));
  auto count = [&](int file) {
    const std::size_t at = static_cast<std::size_t>(file);
    if (at >= progress.Counted.size() || progress.Counted[at]) return;
    progress.Counted[at] = true;
    AdvanceProgress(archive.Items[file]->Size());
  };
  switch (event.Kind) {
    case TSaveEvent::Opening:
      AdvanceProgress(0);
      if (Cancel) Raise(rsDistributionCreationInterrupted);
      Status(rsDistributionCreation, progress.Caption, UpperCaseText(archive.Items[event.File]->LocalPath), -1);
      return false;
    case TSaveEvent::Written:
      count(event.File);
      if (Cancel) Raise(rsDistributionCreationInterrupted);
      return false;
    case TSaveEvent::Failure: ReportArchiveError(archive, progress.FileName, event.Error); return false;
    case TSaveEvent::Raised: std::rethrow_exception(event.Exception);
    case TSaveEvent::Done:
      // Items that failed or that a later one of the same name replaced.
      for (int file = 0; file < archive.Items.Count(); ++file) count(file);
      Status(rsDistributionCreation, L" ", L" ", -1);
      return true;
  }
  return false;
}

void TDIVersion::CopyLooseFiles(const std::wstring& distrFolder) {
  for (TProgramLstFileItem* item : Items) {
    if (item->IsDeleted || !item->Arc.empty()) continue;
    AdvanceProgress(item->Size());
    if (Cancel) Raise(rsDistributionCreationInterrupted);
    const std::wstring target = distrFolder + LowerCaseLatin(item->FileName);
    Status(rsDistributionCreation, UpperCaseText(target), UpperCaseText(item->LocalPath), -1);
    std::uint32_t error = 0;
    if (!CopyKitFile(item->LocalPath, target, error)) {
      const std::int64_t code = error;
      Raise(FormatText(rsDistributionCreationCopyError, {code, item->LocalPath, target}));
    }
  }
}

void TDIVersion::ReportArchiveError(const TDIArchive& archive, const std::wstring& fileName,
                                    const TZipFailure& failure) {
  ++ErrorCount;
  Message(0, FormatText(rsZipArchiveMessage, {archive.Name, ZipFailureText(fileName, failure)}));
}

std::wstring ZipFailureText(const std::wstring& archiveFileName, const TZipFailure& failure) {
  std::wstring reason;
  switch (failure.Kind) {
    case TZipFailureKind::Library: reason = ZipErrorText(failure.LibraryCode); break;
    case TZipFailureKind::FileCreate:
      reason = FormatText(rsFileCreateError, {ZipSystemErrorText(failure.SystemError)});
      break;
    case TZipFailureKind::FileOpen:
      reason = FormatText(rsFileOpenError, {ZipSystemErrorText(failure.SystemError)});
      break;
  }
  if (reason.empty()) reason = rsZipUnknownError;
  std::wstring text = FormatText(rsZipErrorMessage, {UpperAscii(failure.EntryName), reason});
  if (!archiveFileName.empty()) text = FormatText(rsZipArchiveName, {archiveFileName}) + text;
  return text;
}

std::unique_ptr<TZipWriter> CreateArchiveWriter(const std::wstring& fileName, bool autoSave) {
  if (PlatformTools().FileExists(fileName)) DeleteKitFile(fileName);
  return std::make_unique<TZipWriter>(fileName, autoSave);
}
