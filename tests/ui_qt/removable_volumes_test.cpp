// The drive list's volumes, read from fake mountinfo, sysfs and udev label trees.
#include "ui/qt/removable_volumes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace talvex::ui::qt {
namespace {

using talvex::testing::MakeFile;
using talvex::testing::TempDir;

constexpr const char* kUsbDisk =
    "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
constexpr const char* kSecondUsbDisk =
    "devices/pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host7/target7:0:0/7:0:0:0/block/sdc";
constexpr const char* kSdCard =
    "devices/platform/soc/fe340000.mmc/mmc_host/mmc0/mmc0:aaaa/block/"
    "mmcblk0";
constexpr const char* kSataDisk =
    "devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda";
constexpr const char* kCardReader =
    "devices/pci0000:00/0000:00:1c.0/0000:03:00.0/host2/target2:0:0/2:0:0:0/block/sdd";

// A system in a folder: the files the listing reads, laid out below `root`.
class FakeSystem {
 public:
  const std::string& root() const { return root_.path(); }

  // A partition `name` of the disk at `disk` (below sys/), known to the kernel as `device`.
  void AddPartition(const std::string& device, const std::string& disk, const std::string& name,
                    bool removable_flag = false) {
    const std::filesystem::path sys = std::filesystem::path(root()) / "sys";
    MakeFile((sys / disk / "removable").string(), removable_flag ? "1\n" : "0\n");
    MakeFile((sys / disk / name / "partition").string(), "1\n");
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
  // One mountinfo line; `mount_point` as mountinfo escapes it.
  void Mount(const std::string& device, const std::string& mount_point,
             const std::string& options = "rw,nosuid,nodev,relatime",
             const std::string& source = "/dev/sdx1", const std::string& super = "rw") {
    const std::string id = std::to_string(++mount_id_);
    mountinfo_ += id + " 1 " + device + " / " + mount_point + " " + options + " shared:" + id +
                  " - vfat " + source + " " + super + "\n";
    MakeFile(root() + "/proc/self/mountinfo", mountinfo_);
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

  std::vector<std::string> Entries(const std::string& kit = "/opt/kit") const {
    std::vector<std::string> entries;
    for (const RemovableVolume& volume : ListRemovableVolumes(root(), kit)) {
      entries.push_back(VolumeEntryText(volume));
    }
    return entries;
  }

 private:
  TempDir root_;
  std::string mountinfo_;
  int mount_id_ = 20;
};

TEST(RemovableVolumesTest, AUsbStickIsListedByItsMountPointAndLabel) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.AddLabel("STICK", "sdb1");
  system.Mount("8:17", "/media/user/STICK");
  const std::vector<RemovableVolume> volumes = ListRemovableVolumes(system.root(), "/opt/kit");
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].mount_point, "/media/user/STICK");
  EXPECT_EQ(volumes[0].label, "STICK");
  EXPECT_EQ(volumes[0].device, "8:17");
  EXPECT_EQ(VolumeEntryText(volumes[0]), "/media/user/STICK [STICK]");
}

TEST(RemovableVolumesTest, AnSdCardIsListedWithoutALabelWhenItHasNone) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("179:1", kSdCard, "mmcblk0p1");
  system.Mount("179:1", "/media/user/3A5F-1C2B", "rw,nosuid", "/dev/mmcblk0p1");
  EXPECT_EQ(system.Entries(), std::vector<std::string>{"/media/user/3A5F-1C2B"});
}

TEST(RemovableVolumesTest, ADiskWithTheRemovableFlagIsListedOnAnyBus) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:49", kCardReader, "sdd1", /*removable_flag=*/true);
  system.Mount("8:49", "/mnt/card");
  EXPECT_EQ(system.Entries(), std::vector<std::string>{"/mnt/card"});
}

TEST(RemovableVolumesTest, TheRootDiskAndFixedDisksAreNeverListed) {
  FakeSystem system;
  system.AddSystemDisk();
  // A second fixed disk, and the system disk mounted a second time somewhere else.
  system.AddPartition("8:33", std::string(kSataDisk) + "-second", "sdc1");
  system.Mount("8:33", "/data");
  system.Mount("8:2", "/media/user/again");
  EXPECT_TRUE(system.Entries().empty());
}

