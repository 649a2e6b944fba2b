#include "platform/temporary_files.h"

#include <atomic>
#include <cstdlib>

namespace talvex::platform {
namespace {

std::string TemporaryPrefix(std::string_view name) {
  return "." + std::string(name) + ".talvex-";
}

}  // namespace

std::string TemporaryName(std::string_view name) {
  static std::atomic<unsigned> counter{0};
  return TemporaryPrefix(name) + std::to_string(CurrentProcessId()) + "-" +
         std::to_string(counter.fetch_add(1));
}

std::vector<std::string> StaleTemporaries(Directory& folder, std::string_view name) {
  const std::string prefix = TemporaryPrefix(name);
  std::vector<std::string> stale;
  folder.List(
      [&](const DirEntry& entry) {
        if (!entry.name.starts_with(prefix) || entry.IsDirectory()) return true;
        const unsigned long id =
            std::strtoul(std::string(entry.name.substr(prefix.size())).c_str(), nullptr, 10);
        if (id != 0 && !ProcessIsRunning(id)) stale.emplace_back(entry.name);
        return true;
      },
      ListDetail::kTypes);
  return stale;
}

}  // namespace talvex::platform
