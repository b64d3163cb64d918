#include "launcher/HomeDriveRules.h"

namespace {

char FoldAscii(char Ch) { return Ch >= 'A' && Ch <= 'Z' ? static_cast<char>(Ch + ('a' - 'A')) : Ch; }

}  // namespace

std::string ChooseHomePath(std::string_view HomeDirectory, std::string_view User, std::string_view UserName,
                           const std::function<bool()>& OnMac) {
  if (!HomeDirectory.empty()) return std::string(HomeDirectory);
  const std::string_view Name = User.empty() ? UserName : User;
  if (Name.empty()) return {};
  return (OnMac && OnMac() ? "/Users/" : "/home/") + std::string(Name);
}

bool SameMountPoint(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    if (FoldAscii(A[I]) != FoldAscii(B[I])) return false;
  }
  return true;
}

std::optional<char> FirstFreeDriveLetter(std::uint32_t LogicalDrives) {
  for (char Letter = 'd'; Letter <= 'z'; ++Letter) {
    if ((LogicalDrives & (std::uint32_t{1} << (Letter - 'a'))) == 0) return Letter;
  }
  return std::nullopt;
}
