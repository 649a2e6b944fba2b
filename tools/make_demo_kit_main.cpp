// talvex-make-demo-kit DIR [--realistic]: writes the demo kit into DIR.
#include <cstdio>
#include <string>
#include <string_view>

#include "demo_kit.h"

namespace {

int Usage() {
  std::fputs(
      "usage: talvex-make-demo-kit DIR [--realistic]\n"
      "Writes a kit folder with a placeholder file at every path a build copies from.\n"
      "  --realistic  realistic file sizes (tens of MB in all) for benchmarks\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root;
  bool realistic = false;
  for (int index = 1; index < argc; ++index) {
    const std::string_view argument = argv[index];
    if (argument == "--realistic") {
      realistic = true;
    } else if (argument == "--help" || argument == "-h") {
      Usage();
      return 0;
    } else if (argument.starts_with("-") || !root.empty()) {
      return Usage();
    } else {
      root = argument;
    }
  }
  if (root.empty()) return Usage();

  talvex::tools::DemoKitSummary summary;
  const talvex::platform::FsStatus written =
      talvex::tools::WriteDemoKit(talvex::platform::NativeFileSystem(), root, realistic, &summary);
  if (!written) {
    std::fprintf(stderr, "talvex-make-demo-kit: %s: %s\n", written.path.c_str(),
                 written.message.c_str());
    return 1;
  }
  std::printf("Demo kit in %s: %s files, %.1f MB\n", root.c_str(),
              std::to_string(summary.files).c_str(),
              static_cast<double>(summary.bytes) / (1024.0 * 1024.0));
  return 0;
}
