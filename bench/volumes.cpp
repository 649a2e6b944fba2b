#include "volumes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "bench_support.h"

namespace talvex::bench {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

pid_t StartInItsOwnSession(const std::vector<std::string>& argv, const std::string& log) {
  const pid_t child = fork();
  if (child != 0) return child;
  setsid();  // a Ctrl+C meant for the benchmark does not pull the drive from under it
  const int null = open("/dev/null", O_RDONLY);
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(null, STDIN_FILENO);
  dup2(out, STDOUT_FILENO);
  dup2(out, STDERR_FILENO);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

std::string Canonical(const std::string& folder) {
  fs::create_directories(folder);
  return fs::canonical(folder).string();
}

}  // namespace

std::string WhyNoFuse() {
  if (geteuid() != 0) return "FUSE volumes are mounted by root only";
  const int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fd == -1) return std::string("cannot open /dev/fuse: ") + std::strerror(errno);
  close(fd);
  return {};
}

std::string FuseMount::Mount(const std::vector<std::string>& argv, const std::string& mount_point,
                             const std::string& log) {
  Unmount();
  mount_point_ = mount_point;
  pid_ = StartInItsOwnSession(argv, log);
  bool ended = false;
  if (Within(10s, [&] { return IsMounted(mount_point_) || (ended = HasEnded(pid_)); }) && !ended) {
    return {};
  }
  if (ended) pid_ = -1;
  Unmount();
  std::ifstream said(log);
  std::string words((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
  return argv[0] + " did not mount " + mount_point + (words.empty() ? "" : ": " + words);
}

// A lazy unmount goes even while something still holds a file open there; the process ends once
// the kernel lets go.
void FuseMount::Unmount() {
  if (pid_ <= 0) return;
  umount2(mount_point_.c_str(), MNT_DETACH);
  if (!Within(20s, [&] { return HasEnded(pid_); })) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

SlowStickVolume::SlowStickVolume(const std::string& program, const std::string& folder) {
  unavailable_ = WhyNoFuse();
  if (program.empty()) unavailable_ = "talvex-slow-stick is not built (libfuse3-dev is missing)";
  if (!unavailable_.empty()) return;
  const std::string backing = folder + "/backing";
  fs::remove_all(backing);
  fs::create_directories(backing);
  stats_ = folder + "/stats";
  unavailable_ = mount_.Mount({program, backing, Canonical(folder + "/stick"), "-f", "--stats",
                               stats_, "--write-rate=8", "--read-rate=25"},
                              Canonical(folder + "/stick"), folder + "/stick.log");
}

StickCounters SlowStickVolume::Counters() {
  const std::uint64_t request = ++requests_;
  kill(mount_.pid(), SIGUSR2);
  StickCounters counters;
  const bool fresh = Within(5s, [&] {
    std::ifstream in(stats_);
    std::map<std::string, std::uint64_t> values;
    std::string name;
    std::uint64_t value = 0;
    while (in >> name >> value) values[name] = value;
    counters = {values["bytes_written"], values["bytes_read"]};
    return values["stats_requests"] >= request;
  });
  if (!fresh) Fail("the slow stick did not rewrite its stats file");
  return counters;
}

void SlowStickVolume::Empty() const {
  for (const std::string& entry : TopLevelEntries(mount_point())) fs::remove_all(entry);
}

Fat32Volume::Fat32Volume(const std::string& folder, int mebibytes)
    : image_(folder + "/fat32.img"),
      mount_point_(Canonical(folder + "/volume")),
      log_("/dev/null"),  // it tells of every sector it touches
      mebibytes_(mebibytes) {
  unavailable_ = WhyNoFuse();
  for (const char* tool : {"mkfs.vfat", "fusefat"}) {
    if (unavailable_.empty() && Run({"sh", "-c", std::string("command -v ") + tool}) != 0) {
      unavailable_ = std::string(tool) + " is missing (tools/install-deps.sh installs it)";
    }
  }
}

bool Fat32Volume::Renew() {
  if (!unavailable_.empty()) return false;
  mount_.Unmount();
  fs::remove(image_);
  if (Run({"mkfs.vfat", "-F", "32", "-C", image_, std::to_string(mebibytes_ * 1024)}) != 0) {
    unavailable_ = "mkfs.vfat failed";
    return false;
  }
  unavailable_ =
      mount_.Mount({"fusefat", "-f", "-o", "rw+", image_, mount_point_}, mount_point_, log_);
  return unavailable_.empty();
}

}  // namespace talvex::bench
