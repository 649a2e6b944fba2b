// The flash drives of a Linux system, read from fake mountinfo, sysfs and udev label trees.
#include "platform/posix/volumes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/fake_system.h"

namespace talvex::platform::posix {
namespace {

using namespace talvex::testing;  // the fake system and its disks

// The mount points listed as flash drives.
std::vector<std::string> Entries(const FakeSystem& system, const std::string& kit = "/opt/kit") {
  std::vector<std::string> entries;
  for (const RemovableVolume& volume : ListRemovableVolumes(system.root(), kit)) {
    entries.push_back(volume.mount_point);
  }
  return entries;
}

TEST(RemovableVolumesTest, AUsbStickIsListedByItsMountPointLabelDeviceAndSize) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1", false, 31'250'000);
  system.AddLabel("STICK", "sdb1");
  system.Mount("8:17", "/media/user/STICK", "rw,nosuid,nodev,relatime", "/dev/sdb1");
  const std::vector<RemovableVolume> volumes = ListRemovableVolumes(system.root(), "/opt/kit");
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].mount_point, "/media/user/STICK");
  EXPECT_EQ(volumes[0].label, "STICK");
  EXPECT_EQ(volumes[0].device, "8:17");
  EXPECT_EQ(volumes[0].source, "/dev/sdb1");
  EXPECT_EQ(volumes[0].size_bytes, 16'000'000'000u);
}

TEST(RemovableVolumesTest, AnSdCardIsListedWithoutALabelWhenItHasNone) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("179:1", kSdCard, "mmcblk0p1");
  system.Mount("179:1", "/media/user/3A5F-1C2B", "rw,nosuid", "/dev/mmcblk0p1");
  EXPECT_EQ(Entries(system), std::vector<std::string>{"/media/user/3A5F-1C2B"});
}

TEST(RemovableVolumesTest, ADiskWithTheRemovableFlagIsListedOnAnyBus) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:49", kCardReader, "sdd1", /*removable_flag=*/true);
  system.Mount("8:49", "/mnt/card");
  EXPECT_EQ(Entries(system), std::vector<std::string>{"/mnt/card"});
}

TEST(RemovableVolumesTest, TheRootDiskAndFixedDisksAreNeverListed) {
  FakeSystem system;
  system.AddSystemDisk();
  // A second fixed disk, and the system disk mounted a second time somewhere else.
  system.AddPartition("8:33", std::string(kSataDisk) + "-second", "sdc1");
  system.Mount("8:33", "/data");
  system.Mount("8:2", "/media/user/again");
  EXPECT_TRUE(Entries(system).empty());
}

TEST(RemovableVolumesTest, TheSystemIsNeverListedEvenWhenItRunsFromAStick) {
  FakeSystem system;
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.AddPartition("8:18", kUsbDisk, "sdb2");
  system.Mount("8:18", "/", "rw,relatime", "/dev/sdb2");
  system.Mount("8:17", "/boot");
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  system.Mount("8:33", "/media/user/OTHER");
  EXPECT_EQ(Entries(system), std::vector<std::string>{"/media/user/OTHER"});
}

TEST(RemovableVolumesTest, ReadOnlyVolumesAreNotListed) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.Mount("8:17", "/media/user/LOCKED", "ro,nosuid,nodev");
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  // Writable as mounted, but the file system itself is read-only (an ISO image on a stick).
  system.Mount("8:33", "/media/user/ISO", "rw,nosuid", "/dev/sdc1", "ro");
  EXPECT_TRUE(Entries(system).empty());
}

TEST(RemovableVolumesTest, TheVolumeThatHoldsTheKitIsNotListed) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.Mount("8:17", "/media/user/KIT");
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  system.Mount("8:33", "/media/user/KITCHEN");
  // "/media/user/KITCHEN" is not below "/media/user/KIT": whole names count.
  EXPECT_EQ(Entries(system, "/media/user/KIT/talvex-kit"),
            std::vector<std::string>{"/media/user/KITCHEN"});
  EXPECT_EQ(Entries(system, "/media/user/KITCHEN"), std::vector<std::string>{"/media/user/KIT"});
}

