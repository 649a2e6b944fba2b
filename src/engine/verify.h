// Reading files back from the drive and comparing them with what they must hold: the kit file
// they copy or the bytes the build composed. The comparison uses it to tell a file that can be
// kept, and the writing stage to check what it wrote, once flushed, as the device holds it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_run.h"
#include "engine/end_state.h"
#include "platform/file_system.h"

namespace talvex::build {

// Reads `name` in `folder` back and compares it with the plain file `source_name` of `source`,
// or with `bytes`; fails saying how it differs. `from_device` drops the file's cached pages
// first (false when a read-ahead already has). `progress` hears the bytes as they are compared
// and may stop the comparison.
platform::FsStatus CompareWithFile(platform::Directory& folder, std::string_view name,
                                   platform::Directory& source, std::string_view source_name,
                                   bool from_device = true,
                                   const platform::ByteProgress& progress = {});
platform::FsStatus CompareWithBytes(platform::Directory& folder, std::string_view name,
                                    std::string_view bytes, bool from_device = true,
                                    const platform::ByteProgress& progress = {});

// A file on the drive to compare with what the plan's item must hold.
struct FileToCompare {
  std::size_t item = 0;  // in the plan
  // Below the drive's root, as spelled on the drive: a view of the item's staged path, which
  // outlives the comparison.
  std::string_view at;
};

// Compares each file with its item, in order, while the next ones are read ahead from the
// device; `compared` hears each outcome. Stops between files (and inside one) when a stop is
// asked. With `from_device` false the system's cache may answer (the files were not written by
// this build, or no read-back from the device was asked for).
void CompareFiles(
    BuildRun& run, const BuildPlan& plan, const std::vector<FileToCompare>& files, bool from_device,
    const std::function<void(std::size_t index, const platform::FsStatus&)>& compared);

}  // namespace talvex::build
