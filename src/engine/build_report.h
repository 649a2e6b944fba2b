// The closing report of a build, independent of any window toolkit: what the message box shows
// and what each answer leads to. The front end shows it and carries the answer out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_plan.h"
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

inline constexpr std::string_view kReportTitle = "Поздравляю, всё готово!";
inline constexpr std::string_view kReportTitleWithFailures = "Сборка завершена с ошибками";
inline constexpr std::string_view kClosingQuestion = "Закрыть программу конфигуратор Talvex-Auto?";

// The report names at most this many failed steps one by one; the rest are only counted.
inline constexpr std::size_t kReportedFailuresMax = 10;

// The PVR settings file, opened from the kit (not from the drive) when Yes is pressed.
inline constexpr std::string_view kPvrSettingsFile = "\\PVR\\pvr.ini";

// Megabytes as the report writes them: a plain decimal number (never exponent form) of at most
// 15 significant digits without trailing zeros, cut - never rounded - to its first four
// characters, except that the digits of the integer part are never cut (12345.6 MB stays
// "12345"). So 123.45 MB gives "123," and 100 bytes give "0,00".
std::string SizeText(double bytes, std::string_view decimal_separator);

BuildReport MakeBuildReport(const ReportInput& input);

// The report's message with LF line breaks, for a console.
std::string MessageWithLineFeeds(std::string_view message);

// What a console prints of the report: the message without the closing question (a console asks
// nothing), LF line breaks, ending in LF.
std::string ConsoleReportText(const BuildReport& report);

enum class ReportAnswer { kYes, kNo };

// What the front end does after the user answered.
struct ReportOutcome {
  std::string start_command_line;  // empty: start nothing
  bool close_program = false;
};

ReportOutcome OutcomeOf(const BuildReport& report, ReportAnswer answer);

}  // namespace talvex::build
