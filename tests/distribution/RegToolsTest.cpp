// Registry access and the tidying of the uninstall list, against the real
// registry of the test prefix (keys unique to the test, removed afterwards).

#include "setup/distribution/RegTools.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "support/RegistryKeys.h"
#include "support/TestSupport.h"

namespace {

using namespace testsupport;

// Keys of the tests lie directly below this one, each removed whole.
const std::wstring TestRoot = L"Software";

std::wstring AsciiUpper(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

std::string Ascii(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

TEST(RegTools, ValuesReadBackAndFailuresGiveTheDefault) {
  ScopedRegistryKey key(HKEY_CURRENT_USER, TestRoot + L"\\" + UniqueName(L"TavrelTest_values"));
  const auto root = RegistryRoot::CurrentUser;
  ASSERT_TRUE(RegWriteString(root, key.path(), L"Text", L"Программа"));
  ASSERT_TRUE(RegWriteString(root, key.path(), L"", L"default value"));
  ASSERT_TRUE(RegWriteDword(root, key.path(), L"Number", 0xFFFFFFFEu));

  std::wstring value;
  EXPECT_TRUE(RegReadString(root, key.path(), L"Text", L"def", value));
  EXPECT_EQ(value, L"Программа");
  EXPECT_TRUE(RegReadString(root, key.path(), L"", L"def", value));
  EXPECT_EQ(value, L"default value");
  EXPECT_EQ(ReadDwordValue(HKEY_CURRENT_USER, key.path(), L"Number"), 0xFFFFFFFEu);

  // A missing value, a missing key and a value of another type: the default.
  for (const auto& [subkey, name] : {std::pair<std::wstring, std::wstring>{key.path(), L"Missing"},
                                     {key.path() + L"\\Nowhere", L"Text"},
                                     {key.path(), L"Number"}}) {
    value = L"left over";
    EXPECT_FALSE(RegReadString(root, subkey, name, L"def", value)) << name;
    EXPECT_EQ(value, L"def") << name;
  }
}

TEST(RegTools, WriteStringsSkipsEmptyValuesStopsAtTheFirstFailureAndCountsSubkeys) {
  ScopedRegistryKey key(HKEY_CURRENT_USER, TestRoot + L"\\" + UniqueName(L"TavrelTest_pairs"));
  const auto root = RegistryRoot::CurrentUser;
  ASSERT_TRUE(RegWriteStrings(root, key.path(), {{L"A", L"1"}, {L"Empty", L""}, {L"B", L"2"}}));
  EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, key.path()), (std::vector<std::wstring>{L"A", L"B"}));
  // A name longer than the registry takes fails, and nothing after it is written.
  EXPECT_FALSE(RegWriteStrings(root, key.path(), {{L"C", L"3"}, {std::wstring(20000, L'n'), L"x"}, {L"D", L"4"}}));
  EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, key.path()), (std::vector<std::wstring>{L"A", L"B", L"C"}));

  std::uint32_t count = 99;
  ASSERT_TRUE(RegSubkeyCount(root, key.path(), count));
  EXPECT_EQ(count, 0u);
  ASSERT_TRUE(RegWriteString(root, key.path() + L"\\one", L"x", L"1"));
  ASSERT_TRUE(RegWriteString(root, key.path() + L"\\two\\deeper", L"x", L"1"));
  ASSERT_TRUE(RegSubkeyCount(root, key.path(), count));
  EXPECT_EQ(count, 2u);
  EXPECT_FALSE(RegSubkeyCount(root, key.path() + L"\\missing", count));
}

