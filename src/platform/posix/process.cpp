// The running process and the desktop, on POSIX.
#include "platform/process.h"
#include "platform/paths.h"
#include "platform/temporary_files.h"

#include <signal.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <string>

extern char** environ;

namespace talvex::platform {
std::string ExecutableFolder() {
  char* real = ::realpath("/proc/self/exe", nullptr);
  if (real != nullptr) {
    std::string path(real);
    std::free(real);
    return ParentFolder(path);
  }
  // Without /proc the working folder is the best guess left.
  return CurrentFolder();
}

std::string CurrentFolder() {
  char* working = ::getcwd(nullptr, 0);
  if (working == nullptr) return {};
  std::string folder(working);
  std::free(working);
  return folder;
}

std::string DecimalSeparator() {
  const std::lconv* conventions = std::localeconv();
  if (conventions == nullptr || conventions->decimal_point == nullptr ||
      conventions->decimal_point[0] == '\0') {
    return ".";
  }
  return conventions->decimal_point;
}

bool StartProgram(const std::string& command_line, int /*show: no window styles here*/) {
  // The shell starts the program in the background and ends at once, so the program is
  // nobody's child that must be waited for and never lingers as a zombie.
  const char* argv[] = {"sh", "-c", "eval \"$1\" &", "sh", command_line.c_str(), nullptr};
  pid_t shell = 0;
  if (::posix_spawnp(&shell, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
      0) {
    return false;
  }
  int status = 0;
  while (::waitpid(shell, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

unsigned long CurrentProcessId() {
  return static_cast<unsigned long>(::getpid());
}

bool ProcessIsRunning(unsigned long id) {
  // Signal 0 only asks: no such process is the one answer that says it ended.
  return ::kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
}

}  // namespace talvex::platform
