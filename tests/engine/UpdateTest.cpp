// sfUpdate through the flat entry: a copy of version 5.02 installed from a
// fixture kit is brought to 5.03 by an update file made here (a patched
// file with a kept copy, a whole new file, an attribute change, a patched
// kept-copy file, a deleted file, the new setup.ini and list), whole or in
// volumes; and every update that fails leaves the installed copy as it was.

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "InstallHarness.h"
#include "InstalledCopy.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/ZipArchive.h"
#include "setup/distribution/diPatchProgramZip.h"
#include "support/RegistryKeys.h"
#include "support/RenewPatchWriter.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const std::string Exe502 = FixtureBytes(30000, 1);
const std::string Dll502 = FixtureBytes(20000, 2);
const std::string Tool502 = FixtureBytes(8000, 3);
const std::string Readme = FixtureBytes(2000, 4, true);
const std::string UserIni = "[Server]\r\nPort=9090\r\n";

std::string Changed(std::string bytes, unsigned seed) {
  for (std::size_t i = seed; i < bytes.size(); i += 997) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  return bytes + "appended in 5.03";
}
const std::string Exe503 = Changed(Exe502, 7);
const std::string Dll503 = FixtureBytes(21000, 12);
const std::string Tool503 = Changed(Tool502, 3);
const std::string Skin502 = "[Skin]\r\nName=grey\r\n";
const std::string Skin503 = "[Skin]\r\nName=blue\r\n";

// The kit of one version: 5.02, or 5.03 with its changes.
TKit VersionKit(const TInstallFolders& folders, const fs::path& folder, const std::wstring& version) {
  const bool next = version != L"5.02";
  TKit kit(folder, version);
  kit.Section = folders.Section;
  kit.Key(L"TargetGroup", folders.Group).Key(L"Tmpl", L"jom");
  // Program files carry "o" so that an update replaces them; skin.cfg has no
  // such letter, so the user's copy of it stays.
  kit.Add({L"jom.exe", L"", L"Iko", L"main", next ? Exe503 : Exe502, L""})
      .Add({L"jom.dll", L"", L"o", L"main", next ? Dll503 : Dll502, L""})
      .Add({L"tool.dll", L"lib", L"to", L"main", next ? Tool503 : Tool502, L""})
      .Add({L"skin.cfg", L"", L"", L"", next ? Skin503 : Skin502, L""})
      .Add({L"readme.txt", L"docs", next ? L"t" : L"", L"", Readme, L""})
      .Add({L"jom.ini", L"", L"R", L"", UserIni, L""})
      .Add({L"old.txt", L"", next ? L"D" : L"", L"", next ? "" : "gone in 5.03", L""});
  return kit;
}

// One entry of an update file.
struct TEntry {
  std::wstring Name;
  std::string Bytes;
};

// The update file 5.02 -> 5.03 as its entries; spoil may change them.
std::vector<TEntry> UpdateEntries(const TKit& next) {
  const std::string commands =
      "Version 5.02 5.03\r\n"
      "Renew jom.rdf jom.exe\r\n"
      "Copy jom.dll\r\n"
      "Copy skin.cfg\r\n"
      "Change docs\\readme.txt\r\n"
      "Renew \"tool patch.rdf\" lib\\tool.dll\r\n"
      "Copy setup.ini\r\n";
  return {
      {L"renew.cmd", commands},
      {L"setup.ini", ReadFile(next.Folder() / "setup.ini")},
      {L"files.lst", ReadFile(next.Folder() / "files.lst")},
      {L"jom.rdf", MakePatch(Exe502, Exe503, 1000, true).Serialize()},
      {L"tool patch.rdf", MakePatch(Tool502, Tool503, 500, false).Serialize()},
      {L"jom.dll", Dll503},
      {L"skin.cfg", Skin503},
  };
}

