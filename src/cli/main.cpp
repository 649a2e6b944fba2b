// talvex-build: prepares a drive from the command line, with the same build and report as the
// window. Everything but setting up the process lives in RunCommand.
#include <atomic>
#include <iostream>

#include "cli/run_command.h"
#include "platform/console.h"
#include "platform/file_system.h"

int main(int argc, char** argv) {
  const talvex::platform::ConsoleStreams streams;
  // Ctrl+C ends a build cleanly instead of leaving a file half copied and nothing flushed.
  static std::atomic<bool> stop{false};
  talvex::cli::Console console{std::cin,  std::cout,
                               std::cerr, streams.err_is_terminal(),
                               &stop,     [] { talvex::platform::StopOnInterrupt(stop); }};
  const talvex::cli::ExitStatus status =
      talvex::cli::RunCommand(talvex::platform::CommandLineArguments(argc, argv), console,
                              talvex::platform::NativeFileSystem());
  std::cout.flush();
  return static_cast<int>(status);
}
