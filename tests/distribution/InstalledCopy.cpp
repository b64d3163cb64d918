#include "InstalledCopy.h"

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

std::string TInstalledCopy::ListText() const {
  std::wstring text = L"; program list of the test copy\r\n\r\n";
  bool ascii = true;
  for (const TFixtureFile& file : Items) {
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

void TInstalledCopy::Write() const {
  fs::create_directories(ProgramFolder);
  for (const TFixtureFile& file : Items) {
    if (file.St.find(L'D') != std::wstring::npos) continue;
    WriteBytes(InstalledPath(file), file.Content);
    if (HasKeptCopy(file)) WriteBytes(KeptCopyPath(file), file.Content);
  }
  WriteBytes(ProgramFolder / ListName, ListText());
  WriteBytes(ProgramFolder / "setup.ini", "\xEF\xBB\xBF[Products]\r\nProduct1=JOM\r\n\r\n[JOM]\r\nProductName1=" +
                                              Utf8(ProductName) + "\r\nVersion=" + Utf8(Version) +
                                              "\r\nFilesLst=" + Utf8(ListName) + "\r\nTargetGroup=Tavrel\r\n");
  WriteBytes(ProgramFolder / "instcfg.ini",
             "[JOM]\r\nOptions=* REDISTR\r\nDistr=" + (ProgramFolder / "DISTR").string() +
                 "\r\nSectionName=JOM\r\nGroupName=Tavrel\r\n");
}

}  // namespace testsupport
