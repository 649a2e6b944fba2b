// What the benchmark's parts share: running the programs measured, timing them, and the medians
// their rounds are summed up by.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace talvex::bench {

[[noreturn]] void Fail(const std::string& what);

// What the processes of one side used: their CPU time (user and system, added up) and the
// largest peak resident size among them. CPU time is the steadier figure on a machine whose
// other users come and go; wall-clock time is what the user waits.
struct Usage {
  double cpu_seconds = 0;
  long peak_kib = 0;
};

// Runs argv, waits for it, and returns its exit status; `usage` gets what it used added.
int Run(const std::vector<std::string>& argv, Usage* used = nullptr, bool quiet = true);
// Starts argv with its output going to `output` and returns its process at once.
int Start(const std::vector<std::string>& argv, const std::string& output = "/dev/null");
// Runs a shell command and returns what it printed.
std::string Capture(const std::string& command);
double Seconds(const std::function<void()>& work);
double Median(std::vector<double> values);
std::string Quoted(const std::string& text);
std::string LoadAverage();

// talvex-build's arguments that tick every box of the record.
std::vector<std::string> EverythingTicked();
// The entries of `folder` itself, sorted, as full paths.
std::vector<std::string> TopLevelEntries(const std::string& folder);
// The same names, bytes and folders in both trees (diff -r).
bool SameTrees(const std::string& one, const std::string& other);

}  // namespace talvex::bench
