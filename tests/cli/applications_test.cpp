// The applications' table is the one place an application is described: every list that names
// applications (option fields, the build's folders and loaders, the command line's flags, the
// demo kit) is checked against it row by row.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/choice_flags.h"
#include "demo_kit.h"
#include "engine/app_folders.h"
#include "engine/generated_files.h"
#include "options/applications.h"

namespace talvex::options {
namespace {

bool DemoKitHas(const std::vector<tools::KitFile>& files, const std::string& relative) {
  return std::any_of(files.begin(), files.end(),
                     [&](const tools::KitFile& file) { return file.relative == relative; });
}

TEST(ApplicationsTest, EveryListOfApplicationsIsDerivedFromTheTableRowByRow) {
  const std::vector<tools::KitFile> kit = tools::DemoKitFiles(false);
  std::vector<const OptionField*> group;
  for (const OptionField& field : kOptionFields) {
    if (field.group == "Applications") group.push_back(&field);
  }
  ASSERT_EQ(group.size(), kApplications.size());
  std::size_t loader = 0;
  for (std::size_t row = 0; row < kApplications.size(); ++row) {
    const Application& app = kApplications[row];
    SCOPED_TRACE(std::string(app.name));
    EXPECT_EQ(ApplicationOf(app.box), &app);

    // The window's field, in the table's place within its group.
    EXPECT_EQ(group[row], FindOptionField(app.name));
    EXPECT_EQ(group[row]->check, app.box);
    EXPECT_EQ(group[row]->caption, app.caption);
    EXPECT_EQ(group[row]->tooltip, app.tooltip);

    // The build's folder at the application's rank.
    ASSERT_LT(app.build_rank, build::AppFolders.size());
    EXPECT_EQ(build::AppFolders[app.build_rank].Condition, app.box);
    EXPECT_EQ(build::AppFolders[app.build_rank].FolderName, app.folder);

    // The loader list follows the table's order, naming the application's folder.
    const bool listed =
        loader < build::kLoaderEntries.size() && build::kLoaderEntries[loader].CheckBox == app.box;
    EXPECT_EQ(listed, app.has_loader);
    if (listed) {
      EXPECT_EQ(build::LoaderEntryText(build::kLoaderEntries[loader++]),
                "$SYSROOT/../" + std::string(app.folder) + "/loader.so ");
    }

    // One flag, the application's.
    EXPECT_EQ(std::count_if(cli::kCheckFlags.begin(), cli::kCheckFlags.end(),
                            [&](const cli::CheckFlag& flag) { return flag.field == app.box; }),
              1);
    EXPECT_EQ(cli::CheckFlagFor(app.box).flag, app.flag);

    // The demo kit holds the folder, and a loader exactly where the list can name one.
    const std::string folder = "\\" + std::string(app.folder);
    EXPECT_TRUE(DemoKitHas(kit, folder + "\\share\\doc\\README"));
    EXPECT_EQ(DemoKitHas(kit, folder + "\\loader.so"), app.has_loader);
  }
  EXPECT_EQ(loader, build::kLoaderEntries.size());
}

}  // namespace
}  // namespace talvex::options
