#include "ui/qt/removable_volumes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>

namespace talvex::ui::qt {

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
    entry.mount_point = DecodeOctalEscapes(fields[4]);
    entry.mount_options = fields[5];
    entry.source = DecodeOctalEscapes(fields[separator + 2]);
    if (separator + 3 < fields.size()) entry.super_options = fields[separator + 3];
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string VolumeEntryText(const RemovableVolume& volume) {
  if (volume.label.empty()) return volume.mount_point;
  return volume.mount_point + " [" + volume.label + "]";
}

std::vector<RemovableVolume> ListRemovableVolumes(const std::string& root,
                                                  const std::string& kit_folder) {
  const fs::path root_path(root.empty() ? "/" : root);
  std::ifstream in(root_path / "proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  const std::vector<MountEntry> mounts = ParseMountInfo(text.str());

  // Neither the system's disk (any of its partitions) nor the kit's volume is a drive to prepare.
  std::set<std::string> excluded_devices;
  std::optional<fs::path> system_disk;
  if (const MountEntry* system = MountHolding(mounts, "/")) {
    excluded_devices.insert(system->device);
    if (auto described = DescribeBlockDevice(root_path, system->device)) {
      system_disk = described->disk;
    }
  }
  if (const MountEntry* kit = MountHolding(mounts, kit_folder)) {
    excluded_devices.insert(kit->device);
  }

  const auto labels = LabelsByDevice(root_path);
  std::vector<RemovableVolume> volumes;
  std::set<std::string> listed;
  for (auto mount_at = mounts.begin(); mount_at != mounts.end(); ++mount_at) {
    const MountEntry& mount = *mount_at;
    if (mount.mount_point == "/" || IsReadOnly(mount) || excluded_devices.count(mount.device) ||
        listed.count(mount.device) || IsHidden(mount_at, mounts.end())) {
      continue;
    }
    const std::optional<BlockDevice> device = DescribeBlockDevice(root_path, mount.device);
    if (!device || !device->removable_or_portable || device->disk == system_disk) continue;
    RemovableVolume volume{mount.mount_point, {}, mount.device};
    for (const auto& [name, label] : labels) {
      if (name == device->name) volume.label = label;
    }
    listed.insert(mount.device);
    volumes.push_back(std::move(volume));
  }
  return volumes;
}

}  // namespace talvex::ui::qt
