#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/guard.h"
#include "engine/session.h"
#include "options/build_options.h"
#include "platform/file_system.h"
#include "support/fault_injecting_file_system.h"
#include "support/test_support.h"

namespace talvex::build {
namespace {

using options::BuildOptions;
using options::CheckState;
using platform::NativeFileSystem;
using testing::KitDir;
using testing::TempDir;

BuildOptions NoShares() {
  BuildOptions options;
  options.ChNfs = CheckState::kUnchecked;
  options.Chsmb = CheckState::kUnchecked;
  return options;
}

// Writes down the stages the session tells its observer, in order.
class Recorder final : public BuildObserver {
 public:
  void OnProgress(const BuildProgress& progress) override {
    if (stages.empty() || stages.back() != progress.stage) stages.push_back(progress.stage);
    last = progress;
  }
  std::vector<BuildStage> stages;
  BuildProgress last;
};

TEST(SessionTargetTest, ADriveEntryGivesTheDriveAndTheLetterTheReportNames) {
  const Target target = TargetOfDriveEntry("e: [FLASH]");
  EXPECT_EQ(target.root, "e:");
  EXPECT_EQ(target.name, "e");
  const Target folder = TargetOfFolder("/media/usb");
  EXPECT_EQ(folder.root, "/media/usb");
  EXPECT_EQ(folder.name, "/media/usb");
}

TEST(SessionTest, TellsTheStagesInOrderAndMakesTheReport) {
  KitDir kit;
  TempDir drive;
  const BuildOptions options = NoShares();
  Recorder recorder;
  const SessionResult result = RunSession(
      NativeFileSystem(), {kit.path(), TargetOfFolder(drive.path()), options, "."}, &recorder);

  ASSERT_FALSE(result.build.refused) << result.build.refusal;
  EXPECT_EQ(recorder.stages.front(), BuildStage::kComparing);
  EXPECT_EQ(recorder.stages.back(), BuildStage::kMeasuring);
  EXPECT_EQ(recorder.last.steps, result.build.steps_total);

  // The kit holds one core file, so every other one fails to copy, each an item of its own; the
  // report says so, out of the plan's items, and names the target as the session was given.
  EXPECT_EQ(result.report.kind, ReportKind::kBuiltWithFailures);
  ASSERT_GE(result.report.lines.size(), 4u);
  EXPECT_EQ(result.report.lines[0], "Собранно на диск \"" + drive.path() + "\"");
  EXPECT_EQ(result.report.lines[3],
            "Не выполнено шагов: " + std::to_string(result.build.failures.size()) + " из " +
                std::to_string(result.build.steps_total));
  EXPECT_EQ(result.report.failure_lines.size(), result.build.failures.size());
}

TEST(SessionTest, AReportOfADriveLetterNamesTheLetterAndYesOpensTheKitsPvrSettings) {
  KitDir kit;
  BuildOptions options = NoShares();
  options.pvr = CheckState::kChecked;
  TempDir drive;
  const SessionResult built =
      RunSession(NativeFileSystem(), {kit.path(), Target{drive.path(), "e"}, options, ","});
  EXPECT_EQ(built.report.lines.at(0), "Собранно на диск \"e\"");
  EXPECT_EQ(("notepad.exe " + built.report.offered_file).rfind("notepad.exe " + kit.path(), 0), 0u);

  // A drive that does not exist: nothing is built, and the report says only that, once.
  platform::FaultInjectingFileSystem fs(NativeFileSystem());
  const SessionResult result =
      RunSession(fs, {kit.path(), TargetOfDriveEntry("q: [NONE]"), options, ","});
  ASSERT_FALSE(result.build.refused);
  ASSERT_EQ(result.report.lines.size(), 1u);
  EXPECT_EQ(result.report.lines[0].rfind("Диск \"q:\" недоступен: ", 0), 0u)
      << result.report.lines[0];
  EXPECT_EQ(result.report.title, "Сборка не выполнена");
  EXPECT_EQ(result.report.offered_file, "") << "nothing was built to look at";
}

TEST(SessionTest, ARefusedSessionTouchesNothingAndHasNoReport) {
  TempDir root;
  testing::MakeFile(root / "Talvex/rcTVX", "master");
  const BuildOptions options = NoShares();
  platform::FaultInjectingFileSystem fs(NativeFileSystem());
  Recorder recorder;
  const SessionResult result =
      RunSession(fs, {root.path(), TargetOfFolder(root.path()), options}, &recorder);
  EXPECT_TRUE(result.build.refused);
  EXPECT_FALSE(result.build.refusal.empty());
  EXPECT_TRUE(result.report.lines.empty());
  EXPECT_TRUE(recorder.stages.empty());
  EXPECT_TRUE(fs.JournalWithout(kKitTokenPrefix).empty());
  EXPECT_EQ(testing::ReadBytes(root / "Talvex/rcTVX"), "master");
}

TEST(SessionTest, ADryRunGivesTheRefusalOrWhatTheBuildWouldDoAndTouchesNothing) {
  TempDir root;
  testing::MakeFile(root / "kit/Talvex/rcTVX", "master");
  testing::MakeFile(root / "Talvex/rcTVX", "master");  // as a build left it
  testing::MakeFile(root / "Talvex/stale.txt", "from an older kit");
  const BuildOptions options = NoShares();
  platform::FaultInjectingFileSystem fs(NativeFileSystem());

  const SessionPlan refused = PlanSession(fs, {root.path(), TargetOfFolder(root.path()), options});
  EXPECT_TRUE(refused.refusal.has_value());
  EXPECT_TRUE(refused.lines.empty());

  SessionRequest request{root / "kit", TargetOfFolder(root.path()), options};
  const SessionPlan plan = PlanSession(fs, request);
  EXPECT_FALSE(plan.refusal.has_value());
  const auto has = [&](const SessionPlan& p, const std::string& line) {
    return std::find(p.lines.begin(), p.lines.end(), line) != p.lines.end();
  };
  EXPECT_TRUE(has(plan, "keep " + (root / "Talvex")));
  EXPECT_TRUE(has(plan, "keep " + (root / "Talvex/rcTVX")));
  EXPECT_TRUE(has(plan, "mkdir " + (root / "Talvex/etc")));
  EXPECT_TRUE(has(plan, "remove " + (root / "Talvex/stale.txt")));
  request.fresh = true;
  const SessionPlan fresh = PlanSession(fs, request);
  EXPECT_EQ(fresh.lines.front(), "remove " + (root / "Talvex"));
  EXPECT_TRUE(has(fresh, "copy " + (root / "kit/Talvex/rcTVX") + " -> " + (root / "Talvex/rcTVX")));
  EXPECT_TRUE(fs.journal().empty());
}

}  // namespace
}  // namespace talvex::build
