#include "demo_kit.h"

#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <utility>

#include "engine/app_folders.h"
#include "engine/generated_files.h"
#include "engine/payload_manifest.h"
#include "fsutil/beneath.h"
#include "options/applications.h"
#include "platform/paths.h"

namespace talvex::tools {
namespace {

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;

// The few large files of a realistic kit.
struct LargeFile {
  std::string_view relative;
  std::uint64_t size;
};
constexpr LargeFile kLargeFiles[] = {
    {"\\Talvex\\lib\\modules\\treasure\\vusb.image", 8 * kMiB},
    {"\\Talvex\\opt\\brandeval\\usr\\bin\\gdb", 5 * kMiB},
    {"\\Talvex\\opt\\brandeval\\usr\\bin\\smbclient", 4 * kMiB},
    {"\\NetSurf\\bin\\netsurf", 6 * kMiB},
    {"\\mc\\bin\\mc", 3 * kMiB},
};

std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool HasLoader(const build::AppFolderEntry& app) {
  const options::Application* row = options::ApplicationOf(app.Condition);
  return row != nullptr && row->has_loader;
}

// A size between `low` and `high` that depends only on the path.
std::uint64_t SizeFor(std::string_view relative, std::uint64_t low, std::uint64_t high) {
  return low + Fnv1a(relative) % (high - low);
}

std::uint64_t RealisticSize(std::string_view relative) {
  for (const LargeFile& large : kLargeFiles) {
    if (large.relative == relative) return large.size;
  }
  if (relative.find("\\res\\") != std::string_view::npos) return SizeFor(relative, kKiB, 40 * kKiB);
  return SizeFor(relative, 8 * kKiB, 400 * kKiB);
}

void AddAppFolder(const build::AppFolderEntry& app, bool realistic, std::vector<KitFile>& files) {
  const std::string folder = "\\" + std::string(app.FolderName);
  const std::string program = Lower(app.FolderName);
  if (HasLoader(app)) files.push_back({folder + "\\loader.so"});
  if (app.FolderName == "PVR") files.push_back({folder + "\\pvr.ini"});
  files.push_back({folder + "\\bin\\" + program});
  files.push_back({folder + "\\etc\\" + program + ".conf"});
  files.push_back({folder + "\\share\\doc\\README"});
  if (!realistic) return;
  // Many small resource files in a few subfolders, as icons and translations come.
  const int count = app.FolderName == "NetSurf" ? 200 : app.FolderName == "mc" ? 120 : 40;
  for (int index = 0; index < count; ++index) {
    files.push_back({folder + "\\share\\res\\" + std::to_string(index / 25) + "\\item_" +
                     std::to_string(index) + ".dat"});
  }
}

// Opens `root`, creating it and whatever levels above it are missing first.
platform::FsStatus OpenOrMake(platform::FileSystem& fs, const std::string& root,
                              std::unique_ptr<platform::Directory>& opened) {
  std::string existing = root;
  std::string missing;  // backslash form, below `existing`
  while (!fs.OpenDirectory(existing, opened)) {
    std::string parent = platform::ParentFolder(existing);
    // A bare name ("kit") lies in the current folder, which nothing names above it.
    if (parent.empty() && existing != "." && platform::LastName(existing) == existing) {
      parent = ".";
    }
    if (parent.empty()) return fs.OpenDirectory(root, opened);  // its failure, named
    missing = "\\" + platform::LastName(existing) + missing;
    existing = parent;
  }
  if (missing.empty()) return {};
  if (platform::FsStatus made = fsutil::MakeDirBeneath(*opened, missing); !made) return made;
  std::unique_ptr<platform::Directory> below;
  if (platform::FsStatus reached = fsutil::OpenBeneath(*opened, missing, below); !reached) {
    return reached;
  }
  opened = std::move(below);
  return {};
}

}  // namespace

std::vector<KitFile> DemoKitFiles(bool realistic) {
  std::vector<KitFile> files;
  for (const build::ManifestEntry& entry : build::PayloadManifest) {
    files.push_back({std::string(entry.RelativePath)});
  }
  files.push_back({std::string(build::kGameInitPath)});
  files.push_back({"\\Talvex\\readme.txt"});
  for (const build::AppFolderEntry& app : build::AppFolders) AddAppFolder(app, realistic, files);
  for (KitFile& file : files) {
    file.size = realistic ? RealisticSize(file.relative) : DemoKitContent(file).size();
  }
  return files;
}

std::string DemoKitContent(const KitFile& file) {
  std::string content = "Talvex Auto demo kit: placeholder for " + file.relative +
                        " (not the real file; replace the kit with the real one to use the "
                        "drive on a television).\n";
  if (content.size() >= file.size) return content;
  std::uint64_t state = Fnv1a(file.relative);
  content.reserve(file.size);
  while (content.size() < file.size) {
    std::uint64_t random = SplitMix(state);
    for (int byte = 0; byte < 8 && content.size() < file.size; ++byte, random >>= 8) {
      content += static_cast<char>(random & 0xFF);
    }
  }
  return content;
}

platform::FsStatus WriteDemoKit(platform::FileSystem& fs, const std::string& root, bool realistic,
                                DemoKitSummary* summary) {
  std::unique_ptr<platform::Directory> kit;
  if (platform::FsStatus opened = OpenOrMake(fs, root, kit); !opened) return opened;
  std::map<std::string, std::unique_ptr<platform::Directory>, std::less<>> folders;
  for (const KitFile& file : DemoKitFiles(realistic)) {
    const auto [folder_relative, name] = fsutil::SplitRelative(file.relative);
    platform::Directory* folder = kit.get();
    if (!folder_relative.empty()) {
      auto found = folders.find(folder_relative);
      if (found == folders.end()) {
        std::unique_ptr<platform::Directory> opened;
        platform::FsStatus made = fsutil::MakeDirBeneath(*kit, folder_relative);
        if (made) made = fsutil::OpenBeneath(*kit, folder_relative, opened);
        if (!made) return made;
        found = folders.emplace(std::string(folder_relative), std::move(opened)).first;
      }
      folder = found->second.get();
    }
    const std::string content = DemoKitContent(file);
    if (platform::FsStatus written = folder->WriteFileIn(name, content); !written) return written;
    if (summary != nullptr) {
      ++summary->files;
      summary->bytes += content.size();
    }
  }
  return {};
}

}  // namespace talvex::tools
