#include "bench_support.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "options/build_options.h"
#include "slow_stick/starter.h"

namespace talvex::bench {

void Fail(const std::string& what) {
  std::cerr << "talvex-bench: " << what << "\n";
  std::exit(2);
}

int Run(const std::vector<std::string>& argv, Usage* used, bool quiet) {
  std::fflush(stdout);  // what was printed comes before what the child prints
  const pid_t child = slow_stick::StartProgram(argv, quiet ? "/dev/null" : "");
  if (child < 0) return 127;  // as a shell says of a program it cannot run
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  if (used != nullptr) {
    used->cpu_seconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    used->peak_kib = std::max(used->peak_kib, usage.ru_maxrss);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

int Start(const std::vector<std::string>& argv, const std::string& output) {
  std::fflush(stdout);
  const pid_t child = slow_stick::StartProgram(argv, output);
  if (child < 0) Fail("cannot start " + argv[0] + ": " + std::strerror(errno));
  return child;
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
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one;
  std::string five;
  std::string fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::vector<std::string> EverythingTicked() {
  std::vector<std::string> args;
  for (const options::OptionField& field : options::kOptionFields) {
    if (field.kind == options::FieldKind::kCheck) {
      args.push_back("--set");
      args.push_back(std::string(field.name) + "=1");
    }
  }
  return args;
}

std::vector<std::string> TopLevelEntries(const std::string& folder) {
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    entries.push_back(entry.path().string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

bool SameTrees(const std::string& one, const std::string& other) {
  return Capture("diff -r " + Quoted(one) + " " + Quoted(other) + " >/dev/null 2>&1 && echo same")
             .find("same") != std::string::npos;
}

}  // namespace talvex::bench