TEST(RegTools, DeleteKeyTreeRemovesNestedKeysAndLeavesSiblings) {
  const std::wstring parent = TestRoot + L"\\" + UniqueName(L"TavrelTest_tree");
  ScopedRegistryKey cleanup(HKEY_CURRENT_USER, parent);
  const auto root = RegistryRoot::CurrentUser;
  const std::wstring tree = parent + L"\\tree";
  for (const wchar_t* sub : {L"", L"\\a", L"\\a\\b", L"\\a\\b\\c", L"\\a\\d", L"\\e"})
    ASSERT_TRUE(RegWriteString(root, tree + sub, L"v", sub));
  ASSERT_TRUE(RegWriteString(root, parent + L"\\sibling", L"v", L"kept"));

  EXPECT_TRUE(RegDeleteKeyTree(root, tree));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, parent + L"\\sibling"));
  // A key that cannot be opened is reported, not created.
  EXPECT_FALSE(RegDeleteKeyTree(root, tree));
  EXPECT_FALSE(RegDeleteKeyTree(root, L""));
}

TEST(RegTools, DeleteKeyTreeOfALinkRemovesTheLinkAndLeavesItsTarget) {
  const std::wstring parent = TestRoot + L"\\" + UniqueName(L"TavrelTest_link");
  ScopedRegistryKey cleanup(HKEY_LOCAL_MACHINE, parent);
  const std::wstring target = parent + L"\\target", linkPath = parent + L"\\link";
  ASSERT_TRUE(RegWriteString(RegistryRoot::LocalMachine, target + L"\\child", L"v", L"kept"));
  HKEY link = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, linkPath.c_str(), 0, nullptr,
                              REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &link, nullptr),
            ERROR_SUCCESS);
  const std::wstring destination = L"\\Registry\\Machine\\" + target;
  ASSERT_EQ(::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(destination.data()),
                             static_cast<DWORD>(destination.size() * sizeof(wchar_t))),
            ERROR_SUCCESS);
  ::RegCloseKey(link);
  ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, linkPath + L"\\child"));

  EXPECT_TRUE(RegDeleteKeyTree(RegistryRoot::LocalMachine, linkPath));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, target + L"\\child"));
  HKEY left = nullptr;
  EXPECT_NE(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, linkPath.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &left), ERROR_SUCCESS);
  if (left) ::RegCloseKey(left);
}