TEST(RemovableVolumesTest, LabelsAndMountPointsWithSpacesAreDecoded) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.AddLabel("MY\\x20TV\\x20STICK", "sdb1");
  system.Mount("8:17", "/media/user/MY\\040TV\\040STICK");
  const std::vector<RemovableVolume> volumes = ListRemovableVolumes(system.root(), "/opt/kit");
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].mount_point, "/media/user/MY TV STICK");
  EXPECT_EQ(volumes[0].label, "MY TV STICK");
}

TEST(RemovableVolumesTest, VolumesComeInMountOrderAndEachOnlyOnce) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.Mount("8:33", "/media/user/SECOND");
  system.Mount("8:17", "/media/user/FIRST");
  system.Mount("8:33", "/srv/bound-again");
  EXPECT_EQ(Entries(system), (std::vector<std::string>{"/media/user/SECOND", "/media/user/FIRST"}));
}

TEST(RemovableVolumesTest, AVolumeCoveredByALaterMountIsNotListed) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.AddPartition("8:33", kSecondUsbDisk, "sdc1");
  system.Mount("8:17", "/media/user/STICK");
  system.Mount("8:33", "/media/user/OTHER");
  system.Mount("0:40", "/media/user/STICK", "rw", "tmpfs", "rw");
  EXPECT_EQ(Entries(system), std::vector<std::string>{"/media/user/OTHER"});
  system.Mount("0:41", "/media", "rw", "tmpfs", "rw");
  EXPECT_TRUE(Entries(system).empty());
}

TEST(RemovableVolumesTest, NothingIsListedWithoutMountinfo) {
  FakeSystem system;
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  EXPECT_TRUE(Entries(system).empty());
}

TEST(RemovableVolumesTest, MountinfoLinesWithAnyNumberOfOptionalFieldsAreRead) {
  const std::vector<MountEntry> entries = ParseMountInfo(
      "36 35 98:0 /mnt1 /mnt/a\\134b rw,noatime master:1 shared:7 - ext3 /dev/root "
      "rw,errors=continue\n"
      "37 35 8:17 / /media/x rw - vfat /dev/sdb1 ro\n"
      "broken line\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].device, "98:0");
  EXPECT_EQ(entries[0].root, "/mnt1");
  EXPECT_EQ(entries[0].mount_point, "/mnt/a\\b");
  EXPECT_EQ(entries[0].mount_options, "rw,noatime");
  EXPECT_EQ(entries[0].source, "/dev/root");
  EXPECT_EQ(entries[0].super_options, "rw,errors=continue");
  EXPECT_EQ(entries[1].mount_point, "/media/x");
  EXPECT_EQ(entries[1].super_options, "ro");
}

// The one removable-drive question both windows and the command line ask: the root of a whole
// file system on a flash drive, and nothing else.
TEST(RemovableVolumesTest, OnlyTheMountPointOfAFlashDriveIsAFlashDrivesRoot) {
  FakeSystem system;
  system.AddSystemDisk();
  system.AddPartition("8:17", kUsbDisk, "sdb1");
  system.AddPartition("8:33", std::string(kSataDisk) + "-second", "sdc1");
  system.Mount("8:17", "/media/STICK");
  system.Mount("8:33", "/data");
  system.Mount("0:50", "/media/FUSE", "rw", "fusefat", "rw");  // no block device behind it
  system.Mount("8:17", "/srv/films", "rw", "/dev/sdb1", "rw", "/films");
  const std::vector<std::pair<std::string, DriveFacts>> cases = {
      {"/media/STICK", {true, true}}, {"/media/STICK/Talvex", {}},    {"/", {true, false}},
      {"/data", {true, false}},       {"/media/FUSE", {true, false}}, {"/srv/films", {}},
  };
  for (const auto& [path, expected] : cases) {
    const DriveFacts facts = DescribeMountPoint(system.root(), path);
    EXPECT_EQ(facts.volume_root, expected.volume_root) << path;
    EXPECT_EQ(facts.removable, expected.removable) << path;
  }
  // Covered by a later mount, the stick is not reached; unmounted, its folder is no root.
  system.Mount("0:41", "/media", "rw", "tmpfs", "rw");
  EXPECT_FALSE(DescribeMountPoint(system.root(), "/media/STICK").volume_root);
  system.Unmount("/media");
  system.Unmount("/media/STICK");
  EXPECT_FALSE(DescribeMountPoint(system.root(), "/media/STICK").volume_root);
}

}  // namespace
}  // namespace talvex::platform::posix
