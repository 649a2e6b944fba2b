#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/build_plan.h"
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

// Writes down what the session tells its observer, in order.
class Recorder final : public BuildObserver {
 public:
  void OnPhase(BuildPhase phase) override {
    events.push_back(phase == BuildPhase::kSteps ? "steps" : "measuring");
  }
  void OnStep(std::size_t index, std::size_t total, const BuildStep&) override {
    events.push_back("step " + std::to_string(index + 1) + "/" + std::to_string(total));
  }
  void Yield() override {
    if (events.empty() || events.back() != "yield") events.push_back("yield");
  }
  std::vector<std::string> events;
};

TEST(SessionTargetTest, ADriveEntryGivesTheDriveAndTheLetterTheReportNames) {
  const Target target = TargetOfDriveEntry("e: [FLASH]");
  EXPECT_EQ(target.root, "e:");
  EXPECT_EQ(target.name, "e");
  const Target folder = TargetOfFolder("/media/usb");
  EXPECT_EQ(folder.root, "/media/usb");
  EXPECT_EQ(folder.name, "/media/usb");
}

TEST(SessionTest, TellsThePhasesAndStepsInOrderAndMakesTheReport) {
  KitDir kit;
  TempDir drive;
  const BuildOptions options = NoShares();
  Recorder recorder;
  const SessionResult result = RunSession(
      NativeFileSystem(), {kit.path(), TargetOfFolder(drive.path()), options, "."}, &recorder);

  ASSERT_FALSE(result.build.refused) << result.build.refusal;
  const std::size_t steps = PlanBuild({kit.path(), drive.path(), options}).size();
  ASSERT_EQ(recorder.events.size(), steps + 3);
  EXPECT_EQ(recorder.events.front(), "steps");
  EXPECT_EQ(recorder.events[1], "step 1/" + std::to_string(steps));
  EXPECT_EQ(recorder.events[steps], "step " + std::to_string(steps) + "/" + std::to_string(steps));
  EXPECT_EQ(recorder.events[steps + 1], "measuring");
  EXPECT_EQ(recorder.events.back(), "yield") << "the skeleton's entries are measured";
  EXPECT_EQ(result.build.steps_run, steps);

  // The kit holds one core file, so every other one fails to copy, each in a step of its own;
  // the report says so, out of the plan's steps, and names the target as the session was given.
  EXPECT_EQ(result.report.kind, ReportKind::kBuiltWithFailures);
  ASSERT_GE(result.report.lines.size(), 4u);
  EXPECT_EQ(result.report.lines[0], "Собранно на диск \"" + drive.path() + "\"");
  EXPECT_EQ(result.report.lines[3],
            "Не выполнено шагов: " + std::to_string(result.build.failures.size()) + " из " +
                std::to_string(steps));
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
  EXPECT_TRUE(recorder.events.empty());
  EXPECT_TRUE(fs.JournalWithout(kKitTokenPrefix).empty());
  EXPECT_EQ(testing::ReadBytes(root / "Talvex/rcTVX"), "master");
}

TEST(SessionTest, ADryRunGivesTheRefusalOrThePlanAndTouchesNothing) {
  TempDir root;
  testing::MakeFile(root / "kit/Talvex/rcTVX", "master");
  const BuildOptions options = NoShares();
  platform::FaultInjectingFileSystem fs(NativeFileSystem());

  const SessionPlan refused = PlanSession(fs, {root.path(), TargetOfFolder(root.path()), options});
  EXPECT_TRUE(refused.refusal.has_value());
  EXPECT_TRUE(refused.steps.empty());

  const SessionPlan plan = PlanSession(fs, {root / "kit", TargetOfFolder(root.path()), options});
  EXPECT_FALSE(plan.refusal.has_value());
  const BuildPlan expected = PlanBuild({root / "kit", root.path(), options});
  ASSERT_EQ(plan.steps.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(plan.steps[i].kind, expected[i].kind);
    EXPECT_EQ(plan.steps[i].target, expected[i].target);
  }
  EXPECT_TRUE(fs.journal().empty());
}

}  // namespace
}  // namespace talvex::build
