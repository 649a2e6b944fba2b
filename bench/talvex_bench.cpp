// Measures the build, the tree size and the tree removal against the standard tools doing the
// same work, on generated workloads, in one run on one machine. Each comparison runs several
// times, alternating the two sides, and reports the medians and their ratio.
//
//   talvex-bench --cli PATH --kit-maker PATH [--entries N] [--runs R] [--build-runs B]
//                [--work DIR] [--parts build,size,remove,rebuild,first,memory,stop]
//                [--slow-stick PATH] [--rounds N] [--disk-rounds N] [--memory-files N]
//
// rebuild, first, memory and stop are in drive_parts.cpp; rebuild, stop and two of first's
// three drives mount FUSE volumes (root, /dev/fuse) and say why they are left out elsewhere.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "drive_parts.h"
#include "fsutil/tree.h"
#include "platform/file_system.h"

namespace {

using namespace talvex::bench;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Settings {
  std::string cli;
  std::string kit_maker;
  std::string work = "bench-work";
  int entries = 200000;
  int runs = 5;
  int build_runs = 21;  // a build takes a fraction of a second; more rounds tame the noise
  std::string parts = "build,size,remove";
  DriveSettings drives;
};

struct Comparison {
  std::string name;
  std::string ours;
  std::string theirs;
  std::vector<double> ours_seconds;
  std::vector<double> theirs_seconds;
  double target;
  std::vector<double> ours_cpu = {};  // CPU seconds per round, where the sides are processes
  std::vector<double> theirs_cpu = {};
};

// The ratio of the medians, and how far the ratios of single rounds spread (both sides of a
// round ran back to back, under the same load).
void Print(const Comparison& c) {
  const double ours = Median(c.ours_seconds);
  const double theirs = Median(c.theirs_seconds);
  const double ratio = ours / theirs;
  std::vector<double> rounds;
  for (std::size_t i = 0; i < c.ours_seconds.size() && i < c.theirs_seconds.size(); ++i) {
    rounds.push_back(c.ours_seconds[i] / c.theirs_seconds[i]);
  }
  std::sort(rounds.begin(), rounds.end());
  std::printf(
      "%-10s %-25s %7.3f s  %-25s %7.3f s  ratio %.2f (rounds %.2f-%.2f; target <= %.2f) %s\n",
      c.name.c_str(), c.ours.c_str(), ours, c.theirs.c_str(), theirs, ratio, rounds.front(),
      rounds.back(), c.target, ratio <= c.target ? "ok" : "MISSED");
  if (c.ours_cpu.empty() || c.theirs_cpu.empty()) return;
  const double ours_cpu = Median(c.ours_cpu);
  const double theirs_cpu = Median(c.theirs_cpu);
  std::printf("%-10s %-25s %7.3f s  %-25s %7.3f s  ratio %.2f\n", "", "  CPU time", ours_cpu,
              "  CPU time", theirs_cpu, ours_cpu / theirs_cpu);
}

// A tree of about `entries` entries: folders of mixed depth (up to eight levels) holding files
// of mixed sizes, most small, a few large. Sizes are set with ftruncate, so a large tree costs
// little disk while its apparent size is realistic.
void MakeTree(const std::string& root, int entries, unsigned seed) {
  std::mt19937 random(seed);
  fs::create_directories(root);
  std::vector<std::string> folders{root};
  int made = 0;
  while (made < entries) {
    const std::string& parent = folders[random() % folders.size()];
    const bool new_folder = random() % 12 == 0 && std::count(parent.begin(), parent.end(), '/') <
                                                      std::count(root.begin(), root.end(), '/') + 8;
    const std::string path = parent + "/e" + std::to_string(made);
    if (new_folder) {
      if (mkdir(path.c_str(), 0777) != 0) Fail("mkdir " + path);
      folders.push_back(path);
    } else {
      int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (fd < 0) Fail("create " + path);
      const unsigned pick = random() % 1000;
      off_t size = pick < 700   ? random() % 4096
                   : pick < 990 ? random() % 262144
                                : random() % 8388608;
      if (ftruncate(fd, size) != 0) Fail("size " + path);
      close(fd);
    }
    ++made;
  }
}

// du counts every folder's own size too; the tree size counts files only.
std::uint64_t FolderBytes(const std::string& root) {
  std::uint64_t total = 0;
  struct stat st {};
  if (lstat(root.c_str(), &st) == 0) total += static_cast<std::uint64_t>(st.st_size);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_directory() && !entry.is_symlink() && lstat(entry.path().c_str(), &st) == 0) {
      total += static_cast<std::uint64_t>(st.st_size);
    }
  }
  return total;
}

