#include "platform/win32/win32_relative.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win32/utf.h"

// ntdll exports it and its import library has it; winternl.h does not declare it.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc,
                                               PVOID apc_context, PIO_STATUS_BLOCK io, PVOID buffer,
                                               ULONG length,
                                               FILE_INFORMATION_CLASS information_class,
                                               BOOLEAN single_entry, PUNICODE_STRING file_name,
                                               BOOLEAN restart_scan);

namespace talvex::platform::win32 {
namespace {

// A counted string holds at most this many bytes.
constexpr std::size_t kMaxCountedBytes = 0xFFFE;
// One listing call fills this much: some hundred entries.
constexpr ULONG kListingBufferBytes = 64 * 1024;

bool Failed(NTSTATUS status) {
  ::SetLastError(::RtlNtStatusToDosError(status));
  return false;
}

bool Done(NTSTATUS status) {
  return NT_SUCCESS(status) || Failed(status);
}

bool CountedString(std::wstring_view text, UNICODE_STRING& counted) {
  const std::size_t bytes = text.size() * sizeof(wchar_t);
  if (bytes > kMaxCountedBytes) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  counted.Length = static_cast<USHORT>(bytes);
  counted.MaximumLength = static_cast<USHORT>(bytes);
  counted.Buffer = const_cast<wchar_t*>(text.data());
  return true;
}

bool PassOnListed(const FILE_FULL_DIR_INFORMATION& info, const ListVisitor& visit) {
  const std::wstring_view wide(info.FileName, info.FileNameLength / sizeof(wchar_t));
  if (wide == L"." || wide == L"..") return true;
  const std::string name = WideToUtf8(wide);
  DirEntry entry;
  entry.name = name;
  entry.attributes = AttributesOf(info.FileAttributes);
  if (!entry.IsDirectory()) {
    entry.size = static_cast<std::uint64_t>(info.EndOfFile.QuadPart);
    entry.modified = FileTimeOf(info.LastWriteTime.QuadPart);
  }
  return visit(entry);
}

}  // namespace

bool OpenRelative(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG share,
                  ULONG disposition, ULONG options, Handle& opened) {
  UNICODE_STRING object_name;
  if (!CountedString(name, object_name)) return false;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status =
      ::NtCreateFile(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io,
                     nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                     options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (!NT_SUCCESS(status)) return Failed(status);
  opened = Handle(handle);
  return true;
}

bool RenameInto(HANDLE entry, HANDLE folder, std::wstring_view name, bool replace) {
  const std::size_t name_bytes = name.size() * sizeof(wchar_t);
  if (name_bytes > kMaxCountedBytes) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  // The system takes no less than the whole structure, even for a one-letter name.
  const std::size_t length = std::max(sizeof(FILE_RENAME_INFORMATION),
                                      offsetof(FILE_RENAME_INFORMATION, FileName) + name_bytes);
  std::vector<std::uint64_t> buffer((length + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = folder;
  info->FileNameLength = static_cast<ULONG>(name_bytes);
  std::memcpy(info->FileName, name.data(), name_bytes);
  IO_STATUS_BLOCK io{};
  return Done(
      ::NtSetInformationFile(entry, &io, info, static_cast<ULONG>(length), FileRenameInformation));
}

FsStatus ListOpenFolder(HANDLE folder, const std::string& path, std::wstring_view only,
                        const ListVisitor& visit) {
  // The listing's place belongs to the handle: one of its own for each listing.
  Handle listing(INVALID_HANDLE_VALUE);
  if (!OpenRelative(folder, L"", FILE_LIST_DIRECTORY, kShareEverything, FILE_OPEN,
                    FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, listing)) {
    return LastError(path);
  }
  UNICODE_STRING pattern;
  if (!CountedString(only, pattern)) return LastError(path);
  std::vector<std::uint64_t> buffer(kListingBufferBytes / sizeof(std::uint64_t));
  for (bool first = true;; first = false) {
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ::NtQueryDirectoryFile(
        listing.get(), nullptr, nullptr, nullptr, &io, buffer.data(), kListingBufferBytes,
        FileFullDirectoryInformation, FALSE, only.empty() ? nullptr : &pattern, first);
    if (!NT_SUCCESS(status)) {
      const DWORD error = ::RtlNtStatusToDosError(status);
      // The end of the listing; at once for an empty root or a name that is not there.
      if (error == ERROR_NO_MORE_FILES || (first && error == ERROR_FILE_NOT_FOUND)) return {};
      return ErrorStatus(error, path);
    }
    if (io.Information == 0) return {};
    const auto* bytes = reinterpret_cast<const std::byte*>(buffer.data());
    for (std::size_t offset = 0;;) {
      const auto& info = *reinterpret_cast<const FILE_FULL_DIR_INFORMATION*>(bytes + offset);
      if (!PassOnListed(info, visit)) return {};
      if (info.NextEntryOffset == 0) break;
      offset += info.NextEntryOffset;
    }
  }
}

bool VolumePathOf(HANDLE entry, std::wstring& path) {
  // Room for the longest path the system names.
  constexpr std::size_t kLongestPath = 32768;
  std::vector<std::uint64_t> buffer(
      (offsetof(FILE_NAME_INFO, FileName) + kLongestPath * sizeof(wchar_t)) /
          sizeof(std::uint64_t) +
      1);
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
  if (!::GetFileInformationByHandleEx(entry, FileNameInfo, info,
                                      static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t)))) {
    return false;
  }
  path.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
  return true;
}

std::optional<std::uint64_t> FreeBytesOf(HANDLE entry) {
  IO_STATUS_BLOCK io{};
  FILE_FS_FULL_SIZE_INFORMATION size{};
  if (!NT_SUCCESS(::NtQueryVolumeInformationFile(entry, &io, &size, sizeof size,
                                                 FileFsFullSizeInformation)) ||
      size.TotalAllocationUnits.QuadPart <= 0) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size.CallerAvailableAllocationUnits.QuadPart) *
         size.SectorsPerAllocationUnit * size.BytesPerSector;
}

}  // namespace talvex::platform::win32