void WriteUpdate(const fs::path& file, const std::vector<TEntry>& entries) {
  const fs::path sources = file.parent_path() / (file.filename().string() + ".entries");
  fs::create_directories(sources);
  {
    TZipWriter writer(file.wstring(), false);
    for (const TEntry& entry : entries) {
      const fs::path source = sources / entry.Name;
      WriteFile(source, entry.Bytes);
      writer.AddFile(source.wstring(), entry.Name);
    }
    ASSERT_TRUE(writer.Save());
  }
  fs::remove_all(sources);
}

std::string& EntryOf(std::vector<TEntry>& entries, const std::wstring& name) {
  for (TEntry& entry : entries) {
    if (entry.Name == name) return entry.Bytes;
  }
  ADD_FAILURE() << "no entry " << fs::path(name).string();
  static std::string none;
  return none;
}

// Every file below the folder with its content and attributes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : FilesUnder(folder)) {
    const DWORD attributes = ::GetFileAttributesW((folder / name).wstring().c_str());
    files[name] = std::to_string(attributes) + ":" + ReadFile(folder / name);
  }
  return files;
}

std::wstring Profile(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
  wchar_t value[1024];
  ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"<none>", value, 1024, file.c_str());
  return value;
}

DWORD DwordValue(const std::wstring& key, const std::wstring& name) {
  DWORD value = 0, size = sizeof value;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) != 0)
    return 0xFFFFFFFF;
  return value;
}

std::wstring InfoTip(const std::wstring& program) {
  const std::wstring tip = Profile(program + L"desktop.ini", L".ShellClassInfo.W", L"InfoTip");
  const std::string utf7(tip.begin(), tip.end());
  std::wstring decoded(utf7.size(), L'\0');
  decoded.resize(static_cast<std::size_t>(::MultiByteToWideChar(
      CP_UTF7, 0, utf7.data(), static_cast<int>(utf7.size()), decoded.data(), static_cast<int>(decoded.size()))));
  return decoded;
}

bool HasMessage(const TEngineRun& run, std::int32_t kind, const std::wstring& text) {
  return std::find(run.Messages.begin(), run.Messages.end(), std::make_pair(kind, text)) != run.Messages.end();
}

// Version 5.02 installed from its kit, and the kit of 5.03 beside it (the
// source of the new list and setup.ini).
struct TInstalled502 {
  explicit TInstalled502(const std::string& tag, bool backupFiles = false)
      : Folders(tag), Next(VersionKit(Folders, Folders.Root() / "Kit503", L"5.03")) {
    TKit kit = VersionKit(Folders, Folders.KitPath(), L"5.02");
    kit.Write();
    Next.Write();
    TEngineRun run;
    run.Automatic = true;
    EXPECT_EQ(run.Install(kit.Dir(), Folders.Program()), -1) << testing::PrintToString(run.Errors());
    if (backupFiles) {
      const std::wstring config = Folders.Program() + L"instcfg.ini";
      ::WritePrivateProfileStringW(Folders.Section.c_str(), L"BackupFiles", L"1", config.c_str());
    }
  }

  // Runs sfUpdate on the installed copy with the file.
  std::int32_t Update(TEngineRun& run, const fs::path& file) const {
    const std::wstring name = file.wstring();
    return run.Execute(Folders.Program(), sfUpdate, const_cast<wchar_t*>(name.c_str()));
  }

  fs::path UpdateFile(const std::string& name) const { return Folders.Root() / name; }

  TInstallFolders Folders;
  TKit Next;
};

