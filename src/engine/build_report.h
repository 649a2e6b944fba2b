// The closing report of a build, independent of any window toolkit: what the message box shows
// and what each answer leads to. The front end shows it and carries the answer out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_run.h"
#include "options/build_options.h"

namespace talvex::build {

// What kind of report it is; the window picks its icon by it.
enum class ReportKind { kBuilt, kBuiltWithFailures };

// The report as parts, for every front end to lay out in its own way: the window adds the
// closing question and shows a message box, a console prints the lines.
struct ReportParts {
  std::string title;
  std::vector<std::string> lines;  // UTF-8, none holding a line break
  // One line per failure, every one of them. A console prints them all after `lines`; a window
  // shows the first few and says how many more (WindowReport).
  std::vector<std::string> failure_lines;
  ReportKind kind = ReportKind::kBuilt;
  // What Yes offers besides closing the program: to open this file (when not empty), the kit's
  // PVR settings file. How it is opened is the front end's business.
  std::string offered_file;
};

enum class ReportIcon { kQuestion, kWarning };

// The report as the window's message box shows it.
struct BuildReport {
  std::string title;
  std::string message;  // UTF-8; CR (0x0D) alone is the line break
  ReportIcon icon = ReportIcon::kQuestion;
  // The buttons are always Yes and No, Yes the default. No leaves everything as it was. Yes
  // opens `offered_file` when it is not empty, then closes the program.
  std::string offered_file;
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
inline constexpr std::string_view kReportTitleStopped = "Сборка остановлена";
inline constexpr std::string_view kReportTitleNotBuilt = "Сборка не выполнена";
inline constexpr std::string_view kClosingQuestion = "Закрыть программу конфигуратор Talvex-Auto?";

// A window names at most this many failures one by one; the rest it only counts.
inline constexpr std::size_t kReportedFailuresMax = 10;

// The PVR settings file, opened from the kit (not from the drive) when Yes is pressed.
inline constexpr std::string_view kPvrSettingsFile = "\\PVR\\pvr.ini";

// Megabytes as the report writes them: a plain decimal number (never exponent form) of at most
// 15 significant digits without trailing zeros, cut - never rounded - to its first four
// characters, except that the digits of the integer part are never cut (12345.6 MB stays
// "12345"). So 123.45 MB gives "123," and 100 bytes give "0,00".
std::string SizeText(double bytes, std::string_view decimal_separator);

// How far the build came: its steps, those it skipped when it ended early and the line that says
// why, whether the user stopped it, and why the drive could not be opened at all (then nothing
// was done and the report is that one line).
struct ReportInterruption {
  std::string line;
  std::size_t steps_not_done = 0;
  bool stopped = false;
  std::size_t steps_total = 0;
  std::string drive_unavailable;
  std::string in_place = {};  // the drive had no room to keep the old payload while writing
};

// "Не выполнено шагов: 3 из 120": the steps that failed or were skipped, each counted once.
std::string StepsNotDoneLine(const std::vector<StepFailure>& failures,
                             const ReportInterruption& interruption);

ReportParts MakeReportParts(const ReportInput& input, const ReportInterruption& interruption = {});

// The message box of the window: the lines, the first failures (and how many more), an empty
// line and the closing question, with CR line breaks.
BuildReport WindowReport(const ReportParts& parts);

// The report's message with LF line breaks, for a console.
std::string MessageWithLineFeeds(std::string_view message);

// What a console prints of the report: its lines and every failure (a console asks nothing),
// each ending in LF.
std::string ConsoleReportText(const ReportParts& parts);

enum class ReportAnswer { kYes, kNo };

// What the front end does after the user answered.
struct ReportOutcome {
  std::string open_file;  // empty: open nothing
  bool close_program = false;
};

ReportOutcome OutcomeOf(const BuildReport& report, ReportAnswer answer);

}  // namespace talvex::build
