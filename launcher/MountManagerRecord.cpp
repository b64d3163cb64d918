#include "launcher/MountManagerRecord.h"

#include <limits>

namespace {

constexpr std::size_t kSizeOffset = 0;
constexpr std::size_t kLetterOffset = 24;
constexpr std::size_t kMountPointFieldOffset = 26;
constexpr std::size_t kDeviceFieldOffset = 28;

void Put16(std::vector<std::uint8_t>& Record, std::size_t At, std::uint16_t Value) {
  Record[At] = static_cast<std::uint8_t>(Value & 0xFF);
  Record[At + 1] = static_cast<std::uint8_t>(Value >> 8);
}

void Put32(std::vector<std::uint8_t>& Record, std::size_t At, std::uint32_t Value) {
  for (std::size_t I = 0; I < 4; ++I) Record[At + I] = static_cast<std::uint8_t>(Value >> (8 * I));
}

bool IsDriveLetter(char Letter) { return Letter >= 'a' && Letter <= 'z'; }

}  // namespace

std::vector<std::uint8_t> BuildDefineRecord(char Letter, std::string_view MountPoint) {
  if (!IsDriveLetter(Letter) || MountPoint.empty() || MountPoint.find('\0') != std::string_view::npos) return {};
  const std::size_t DeviceOffset = kMountRecordHeaderSize + MountPoint.size() + 1;
  const std::size_t Total = DeviceOffset + 1;
  if (DeviceOffset > std::numeric_limits<std::uint16_t>::max()) return {};
  std::vector<std::uint8_t> Record(Total, 0);
  Put32(Record, kSizeOffset, static_cast<std::uint32_t>(Total));
  Put16(Record, kLetterOffset, static_cast<std::uint16_t>(Letter));
  Put16(Record, kMountPointFieldOffset, static_cast<std::uint16_t>(kMountRecordHeaderSize));
  Put16(Record, kDeviceFieldOffset, static_cast<std::uint16_t>(DeviceOffset));
  for (std::size_t I = 0; I < MountPoint.size(); ++I)
    Record[kMountRecordHeaderSize + I] = static_cast<std::uint8_t>(MountPoint[I]);
  return Record;
}

std::vector<std::uint8_t> BuildQueryRecord(char Letter) {
  if (!IsDriveLetter(Letter)) return {};
  std::vector<std::uint8_t> Record(kMountRecordHeaderSize, 0);
  Put16(Record, kLetterOffset, static_cast<std::uint16_t>(Letter));
  return Record;
}

std::optional<std::string> ReadQueryReply(std::span<const std::uint8_t> Reply) {
  if (Reply.size() < kMountRecordHeaderSize) return std::nullopt;
  const std::size_t Offset = Reply[kMountPointFieldOffset] | (std::size_t{Reply[kMountPointFieldOffset + 1]} << 8);
  if (Offset == 0 || Offset >= Reply.size()) return std::nullopt;
  std::string MountPoint;
  for (std::size_t I = Offset; I < Reply.size(); ++I) {
    if (Reply[I] == 0) return MountPoint;
    MountPoint += static_cast<char>(Reply[I]);
  }
  return std::nullopt;  // no terminating NUL inside the reply
}