TEST(Update, AGoodUpdateInstallsTheNewVersionAndItsRecords) {
  const TInstalled502 installed("upd-good", true);
  const TInstallFolders& folders = installed.Folders;
  const fs::path program = folders.ProgramPath();
  const std::string oldList = ReadFile(program / "files.lst");
  // The user's own settings, which the update leaves alone.
  WriteFile(program / "jom.ini", "[Server]\r\nPort=1234\r\n");
  const fs::path file = installed.UpdateFile("upd.tvi");
  WriteUpdate(file, UpdateEntries(installed.Next));

  TEngineRun run;
  run.Automatic = true;
  EXPECT_EQ(installed.Update(run, file), -1) << testing::PrintToString(run.Errors());
  EXPECT_TRUE(run.Errors().empty()) << testing::PrintToString(run.Errors());

  // Every file of 5.03 byte for byte, the kept copies refreshed, the
  // deleted file gone; the user's files as the user left them (skin.cfg
  // has no letter that lets an update replace it).
  const std::map<std::string, std::string> expected = {
      {"jom.exe", Exe503},          {"jom.dll", Dll503},
      {"lib/tool.dll", Tool503},    {"docs/readme.txt", Readme},
      {"DISTR/jom.exe", Exe503},    {"DISTR/lib/tool.dll", Tool503},
      {"DISTR/jom.ini", UserIni},   {"DISTR/docs/readme.txt", Readme},
      {"jom.ini", "[Server]\r\nPort=1234\r\n"}, {"skin.cfg", Skin502},
      {"setup.ini", ReadFile(installed.Next.Folder() / "setup.ini")},
      {"files.lst", ReadFile(installed.Next.Folder() / "files.lst")},
  };
  for (const auto& [name, bytes] : expected) EXPECT_EQ(ReadFile(program / name), bytes) << name;
  EXPECT_FALSE(fs::exists(program / "old.txt"));

  EXPECT_TRUE(HasMessage(run, mkInfo, L"Обновление с версии 5.02 на версию 5.03"));
  const auto timed = std::find_if(run.Messages.begin(), run.Messages.end(), [](const auto& m) {
    return m.first == mkInfo && m.second.rfind(L"Время обновления: ", 0) == 0 && m.second.size() >= 22 &&
           m.second.substr(m.second.size() - 3) == L" мс";
  });
  EXPECT_NE(timed, run.Messages.end());

  // The records name the new version.
  const std::wstring entry = UninstallKey(folders.Section);
  EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayVersion"), L"5.03");
  EXPECT_EQ(DwordValue(entry, L"VersionMajor"), 5u);
  EXPECT_EQ(DwordValue(entry, L"VersionMinor"), 3u);
  EXPECT_EQ(InfoTip(folders.Program()), L"Tavrel (версия: 5.03)");
  EXPECT_EQ(Profile(folders.ProgramsIni(), folders.Section, L"Version"), L"5.03");

  // "BackupFiles": the installed list, the user file and what was replaced.
  const fs::path backups = program / "$BACKUP$";
  ASSERT_EQ(FilesUnder(backups), std::vector<std::string>{"jom502503.bak"});
  TZipReader backup((backups / "jom502503.bak").wstring());
  std::vector<std::wstring> names;
  for (int i = 0; i < backup.EntryCount(); ++i) names.push_back(ReplaceChar(backup.EntryName(i), L'\\', L'/'));
  std::sort(names.begin(), names.end());
  const std::vector<std::wstring> backedUp = {L"DISTR/jom.exe", L"DISTR/lib/tool.dll", L"files.lst", L"jom.dll",
                                              L"jom.exe",       L"jom.ini",            L"lib/tool.dll",
                                              L"setup.ini"};
  EXPECT_EQ(names, backedUp);
  TMemoryStream saved;
  backup.ExtractToStream(L"files.lst", saved);
  EXPECT_EQ(std::string(saved.Bytes().begin(), saved.Bytes().end()), oldList);
}

