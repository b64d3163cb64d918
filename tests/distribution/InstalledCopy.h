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
#include <string>
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

private:
  std::filesystem::path ProgramFolder;
  std::vector<TFixtureFile> Items;
};

}  // namespace testsupport