Comparison CompareTreeSize(const Settings& settings) {
  const std::string tree = settings.work + "/size-tree";
  fs::remove_all(tree);
  MakeTree(tree, settings.entries, 7);
  Comparison c{"tree size", "SizeOf", "du -sb", {}, {}, 1.0};
  double ours = 0;
  std::string du_output;
  for (int run = 0; run < settings.runs; ++run) {
    c.ours_seconds.push_back(Seconds(
        [&] { ours = talvex::fsutil::SizeOf(talvex::platform::NativeFileSystem(), tree); }));
    c.theirs_seconds.push_back(Seconds([&] { du_output = Capture("du -sb '" + tree + "'"); }));
  }
  const std::uint64_t du_bytes = std::stoull(du_output);
  const std::uint64_t folders = FolderBytes(tree);
  const std::uint64_t our_bytes = static_cast<std::uint64_t>(ours);
  std::printf("tree size: %llu bytes in files; du -sb %llu = files + %llu in folders: %s\n",
              static_cast<unsigned long long>(our_bytes), static_cast<unsigned long long>(du_bytes),
              static_cast<unsigned long long>(folders),
              our_bytes + folders == du_bytes ? "agree" : "DISAGREE");
  if (our_bytes + folders != du_bytes) Fail("tree size and du disagree");
  fs::remove_all(tree);
  return c;
}

Comparison CompareRemoval(const Settings& settings) {
  Comparison c{"removal", "DelTreeBelow", "rm -rf", {}, {}, 1.1};
  for (int run = 0; run < settings.runs; ++run) {
    const std::string ours = settings.work + "/remove-ours";
    const std::string theirs = settings.work + "/remove-theirs";
    MakeTree(ours, settings.entries, 11 + run);
    MakeTree(theirs, settings.entries, 11 + run);
    Run({"sync"});
    const bool ours_first = run % 2 == 0;
    auto measure_ours = [&] {
      c.ours_seconds.push_back(Seconds([&] {
        // As the build removes a tree: through a handle of the folder that holds it.
        std::unique_ptr<talvex::platform::Directory> parent;
        if (!talvex::platform::NativeFileSystem().OpenDirectory(settings.work, parent) ||
            talvex::fsutil::DelTreeBelow(*parent, "remove-ours").result != 0) {
          Fail("DelTreeBelow failed");
        }
      }));
    };
    auto measure_theirs = [&] {
      c.theirs_seconds.push_back(Seconds([&] { Run({"rm", "-rf", theirs}); }));
    };
    if (ours_first) {
      measure_ours();
      measure_theirs();
    } else {
      measure_theirs();
      measure_ours();
    }
    if (fs::exists(ours) || fs::exists(theirs)) Fail("a tree survived its removal");
  }
  return c;
}

// The yardstick: what a careful user does by hand to put the same files on a stick. The folders
// the build replaces go with one `rm -rf`, the tree the build leaves comes back with one
// `cp -r`, and `sync -f` puts it on the device, as the build's own flush does before it reports.
// The sync is timed on its own too, so the ratio without it can be shown as well.
struct Yardstick {
  std::string reference;  // the tree a build left, copied once before the first round
  std::string drive;

  void Time(double& copy_seconds, double& sync_seconds, Usage* copy_used = nullptr,
            Usage* sync_used = nullptr) const {
    std::vector<std::string> remove{"rm", "-rf"};
    for (const std::string& entry : TopLevelEntries(reference)) {
      remove.push_back(drive + "/" + fs::path(entry).filename().string());
    }
    copy_seconds = Seconds([&] {
      if (Run(remove, copy_used) != 0) Fail("rm -rf failed");
      if (Run({"cp", "-r", reference + "/.", drive}, copy_used) != 0) Fail("cp -r failed");
    });
    sync_seconds = Seconds([&] {
      if (Run({"sync", "-f", drive}, sync_used) != 0) Fail("sync -f failed");
    });
  }
};

