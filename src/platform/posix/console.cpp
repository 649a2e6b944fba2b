#include "platform/console.h"

#include <signal.h>
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

namespace {
std::atomic<bool>* g_stop = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void AskToStop(int) {
  if (g_stop != nullptr) g_stop->store(true);
}
}  // namespace

void StopOnInterrupt(std::atomic<bool>& stop) {
  g_stop = &stop;
  struct sigaction action {};
  action.sa_handler = AskToStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // the build's system calls go on; it looks at the flag itself
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace talvex::platform
