// Whole update files from arbitrary bytes, run against a small installed
// copy (version 5.02: a main program and a file with kept copies in
// "DISTR\", files in subfolders, one outside the program folder, one in the
// system folder) on the fuzzers' machine in memory. The update is read and
// staged as the engine's update does it (ApplyUpdate over an archive made
// from the input). Every input must end in a result or a refusal; the
// installed copy must stay byte for byte as it was and nothing may be
// written outside the staging folder; an update that may be installed must
// have staged every changed file it lists, and lists only items of the new
// version with the new list among them.
//
// Input: one byte of options (1 silent, 2 continue when changed, 4 answer
// questions with yes, 8 no message callback), then the archive's entries,
// each as a name length byte, the name (one byte a character, from 0xC0 on
// Cyrillic), a 16-bit little-endian content length, a flag byte (1: the
// entry fails its CRC-32 check) and the content.
//
// UPDATE_FUZZER_SEEDS=<folder> writes the seed inputs into the folder and
// ends (tests/fuzz/corpus/UpdateFileFuzzer holds them).

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "MemoryPlatform.h"
#include "platform/Exception.h"
#include "platform/StrTool.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/TextCodec.h"
#include "setup/distribution/diPatchProgram.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "support/RenewPatchWriter.h"

namespace fs = std::filesystem;

namespace {

struct TEntry {
  std::wstring Name;
  std::string Bytes;
  bool CrcFails = false;
};

// The update file as entries in memory, found by name as in a ZIP file.
class TMemoryArchive : public TUpdateArchive {
public:
  explicit TMemoryArchive(std::vector<TEntry> entries) : Entries(std::move(entries)) {
    for (const TEntry& entry : Entries) StoredNames.push_back(EntryNameWithSlashes(entry.Name));
  }

  bool HasEntry(const std::wstring& entry) const override { return CountEntryMatches(StoredNames, entry) > 0; }

  void ReadEntry(const std::wstring& entry, TStream& stream) override {
    if (CountEntryMatches(StoredNames, entry) > 1) throw EMessageError(L"ambiguous entry " + entry);
    const std::wstring bare = ExtractFileName(EntryNameWithSlashes(entry));
    for (const TEntry& stored : Entries) {
      if (!SameTextAscii(ExtractFileName(EntryNameWithSlashes(stored.Name)), bare)) continue;
      // Like an archive that finds the damage at the end of the entry.
      stream.WriteBuffer(stored.Bytes.data(), stored.Bytes.size());
      if (stored.CrcFails) throw EEntryCrcError(L"CRC");
      return;
    }
    throw EMessageError(L"no entry " + entry);
  }

private:
  std::vector<TEntry> Entries;
  std::vector<std::wstring> StoredNames;
};

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Bytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

struct TInstalledFile {
  const wchar_t* Line;  // the list line without CRC and Len
  std::string Content;
};

const std::vector<TInstalledFile>& InstalledFiles() {
  static const std::vector<TInstalledFile> files = {
      {L"jom.exe St=Ik", Bytes(1500, 1)},
      {L"jom.dll St=o", Bytes(700, 2)},
      {L"tool.dll Dir=lib St=t", Bytes(600, 3)},
      {L"\"read me.txt\" Dir=docs", "Tavrel 5.02\r\n"},
      {L"x.dll Dir=..\\Common St=C", Bytes(400, 4)},
      {L"sys.dll St=L", Bytes(300, 5)},
      {L"old.txt", "gone in 5.03"},
  };
  return files;
}

std::wstring Crc(const std::string& bytes) {
  return CrcToHex(~UpdateCrc32(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), 0xFFFFFFFF));
}

std::wstring Widen(const std::string& bytes) {
  std::wstring text;
  for (const unsigned char c : bytes) text += c >= 0xC0 ? static_cast<wchar_t>(0x0410 + (c - 0xC0)) : wchar_t(c);
  return text;
}

// What a file or folder of the machine is as the kernel sees it; any write,
// rename, link or change of attributes changes one of these (the change
// time cannot be set back by a program).
struct TFingerprint {
  ino_t Inode = 0;
  off_t Size = 0;
  mode_t Mode = 0;
  nlink_t Links = 0;
  timespec Modified{}, Changed{};

