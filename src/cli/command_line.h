// The command line of talvex-build, turned into the record a build runs from. Nothing here
// touches the drive: every value is checked first, so bad input never half-runs a build.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "options/build_options.h"

namespace talvex::cli {

// How talvex-build ends; the values are its exit status, which scripts test.
enum class ExitStatus : int {
  kBuilt = 0,        // the build ran and no step failed (or help, version, a dry run)
  kStepsFailed = 1,  // the build ran and at least one step failed
  kNothingDone = 2,  // refused before anything was touched
};

struct Request {
  options::BuildOptions options;
  std::string target;       // as given; checked against the disk later
  std::string source_root;  // empty: the folder that holds the executable
  bool dry_run = false;
  bool fresh = false;      // remove the old payload first and write everything anew
  bool verify = true;      // read every file back from the drive once it is flushed
  bool any_drive = false;  // the target may be a folder or a fixed disk, not only a flash drive
};

struct ParsedCommandLine {
  enum class Kind {
    kBuild,        // `request` is ready to run
    kInformation,  // --help or --version: print `text` and end with 0
    kRefused,      // print `text` (why) on standard error and end with 2
  };
  Kind kind = Kind::kRefused;
  Request request;
  std::string text;
};

// `arguments` without the program's name, UTF-8. `standard_input` serves
// --smb-password-file -.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                   std::istream& standard_input);

}  // namespace talvex::cli
