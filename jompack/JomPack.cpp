// jompack: the maintainers' tool that makes what a release of Tavrel ships:
// program lists, distribution kits, update files and block patches, with
// the same list, kit, patch and command-file code as setup itself.

#include <cstdint>
#include <string>
#include <vector>

#include "jompack/PackConsole.h"
#include "jompack/PackKit.h"
#include "jompack/PackList.h"
#include "jompack/PackPatch.h"
#include "jompack/PackUpdate.h"
#include "jompack/PackVerify.h"
#include "platform/Exception.h"
#include "setup/distribution/TextCodec.h"

namespace {
const wchar_t* const Help =
    L"jompack: program lists, distribution kits, update files and block patches of Tavrel\n"
    L"\n"
    L"  jompack list FOLDER TEMPLATE OUT\n"
    L"      a program list for the files of FOLDER: TEMPLATE's lines (names, Dir, St,\n"
    L"      Arc, captions and other keys) with Len and CRC of each file. A file lies\n"
    L"      in FOLDER at its path in a kit's DISTR\\ layout (Dir\\name, \"..\\\" as \"##\\\",\n"
    L"      the bare name for folder macros).\n"
    L"  jompack kit FOLDER LIST KIT\n"
    L"      a distribution kit in the folder KIT (new or empty): one archive per Arc,\n"
    L"      loose files, the list and FOLDER's setup.ini, as setup builds kits.\n"
    L"  jompack update OLDKIT NEWKIT OUT [--volume-size BYTES]\n"
    L"      the update file from OLDKIT's version to NEWKIT's; with --volume-size it\n"
    L"      is written as volumes OUT.pr1, OUT.pr2, ... of BYTES bytes but the last,\n"
    L"      which replace an earlier set of volumes of that name (and OUT.prf) as a\n"
    L"      whole. An OUT ending in a digit (jom-5.03), which setup would take for\n"
    L"      a volume, gets the extension .prf (jom-5.03.prf).\n"
    L"  jompack verify OLDKIT UPDATE NEWKIT\n"
    L"      applies UPDATE (a file or its first volume) with setup's update code to a\n"
    L"      temporary copy of OLDKIT's version and compares every file with NEWKIT.\n"
    L"  jompack diff OLD NEW PATCH\n"
    L"      a block patch that turns the file OLD into NEW.\n"
    L"  jompack patch OLD PATCH NEW\n"
    L"      applies a block patch to OLD, writing NEW.\n"
    L"  jompack --help\n"
    L"\n"
    L"Outputs are written under a temporary name and renamed when complete: a\n"
    L"failed command leaves none behind. Progress goes to standard error when it\n"
    L"is a terminal (JOMPACK_PROGRESS=1 forces it, 0 turns it off).\n"
    L"\n"
    L"Exit codes:\n"
    L"  0  done (verify: every file matches)\n"
    L"  1  verify: the update does not give the new version\n"
    L"  2  the command line is wrong\n"
    L"  3  an input is missing, unreadable or unfit (a missing file, kits of\n"
    L"     different products, an update from a version to itself, an output\n"
    L"     that would replace a file of a kit or a file being listed ...)\n"
    L"  4  an output could not be written\n";

int Usage(const std::wstring& text) {
  PrintError(text + L" (jompack --help lists the commands)");
  return ExitUsage;
}

// BYTES of --volume-size: a positive decimal number.
bool ParseSize(const std::wstring& text, std::int64_t& size) {
  if (text.empty() || text.size() > 15) return false;
  size = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    size = size * 10 + (c - L'0');
  }
  return size > 0;
}

int Run(const std::vector<std::wstring>& args) {
  if (args.empty()) return Usage(L"no command");
  const std::wstring& command = args[0];
  if (command == L"--help" || command == L"-h" || command == L"help") {
    PrintLine(Help);
    return ExitOk;
  }
  auto expect = [&](std::size_t count) { return args.size() == count + 1; };
  if (command == L"list" && expect(3)) return MakeList(args[1], args[2], args[3]);
  if (command == L"kit" && expect(3)) return MakeKit(args[1], args[2], args[3]);
  if (command == L"verify" && expect(3)) return VerifyUpdate(args[1], args[2], args[3]);
  if (command == L"diff" && expect(3)) return MakePatchFile(args[1], args[2], args[3]);
  if (command == L"patch" && expect(3)) return ApplyPatchFile(args[1], args[2], args[3]);
  if (command == L"update" && (expect(3) || expect(5))) {
    std::int64_t volumeSize = 0;
    if (args.size() == 6) {
      if (args[4] != L"--volume-size") return Usage(L"unknown option " + args[4]);
      if (!ParseSize(args[5], volumeSize)) return Usage(L"--volume-size needs a number of bytes above 0: " + args[5]);
    }
    return MakeUpdate(args[1], args[2], args[3], volumeSize);
  }
  for (const wchar_t* known : {L"list", L"kit", L"update", L"verify", L"diff", L"patch"}) {
    if (command == known) return Usage(L"wrong arguments for " + command);
  }
  return Usage(L"unknown command " + command);
}

int Main(const std::vector<std::wstring>& args) {
  try {
    return Run(args);
  } catch (const EPackError& e) {
    PrintError(e.Text);
    return e.Code;
  } catch (const std::exception& e) {
    PrintError(ExceptionMessage(e));
    return ExitFailed;
  }
}
}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Main(std::vector<std::wstring>(argv + 1, argv + argc)); }
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8ToWide(argv[i]));
  return Main(args);
}
#endif
