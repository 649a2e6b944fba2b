#include "drive_parts.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "engine/compare.h"
#include "volumes.h"

namespace talvex::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kFirstAddress[] = "192.168.1.10";
constexpr char kSecondAddress[] = "192.168.1.20";

std::string MakeKit(const DriveSettings& settings, const std::string& name, bool realistic) {
  const std::string kit = settings.work + "/" + name;
  fs::remove_all(kit);
  std::vector<std::string> argv{settings.kit_maker, kit};
  if (realistic) argv.push_back("--realistic");
  if (Run(argv, nullptr, false) != 0) Fail("kit maker failed");
  return kit;
}

// Every box ticked, the NFS address given; the drives are folders standing for flash drives.
std::vector<std::string> BuildCommand(const DriveSettings& settings, const std::string& kit,
                                      const std::string& drive, bool verify,
                                      const std::string& address = kFirstAddress) {
  std::vector<std::string> argv{settings.cli, "--source", kit, "--target", drive, "--any-drive"};
  for (const std::string& arg : EverythingTicked()) argv.push_back(arg);
  argv.insert(argv.end(), {"--nfs-ip", address});
  if (!verify) argv.push_back("--no-verify");
  return argv;
}

void BuildOrFail(const std::vector<std::string>& argv, Usage* used = nullptr) {
  if (Run(argv, used) != 0) Fail("talvex-build reported a failure onto " + argv[4]);
}

// The ratios of single rounds, sorted (both sides of a round ran back to back, under the same
// load).
std::vector<double> RoundRatios(const std::vector<double>& ours,
                                const std::vector<double>& theirs) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < ours.size() && i < theirs.size(); ++i) {
    ratios.push_back(ours[i] / theirs[i]);
  }
  std::sort(ratios.begin(), ratios.end());
  return ratios;
}

// The ratio of the medians of two sides, their medians (in ms, or in bytes), and the rounds' own
// ratios: their median and spread. The target is judged on both medians, each shown; a target
// of 0 is none. The median of the rounds' ratios is the steadier one where other work loads the
// disk unevenly: a round's two sides share its load, while the medians of the sides may come
// from rounds of different load.
void PrintRatio(const char* what, const std::vector<double>& ours,
                const std::vector<double>& theirs, double target, bool bytes = false) {
  const double ratio = Median(ours) / Median(theirs);
  const std::vector<double> rounds = RoundRatios(ours, theirs);
  const double paired = Median(rounds);
  const double scale = bytes ? 1 : 1000;
  const char* unit = bytes ? "bytes" : "ms";
  std::printf("  %-42s %.4g (%.0f %s / %.0f %s; rounds %.4g-%.4g, their median %.4g)", what, ratio,
              Median(ours) * scale, unit, Median(theirs) * scale, unit, rounds.front(),
              rounds.back(), paired);
  if (target > 0) {
    std::printf(" target <= %.2f %s", target,
                ratio <= target && paired <= target   ? "ok"
                : ratio <= target || paired <= target ? "MISSED by one median"
                                                      : "MISSED");
  }
  std::printf("\n");
}

// ---- A rebuild that changes only the NFS address, against a full build, on the slow stick.

struct Measured {
  std::vector<double> seconds;
  std::vector<double> written;
  std::vector<double> read;
};

void TimeOnStick(SlowStickVolume& stick, const std::vector<std::string>& argv, Measured& into) {
  const StickCounters before = stick.Counters();
  into.seconds.push_back(Seconds([&] { BuildOrFail(argv); }));
  const StickCounters after = stick.Counters();
  into.written.push_back(static_cast<double>(after.bytes_written - before.bytes_written));
  into.read.push_back(static_cast<double>(after.bytes_read - before.bytes_read));
}

void PrintMeasured(const char* what, const Measured& m) {
  std::string rounds;
  for (double seconds : m.seconds) rounds += " " + std::to_string(seconds).substr(0, 6);
  std::printf("  %-26s median %7.3f s %10.0f bytes written %10.0f bytes read (rounds:%s s)\n", what,
              Median(m.seconds), Median(m.written), Median(m.read), rounds.c_str());
}

}  // namespace

