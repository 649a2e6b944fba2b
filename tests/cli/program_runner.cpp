#include "program_runner.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace talvex::testing {
namespace {

#ifdef _WIN32

std::filesystem::path U8(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// One argument quoted so that the C runtime's parser gives it back unchanged: backslashes are
// literal except before a quote, where they are doubled.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') backslashes = backslashes * 2 + 1;
    quoted.append(backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

HANDLE Inheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(U8(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int Run(const std::string& program, const std::vector<std::string>& arguments,
        const std::string& in, const std::string& out, const std::string& err,
        const std::string& folder) {
  std::wstring command_line = Quoted(U8(program).wstring());
  for (const std::string& argument : arguments)
    command_line += L" " + Quoted(U8(argument).wstring());
  HANDLE input = Inheritable(in, GENERIC_READ, OPEN_EXISTING);
  HANDLE output = Inheritable(out, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE error = Inheritable(err, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION process{};
  const std::wstring current = U8(folder).wstring();
  const BOOL started =
      ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       folder.empty() ? nullptr : current.c_str(), &startup, &process);
  ::CloseHandle(input);
  ::CloseHandle(output);
  ::CloseHandle(error);
  if (!started) {
    ADD_FAILURE() << "cannot start " << program << ": error " << ::GetLastError();
    return -1;
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

#else

int Run(const std::string& program, const std::vector<std::string>& arguments,
        const std::string& in, const std::string& out, const std::string& err,
        const std::string& folder) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program << ": error " << spawned;
    return -1;
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& input, const std::string& folder) {
  TempDir streams;
  const std::string in = streams / "stdin";
  const std::string out = streams / "stdout";
  const std::string err = streams / "stderr";
  MakeFile(in, input);
  ProgramRun run;
  run.exit_code = Run(program, arguments, in, out, err, folder);
  run.out = ReadBytes(out);
  run.err = ReadBytes(err);
  return run;
}

std::string ProgramInBuildTree(std::string host_path) {
#ifdef _WIN32
  if (host_path.starts_with('/')) {
    for (char& c : host_path) {
      if (c == '/') c = '\\';
    }
    host_path = "Z:" + host_path;
  }
#endif
  return host_path;
}

std::vector<std::string> OutputLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace talvex::testing
