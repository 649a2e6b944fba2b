#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"

#ifdef _WIN32
#include "platform/win32/utf.h"
#include "platform/win32/windows_api.h"
// After windows.h, which it needs and which leaves it out here.
#include <winioctl.h>
#endif

namespace talvex::testing {

std::set<std::string> ListedNames(platform::FileSystem& fs, const std::string& folder,
                                  std::uint32_t filter) {
  std::set<std::string> names;
  platform::FsStatus listed = fs.ListDirectory(folder, filter, [&](const platform::DirEntry& e) {
    EXPECT_TRUE(names.emplace(e.name).second) << "listed twice: " << e.name;
    return true;
  });
  EXPECT_TRUE(listed.ok()) << listed.message << " " << listed.path;
  return names;
}

std::string TestDrive() {
  const char* drive = std::getenv("TALVEX_TEST_DRIVE");
  return drive != nullptr ? std::string(drive) : std::string();
}

std::string ComparablePath(std::string path) {
  if (platform::kCaseInsensitiveNames) {
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return path;
}

#ifdef _WIN32
namespace {

bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine's own mount manager request, the one its drive settings use: the letter names the host
// folder whose path follows the request; without a path the letter goes.
struct WineDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fs_type;
  DWORD serial;
  ULONGLONG unix_dev;
  WCHAR letter;
  USHORT mount_point_offset;
  USHORT device_offset;
  USHORT label_offset;
};
constexpr DWORD kDefineWineDrive = CTL_CODE(0x6D /* the mount manager's */, 32, METHOD_BUFFERED,
                                            FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool DefineWineDrive(wchar_t letter, const std::wstring& folder) {
  std::string host;
  if (!folder.empty()) {
    using HostPathOf = char*(CDECL*)(const wchar_t*);
    const auto host_path_of = reinterpret_cast<HostPathOf>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* path = host_path_of != nullptr ? host_path_of(folder.c_str()) : nullptr;
    if (path == nullptr) return false;
    host = path;
    ::HeapFree(::GetProcessHeap(), 0, path);
  }
  WineDriveRequest request{};
  request.size = static_cast<ULONG>(sizeof request + host.size() + 1);
  request.type = DRIVE_FIXED;
  request.letter = letter;
  if (!host.empty()) request.mount_point_offset = sizeof request;
  std::string bytes(request.size, '\0');
  std::memcpy(bytes.data(), &request, sizeof request);
  std::memcpy(bytes.data() + sizeof request, host.data(), host.size());
  HANDLE manager =
      ::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  const BOOL defined = ::DeviceIoControl(manager, kDefineWineDrive, bytes.data(), request.size,
                                         nullptr, 0, &returned, nullptr);
  ::CloseHandle(manager);
  return defined != FALSE;
}

}  // namespace

DriveLetter::DriveLetter() {
  // From the end of the alphabet: t:, x: and z: are the suites' own, q: the window tests'.
  const DWORD taken = ::GetLogicalDrives();
  for (wchar_t letter : {L'w', L'v', L'u', L's', L'r'}) {
    if ((taken & (1u << (letter - L'a'))) == 0) {
      letter_ = letter;
      root_ = std::string{static_cast<char>(letter), ':', '\\'};
      return;
    }
  }
}

DriveLetter::~DriveLetter() {
  if (!defined_) return;
  // Wine's mount manager leaves the letter's entry among the system's names when it lets the
  // letter go: that entry goes too, or later processes would still list the letter.
  if (UnderWine()) DefineWineDrive(letter_, L"");
  const wchar_t device[] = {letter_, L':', L'\0'};
  ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, device, nullptr);
}

bool DriveLetter::PointAt(const std::string& folder) {
  if (letter_ == 0) return false;
  const std::wstring wide = platform::Utf8ToWide(folder);
  // Wine resolves drive letters from its own table, which DefineDosDevice does not change.
  if (UnderWine()) return defined_ = DefineWineDrive(letter_, wide);
  const wchar_t device[] = {letter_, L':', L'\0'};
  if (defined_) ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, device, nullptr);
  return defined_ = ::DefineDosDeviceW(0, device, wide.c_str()) != FALSE;
}
#endif

}  // namespace talvex::testing
