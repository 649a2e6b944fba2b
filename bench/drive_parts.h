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
  int rounds = 3;             // on the slow drives (FAT32, the slow stick)
  int disk_rounds = 9;        // on this disk
  int memory_files = 100000;  // in one application folder of the kit
};

void CompareRebuild(const DriveSettings& settings);
void CompareFirstBuild(const DriveSettings& settings);
void MeasureMemory(const DriveSettings& settings);
void MeasureStop(const DriveSettings& settings);

}  // namespace talvex::bench
