// Runs a program as a user's shell would: given arguments, a standard input, and its standard
// output and error caught whole. Used to test the command-line front end as it ships.
#pragma once

#include <string>
#include <vector>

namespace talvex::testing {

struct ProgramRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs `program` with `arguments` (UTF-8) and waits for it to end. Standard input holds `input`;
// standard output and error are files, so neither is a terminal. Fails the calling test (and
// returns exit_code -1) when the program cannot be started.
// A program of the build tree as the tests reach it: as built natively; under Wine the host's
// path through drive Z:, with backslashes.
std::string ProgramInBuildTree(std::string host_path);

// A program's output as lines, without their LF; a last line without one counts too.
std::vector<std::string> OutputLines(const std::string& text);

// `folder`, when given, is the program's current folder; else it is the caller's.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& input = {}, const std::string& folder = {});

}  // namespace talvex::testing
