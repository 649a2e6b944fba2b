#include "platform/console.h"

#include <unistd.h>

#include <clocale>

namespace talvex::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  if (argc < 1) return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

ConsoleStreams::ConsoleStreams() {
  // The user's locale decides the report's decimal separator and the language of system
  // messages.
  std::setlocale(LC_ALL, "");
  err_is_terminal_ = ::isatty(STDERR_FILENO) != 0;
}

ConsoleStreams::~ConsoleStreams() = default;

}  // namespace talvex::platform