  bool operator==(const TFingerprint& other) const {
    return Inode == other.Inode && Size == other.Size && Mode == other.Mode && Links == other.Links &&
           Modified.tv_sec == other.Modified.tv_sec && Modified.tv_nsec == other.Modified.tv_nsec &&
           Changed.tv_sec == other.Changed.tv_sec && Changed.tv_nsec == other.Changed.tv_nsec;
  }
};

bool TakeFingerprint(const fs::path& path, TFingerprint& print) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return false;
  print = {info.st_ino, info.st_size, info.st_mode, info.st_nlink, info.st_mtim, info.st_ctim};
  return true;
}

// The machine: the installed copy, its list, and what lies on the machine
// outside the staging folder.
struct TMachine {
  RefPtr<TMemoryPlatform> Platform;
  std::wstring ProgramFolder;
  std::wstring StageFolder;
  TProgramLstFile OldList;
  std::map<fs::path, std::string> Files;  // every file outside the staging folder
  std::set<fs::path> Folders;
  // Each of them as the kernel saw it after the machine was made, and an
  // inotify watch on every folder of them: a run that left no event and no
  // changed fingerprint changed nothing, and only other runs have each file
  // read and compared byte for byte.
  std::map<fs::path, TFingerprint> Prints;
  int Watches = -1;

  TMachine() {
    RefPtr<IPlatformTools> system = SetPlatformTools(nullptr);
    Platform = MakeRef<TMemoryPlatform>(MachineRoot(), system);
    SetPlatformTools(Platform);
    SetLocalization(std::make_unique<TJomLocalization>());
    ProgramFolder = Platform->PathOf(L"C:\\Program\\");
    StageFolder = Platform->PathOf(L"stage/");
    std::vector<std::wstring> lines;
    for (const TInstalledFile& file : InstalledFiles()) {
      lines.push_back(std::wstring(file.Line) + L" CRC=" + Crc(file.Content) +
                      L" Len=" + std::to_wstring(file.Content.size()));
    }
    OldList.FileName = ProgramFolder + L"files.lst";
    OldList.LoadFromLines(lines);
    for (int i = 0; i < OldList.Count(); ++i) {
      const TProgramLstFileItem& item = *OldList[i];
      const std::string& content = InstalledFiles()[static_cast<std::size_t>(i)].Content;
      WriteBytes(fs::path(item.TargetPath(ProgramFolder)), content);
      if (item.HasStatus(L"ILRC")) WriteBytes(fs::path(ProgramFolder + L"DISTR\\" + item.DistrPath()), content);
    }
    std::string list;
    for (const std::wstring& line : lines) list += WideToUtf8(line) + "\r\n";
    WriteBytes(fs::path(OldList.FileName), list);
    WriteBytes(fs::path(ProgramFolder + L"setup.ini"),
               "[Products]\r\nProduct1=JOM\r\n[JOM]\r\nProductName1=Tavrel\r\nVersion=5.02\r\nFilesLst=files.lst\r\n");
    fs::create_directories(fs::path(StageFolder));
    Snapshot(Files, Folders);
    Watch();
  }

  static fs::path MachineRoot() {
    const fs::path shm = "/dev/shm";
    std::error_code error;
    const fs::path base = fs::is_directory(shm, error) ? shm : fs::temp_directory_path();
    return base / ("tavrel-update-fuzzer-" + std::to_string(::getpid()));
  }

  // Every file (with its bytes) and folder below the root but outside the
  // staging folder.
  void Snapshot(std::map<fs::path, std::string>& files, std::set<fs::path>& folders) const {
    const fs::path stage = fs::path(StageFolder).parent_path();
    for (auto it = fs::recursive_directory_iterator(Platform->Root); it != fs::recursive_directory_iterator(); ++it) {
      if (it->path() == stage) {
        it.disable_recursion_pending();
        continue;
      }
      if (it->is_directory()) {
        folders.insert(it->path());
      } else {
        files[it->path()] = FileBytes(it->path());
      }
    }
  }

