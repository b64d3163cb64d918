#pragma once
// Distribution kits for jompack: reading one (setup.ini, the program list,
// the files from their archives or loose), and writing one from a folder of
// files with the distribution model's own kit builder, as sfBuildKit does.

#include <map>
#include <memory>
#include <string>

#include "setup/distribution/KvtSetupLstFile.h"
#include "setup/distribution/ZipArchive.h"

// The product configuration of a kit or of a folder: setup.ini's
// [Products] "Product1" and that section's keys.
struct TProductConfig {
  std::wstring Product;  // the product's section
  std::wstring ProductName;
  std::wstring Version;
  std::wstring ListName;  // "FilesLst"; may be empty
};

// Reads setup.ini at path; EPackError(ExitInput) naming it when it is
// missing or names no product.
TProductConfig ReadProductConfig(const std::wstring& path);

// A kit opened for reading. Its list is loaded without the list's own item.
class TPackKit {
public:
  // EPackError(ExitInput) when the folder, its setup.ini or its list is
  // missing or unreadable.
  explicit TPackKit(const std::wstring& folder);

  // The file of the item: from its archive, else loose in the kit; checked
  // against the list's length and CRC-32. EPackError(ExitInput) naming the
  // kit's file when it is missing or differs.
  std::string FileBytes(const TProgramLstFileItem& item);
  // Whether path is one of the files the kit is read from (setup.ini, the
  // list, an archive or a loose file).
  bool HoldsFile(const std::wstring& path) const;

  std::wstring Folder;  // with a trailing separator
  TProductConfig Config;
  std::wstring SetupIniPath;
  std::wstring ListPath;
  TProgramLstFile List;

private:
  std::wstring KitFile(const std::wstring& name) const;
  std::map<std::wstring, std::unique_ptr<TZipReader>> Archives;
};

// jompack kit: a kit in kitFolder of the files of folder as listList lists
// them, with folder's setup.ini. The files must match the list.
int MakeKit(const std::wstring& folder, const std::wstring& listFile, const std::wstring& kitFolder);
