// talvex-build as it ships: the real executable, run with arguments and a standard input, its
// exit status, output and what it left on the drive checked.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "demo_kit.h"
#include "engine/app_folders.h"
#include "engine/build_report.h"
#include "fsutil/tree.h"
#include "options/build_options.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "program_runner.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#endif

namespace talvex::cli {
namespace {

using talvex::testing::OutputLines;
using talvex::testing::PathExists;
using talvex::testing::ProgramRun;
using talvex::testing::ReadBytes;
using talvex::testing::TempDir;
using talvex::testing::TreeListing;

std::string Program() {
  return talvex::testing::ProgramInBuildTree(TALVEX_BUILD_PROGRAM);
}

bool HasLineContaining(const std::string& text, std::string_view piece) {
  for (const std::string& line : OutputLines(text)) {
    if (line.find(piece) != std::string::npos) return true;
  }
  return false;
}

bool HasLineEndingWith(const std::string& text, std::string_view end) {
  for (const std::string& line : OutputLines(text)) {
    if (line.ends_with(end)) return true;
  }
  return false;
}

// A demo kit, and the drive the build prepares: a folder of its own on POSIX; on Windows the
// test drive the test script maps (its letter in TALVEX_TEST_DRIVE), cleared of what builds make.
class TalvexBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit_.path(), false).ok());
#ifdef _WIN32
    const char* drive = std::getenv("TALVEX_TEST_DRIVE");
    if (drive == nullptr || *drive == '\0') GTEST_SKIP() << "TALVEX_TEST_DRIVE names no drive";
    drive_ = drive;
    report_drive_ = std::string(1, drive_[0]);
    ClearDrive();
#else
    drive_ = drive_folder_.path();
    report_drive_ = drive_;
#endif
  }

  void TearDown() override {
#ifdef _WIN32
    if (!drive_.empty()) ClearDrive();
#endif
  }

  void ClearDrive() {
    std::error_code ignored;
    std::filesystem::remove_all(Path(Drive("\\Talvex")), ignored);
    for (const build::AppFolderEntry& app : build::AppFolders) {
      std::filesystem::remove_all(Path(Drive("\\" + std::string(app.FolderName))), ignored);
    }
  }

  static std::filesystem::path Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
  }

  std::string Kit(std::string_view relative) const {
    return platform::JoinPayloadPath(kit_.path(), relative);
  }
  std::string Drive(std::string_view relative) const {
    return platform::JoinPayloadPath(drive_, relative);
  }

  // Runs talvex-build on the kit and the drive, with more arguments after those two. The drive
  // is a plain folder on POSIX: --any-drive lets it stand for one.
  ProgramRun Build(std::vector<std::string> more, const std::string& input = {}) const {
    std::vector<std::string> arguments{"--source", kit_.path(), "--target", drive_, "--any-drive"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return talvex::testing::RunProgram(Program(), arguments, input);
  }

  TempDir kit_;
  TempDir drive_folder_;
  std::string drive_;
  std::string report_drive_;
};

TEST_F(TalvexBuildTest, DefaultBuildPrintsTheReportAndExitsZero) {
  const ProgramRun run = Build({});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "") << "no progress when standard error is not a terminal";

  // The initial record: NFS, SMB and UPnP ticked, FTP not.
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\etc\\init.d\\access_nfs")));
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\etc\\init.d\\access_smb")));
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\opt\\brandeval\\usr\\bin\\djmount")));
  EXPECT_FALSE(PathExists(Drive("\\Talvex\\opt\\brandeval\\usr\\bin\\bftpd")));

  const double size = fsutil::SizeOf(platform::NativeFileSystem(), Drive("\\Talvex"));
  ASSERT_GT(size, 0);
  const std::vector<std::string> lines = OutputLines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], "Собранно на диск \"" + report_drive_ + "\"");
  EXPECT_EQ(lines[1], "Папка \"Talvex\"");
  // The separator is the user's locale's, which the test does not choose.
  EXPECT_TRUE(lines[2] == "Размер сборки " + build::SizeText(size, ".") + " Мб" ||
              lines[2] == "Размер сборки " + build::SizeText(size, ",") + " Мб")
      << lines[2];
  EXPECT_TRUE(run.out.ends_with(" Мб\n"));
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  EXPECT_EQ(run.out.find("Закрыть"), std::string::npos) << "a console asks no question";
}

