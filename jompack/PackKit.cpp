#include "jompack/PackKit.h"

#include <filesystem>
#include <system_error>

#include "jompack/PackConsole.h"
#include "jompack/PackFiles.h"
#include "platform/StrTool.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/TextCodec.h"
#include "setup/distribution/diCommon.h"
#include "setup/engine/SetupIniFile.h"

namespace fs = std::filesystem;

namespace {
std::wstring MessageOf(const std::exception& e) {
  if (const auto* pack = dynamic_cast<const EPackError*>(&e)) return pack->Text;
  return ExceptionMessage(e);
}

// Loads a list file; EPackError(ExitInput) naming it when it cannot be read.
void LoadList(TProgramLstFile& list, const std::wstring& path) {
  if (!IsFile(path)) RaiseInput(L"list file not found: " + path);
  try {
    list.LoadFromFile(path, false, true);
  } catch (const std::exception& e) {
    RaiseInput(L"cannot read the list " + path + L": " + ExceptionMessage(e));
  }
}

std::uint32_t BytesCrc(const std::string& bytes) { return ~UpdateCrc32(bytes.data(), bytes.size(), 0xFFFFFFFFu); }

// Makes room for the kit: the folder may not exist yet or be empty.
void ClaimKitFolder(const fs::path& kit) {
  std::error_code error;
  if (!fs::exists(kit, error)) return;
  if (!fs::is_directory(kit, error) || !fs::is_empty(kit, error))
    RaiseInput(L"the kit folder exists and is not empty: " + PathText(kit));
}
}  // namespace

TProductConfig ReadProductConfig(const std::wstring& path) {
  const std::string bytes = ReadWholeFile(path);
  TMemIniFile ini;
  ini.SetStrings(SplitUtf8Lines(bytes));
  TProductConfig config;
  config.Product = TrimText(ini.ReadString(L"Products", L"Product1", L""));
  if (config.Product.empty()) RaiseInput(path + L" names no product ([Products] Product1)");
  config.ProductName = TrimText(ini.ReadString(config.Product, L"ProductName1", L""));
  config.Version = TrimText(ini.ReadString(config.Product, L"Version", L""));
  config.ListName = ExtractFileName(TrimText(ini.ReadString(config.Product, L"FilesLst", L"")));
  return config;
}

TPackKit::TPackKit(const std::wstring& folder) {
  if (!IsFolder(folder)) RaiseInput(L"kit folder not found: " + folder);
  Folder = WithSeparator(folder);
  SetupIniPath = Folder + L"setup.ini";
  Config = ReadProductConfig(SetupIniPath);
  if (Config.ListName.empty()) RaiseInput(SetupIniPath + L" names no list file (FilesLst)");
  ListPath = KitFile(Config.ListName);
  LoadList(List, ListPath);
}

std::wstring TPackKit::KitFile(const std::wstring& name) const {
  const std::wstring asWritten = Folder + name;
  if (IsFile(asWritten)) return asWritten;
  // The kit builder writes every name in lower case.
  return Folder + LowerCaseLatin(name);
}

std::string TPackKit::FileBytes(const TProgramLstFileItem& item) {
  std::string bytes;
  std::wstring source;
  if (!item.Arc.empty()) {
    source = KitFile(item.Arc);
    auto& archive = Archives[source];
    try {
      if (!archive) archive = std::make_unique<TZipReader>(source);
      TMemoryStream stream;
      archive->ExtractToStream(item.FileName, stream);
      bytes.assign(stream.Bytes().begin(), stream.Bytes().end());
    } catch (const std::exception& e) {
      RaiseInput(L"cannot read " + item.FileName + L" from " + source + L": " + ExceptionMessage(e));
    }
    source += L": " + item.FileName;
  } else {
    source = KitFile(item.FileName);
    bytes = ReadWholeFile(source);
  }
  if (static_cast<std::int64_t>(bytes.size()) != item.Size() || CrcToHex(BytesCrc(bytes)) != item.CRC)
    RaiseInput(source + L" differs from its line in " + ListPath + L" (length or CRC)");
  return bytes;
}

bool TPackKit::HoldsFile(const std::wstring& path) const {
  if (!IsFile(path)) return false;
  if (SameFile(path, SetupIniPath) || SameFile(path, ListPath)) return true;
  for (const TProgramLstFileItem* item : List) {
    if (!item->IsDeleted && SameFile(path, KitFile(item->Arc.empty() ? item->FileName : item->Arc))) return true;
  }
  return false;
}

int MakeKit(const std::wstring& folder, const std::wstring& listFile, const std::wstring& kitFolder) {
  if (!IsFolder(folder)) RaiseInput(L"folder not found: " + folder);
  const std::wstring setupIni = JoinPath(folder, L"setup.ini");
  const TProductConfig config = ReadProductConfig(setupIni);
  if (!IsFile(listFile)) RaiseInput(L"list file not found: " + listFile);
  const fs::path kit = FsPath(kitFolder);
  ClaimKitFolder(kit);

  TDIVersion version(config.Version, PathText(FsPath(listFile)));
  bool listsSetupIni = false;
  for (TProgramLstFileItem* item : version.Items) {
    if (item->IsDeleted) continue;
    item->LocalPath = JoinPath(folder, item->DistrPath());
    item->InstalledPath.clear();
    if (item->Arc.empty() && SameTextAscii(item->RelativePath, L"setup.ini")) listsSetupIni = true;
    try {
      item->Verify();
    } catch (const std::exception& e) {
      RaiseInput(ExceptionMessage(e) + L" (" + PathText(FsPath(listFile)) + L")");
    }
  }
  version.GroupArchives();

  // Built aside and moved into place whole, so that a failed build leaves
  // no kit behind.
  const TScratchFolder scratch(kitFolder);
  const std::wstring building = scratch.Path() + L"kit";
  TProgressLine progress(L"kit");
  version.OnStatus = [&](const std::wstring&, const std::wstring&, const std::wstring&, std::int32_t percent,
                         std::uint8_t&) {
    if (percent >= 0) progress.Show(percent);
  };
  version.OnMessage = [&](std::int32_t kind, const std::wstring& text, std::intptr_t) {
    progress.Finish();
    if (kind == 0) PrintError(text);
  };
  const std::wstring listName = config.ListName.empty() ? ExtractFileName(listFile) : config.ListName;
  try {
    version.Build(building, std::wstring(), listName);
    if (!listsSetupIni) WriteWholeFile(WithSeparator(building) + L"setup.ini", ReadWholeFile(setupIni));
  } catch (const EPackError&) {
    throw;
  } catch (const std::exception& e) {
    RaiseFailed(L"cannot build the kit " + kitFolder + L": " + MessageOf(e));
  }
  progress.Finish();

  std::error_code error;
  if (fs::exists(kit, error)) fs::remove(kit, error);
  fs::rename(FsPath(building), kit, error);
  if (error) RaiseFailed(L"cannot write the kit " + kitFolder + L": " + Utf8ToWide(error.message()));
  PrintLine(L"kit " + config.Version + L" written to " + PathText(kit));
  return ExitOk;
}
