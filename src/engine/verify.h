// The read-back: once everything is flushed, every file the build put on the drive is read back
// from the device and compared with what it must hold, the kit file it copies or the bytes the
// build composed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/build_step.h"
#include "platform/file_system.h"

namespace talvex::build {

// Reads `name` in `folder` back from the device and compares it with the plain file
// `source_name` of `source`, or with `bytes`; fails saying how it differs. `from_device` false
// when ReadAhead has already dropped the file's cached pages.
// `progress` hears the bytes as they are compared.
platform::FsStatus CompareWithFile(platform::Directory& folder, std::string_view name,
                                   platform::Directory& source, std::string_view source_name,
                                   bool from_device = true,
                                   const platform::ByteProgress& progress = {});
platform::FsStatus CompareWithBytes(platform::Directory& folder, std::string_view name,
                                    std::string_view bytes, bool from_device = true,
                                    const platform::ByteProgress& progress = {});

// Reads back one file the run wrote and records a failure if it is not what it should be.
// `read_ahead`: the file's cached pages were dropped by a read-ahead after the flush.
void VerifyWrittenFile(BuildRun& run, const std::string& kit, const std::string& drive,
                       const WrittenFile& file, bool read_ahead = false);

// Reads back the files in order while the next ones are read ahead.
void VerifyWrittenFiles(BuildRun& run, const std::string& kit, const std::string& drive,
                        const std::vector<const WrittenFile*>& files);

}  // namespace talvex::build