TEST(RegTools, UninstallProgramPathTakesTheProgramOutOfTheCommand) {
  const struct {
    const wchar_t* Command;
    const wchar_t* Program;
  } cases[] = {
      {L"C:\\Tavrel\\SETUP.EXE", L"C:\\Tavrel\\SETUP.EXE"},
      {L"\"C:\\Program Files\\Tavrel\\setup.exe\" /uninstall", L"C:\\Program Files\\Tavrel\\setup.exe"},
      {L"\"C:\\Program Files\\Tavrel\\setup.exe\"", L"C:\\Program Files\\Tavrel\\setup.exe"},
      {L"\"C:\\unclosed quote\\setup.exe", L"C:\\unclosed quote\\setup.exe"},
      {L"C:\\Tavrel\\setup.exe /u /s", L"C:\\Tavrel\\setup.exe"},
      {L"C:\\Program Files\\Tavrel\\SETUP.EXE /u", L"C:\\Program Files\\Tavrel\\SETUP.EXE"},
      {L"C:\\my.exe.d\\setup.exe /u", L"C:\\my.exe.d\\setup.exe"},
      {L"  \"C:\\Program Files\\Tavrel\\setup.exe\" /u", L"C:\\Program Files\\Tavrel\\setup.exe"},
      {L"MsiExec.exe /X{12345678-1234-1234-1234-123456789012}", L"MsiExec.exe"},
      {L"C:\\Program Files\\Tavrel\\uninstall.bat", L"C:\\Program Files\\Tavrel\\uninstall.bat"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(UninstallProgramPath(c.Command), c.Program) << c.Command;
}

// Entries of the real uninstall list, each with a name unique to this run.
class StaleUninstallEntries : public ::testing::Test {
protected:
  struct Entry {
    std::wstring Name;
    std::wstring Command;
    std::wstring Publisher;
    bool Kept;
  };

  std::wstring Add(const std::wstring& tag, const std::wstring& command, const std::wstring& publisher) {
    const std::wstring name = UniqueName(L"TavrelTest_" + tag + L"_");
    Keys.push_back(std::make_unique<ScopedRegistryKey>(HKEY_LOCAL_MACHINE, Path(name)));
    std::vector<std::pair<std::wstring, std::wstring>> values{{L"UninstallString", command}};
    if (!publisher.empty()) values.emplace_back(L"Publisher", publisher);
    WriteStringValues(HKEY_LOCAL_MACHINE, Path(name), values);
    return name;
  }
  static std::wstring Path(const std::wstring& name) { return std::wstring(UninstallListKey) + L"\\" + name; }

  TempDir Folder{"stale uninstall"};
  std::vector<std::unique_ptr<ScopedRegistryKey>> Keys;
};

TEST_F(StaleUninstallEntries, RemovesDuplicatesAndEntriesOfThisFrameworkWhoseProgramIsGone) {
  // Folder names hold a blank, as under "Program Files".
  const std::wstring present = Folder.file(L"SETUP.EXE");
  WriteFile(Folder.path() / "SETUP.EXE", "MZ");
  const std::wstring missing = Folder.file(L"gone\\SETUP.EXE");
  const std::wstring own = Folder.file(L"own\\SETUP.EXE");
  const std::wstring kvt = L"ООО \"КВТ\"";

  const std::vector<std::pair<std::wstring, bool>> entries = {
      {Add(L"missing", missing, kvt), false},
      {Add(L"missing2", missing, L"KVTSETUP"), false},
      {Add(L"quotedMissing", L"\"" + missing + L"\" /u", kvt), false},
      {Add(L"present", present, kvt), true},
      {Add(L"quoted", L"\"" + present + L"\"", kvt), true},
      {Add(L"quotedArgs", L"\"" + present + L"\" /uninstall", L"KVTSETUP"), true},
      {Add(L"args", present + L" /uninstall", kvt), true},
      {Add(L"otherPublisher", missing, L"Someone Else"), true},
      {Add(L"noPublisher", missing, L""), true},
      {Add(L"publisherCase", missing, L"kvtsetup"), true},
      {Add(L"tooLong", missing + std::wstring(300, L'x'), kvt), true},
      // Another name with our own command is a duplicate of this installation.
      {Add(L"duplicate", own, L"Someone Else"), false},
      {Add(L"duplicateUpper", AsciiUpper(own), L""), false},
  };
  // A folder whose name holds ".exe" and a blank.
  std::filesystem::create_directories(Folder.path() / "tools.exe dir");
  WriteFile(Folder.path() / "tools.exe dir" / "SETUP.EXE", "MZ");
  const std::wstring dotExeFolder = Folder.file(L"tools.exe dir\\SETUP.EXE");
  const std::vector<std::pair<std::wstring, bool>> hostile = {
      {Add(L"leadingBlank", L"  \"" + present + L"\" /u", kvt), true},
      {Add(L"dotExeFolder", dotExeFolder, kvt), true},
      {Add(L"dotExeFolderArgs", dotExeFolder + L" /u", kvt), true},
      {Add(L"variable", L"%TAVREL_STALE_DIR%SETUP.EXE /u", kvt), true},
      {Add(L"variableGone", L"%TAVREL_STALE_DIR%gone\\SETUP.EXE", kvt), false},
  };
  ::SetEnvironmentVariableW(L"TAVREL_STALE_DIR", Folder.file(L"").c_str());
  const std::wstring ownName = Add(L"own", own, kvt);

  RemoveStaleUninstallEntries(ownName, own);

  ::SetEnvironmentVariableW(L"TAVREL_STALE_DIR", nullptr);
  for (const auto& list : {entries, hostile}) {
    for (const auto& [name, kept] : list) EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, Path(name)), kept) << Ascii(name);
  }
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, Path(ownName)));
}

}  // namespace
