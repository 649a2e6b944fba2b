#include "engine/build_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/paths.h"

namespace talvex::build {
namespace {

constexpr double kMegabyte = 1048576.0;

struct SizeRow {
  double megabytes;
  const char* comma;
  const char* point;
};

// Multiplying by a power of two is exact, so each row's bytes divide back to its megabytes.
TEST(SizeTextTest, CutsToFourCharactersWithEitherSeparator) {
  const SizeRow rows[] = {
      {12.3456, "12,3", "12.3"}, {99.99, "99,9", "99.9"}, {123.45, "123,", "123."},
      {1234.5, "1234", "1234"},  {7, "7", "7"},           {0, "0", "0"},
      {0.5, "0,5", "0.5"},       {1.25, "1,25", "1.25"},
  };
  for (const SizeRow& row : rows) {
    EXPECT_EQ(SizeText(row.megabytes * kMegabyte, ","), row.comma) << row.megabytes;
    EXPECT_EQ(SizeText(row.megabytes * kMegabyte, "."), row.point) << row.megabytes;
  }
}

TEST(SizeTextTest, NeverCutsDigitsOfTheIntegerPart) {
  EXPECT_EQ(SizeText(12345.6 * kMegabyte, ","), "12345");
  EXPECT_EQ(SizeText(12345.6 * kMegabyte, "."), "12345");
  EXPECT_EQ(SizeText(9007199254740992.0, ","), "8589934592");  // 2^53 bytes
}

TEST(SizeTextTest, NeverUsesExponentForm) {
  EXPECT_EQ(SizeText(100, ","), "0,00");  // 9.5367431640625E-05 MB
  EXPECT_EQ(SizeText(100, "."), "0.00");
  EXPECT_EQ(SizeText(1, ","), "0,00");
  EXPECT_EQ(SizeText(1e20 * kMegabyte, "."), "100000000000000000000");
}

TEST(SizeTextTest, RoundsAtTheFifteenthSignificantDigitButNeverAtTheCut) {
  // 9.9999999999999995 has 17 nines-and-fives; written with 15 digits it is 10.
  EXPECT_EQ(SizeText(9.9999999999999995 * kMegabyte, ","), "10");
  EXPECT_EQ(SizeText(1.99999 * kMegabyte, ","), "1,99");
}

TEST(SizeTextTest, KeepsAMultiByteSeparatorWhole) {
  const std::string momayyez = "\xD9\xAB";  // U+066B, the Arabic decimal separator
  EXPECT_EQ(SizeText(12.3456 * kMegabyte, momayyez), "12" + momayyez + "3");
}

options::BuildOptions WithPvr(options::CheckState pvr) {
  options::BuildOptions options;
  options.pvr = pvr;
  return options;
}

StepFailure Failure(int index) {
  return StepFailure{"Копирование файла",
                     "e:\\Talvex\\f" + std::to_string(index),
                     2,
                     "Не удается найти указанный файл.",
                     platform::FsReason::kSystem,
                     static_cast<std::size_t>(index)};
}

const char kQuestion[] = "Закрыть программу конфигуратор Talvex-Auto?";

TEST(BuildReportTest, SuccessIsExactlyTheCongratulation) {
  const options::BuildOptions options;
  const std::vector<StepFailure> none;
  const BuildReport report =
      WindowReport(MakeReportParts({12.3456 * kMegabyte, "e", "c:\\kit", &options, &none, ","}));
  EXPECT_EQ(report.title, "Поздравляю, всё готово!");
  EXPECT_EQ(report.icon, ReportIcon::kQuestion);
  EXPECT_EQ(report.message, std::string("Собранно на диск \"e\"\rПапка \"Talvex\"\r"
                                        "Размер сборки 12,3 Мб\r\r") +
                                kQuestion);
  EXPECT_EQ(report.message.find('\n'), std::string::npos);
  EXPECT_EQ(report.offered_file, "");
}

TEST(BuildReportTest, NoFailureListIsASuccessToo) {
  const options::BuildOptions options;
  const BuildReport report =
      WindowReport(MakeReportParts({0, "e", "c:\\kit", &options, nullptr, "."}));
  EXPECT_EQ(report.title, "Поздравляю, всё готово!");
  EXPECT_EQ(report.message, std::string("Собранно на диск \"e\"\rПапка \"Talvex\"\r"
                                        "Размер сборки 0 Мб\r\r") +
                                kQuestion);
}

TEST(BuildReportTest, OneFailureIsNamedAfterTheSizeLine) {
  const options::BuildOptions options;
  const std::vector<StepFailure> failures{Failure(1)};
  const BuildReport report =
      WindowReport(MakeReportParts({123.45 * kMegabyte, "f", "c:\\kit", &options, &failures, "."}));
  EXPECT_EQ(report.title, "Сборка завершена с ошибками");
  EXPECT_EQ(report.icon, ReportIcon::kWarning);
  EXPECT_EQ(report.message,
            std::string("Собранно на диск \"f\"\rПапка \"Talvex\"\rРазмер сборки 123. Мб\r"
                        "Не выполнено шагов: 1\r"
                        "Копирование файла \"e:\\Talvex\\f1\": Не удается найти указанный файл.\r"
                        "\r") +
                kQuestion);
}

TEST(BuildReportTest, TwelveFailuresNameTenAndCountTheRest) {
  const options::BuildOptions options;
  std::vector<StepFailure> failures;
  for (int i = 1; i <= 12; ++i) failures.push_back(Failure(i));
  failures[3] = StepFailure{"Создание папки", "e:\\Talvex\\etc", 21, "", {}, 4};
  const BuildReport report =
      WindowReport(MakeReportParts({7 * kMegabyte, "e", "c:\\kit", &options, &failures, ","}));

  std::string expected =
      "Собранно на диск \"e\"\rПапка \"Talvex\"\rРазмер сборки 7 Мб\r"
      "Не выполнено шагов: 12\r";
  for (int i = 1; i <= 10; ++i) {
    expected += i == 4 ? std::string("Создание папки \"e:\\Talvex\\etc\": ошибка 21")
                       : "Копирование файла \"e:\\Talvex\\f" + std::to_string(i) +
                             "\": Не удается найти указанный файл.";
    expected += '\r';
  }
  expected += "\u2026 и ещё 2\r\r";
  expected += kQuestion;
  EXPECT_EQ(report.message, expected);
  EXPECT_EQ(report.message.find("f11"), std::string::npos);
}

// However many of its files failed, and however the build ended, the steps that did not get done
// are counted once, each step once, out of the plan's.
TEST(BuildReportTest, StepsNotDoneAreCountedOnceOutOfThePlan) {
  const options::BuildOptions options;
  std::vector<StepFailure> failures{Failure(5), Failure(5), Failure(5), Failure(9)};
  failures[3].reason = platform::FsReason::kDiskFull;  // worded by the report, not the system
  const ReportInterruption stopped{"Сборка остановлена по вашей просьбе.", 100, true, 120, ""};
  const ReportParts parts =
      MakeReportParts({kMegabyte, "e", "c:\\kit", &options, &failures, ","}, stopped);
  EXPECT_EQ(parts.title, "Сборка остановлена");
  EXPECT_EQ(parts.lines,
            (std::vector<std::string>{"Собранно на диск \"e\"", "Папка \"Talvex\"",
                                      "Размер сборки 1 Мб", "Не выполнено шагов: 102 из 120",
                                      "Сборка остановлена по вашей просьбе."}));
  ASSERT_EQ(parts.failure_lines.size(), 4u);
  EXPECT_EQ(parts.failure_lines[3], "Копирование файла \"e:\\Talvex\\f9\": на диске нет места");
  const std::string all = ConsoleReportText(parts);
  std::size_t counts = 0;
  for (std::size_t at = all.find("шагов"); at != std::string::npos;
       at = all.find("шагов", at + 1)) {
    ++counts;
  }
  EXPECT_EQ(counts, 1u) << all;

  // A drive that could not be opened at all: one line saying so, and no size.
  const ReportInterruption unavailable{{}, 120, false, 120, "Диск \"e\" недоступен: ..."};
  const ReportParts none =
      MakeReportParts({0, "e", "c:\\kit", &options, nullptr, ","}, unavailable);
  EXPECT_EQ(none.title, "Сборка не выполнена");
  EXPECT_EQ(none.lines, std::vector<std::string>{"Диск \"e\" недоступен: ..."});
}

TEST(BuildReportTest, AConsoleNamesEveryFailureAWindowTheFirstTen) {
  const options::BuildOptions options;
  std::vector<StepFailure> failures;
  for (int i = 1; i <= 12; ++i) failures.push_back(Failure(i));
  const ReportParts parts = MakeReportParts({0, "e", "c:\\kit", &options, &failures, ","});
  const std::string console = ConsoleReportText(parts);
  EXPECT_NE(console.find("f11"), std::string::npos);
  EXPECT_NE(console.find("f12\": "), std::string::npos);
  EXPECT_EQ(console.find("\u2026"), std::string::npos);
  EXPECT_EQ(WindowReport(parts).message.find("f11"), std::string::npos);
}

TEST(BuildReportTest, ConsoleTextUsesLineFeedsOnly) {
  const options::BuildOptions options;
  const std::vector<StepFailure> failures{Failure(1), Failure(2)};
  const BuildReport report =
      WindowReport(MakeReportParts({0, "e", "c:\\kit", &options, &failures, ","}));
  const std::string console = MessageWithLineFeeds(report.message);
  EXPECT_EQ(console.find('\r'), std::string::npos);
  EXPECT_EQ(console.rfind("Собранно на диск \"e\"\nПапка \"Talvex\"\nРазмер", 0), 0u);
  EXPECT_NE(console.find("\n\nЗакрыть"), std::string::npos);
}

TEST(BuildReportTest, PartsHoldTheLinesWithoutTheQuestion) {
  const options::BuildOptions options;
  const std::vector<StepFailure> failures{Failure(1)};
  const ReportParts parts =
      MakeReportParts({3 * kMegabyte, "e", "c:\\kit", &options, &failures, ","});
  EXPECT_EQ(parts.title, "Сборка завершена с ошибками");
  EXPECT_EQ(parts.kind, ReportKind::kBuiltWithFailures);
  EXPECT_EQ(parts.lines, (std::vector<std::string>{"Собранно на диск \"e\"", "Папка \"Talvex\"",
                                                   "Размер сборки 3 Мб", "Не выполнено шагов: 1"}));
  EXPECT_EQ(parts.failure_lines,
            std::vector<std::string>{
                "Копирование файла \"e:\\Talvex\\f1\": Не удается найти указанный файл."});
  EXPECT_EQ(parts.offered_file, "");
}

TEST(BuildReportTest, ConsoleTextIsTheLinesEachEndedByALineFeed) {
  ReportParts parts;
  parts.lines = {"Собранно на диск \"/media/usb\"", "Папка \"Talvex\"", "Размер сборки 0 Мб"};
  // Nothing is cut off: a line that happens to read like the window's question stays.
  parts.lines.push_back(kQuestion);
  EXPECT_EQ(ConsoleReportText(parts), std::string("Собранно на диск \"/media/usb\"\n"
                                                  "Папка \"Talvex\"\nРазмер сборки 0 Мб\n") +
                                          kQuestion + "\n");
}

TEST(BuildReportTest, TheWindowAddsAnEmptyLineAndTheQuestionToTheParts) {
  ReportParts parts;
  parts.title = "T";
  parts.lines = {"one", "two"};
  parts.offered_file = "x";
  const BuildReport report = WindowReport(parts);
  EXPECT_EQ(report.title, "T");
  EXPECT_EQ(report.icon, ReportIcon::kQuestion);
  EXPECT_EQ(report.message, std::string("one\rtwo\r\r") + kQuestion);
  EXPECT_EQ(report.offered_file, "x");
  parts.kind = ReportKind::kBuiltWithFailures;
  EXPECT_EQ(WindowReport(parts).icon, ReportIcon::kWarning);
}

TEST(BuildReportTest, YesWithPvrTickedOpensTheKitsSettingsFileAndCloses) {
  const std::string kit = platform::kPathSeparator == '\\' ? "C:\\My kit" : "/home/me/My kit";
  const std::string sep(1, platform::kPathSeparator);
  const options::BuildOptions options = WithPvr(options::CheckState::kChecked);
  const BuildReport report = WindowReport(MakeReportParts({0, "e", kit, &options, nullptr, ","}));
  const ReportOutcome yes = OutcomeOf(report, ReportAnswer::kYes);
  // Composed as the Windows window starts it.
  EXPECT_EQ("notepad.exe " + yes.open_file, "notepad.exe " + kit + sep + "PVR" + sep + "pvr.ini");
  EXPECT_TRUE(yes.close_program);

  const ReportOutcome no = OutcomeOf(report, ReportAnswer::kNo);
  EXPECT_EQ(no.open_file, "");
  EXPECT_FALSE(no.close_program);
}

// The report names the file Yes offers, nothing of how it is opened: each front end decides that
// (Notepad on Windows, the desktop's application elsewhere).
TEST(BuildReportTest, TheOfferedFileIsTheKitsPvrSettingsPathAlone) {
  const std::string kit = platform::kPathSeparator == '\\' ? "C:\\My kit" : "/home/me/My kit";
  const std::string sep(1, platform::kPathSeparator);
  const struct {
    options::CheckState pvr;
    std::string offered;
  } cases[] = {{options::CheckState::kChecked, kit + sep + "PVR" + sep + "pvr.ini"},
               {options::CheckState::kUnchecked, ""},
               {options::CheckState::kGrayed, ""}};
  for (const auto& each : cases) {
    const options::BuildOptions options = WithPvr(each.pvr);
    const ReportParts parts = MakeReportParts({0, "e", kit, &options, nullptr, ","});
    EXPECT_EQ(parts.offered_file, each.offered);
    EXPECT_EQ(WindowReport(parts).offered_file, each.offered);
  }
}

TEST(BuildReportTest, YesWithPvrNotTickedOnlyCloses) {
  for (options::CheckState pvr : {options::CheckState::kUnchecked, options::CheckState::kGrayed}) {
    const options::BuildOptions options = WithPvr(pvr);
    const BuildReport report =
        WindowReport(MakeReportParts({0, "e", "c:\\kit", &options, nullptr, ","}));
    const ReportOutcome yes = OutcomeOf(report, ReportAnswer::kYes);
    EXPECT_EQ(yes.open_file, "");
    EXPECT_TRUE(yes.close_program);
    EXPECT_FALSE(OutcomeOf(report, ReportAnswer::kNo).close_program);
  }
}

}  // namespace
}  // namespace talvex::build
