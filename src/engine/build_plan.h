// The plan of a build: options and kit in, the ordered steps out. Nothing here touches the disk;
// the steps do, when the run loop runs them. The stages (the share mount files, the loader list,
// the application folders, the manifest) each append their steps in the order they run; the
// steps that carry kit files and generated files are made in payload_steps.h.
#pragma once

#include <array>
#include <string_view>

#include "engine/build_step.h"

namespace talvex::build {

// The payload folder on the drive, relative to its root.
inline constexpr std::string_view kPayloadFolder = "\\Talvex";

// Removed with everything under it at the start of every build (note the trailing backslash).
inline constexpr std::string_view kPayloadRemoval = "\\Talvex\\";

// The skeleton, created in this order, each with all its parent levels.
inline constexpr std::array<std::string_view, 7> kSkeletonDirectories = {
    "\\Talvex\\etc\\init.d",
    "\\Talvex\\lib\\modules\\mak",
    "\\Talvex\\lib\\modules\\treasure",
    "\\Talvex\\opt\\brandeval\\bin",
    "\\Talvex\\opt\\brandeval\\lib",
    "\\Talvex\\opt\\brandeval\\usr\\bin",
    "\\Talvex\\opt\\brandeval\\usr\\sbin",
};

// The ordered steps a build of `context` takes: the removal, the skeleton, the stages, then the
// flush and (when `context.verify`) the read-back of everything written to the drive.
BuildPlan PlanBuild(const BuildContext& context);

// The share mount files: access_nfs when ChNfs is ticked, access_smb when Chsmb is ticked.
void WriteAccessNfs(const BuildContext& context, BuildPlan& plan);
void WriteAccessSmb(const BuildContext& context, BuildPlan& plan);

// The extension loader list `libraries` and the game start script, when any extension is ticked.
void WriteLoaderList(const BuildContext& context, BuildPlan& plan);

// A fresh copy of every ticked application's folder at the drive's root.
void CopyAppFolders(const BuildContext& context, BuildPlan& plan);

// The core files and the files of every ticked service.
void CopyManifest(const BuildContext& context, BuildPlan& plan);

// The flush and read-back steps, appended after the steps that write.
void AppendFinishing(const BuildContext& context, BuildPlan& plan);

// Steps shared by the stages: the removal of the drive's folder `relative` ("\Talvex\", with
// the trailing separator the removal is given) and the creation of one, level by level.
BuildStep RemoveTreeStep(const BuildContext& context, std::string_view relative);
BuildStep MakeDirectoryStep(const BuildContext& context, std::string_view relative);

}  // namespace talvex::build
