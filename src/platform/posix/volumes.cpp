#include "platform/posix/volumes.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>

namespace talvex::platform::posix {

namespace {

namespace fs = std::filesystem;

// mountinfo writes space, tab, newline and backslash in paths as a backslash and three octal
// digits.
std::string DecodeOctalEscapes(std::string_view text) {
  std::string decoded;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto is_octal = [&](std::size_t index) {
      return index < text.size() && text[index] >= '0' && text[index] <= '7';
    };
    if (text[at] == '\\' && is_octal(at + 1) && is_octal(at + 2) && is_octal(at + 3)) {
      decoded += static_cast<char>((text[at + 1] - '0') * 64 + (text[at + 2] - '0') * 8 +
                                   (text[at + 3] - '0'));
      at += 3;
    } else {
      decoded += text[at];
    }
  }
  return decoded;
}

int HexDigit(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

// udev names the links in /dev/disk/by-label with every unsafe byte (a space above all) as \xNN.
std::string DecodeHexEscapes(std::string_view text) {
  std::string decoded;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\\' && at + 3 < text.size() && text[at + 1] == 'x' &&
        HexDigit(text[at + 2]) >= 0 && HexDigit(text[at + 3]) >= 0) {
      decoded += static_cast<char>(HexDigit(text[at + 2]) * 16 + HexDigit(text[at + 3]));
      at += 3;
    } else {
      decoded += text[at];
    }
  }
  return decoded;
}

std::vector<std::string> SplitFields(std::string_view line, char separator) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in{std::string(line)};
  while (std::getline(in, field, separator)) {
    if (!field.empty()) fields.push_back(field);
  }
  return fields;
}

bool HasOption(const std::string& options, std::string_view wanted) {
  for (const std::string& option : SplitFields(options, ',')) {
    if (option == wanted) return true;
  }
  return false;
}

bool IsReadOnly(const MountEntry& entry) {
  return HasOption(entry.mount_options, "ro") || HasOption(entry.super_options, "ro");
}

// Whether `path` is `folder` or lies below it, comparing whole names.
bool IsAtOrBelow(std::string_view path, std::string_view folder) {
  if (folder == "/") return !path.empty() && path.front() == '/';
  if (path.substr(0, folder.size()) != folder) return false;
  return path.size() == folder.size() || path[folder.size()] == '/';
}

std::string FirstLineOf(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// What sysfs says of a block device: the disk it belongs to and how that disk is attached.
struct BlockDevice {
  std::string name;  // "sdb1"
  fs::path disk;     // the disk's folder below sys/devices
  bool removable_or_portable = false;
  std::uint64_t size_bytes = 0;
};

bool IsPortableBus(const fs::path& device_path) {
  for (const fs::path& part : device_path) {
    const std::string name = part.string();
    if (name.rfind("usb", 0) == 0 || name.rfind("mmc", 0) == 0) return true;
  }
  return false;
}

std::optional<BlockDevice> DescribeBlockDevice(const fs::path& root, const std::string& device) {
  std::error_code error;
  const fs::path link = root / "sys/dev/block" / device;
  const fs::path real = fs::canonical(link, error);
  if (error) return std::nullopt;
  BlockDevice described;
  described.name = real.filename().string();
  described.disk = fs::exists(real / "partition", error) ? real.parent_path() : real;
  described.removable_or_portable =
      FirstLineOf(described.disk / "removable") == "1" || IsPortableBus(described.disk);
  // sysfs counts every block device's size in sectors of 512 bytes, whatever the device's own.
  described.size_bytes = std::strtoull(FirstLineOf(real / "size").c_str(), nullptr, 10) * 512;
  return described;
}

// Volume labels by block device name, from the links udev keeps.
std::vector<std::pair<std::string, std::string>> LabelsByDevice(const fs::path& root) {
  std::vector<std::pair<std::string, std::string>> labels;
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(root / "dev/disk/by-label", error)) {
    const fs::path target = fs::read_symlink(entry.path(), error);
    if (error) continue;
    labels.emplace_back(target.filename().string(),
                        DecodeHexEscapes(entry.path().filename().string()));
  }
  return labels;
}

// The mount that holds `path`: the one with the longest mount point above it.
const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, const std::string& path) {
  const MountEntry* holding = nullptr;
  for (const MountEntry& mount : mounts) {
    if (IsAtOrBelow(path, mount.mount_point) &&
        (holding == nullptr || mount.mount_point.size() >= holding->mount_point.size())) {
      holding = &mount;
    }
  }
  return holding;
}

