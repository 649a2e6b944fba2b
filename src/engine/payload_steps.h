// The steps that carry the payload from the kit to the drive: single files, whole folders, and
// the generated files, which are written into the kit first and then placed on the drive.
#pragma once

#include <optional>
#include <string_view>

#include "engine/build_step.h"
#include "engine/generated_files.h"

namespace talvex::build {

// Copies the kit file `relative` to the same place on the drive, replacing a file there. The kit
// file is looked up when the step runs, tolerating a kit whose names differ in letter case; the
// drive's name is always the table's.
BuildStep CopyKitFileStep(const BuildContext& context, std::string_view relative);

// Merges the kit folder `relative` into the drive's existing folder of that name.
BuildStep CopyKitFolderStep(const BuildContext& context, std::string_view relative);

// A generated file takes two steps, which a stage may plan with other steps between them.
// The first replaces the master copy in the kit as a whole. The second places on the drive
// exactly the content this build composed (the master's bytes when nobody else touched it); an
// older master, or one another build wrote meanwhile, never stands in for this build's values.
// A refused content (see ComposeGeneratedFile) gives a single step that records the refusal and
// writes nothing anywhere.
struct GeneratedFileSteps {
  BuildStep write_master;
  std::optional<BuildStep> place;
};
GeneratedFileSteps PlanGeneratedFile(const BuildContext& context, std::string_view relative,
                                     GeneratedContent content);

// Appends both steps of a generated file, one right after the other.
void AppendGeneratedFile(const BuildContext& context, std::string_view relative,
                         GeneratedContent content, BuildPlan& plan);

}  // namespace talvex::build
