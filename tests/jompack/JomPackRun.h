#pragma once
// Runs the jompack program of the build (build/native/bin/jompack, or
// jompack.exe beside the test under Wine) and captures what it prints, and
// lays out version folders for it: files, setup.ini and a template list.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace jompacktest {

struct TRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

// jompack with the arguments (paths as the system spells them).
TRun RunJomPack(const std::vector<std::string>& args);

// A path as an argument of jompack.
std::string Arg(const std::filesystem::path& path);

// One file of a version: where it lies (its list path, "\"-separated), its
// template line's keys and its content.
struct TVersionFile {
  std::string Name;
  std::string Dir;
  std::string Keys;  // further template keys, e.g. "St=Io Arc=main"
  std::string Content;
};

// A folder of one version's files with setup.ini (product section and
// version given) and the template list beside it; returns the template.
std::filesystem::path WriteVersion(const std::filesystem::path& folder, const std::string& product,
                                   const std::string& version, const std::vector<TVersionFile>& files,
                                   const std::string& iniExtra = std::string());

// Every file below folder, relative ("/" separated), with its bytes.
std::map<std::string, std::string> FolderFiles(const std::filesystem::path& folder);

}  // namespace jompacktest