struct BuildResults {
  Comparison build;          // without read-back, against the yardstick with its sync
  Comparison build_no_sync;  // the same builds, against the yardstick without its sync
  Comparison verify;         // with read-back, against without
};

// One round times the three sides in an order that rotates from round to round, so that none
// of them always runs first (cold) or after the same neighbour.
BuildResults CompareBuild(const Settings& settings, long* peak_kib) {
  const std::string kit = settings.work + "/kit";
  fs::remove_all(kit);
  if (Run({settings.kit_maker, kit, "--realistic"}, nullptr, false) != 0) Fail("kit maker failed");
  const std::string reference = settings.work + "/drive-reference";
  const std::string ours_drive = settings.work + "/drive-ours";
  const std::string theirs_drive = settings.work + "/drive-theirs";
  for (const std::string& folder : {reference, ours_drive, theirs_drive}) {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  auto command = [&](const std::string& drive, bool verify) {
    // The drives are plain folders standing for flash drives.
    std::vector<std::string> argv{settings.cli, "--source", kit, "--target", drive, "--any-drive"};
    for (const std::string& arg : EverythingTicked()) argv.push_back(arg);
    if (!verify) argv.push_back("--no-verify");
    return argv;
  };
  // The reference is what a build leaves on the drive: the same files, the same bytes.
  if (Run(command(reference, true)) != 0) Fail("talvex-build reported a failure");
  const Yardstick yardstick{reference, theirs_drive};
  double unused = 0;
  yardstick.Time(unused, unused);  // the rounds all start from a drive that holds a build
  if (Run(command(ours_drive, false)) != 0) Fail("talvex-build reported a failure");

  BuildResults r{{"build", "talvex-build --no-verify", "rm -rf, cp -r, sync -f", {}, {}, 1.2},
                 {"(no sync)", "talvex-build --no-verify", "rm -rf, cp -r", {}, {}, 1.2},
                 {"read-back", "talvex-build", "talvex-build --no-verify", {}, {}, 2.0}};
  *peak_kib = 0;
  auto build = [&](bool verify, std::vector<double>& seconds, std::vector<double>& cpu) {
    Usage used;
    seconds.push_back(Seconds([&] {
      if (Run(command(ours_drive, verify), &used) != 0) Fail("talvex-build reported a failure");
    }));
    cpu.push_back(used.cpu_seconds);
    *peak_kib = std::max(*peak_kib, used.peak_kib);
  };
  for (int round = 0; round < settings.build_runs; ++round) {
    const std::function<void()> sides[] = {
        [&] { build(false, r.build.ours_seconds, r.build.ours_cpu); },
        [&] {
          double copy = 0;
          double sync = 0;
          Usage copy_used;
          Usage sync_used;
          yardstick.Time(copy, sync, &copy_used, &sync_used);
          r.build.theirs_seconds.push_back(copy + sync);
          r.build.theirs_cpu.push_back(copy_used.cpu_seconds + sync_used.cpu_seconds);
          r.build_no_sync.theirs_seconds.push_back(copy);
          r.build_no_sync.theirs_cpu.push_back(copy_used.cpu_seconds);
        },
        [&] { build(true, r.verify.ours_seconds, r.verify.ours_cpu); },
    };
    for (int side = 0; side < 3; ++side) sides[(round + side) % 3]();
  }
  // The builds without read-back are the one side of all three comparisons.
  r.build_no_sync.ours_seconds = r.build.ours_seconds;
  r.build_no_sync.ours_cpu = r.build.ours_cpu;
  r.verify.theirs_seconds = r.build.ours_seconds;
  r.verify.theirs_cpu = r.build.ours_cpu;
  for (const std::string& drive : {ours_drive, theirs_drive}) {
    if (!SameTrees(reference, drive)) Fail(drive + " differs from the reference tree");
  }
  return r;
}

Settings Parse(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Fail(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--cli") {
      settings.cli = value();
    } else if (arg == "--kit-maker") {
      settings.kit_maker = value();
    } else if (arg == "--work") {
      settings.work = value();
    } else if (arg == "--entries") {
      settings.entries = std::stoi(value());
    } else if (arg == "--runs") {
      settings.runs = std::stoi(value());
    } else if (arg == "--build-runs") {
      settings.build_runs = std::stoi(value());
    } else if (arg == "--parts") {
      settings.parts = value();
    } else if (arg == "--slow-stick") {
      settings.drives.slow_stick = value();
    } else if (arg == "--rounds") {
      settings.drives.rounds = std::stoi(value());
    } else if (arg == "--disk-rounds") {
      settings.drives.disk_rounds = std::stoi(value());
    } else if (arg == "--memory-files") {
      settings.drives.memory_files = std::stoi(value());
    } else {
      Fail("unknown argument " + arg);
    }
  }
  if (settings.parts != "size" && settings.parts != "remove" && settings.parts != "size,remove" &&
      (settings.cli.empty() || settings.kit_maker.empty())) {
    Fail("--cli and --kit-maker are needed for the builds");
  }
  return settings;
}

