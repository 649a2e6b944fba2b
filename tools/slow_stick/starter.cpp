#include "slow_stick/starter.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

extern char** environ;

namespace talvex::slow_stick {
namespace {

constexpr auto kMountWait = std::chrono::seconds(10);
constexpr auto kCountersWait = std::chrono::seconds(5);

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

// False until the stats file answers the ask number `request`.
bool ReadCounters(const std::string& stats, std::uint64_t request, StickCounters& counters) {
  std::ifstream in(stats);
  std::map<std::string, std::uint64_t> values;
  std::string name;
  std::uint64_t value = 0;
  while (in >> name >> value) values[name] = value;
  if (values["stats_requests"] < request) return false;
  counters = {values["bytes_written"], values["bytes_read"], values["pulled"] != 0};
  return true;
}

}  // namespace

std::string WhyNoFuse() {
  if (geteuid() != 0) return "FUSE volumes are mounted by root only";
  const int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fd == -1) return std::string("cannot open /dev/fuse: ") + std::strerror(errno);
  close(fd);
  return {};
}

pid_t StartProgram(const std::vector<std::string>& argv, const std::string& output,
                   bool own_session) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (own_session) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (!output.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error == 0) return pid;
  errno = error;
  return -1;
}

std::string WhatItSaid(const std::string& log) {
  std::ifstream in(log);
  const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return said.substr(0, said.find_last_not_of('\n') + 1);
}

bool CopyingPast(const std::string& folder, std::string_view prefix, std::uintmax_t bytes) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().filename().string().starts_with(prefix) && entry.file_size(error) > bytes) {
      return true;
    }
  }
  return false;
}

MountOutcome FuseMount::Mount(const std::vector<std::string>& argv, const std::string& mount_point,
                              const std::string& log, bool own_session) {
  Unmount();
  mount_point_ = mount_point;
  pid_ = StartProgram(argv, log, own_session);
  if (pid_ <= 0) return MountOutcome::kNotStarted;
  bool ended = false;
  const bool mounted =
      Within(kMountWait, [&] { return IsMounted(mount_point_) || (ended = HasEnded(pid_)); });
  if (ended) {
    pid_ = -1;
    return MountOutcome::kEnded;
  }
  if (mounted) return MountOutcome::kMounted;
  Unmount();
  return MountOutcome::kTimedOut;
}

bool FuseMount::Unmount(std::chrono::steady_clock::duration limit) {
  if (pid_ <= 0) return true;
  umount2(mount_point_.c_str(), MNT_DETACH);
  const bool ended = Within(limit, [&] { return HasEnded(pid_); });
  if (!ended) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
  return ended;
}

bool AskCounters(pid_t pid, const std::string& stats, std::uint64_t request,
                 StickCounters& counters) {
  kill(pid, SIGUSR2);
  return Within(kCountersWait, [&] { return ReadCounters(stats, request, counters); });
}

}  // namespace talvex::slow_stick
