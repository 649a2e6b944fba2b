// Measures the build, the tree size and the tree removal against the standard tools doing the
// same work, on generated workloads, in one run on one machine. Each comparison runs several
// times, alternating the two sides, and reports the medians and their ratio.
//
//   talvex-bench --cli PATH --kit-maker PATH [--entries N] [--runs R] [--work DIR]
//                [--parts build,size,remove]
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
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/build_plan.h"
#include "engine/run_build.h"
#include "fsutil/tree.h"
#include "options/build_options.h"
#include "platform/file_system.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Settings {
  std::string cli;
  std::string kit_maker;
  std::string work = "bench-work";
  int entries = 200000;
  int runs = 5;
  std::string parts = "build,size,remove";
};

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "talvex-bench: " << what << "\n";
  std::exit(2);
}

// Runs argv, waits for it, and returns its exit status; `peak_kib` gets its peak resident size.
int Run(const std::vector<std::string>& argv, long* peak_kib = nullptr, bool quiet = true) {
  pid_t child = fork();
  if (child < 0) Fail("fork failed");
  if (child == 0) {
    if (quiet) {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  if (peak_kib != nullptr) *peak_kib = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string Capture(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) Fail("cannot run " + command);
  char buffer[4096];
  while (std::size_t got = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
  pclose(pipe);
  return output;
}

double Seconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Comparison {
  std::string name;
  std::string ours;
  std::string theirs;
  std::vector<double> ours_seconds;
  std::vector<double> theirs_seconds;
  double target;
};

void Print(const Comparison& c) {
  const double ours = Median(c.ours_seconds);
  const double theirs = Median(c.theirs_seconds);
  const double ratio = ours / theirs;
  std::printf("%-10s %-14s %9.3f s   %-22s %9.3f s   ratio %.2f (target <= %.2f) %s\n",
              c.name.c_str(), c.ours.c_str(), ours, c.theirs.c_str(), theirs, ratio, c.target,
              ratio <= c.target ? "ok" : "MISSED");
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
  Comparison c{"removal", "DelTree", "rm -rf", {}, {}, 1.1};
  for (int run = 0; run < settings.runs; ++run) {
    const std::string ours = settings.work + "/remove-ours";
    const std::string theirs = settings.work + "/remove-theirs";
    MakeTree(ours, settings.entries, 11 + run);
    MakeTree(theirs, settings.entries, 11 + run);
    Run({"sync"});
    const bool ours_first = run % 2 == 0;
    auto measure_ours = [&] {
      c.ours_seconds.push_back(Seconds([&] {
        if (talvex::fsutil::DelTree(talvex::platform::NativeFileSystem(), ours) != 0) {
          Fail("DelTree failed");
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

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

// The shell doing what the plan does: the same removals, folders and copies, one command each.
std::string ShellEquivalent(const talvex::build::BuildPlan& plan, const std::string& drive) {
  std::ostringstream script;
  script << "set -u\n";
  for (const talvex::build::BuildStep& step : plan) {
    switch (step.kind) {
      case talvex::build::StepKind::kRemoveTree:
        script << "rm -rf " << Quoted(step.target) << "\n";
        break;
      case talvex::build::StepKind::kMakeDirectory:
        script << "mkdir -p " << Quoted(step.target) << "\n";
        break;
      case talvex::build::StepKind::kWriteGenerated:
        break;  // the few bytes of a generated file: the shell copies the result below
      case talvex::build::StepKind::kCopyFile:
        script << "cp " << Quoted(step.source) << " " << Quoted(step.target) << "\n";
        break;
      case talvex::build::StepKind::kCopyFolder:
        script << "cp -r " << Quoted(step.source + "/.") << " " << Quoted(step.target) << "\n";
        break;
      case talvex::build::StepKind::kFlush:
        script << "sync -f " << Quoted(drive) << "\n";
        break;
      case talvex::build::StepKind::kVerify:
        break;  // the shell has no read-back; the build is timed without it for this comparison
    }
  }
  script << "du -sb " << Quoted(drive + "/Talvex") << " >/dev/null\n";
  return script.str();
}

std::vector<std::string> EverythingTicked() {
  std::vector<std::string> args;
  for (const talvex::options::OptionField& field : talvex::options::kOptionFields) {
    if (field.kind == talvex::options::FieldKind::kCheck) {
      args.push_back("--set");
      args.push_back(std::string(field.name) + "=1");
    }
  }
  return args;
}

Comparison CompareBuild(const Settings& settings, long* peak_kib) {
  const std::string kit = settings.work + "/kit";
  fs::remove_all(kit);
  if (Run({settings.kit_maker, kit, "--realistic"}, nullptr, false) != 0) Fail("kit maker failed");
  const std::string ours_drive = settings.work + "/drive-ours";
  const std::string theirs_drive = settings.work + "/drive-theirs";
  fs::create_directories(ours_drive);
  fs::create_directories(theirs_drive);

  talvex::options::BuildOptions options;
  for (const talvex::options::OptionField& field : talvex::options::kOptionFields) {
    if (field.kind == talvex::options::FieldKind::kCheck) {
      options.*field.check = talvex::options::CheckState::kChecked;
    }
  }
  const std::string script_path = settings.work + "/build.sh";
  std::ofstream(script_path) << ShellEquivalent(
      talvex::build::PlanBuild({kit, theirs_drive, options}), theirs_drive);

  std::vector<std::string> ours_command{settings.cli, "--source", kit, "--target", ours_drive};
  for (const std::string& arg : EverythingTicked()) ours_command.push_back(arg);

  Comparison c{"build", "talvex-build", "rm/mkdir/cp script", {}, {}, 1.0};
  *peak_kib = 0;
  for (int run = 0; run < settings.runs; ++run) {
    auto measure_ours = [&] {
      long peak = 0;
      c.ours_seconds.push_back(Seconds([&] {
        if (Run(ours_command, &peak) != 0) Fail("talvex-build reported a failure");
      }));
      *peak_kib = std::max(*peak_kib, peak);
    };
    auto measure_theirs = [&] {
      c.theirs_seconds.push_back(Seconds([&] { Run({"bash", script_path}); }));
    };
    if (run % 2 == 0) {
      measure_ours();
      measure_theirs();
    } else {
      measure_theirs();
      measure_ours();
    }
  }
  const std::string diff = Capture("diff -r " + Quoted(ours_drive) + " " + Quoted(theirs_drive) +
                                   " >/dev/null 2>&1 && echo same");
  if (diff.find("same") == std::string::npos) Fail("the two builds made different trees");
  return c;
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
    } else if (arg == "--parts") {
      settings.parts = value();
    } else {
      Fail("unknown argument " + arg);
    }
  }
  if (settings.parts.find("build") != std::string::npos &&
      (settings.cli.empty() || settings.kit_maker.empty())) {
    Fail("--cli and --kit-maker are needed for the build");
  }
  return settings;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings = Parse(argc, argv);
  fs::create_directories(settings.work);
  settings.work = fs::canonical(settings.work).string();
  std::printf("machine: %u cores; %d entries per tree; %d runs per side, alternating\n",
              std::thread::hardware_concurrency(), settings.entries, settings.runs);
  long peak_kib = 0;
  std::vector<Comparison> results;
  auto wanted = [&](const char* part) { return settings.parts.find(part) != std::string::npos; };
  if (wanted("build")) results.push_back(CompareBuild(settings, &peak_kib));
  if (wanted("size")) results.push_back(CompareTreeSize(settings));
  if (wanted("remove")) results.push_back(CompareRemoval(settings));
  std::printf("\nmedians:\n");
  for (const Comparison& c : results) Print(c);
  if (!wanted("build")) return 0;
  std::printf("%-10s talvex-build peak resident memory %.1f MB (target < 16 MB) %s\n", "memory",
              peak_kib / 1024.0, peak_kib < 16 * 1024 ? "ok" : "MISSED");
  fs::remove_all(settings.work);
  return 0;
}