bool Wanted(const Settings& settings, std::string_view part) {
  std::string_view parts = settings.parts;
  while (!parts.empty()) {
    const std::size_t comma = std::min(parts.find(','), parts.size());
    if (parts.substr(0, comma) == part) return true;
    parts.remove_prefix(std::min(comma + 1, parts.size()));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Each line out at once: a part that fails (a FUSE mount left dead, say) ends the run by an
  // exception, and the lines of the parts before it must not die with it in the buffer.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Settings settings = Parse(argc, argv);
  fs::create_directories(settings.work);
  settings.work = fs::canonical(settings.work).string();
  std::printf(
      "machine: %u cores, load average %s; %d entries per tree; %d runs per side (builds: %d "
      "rounds), alternating\n",
      std::thread::hardware_concurrency(), LoadAverage().c_str(), settings.entries, settings.runs,
      settings.build_runs);
  long peak_kib = 0;
  std::vector<Comparison> results;
  auto wanted = [&](std::string_view part) { return Wanted(settings, part); };
  settings.drives.cli = settings.cli;
  settings.drives.kit_maker = settings.kit_maker;
  settings.drives.work = settings.work;
  if (wanted("build")) {
    BuildResults build = CompareBuild(settings, &peak_kib);
    results.push_back(build.build);
    results.push_back(build.build_no_sync);
    results.push_back(build.verify);
  }
  if (wanted("rebuild")) CompareRebuild(settings.drives);
  if (wanted("first")) CompareFirstBuild(settings.drives);
  if (wanted("memory")) MeasureMemory(settings.drives);
  if (wanted("stop")) MeasureStop(settings.drives);
  if (wanted("size")) results.push_back(CompareTreeSize(settings));
  if (wanted("remove")) results.push_back(CompareRemoval(settings));
  if (!results.empty()) std::printf("\nmedians (load average now %s):\n", LoadAverage().c_str());
  for (const Comparison& c : results) Print(c);
  if (wanted("build")) {
    std::printf("%-10s talvex-build peak resident memory %.1f MB (target < 16 MB) %s\n", "memory",
                peak_kib / 1024.0, peak_kib < 16 * 1024 ? "ok" : "MISSED");
    std::printf(
        "\nbuild: the build, every option ticked, on the realistic demo kit, onto a drive that "
        "holds the same build already (without read-back it keeps every file whose size and time "
        "match); it ends with a flush of the drive's file system (syncfs), so the yardstick ends "
        "with sync -f. The first build onto an empty drive is the part \"first\".\n"
        "(no sync): the same builds against rm -rf + cp -r alone, for comparison.\n"
        "read-back: the build that reads every file back from the device, against the one that "
        "does not; target 2.00 = the read-back adds at most the build's own time.\n");
  }
  fs::remove_all(settings.work);
  return 0;
}
