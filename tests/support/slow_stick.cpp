#include "support/slow_stick.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/compare.h"

extern char** environ;

namespace talvex::testing {

namespace {

using namespace std::chrono_literals;

constexpr auto kMountWait = 10s;
constexpr auto kExitWait = 10s;
constexpr auto kStatsWait = 5s;

// Polls `done` every 10 ms until it holds or `limit` has passed.
template <typename Done>
bool Within(std::chrono::steady_clock::duration limit, Done done) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

bool IsMounted(const std::string& mount_point) {
  std::ifstream mounts("/proc/self/mounts");
  std::string device, where, rest;
  while (mounts >> device >> where && std::getline(mounts, rest)) {
    if (where == mount_point) return true;
  }
  return false;
}

bool HasEnded(pid_t pid) {
  return waitpid(pid, nullptr, WNOHANG) == pid;
}

// What the layer said last, as the reason it gives for ending.
std::string LastWords(const std::string& log) {
  const std::string said = ReadBytes(log);
  return said.empty() ? "(it said nothing)" : said.substr(0, said.find_last_not_of('\n') + 1);
}

// Why the stick cannot be mounted here at all, or empty. Mounting and unmounting need root.
std::string WhyNoStickHere() {
  if (std::string_view(TALVEX_SLOW_STICK_PROGRAM).empty()) {
    return "talvex-slow-stick is not built here (libfuse3-dev is missing)";
  }
  if (geteuid() != 0) return "the slow stick is mounted by root only";
  const int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fd == -1) return std::string("cannot open /dev/fuse: ") + std::strerror(errno);
  close(fd);
  return {};
}

}  // namespace

bool CopyingPast(const std::string& folder, std::uintmax_t bytes) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().filename().string().starts_with(build::kTemporaryPrefix) &&
        entry.file_size(error) > bytes) {
      return true;
    }
  }
  return false;
}

SlowStick::SlowStick(SlowStickRates rates)
    : backing_(folder_ / "backing"),
      mount_point_(folder_ / "stick"),
      stats_(folder_ / "stats"),
      log_(folder_ / "log") {
  MakeDirs(backing_);
  MakeDirs(mount_point_);
  // As the mount table spells it, whatever links the temporary folder's path goes through.
  mount_point_ = std::filesystem::canonical(mount_point_).string();
  unavailable_ = WhyNoStickHere();
  if (unavailable_.empty()) Mount(rates);
  if (pid_ <= 0 && unavailable_.empty()) unavailable_ = "the slow stick did not start";
}

SlowStick::~SlowStick() {
  Unmount();
}

void SlowStick::Mount(const SlowStickRates& rates) {
  const std::string write_rate = "--write-rate=" + std::to_string(rates.write_mb_per_second);
  const std::string read_rate = "--read-rate=" + std::to_string(rates.read_mb_per_second);
  std::vector<std::string> arguments = {TALVEX_SLOW_STICK_PROGRAM,
                                        backing_,
                                        mount_point_,
                                        "-f",
                                        "--stats",
                                        stats_,
                                        write_rate,
                                        read_rate};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t output;
  posix_spawn_file_actions_init(&output);
  posix_spawn_file_actions_addopen(&output, 1, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&output, 1, 2);
  const int error = posix_spawn(&pid_, argv[0], &output, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&output);
  if (error != 0) pid_ = -1;
  ASSERT_EQ(error, 0) << "cannot start " << argv[0] << ": " << std::strerror(error);
  bool ended = false;
  const bool mounted =
      Within(kMountWait, [&] { return IsMounted(mount_point_) || (ended = HasEnded(pid_)); });
  if (ended) {
    pid_ = -1;  // ended on its own: FUSE refused it here
    unavailable_ = "the slow stick could not mount here: " + LastWords(log_);
  } else if (!mounted) {
    ADD_FAILURE() << "the slow stick did not mount within 10 s: " << LastWords(log_);
    Unmount();
  }
}

// A lazy unmount succeeds even while the test still holds a file open on the stick; the layer
// ends once the kernel lets go of it.
void SlowStick::Unmount() {
  if (pid_ <= 0) return;
  umount2(mount_point_.c_str(), MNT_DETACH);
  if (!Within(kExitWait, [&] { return HasEnded(pid_); })) {
    ADD_FAILURE() << "the slow stick did not end within 10 s of its unmount";
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

void SlowStick::Pull() {
  ASSERT_GT(pid_, 0);
  kill(pid_, SIGUSR1);
  EXPECT_TRUE(Within(kStatsWait, [&] { return Counters().pulled; }));
}

SlowStickCounters SlowStick::Counters() {
  SlowStickCounters counters;
  if (pid_ <= 0) return counters;
  const std::uint64_t request = ++stats_requests_;
  kill(pid_, SIGUSR2);
  EXPECT_TRUE(Within(kStatsWait, [&] { return ReadStats(request, &counters); }))
      << "the slow stick did not rewrite its stats file";
  return counters;
}

// False until the file answers the `fresh_from`th request.
bool SlowStick::ReadStats(std::uint64_t fresh_from, SlowStickCounters* counters) const {
  std::ifstream in(stats_);
  std::map<std::string, std::uint64_t> values;
  std::string name;
  std::uint64_t value = 0;
  while (in >> name >> value) values[name] = value;
  if (values["stats_requests"] < fresh_from) return false;
  *counters = {values["bytes_written"], values["bytes_read"], values["pulled"] != 0};
  return true;
}

}  // namespace talvex::testing