void CompareRebuild(const DriveSettings& settings) {
  std::printf(
      "\nrebuild: realistic demo kit, every box ticked, on the slow stick (8 MB/s "
      "writing, 25 MB/s reading); %d rounds\n",
      settings.rounds);
  SlowStickVolume stick(settings.slow_stick, settings.work + "/rebuild-stick");
  if (!stick.unavailable().empty()) {
    std::printf("  skipped: %s\n", stick.unavailable().c_str());
    return;
  }
  const std::string kit = MakeKit(settings, "rebuild-kit", true);
  const std::string drive = stick.mount_point();
  Measured full[2], rebuild[2];  // [0] with read-back, [1] with --no-verify
  for (int round = 0; round < settings.rounds; ++round) {
    for (int side = 0; side < 2; ++side) {
      const int kind = (round + side) % 2;
      const bool verify = kind == 0;
      stick.Empty();
      Run({"sync"});
      TimeOnStick(stick, BuildCommand(settings, kit, drive, verify, kFirstAddress), full[kind]);
      TimeOnStick(stick, BuildCommand(settings, kit, drive, verify, kSecondAddress), rebuild[kind]);
    }
  }
  // The stick holds what a build from scratch with the second address leaves.
  const std::string reference = settings.work + "/rebuild-reference";
  fs::remove_all(reference);
  fs::create_directories(reference);
  BuildOrFail(BuildCommand(settings, kit, reference, false, kSecondAddress));
  if (!SameTrees(reference, drive)) Fail("the rebuilt stick differs from a build from scratch");

  PrintMeasured("full build, read-back", full[0]);
  PrintMeasured("rebuild, read-back", rebuild[0]);
  PrintMeasured("full build, --no-verify", full[1]);
  PrintMeasured("rebuild, --no-verify", rebuild[1]);
  PrintRatio("rebuild bytes / full bytes (read-back)", rebuild[0].written, full[0].written, 0.05,
             true);
  PrintRatio("rebuild bytes / full bytes (--no-verify)", rebuild[1].written, full[1].written, 0.05,
             true);
  PrintRatio("rebuild time / full time, read-back", rebuild[0].seconds, full[0].seconds, 0.35);
  PrintRatio("rebuild time / full time, --no-verify", rebuild[1].seconds, full[1].seconds, 0.10);
}

namespace {

// ---- A first build onto an empty drive, against the floor.

struct Drive {
  std::string name;
  std::string path;
  std::function<void()> empty;  // makes the drive empty again, untimed
  int rounds;
};

// The floor: the folders a build makes go with one rm -rf (none on an empty drive), the tree a
// build leaves comes with one cp -r, and sync -f puts it on the device.
double TimeFloor(const std::string& reference, const std::string& drive) {
  std::vector<std::string> remove{"rm", "-rf"};
  for (const std::string& entry : TopLevelEntries(reference)) {
    remove.push_back(drive + "/" + fs::path(entry).filename().string());
  }
  return Seconds([&] {
    if (Run(remove) != 0) Fail("rm -rf failed");
    if (Run({"cp", "-r", reference + "/.", drive}) != 0) Fail("cp -r failed onto " + drive);
    if (Run({"sync", "-f", drive}) != 0) Fail("sync -f failed");
  });
}

void CompareOnDrive(const DriveSettings& settings, const std::string& kit,
                    const std::string& reference, const Drive& drive) {
  std::vector<double> ours, floor, ours_verified;
  const std::function<void(bool)> sides[] = {
      [&](bool last) {
        ours.push_back(
            Seconds([&] { BuildOrFail(BuildCommand(settings, kit, drive.path, false)); }));
        if (last && !SameTrees(reference, drive.path))
          Fail(drive.name + ": not the reference tree");
      },
      [&](bool last) {
        floor.push_back(TimeFloor(reference, drive.path));
        if (last && !SameTrees(reference, drive.path)) Fail(drive.name + ": cp -r differs");
      },
      [&](bool last) {
        ours_verified.push_back(
            Seconds([&] { BuildOrFail(BuildCommand(settings, kit, drive.path, true)); }));
        if (last && !SameTrees(reference, drive.path))
          Fail(drive.name + ": not the reference tree");
      },
  };
  for (int round = 0; round < drive.rounds; ++round) {
    for (int side = 0; side < 3; ++side) {
      drive.empty();
      Run({"sync"});
      sides[(round + side) % 3](round + 1 == drive.rounds);
    }
  }
  std::printf("  %s (%d rounds; load average after them %s):\n", drive.name.c_str(), drive.rounds,
              LoadAverage().c_str());
  PrintRatio("talvex-build --no-verify / floor", ours, floor, 1.05);
  PrintRatio("talvex-build (read-back) / floor", ours_verified, floor, 0);
}

void EmptyFolder(const std::string& folder) {
  for (const std::string& entry : TopLevelEntries(folder)) fs::remove_all(entry);
}

}  // namespace

