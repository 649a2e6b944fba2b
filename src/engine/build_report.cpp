#include "engine/build_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

#include "engine/failure_words.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

constexpr double kBytesPerMegabyte = 1048576.0;
constexpr int kSignificantDigits = 15;
constexpr std::size_t kSizeTextLength = 4;
constexpr char kLineBreak = '\r';

// `value` (finite, not negative) as a plain decimal of at most 15 significant digits, rounded
// at the fifteenth as any conversion to text is, and without trailing zeros. The scientific
// form gives the digits and the exponent without any locale; the plain text is laid out here.
std::string PlainDecimal(double value, std::string_view separator) {
  char buffer[64];
  const std::to_chars_result converted = std::to_chars(
      buffer, buffer + sizeof buffer, value, std::chars_format::scientific, kSignificantDigits - 1);
  const std::string_view scientific(buffer, static_cast<std::size_t>(converted.ptr - buffer));
  const std::size_t e = scientific.find('e');
  std::string digits;
  for (char c : scientific.substr(0, e)) {
    if (c != '.') digits += c;
  }
  const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());

  std::string integer_part;
  std::string fraction;
  if (exponent < 0) {
    integer_part = "0";
    fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    const std::size_t integer_digits = static_cast<std::size_t>(exponent) + 1;
    if (integer_digits >= digits.size()) {
      integer_part = digits + std::string(integer_digits - digits.size(), '0');
    } else {
      integer_part = digits.substr(0, integer_digits);
      fraction = digits.substr(integer_digits);
    }
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (fraction.empty()) return integer_part;
  return integer_part + std::string(separator) + fraction;
}

std::string FailureLine(const StepFailure& failure) {
  return failure.action + " \"" + failure.path +
         "\": " + FailureReasonText(failure.reason, failure.code, failure.message);
}

std::string Joined(const std::vector<std::string>& lines, char line_break) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += line_break;
  }
  return text;
}

}  // namespace

std::string StepsNotDoneLine(const std::vector<StepFailure>& failures,
                             const ReportInterruption& interruption) {
  // A folder copy may fail for many of its files: a step counts once however often it failed.
  std::set<std::size_t> failed_steps;
  for (const StepFailure& failure : failures) failed_steps.insert(failure.step);
  std::string line =
      "Не выполнено шагов: " + std::to_string(failed_steps.size() + interruption.steps_not_done);
  if (interruption.steps_total > 0) line += " из " + std::to_string(interruption.steps_total);
  return line;
}

std::string SizeText(double bytes, std::string_view decimal_separator) {
  // SizeOf never gives anything else; a caller's odd value must not yield a misleading text.
  if (!std::isfinite(bytes) || bytes <= 0) return "0";
  const std::string text = PlainDecimal(bytes / kBytesPerMegabyte, decimal_separator);
  const std::size_t separator_at = text.find(decimal_separator);
  if (separator_at == std::string::npos || separator_at >= kSizeTextLength) {
    return text.substr(0, separator_at);
  }
  // Four characters: the integer digits, the separator (one character, however many bytes the
  // locale's takes) and as many fraction digits as fit.
  const std::size_t fraction_digits = kSizeTextLength - separator_at - 1;
  return text.substr(0, separator_at + decimal_separator.size() + fraction_digits);
}

ReportParts MakeReportParts(const ReportInput& input, const ReportInterruption& interruption) {
  ReportParts parts;
  if (!interruption.drive_unavailable.empty()) {
    // Nothing was done: there is no size to give, only why.
    parts.title = std::string(kReportTitleNotBuilt);
    parts.kind = ReportKind::kBuiltWithFailures;
    parts.lines.push_back(interruption.drive_unavailable);
    return parts;
  }
  static const std::vector<StepFailure> kNoFailures;
  const std::vector<StepFailure>& failures =
      input.failures != nullptr ? *input.failures : kNoFailures;
  const bool failed = !failures.empty() || !interruption.line.empty();
  parts.title = std::string(interruption.stopped ? kReportTitleStopped
                            : failed             ? kReportTitleWithFailures
                                                 : kReportTitle);
  parts.kind = failed ? ReportKind::kBuiltWithFailures : ReportKind::kBuilt;
  parts.lines.push_back("Собранно на диск \"" + input.drive_letter + '"');
  parts.lines.push_back("Папка \"Talvex\"");
  parts.lines.push_back("Размер сборки " + SizeText(input.size_bytes, input.decimal_separator) +
                        " Мб");
  if (!interruption.in_place.empty()) parts.lines.push_back(interruption.in_place);
  if (failed) {
    parts.lines.push_back(StepsNotDoneLine(failures, interruption));
    // Why the build ended early comes before the failures: it explains them.
    if (!interruption.line.empty()) parts.lines.push_back(interruption.line);
    for (const StepFailure& failure : failures) parts.failure_lines.push_back(FailureLine(failure));
  }
  if (input.options != nullptr && options::IsTicked(input.options->pvr)) {
    parts.offered_file = platform::JoinPayloadPath(input.source_root, kPvrSettingsFile);
  }
  return parts;
}

BuildReport WindowReport(const ReportParts& parts) {
  std::vector<std::string> lines = parts.lines;
  const std::size_t named = std::min(parts.failure_lines.size(), kReportedFailuresMax);
  lines.insert(lines.end(), parts.failure_lines.begin(),
               parts.failure_lines.begin() + static_cast<std::ptrdiff_t>(named));
  if (parts.failure_lines.size() > named) {
    lines.push_back("\u2026 и ещё " + std::to_string(parts.failure_lines.size() - named));
  }
  BuildReport report;
  report.title = parts.title;
  report.icon =
      parts.kind == ReportKind::kBuiltWithFailures ? ReportIcon::kWarning : ReportIcon::kQuestion;
  report.message = Joined(lines, kLineBreak) + kLineBreak + std::string(kClosingQuestion);
  report.offered_file = parts.offered_file;
  return report;
}

std::string MessageWithLineFeeds(std::string_view message) {
  std::string text(message);
  for (char& c : text) {
    if (c == kLineBreak) c = '\n';
  }
  return text;
}

std::string ConsoleReportText(const ReportParts& parts) {
  return Joined(parts.lines, '\n') + Joined(parts.failure_lines, '\n');
}

ReportOutcome OutcomeOf(const BuildReport& report, ReportAnswer answer) {
  if (answer == ReportAnswer::kNo) return {};
  return ReportOutcome{report.offered_file, true};
}

}  // namespace talvex::build
