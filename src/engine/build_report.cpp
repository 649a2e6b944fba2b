#include "engine/build_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

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
  std::string line = failure.action + " \"" + failure.path + "\": ";
  line += failure.message.empty() ? "ошибка " + std::to_string(failure.code) : failure.message;
  return line;
}

std::string FailureLines(const std::vector<StepFailure>& failures) {
  std::string lines = "Не выполнено шагов: " + std::to_string(failures.size());
  const std::size_t named = std::min(failures.size(), kReportedFailuresMax);
  for (std::size_t i = 0; i < named; ++i) {
    lines += kLineBreak;
    lines += FailureLine(failures[i]);
  }
  if (failures.size() > named) {
    lines += kLineBreak;
    lines += "\u2026 и ещё " + std::to_string(failures.size() - named);
  }
  return lines;
}

}  // namespace

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

BuildReport MakeBuildReport(const ReportInput& input) {
  const bool failed = input.failures != nullptr && !input.failures->empty();
  BuildReport report;
  report.title = std::string(failed ? kReportTitleWithFailures : kReportTitle);
  report.icon = failed ? ReportIcon::kWarning : ReportIcon::kQuestion;

  std::string& message = report.message;
  message += "Собранно на диск \"";
  message += input.drive_letter;
  message += '"';
  message += kLineBreak;
  message += "Папка \"Talvex\"";
  message += kLineBreak;
  message += "Размер сборки ";
  message += SizeText(input.size_bytes, input.decimal_separator);
  message += " Мб";
  message += kLineBreak;
  if (failed) {
    message += FailureLines(*input.failures);
    message += kLineBreak;
  }
  message += kLineBreak;
  message += kClosingQuestion;

  if (input.options != nullptr && options::IsTicked(input.options->pvr)) {
    report.editor_command_line =
        "notepad.exe " + platform::JoinPayloadPath(input.source_root, kPvrSettingsFile);
  }
  return report;
}

std::string MessageWithLineFeeds(std::string_view message) {
  std::string text(message);
  for (char& c : text) {
    if (c == kLineBreak) c = '\n';
  }
  return text;
}

std::string ConsoleReportText(const BuildReport& report) {
  std::string_view message = report.message;
  if (message.ends_with(kClosingQuestion)) message.remove_suffix(kClosingQuestion.size());
  // The empty line that set the question apart goes with it.
  while (message.ends_with(kLineBreak)) message.remove_suffix(1);
  return MessageWithLineFeeds(message) + '\n';
}

ReportOutcome OutcomeOf(const BuildReport& report, ReportAnswer answer) {
  if (answer == ReportAnswer::kNo) return {};
  return ReportOutcome{report.editor_command_line, true};
}

}  // namespace talvex::build