  // Without inotify every run is compared in full.
  void Watch() {
    Watches = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    constexpr std::uint32_t changes = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                      IN_DELETE_SELF | IN_MOVE_SELF | IN_MOVED_FROM | IN_MOVED_TO;
    std::vector<fs::path> watched(Folders.begin(), Folders.end());
    watched.push_back(Platform->Root);
    for (const fs::path& folder : watched) {
      if (Watches >= 0 && ::inotify_add_watch(Watches, folder.c_str(), changes) < 0) {
        ::close(Watches);
        Watches = -1;
      }
    }
    // The stamps of a file changed within the clock tick that wrote it
    // could equal those taken now: the first run starts a tick later.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (const auto& [path, bytes] : Files) TakeFingerprint(path, Prints[path]);
    for (const fs::path& path : Folders) TakeFingerprint(path, Prints[path]);
    TakeFingerprint(Platform->Root, Prints[Platform->Root]);
  }

  // True when no watch saw a change and every fingerprint is as it was.
  bool Untouched() const {
    if (Watches < 0) return false;
    alignas(inotify_event) char events[4096];
    bool quiet = true;
    while (::read(Watches, events, sizeof events) > 0) quiet = false;
    if (!quiet) return false;
    for (const auto& [path, print] : Prints) {
      TFingerprint now;
      if (!TakeFingerprint(path, now) || !(now == print)) return false;
    }
    return true;
  }

  void Check() const {
    if (Untouched()) return;
    std::map<fs::path, std::string> files;
    std::set<fs::path> folders;
    Snapshot(files, folders);
    if (files != Files || folders != Folders) std::abort();
  }

  // Empties the staging folder; the folder itself stays, so that the
  // folder holding it sees no change.
  void ClearStage() const {
    const fs::path stage(StageFolder);
    std::vector<fs::path> staged;
    std::error_code error;
    for (auto it = fs::directory_iterator(stage, error); !error && it != fs::directory_iterator(); ++it)
      staged.push_back(it->path());
    for (const fs::path& path : staged) fs::remove_all(path);
    if (error) {
      fs::remove_all(stage);
      fs::create_directories(stage);
    }
  }

  ~TMachine() {
    if (Watches >= 0) ::close(Watches);
    std::error_code ignored;
    fs::remove_all(Platform->Root, ignored);
  }
};

TMachine& Machine() {
  static TMachine machine;
  return machine;
}

std::vector<TEntry> ReadEntries(const std::uint8_t* data, std::size_t size, std::size_t position) {
  std::vector<TEntry> entries;
  while (position < size) {
    const std::size_t nameLength = data[position++];
    if (size - position < nameLength + 3) break;
    TEntry entry;
    entry.Name = Widen(std::string(reinterpret_cast<const char*>(data + position), nameLength));
    position += nameLength;
    std::size_t length = data[position] | (std::size_t{data[position + 1]} << 8);
    entry.CrcFails = (data[position + 2] & 1) != 0;
    position += 3;
    length = std::min(length, size - position);
    entry.Bytes.assign(reinterpret_cast<const char*>(data + position), length);
    position += length;
    entries.push_back(std::move(entry));
  }
  return entries;
}

void RunUpdate(const std::uint8_t* data, std::size_t size) {
  TMachine& machine = Machine();
  const std::uint8_t options = size > 0 ? data[0] : 0;
  TMemoryArchive archive(ReadEntries(data, size, 1));
  TProgramLstFile newList;
  TProgramLstFileItems changed;
  const bool yes = (options & 4) != 0;
  const TRenewStatusEvent status = [](const std::wstring&, const std::wstring&, const std::wstring&, std::int32_t,
                                      std::uint8_t&) {};
  TRenewMessageEvent message;
  if ((options & 8) == 0) message = [](std::int32_t, const std::wstring&) {};
  const TRenewQuestionEvent question = [yes](const std::wstring&, const std::wstring&, std::uint32_t) {
    return yes ? 6 : 7;
  };
  bool result = false;
  try {
    result = ApplyUpdate(archive, machine.ProgramFolder, L"5.02", machine.StageFolder, machine.OldList, newList,
                         changed, status, message, question, (options & 1) != 0, (options & 2) != 0);
  } catch (const std::exception&) {
    result = false;
  }
  if (result) {
    bool listStaged = false;
    for (int i = 0; i < changed.Count(); ++i) {
      const TProgramLstFileItem* item = changed.Objects(i);
      if (newList.IndexOf(const_cast<TProgramLstFileItem*>(item)) < 0) std::abort();
      if (item == newList.Last()) listStaged = true;
      // An item whose attributes changed alone has no staged file.
      if (item->AttributesChanged) continue;
      std::error_code error;
      if (!fs::is_regular_file(fs::path(StagedPath(machine.StageFolder, item->DistrPath())), error)) std::abort();
    }
    if (!listStaged) std::abort();
  }
  machine.Check();
  machine.ClearStage();
}