// Whether a later mount at the same place or above it covers the mount: its mount point then
// reaches the later file system, and a build there would land on that one.
bool IsHidden(std::vector<MountEntry>::const_iterator mount,
              std::vector<MountEntry>::const_iterator end) {
  return std::any_of(std::next(mount), end, [&](const MountEntry& later) {
    return IsAtOrBelow(mount->mount_point, later.mount_point);
  });
}

// The tables a listing reads, with what they say of the system's own disk.
struct SystemTables {
  fs::path root;
  std::vector<MountEntry> mounts;
  std::string system_device;            // the device of "/"
  std::optional<fs::path> system_disk;  // the disk that holds it, when sysfs knows one
};

SystemTables ReadSystemTables(const std::string& root) {
  SystemTables tables;
  tables.root = root.empty() ? "/" : root;
  std::ifstream in(tables.root / "proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  tables.mounts = ParseMountInfo(text.str());
  if (const MountEntry* system = MountHolding(tables.mounts, "/")) {
    tables.system_device = system->device;
    if (auto described = DescribeBlockDevice(tables.root, system->device)) {
      tables.system_disk = described->disk;
    }
  }
  return tables;
}

// The flash drive `mount` lies on: a removable, USB or SD/MMC device, never the system's disk
// (any of its partitions, even when the system runs from a stick). Nothing for any other mount.
std::optional<BlockDevice> FlashDriveOf(const SystemTables& tables, const MountEntry& mount) {
  if (mount.mount_point == "/" || mount.device == tables.system_device) return std::nullopt;
  std::optional<BlockDevice> device = DescribeBlockDevice(tables.root, mount.device);
  if (!device || !device->removable_or_portable || device->disk == tables.system_disk) {
    return std::nullopt;
  }
  return device;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> entries;
  for (const std::string& line : SplitFields(text, '\n')) {
    const std::vector<std::string> fields = SplitFields(line, ' ');
    // Optional fields of any number stand between the mount options and the "-".
    std::size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-") ++separator;
    if (separator + 2 >= fields.size()) continue;
    MountEntry entry;
    entry.device = fields[2];
    entry.root = DecodeOctalEscapes(fields[3]);
    entry.mount_point = DecodeOctalEscapes(fields[4]);
    entry.mount_options = fields[5];
    entry.source = DecodeOctalEscapes(fields[separator + 2]);
    if (separator + 3 < fields.size()) entry.super_options = fields[separator + 3];
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<RemovableVolume> ListRemovableVolumes(const std::string& root,
                                                  const std::string& kit_folder) {
  const SystemTables tables = ReadSystemTables(root);
  // The kit's volume is no drive to prepare, whatever it lies on.
  std::set<std::string> excluded_devices;
  if (const MountEntry* kit = MountHolding(tables.mounts, kit_folder)) {
    excluded_devices.insert(kit->device);
  }

  const auto labels = LabelsByDevice(tables.root);
  std::vector<RemovableVolume> volumes;
  std::set<std::string> listed;
  for (auto mount_at = tables.mounts.begin(); mount_at != tables.mounts.end(); ++mount_at) {
    const MountEntry& mount = *mount_at;
    if (IsReadOnly(mount) || excluded_devices.count(mount.device) || listed.count(mount.device) ||
        IsHidden(mount_at, tables.mounts.end())) {
      continue;
    }
    const std::optional<BlockDevice> device = FlashDriveOf(tables, mount);
    if (!device) continue;
    RemovableVolume volume{mount.mount_point, {}, mount.device, mount.source, device->size_bytes};
    for (const auto& [name, label] : labels) {
      if (name == device->name) volume.label = label;
    }
    listed.insert(mount.device);
    volumes.push_back(std::move(volume));
  }
  return volumes;
}

DriveFacts DescribeMountPoint(const std::string& root, const std::string& mount_point) {
  const SystemTables tables = ReadSystemTables(root);
  // The latest mount there is the one the path reaches, unless a later one above covers it.
  const auto latest =
      std::find_if(tables.mounts.rbegin(), tables.mounts.rend(),
                   [&](const MountEntry& mount) { return mount.mount_point == mount_point; });
  DriveFacts facts;
  if (latest == tables.mounts.rend() || latest->root != "/" ||
      IsHidden(std::prev(latest.base()), tables.mounts.end())) {
    return facts;
  }
  facts.volume_root = true;
  facts.removable = FlashDriveOf(tables, *latest).has_value();
  return facts;
}

}  // namespace talvex::platform::posix

namespace talvex::platform {

DriveFacts DescribeDrive(const std::string& path) {
  // Mountinfo names mount points as the system reaches them: without links or dots.
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return {};
  const std::string mount_point(resolved);
  std::free(resolved);
  return posix::DescribeMountPoint("/", mount_point);
}

}  // namespace talvex::platform