TEST_F(TalvexBuildTest, SetFillsEveryKindOfFieldExactlyAsGiven) {
  const ProgramRun run =
      Build({"--set", "Chftp=1", "--set", "Chupnp=0", "--set", "ChNfs=2", "--set", "Chavto=1",
             "--set", "Chtelnet=1", "--set=Chtelnet=0", "--set", "TexSMBsh=", "--set",
             "TexSMBlog=guest user", "--set", "TexSMBpas="});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\opt\\brandeval\\usr\\bin\\bftpd")));
  EXPECT_FALSE(PathExists(Drive("\\Talvex\\opt\\brandeval\\usr\\bin\\djmount")));
  EXPECT_FALSE(PathExists(Drive("\\Talvex\\etc\\init.d\\access_nfs"))) << "2 is not ticked";
  EXPECT_FALSE(PathExists(Drive("\\Talvex\\etc\\init.d\\01_02_telnet.init")))
      << "the later value wins";
  // No rule runs: Auto Start stands although Copy in TV automatically is not ticked.
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\etc\\init.d\\02_01_auto.init")));
  EXPECT_EQ(
      ReadBytes(Drive("\\Talvex\\etc\\init.d\\access_smb")),
      "USER=\"guest user\" # \nPASSWD=\"\" # \nSERVER=\"192.168.0.1\" # \nSHARES=\"\" # \r\n");
}

// While a build in this process holds the drive, talvex-build in another is refused at once,
// every time, touching nothing; once the drive is let go it builds.
TEST_F(TalvexBuildTest, ASecondProcessOntoADriveInUseIsRefusedEveryTime) {
  talvex::testing::MakeFile(Drive("\\Talvex\\left from before"), "old");
  const std::vector<std::string> before = TreeListing(Drive(""));
  for (int round = 0; round < 3; ++round) {
    std::unique_ptr<platform::Directory> held;
    ASSERT_TRUE(platform::NativeFileSystem().OpenDirectory(drive_, held).ok());
    bool busy = false;
    ASSERT_TRUE(held->LockForBuild(busy).ok());
    const ProgramRun refused = Build({});
    EXPECT_EQ(refused.exit_code, 2) << refused.err;
    EXPECT_NE(refused.err.find("другая сборка"), std::string::npos) << refused.err;
    EXPECT_EQ(TreeListing(Drive("")), before);
  }
  const ProgramRun built = Build({});
  EXPECT_EQ(built.exit_code, 0) << built.err;
}

