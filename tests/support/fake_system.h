// A Linux system in a folder: the mount table, sysfs and udev label links the volume listing
// reads, laid out below a temporary root, so that tests plug, label and unplug drives at will.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace talvex::testing {

// Disks as sysfs places them: on USB, on an SD/MMC host, on SATA, and a card reader on PCI.
inline constexpr const char* kUsbDisk =
    "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
inline constexpr const char* kSecondUsbDisk =
    "devices/pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host7/target7:0:0/7:0:0:0/block/sdc";
inline constexpr const char* kSdCard =
    "devices/platform/soc/fe340000.mmc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0";
inline constexpr const char* kSataDisk =
    "devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda";
inline constexpr const char* kCardReader =
    "devices/pci0000:00/0000:00:1c.0/0000:03:00.0/host2/target2:0:0/2:0:0:0/block/sdd";

class FakeSystem {
 public:
  const std::string& root() const { return root_.path(); }

  // A partition `name` of the disk at `disk` (below sys/), known to the kernel as `device`, of
  // `sectors` sectors of 512 bytes.
  void AddPartition(const std::string& device, const std::string& disk, const std::string& name,
                    bool removable_flag = false, std::uint64_t sectors = 0) {
    const std::filesystem::path sys = std::filesystem::path(root()) / "sys";
    MakeFile((sys / disk / "removable").string(), removable_flag ? "1\n" : "0\n");
    MakeFile((sys / disk / name / "partition").string(), "1\n");
    MakeFile((sys / disk / name / "size").string(), std::to_string(sectors) + "\n");
    std::filesystem::create_directories(sys / "dev/block");
    std::filesystem::create_symlink(std::filesystem::path("../..") / disk / name,
                                    sys / "dev/block" / device);
  }
  // udev's link for a labelled file system; `link_name` is as udev writes it, escapes and all.
  void AddLabel(const std::string& link_name, const std::string& partition) {
    const std::filesystem::path folder = std::filesystem::path(root()) / "dev/disk/by-label";
    std::filesystem::create_directories(folder);
    std::filesystem::create_symlink("../../" + partition, folder / link_name);
  }
  // One mountinfo line; `mount_point` as mountinfo escapes it, `fs_root` the folder of the file
  // system mounted there.
  void Mount(const std::string& device, const std::string& mount_point,
             const std::string& options = "rw,nosuid,nodev,relatime",
             const std::string& source = "/dev/sdx1", const std::string& super = "rw",
             const std::string& fs_root = "/") {
    const std::string id = std::to_string(++mount_id_);
    mounts_.emplace_back(mount_point, id + " 1 " + device + " " + fs_root + " " + mount_point +
                                          " " + options + " shared:" + id + " - vfat " + source +
                                          " " + super + "\n");
    WriteMountInfo();
  }
  // Takes the latest mount at `mount_point` out of the table, as an unmount does.
  void Unmount(const std::string& mount_point) {
    for (auto mount = mounts_.rbegin(); mount != mounts_.rend(); ++mount) {
      if (mount->first != mount_point) continue;
      mounts_.erase(std::next(mount).base());
      break;
    }
    WriteMountInfo();
  }

  // The usual machine: the system on a SATA disk, /boot/efi on the same disk, /proc and a tmpfs.
  void AddSystemDisk() {
    AddPartition("8:1", kSataDisk, "sda1");
    AddPartition("8:2", kSataDisk, "sda2");
    Mount("8:2", "/", "rw,relatime", "/dev/sda2", "rw,errors=remount-ro");
    Mount("0:22", "/proc", "rw,nosuid", "proc", "rw");
    Mount("8:1", "/boot/efi", "rw,relatime", "/dev/sda1", "rw");
    Mount("0:25", "/run/user/1000", "rw,nosuid", "tmpfs", "rw");
  }

 private:
  void WriteMountInfo() const {
    std::string table;
    for (const auto& [mount_point, line] : mounts_) table += line;
    MakeFile(root() + "/proc/self/mountinfo", table);
  }

  TempDir root_;
  std::vector<std::pair<std::string, std::string>> mounts_;  // mount point, mountinfo line
  int mount_id_ = 20;
};

}  // namespace talvex::testing
