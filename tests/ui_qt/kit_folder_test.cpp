// The kit folder the window starts on: named, found beside it, or asked for until it is a kit.
#include "ui/qt/kit_folder.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fsutil/kit_lookup.h"
#include "support/test_support.h"

namespace talvex::ui::qt {
namespace {

using talvex::testing::TempDir;

// Folders the cases name by role; "" in an answer stands for Cancel.
class KitFolders {
 public:
  KitFolders() { talvex::testing::MakeDirs(kit_.path() + "/talvex"); }
  std::string operator[](const std::string& role) const {
    return role == "kit" ? kit_.path() : empty_.path();
  }

 private:
  TempDir kit_;
  TempDir empty_;
};

struct KitFolderCase {
  const char* what;
  std::optional<std::string> named;
  std::vector<std::string> usual;
  std::vector<std::string> answers;
  std::optional<std::string> chosen;
  std::vector<std::string> told;  // the folders the user is told hold no kit
  std::size_t asked;
};

TEST(QtKitFolderTest, TheKitFolderIsNamedFoundOrAskedForUntilItHoldsAKit) {
  const std::vector<KitFolderCase> cases = {
      {"named kit", "kit", {"empty"}, {}, "kit", {}, 0},
      {"named folder without a kit ends", "empty", {"kit"}, {"kit"}, {}, {"empty"}, 0},
      {"the first usual folder with a kit", {}, {"empty", "kit"}, {}, "kit", {}, 0},
      {"a wrong answer is explained and asked again",
       {},
       {"empty"},
       {"empty", "kit"},
       "kit",
       {"empty"},
       2},
      {"cancel ends, nothing shown", {}, {"empty"}, {""}, {}, {}, 1},
      {"cancel after a wrong answer", {}, {}, {"empty", ""}, {}, {"empty"}, 2},
  };
  const KitFolders folders;
  for (const KitFolderCase& test : cases) {
    KitFolderChoice choice;
    if (test.named) choice.named = folders[*test.named];
    for (const std::string& role : test.usual) choice.usual.push_back(folders[role]);
    std::size_t asked = 0;
    choice.ask = [&]() -> std::optional<std::string> {
      if (asked >= test.answers.size()) return std::nullopt;
      const std::string& answer = test.answers[asked++];
      if (answer.empty()) return std::nullopt;
      return folders[answer];
    };
    std::vector<std::string> told;
    choice.tell = [&](const std::string& message) { told.push_back(message); };

    const std::optional<std::string> chosen = ChooseKitFolder(platform::NativeFileSystem(), choice);
    EXPECT_EQ(chosen, test.chosen ? std::optional(folders[*test.chosen]) : std::nullopt)
        << test.what;
    std::vector<std::string> expected_told;
    for (const std::string& role : test.told) {
      expected_told.push_back(fsutil::NoKitMessage(folders[role]));
    }
    EXPECT_EQ(told, expected_told) << test.what;
    EXPECT_EQ(asked, test.asked) << test.what;
  }
}

// The desktop's dialog and message box, answered as a user would: a folder without a kit first,
// then Cancel.
TEST(QtKitFolderTest, TheDialogIsAskedAgainAfterTheMessageAndCancelEnds) {
  const KitFolders folders;
  std::vector<QString> seen;
  QTimer answerer;
  answerer.setInterval(5);
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      const bool first = seen.empty();
      seen.push_back(QStringLiteral("dialog"));
      if (first) {
        dialog->setDirectory(QString::fromStdString(folders["empty"]));
        QMetaObject::invokeMethod(dialog, "accept");
      } else {
        dialog->reject();
      }
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen.push_back(box->text());
      box->button(QMessageBox::Ok)->click();
    }
  });
  answerer.start();

  KitFolderChoice choice;
  choice.usual = {folders["empty"]};
  choice.ask = AskForKitFolderByDialog;
  choice.tell = TellByMessageBox;
  EXPECT_EQ(ChooseKitFolder(platform::NativeFileSystem(), choice), std::nullopt);
  EXPECT_EQ(seen,
            (std::vector<QString>{QStringLiteral("dialog"),
                                  QString::fromStdString(fsutil::NoKitMessage(folders["empty"])),
                                  QStringLiteral("dialog")}));
}

}  // namespace
}  // namespace talvex::ui::qt