TEST(RemovableVolumesTest, TheSystemIsNeverListedEvenWhenItRunsFromAStick) {
  FakeSystem system;
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.AddPartition("8:18", kUsbDisk, "sdb2");
  system.Mount("8:18", "/", "rw,relatime", "/dev/sdb2");
  system.Mount("8:17", "/boot");
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  system.Mount("8:33", "/media/user/OTHER");
  EXPECT_EQ(system.Entries(), std::vector<std::string>{"/media/user/OTHER"});
}

TEST(RemovableVolumesTest, ReadOnlyVolumesAreNotListed) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.Mount("8:17", "/media/user/LOCKED", "ro,nosuid,nodev");
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  // Writable as mounted, but the file system itself is read-only (an ISO image on a stick).
  system.Mount("8:33", "/media/user/ISO", "rw,nosuid", "/dev/sdc1", "ro");
  EXPECT_TRUE(system.Entries().empty());
}

TEST(RemovableVolumesTest, TheVolumeThatHoldsTheKitIsNotListed) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.Mount("8:17", "/media/user/KIT");
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  system.Mount("8:33", "/media/user/KITCHEN");
  // "/media/user/KITCHEN" is not below "/media/user/KIT": whole names count.
  EXPECT_EQ(system.Entries("/media/user/KIT/talvex-kit"),
            std::vector<std::string>{"/media/user/KITCHEN"});
  EXPECT_EQ(system.Entries("/media/user/KITCHEN"), std::vector<std::string>{"/media/user/KIT"});
}

TEST(RemovableVolumesTest, LabelsAndMountPointsWithSpacesAreDecoded) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.AddLabel("MY\\x20TV\\x20STICK", "sdb1");
  system.Mount("8:17", "/media/user/MY\\040TV\\040STICK");
  EXPECT_EQ(system.Entries(), std::vector<std::string>{"/media/user/MY TV STICK [MY TV STICK]"});
}

TEST(RemovableVolumesTest, VolumesComeInMountOrderAndEachOnlyOnce) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.Mount("8:33", "/media/user/SECOND");
  system.Mount("8:17", "/media/user/FIRST");
  system.Mount("8:33", "/srv/bound-again");
  EXPECT_EQ(system.Entries(),
            (std::vector<std::string>{"/media/user/SECOND", "/media/user/FIRST"}));
}

TEST(RemovableVolumesTest, AVolumeCoveredByALaterMountIsNotListed) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  system.Mount("8:17", "/media/user/STICK");
  system.Mount("8:33", "/media/user/OTHER");
  system.Mount("0:40", "/media/user/STICK", "rw", "tmpfs", "rw");
  EXPECT_EQ(system.Entries(), std::vector<std::string>{"/media/user/OTHER"});
  system.Mount("0:41", "/media", "rw", "tmpfs", "rw");
  EXPECT_TRUE(system.Entries().empty());
}

TEST(RemovableVolumesTest, NothingIsListedWithoutMountinfo) {
  FakeSystem system;
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  EXPECT_TRUE(system.Entries().empty());
}

TEST(RemovableVolumesTest, MountinfoLinesWithAnyNumberOfOptionalFieldsAreRead) {
  const std::vector<MountEntry> entries = ParseMountInfo(
      "36 35 98:0 /mnt1 /mnt/a\\134b rw,noatime master:1 shared:7 - ext3 /dev/root "
      "rw,errors=continue\n"
      "37 35 8:17 / /media/x rw - vfat /dev/sdb1 ro\n"
      "broken line\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].device, "98:0");
  EXPECT_EQ(entries[0].mount_point, "/mnt/a\\b");
  EXPECT_EQ(entries[0].mount_options, "rw,noatime");
  EXPECT_EQ(entries[0].source, "/dev/root");
  EXPECT_EQ(entries[0].super_options, "rw,errors=continue");
  EXPECT_EQ(entries[1].mount_point, "/media/x");
  EXPECT_EQ(entries[1].super_options, "ro");
}

}  // namespace
}  // namespace talvex::ui::qt
