#include "engine/run_build.h"

#include <algorithm>
#include <cctype>

#include "engine/app_folders.h"
#include "engine/stages.h"
#include "fsutil/tree.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

std::string Folded(std::string text) {
  if (platform::kCaseInsensitiveNames) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  }
  return text;
}

// Whether `inner` is `outer` or lies below it (both resolved and folded).
bool IsSameOrInside(const std::string& inner, const std::string& outer) {
  if (inner == outer) return true;
  if (inner.size() <= outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
  return outer.back() == platform::kPathSeparator ||
         inner[outer.size()] == platform::kPathSeparator;
}

}  // namespace

BuildStep RemoveTreeStep(std::string target) {
  BuildStep step{StepKind::kRemoveTree, {}, std::move(target), {}};
  step.run = [path = step.target](platform::FileSystem& fs, FailureLog& log) {
    fsutil::DelTreeOutcome outcome = fsutil::DelTreeWithFailure(fs, path);
    // A refusal means there was nothing to remove (no such folder): not a failure.
    if (outcome.result > 0) log.Check(std::string(action::kRemoveFolder), outcome.failure, path);
  };
  return step;
}

BuildStep MakeDirectoryStep(std::string target) {
  BuildStep step{StepKind::kMakeDirectory, {}, std::move(target), {}};
  step.run = [path = step.target](platform::FileSystem& fs, FailureLog& log) {
    log.Check(std::string(action::kCreateFolder), fsutil::MakeDir(fs, path), path);
  };
  return step;
}

BuildPlan PlanBuild(const BuildContext& context) {
  BuildPlan plan;
  plan.push_back(RemoveTreeStep(platform::JoinPayloadPath(context.target_drive, kPayloadRemoval)));
  for (std::string_view directory : kSkeletonDirectories) {
    plan.push_back(MakeDirectoryStep(platform::JoinPayloadPath(context.target_drive, directory)));
  }
  WriteAccessNfs(context, plan);
  WriteAccessSmb(context, plan);
  WriteLoaderList(context, plan);
  CopyAppFolders(context, plan);
  CopyManifest(context, plan);
  return plan;
}

std::optional<std::string> CheckTargetOverlap(platform::FileSystem& fs,
                                              const BuildContext& context) {
  // A kit or drive that cannot be reached cannot overlap anything the build would remove; the
  // build's own steps then fail and are reported one by one.
  std::string source;
  std::string drive;
  if (!fs.ResolvePath(context.source_root, source) ||
      !fs.ResolvePath(context.target_drive, drive)) {
    return std::nullopt;
  }
  source = Folded(source);
  if (Folded(drive) == source) {
    return "Программа запущена из корня диска \"" + context.target_drive +
           "\": сборка удалила бы комплект, из которого она копирует.";
  }
  // Everything the build removes: the payload folder and the folder of every ticked application.
  std::vector<std::string> removed{platform::JoinPayloadPath(context.target_drive, kPayloadFolder)};
  for (const AppFolderEntry& entry : AppFolders) {
    if (options::IsTicked(context.options.*entry.Condition)) {
      removed.push_back(
          platform::JoinPayloadPath(context.target_drive, "\\" + std::string(entry.FolderName)));
    }
  }
  for (const std::string& path : removed) {
    std::string resolved;
    if (!fs.ResolvePath(path, resolved)) continue;  // unreachable: nothing to remove there
    resolved = Folded(resolved);
    if (IsSameOrInside(resolved, source) || IsSameOrInside(source, resolved)) {
      return "Папка \"" + path + "\" на диске совпадает с комплектом или пересекается с ним: " +
             "сборка удалила бы комплект, из которого она копирует.";
    }
  }
  return std::nullopt;
}

BuildResult RunBuild(platform::FileSystem& fs, const BuildContext& context,
                     BuildObserver* observer) {
  BuildResult result;
  if (std::optional<std::string> refusal = CheckTargetOverlap(fs, context)) {
    result.refused = true;
    result.refusal = std::move(*refusal);
    return result;
  }
  const BuildPlan plan = PlanBuild(context);
  if (observer != nullptr) observer->OnPhase(BuildPhase::kSteps);
  FailureLog log;
  for (std::size_t index = 0; index < plan.size(); ++index) {
    if (observer != nullptr) observer->OnStep(index, plan.size(), plan[index]);
    plan[index].run(fs, log);
    ++result.steps_run;
  }
  result.failures = log.TakeFailures();
  if (observer != nullptr) observer->OnPhase(BuildPhase::kMeasuring);
  result.size_bytes = fsutil::SizeOf(
      fs, platform::JoinPayloadPath(context.target_drive, kPayloadFolder), [observer] {
        if (observer != nullptr) observer->Yield();
      });
  return result;
}

}  // namespace talvex::build
