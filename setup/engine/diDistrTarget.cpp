#include "setup/engine/diDistrTarget.h"

#include "platform/StrTool.h"

std::wstring DrivePart(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
  if (path.rfind(L"\\\\", 0) != 0) return {};
  std::size_t end = path.find(L'\\', 2);
  if (end != std::wstring::npos) end = path.find(L'\\', end + 1);
  return path.substr(0, end);
}

std::wstring DistrTargetDir(const std::wstring& installDir, const std::wstring& productSection,
                            const std::wstring& version, const std::wstring& makeDistr) {
  const std::wstring underscored = ReplaceChar(version, L'.', L'_');
  std::wstring dir = makeDistr;
  if (dir.empty()) {
    dir = DrivePart(installDir) + L"\\KVTDISTR\\" + productSection + L"\\";
    if (!version.empty()) dir += underscored;
    return dir;
  }
  if (!version.empty()) {
    dir = ExcludeTrailingBackslash(dir);
    const std::wstring last = ExtractFileName(dir);
    if (MatchPattern(L"N_NN", last)) dir = ExtractFilePath(dir) + underscored;
  }
  return dir;
}