// Seeds: updates of the installed copy to 5.03 as an update file carries
// them, one of them whole, the others each trying one kind of damage.
void WriteSeeds(const fs::path& folder) {
  using testsupport::MakePatch;
  const auto& files = InstalledFiles();
  const std::string exe503 = files[0].Content.substr(0, 1200) + Bytes(500, 11);
  const std::string tool503 = Bytes(650, 12);
  const std::string exePatch = MakePatch(files[0].Content, exe503, 256, false).Serialize();
  const std::string toolPatch = MakePatch(files[2].Content, tool503, 128, true).Serialize();
  const std::string dll503 = Bytes(720, 13);
  const std::string list =
      "jom.exe St=Ik CRC=" + WideToUtf8(Crc(exe503)) + " Len=" + std::to_string(exe503.size()) +
      "\r\njom.dll St=o\r\ntool.dll Dir=lib St=t\r\n\"read me.txt\" Dir=docs St=t\r\nx.dll Dir=..\\Common St=C\r\n"
      "sys.dll St=L\r\nold.txt St=D\r\nnew.txt Dir=docs\\more\r\n";
  const std::string setupIni =
      "[Products]\r\nProduct1=JOM\r\n[JOM]\r\nProductName1=Tavrel\r\nVersion=5.03\r\nFilesLst=files.lst\r\n";
  const std::string commands =
      "Version 5.02 5.03\r\nRenew jom.rdf jom.exe\r\nCopy jom.dll\r\nRenew \"tool patch.rdf\" lib\\tool.dll\r\n"
      "Change \"docs\\read me.txt\"\r\nRenew empty.rdf x.dll\r\nCopy docs\\more\\new.txt\r\nCopy setup.ini\r\n";
  const auto encode = [](std::uint8_t options, const std::vector<TEntry>& entries) {
    std::string bytes(1, static_cast<char>(options));
    for (const TEntry& entry : entries) {
      const std::string name = WideToUtf8(entry.Name);
      bytes += static_cast<char>(name.size());
      bytes += name;
      bytes += static_cast<char>(entry.Bytes.size() & 0xFF);
      bytes += static_cast<char>(entry.Bytes.size() >> 8);
      bytes += static_cast<char>(entry.CrcFails ? 1 : 0);
      bytes += entry.Bytes;
    }
    return bytes;
  };
  const std::vector<TEntry> whole = {{L"renew.cmd", commands},  {L"setup.ini", setupIni}, {L"files.lst", list},
                                     {L"jom.rdf", exePatch},    {L"jom.dll", dll503},     {L"tool patch.rdf", toolPatch},
                                     {L"empty.rdf", ""},        {L"docs/more/new.txt", "new in 5.03"}};
  fs::create_directories(folder);
  WriteBytes(folder / "whole", encode(1, whole));
  WriteBytes(folder / "asked", encode(4, whole));
  std::vector<TEntry> damaged = whole;
  damaged[3].CrcFails = true;
  damaged[4].Bytes.clear();
  WriteBytes(folder / "damaged", encode(6, damaged));
  std::vector<TEntry> mismatch = whole;
  mismatch[0].Bytes = "Version 5.01 5.03\r\nCopy ..\\..\\evil.txt\r\nCopy \"C:\\Windows\\win.ini\"\r\nCopy jom.dll\r\n";
  mismatch[2].Bytes += "..\\..\\evil.txt\r\n";
  WriteBytes(folder / "mismatch", encode(4, mismatch));
  WriteBytes(folder / "twice", encode(2, {{L"renew.cmd", "Copy jom.dll\r\nCopy jom.dll\r\nCopy new.txt\r\n"},
                                          {L"files.lst", "jom.dll\r\nnew.txt\r\n"}, {L"jom.dll", dll503}}));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* seeds = std::getenv("UPDATE_FUZZER_SEEDS")) {
    Machine();
    WriteSeeds(seeds);
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RunUpdate(data, size);
  return 0;
}
