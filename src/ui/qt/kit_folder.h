// Where the window's kit folder comes from. A build from a folder without a kit would wipe the
// stick's payload and copy nothing back, so the window never starts on such a folder: the user
// is told why and asked again, or the program ends.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace talvex::ui::qt {

struct KitFolderChoice {
  // The folder named on the command line, if any: it is the kit folder, or there is none.
  std::optional<std::string> named;
  // Tried in turn when none is named: the program's own folder, then the current one.
  std::vector<std::string> usual;
  // Asks the user for a folder; nothing when they cancel.
  std::function<std::optional<std::string>()> ask;
  // Shows the user a message and returns once it has been read.
  std::function<void(const std::string&)> tell;
};

// The kit folder, or nothing when the program has none to start on: the named folder holds no
// kit (the user has been told so), or the user cancelled the question.
std::optional<std::string> ChooseKitFolder(platform::FileSystem& fs, const KitFolderChoice& choice);

// The question and the message as the desktop asks them: a folder dialog, which opens on `start`
// (the home folder when it is empty), and a message box.
std::optional<std::string> AskForKitFolderByDialog(const std::string& start = {});
void TellByMessageBox(const std::string& message);

}  // namespace talvex::ui::qt
