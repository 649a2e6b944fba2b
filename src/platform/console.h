// What a command-line program needs of its process: its arguments as the user typed them, and
// standard streams that carry UTF-8 bytes exactly as written.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace talvex::platform {

// The arguments after the program's name, UTF-8. On Windows they are read from the wide command
// line, so that any character the user typed survives whatever the ANSI code page is.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Sets the standard streams up for the program's lifetime: UTF-8 bytes with LF line breaks,
// untranslated; on POSIX the user's locale for numbers and system messages. What it changes in
// the console, which outlives the program, is given back when the object goes, so one object in
// main() restores it on every way out.
class ConsoleStreams {
 public:
  ConsoleStreams();
  ~ConsoleStreams();
  ConsoleStreams(const ConsoleStreams&) = delete;
  ConsoleStreams& operator=(const ConsoleStreams&) = delete;

  // Whether standard error is a terminal, where a person may watch progress.
  bool err_is_terminal() const { return err_is_terminal_; }

 private:
  unsigned saved_output_code_page_ = 0;  // 0: nothing to give back
  bool err_is_terminal_ = false;
};

// From now on Ctrl+C (and, on POSIX, SIGTERM; on Windows closing the console) sets `stop`
// instead of killing the program, so a build in hand can end cleanly: the file being copied is
// finished and what was written is flushed. `stop` must outlive the program's main().
void StopOnInterrupt(std::atomic<bool>& stop);

}  // namespace talvex::platform
