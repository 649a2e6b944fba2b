// talvex-slow-stick: mounts a folder again through FUSE at the pace of a USB 2 stick, to measure
// builds on. See slow-stick.sh for starting and stopping it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "operations.h"
#include "stick.h"

namespace {

constexpr char kUsage[] =
    "usage: talvex-slow-stick BACKING MOUNTPOINT [--write-rate MB/s] [--read-rate MB/s]\n"
    "                         [--stats FILE] [FUSE options, e.g. -f]\n"
    "Mounts the folder BACKING at MOUNTPOINT, writing at 8 MB/s and reading at 25 MB/s unless\n"
    "told otherwise (1 MB = 10^6 bytes; 0 = no limit). SIGUSR1 pulls the stick: every later call\n"
    "fails with EIO. SIGUSR2 prints the counters of bytes moved on standard error; --stats FILE\n"
    "keeps them in FILE while the stick is mounted.\n";

struct CommandLine {
  std::string backing;  // empty: not given
  double write_rate = 8;
  double read_rate = 25;
  std::string stats;
  int help = 0;
};

enum Key { kHelp, kWriteRate, kReadRate, kStats };

// Each matches "--option VALUE", "--option=VALUE" (and "--optionVALUE").
const fuse_opt kOptions[] = {
    FUSE_OPT_KEY("--write-rate ", kWriteRate),
    FUSE_OPT_KEY("--read-rate ", kReadRate),
    FUSE_OPT_KEY("--stats ", kStats),
    FUSE_OPT_KEY("-h", kHelp),
    FUSE_OPT_KEY("--help", kHelp),
    FUSE_OPT_END,
};

// What follows the option's name in `argument`, without the '=' that may join them.
const char* ValueAfter(const char* argument, const char* name) {
  const char* value = argument + std::strlen(name);
  return *value == '=' ? value + 1 : value;
}

bool ParseRate(const char* value, double* rate) {
  char* end = nullptr;
  *rate = std::strtod(value, &end);
  if (end != value && *end == '\0' && *rate >= 0) return true;
  std::fprintf(stderr, "talvex-slow-stick: not a rate in MB/s: %s\n", value);
  return false;
}

// Our options are taken out; the first plain argument is the backing folder; the rest (the mount
// point, FUSE's options) goes to FUSE.
int TakeArgument(void* data, const char* argument, int key, fuse_args* /*outargs*/) {
  auto* line = static_cast<CommandLine*>(data);
  switch (key) {
    case kHelp:
      line->help = 1;
      return 1;  // FUSE prints its own options after ours
    case kWriteRate:
      return ParseRate(ValueAfter(argument, "--write-rate"), &line->write_rate) ? 0 : -1;
    case kReadRate:
      return ParseRate(ValueAfter(argument, "--read-rate"), &line->read_rate) ? 0 : -1;
    case kStats:
      line->stats = ValueAfter(argument, "--stats");
      return 0;
    case FUSE_OPT_KEY_NONOPT:
      if (!line->backing.empty()) return 1;
      line->backing = argument;
      return 0;
    default:
      return 1;
  }
}

// FUSE runs the file system from "/" once it is in the background: what the stick keeps open or
// writes later is fixed now.
std::string Absolute(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).string();
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace talvex::slow_stick;
  fuse_args args = FUSE_ARGS_INIT(argc, argv);
  CommandLine line;
  if (fuse_opt_parse(&args, &line, kOptions, TakeArgument) != 0) return 2;
  if (line.help != 0) std::fputs(kUsage, stdout);
  if (line.help == 0 && line.backing.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  int backing = -1;
  if (!line.backing.empty()) {
    backing = open(line.backing.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (backing == -1) {
      std::fprintf(stderr, "talvex-slow-stick: cannot open %s: %s\n", line.backing.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  // Named in the mount table; FUSE's old idle-thread count stated, since libfuse 3.14 complains
  // about its own default. Options given on the command line come later and win.
  fuse_opt_insert_arg(&args, 1,
                      "-osubtype=slow-stick,fsname=talvex-slow-stick,max_idle_threads=10");

  StickOptions options;
  options.write_bytes_per_second = line.write_rate * 1e6;
  options.read_bytes_per_second = line.read_rate * 1e6;
  if (!line.stats.empty()) options.stats_path = Absolute(line.stats);
  Stick stick(backing, options);
  BlockStickSignals();
  const int status = fuse_main(args.argc, args.argv, &StickOperations(), &stick);
  fuse_opt_free_args(&args);
  return status;
}
