#include "launcher/MountManager.h"

#include <vector>

#include "launcher/MountManagerRecord.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"

namespace {

UniqueKernelHandle OpenMountManager(DWORD Access) {
  return UniqueKernelHandle(::CreateFileW(L"\\\\.\\MountPointManager", Access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
}

}  // namespace

bool DefineUnixDrive(char Letter, const std::string& MountPoint) {
  std::vector<std::uint8_t> Record = BuildDefineRecord(Letter, MountPoint);
  if (Record.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const UniqueKernelHandle Device = OpenMountManager(GENERIC_READ | GENERIC_WRITE);
  if (!Device) return false;
  DWORD Returned = 0;
  return ::DeviceIoControl(Device.get(), kDefineUnixDriveCode, Record.data(), static_cast<DWORD>(Record.size()),
                           nullptr, 0, &Returned, nullptr) != FALSE;
}

std::optional<std::string> QueryUnixDrive(char Letter) {
  std::vector<std::uint8_t> Request = BuildQueryRecord(Letter);
  if (Request.empty()) return std::nullopt;
  const UniqueKernelHandle Device = OpenMountManager(GENERIC_READ);
  if (!Device) return std::nullopt;
  std::vector<std::uint8_t> Reply(kQueryReplySize, 0);
  DWORD Returned = 0;
  if (!::DeviceIoControl(Device.get(), kQueryUnixDriveCode, Request.data(), static_cast<DWORD>(Request.size()),
                         Reply.data(), static_cast<DWORD>(Reply.size()), &Returned, nullptr))
    return std::nullopt;
  return ReadQueryReply(Reply);
}
