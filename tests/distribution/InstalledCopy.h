#pragma once
// Test fixture: lays out an installed copy of the product from a short
// description — the program files, the pristine copies in "DISTR\" for items
// with I, L, R or C, setup.ini, instcfg.ini and the program list file with
// the right lengths and CRC-32 values — so that checks, kit builds and
// updates can be tried on real files.
//
//   TInstalledCopy copy(dir.path() / "Program", L"5.1.2");
//   copy.Add({L"jom.exe", L"", L"I", L"main", Bytes(4000, 1)})
//       .Add({L"readme.txt", L"doc", L"", L"", "text"})
//       .Write();

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct TFixtureFile {
  std::wstring Name;  // file name, the list's first column
  std::wstring Dir;   // "Dir" value: empty, a relative folder, or ..\Common
  std::wstring St;    // status letters; "D" writes no file
  std::wstring Arc;   // "Arc" value (".zip" is added by the list reader); empty: loose
  std::string Content;
  std::wstring Extra;  // further name=value pairs, written as they stand
};

// Deterministic file content: random bytes, or text that deflates well.
std::string FixtureBytes(std::size_t size, unsigned seed, bool compressible = false);

// The CRC-32 of ZIP over the bytes, as 8 upper-case hexadecimal digits.
std::wstring FixtureCrc(const std::string& bytes);

class TInstalledCopy {
public:
  // The copy lives in programFolder (created when written); the product
  // section is "JOM", the list file "files.lst".
  explicit TInstalledCopy(std::filesystem::path programFolder, std::wstring version = L"1.0.0");

  TInstalledCopy& Add(TFixtureFile file);
  // Writes every file, kept copy and configuration file.
  void Write() const;

  // The list file's text as written (UTF-8 with a byte-order mark when a
  // name is not ASCII).
  std::string ListText() const;
  // Where the item's file and its kept copy lie.
  std::filesystem::path InstalledPath(const TFixtureFile& file) const;
  std::filesystem::path KeptCopyPath(const TFixtureFile& file) const;
  static bool HasKeptCopy(const TFixtureFile& file);

  const std::filesystem::path& Folder() const { return ProgramFolder; }
  // The folder as a Windows-style text with a trailing backslash.
  std::wstring Dir() const;
  const std::vector<TFixtureFile>& Files() const { return Items; }

  std::wstring Version;
  std::wstring ProductName = L"Tavrel";
  std::wstring ListName = L"files.lst";
  std::wstring Section = L"JOM";

private:
  std::filesystem::path ProgramFolder;
  std::vector<TFixtureFile> Items;
};

// The program list text of the files, as the fixtures write it (UTF-8 with a
// byte-order mark when a line is not ASCII).
std::string FixtureListText(const std::vector<TFixtureFile>& files);

// setup.ini of the product section with further product keys (UTF-8).
std::string FixtureSetupIni(const std::wstring& section, const std::wstring& productName, const std::wstring& version,
                            const std::wstring& listName,
                            const std::vector<std::pair<std::wstring, std::wstring>>& keys);

// Test fixture: a distribution kit from the same short description — one ZIP
// archive per "Arc" value (entries under their bare names), the loose files,
// the program list and setup.ini — with the awkward cases a kit may bring: a
// packing list of volume numbers, archives split into .z0, .z1 ... parts,
// damaged entries and entries stored under another name.
//
//   TKit kit(dir.path() / "Kit", L"5.03");
//   kit.Add({L"jom.exe", L"", L"I", L"main", FixtureBytes(4000, 1)})
//      .Add({L"readme.txt", L"doc", L"", L"", "text"})
//      .Key(L"Tmpl", L"jom")
//      .Write();
class TKit {
public:
  explicit TKit(std::filesystem::path folder, std::wstring version = L"1.0.0");

  TKit& Add(TFixtureFile file);
  // A further key of the product section of setup.ini.
  TKit& Key(std::wstring key, std::wstring value);
  // A line of packing.lst giving a file or archive part its volume number.
  TKit& Pack(std::wstring name, std::wstring disk);
  // The entry of the file is stored uncompressed with one byte of its data
  // changed, so that its CRC-32 no longer matches.
  TKit& DamageEntry(std::wstring fileName);
  // The file's entry is stored under this name instead of its bare name.
  TKit& StoreAs(std::wstring fileName, std::wstring storedName);
  // The archive (its "Arc" value) is written as parts name.z0, name.z1, ...
  // of partSize bytes instead of name.zip, each part in packing.lst with
  // the volume number firstDisk, firstDisk + 1, ...
  TKit& Split(std::wstring arc, std::size_t partSize, int firstDisk);

  // Writes the kit's files (packing.lst only when something was packed).
  void Write() const;

  std::filesystem::path ArchivePath(const std::wstring& arc) const;
  const std::filesystem::path& Folder() const { return KitFolder; }
  // The folder as a Windows-style text with a trailing backslash.
  std::wstring Dir() const;
  const std::vector<TFixtureFile>& Files() const { return Items; }

  // The list's items, with setup.ini as a loose "S" file when ListsSetupIni
  // is set (as a kit that installs a maintainable copy has it).
  std::vector<TFixtureFile> ListedFiles() const;

  std::wstring Version;
  std::wstring ProductName = L"Tavrel";
  std::wstring ListName = L"files.lst";
  // The product section (registration name of a first installation).
  std::wstring Section = L"JOM";
  bool ListsSetupIni = true;

private:
  std::string ArchiveBytes(const std::wstring& arc) const;

  std::filesystem::path KitFolder;
  std::vector<TFixtureFile> Items;
  std::vector<std::pair<std::wstring, std::wstring>> Keys;
  std::vector<std::pair<std::wstring, std::wstring>> Packing;
  std::set<std::wstring> Damaged;
  std::map<std::wstring, std::wstring> StoredNames;
  std::map<std::wstring, std::pair<std::size_t, int>> Splits;
};

}  // namespace testsupport