void CompareFirstBuild(const DriveSettings& settings) {
  std::printf(
      "\nfirst build onto an empty drive: realistic demo kit, every box ticked, against "
      "the floor (rm -rf + cp -r of the tree a build leaves + sync -f, same folder)\n");
  const std::string kit = MakeKit(settings, "first-kit", true);
  const std::string reference = settings.work + "/first-reference";
  fs::remove_all(reference);
  fs::create_directories(reference);
  BuildOrFail(BuildCommand(settings, kit, reference, true));

  const std::string disk = settings.work + "/first-disk";
  fs::create_directories(disk);
  CompareOnDrive(
      settings, kit, reference,
      {"ext4 (a folder of this disk)", disk, [&] { EmptyFolder(disk); }, settings.disk_rounds});

  Fat32Volume fat32(settings.work + "/first-fat32", 128);
  if (fat32.Renew()) {
    CompareOnDrive(settings, kit, reference,
                   {"FAT32 (fusefat, a fresh 128 MiB image each time)", fat32.mount_point(),
                    [&] {
                      if (!fat32.Renew()) Fail("FAT32: " + fat32.unavailable());
                    },
                    settings.rounds});
  } else {
    std::printf("  FAT32: skipped: %s\n", fat32.unavailable().c_str());
  }

  SlowStickVolume stick(settings.slow_stick, settings.work + "/first-stick");
  if (stick.unavailable().empty()) {
    CompareOnDrive(
        settings, kit, reference,
        {"the slow stick", stick.mount_point(), [&] { stick.Empty(); }, settings.rounds});
  } else {
    std::printf("  the slow stick: skipped: %s\n", stick.unavailable().c_str());
  }
}

namespace {

// `count` small files below `folder`, a hundred to a folder, each with bytes of its own.
void MakeManyFiles(const std::string& folder, int count) {
  for (int index = 0; index < count; ++index) {
    const std::string sub = folder + "/d" + std::to_string(index / 100);
    if (index % 100 == 0) fs::create_directories(sub);
    std::ofstream out(sub + "/file" + std::to_string(index) + ".dat", std::ios::binary);
    out << "file " << index << " of the many\n";
  }
}

void TimeWithMemory(const char* what, const std::vector<std::string>& argv) {
  Usage used;
  const double seconds = Seconds([&] { BuildOrFail(argv, &used); });
  std::printf("  %-34s %8.3f s  peak resident memory %6.1f MB (target < 64 MB) %s\n", what, seconds,
              used.peak_kib / 1024.0, used.peak_kib < 64 * 1024 ? "ok" : "MISSED");
}

}  // namespace

void MeasureMemory(const DriveSettings& settings) {
  std::printf(
      "\nmemory: the realistic demo kit with %d more files in its PVR folder, onto a "
      "folder of this disk\n",
      settings.memory_files);
  const std::string kit = MakeKit(settings, "memory-kit", true);
  MakeManyFiles(kit + "/PVR/many", settings.memory_files);
  const std::string drive = settings.work + "/memory-drive";
  fs::remove_all(drive);
  fs::create_directories(drive);
  Run({"sync"});
  TimeWithMemory("first build, read-back", BuildCommand(settings, kit, drive, true));
  TimeWithMemory("rebuild, read-back", BuildCommand(settings, kit, drive, true, kSecondAddress));
  TimeWithMemory("rebuild, --no-verify", BuildCommand(settings, kit, drive, false));
  fs::remove_all(kit);
  fs::remove_all(drive);
}

