// Drives on Windows: a drive letter's root, removable when the system says so or when its disk
// sits on the USB bus.
#include "platform/drives.h"

#include "platform/win32/windows_api.h"
// After windows_api.h: it builds on windows.h.
#include <winioctl.h>

#include <cstddef>
#include <string>

#include "platform/win32/quiet_drive_errors.h"

namespace talvex::platform {

namespace {

// The upper-case letter of "e:", "e:\" or "E:/", or 0 when `path` is no drive letter's root.
wchar_t RootLetter(const std::string& path) {
  const bool shaped =
      (path.size() == 2 || (path.size() == 3 && (path[2] == '\\' || path[2] == '/'))) &&
      path[1] == ':';
  if (!shaped) return 0;
  const char letter = path[0];
  if (letter >= 'a' && letter <= 'z') return static_cast<wchar_t>(L'A' + (letter - 'a'));
  if (letter >= 'A' && letter <= 'Z') return static_cast<wchar_t>(letter);
  return 0;
}

// Whether the disk under the drive sits on the USB bus: a stick that calls itself a fixed disk
// still is one.
bool OnUsbBus(wchar_t letter) {
  const std::wstring device = std::wstring(L"\\\\.\\") + letter + L':';
  // No access rights are asked for: the query needs none, and it then works without elevation.
  HANDLE volume = CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return false;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  STORAGE_DEVICE_DESCRIPTOR descriptor{};
  DWORD returned = 0;
  const bool asked = DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query),
                                     &descriptor, sizeof(descriptor), &returned, nullptr) != 0;
  CloseHandle(volume);
  return asked &&
         returned >= offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(descriptor.BusType) &&
         descriptor.BusType == BusTypeUsb;
}

}  // namespace

DriveFacts DescribeDrive(const std::string& path) {
  const wchar_t letter = RootLetter(path);
  DriveFacts facts;
  if (letter == 0 || (GetLogicalDrives() & (1u << (letter - L'A'))) == 0) return facts;
  facts.volume_root = true;
  const win32::QuietDriveErrors quiet;
  const std::wstring root{letter, L':', L'\\'};
  const UINT type = GetDriveTypeW(root.c_str());
  facts.removable = type == DRIVE_REMOVABLE || (type == DRIVE_FIXED && OnUsbBus(letter));
  return facts;
}

}  // namespace talvex::platform
