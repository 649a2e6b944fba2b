// The stages of a build. Each appends its steps to the plan, in the order they run.
#pragma once

#include <string>

#include "engine/build_plan.h"

namespace talvex::build {

// The share mount files: access_nfs when ChNfs is ticked, access_smb when Chsmb is ticked.
void WriteAccessNfs(const BuildContext& context, BuildPlan& plan);
void WriteAccessSmb(const BuildContext& context, BuildPlan& plan);

// The extension loader list `libraries` and the game start script, when any extension is ticked.
void WriteLoaderList(const BuildContext& context, BuildPlan& plan);

// A fresh copy of every ticked application's folder at the drive's root.
void CopyAppFolders(const BuildContext& context, BuildPlan& plan);

// The core files and the files of every ticked service.
void CopyManifest(const BuildContext& context, BuildPlan& plan);

// Steps shared by the stages: the removal of the drive's folder `relative` ("\Talvex\", with
// the trailing separator the removal is given) and the creation of one, level by level.
BuildStep RemoveTreeStep(const BuildContext& context, std::string_view relative);
BuildStep MakeDirectoryStep(const BuildContext& context, std::string_view relative);

}  // namespace talvex::build
