#include "InstalledCopy.h"

#include <zip.h>

#include <fstream>
#include <random>
#include <stdexcept>

#include "setup/distribution/Crc_32.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {
// The folder parts of a list's "Dir" value, ".." kept or written "##".
fs::path DirPath(const std::wstring& dir, bool climbAsHashes) {
  fs::path path;
  std::wstring part;
  auto flush = [&] {
    if (!part.empty()) path /= (climbAsHashes && part == L"..") ? std::wstring(L"##") : part;
    part.clear();
  };
  for (const wchar_t c : dir) {
    if (c == L'\\' || c == L'/') {
      flush();
    } else {
      part += c;
    }
  }
  flush();
  return path;
}

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (const wchar_t wc : text) {
    const auto c = static_cast<std::uint32_t>(wc);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool IsAscii(const std::wstring& text) {
  for (const wchar_t c : text) {
    if (static_cast<std::uint32_t>(c) >= 0x80) return false;
  }
  return true;
}

std::wstring Quoted(const std::wstring& value) {
  return value.find(L' ') == std::wstring::npos ? value : L"\"" + value + L"\"";
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}
}  // namespace

std::string FixtureBytes(std::size_t size, unsigned seed, bool compressible) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  if (!compressible) {
    for (auto& c : bytes) c = static_cast<char>(random());
    return bytes;
  }
  static const char* const Words[] = {"media ", "server ", "Tavrel ", "playlist ", "stream\r\n", "UPnP ", "DLNA "};
  std::string text;
  while (text.size() < size) text += Words[random() % 7];
  text.resize(size);
  return text;
}

std::wstring FixtureCrc(const std::string& bytes) {
  return CrcToHex(~UpdateCrc32(bytes.data(), bytes.size(), 0xFFFFFFFFu));
}

TInstalledCopy::TInstalledCopy(fs::path programFolder, std::wstring version)
    : Version(std::move(version)), ProgramFolder(std::move(programFolder)) {}

TInstalledCopy& TInstalledCopy::Add(TFixtureFile file) {
  Items.push_back(std::move(file));
  return *this;
}

bool TInstalledCopy::HasKeptCopy(const TFixtureFile& file) {
  return file.St.find_first_of(L"ILRC") != std::wstring::npos;
}

fs::path TInstalledCopy::InstalledPath(const TFixtureFile& file) const {
  return (ProgramFolder / DirPath(file.Dir, false) / file.Name).lexically_normal();
}

fs::path TInstalledCopy::KeptCopyPath(const TFixtureFile& file) const {
  return ProgramFolder / "DISTR" / DirPath(file.Dir, true) / file.Name;
}

std::wstring TInstalledCopy::Dir() const {
  std::wstring text = ProgramFolder.wstring();
  if (text.empty() || (text.back() != L'\\' && text.back() != L'/')) text += L'\\';
  return text;
}

std::string TInstalledCopy::ListText() const { return FixtureListText(Items); }

std::string FixtureListText(const std::vector<TFixtureFile>& files) {
  std::wstring text = L"; program list of the test copy\r\n\r\n";
  bool ascii = true;
  for (const TFixtureFile& file : files) {
    std::wstring line = Quoted(file.Name);
    if (!file.St.empty()) line += L" St=" + file.St;
    line += L" CRC=" + FixtureCrc(file.Content) + L" Len=" + std::to_wstring(file.Content.size());
    if (!file.Arc.empty()) line += L" Arc=" + Quoted(file.Arc);
    if (!file.Dir.empty()) line += L" Dir=" + Quoted(file.Dir);
    if (!file.Extra.empty()) line += L" " + file.Extra;
    text += line + L"\r\n";
    ascii = ascii && IsAscii(line);
  }
  return (ascii ? std::string() : std::string("\xEF\xBB\xBF")) + Utf8(text);
}

std::string FixtureSetupIni(const std::wstring& section, const std::wstring& productName, const std::wstring& version,
                            const std::wstring& listName,
                            const std::vector<std::pair<std::wstring, std::wstring>>& keys) {
  std::string text = "\xEF\xBB\xBF[Products]\r\nProduct1=" + Utf8(section) + "\r\n\r\n[" + Utf8(section) +
                     "]\r\nProductName1=" + Utf8(productName) +
                     "\r\nVersion=" + Utf8(version) + "\r\nFilesLst=" + Utf8(listName) + "\r\n";
  bool hasGroup = false;
  for (const auto& [key, value] : keys) {
    text += Utf8(key) + "=" + Utf8(value) + "\r\n";
    hasGroup = hasGroup || key == L"TargetGroup";
  }
  if (!hasGroup) text += "TargetGroup=Tavrel\r\n";
  return text;
}

void TInstalledCopy::Write() const {
  fs::create_directories(ProgramFolder);
  for (const TFixtureFile& file : Items) {
    if (file.St.find(L'D') != std::wstring::npos) continue;
    WriteBytes(InstalledPath(file), file.Content);
    if (HasKeptCopy(file)) WriteBytes(KeptCopyPath(file), file.Content);
  }
  WriteBytes(ProgramFolder / ListName, ListText());
  WriteBytes(ProgramFolder / "setup.ini", FixtureSetupIni(Section, ProductName, Version, ListName, {}));
  WriteBytes(ProgramFolder / "instcfg.ini",
             "[" + Utf8(Section) + "]\r\nOptions=* REDISTR\r\nDistr=" + (ProgramFolder / "DISTR").string() +
                 "\r\nSectionName=" + Utf8(Section) + "\r\nGroupName=Tavrel\r\n");
}