TEST(Update, VolumesAreJoinedOrTheWholeFileBesideThemIsUsed) {
  const struct {
    const char* Name;
    std::vector<std::string> Files;  // written: the good update, or its volumes
    std::string Given;
    bool Good;
  } cases[] = {
      {"a volume with the whole file beside it", {"upd.tvi", "upd.tv1:garbage"}, "upd.tv1", true},
      {"three volumes", {"upd.tv1:0", "upd.tv2:1", "upd.tv3:2"}, "upd.tv1", true},
      {"a name ending in a digit with its whole file", {"upd5.tvi"}, "upd5", true},
      {"a name ending in a digit with its volumes", {"upd5.tv1:0", "upd5.tv2:1", "upd5.tv3:2"}, "upd5", true},
      {"a name ending in a digit without volumes", {"upd5"}, "upd5", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TInstalled502 installed("upd-vol");
    const fs::path staging = installed.UpdateFile("whole.zip");
    WriteUpdate(staging, UpdateEntries(installed.Next));
    const std::string whole = ReadFile(staging);
    fs::remove(staging);
    // Volumes of equal size but the last, which is shorter.
    const std::size_t part = whole.size() / 3 + 1;
    for (const std::string& entry : c.Files) {
      const std::size_t colon = entry.find(':');
      const std::string name = entry.substr(0, colon);
      std::string bytes = whole;
      if (colon != std::string::npos) {
        const std::string what = entry.substr(colon + 1);
        bytes = what == "garbage" ? "not an update" : whole.substr(std::stoul(what) * part, part);
      }
      WriteFile(installed.UpdateFile(name), bytes);
    }
    const auto before = Snapshot(installed.Folders.ProgramPath());
    TEngineRun run;
    run.Automatic = true;
    const std::int32_t result = installed.Update(run, installed.UpdateFile(c.Given));
    if (c.Good) {
      EXPECT_EQ(result, -1) << testing::PrintToString(run.Errors());
      EXPECT_EQ(ReadFile(installed.Folders.ProgramPath() / "jom.exe"), Exe503);
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(run.Errors(), std::vector<std::wstring>{L"Ошибка сборки файла обновления"});
      EXPECT_EQ(Snapshot(installed.Folders.ProgramPath()), before);
    }
  }
}

// A failed update: what is spoiled, the answer to questions, the errors.
struct TFailure {
  const char* Name;
  std::function<void(std::vector<TEntry>&, const TInstalled502&)> Spoil;
  bool Automatic;
  std::int32_t Answer;
  std::vector<std::wstring> Errors;  // "{program}" stands for the program folder, "{update}" for the file
  std::vector<std::wstring> Questions;
  bool CancelAtFirstCommand = false;
};

std::wstring Expand(std::wstring text, const std::wstring& program, const std::wstring& update) {
  for (const auto& [key, value] : {std::pair<std::wstring, std::wstring>{L"{program}", program}, {L"{update}", update}}) {
    for (std::size_t at = text.find(key); at != std::wstring::npos; at = text.find(key)) text.replace(at, key.size(), value);
  }
  return text;
}

TEST(Update, EveryFailedUpdateLeavesTheInstalledCopyAsItWas) {
  const std::wstring mismatch = L"Файл обновления предназначен для версии 5.01, установлена версия 5.02.";
  const TFailure cases[] = {
      {"version mismatch, automatic",
       [](auto& e, auto&) { EntryOf(e, L"renew.cmd").replace(8, 4, "5.01"); }, true, 0, {mismatch}, {}},
      {"version mismatch answered No",
       [](auto& e, auto&) { EntryOf(e, L"renew.cmd").replace(8, 4, "5.01"); }, false, IDNO, {L"Operation aborted"},
       {mismatch + L" Выполнить обновление ?"}},
      {"a damaged patch of a k file is critical",
       [](auto& e, auto&) { EntryOf(e, L"jom.rdf")[80] ^= 0x33; }, false, IDYES,
       {L"{program}DISTR\\jom.exe: ?",
        L"При обновлении файлов были критичные ошибки, обновление программы невозможно"},
       {}},
      {"a missing whole file answered No",
       [](auto& e, auto&) { std::erase_if(e, [](const TEntry& x) { return x.Name == L"jom.dll"; }); }, false, IDNO,
       {L"?: Файл jom.dll не найден в файле обновления"},
       {L"При обновлении файлов были ошибки - 1. Продолжить обновление ?"}},
      {"a patch of an installed file that changed, automatic",
       [](auto&, const TInstalled502& i) { WriteFile(i.Folders.ProgramPath() / "lib" / "tool.dll", "edited"); },
       true, 0, {L"{program}lib\\tool.dll: Неверная длина исходного файла ({program}lib\\tool.dll)"}, {}},
      {"no new list",
       [](auto& e, auto&) {
         EntryOf(e, L"setup.ini") = "[Products]\r\nProduct1=X\r\n[X]\r\nFilesLst=other.lst\r\n";
       },
       true, 0,
       {L"Файл other.lst не найден в файле обновления, возможно файл обновления от другой программы"}, {}},
      {"no command file", [](auto& e, auto&) { e.erase(e.begin()); }, true, 0,
       {L"Файл renew.cmd не найден в файле обновления"}, {}},
      {"a new list that stages outside the work folder",
       [](auto& e, auto&) {
         EntryOf(e, L"files.lst") += "\r\nevil.dll Dir=C:\\Windows\r\n";
         EntryOf(e, L"renew.cmd") += "Copy C:\\Windows\\evil.dll\r\n";
         e.push_back({L"evil.dll", "evil"});
       },
       true, 0, {L"?в файле обновления выходит за пределы каталога обновления"}, {}},
      {"cancelled at the first command", [](auto&, auto&) {}, true, 0,
       {L"Обновление файлов прервано пользователем"}, {}, true},
      {"not an update file", [](auto& e, auto&) { e.clear(); }, true, 0, {L"?"}, {}},
  };
  for (const TFailure& c : cases) {
    SCOPED_TRACE(c.Name);
    const TInstalled502 installed("upd-fail");
    std::vector<TEntry> entries = UpdateEntries(installed.Next);
    c.Spoil(entries, installed);
    const fs::path file = installed.UpdateFile("upd.tvi");
    if (entries.empty()) {
      WriteFile(file, "PK but not really");
    } else {
      WriteUpdate(file, entries);
    }
    const fs::path program = installed.Folders.ProgramPath();
    const auto before = Snapshot(program);
    const std::wstring entry = UninstallKey(installed.Folders.Section);
    const auto versionBefore = ReadStringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayVersion");

    TEngineRun run;
    run.Automatic = c.Automatic;
    run.Answer = [&](const TQuestionCall&) { return c.Answer; };
    if (c.CancelAtFirstCommand)
      run.CancelAt = [](const TStatusCall& call) { return call.Title == L"Обновление файлов" && call.Percent == 0; };
    EXPECT_EQ(installed.Update(run, file), 0);
    const std::vector<std::wstring> errors = run.Errors();
    ASSERT_EQ(errors.size(), c.Errors.size()) << testing::PrintToString(errors);
    for (std::size_t i = 0; i < errors.size(); ++i) {
      const std::wstring expected = Expand(c.Errors[i], installed.Folders.Program(), file.wstring());
      // "?" stands for any text; a trailing "?" for a text the error ends with.
      if (expected == L"?") continue;
      const std::size_t any = expected.find(L'?');
      if (any == 0) {
        EXPECT_EQ(errors[i].substr(errors[i].size() - std::min(errors[i].size(), expected.size() - 1)),
                  expected.substr(1));
      } else if (any == expected.size() - 1) {
        EXPECT_EQ(errors[i].substr(0, expected.size() - 1), expected.substr(0, expected.size() - 1));
      } else {
        EXPECT_EQ(errors[i], expected);
      }
    }
    std::vector<std::wstring> questions;
    for (const TQuestionCall& q : run.Questions) questions.push_back(q.Text);
    EXPECT_EQ(questions, c.Questions);
    EXPECT_EQ(Snapshot(program), before);
    EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayVersion"), versionBefore);
  }
}

// The install takes each staged file away as it copies it: a file that two
// commands name must be installed once, not fail half-way on its second copy.
TEST(Update, AFileNamedByTwoCommandsIsInstalledOnce) {
  const TInstalled502 installed("upd-twice");
  std::vector<TEntry> entries = UpdateEntries(installed.Next);
  EntryOf(entries, L"renew.cmd") += "Copy jom.dll\r\nRenew jom.rdf jom.exe\r\n";
  const fs::path file = installed.UpdateFile("upd.tvi");
  WriteUpdate(file, entries);
  TEngineRun run;
  run.Automatic = true;
  EXPECT_EQ(installed.Update(run, file), -1) << testing::PrintToString(run.Errors());
  const fs::path program = installed.Folders.ProgramPath();
  EXPECT_EQ(ReadFile(program / "jom.exe"), Exe503);
  EXPECT_EQ(ReadFile(program / "jom.dll"), Dll503);
  EXPECT_EQ(ReadFile(program / "lib" / "tool.dll"), Tool503);
}

TEST(Update, WithQuestionsYesUpdatesAMismatchedVersion) {
  const TInstalled502 installed("upd-yes");
  std::vector<TEntry> entries = UpdateEntries(installed.Next);
  EntryOf(entries, L"renew.cmd").replace(8, 4, "5.01");
  const fs::path file = installed.UpdateFile("upd.tvi");
  WriteUpdate(file, entries);
  TEngineRun run;
  run.Answer = [](const TQuestionCall& q) {
    EXPECT_EQ(q.Caption, L"Программа установки");
    EXPECT_EQ(q.Flags, 36u);
    return IDYES;
  };
  EXPECT_EQ(installed.Update(run, file), -1) << testing::PrintToString(run.Errors());
  ASSERT_EQ(run.Questions.size(), 1u);
  EXPECT_EQ(ReadFile(installed.Folders.ProgramPath() / "jom.exe"), Exe503);
  EXPECT_EQ(ReadFile(installed.Folders.ProgramPath() / "jom.dll"), Dll503);
}

TEST(Update, RefusesAMissingOrUnnamedFile) {
  const TInstalled502 installed("upd-none");
  const auto before = Snapshot(installed.Folders.ProgramPath());
  const fs::path missing = installed.UpdateFile("missing.tvi");
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"  ", L"Не указан файл обновления"},
      {missing.wstring(), L"Файл обновления \"" + missing.wstring() + L"\" не существует"},
  };
  for (const auto& [name, error] : cases) {
    TEngineRun run;
    run.Automatic = true;
    EXPECT_EQ(run.Execute(installed.Folders.Program(), sfUpdate, const_cast<wchar_t*>(name.c_str())), 0);
    EXPECT_EQ(run.Errors(), std::vector<std::wstring>{error});
  }
  EXPECT_EQ(Snapshot(installed.Folders.ProgramPath()), before);
}

