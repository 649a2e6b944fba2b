// The temporary files a master is written through before it is renamed over the old one. Their
// names carry the writing process, so that a later build can tell a leftover of a build that
// was killed from the file of one still running.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace talvex::platform {

// A name beside `name` that no other writer picks: this process and a counter of its own.
std::string TemporaryName(std::string_view name);

// The temporaries of `name` in `folder` whose process has ended.
std::vector<std::string> StaleTemporaries(Directory& folder, std::string_view name);

// This process's identifier, and whether the process `id` is still running.
unsigned long CurrentProcessId();
bool ProcessIsRunning(unsigned long id);

}  // namespace talvex::platform
