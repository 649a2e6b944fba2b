#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/paths.h"

namespace talvex::testing {
namespace fs = std::filesystem;

namespace {
fs::path U8(const std::string& path) {
  return fs::path(std::u8string(path.begin(), path.end()));
}
std::string FromPath(const fs::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
}  // namespace

TempDir::TempDir(const std::string& under) {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::error_code error;
  const fs::path parent =
      !under.empty() && fs::is_directory(U8(under), error) ? U8(under) : fs::temp_directory_path();
  fs::path base = parent /
                  ("talvex-test-" + std::to_string(stamp) + "-" + std::to_string(++counter));
  fs::create_directories(base);
  path_ = FromPath(fs::canonical(base));
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only entries behind; make everything writable before removing.
  for (auto it = fs::recursive_directory_iterator(U8(path_), ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(U8(path_), ignored);
}

std::string TempDir::operator/(std::string_view relative) const {
  return Join(path_, relative);
}

std::string Native(std::string_view relative) {
  std::string native(relative);
  for (char& c : native) {
    if (c == '/' || c == '\\') c = platform::kPathSeparator;
  }
  return native;
}

std::string Join(const std::string& root, std::string_view relative) {
  std::string joined = root;
  if (!relative.empty() && relative.front() != '/' && relative.front() != '\\') {
    joined += platform::kPathSeparator;
  }
  return joined + Native(relative);
}

void MakeDirs(const std::string& path) {
  fs::create_directories(U8(path));
}

void MakeFile(const std::string& path, std::string_view bytes) {
  fs::path native = U8(path);
  if (native.has_parent_path()) fs::create_directories(native.parent_path());
  std::ofstream out(native, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

bool PathExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(U8(path), ignored));
}

bool IsDirectory(const std::string& path) {
  std::error_code ignored;
  return fs::is_directory(fs::symlink_status(U8(path), ignored));
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(U8(path), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> TreeListing(const std::string& root) {
  std::vector<std::string> entries;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(U8(root), ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    std::string relative = FromPath(fs::relative(it->path(), U8(root)).generic_u8string());
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) relative += '/';
    entries.push_back(relative);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

TreeBytes TreeWithBytes(const std::string& root) {
  std::string base = root;
  if (base.ends_with('\\') || base.ends_with('/')) base.pop_back();
  TreeBytes tree;
  for (const std::string& entry : TreeListing(root)) {
    tree[entry] = entry.ends_with('/') ? std::string() : ReadBytes(Join(base, entry));
  }
  return tree;
}

platform::FsStatus AtEntry(platform::FileSystem& fs, const std::string& path,
                           const std::function<platform::FsStatus(platform::Directory& folder,
                                                                  std::string_view name)>& act) {
  std::unique_ptr<platform::Directory> folder;
  if (platform::FsStatus opened = fs.OpenDirectory(platform::ParentFolder(path), folder); !opened) {
    return opened;
  }
  return act(*folder, platform::LastName(path));
}

platform::FsStatus MakeFolder(platform::FileSystem& fs, const std::string& path) {
  return AtEntry(fs, path, [](platform::Directory& folder, std::string_view name) {
    return folder.CreateDirectory(name);
  });
}

platform::FsStatus SetAttributes(platform::FileSystem& fs, const std::string& path,
                                 std::uint32_t attributes) {
  return AtEntry(fs, path, [attributes](platform::Directory& folder, std::string_view name) {
    return folder.SetAttributes(name, attributes);
  });
}

KitDir::KitDir() {
  // A master folder holding one of the payload's files: less is no kit, and no build starts.
  MakeFile(*this / "Talvex/etc/rc.sysinit", "#!/bin/sh\n");
}

void ExpectEndedWithinASecondOf(const char* what, std::chrono::steady_clock::duration took) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
  std::printf("ended %lld ms after %s\n", static_cast<long long>(ms), what);
  EXPECT_LE(took, std::chrono::seconds(1)) << "ended " << ms << " ms after " << what;
}

}  // namespace talvex::testing