#ifndef _WIN32
// Ctrl+C in the middle of a large copy: the build ends within a second, the drive holds what it
// held before (here nothing) and no temporary, and the report says it was stopped (exit 1).
TEST_F(TalvexBuildTest, InterruptedMidBuildItStopsWithinASecondLeavingTheDriveAsItWas) {
  // A large application file keeps the build busy long enough to be interrupted while it copies.
  const std::string large = Kit("\\PVR\\recording.ts");
  {
    std::ofstream out(large, std::ios::binary);
    const std::string block(1 << 20, 'r');
    for (int i = 0; i < 512; ++i)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  const std::vector<std::string> kit_before = TreeListing(kit_.path());
  TempDir output;
  const std::string out_file = output / "out.txt";
  const std::string err_file = output / "err.txt";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::freopen(out_file.c_str(), "w", stdout) == nullptr ||
        ::freopen(err_file.c_str(), "w", stderr) == nullptr) {
      ::_exit(126);
    }
    const std::string program = Program();
    ::execl(program.c_str(), program.c_str(), "--source", kit_.path().c_str(), "--target",
            drive_.c_str(), "--any-drive", "--pvr", "--mc", "--netsurf",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Wait until the large file is being written on the drive, then press Ctrl+C.
  auto copying = [&] {
    for (const std::string& entry : TreeListing(Drive("\\PVR"))) {
      if (entry.starts_with(".talvex-new-") &&
          std::filesystem::file_size(Path(Drive("\\PVR\\" + entry))) > (16u << 20)) {
        return true;
      }
    }
    return false;
  };
  for (int waited = 0; waited < 4000 && !copying(); ++waited) ::usleep(5000);
  ASSERT_TRUE(copying());
  const auto asked = std::chrono::steady_clock::now();
  ::kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  const auto took = std::chrono::steady_clock::now() - asked;
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of stopping";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string out = ReadBytes(out_file);
  EXPECT_TRUE(HasLineContaining(out, "Сборка остановлена")) << out << ReadBytes(err_file);
  EXPECT_TRUE(HasLineContaining(out, "прежняя сборка")) << out;
  EXPECT_TRUE(HasLineContaining(out, "Не выполнено шагов")) << out;
  EXPECT_TRUE(TreeListing(Drive("")).empty()) << "the drive as it was, without a temporary";
  // Nothing beside the masters the build writes appeared in the kit, no temporary among them.
  auto without_masters = [](std::vector<std::string> listing) {
    std::erase_if(listing, [](const std::string& entry) {
      return entry.starts_with("Talvex/etc/init.d/access_") ||
             entry == "Talvex/etc/init.d/libraries";
    });
    return listing;
  };
  EXPECT_EQ(without_masters(TreeListing(kit_.path())), without_masters(kit_before));
  // The master the build rewrote before it was stopped is whole.
  EXPECT_TRUE(ReadBytes(Kit("\\Talvex\\etc\\init.d\\access_smb")).ends_with(" # \r\n"));
}

// Waiting for a password on standard input nothing has been done yet: Ctrl+C or SIGTERM ends
// the program there and then, as it ends any other.
TEST_F(TalvexBuildTest, AnInterruptWhileThePasswordIsReadEndsTheProgram) {
  for (const int signal : {SIGINT, SIGTERM}) {
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::dup2(input[0], STDIN_FILENO);
      ::close(input[1]);
      const std::string program = Program();
      ::execl(program.c_str(), program.c_str(), "--source", kit_.path().c_str(), "--target",
              drive_.c_str(), "--any-drive", "--smb-password-file", "-",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(input[0]);
    ::usleep(300 * 1000);  // the program is reading by now
    ::kill(child, signal);
    int status = 0;
    pid_t ended = 0;
    for (int waited = 0; waited < 400 && ended == 0; ++waited) {
      ended = ::waitpid(child, &status, WNOHANG);
      if (ended == 0) ::usleep(10 * 1000);
    }
    ::close(input[1]);  // a program still reading ends now, the test with it
    if (ended == 0) ::waitpid(child, &status, 0);
    EXPECT_NE(ended, 0) << "still waiting for the password after signal " << signal;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_FALSE(PathExists(Drive("\\Talvex"))) << signal;
  }
}
#endif

TEST_F(TalvexBuildTest, PasswordComesFromStandardInputOrAFile) {
  ProgramRun run = Build({"--smb-password-file", "-"}, "from stdin\r\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(ReadBytes(Drive("\\Talvex\\etc\\init.d\\access_smb")).find("PASSWD=\"from stdin\""),
            std::string::npos);

  talvex::testing::MakeFile(kit_ / "password.txt", "from a file\n");
  run = Build({"--smb-password-file", kit_ / "password.txt"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(ReadBytes(Drive("\\Talvex\\etc\\init.d\\access_smb")).find("PASSWD=\"from a file\""),
            std::string::npos);
}

TEST_F(TalvexBuildTest, MissingKitFileExitsOneAndIsNamed) {
  const std::string missing = Kit("\\Talvex\\rcTVX");
  std::filesystem::remove(Path(missing));
  const ProgramRun run = Build({});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_TRUE(HasLineContaining(run.out, "Не выполнено шагов: 1")) << run.out;
  EXPECT_TRUE(HasLineContaining(run.out, "\"" + missing + "\"")) << run.out;
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\etc\\init.d\\access_nfs"))) << "the rest was built";
}

TEST_F(TalvexBuildTest, DryRunListsTheStepsAndTouchesNothing) {
  talvex::testing::MakeFile(Drive("\\Talvex\\left from before"), "old");
  const std::vector<std::string> drive_before = TreeListing(Drive(""));
  const std::vector<std::string> kit_before = TreeListing(kit_.path());

  const ProgramRun run = Build({"--dry-run", "--pvr", "--ftp"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<std::string> lines = OutputLines(run.out);
  ASSERT_GT(lines.size(), 8u);
  // What is there stays, what is missing is made or copied, what the payload does not hold goes.
  EXPECT_EQ(lines[0], "keep " + Drive("\\Talvex"));
  EXPECT_EQ(lines[1], "mkdir " + Drive("\\Talvex\\etc"));
  EXPECT_TRUE(HasLineContaining(run.out, "write " + Drive("\\Talvex\\etc\\init.d\\libraries")));
  EXPECT_TRUE(HasLineContaining(run.out, "mkdir " + Drive("\\PVR")));
  EXPECT_TRUE(HasLineContaining(run.out, Kit("\\PVR\\pvr.ini") + " -> " + Drive("\\PVR\\pvr.ini")));
  EXPECT_TRUE(HasLineContaining(run.out, Drive("\\Talvex\\etc\\bftpd.conf")));
  EXPECT_EQ(lines.back(), "remove " + Drive("\\Talvex\\left from before"));
  // The order the build has always taken, with everything written anew.
  const ProgramRun fresh = Build({"--dry-run", "--pvr", "--ftp", "--fresh"});
  ASSERT_EQ(fresh.exit_code, 0) << fresh.err;
  const std::vector<std::string> fresh_lines = OutputLines(fresh.out);
  ASSERT_GT(fresh_lines.size(), 3u);
  EXPECT_EQ(fresh_lines[0], "remove " + Drive("\\Talvex"));
  EXPECT_EQ(fresh_lines[1], "remove " + Drive("\\PVR"));
  EXPECT_EQ(fresh_lines[2], "mkdir " + Drive("\\Talvex"));

  EXPECT_EQ(TreeListing(Drive("")), drive_before);
  EXPECT_EQ(TreeListing(kit_.path()), kit_before);
}

TEST_F(TalvexBuildTest, ChoiceFlagsFollowTheWindowsRules) {
  struct Case {
    std::vector<std::string> flags;
    std::string present;  // a path the plan must name ("" for none)
    std::string absent;   // a path it must not name ("" for none)
  };
  const Case cases[] = {
      // Auto Start after Copy in TV automatically, whatever the order on the command line.
      {{"--auto-start", "--copy-to-tv"}, "02_01_auto.init", ""},
      // Typed settings stay when their box is then unticked; the box decides the file.
      {{"--no-nfs", "--nfs-ip", "10.0.0.9"}, "", "access_nfs"},
      {{"--arfix2-ci", "--no-arfix2"}, Drive("\\arfix2-cip"), Drive("\\arfix2")},
      {{"--no-upnp", "--channel-info"}, Drive("\\ChannelInfo"), "djmount"},
      {{"--no-smb", "--smb-share", "", "--smb-ip", "10.0.0.1 "}, "", "access_smb"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> flags = c.flags;
    flags.push_back("--dry-run");
    const ProgramRun run = Build(flags);
    ASSERT_EQ(run.exit_code, 0) << c.flags[0] << ": " << run.err;
    if (!c.present.empty()) {
      EXPECT_TRUE(HasLineContaining(run.out, c.present)) << c.flags[0];
    }
    if (!c.absent.empty()) {
      EXPECT_FALSE(HasLineEndingWith(run.out, c.absent)) << c.flags[0];
    }
  }
}

TEST_F(TalvexBuildTest, EveryRefusalExitsTwoSaysWhyAndTouchesNothing) {
  struct Case {
    std::vector<std::string> arguments;  // after --source KIT --target DRIVE, unless own
    std::vector<std::string> named;      // what the reason must mention
    bool own = false;                    // the arguments are the whole command line
    std::string input = {};              // standard input
  };
  const std::string no_such = kit_ / "no such folder";
  // Password files that are no password: too large, holding a NUL, a folder.
  const std::string large = drive_folder_ / "large.txt";
  const std::string with_nul = drive_folder_ / "with-zero-byte.txt";
  talvex::testing::MakeFile(large, std::string(64 * 1024 + 1, 'p'));
  talvex::testing::MakeFile(with_nul, std::string("pass\0word\n", 10));
  const std::string not_a_kit = drive_folder_ / "not a kit";
  // A drive that is not removable: the test's own folder on POSIX, the system's disk on Windows.
#ifdef _WIN32
  const std::string not_removable = "c:";
#else
  const std::string not_removable = drive_;
#endif
  talvex::testing::MakeFile(not_a_kit + platform::kPathSeparator + "readme.txt", "no kit here");
  // A master folder with none of the payload's files would leave the stick a bare skeleton.
  const std::string empty_kit = drive_folder_ / "empty kit";
  talvex::testing::MakeDirs(empty_kit + platform::kPathSeparator + "Talvex");
  const Case cases[] = {
      {{"--set", "Nope=1"}, {"Nope"}},
      {{"--set", "Drive1=e:"}, {"Drive1"}},
      {{"--set", "Chftp=3"}, {"Chftp"}},
      {{"--set", "Chftp=yes"}, {"Chftp"}},
      {{"--set", "Chftp="}, {"Chftp"}},
      {{"--set", "TextIP"}, {"FIELD=VALUE"}},
      {{"--bogus"}, {"--bogus"}},
      // A mistake is named, with the option most likely meant.
      {{"--tagret", "X"}, {"unknown option --tagret (did you mean --target?)"}},
      {{"--versoin"}, {"unknown option --versoin (did you mean --version?)"}},
      {{"--sourse", "K"}, {"unknown option --sourse (did you mean --source?)"}},
      {{"--nfs-ip"}, {"option --nfs-ip needs a value (ADDR)"}},
      {{"--arfix2", "--arfix2-ci"}, {"--arfix2 ", "--arfix2-ci"}},
      {{"--auto-start"}, {"--auto-start", "--copy-to-tv"}},
      {{"--copy-to-tv", "--no-copy-to-tv", "--auto-start"}, {"--copy-to-tv", "--no-copy-to-tv"}},
      {{"--nfs-ip", "192.168.0.1a"}, {"--nfs-ip"}},
      {{"--smb-ip", "10,0,0,1"}, {"--smb-ip"}},
      // What passes the key filter but no television mounts: spaces inside, too few numbers, a
      // number past 255, a leading zero the television reads as octal.
      {{"--nfs-ip", "1 2  3"}, {"--nfs-ip", "IPv4"}},
      {{"--smb-ip", "999.1"}, {"--smb-ip", "IPv4"}},
      {{"--set", "TextIP=10.0.0.256"}, {"--set TextIP", "IPv4"}},
      {{"--nfs-ip", "010.0.0.1"}, {"--nfs-ip", "IPv4"}},
      {{"--smb-password-file", no_such}, {no_such}},
      {{"--smb-password-file", kit_.path()}, {kit_.path(), "folder"}},
      {{"--smb-password-file", large}, {large, "64 KiB"}},
      {{"--smb-password-file", with_nul}, {with_nul, "NUL"}},
      {{"--smb-password-file", "-"}, {"standard input", "64 KiB"}, false, std::string(70000, 'x')},
      {{"--source", "", "--target", drive_}, {"--source"}, true},
      {{"--source", kit_.path(), "--target", ""}, {"--target"}, true},
      {{"--source", no_such, "--target", drive_, "--any-drive"}, {no_such}, true},
      // The kit would be removed by the build it feeds.
      {{"--source", drive_, "--target", drive_, "--any-drive"}, {drive_}, true},
      // Not a removable drive's root: refused unless --any-drive, whose name the reason gives.
      {{"--source", kit_.path(), "--target", not_removable}, {not_removable, "--any-drive"}, true},
      {{"--source", kit_.path()}, {"--target"}, true},
      {{"--target", drive_}, {"option --target is given 2 times"}},
      // Without --source neither the program's folder nor the current one holds a kit.
      {{"--target", drive_, "--any-drive"}, {"no kit found", "--source DIR"}, true},
#ifdef _WIN32
      {{"--source", kit_.path(), "--target", "q:"}, {"q:"}, true},
      {{"--source", kit_.path(), "--target", drive_ + "\\Talvex"}, {"\\Talvex"}, true},
#else
      {{"--source", kit_.path(), "--target", drive_ + "/no such drive"}, {"no such drive"}, true},
      {{"--source", kit_.path(), "--target", Kit("\\Talvex\\rcTVX")},
       {"rcTVX\": not a folder"},
       true},
      {{"--source", kit_.path(), "--target", "/", "--dry-run"}, {"--any-drive"}, true},
      // A device would never end (or block): it is refused without being read.
      {{"--smb-password-file", "/dev/zero"}, {"/dev/zero", "not a regular file"}},
      // Plain files that never give their bytes: one would block, one fails to read.
      {{"--smb-password-file", "/proc/kmsg"}, {"/proc/kmsg"}},
      {{"--smb-password-file", "/proc/self/mem"}, {"/proc/self/mem"}},
#endif
      // A folder without a master Talvex folder: a build from it would wipe the stick.
      {{"--source", not_a_kit, "--target", drive_, "--any-drive"}, {not_a_kit, "Talvex"}, true},
      {{"--source", empty_kit, "--target", drive_, "--any-drive"}, {empty_kit, "Talvex"}, true},
  };
  talvex::testing::MakeFile(Drive("\\Talvex\\left from before"), "old");
  const std::vector<std::string> drive_before = TreeListing(Drive(""));
  const std::vector<std::string> kit_before = TreeListing(kit_.path());
  for (const Case& c : cases) {
    const ProgramRun run = c.own ? talvex::testing::RunProgram(Program(), c.arguments, c.input)
                                 : Build(c.arguments, c.input);
    EXPECT_EQ(run.exit_code, 2) << c.arguments[0];
    EXPECT_EQ(run.out, "") << c.arguments[0];
    for (const std::string& name : c.named) {
      EXPECT_NE(run.err.find(name), std::string::npos) << c.arguments[0] << ": " << run.err;
    }
    EXPECT_EQ(TreeListing(Drive("")), drive_before) << c.arguments[0];
    EXPECT_EQ(TreeListing(kit_.path()), kit_before) << c.arguments[0];
  }
  // With --any-drive the same target is taken.
  const ProgramRun accepted = talvex::testing::RunProgram(
      Program(), {"--source", kit_.path(), "--target", not_removable, "--any-drive", "--dry-run"});
  EXPECT_EQ(accepted.exit_code, 0) << accepted.err;
  EXPECT_EQ(TreeListing(Drive("")), drive_before);
}

#ifdef _WIN32
TEST_F(TalvexBuildTest, DriveLetterMayBeUpperCaseOrEndInABackslash) {
  for (std::string typed :
       {std::string(1, static_cast<char>(std::toupper(drive_[0]))) + ":", drive_ + "\\"}) {
    const ProgramRun run =
        talvex::testing::RunProgram(Program(), {"--source", kit_.path(), "--target", typed});
    ASSERT_EQ(run.exit_code, 0) << typed << ": " << run.err;
    EXPECT_EQ(OutputLines(run.out).at(0), "Собранно на диск \"" + report_drive_ + "\"") << typed;
    EXPECT_TRUE(PathExists(Drive("\\Talvex\\etc\\init.d\\access_nfs")));
  }
}
#endif

// Without --source the kit is the program's folder when it holds one (the program unpacked into
// the kit, as on Windows), else the current folder.
TEST_F(TalvexBuildTest, WithoutSourceTheKitBesideTheProgramOrTheCurrentOneIsFound) {
  const std::string beside = kit_ / platform::LastName(Program());
  std::filesystem::copy_file(Path(Program()), Path(beside));
  const TempDir elsewhere;
  const std::pair<std::string, std::string> cases[] = {{beside, elsewhere.path()},
                                                       {Program(), kit_.path()}};
  for (const auto& [program, folder] : cases) {
    const ProgramRun run = talvex::testing::RunProgram(
        program, {"--target", drive_, "--any-drive", "--pvr", "--dry-run"}, {}, folder);
    EXPECT_EQ(run.exit_code, 0) << program << " in " << folder << ": " << run.err;
    EXPECT_TRUE(HasLineContaining(run.out, platform::LastName(kit_.path()))) << run.out;
  }
}

TEST(TalvexBuildHelpTest, HelpNamesEveryChoiceWithItsCaptionAndVersionTellsTheVersion) {
  const ProgramRun help = talvex::testing::RunProgram(Program(), {"--help"});
  ASSERT_EQ(help.exit_code, 0);
  for (const options::OptionField& field : options::kOptionFields) {
    if (field.kind == options::FieldKind::kDrive) continue;
    EXPECT_NE(help.out.find("\"" + std::string(field.caption) + "\""), std::string::npos)
        << field.name;
    // What the user reads is the caption; the record's names are only what --set takes.
    EXPECT_EQ(help.out.find("(" + std::string(field.name) + ")"), std::string::npos) << field.name;
  }
  for (const std::string& line : OutputLines(help.out)) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_TRUE(HasLineContaining(help.out, platform::JoinPayloadPath("DRIVE", "\\Talvex")));
  for (const char* flag :
       {"--target", "--any-drive", "--source", "--set", "--dry-run", "--version", "--ftp",
        "--no-upnp", "--pvr", "--channel-info", "--arfix2-ci", "--copy-to-tv", "--auto-start",
        "--nfs-ip", "--nfs-udp", "--no-smb", "--smb-share", "--smb-login", "--smb-password-file"}) {
    EXPECT_NE(help.out.find(flag), std::string::npos) << flag;
  }
  // What a build does to the target is said before anything else.
  EXPECT_LT(help.out.find("is removed"), help.out.find("Usage:")) << help.out;
  const ProgramRun version = talvex::testing::RunProgram(Program(), {"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "talvex-build " TALVEX_VERSION "\n");
}

}  // namespace
}  // namespace talvex::cli
