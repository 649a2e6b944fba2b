// A kit folder made by the demo kit generator and an empty folder standing for the drive, with
// short ways to run a build between them and to look at what it left.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "demo_kit.h"
#include "engine/end_state.h"
#include "engine/run_build.h"
#include "engine/step_actions.h"
#include "options/build_options.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "support/fault_injecting_file_system.h"
#include "support/test_support.h"

namespace talvex::build::testing {

// What the payload tests name most, by their short names.
using options::BuildOptions;
using options::CheckState;
using platform::FaultInjectingFileSystem;
using platform::FsOperation;
using platform::kDeviceGone;
using talvex::testing::IsDirectory;
using talvex::testing::Join;
using talvex::testing::MakeDirs;
using talvex::testing::MakeFile;
using talvex::testing::PathExists;
using talvex::testing::ReadBytes;
using talvex::testing::TempDir;
using talvex::testing::TreeListing;

// A std::filesystem path from a UTF-8 text.
inline std::filesystem::path U8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// A record with every check box unticked; the texts keep their initial values.
inline options::BuildOptions AllUnticked() {
  options::BuildOptions options;
  for (const options::OptionField& field : options::kOptionFields) {
    if (field.check != nullptr) options.*field.check = options::CheckState::kUnchecked;
  }
  return options;
}

// A record with only `boxes` ticked.
inline options::BuildOptions OnlyTicked(
    std::initializer_list<options::CheckState options::BuildOptions::*> boxes) {
  options::BuildOptions options = AllUnticked();
  for (options::CheckState options::BuildOptions::*box : boxes) {
    options.*box = options::CheckState::kChecked;
  }
  return options;
}

// One box of every kind of step: both share files, an application with its loader, a service.
inline options::BuildOptions SharesPvrAndFtp() {
  return OnlyTicked({&options::BuildOptions::ChNfs, &options::BuildOptions::Chsmb,
                     &options::BuildOptions::pvr, &options::BuildOptions::Chftp});
}

// "\Talvex\etc\rcTVX" as TreeListing writes it: "Talvex/etc/rcTVX".
inline std::string Slashed(std::string_view relative) {
  std::string slashed(relative.substr(relative.starts_with('\\') ? 1 : 0));
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  return slashed;
}

// The files (not folders) below `root`, sorted, in TreeListing's form.
inline std::vector<std::string> FilesBelow(const std::string& root) {
  std::vector<std::string> files;
  for (std::string& entry : talvex::testing::TreeListing(root)) {
    if (!entry.ends_with('/')) files.push_back(std::move(entry));
  }
  return files;
}

class PayloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit_.path(), false).ok());
  }

  BuildResult Build(const options::BuildOptions& options) { return Build(options, fs()); }
  BuildResult Build(const options::BuildOptions& options, platform::FileSystem& fs) {
    return RunBuild(fs, BuildContext{kit_.path(), drive_.path(), options});
  }

  static platform::FileSystem& fs() { return platform::NativeFileSystem(); }
  std::string Kit(std::string_view relative) const {
    return platform::JoinPayloadPath(kit_.path(), relative);
  }
  std::string Drive(std::string_view relative) const {
    return platform::JoinPayloadPath(drive_.path(), relative);
  }

  TempDir kit_;
  TempDir drive_;
};

// The plan a build of `context` makes, reading the kit as the build does.
inline BuildPlan PlanFor(platform::FileSystem& fs, const BuildContext& context) {
  BuildRun run(fs, context);
  return PlanBuild(run);
}

// The failures of a build whose path is `path`.
inline std::vector<StepFailure> FailuresAt(const BuildResult& result, const std::string& path) {
  std::vector<StepFailure> found;
  for (const StepFailure& failure : result.failures) {
    if (failure.path == path) found.push_back(failure);
  }
  return found;
}

}  // namespace talvex::build::testing
