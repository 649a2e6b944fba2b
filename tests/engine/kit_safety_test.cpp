// What no kit and no drive may make a build do: delete the kit, change anything outside the
// payload and the ticked application folders, write through a link, or leave a master file
// half written.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/app_folders.h"
#include "engine/generated_files.h"
#include "engine/payload_manifest.h"
#include "payload_fixture.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#endif

namespace talvex::build::testing {
namespace {

using platform::NativeFileSystem;

// Every file below `root` with its bytes, folders as entries of their own.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> snapshot;
  for (const std::string& entry : TreeListing(root)) {
    snapshot[entry] = entry.ends_with('/') ? "" : ReadBytes(Join(root, entry));
  }
  return snapshot;
}

// Under Wine every file operation costs many times what it costs natively: the long sweeps
// take every few cases there, and every case here.
#ifdef _WIN32
constexpr std::size_t kSweepStride = 6;
constexpr int kConcurrentRuns = 20;
#else
constexpr std::size_t kSweepStride = 1;
constexpr int kConcurrentRuns = 60;
#endif

// What a folder under a second name is: on a case-insensitive volume the same folder in other
// letters, through a bind mount or a network path the same folder elsewhere. Some file systems
// even give each name an identity of its own (FUSE FAT32 does); the kit's token still shows it.
TEST(KitIdentityTest, AnOverlapUnderAnotherNameIsStillRefused) {
  BuildOptions options = AllUnticked();
  using Identity = FaultInjectingFileSystem::AliasIdentity;
  struct Case {
    const char* kit;     // below the root
    const char* target;  // below the root, "" for the root itself
    const char* alias;   // another name of...
    const char* real;    // ...this folder
    bool pvr = false;
  };
  const Case cases[] = {
      {"KIT", "kit", "kit", "KIT"},            // the drive's root is the kit
      {"talvex/kit", "", "Talvex", "talvex"},  // the kit inside the payload folder
      {"pvr/kit", "", "PVR", "pvr", true},     // the kit inside a ticked application
      {"kit", "net", "net", "kit"},            // the kit reached by another path altogether
      {"kit", "net/PVR", "net", "kit"},        // the drive's root inside the kit
      {"a/b/kit", "", "Talvex", "a", false},   // the kit deep below the payload folder
  };
  for (const Identity identity : {Identity::kShared, Identity::kOwn}) {
    for (const Case& c : cases) {
      TempDir root;
      const std::string kit = Join(root.path(), c.kit);
      MakeFile(Join(kit, "Talvex/rcTVX"), "master");
      MakeDirs(Join(kit, "PVR"));
      FaultInjectingFileSystem fs(NativeFileSystem());
      fs.AddAlias(Join(root.path(), c.alias), Join(root.path(), c.real), identity);
      options.pvr = c.pvr ? CheckState::kChecked : CheckState::kUnchecked;
      const std::string target = *c.target == '\0' ? root.path() : Join(root.path(), c.target);
      const BuildResult result = RunBuild(fs, {kit, target, options});
      EXPECT_TRUE(result.refused) << c.kit << " built onto " << target;
      for (const auto& change : fs.journal()) {
        // The token the check leaves in the kit and takes away again is all that may change.
        EXPECT_NE(change.path.find(".talvex-guard-"), std::string::npos) << change.path;
      }
      EXPECT_EQ(ReadBytes(Join(kit, "Talvex/rcTVX")), "master");
      EXPECT_EQ(TreeListing(kit), (std::vector<std::string>{"PVR/", "Talvex/", "Talvex/rcTVX"}));
    }
  }
}

TEST_F(PayloadTest, NothingOutsideThePayloadChangesWhicheverStepFails) {
  const BuildOptions options = SharesPvrAndFtp();
  MakeFile(Drive("\\Other\\keep.txt"), "the user's own");
  MakeFile(Drive("\\readme.txt"), "on the stick before");
  ASSERT_TRUE(Build(options).failures.empty());  // a previous payload to remove each time
  const std::map<std::string, std::string> kit_before = Snapshot(kit_.path());
  const std::vector<std::string> generated = {Slashed(kAccessNfsPath), Slashed(kAccessSmbPath),
                                              Slashed(kLibrariesPath)};
  auto outside = [this] {
    std::map<std::string, std::string> snapshot = Snapshot(drive_.path());
    std::erase_if(snapshot, [](const auto& entry) {
      if (entry.first.starts_with("Talvex/")) return true;
      for (const AppFolderEntry& app : AppFolders) {
        if (entry.first.starts_with(std::string(app.FolderName) + "/")) return true;
      }
      return false;
    });
    return snapshot;
  };
  const std::map<std::string, std::string> outside_before = outside();

  for (std::size_t change = 0;; change += kSweepStride) {
    FaultInjectingFileSystem faulty(fs());
    faulty.FailChangeNumber(change, 5);
    Build(options, faulty);
    ASSERT_EQ(outside(), outside_before) << "after change " << change << " failed";
    // The kit: the same files with the same bytes; the generated ones whole (the content of
    // this build equals the previous one's, so "old or new" is one text).
    ASSERT_EQ(Snapshot(kit_.path()), kit_before) << "after change " << change << " failed";
    if (change >= faulty.journal().size()) break;
  }
  for (const std::string& file : generated) EXPECT_TRUE(kit_before.contains(file)) << file;
}

TEST_F(PayloadTest, TwoBuildsSharingOneKitEachPutTheirOwnSettingsOnTheirDrive) {
  TempDir other_drive;
  BuildOptions alice = AllUnticked();
  alice.Chsmb = CheckState::kChecked;
  alice.TexSMBlog = "alice";
  alice.TexSMBpas = std::string(2000, 'a');  // long enough that a torn write would show
  BuildOptions bob = alice;
  bob.TexSMBlog = "bob";
  bob.TexSMBpas = std::string(3000, 'b');
  const std::string alice_bytes = ComposeGeneratedFile(kAccessSmbPieces, alice).bytes;
  const std::string bob_bytes = ComposeGeneratedFile(kAccessSmbPieces, bob).bytes;

  std::atomic<int> wrong_on_drive{0};
  std::atomic<int> torn_master{0};
  std::atomic<bool> building{true};
  auto builder = [&](const BuildOptions& options, const std::string& drive,
                     const std::string& expected) {
    for (int run = 0; run < kConcurrentRuns; ++run) {
      RunBuild(fs(), BuildContext{kit_.path(), drive, options});
      if (ReadBytes(platform::JoinPayloadPath(drive, kAccessSmbPath)) != expected) ++wrong_on_drive;
    }
  };
  std::thread reader([&] {
    while (building) {
      const std::string master = ReadBytes(Kit(kAccessSmbPath));
      if (!master.empty() && master != alice_bytes && master != bob_bytes) ++torn_master;
    }
  });
  std::thread first(builder, std::cref(alice), drive_.path(), alice_bytes);
  std::thread second(builder, std::cref(bob), other_drive.path(), bob_bytes);
  first.join();
  second.join();
  building = false;
  reader.join();
  EXPECT_EQ(wrong_on_drive, 0);
  EXPECT_EQ(torn_master, 0);
  const std::string master = ReadBytes(Kit(kAccessSmbPath));
  EXPECT_TRUE(master == alice_bytes || master == bob_bytes);
  // No temporary file is left beside the master.
  for (const std::string& entry : TreeListing(Kit("\\Talvex\\etc\\init.d"))) {
    EXPECT_FALSE(entry.starts_with(".")) << entry;
  }
}

#ifndef _WIN32
TEST_F(PayloadTest, LinksLeftOnTheDriveAreNeverWrittenThrough) {
  TempDir elsewhere;
  MakeFile(elsewhere / "twin.txt", "outside the payload");
  // A tree an earlier build left and the user cannot fully remove: a link to another folder
  // where the scripts go, and a hard link to a file outside at the place of a core file.
  MakeDirs(Drive("\\Talvex\\etc"));
  ASSERT_EQ(symlink(elsewhere.path().c_str(), Drive("\\Talvex\\etc\\init.d").c_str()), 0);
  const std::string core = std::string(PayloadManifest[0].RelativePath);
  ASSERT_EQ(link((elsewhere / "twin.txt").c_str(), Drive(core).c_str()), 0);
  FaultInjectingFileSystem faulty(fs());
  faulty.FailOn(FsOperation::kDeleteFile, Drive(core), 13, "Permission denied");

  const BuildResult result = Build(BuildOptions{}, faulty);
  EXPECT_EQ(TreeListing(elsewhere.path()), std::vector<std::string>{"twin.txt"});
  EXPECT_EQ(ReadBytes(elsewhere / "twin.txt"), "outside the payload");
  EXPECT_EQ(ReadBytes(Drive(core)), ReadBytes(Kit(core)));
  // The links went as links: a real folder and a file of its own stand in their places.
  struct stat st {};
  ASSERT_EQ(lstat(Drive("\\Talvex\\etc\\init.d").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  ASSERT_EQ(lstat(Drive(core).c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 1u);
  EXPECT_TRUE(result.failures.empty());
}

TEST_F(PayloadTest, ALinkOrSpecialFileInTheKitIsNamedAndNeverFollowed) {
  TempDir elsewhere;
  MakeFile(elsewhere / "victim.txt", "must stay");
  MakeFile(elsewhere / "secret.txt", "must not reach the stick");
  // A downloaded kit aiming the SMB settings at a file of the user's, a core file that is a link
  // to something private, and a FIFO where a file should be.
  std::remove(Kit(kAccessSmbPath).c_str());
  ASSERT_EQ(symlink((elsewhere / "victim.txt").c_str(), Kit(kAccessSmbPath).c_str()), 0);
  const std::string linked = std::string(PayloadManifest[0].RelativePath);
  const std::string fifo = std::string(PayloadManifest[1].RelativePath);
  std::remove(Kit(linked).c_str());
  std::remove(Kit(fifo).c_str());
  ASSERT_EQ(symlink((elsewhere / "secret.txt").c_str(), Kit(linked).c_str()), 0);
  ASSERT_EQ(mkfifo(Kit(fifo).c_str(), 0600), 0);

  const BuildResult result = Build(BuildOptions{});  // a FIFO opened for reading would hang here
  EXPECT_EQ(ReadBytes(elsewhere / "victim.txt"), "must stay");
  struct stat st {};
  ASSERT_EQ(lstat(Kit(kAccessSmbPath).c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode)) << "the link is replaced by the master itself";
  const std::string smb = ComposeGeneratedFile(kAccessSmbPieces, BuildOptions{}).bytes;
  EXPECT_EQ(ReadBytes(Kit(kAccessSmbPath)), smb);
  EXPECT_EQ(ReadBytes(Drive(kAccessSmbPath)), smb);

  EXPECT_FALSE(PathExists(Drive(linked)));
  EXPECT_FALSE(PathExists(Drive(fifo)));
  ASSERT_EQ(result.failures.size(), 2u);
  EXPECT_EQ(result.failures[0].path, Kit(linked));
  EXPECT_EQ(result.failures[0].reason, platform::kLinkRefused);
  EXPECT_EQ(result.failures[1].path, Kit(fifo));
  EXPECT_EQ(result.failures[1].reason, platform::kSpecialFileRefused);
}

TEST_F(PayloadTest, AMasterRewriteCutShortByAFullDiskLeavesThePreviousMasterWhole) {
  const std::string previous = "USER=\"before\" # \nPASSWD=\"kept\" # \r\n";
  MakeFile(Kit(kAccessSmbPath), previous);
  const std::vector<std::string> folder_before = TreeListing(Kit("\\Talvex\\etc\\init.d"));
  BuildOptions options = AllUnticked();
  options.Chsmb = CheckState::kChecked;
  options.TexSMBpas = std::string(500, 'p');

  // The file-size limit stands in for a full disk: a write past 64 bytes fails with EFBIG.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const BuildResult result = Build(options);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_EQ(ReadBytes(Kit(kAccessSmbPath)), previous);
  EXPECT_EQ(TreeListing(Kit("\\Talvex\\etc\\init.d")), folder_before) << "no temporary file left";
  const std::vector<StepFailure> at_master = FailuresAt(result, Kit(kAccessSmbPath));
  ASSERT_EQ(at_master.size(), 1u);
  EXPECT_EQ(at_master[0].code, EFBIG);
  // Nor is a cut-short copy left on the drive as if it were the file.
  EXPECT_FALSE(PathExists(Drive(kAccessSmbPath)));
}

// A folder mounted inside the payload - the kit, or any folder of the same file system, whose
// device number is the payload's own - is left whole, and the report names where it stopped.
TEST_F(PayloadTest, AFolderMountedInsideThePayloadIsNeverRemoved) {
  TempDir users;
  MakeFile(users / "sub/letter.txt", "the user's own");
  for (const std::string& bound : {kit_.path(), users.path()}) {
    const std::string mounted = Drive("\\Talvex\\etc\\mounted");
    MakeDirs(mounted);
    if (mount(bound.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      GTEST_SKIP() << "bind mounts need privileges: " << std::strerror(errno);
    }
    const std::map<std::string, std::string> before = Snapshot(bound);
    const BuildResult result = Build(AllUnticked());
    umount2(mounted.c_str(), MNT_DETACH);
    EXPECT_EQ(Snapshot(bound), before) << bound;
    const std::vector<StepFailure> at_mount = FailuresAt(result, mounted);
    ASSERT_FALSE(at_mount.empty()) << bound;
    EXPECT_EQ(at_mount[0].action, action::kRemoveFolder);
    std::filesystem::remove_all(U8Path(Drive("\\Talvex")));
  }
}

// The target is a link that another process flips between a folder and the kit as fast as it
// can: whenever the build looks, it works on the one folder it opened, never on the kit.
TEST_F(PayloadTest, ATargetFlippedToTheKitMeanwhileNeverReachesIt) {
  TempDir flipping;
  const std::string link = flipping / "drive";
  const std::string aside = flipping / "aside";
  ASSERT_EQ(symlink(drive_.path().c_str(), link.c_str()), 0);
  ASSERT_TRUE(Build(SharesPvrAndFtp()).failures.empty());  // the masters hold these values now
  const std::map<std::string, std::string> kit_before = Snapshot(kit_.path());
  std::atomic<bool> building{true};
  std::thread flipper([&] {
    for (bool to_kit = true; building; to_kit = !to_kit) {
      if (::symlink((to_kit ? kit_ : drive_).path().c_str(), aside.c_str()) == 0) {
        ::rename(aside.c_str(), link.c_str());
      }
      ::usleep(500);
    }
  });
  for (int round = 0; round < kConcurrentRuns; ++round) {
    RunBuild(fs(), BuildContext{kit_.path(), link, SharesPvrAndFtp()});
  }
  building = false;
  flipper.join();
  EXPECT_EQ(Snapshot(kit_.path()), kit_before);
}
#endif

}  // namespace
}  // namespace talvex::build::testing
