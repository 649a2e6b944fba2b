// Runs one build for the window and shows its report: the only place where the Qt window meets
// the build engine and the report.
#pragma once

#include <memory>
#include <string>

#include "options/build_options.h"
#include "platform/file_system.h"

class QWidget;

namespace talvex::build {
struct SessionResult;
}

namespace talvex::ui::qt {

struct BuildRequest {
  platform::FileSystem* file_system = nullptr;
  std::string source_root;  // the kit folder
  std::string target;       // the volume's mount point, which stands for the drive's root
  const options::BuildOptions* options = nullptr;
  std::string decimal_separator;
};

// What the window does while the build runs.
class BuildProgress {
 public:
  virtual ~BuildProgress() = default;
  // Before every step: the window repaints, taking no input.
  virtual void BetweenSteps() = 0;
  // Once per entry of the final measurement: the window takes the input that waits.
  virtual void WhileMeasuring() = 0;
};

class WindowBuild {
 public:
  WindowBuild();
  ~WindowBuild();
  WindowBuild(const WindowBuild&) = delete;
  WindowBuild& operator=(const WindowBuild&) = delete;

  // Runs every step of the build of `request`, reporting to `progress`.
  void Run(const BuildRequest& request, BuildProgress& progress);

  // Shows the report as a modal box over `window` and carries out the answer's side effects: on
  // Yes the PVR settings file opens in the desktop's editor when `pvr` is ticked. Returns whether
  // the program should close. A refused build shows why, and never closes.
  bool ShowReport(QWidget* window, const BuildRequest& request) const;

 private:
  std::unique_ptr<build::SessionResult> result_;
};

}  // namespace talvex::ui::qt
