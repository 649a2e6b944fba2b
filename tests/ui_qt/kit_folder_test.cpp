// The kit folder the window starts on: named, found beside it, or asked for until it is a kit.
#include "ui/qt/kit_folder.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <optional>
#include <string>
#include <vector>

#include "engine/guard.h"
#include "support/test_support.h"

namespace talvex::ui::qt {
namespace {

using talvex::testing::TempDir;

// The cases name folders by a letter: K holds a kit, E does not; C answers with Cancel.
class KitFolders {
 public:
  KitFolders() { talvex::testing::MakeFile(kit_.path() + "/talvex/rcTVX", "master"); }
  std::string operator[](char role) const { return role == 'K' ? kit_.path() : empty_.path(); }

 private:
  TempDir kit_;
  TempDir empty_;
};

TEST(QtKitFolderTest, TheKitFolderIsNamedFoundOrAskedForUntilItHoldsAKit) {
  struct Case {
    const char* what;
    char named;  // 0: none on the command line
    std::string usual, answers;
    char chosen;       // 0: no kit, the program ends
    std::string told;  // the folders the user is told hold no kit
  };
  const std::vector<Case> cases = {
      {"named kit", 'K', "E", "", 'K', ""},
      {"named folder without a kit ends", 'E', "K", "K", 0, "E"},
      {"the first usual folder with a kit", 0, "EK", "", 'K', ""},
      {"a wrong answer is explained and asked again", 0, "E", "EK", 'K', "E"},
      {"cancel ends, nothing shown", 0, "E", "C", 0, ""},
      {"cancel after a wrong answer", 0, "", "EC", 0, "E"},
  };
  const KitFolders folders;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    KitFolderChoice choice;
    if (test.named != 0) choice.named = folders[test.named];
    for (const char role : test.usual) choice.usual.push_back(folders[role]);
    std::size_t asked = 0;
    choice.ask = [&]() -> std::optional<std::string> {
      const char answer = asked < test.answers.size() ? test.answers[asked] : 'C';
      ++asked;
      if (answer == 'C') return std::nullopt;
      return folders[answer];
    };
    std::vector<std::string> told;
    choice.tell = [&](const std::string& message) { told.push_back(message); };

    const auto chosen = ChooseKitFolder(platform::NativeFileSystem(), choice);
    EXPECT_EQ(chosen, test.chosen != 0 ? std::optional(folders[test.chosen]) : std::nullopt);
    std::vector<std::string> expected_told;
    for (const char role : test.told) expected_told.push_back(build::NoKitMessage(folders[role]));
    EXPECT_EQ(told, expected_told);
    // Asked exactly as often as the answers go, and not at all when a kit was at hand.
    EXPECT_EQ(asked, test.named != 0 ? 0 : test.answers.size());
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
        dialog->setDirectory(QString::fromStdString(folders['E']));
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
  choice.usual = {folders['E']};
  choice.ask = [] { return AskForKitFolderByDialog(); };
  choice.tell = TellByMessageBox;
  EXPECT_EQ(ChooseKitFolder(platform::NativeFileSystem(), choice), std::nullopt);
  EXPECT_EQ(seen, (std::vector<QString>{QStringLiteral("dialog"),
                                        QString::fromStdString(build::NoKitMessage(folders['E'])),
                                        QStringLiteral("dialog")}));
}

}  // namespace
}  // namespace talvex::ui::qt
