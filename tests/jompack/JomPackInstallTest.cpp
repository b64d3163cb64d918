// jompack.exe under Wine with the engine: a kit that jompack made from a
// folder installs that folder's files, and the update it makes to the next
// version, written in volumes, brings the installed copy to the new files
// byte for byte through sfUpdate.

#include <gtest/gtest.h>

#include "InstallHarness.h"
#include "JomPackRun.h"
#include "platform/StrTool.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace jompacktest;
using namespace testsupport;

namespace {

std::string Bytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

std::vector<TVersionFile> Version502() {
  return {
      {"jom.exe", "", "St=Iko Arc=main", Bytes(120000, 1)},
      {"tool.dll", "lib", "St=to Arc=main", Bytes(40000, 2)},
      {"readme.txt", "docs", "St=o", "read me first\r\n"},
      {"jom.ini", "", "St=R Arc=main", "[Server]\r\nPort=9090\r\n"},
      {"old.txt", "", "St=o", "gone in 5.03"},
  };
}

std::vector<TVersionFile> Version503() {
  std::vector<TVersionFile> files = Version502();
  for (std::size_t i = 50; i < files[0].Content.size(); i += 4001) files[0].Content[i] ^= 0x33;
  files[1].Content += Bytes(7000, 3);
  files[2].Keys = "St=ot";
  files.pop_back();
  files.push_back({"new.dat", "data", "St=o Arc=data", Bytes(9000, 4)});
  return files;
}

// The files of the folder, without setup.ini, which the install rewrites.
std::map<std::string, std::string> ProductFiles(const fs::path& folder) {
  std::map<std::string, std::string> files = FolderFiles(folder);
  files.erase("setup.ini");
  return files;
}

TEST(JomPackInstall, AJomPackKitInstallsAndItsUpdateInVolumesBringsTheNextVersion) {
  const TInstallFolders folders("jp-install");
  const fs::path root = folders.Root();
  const std::string keys = "TargetGroup=" + fs::path(folders.Group).string() + "\r\nTmpl=jom\r\n";
  const std::string section = fs::path(folders.Section).string();
  auto kitOf = [&](const std::string& version, const std::vector<TVersionFile>& files) {
    const fs::path folder = root / ("v" + version);
    const fs::path templ = WriteVersion(folder, section, version, files, keys);
    const fs::path list = root / ("v" + version + ".lst");
    const fs::path kit = root / ("kit" + version);
    const TRun listed = RunJomPack({"list", Arg(folder), Arg(templ), Arg(list)});
    EXPECT_EQ(listed.Code, 0) << listed.Err;
    const TRun kitted = RunJomPack({"kit", Arg(folder), Arg(list), Arg(kit)});
    EXPECT_EQ(kitted.Code, 0) << kitted.Err;
    return kit;
  };
  const fs::path kit502 = kitOf("5.02", Version502());
  const fs::path kit503 = kitOf("5.03", Version503());

  TEngineRun install;
  install.Automatic = true;
  ASSERT_EQ(install.Install(IncludeTrailingBackslash(kit502.wstring()), folders.Program()), -1)
      << testing::PrintToString(install.Errors());
  const fs::path program = folders.ProgramPath();
  for (const auto& [name, bytes] : ProductFiles(root / "v5.02")) EXPECT_EQ(ReadFile(program / name), bytes) << name;

  const fs::path update = root / "upd.prf";
  const TRun made = RunJomPack({"update", Arg(kit502), Arg(kit503), Arg(update), "--volume-size", "4000"});
  ASSERT_EQ(made.Code, 0) << made.Err;
  const TRun verified = RunJomPack({"verify", Arg(kit502), Arg(root / "upd.pr1"), Arg(kit503)});
  EXPECT_EQ(verified.Code, 0) << verified.Out << verified.Err;
  // The volumes under this test's own update-file extension, which the
  // engine's volume names follow.
  const std::string prefix = fs::path(folders.RenewExtension.substr(0, 3)).string();
  int volumes = 0;
  for (int n = 1; fs::exists(root / ("upd.pr" + std::to_string(n))); ++n, ++volumes)
    fs::rename(root / ("upd.pr" + std::to_string(n)), root / ("upd" + prefix + std::to_string(n)));
  ASSERT_GE(volumes, 2) << made.Out;

  TEngineRun run;
  run.Automatic = true;
  const std::wstring first = (root / ("upd" + prefix + "1")).wstring();
  EXPECT_EQ(run.Execute(folders.Program(), sfUpdate, const_cast<wchar_t*>(first.c_str())), -1)
      << testing::PrintToString(run.Errors());
  EXPECT_TRUE(run.Errors().empty()) << testing::PrintToString(run.Errors());
  for (const auto& [name, bytes] : ProductFiles(root / "v5.03")) EXPECT_EQ(ReadFile(program / name), bytes) << name;
  EXPECT_EQ(ReadFile(program / "setup.ini"), ReadFile(kit503 / "setup.ini"));
  EXPECT_EQ(ReadFile(program / "DISTR" / "jom.exe"), Version503()[0].Content);
  EXPECT_FALSE(fs::exists(program / "old.txt"));
}

}  // namespace
