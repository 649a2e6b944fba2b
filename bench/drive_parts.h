// The parts of the benchmark that build onto drives of their own: a rebuild against a full
// build on the slow stick, a first build against the floor of rm -rf + cp -r + sync -f on this
// disk, on FAT32 and on the slow stick, the peak memory at 100,000 files, and how soon a build
// stops on the slow stick, frozen or not.
#pragma once

#include <string>

namespace talvex::bench {

struct DriveSettings {
  std::string cli;         // talvex-build
  std::string kit_maker;   // talvex-make-demo-kit
  std::string slow_stick;  // talvex-slow-stick; empty where it is not built
  std::string work;
  int rounds = 3;  // on the slow drives (FAT32, the slow stick)
  // On this disk, where a round takes a fraction of a second and the load of other work on the
  // disk moves single rounds by half: a multiple of three, so each side follows each other side
  // equally often.
  int disk_rounds = 21;
  int memory_files = 100000;  // in one application folder of the kit
};

void CompareRebuild(const DriveSettings& settings);
void CompareFirstBuild(const DriveSettings& settings);
void MeasureMemory(const DriveSettings& settings);
void MeasureStop(const DriveSettings& settings);

}  // namespace talvex::bench