TKit::TKit(fs::path folder, std::wstring version) : Version(std::move(version)), KitFolder(std::move(folder)) {}

TKit& TKit::Add(TFixtureFile file) {
  Items.push_back(std::move(file));
  return *this;
}

TKit& TKit::Key(std::wstring key, std::wstring value) {
  Keys.emplace_back(std::move(key), std::move(value));
  return *this;
}

TKit& TKit::Pack(std::wstring name, std::wstring disk) {
  Packing.emplace_back(std::move(name), std::move(disk));
  return *this;
}

TKit& TKit::DamageEntry(std::wstring fileName) {
  Damaged.insert(std::move(fileName));
  return *this;
}

TKit& TKit::StoreAs(std::wstring fileName, std::wstring storedName) {
  StoredNames[std::move(fileName)] = std::move(storedName);
  return *this;
}

TKit& TKit::Split(std::wstring arc, std::size_t partSize, int firstDisk) {
  Splits[std::move(arc)] = {partSize, firstDisk};
  return *this;
}

std::wstring TKit::Dir() const {
  std::wstring text = KitFolder.wstring();
  if (text.empty() || (text.back() != L'\\' && text.back() != L'/')) text += L'\\';
  return text;
}

fs::path TKit::ArchivePath(const std::wstring& arc) const { return KitFolder / (arc + L".zip"); }

// The archive's bytes, built in memory by libzip: each file under its bare
// (or chosen) name, deflated unless its entry is to be damaged.
std::string TKit::ArchiveBytes(const std::wstring& arc) const {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_t* archive = target ? zip_open_from_source(target, ZIP_TRUNCATE, &error) : nullptr;
  if (!archive) throw std::runtime_error("libzip cannot make an archive in memory");
  zip_source_keep(target);
  for (const TFixtureFile& file : Items) {
    if (file.Arc != arc || file.St.find(L'D') != std::wstring::npos) continue;
    const auto stored = StoredNames.find(file.Name);
    const std::string name = Utf8(stored == StoredNames.end() ? file.Name : stored->second);
    zip_source_t* data = zip_source_buffer(archive, file.Content.data(), file.Content.size(), 0);
    const zip_int64_t index = zip_file_add(archive, name.c_str(), data, ZIP_FL_ENC_UTF_8);
    if (index < 0) throw std::runtime_error("libzip cannot add " + name);
    const bool damaged = Damaged.count(file.Name) != 0;
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), damaged ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
  }
  if (zip_close(archive) != 0) throw std::runtime_error("libzip cannot write the archive");
  std::string bytes;
  zip_stat_t stat;
  if (zip_source_stat(target, &stat) == 0 && zip_source_open(target) == 0) {
    bytes.resize(stat.size);
    zip_source_read(target, bytes.data(), bytes.size());
    zip_source_close(target);
  }
  zip_source_free(target);
  zip_error_fini(&error);
  // Stored data appears as it stands: change one byte of it.
  for (const TFixtureFile& file : Items) {
    if (file.Arc != arc || !Damaged.count(file.Name) || file.Content.empty()) continue;
    const std::size_t at = bytes.find(file.Content);
    if (at == std::string::npos) throw std::runtime_error("damaged entry not found");
    bytes[at + file.Content.size() / 2] ^= 0x5A;
  }
  return bytes;
}

std::vector<TFixtureFile> TKit::ListedFiles() const {
  std::vector<TFixtureFile> files = Items;
  if (ListsSetupIni)
    files.push_back({L"setup.ini", L"", L"S", L"", FixtureSetupIni(Section, ProductName, Version, ListName, Keys), L""});
  return files;
}

void TKit::Write() const {
  fs::create_directories(KitFolder);
  std::set<std::wstring> archives;
  for (const TFixtureFile& file : Items) {
    if (file.St.find(L'D') != std::wstring::npos) continue;
    if (file.Arc.empty()) {
      WriteBytes(KitFolder / file.Name, file.Content);
    } else {
      archives.insert(file.Arc);
    }
  }
  std::vector<std::pair<std::wstring, std::wstring>> packing = Packing;
  for (const std::wstring& arc : archives) {
    const std::string bytes = ArchiveBytes(arc);
    const auto split = Splits.find(arc);
    if (split == Splits.end()) {
      WriteBytes(ArchivePath(arc), bytes);
      continue;
    }
    const auto [partSize, firstDisk] = split->second;
    for (std::size_t at = 0, part = 0; at < bytes.size(); at += partSize, ++part) {
      const std::wstring name = arc + L".z" + std::to_wstring(part);
      WriteBytes(KitFolder / name, bytes.substr(at, partSize));
      packing.emplace_back(name, std::to_wstring(firstDisk + static_cast<int>(part)));
    }
  }
  WriteBytes(KitFolder / ListName, FixtureListText(ListedFiles()));
  WriteBytes(KitFolder / "setup.ini", FixtureSetupIni(Section, ProductName, Version, ListName, Keys));
  if (packing.empty()) return;
  std::wstring text = L"; packing list of the test kit\r\n";
  for (const auto& [name, disk] : packing) text += Quoted(name) + L" Dsk=" + disk + L"\r\n";
  WriteBytes(KitFolder / "packing.lst", Utf8(text));
}

}  // namespace testsupport
