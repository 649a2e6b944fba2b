// Stages whose steps are not planned yet: each leaves the plan as it is.
#include "build/stages.h"

namespace talvex::build {

void WriteAccessNfs(const BuildContext&, BuildPlan&) {}
void WriteAccessSmb(const BuildContext&, BuildPlan&) {}
void WriteLoaderList(const BuildContext&, BuildPlan&) {}
void CopyAppFolders(const BuildContext&, BuildPlan&) {}
void CopyManifest(const BuildContext&, BuildPlan&) {}

}  // namespace talvex::build
