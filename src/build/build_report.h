// The closing report of a build, independent of any window toolkit: what the message box shows
// and what each answer leads to. The front end shows it and carries the answer out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "build/build_plan.h"
#include "options/build_options.h"

namespace talvex::build {

enum class ReportIcon { kQuestion, kWarning };

struct BuildReport {
  std::string title;
  std::string message;  // UTF-8; CR (0x0D) alone is the line break
  ReportIcon icon = ReportIcon::kQuestion;
  // The buttons are always Yes and No, Yes the default. No leaves everything as it was. Yes
  // starts `editor_command_line` when it is not empty, then closes the program.
  std::string editor_command_line;
};

struct ReportInput {
  double size_bytes = 0;     // of the payload tree
  std::string drive_letter;  // as the drive list gives it ("e"); elsewhere the target
  std::string source_root;   // the kit folder, for the PVR settings file
  const options::BuildOptions* options = nullptr;
  const std::vector<StepFailure>* failures = nullptr;
  std::string decimal_separator = ",";  // the user's locale's
};

// The size in megabytes as the report writes it (see build_report.cpp for the cut).
std::string SizeText(double bytes, std::string_view decimal_separator);

BuildReport MakeBuildReport(const ReportInput& input);

// The report's message with LF line breaks, for a console.
std::string MessageWithLineFeeds(std::string_view message);

}  // namespace talvex::build