TEST(ZipFile, FindsEntriesByPathOrBareNameAndRefusesAmbiguousOrDamagedOnes) {
  TempDir dir("zipfile");
  TKit kit(dir.path() / "Kit");
  kit.Add({L"a.txt", L"", L"", L"upd", "in a folder", L""})
      .Add({L"x1", L"", L"", L"upd", "first x", L""})
      .Add({L"x2", L"", L"", L"upd", "second x", L""})
      .Add({L"bad.bin", L"", L"", L"upd", FixtureBytes(500, 9), L""})
      .StoreAs(L"a.txt", L"www/a.txt")
      .StoreAs(L"x1", L"one/x.txt")
      .StoreAs(L"x2", L"two/x.txt")
      .DamageEntry(L"bad.bin")
      .Write();
  TZipFile zip(kit.ArchivePath(L"upd").wstring());
  const struct {
    std::wstring Entry;
    std::string Content;  // empty: refused with the error
    std::wstring Error;
  } cases[] = {
      {L"a.txt", "in a folder", L""},
      {L"www\\a.txt", "in a folder", L""},
      {L"WWW/A.TXT", "in a folder", L""},
      {L"other\\a.txt", "", L"Файл other\\a.txt не найден в файле обновления"},
      {L"x.txt", "", L"Файл x.txt встречается в файле обновления несколько раз"},
      {L"two\\x.txt", "", L"Файл two\\x.txt встречается в файле обновления несколько раз"},
      {L"bad.bin", "", L"Ошибка проверки CRC-32 файла bad.bin"},
      {L"none", "", L"Файл none не найден в файле обновления"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(fs::path(c.Entry).string());
    TMemoryStream stream;
    try {
      zip.ExtractToStream(c.Entry, stream);
      EXPECT_EQ(std::string(stream.Bytes().begin(), stream.Bytes().end()), c.Content);
      EXPECT_EQ(stream.Position(), 0);
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.Error);
    }
  }
}

}  // namespace