namespace {

// ---- How soon a build stops on the slow stick.

struct StopCase {
  const char* what;
  int signal;
  bool frozen;  // the stick's process stopped for 3 s around the signal
};

struct StopTimes {
  double after_signal = 0;  // from the signal to the end of the process
  double after_thaw = 0;    // from the stick's thaw to the end (frozen cases)
};

StopTimes StopOnce(const std::string& output, const std::vector<std::string>& argv,
                   const std::string& watched, pid_t stick, const StopCase& how) {
  const pid_t build = Start(argv, output);
  const auto give_up = Clock::now() + std::chrono::seconds(60);
  while (!slow_stick::CopyingPast(watched, build::kTemporaryPrefix, 16u << 20)) {
    if (Clock::now() > give_up) Fail("the large file was never being copied");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Clock::time_point thawed{};
  std::thread thaw;
  if (how.frozen) {
    kill(stick, SIGSTOP);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    thaw = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(2800));
      thawed = Clock::now();
      kill(stick, SIGCONT);
    });
  }
  const Clock::time_point asked = Clock::now();
  kill(build, how.signal);
  int status = 0;
  waitpid(build, &status, 0);
  const Clock::time_point ended = Clock::now();
  if (thaw.joinable()) thaw.join();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) Fail("the stopped build did not exit 1");
  StopTimes times;
  times.after_signal = std::chrono::duration<double>(ended - asked).count();
  if (how.frozen) times.after_thaw = std::chrono::duration<double>(ended - thawed).count();
  return times;
}

void MakeSparseFile(const std::string& path, std::uintmax_t bytes) {
  { std::ofstream(path, std::ios::binary); }
  fs::resize_file(path, bytes);
}

}  // namespace

void MeasureStop(const DriveSettings& settings) {
  std::printf(
      "\nstop: the demo kit with a 1 GiB file in PVR, onto the slow stick holding an "
      "earlier build; the signal comes once 16 MiB of the file are on the stick; %d "
      "rounds\n",
      settings.rounds);
  const std::string folder = settings.work + "/stop-stick";
  SlowStickVolume stick(settings.slow_stick, folder);
  if (!stick.unavailable().empty()) {
    std::printf("  skipped: %s\n", stick.unavailable().c_str());
    return;
  }
  const std::string kit = MakeKit(settings, "stop-kit", false);
  const std::string drive = stick.mount_point();
  BuildOrFail(BuildCommand(settings, kit, drive, false));
  const std::string before = settings.work + "/stop-before";
  fs::remove_all(before);
  fs::copy(folder + "/backing", before, fs::copy_options::recursive);
  MakeSparseFile(kit + "/PVR/recording.ts", std::uintmax_t{1} << 30);

  const StopCase cases[] = {{"SIGINT", SIGINT, false},
                            {"SIGTERM", SIGTERM, false},
                            {"SIGINT, stick frozen (SIGSTOP) 3 s around it", SIGINT, true}};
  for (const StopCase& how : cases) {
    std::string times;
    double longest = 0;
    for (int round = 0; round < settings.rounds; ++round) {
      const StopTimes took = StopOnce(settings.work + "/stop-output.txt",
                                      BuildCommand(settings, kit, drive, true, kSecondAddress),
                                      folder + "/backing/PVR", stick.pid(), how);
      if (!SameTrees(before, folder + "/backing")) Fail("a stopped build changed the stick");
      longest = std::max(longest, took.after_signal);
      times += " " + std::to_string(took.after_signal).substr(0, 5) + " s";
      if (how.frozen)
        times += " (" + std::to_string(took.after_thaw).substr(0, 5) + " s after the thaw)";
    }
    std::printf("  %-46s ended%s; the stick as it was, no temporary\n", how.what, times.c_str());
    if (!how.frozen) {
      std::printf("  %-46s longest %.3f s (target <= 1 s) %s\n", "", longest,
                  longest <= 1 ? "ok" : "MISSED");
    }
  }
}

}  // namespace talvex::bench
