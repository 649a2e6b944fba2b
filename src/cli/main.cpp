// talvex-build: prepares a drive from the command line, with the same build and report as the
// window. Everything but setting up the process lives in RunCommand.
#include <iostream>

#include "cli/run_command.h"
#include "platform/console.h"
#include "platform/file_system.h"

int main(int argc, char** argv) {
  const talvex::platform::ConsoleStreams streams;
  talvex::cli::Console console{std::cin, std::cout, std::cerr, streams.err_is_terminal()};
  const int status = talvex::cli::RunCommand(talvex::platform::CommandLineArguments(argc, argv),
                                             console, talvex::platform::NativeFileSystem());
  std::cout.flush();
  return status;
}
