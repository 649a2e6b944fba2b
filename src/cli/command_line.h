// The command line of talvex-build, turned into the record a build runs from. Nothing here
// touches the drive: every value is checked first, so bad input never half-runs a build.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "options/build_options.h"
#include "platform/process.h"

namespace talvex::cli {

// How talvex-build ends (help, version and a dry run count as built).
using ExitStatus = platform::ExitStatus;

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
