// The Qt windows, driven through their real widgets with QTest on the offscreen platform.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <sys/mount.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "demo_kit.h"
#include "engine/guard.h"
#include "options/build_options.h"
#include "platform/paths.h"
#include "support/fake_system.h"
#include "support/fault_injecting_file_system.h"
#include "support/slow_stick.h"
#include "support/test_support.h"
#include "ui/about_content.h"
#include "ui/control_table.h"
#include "ui/qt/about_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/progress_window.h"
#include "ui/window_texts.h"

namespace talvex::ui::qt {
namespace {

using talvex::testing::TempDir;

// Every box and text of `after` as it was in `before`.
void ExpectSameChoices(const options::BuildOptions& after, const options::BuildOptions& before) {
  for (const options::OptionField& field : options::kOptionFields) {
    if (field.check != nullptr) {
      EXPECT_EQ(after.*field.check, before.*field.check) << field.name;
    }
    if (field.text != nullptr) {
      EXPECT_EQ(after.*field.text, before.*field.text) << field.name;
    }
  }
}

// Whether a closed drive box showing `shown` shows `whole`: all of it, or its start (the label
// without the size), or its start and an ellipsis.
bool ShowsTheStartOf(const QString& shown, const char* whole) {
  const QString kept = shown.endsWith(QChar(0x2026)) ? shown.chopped(1) : shown;
  return !kept.isEmpty() && QString::fromUtf8(whole).startsWith(kept);
}

// Takes what the windows hand to the desktop instead of opening it.
class UrlRecorder final : public QObject {
  Q_OBJECT

 public:
  UrlRecorder() {
    for (const char* scheme : {"file", "https", "http"}) {
      QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    }
  }
  ~UrlRecorder() override {
    for (const char* scheme : {"file", "https", "http"}) {
      QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
  }
  std::vector<QUrl> urls;

 public slots:
  void Open(const QUrl& url) { urls.push_back(url); }
};

// Answers every modal message box that comes up with `answer` (or its only button), noting what
// it showed.
class BoxAnswerer final : public QObject {
 public:
  struct Seen {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    bool yes_is_default;
    QString details;  // the informative text
  };

  explicit BoxAnswerer(QMessageBox::StandardButton answer) : BoxAnswerer(std::vector{answer}) {}
  // One answer a box, in turn; the last one for every box after.
  explicit BoxAnswerer(std::vector<QMessageBox::StandardButton> answers)
      : answers_(std::move(answers)) {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::Poll);
    timer_.start();
  }
  std::vector<Seen> seen;

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    seen.push_back(
        {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
         box->defaultButton() != nullptr && box->defaultButton() == box->button(QMessageBox::Yes),
         box->informativeText()});
    QAbstractButton* button = box->button(answers_[std::min(seen.size(), answers_.size()) - 1]);
    if (button == nullptr && !box->buttons().isEmpty()) button = box->buttons().first();
    if (button != nullptr) button->click();
  }

  std::vector<QMessageBox::StandardButton> answers_;
  QTimer timer_;
};

// A slow stick: passes every call to the native file system, and makes every call that changes,
// lists or reads back something on the drive wait `delay` first (the build's calls come from its
// own thread). Counts the flushes of the drive (one a build) and the files read back.
struct SlowDrive {
  SlowDrive(std::string drive_root, std::chrono::milliseconds delay)
      : drive(std::move(drive_root)) {
    fs.Watch([this, delay](platform::FsOperation operation, const std::string& path) {
      if (path.rfind(drive, 0) != 0) return;  // the kit is as quick as ever
      switch (operation) {
        case platform::FsOperation::kFlush:
          if (path != drive) return;  // the flush names every file, then the drive
          ++flushes;
          // A stick's flush is its longest single wait: long enough to be seen on a busy machine.
          std::this_thread::sleep_for(delay * 8);
          return;
        case platform::FsOperation::kRead:
          ++reads;
          break;
        case platform::FsOperation::kDeleteFile:
        case platform::FsOperation::kRemoveDirectory:
        case platform::FsOperation::kCreateDirectory:
        case platform::FsOperation::kWriteFile:
        case platform::FsOperation::kCopyFile:
        case platform::FsOperation::kListDirectory:
          break;
        default:
          return;
      }
      std::this_thread::sleep_for(delay);
    });
  }
  std::string drive;
  platform::FaultInjectingFileSystem fs{platform::NativeFileSystem()};
  std::atomic<int> flushes{0};
  std::atomic<int> reads{0};
};

class QtWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit_.path(), false).ok());
    volumes_ = {{drive_.path(), "TV STICK", "8:17", "/dev/sdb1", std::uint64_t{8} << 30}};
  }
  void TearDown() override {
    window_.reset();
    QApplication::processEvents();
  }

  MainWindow& Open() {
    Services services;
    services.file_system = file_system_;
    services.source_root = kit_.path();
    services.decimal_separator = ",";
    services.list_volumes = list_volumes_ ? list_volumes_ : [this] { return volumes_; };
    services.mount_table = mount_table_;
    window_ = std::make_unique<MainWindow>(services);
    window_->show();
    window_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    return *window_;
  }

  template <typename Widget = QWidget>
  Widget* Get(const char* name) const {
    auto* widget = window_->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QCheckBox* Check(const char* name) const { return Get<QCheckBox>(name); }
  QLineEdit* Text(const char* name) const { return Get<QLineEdit>(name); }

  // A click on the box's check mark, where the user clicks.
  static void Click(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(7, box->height() / 2));
  }
  static void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

  // QTRY_* report to QtTest's log only, which GoogleTest never reads: waits are checked here.
  static bool WaitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    return QTest::qWaitFor(condition, milliseconds);
  }

  // GO, and the build it started run to its end (its report answered) or refused.
  void Go(int milliseconds = 5000) const {
    Click(Get("CommanEND"));
    EXPECT_TRUE(WaitFor([this] { return !Building(); }, milliseconds));
  }
  bool Building() const {
    return window_->progress() != nullptr || window_->model().phase() != Phase::kIdle;
  }
  // The stage the progress window shows, empty when there is none.
  QString StageShown() const {
    return window_->progress() != nullptr ? window_->progress()->stage()->text() : QString();
  }
  // Clicks GO and waits until the build copies.
  bool GoAndWaitForTheCopy() const {
    Click(Get("CommanEND"));
    return WaitFor([this] { return StageShown() == "Запись"; });
  }

  std::string Built(std::string_view relative) const {
    return drive_.path() + "/" + std::string(relative);
  }

  TempDir kit_;
  TempDir drive_;
  std::vector<RemovableVolume> volumes_;
  std::function<std::vector<RemovableVolume>()> list_volumes_;  // instead of volumes_
  std::string mount_table_;                                     // not watched by default
  platform::FileSystem* file_system_ = &platform::NativeFileSystem();
  std::unique_ptr<MainWindow> window_;
};

TEST_F(QtWindowTest, StartsWithTheInitialOptionsAndTheFocusOnTheDriveList) {
  MainWindow& window = Open();
  EXPECT_EQ(window.windowTitle(), "Talvex - Auto");
  for (const char* ticked : {"Chupnp", "ChNfs", "Chsmb"}) EXPECT_TRUE(Check(ticked)->isChecked());
  for (const char* clear :
       {"Chcopi", "Chavto", "Chftp", "Chssh", "Chtelnet", "ChRey", "Chwifi", "mc", "NetSurf", "pvr",
        "ChInfo", "Switch", "arFix2", "arFix2cip", "CheckUDP"}) {
    EXPECT_FALSE(Check(clear)->isChecked()) << clear;
  }
  EXPECT_FALSE(Check("Chavto")->isEnabled());
  for (const char* name : {"FrSet", "FrSMB", "TextIP", "CheckUDP", "TexSMBip", "TexSMBsh",
                           "TexSMBlog", "TexSMBpas", "Label6", "Label9"}) {
    EXPECT_TRUE(Get(name)->isEnabled()) << name;
  }
  EXPECT_EQ(Text("TextIP")->text(), "192.168.0.1");
  EXPECT_EQ(Text("TexSMBip")->text(), "192.168.0.1");
  EXPECT_EQ(Text("TexSMBsh")->text(), "");
  EXPECT_EQ(Text("TexSMBlog")->text(), "admin");
  EXPECT_EQ(Text("TexSMBpas")->text(), "vortelin");
  EXPECT_EQ(Text("TexSMBpas")->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(QApplication::focusWidget(), Get("Drive1"));
  // The first removable volume is chosen, shown by its label and size.
  auto* drives = Get<DriveList>("Drive1");
  EXPECT_EQ(drives->count(), 1);
  EXPECT_TRUE(ShowsTheStartOf(drives->ShownText(), "TV STICK · 8,0 ГБ"))
      << drives->ShownText().toStdString();
  EXPECT_EQ(window.model().options().Drive1, "TV STICK · 8,0 ГБ");
}

TEST_F(QtWindowTest, TheDriveListReadsTheVolumesAgainWhenItOpensAndKeepsThePickedOne) {
  TempDir second;
  Open();
  auto* drives = Get<QComboBox>("Drive1");
  volumes_.insert(volumes_.begin(), RemovableVolume{second.path(), {}, "8:33"});
  drives->showPopup();
  drives->hidePopup();
  ASSERT_EQ(drives->count(), 2);
  EXPECT_EQ(drives->itemText(0).toStdString(),
            platform::LastName(second.path()) + " · " + second.path());
  // The open list shows the mount points whole, though the closed one is narrow.
  EXPECT_GE(drives->view()->minimumWidth(),
            drives->fontMetrics().horizontalAdvance(drives->itemText(1)));
  EXPECT_EQ(drives->currentIndex(), 1);

  // The picked stick is gone: no entry is picked, never the one left, and the window knows it.
  volumes_.erase(volumes_.begin() + 1);
  drives->showPopup();
  drives->hidePopup();
  EXPECT_EQ(drives->count(), 1);
  EXPECT_EQ(drives->currentIndex(), -1);
  EXPECT_EQ(window_->model().options().Drive1, "");
}

// A real mount made while the window is open: the kernel's signal on the mount table refreshes
// the list without anyone opening it. Mounting needs root and a system that lets it mount.
TEST_F(QtWindowTest, TheDriveListFollowsAMountMadeAfterTheStart) {
  TempDir place;
  const std::string stick = place.path() + "/stick";
  talvex::testing::MakeDirs(stick);
  if (::mount("tmpfs", stick.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
  }
  ::umount2(stick.c_str(), MNT_DETACH);
  struct Unmount {
    const std::string& path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{stick};

  // The mounts below this test's folder, read from the real table, then the fixture's stick.
  list_volumes_ = [&] {
    std::vector<RemovableVolume> volumes;
    std::ifstream in("/proc/self/mountinfo");
    const std::string table{std::istreambuf_iterator<char>(in), {}};
    for (const MountEntry& mount : ParseMountInfo(table)) {
      if (mount.mount_point.rfind(place.path() + "/", 0) == 0) {
        volumes.push_back({mount.mount_point, {}, mount.device});
      }
    }
    volumes.insert(volumes.end(), volumes_.begin(), volumes_.end());
    return volumes;
  };
  mount_table_ = "/proc/self/mountinfo";
  MainWindow& window = Open();
  auto* drives = Get<QComboBox>("Drive1");
  ASSERT_EQ(drives->count(), 1);

  ASSERT_EQ(::mount("tmpfs", stick.c_str(), "tmpfs", 0, "size=1m"), 0) << std::strerror(errno);
  ASSERT_TRUE(WaitFor([&] { return drives->count() == 2; })) << drives->count();
  EXPECT_EQ(drives->itemText(0).toStdString(), "stick · " + stick);
  // The picked entry stays picked, though it moved down.
  EXPECT_EQ(drives->currentIndex(), 1);

  ASSERT_EQ(::umount2(stick.c_str(), 0), 0) << std::strerror(errno);
  ASSERT_TRUE(WaitFor([&] { return drives->count() == 1; })) << drives->count();
  EXPECT_EQ(window.model().options().Drive1, "TV STICK · 8,0 ГБ");
}

TEST_F(QtWindowTest, EveryControlHasItsTableNameTextsAndPlaceInTheDesktopFontsScale) {
  MainWindow& window = Open();
  const DialogScale scale = DesktopDialogScale(window);
  EXPECT_EQ(window.size(),
            QSize(scale.X(kMainWindow.client_width), scale.Y(kMainWindow.client_height)));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(window.windowIcon().isNull());
  for (const ControlRow& row : kMainControls) {
    QWidget* widget = Get(std::string(row.name).c_str());
    ASSERT_NE(widget, nullptr);
    const QWidget* container =
        row.container.empty() ? &window : Get(std::string(row.container).c_str());
    EXPECT_EQ(widget->parentWidget(), container) << row.name;
    // At its place, within its frame's inside; larger only where its caption needs it.
    QRect place = scale.Rect(row.left, row.top, row.width, row.height);
    if (!row.container.empty()) place &= container->contentsRect();
    EXPECT_EQ(widget->pos(), place.topLeft()) << row.name;
    EXPECT_GE(widget->width(), place.width()) << row.name;
    EXPECT_GE(widget->height(), place.height()) << row.name;
    if (row.kind != ControlKind::kCheckBox && row.kind != ControlKind::kLabel) {
      EXPECT_EQ(widget->size(), place.size()) << row.name;
    }
    EXPECT_EQ(widget->toolTip().toStdString(), std::string(TooltipOf(row))) << row.name;
  }
  EXPECT_EQ(Check("Chsmb")->toolTip().toStdString(),
            " SMB она же CIFS шаринги, используется в Windos системах");
  EXPECT_EQ(Check("Chcopi")->text(), "Copy in TV automatically");
  EXPECT_EQ(Get<QGroupBox>("FrSMB")->title(), "Network settings SMB");
  EXPECT_EQ(Get<QPushButton>("CommanEND")->text(), "GO");
}

TEST_F(QtWindowTest, GoIsArialBoldAndTheSettingsFramesHaveRedCaptions) {
  Open();
  const QFont go = Get("CommanEND")->font();
  EXPECT_EQ(go.family(), "Arial");
  // In proportion to the desktop's font, as the table's 11.25 pt is to the original's 8 pt.
  EXPECT_DOUBLE_EQ(go.pointSizeF(), 11.25 * DesktopDialogScale(*window_).font_ratio);
  EXPECT_TRUE(go.bold());
  // Where Arial itself is missing, fontconfig gives its metric twin.
  const QString face = QFontInfo(go).family();
  EXPECT_TRUE(face == "Arial" || face == "Liberation Sans") << face.toStdString();

  const auto red_pixels = [](QWidget* widget, int top, int height) {
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = top; y < std::min(image.height(), top + height); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor colour = image.pixelColor(x, y);
        if (colour.red() > 200 && colour.green() < 80 && colour.blue() < 80) ++count;
      }
    }
    return count;
  };
  for (const char* name : {"FrSMB", "FrSet"}) {
    QWidget* frame = Get(name);
    EXPECT_GT(red_pixels(frame, 0, 14), 20) << name;
  }
  // The controls inside keep the usual colours, and the other frames' captions are not red.
  EXPECT_EQ(red_pixels(Get("Label10"), 0, 100), 0);
  EXPECT_EQ(red_pixels(Get("CheckUDP"), 0, 100), 0);
  EXPECT_EQ(red_pixels(Get("Frame6"), 0, 14), 0);
}

TEST_F(QtWindowTest, CouplingRulesFollowClicks) {
  MainWindow& window = Open();
  Click(Check("arFix2cip"));
  Click(Check("arFix2"));
  EXPECT_TRUE(Check("arFix2")->isChecked());
  EXPECT_FALSE(Check("arFix2cip")->isChecked());
  Click(Check("arFix2"));
  EXPECT_FALSE(Check("arFix2")->isChecked());
  EXPECT_FALSE(Check("arFix2cip")->isChecked());

  Click(Check("Chavto"));  // disabled: nothing happens
  EXPECT_FALSE(Check("Chavto")->isChecked());
  Click(Check("Chcopi"));
  EXPECT_TRUE(Check("Chavto")->isEnabled());
  Click(Check("Chavto"));
  EXPECT_TRUE(Check("Chavto")->isChecked());
  Click(Check("Chcopi"));
  EXPECT_FALSE(Check("Chavto")->isChecked());
  EXPECT_FALSE(Check("Chavto")->isEnabled());
  EXPECT_EQ(window.model().options().Chavto, options::CheckState::kUnchecked);

  Click(Check("ChNfs"));
  EXPECT_FALSE(Get("FrSet")->isEnabled());
  EXPECT_TRUE(Get("FrSMB")->isEnabled());
  Click(Check("ChNfs"));
  EXPECT_TRUE(Get("FrSet")->isEnabled());
  Click(Check("Chsmb"));
  EXPECT_FALSE(Get("FrSMB")->isEnabled());
  EXPECT_FALSE(EnabledByRecord(window.model().options(), "FrSMB"));
}

TEST_F(QtWindowTest, ASettingsFrameDisablesAllItsChildrenAndGivesThemBackUnchanged) {
  Open();
  QTest::keyClicks(Text("TexSMBsh"), "films");
  const std::vector<const char*> inside = {"Label10", "TexSMBip",  "Label11", "TexSMBsh",
                                           "Label8",  "TexSMBlog", "Label9",  "TexSMBpas"};
  Click(Check("Chsmb"));
  ASSERT_FALSE(Get("FrSMB")->isEnabled());
  for (const char* name : inside) {
    QWidget* child = Get(name);
    EXPECT_FALSE(child->isEnabled()) << name;
    // Disabled through the frame, not one by one.
    EXPECT_FALSE(child->testAttribute(Qt::WA_ForceDisabled)) << name;
  }
  Click(Text("TexSMBsh"));
  QTest::keyClicks(Text("TexSMBsh"), "x");
  EXPECT_EQ(Text("TexSMBsh")->text(), "films");
  Click(Check("Chsmb"));
  for (const char* name : inside) EXPECT_TRUE(Get(name)->isEnabled()) << name;
  EXPECT_EQ(Text("TexSMBsh")->text(), "films");
  EXPECT_EQ(Text("TexSMBlog")->text(), "admin");
  EXPECT_EQ(Text("TexSMBpas")->text(), "vortelin");
  EXPECT_EQ(window_->model().options().TexSMBsh, "films");
}

TEST_F(QtWindowTest, AddressFieldsTakeOnlyWhatTheKeyFilterLetsThroughTypedOrPasted) {
  MainWindow& window = Open();
  QLineEdit* address = Text("TextIP");
  address->setFocus();
  address->selectAll();
  QTest::keyClick(address, Qt::Key_Delete);
  QTest::keyClicks(address, "1a9.2 ,+");
  EXPECT_EQ(address->text(), "19.2 ");
  QTest::keyClick(address, Qt::Key_Backspace);
  EXPECT_EQ(address->text(), "19.2");
  EXPECT_EQ(window.model().options().TextIP, "19.2");

  QGuiApplication::clipboard()->setText(QStringLiteral("10.0.x.7, или так"));
  QTest::keyClick(address, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(address->text(), "19.210.0..7  ");
  EXPECT_EQ(window.model().options().TextIP, "19.210.0..7  ");

  QLineEdit* smb = Text("TexSMBip");
  smb->setFocus();
  smb->selectAll();
  QTest::keyClick(smb, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(smb->text(), "10.0..7  ");

  // The other fields take anything.
  QLineEdit* share = Text("TexSMBsh");
  share->setFocus();
  QTest::keyClicks(share, "Films, 2");
  QTest::keyClick(share, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(share->text(), "Films, 210.0.x.7, или так");
  EXPECT_EQ(window.model().options().TexSMBsh, "Films, 210.0.x.7, или так");
}

TEST_F(QtWindowTest, PastingByTheContextMenuPassesTheKeyFilterToo) {
  MainWindow& window = Open();
  QLineEdit* address = Text("TexSMBip");
  address->setFocus();
  address->selectAll();
  QGuiApplication::clipboard()->setText(QStringLiteral("IP: 10.1.1.2;"));
  QContextMenuEvent menu_request(QContextMenuEvent::Mouse, QPoint(5, 5),
                                 address->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(address, &menu_request);
  ASSERT_TRUE(WaitFor([&] { return QApplication::activePopupWidget() != nullptr; }));
  QAction* paste = nullptr;
  for (QAction* action : QApplication::activePopupWidget()->actions()) {
    if (action->text().startsWith("&Paste")) paste = action;
  }
  ASSERT_NE(paste, nullptr);
  paste->trigger();
  QApplication::activePopupWidget()->close();
  EXPECT_EQ(address->text(), " 10.1.1.2");
  EXPECT_EQ(window.model().options().TexSMBip, " 10.1.1.2");
}

TEST_F(QtWindowTest, TabVisitsTheControlsInOrderAndSkipsDisabledOnes) {
  Open();
  const auto walk = [](std::size_t steps) {
    std::vector<std::string> visited;
    for (std::size_t step = 0; step < steps; ++step) {
      visited.push_back(QApplication::focusWidget()->objectName().toStdString());
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return visited;
  };
  std::vector<std::string> expected;
  for (std::string_view name : kMainTabOrder) {
    if (name != "Chavto") expected.emplace_back(name);
  }
  expected.push_back("Drive1");  // and round again
  EXPECT_EQ(walk(expected.size()), expected);

  Click(Check("Chsmb"));
  Get("Drive1")->setFocus();
  std::vector<std::string> without_smb;
  for (const std::string& name : expected) {
    if (name.rfind("TexSMB", 0) != 0) without_smb.push_back(name);
  }
  EXPECT_EQ(walk(without_smb.size()), without_smb);
}

TEST_F(QtWindowTest, AboutDisablesTheMainWindowUntilEitherWayOfClosingIt) {
  MainWindow& window = Open();
  UrlRecorder urls;
  Click(Get("Command1"));
  ASSERT_NE(window.about(), nullptr);
  AboutWindow* about = window.about();
  EXPECT_TRUE(about->isVisible());
  EXPECT_FALSE(window.isEnabled());
  EXPECT_EQ(about->windowTitle(), "О программе");
  // A dialog owned by the main window: no task bar button of its own, no minimize or maximize.
  EXPECT_EQ(about->windowType(), Qt::Dialog);
  EXPECT_FALSE(about->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(about->windowFlags() & Qt::WindowMaximizeButtonHint);
  ASSERT_NE(about->windowHandle(), nullptr);
  EXPECT_EQ(about->windowHandle()->transientParent(), window.windowHandle());
  const DialogScale scale = DesktopDialogScale(*about);
  EXPECT_EQ(about->size(),
            QSize(scale.X(kAboutWindow.client_width), scale.Y(kAboutWindow.client_height)));
  // Centred over the main window (give or take what the platform's window frames move).
  EXPECT_LE((about->geometry().center() - window.geometry().center()).manhattanLength(), 8);

  // Links open, twice the same, and leave both windows as they were.
  auto* topic = about->findChild<QLabel*>("Label9");
  ASSERT_NE(topic, nullptr);
  EXPECT_EQ(topic->text().toStdString(), std::string(about::kForumTopic));
  Click(topic);
  Click(topic);
  Click(about->findChild<QLabel*>("Label10"));
  Click(about->findChild<QLabel*>("Label5"));  // a heading: opens nothing
  ASSERT_EQ(urls.urls.size(), 3u);
  EXPECT_EQ(urls.urls[0], QUrl(QString::fromUtf8(about::kForumTopic.data())));
  EXPECT_EQ(urls.urls[1], urls.urls[0]);
  EXPECT_EQ(urls.urls[2], QUrl(QString::fromUtf8(about::kProjectPage.data()), QUrl::TolerantMode));
  EXPECT_TRUE(about->isVisible());
  EXPECT_FALSE(window.isEnabled());

  // A click on the main window does nothing while it is disabled.
  Click(Check("mc"));
  EXPECT_FALSE(Check("mc")->isChecked());

  Click(about->findChild<QPushButton*>("Command1"));
  ASSERT_TRUE(WaitFor([&] { return window.about() == nullptr; }));
  EXPECT_TRUE(window.isEnabled());

  // And by the close box.
  Click(Get("Command1"));
  ASSERT_NE(window.about(), nullptr);
  EXPECT_FALSE(window.isEnabled());
  window.about()->close();
  ASSERT_TRUE(WaitFor([&] { return window.about() == nullptr; }));
  EXPECT_TRUE(window.isEnabled());
  Click(Check("mc"));
  EXPECT_TRUE(Check("mc")->isChecked());
}

TEST_F(QtWindowTest, AboutShowsTheTextsAndThePicture) {
  MainWindow& window = Open();
  Click(Get("Command1"));
  AboutWindow* about = window.about();
  ASSERT_NE(about, nullptr);
  for (const ControlRow& row : kAboutControls) {
    QWidget* widget =
        about->findChild<QWidget*>(QString::fromUtf8(row.name.data(), row.name.size()));
    ASSERT_NE(widget, nullptr) << row.name;
    if (row.kind == ControlKind::kLabel) {
      auto* label = qobject_cast<QLabel*>(widget);
      EXPECT_EQ(label->text().toStdString(), std::string(CaptionOf(row))) << row.name;
      const QColor colour = label->palette().color(QPalette::WindowText);
      EXPECT_EQ(colour, QColor(row.colour->red, row.colour->green, row.colour->blue)) << row.name;
      EXPECT_EQ(label->font().bold(), row.font.bold) << row.name;
    }
  }
  auto* picture = about->findChild<QLabel*>("Image1");
  ASSERT_NE(picture, nullptr);
  // As large as its place lets it be, in its own proportions.
  EXPECT_EQ(picture->pixmap().size(), QSize(253, 173).scaled(picture->size(), Qt::KeepAspectRatio));
  // Where the picture is clear, the window's background shows, as around the screen's corners.
  const QImage drawn = picture->grab().toImage();
  const QColor background = about->palette().color(QPalette::Window);
  const QSize shown = picture->pixmap().size();
  for (const QPoint corner :
       {QPoint(0, 0), QPoint(shown.width() - 1, 0), QPoint(0, shown.height() - 1)}) {
    EXPECT_EQ(drawn.pixelColor(corner * drawn.devicePixelRatio()), background)
        << corner.x() << "," << corner.y();
  }
  EXPECT_NE(
      drawn.pixelColor(QPoint(shown.width() / 2, shown.height() / 2) * drawn.devicePixelRatio()),
      background);
  EXPECT_EQ(about->findChild<QLabel*>("Label4")->text().toStdString(),
            "Автоматическая настройка      Talvex All Extensions.");
  EXPECT_EQ(about->findChild<QPushButton*>("Command1")->text(), "Спасибо!");
  const auto* version = about->findChild<QLabel*>("Version");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text(), TALVEX_VERSION);
  EXPECT_TRUE(about->rect().contains(version->geometry()));
  about->close();
}

// The room a caption needs, measured with the font the control got: the text's advance plus
// what the style puts beside it, and one line of text high.
std::vector<std::string> CaptionsTooBig(const QWidget& window, double* widest_share) {
  std::vector<std::string> too_big;
  *widest_share = 0;
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    const QFontMetrics metrics(widget->font());
    const QStyle* style = widget->style();
    QString text;
    int room = widget->width();
    int height_needed = metrics.height();
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
      text = box->text();
      room -= style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
              style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      text = button->text();
      room -= 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
      height_needed += 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    } else if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
      text = label->text();
      if (label->wordWrap()) {
        const QRect wrapped = metrics.boundingRect(QRect(0, 0, room, 1000), Qt::TextWordWrap, text);
        if (wrapped.height() > widget->height() || wrapped.width() > room) {
          too_big.push_back(widget->objectName().toStdString());
        }
        continue;
      }
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget); frame && !frame->title().isEmpty()) {
      QStyleOptionGroupBox option;
      option.initFrom(frame);
      option.text = frame->title();
      option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
      const QRect title_rect =
          style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
      text = frame->title();
      room = frame->width() - title_rect.left();
      height_needed = metrics.height();
    } else {
      continue;
    }
    const int width = metrics.horizontalAdvance(text);
    *widest_share = std::max(*widest_share, static_cast<double>(width) / room);
    if (width > room || height_needed > widget->height()) {
      too_big.push_back(widget->objectName().toStdString());
    }
  }
  return too_big;
}

TEST_F(QtWindowTest, EveryCaptionFitsItsControl) {
  MainWindow& window = Open();
  double widest = 0;
  EXPECT_EQ(CaptionsTooBig(window, &widest), std::vector<std::string>{});
  const QFont dialog = Get("Chcopi")->font();
  std::printf(
      "main window: dialog font %s (%s) %.2f pt, %d px high; widest caption %.0f%% of its "
      "room\n",
      dialog.family().toUtf8().constData(), QFontInfo(dialog).family().toUtf8().constData(),
      dialog.pointSizeF(), QFontMetrics(dialog).height(), widest * 100);
  // The dialog font shrinks only as far as it must: one step bigger, something would not fit.
  EXPECT_LE(window.dialog_scale(), 1.0);

  Click(Get("Command1"));
  ASSERT_NE(window.about(), nullptr);
  EXPECT_EQ(CaptionsTooBig(*window.about(), &widest), std::vector<std::string>{});
  std::printf("About window: title %.2f pt, widest caption %.0f%% of its room\n",
              window.about()->findChild<QLabel*>("Label4")->font().pointSizeF(), widest * 100);
  window.about()->close();
}

// The controls a frame cuts: those reaching out of the frame's inside (its border and its
// caption's band), and check marks cut by their own box.
std::vector<std::string> ControlsCut(const QWidget& window) {
  std::vector<std::string> cut;
  for (QGroupBox* frame : window.findChildren<QGroupBox*>()) {
    for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!child->isWindow() && !frame->contentsRect().contains(child->geometry())) {
        cut.push_back(child->objectName().toStdString() + " in " +
                      frame->objectName().toStdString());
      }
    }
  }
  for (QCheckBox* box : window.findChildren<QCheckBox*>()) {
    QStyleOptionButton option;
    option.initFrom(box);
    if (!box->rect().contains(
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box))) {
      cut.push_back(box->objectName().toStdString() + "'s check mark");
    }
  }
  return cut;
}

// A caption stands in its frame's border: the border's top runs through the caption's middle.
std::vector<std::string> CaptionsOffTheirBorders(const QWidget& window) {
  std::vector<std::string> off;
  for (QGroupBox* frame : window.findChildren<QGroupBox*>()) {
    if (frame->title().isEmpty()) continue;
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QStyle& style = *frame->style();
    const QRect border =
        style.subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, frame);
    const QRect label =
        style.subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
    if (border.top() <= label.top() || border.top() >= label.bottom()) {
      off.push_back(frame->objectName().toStdString());
    }
  }
  return off;
}

// The frames whose border is not drawn whole: each of its four lines must show the shadow colour
// at its middle, in the pixels the screen has (at a scale of 1.5 a logical pixel is not one).
std::vector<std::string> FramesNotWhole(QWidget& window) {
  std::vector<std::string> broken;
  // The window as a whole: a frame's place in it decides where its lines fall on the screen.
  const QImage drawn = window.grab().toImage();
  const qreal ratio = drawn.devicePixelRatio();
  for (QGroupBox* frame : window.findChildren<QGroupBox*>()) {
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect border = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                        QStyle::SC_GroupBoxFrame, frame);
    const QColor shadow = frame->palette().color(QPalette::Dark);
    // Whether the shadow shows across the line's two logical pixels from `at` (its outer edge),
    // going in by `inward`.
    const auto shows = [&](QPoint at, QPoint inward) {
      for (int step = 0; step < static_cast<int>(2 * ratio) + 1; ++step) {
        const QPoint device =
            (QPointF(frame->mapTo(&window, at)) * ratio + QPointF(inward) * step).toPoint();
        if (drawn.pixelColor(device).rgb() == shadow.rgb()) return true;
      }
      return false;
    };
    const QPoint middle = border.center();
    if (!shows({border.right() - 8, border.top()}, {0, 1}) ||
        !shows({middle.x(), border.bottom()}, {0, -1}) ||
        !shows({border.left(), middle.y()}, {1, 0}) ||
        !shows({border.right(), middle.y()}, {-1, 0})) {
      broken.push_back(frame->objectName().toStdString());
    }
  }
  return broken;
}

// The desktop's usual fonts: the layout grows with them, every caption whole at the font's own
// size, nothing over a frame's border and every border whole. The same test runs again with
// QT_SCALE_FACTOR 1.5 and 2.
TEST_F(QtWindowTest, CaptionsAndFramesFitAtTheDesktopsFont) {
  const QFont desktop = QApplication::font();
  struct Restore {
    QFont font;
    ~Restore() { QApplication::setFont(font); }
  } restore{desktop};
  int last_width = 0;
  for (const int points : {9, 10, 11}) {
    SCOPED_TRACE(points);
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), points));
    MainWindow& window = Open();
    ASSERT_EQ(QFontInfo(Get("Chcopi")->font()).family(), "DejaVu Sans");
    // The dialog font at the desktop's size, not shrunk to fit.
    EXPECT_EQ(window.dialog_scale(), 1.0);
    EXPECT_DOUBLE_EQ(Get("Chcopi")->font().pointSizeF(), points);
    const DialogScale scale = DesktopDialogScale(window);
    EXPECT_EQ(window.size(),
              QSize(scale.X(kMainWindow.client_width), scale.Y(kMainWindow.client_height)));
    EXPECT_GT(window.width(), last_width);
    last_width = window.width();
    double widest = 0;
    EXPECT_EQ(CaptionsTooBig(window, &widest), std::vector<std::string>{});
    EXPECT_EQ(ControlsCut(window), std::vector<std::string>{});
    EXPECT_EQ(CaptionsOffTheirBorders(window), std::vector<std::string>{});
    EXPECT_EQ(FramesNotWhole(window), std::vector<std::string>{});

    Click(Get("Command1"));
    AboutWindow* about = window.about();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->dialog_scale(), 1.0);
    EXPECT_EQ(about->size(),
              QSize(scale.X(kAboutWindow.client_width), scale.Y(kAboutWindow.client_height)));
    EXPECT_EQ(CaptionsTooBig(*about, &widest), std::vector<std::string>{});
    // The title keeps to its two lines above the picture, the product name whole on the second.
    const auto* title = about->findChild<QLabel*>("Label4");
    EXPECT_LT(title->heightForWidth(title->width()), 3 * QFontMetrics(title->font()).lineSpacing());
    const auto* picture = about->findChild<QLabel*>("Image1");
    const QImage drawn = picture->pixmap().toImage();
    int clear_rows = 0;
    while (clear_rows < drawn.height() && qAlpha(drawn.pixel(drawn.width() / 2, clear_rows)) == 0) {
      ++clear_rows;
    }
    EXPECT_LE(title->geometry().bottom(),
              picture->y() + clear_rows / static_cast<int>(drawn.devicePixelRatio()))
        << "over the picture";
    about->close();
    ASSERT_TRUE(WaitFor([&] { return window.about() == nullptr; }));
    window_.reset();
  }
}

TEST_F(QtWindowTest, DescriptionOpensTheReadmeInTheDesktopsEditor) {
  Open();
  UrlRecorder urls;
  Click(Get("CmdReadme"));
  ASSERT_EQ(urls.urls.size(), 1u);
  EXPECT_EQ(urls.urls[0],
            QUrl::fromLocalFile(QString::fromStdString(kit_.path() + "/Talvex/readme.txt")));
}

// Where no application opens the readme, a message says so and shows the path to copy.
TEST_F(QtWindowTest, WithoutADefaultApplicationTheReadmesPathIsShown) {
  Open();
  BoxAnswerer answer(QMessageBox::Ok);
  Click(Get("CmdReadme"));  // the offscreen desktop opens nothing
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(answer.seen[0].text, ToQString(kNothingOpens));
  EXPECT_EQ(answer.seen[0].details, QString::fromStdString(kit_.path() + "/Talvex/readme.txt"));
}

// Dead keys and input methods commit text without key presses: the address filter holds there
// too, and the other fields take what is committed.
TEST_F(QtWindowTest, InputMethodCommitsIntoAddressFieldsAreFiltered) {
  Open();
  struct Case {
    const char* field;
    const char* committed;
    const char* left;
  };
  for (const Case& c :
       {Case{"TextIP", "10.0.0.7\u00b0", "10.0.0.7"}, Case{"TexSMBip", "\u00e9\u00e0\u00fc", ""},
        Case{"TexSMBlog", "\u00e9l\u00e8ve", "\u00e9l\u00e8ve"}}) {
    QLineEdit* box = Text(c.field);
    box->clear();
    box->setFocus();
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8(c.committed));
    QApplication::sendEvent(box, &commit);
    EXPECT_EQ(box->text(), QString::fromUtf8(c.left)) << c.field;
  }
}

// Keys as a desktop user expects: Enter clicks the focused button, Escape and Enter close About,
// and the focus comes back to the About button.
TEST_F(QtWindowTest, EnterClicksTheFocusedButtonAndEscapeOrEnterCloseAbout) {
  MainWindow& window = Open();
  window.activateWindow();
  {
    // About opens on its button; Tab reaches the links, and Enter or Space opens one.
    UrlRecorder urls;
    Get("Command1")->setFocus();
    QTest::keyClick(Get("Command1"), Qt::Key_Return);
    QPointer<AboutWindow> about = window.about();
    ASSERT_TRUE(QTest::qWaitForWindowActive(about.data()));
    ASSERT_NE(about->focusWidget(), nullptr);
    EXPECT_EQ(about->focusWidget()->objectName(), "Command1");
    QTest::keyClick(about->focusWidget(), Qt::Key_Tab);
    QWidget* link = about->focusWidget();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->objectName(), "Label6");
    QTest::keyClick(link, Qt::Key_Return);
    QTest::keyClick(link, Qt::Key_Space);
    EXPECT_EQ(urls.urls, (std::vector<QUrl>(2, QUrl(ToQString(about::kMaker.page)))));
    ASSERT_FALSE(about.isNull());
    about->close();
    ASSERT_TRUE(WaitFor([&] { return window.about() == nullptr; }));
  }
  for (const Qt::Key close_key : {Qt::Key_Escape, Qt::Key_Return}) {
    QWidget* about_button = Get("Command1");
    about_button->setFocus();
    QTest::keyClick(about_button, Qt::Key_Return);
    ASSERT_NE(window.about(), nullptr);
    QPointer<AboutWindow> about = window.about();
    QTest::keyClick(about.data(), close_key);
    QTest::qWait(20);
    EXPECT_TRUE(about.isNull()) << close_key;
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(window.focusWidget(), about_button) << close_key;
  }
}

// The closed box names each volume by its label (or its folder's name) and size, cut at the end
// where the box is too narrow; the open list and the tooltip add the mount point and the device.
TEST_F(QtWindowTest, EachDriveEntryShowsItsNameAndSizeAndSaysWhereItIs) {
  constexpr std::uint64_t kStick = 16'000'000'000;
  TempDir media;
  struct Row {
    RemovableVolume volume;
    const char* whole;
  };
  const std::vector<Row> rows = {
      {{media.path() + "/KINGSTON", "KINGSTON", "8:17", "/dev/sdb1", kStick}, "KINGSTON · 14,9 ГБ"},
      {{media.path() + "/disk", "", "8:33", "/dev/sdc1", kStick}, "disk · 14,9 ГБ"},
      {{media.path() + "/L", "A LONG LABEL", "8:49", "/dev/sdd1", kStick},
       "A LONG LABEL · 14,9 ГБ"},
  };
  for (const Row& row : rows) talvex::testing::MakeDirs(row.volume.mount_point);
  list_volumes_ = [&] {
    std::vector<RemovableVolume> volumes;
    for (const Row& row : rows) volumes.push_back(row.volume);
    return volumes;
  };
  Open();
  auto* drives = Get<DriveList>("Drive1");
  ASSERT_EQ(drives->count(), static_cast<int>(rows.size()));
  for (int i = 0; i < drives->count(); ++i) {
    const Row& row = rows[static_cast<std::size_t>(i)];
    SCOPED_TRACE(row.whole);
    drives->setCurrentIndex(i);
    const QString shown = drives->ShownText();
    EXPECT_TRUE(ShowsTheStartOf(shown, row.whole)) << shown.toStdString();
    EXPECT_GE(shown.size(), 4) << "a few letters of the name at least";
    const QString where =
        QString::fromStdString(" · " + row.volume.mount_point + " (" + row.volume.source + ")");
    EXPECT_EQ(drives->itemText(i), QString::fromUtf8(row.whole) + where);
    EXPECT_EQ(drives->itemData(i, Qt::ToolTipRole).toString(), drives->itemText(i));
  }
}

// What a screen reader says of the windows and their controls: each window as a frame or a
// dialog, each field by its label and its frame, each link by its address, the picture by name.
TEST_F(QtWindowTest, ScreenReadersHearEachWindowAndControlByRoleAndName) {
  MainWindow& window = Open();
  Click(Get("Command1"));
  ASSERT_NE(window.about(), nullptr);
  AboutWindow& about = *window.about();
  const auto in_about = [&about](const char* name) {
    return about.findChild<QWidget*>(QString::fromLatin1(name));
  };
  struct Row {
    QWidget* widget;
    QAccessible::Role role;
    std::string_view name;
  };
  const Row rows[] = {
      {&window, QAccessible::Window, "Talvex - Auto"},
      {Get("TexSMBip"), QAccessible::EditableText, "IP-address, Network settings SMB"},
      {Get("TexSMBsh"), QAccessible::EditableText, "Folder name, Network settings SMB"},
      {Get("TexSMBlog"), QAccessible::EditableText, "Login, Network settings SMB"},
      {Get("TexSMBpas"), QAccessible::EditableText, "Password, Network settings SMB"},
      {Get("TextIP"), QAccessible::EditableText, "IP-address, Network setting NFS"},
      {&about, QAccessible::Dialog, "О программе"},
      {in_about("Label6"), QAccessible::Link, about::kMaker.name},
      {in_about("Label9"), QAccessible::Link, about::kForumTopic},
      {in_about("Label10"), QAccessible::Link, about::kProjectPage},
      {in_about("Image1"), QAccessible::Graphic, kPictureName},
  };
  for (const Row& row : rows) {
    ASSERT_NE(row.widget, nullptr) << row.name;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(row.widget);
    ASSERT_NE(accessible, nullptr) << row.name;
    EXPECT_EQ(accessible->role(), row.role) << row.name;
    EXPECT_EQ(accessible->text(QAccessible::Name), ToQString(row.name)) << row.name;
  }
  about.close();
}

TEST_F(QtWindowTest, GoBuildsTheTreeAndNoLeavesTheWindowAsItWas) {
  MainWindow& window = Open();
  UrlRecorder urls;
  QTest::keyClicks(Text("TexSMBsh"), "films");
  const options::BuildOptions before = window.model().options();
  BoxAnswerer answer(QMessageBox::No);
  Go();

  EXPECT_TRUE(talvex::testing::IsDirectory(Built("Talvex/opt/brandeval/usr/sbin")));
  EXPECT_TRUE(talvex::testing::PathExists(Built("Talvex/etc/init.d/access_nfs")));
  EXPECT_TRUE(talvex::testing::PathExists(Built("Talvex/etc/init.d/access_smb")));
  ASSERT_EQ(answer.seen.size(), 1u);
  const BoxAnswerer::Seen& box = answer.seen[0];
  EXPECT_EQ(box.title, "Поздравляю, всё готово!");
  EXPECT_TRUE(box.text.startsWith(QString::fromStdString("Собранно на диск \"" + drive_.path() +
                                                         "\"\nПапка \"Talvex\"\nРазмер сборки ")))
      << box.text.toStdString();
  EXPECT_TRUE(box.text.endsWith("\n\nЗакрыть программу конфигуратор Talvex-Auto?"));
  EXPECT_EQ(box.icon, QMessageBox::Question);
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_TRUE(box.yes_is_default);

  QApplication::processEvents();
  EXPECT_TRUE(window.isVisible());
  ExpectSameChoices(window.model().options(), before);
  EXPECT_TRUE(Check("Chupnp")->isChecked());
  EXPECT_TRUE(Get("CommanEND")->isEnabled());
  EXPECT_EQ(window.model().phase(), Phase::kIdle);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(urls.urls.empty());
}

// An address no television mounts is asked about at GO, naming its field, No the default; the
// build writes an address without the spaces around it.
TEST_F(QtWindowTest, GoAsksAboutAnImpossibleAddressAndWritesItTrimmed) {
  Open();
  QLineEdit* address = Text("TextIP");
  address->clear();
  QTest::keyClicks(address, " 1 2  3 ");
  for (const QMessageBox::StandardButton said : {QMessageBox::No, QMessageBox::Yes}) {
    BoxAnswerer answer({said, QMessageBox::No});
    Go();
    ASSERT_GE(answer.seen.size(), 1u);
    const std::string asked = answer.seen[0].text.toStdString();
    EXPECT_EQ(asked, *ImpossibleAddressQuestion(window_->model().options()));
    EXPECT_NE(asked.find("\"IP-address\" (Network setting NFS)"), std::string::npos) << asked;
    EXPECT_FALSE(answer.seen[0].yes_is_default);
    EXPECT_EQ(talvex::testing::PathExists(Built("Talvex")), said == QMessageBox::Yes);
  }
  EXPECT_EQ(talvex::testing::ReadBytes(Built("Talvex/etc/init.d/access_nfs")).substr(0, 17),
            "SERVER=\"1 2  3\" #");
}

TEST_F(QtWindowTest, YesOpensThePvrSettingsAndClosesTheWindow) {
  MainWindow& window = Open();
  UrlRecorder urls;
  Click(Check("pvr"));
  BoxAnswerer answer(QMessageBox::Yes);
  Go();
  EXPECT_TRUE(talvex::testing::IsDirectory(Built("PVR")));
  ASSERT_EQ(answer.seen.size(), 1u);
  ASSERT_TRUE(WaitFor([&] { return !window.isVisible(); }));
  ASSERT_EQ(urls.urls.size(), 1u);
  EXPECT_EQ(urls.urls[0],
            QUrl::fromLocalFile(QString::fromStdString(kit_.path() + "/PVR/pvr.ini")));
}

TEST_F(QtWindowTest, YesWithoutPvrOnlyCloses) {
  MainWindow& window = Open();
  UrlRecorder urls;
  BoxAnswerer answer(QMessageBox::Yes);
  Go();
  ASSERT_EQ(answer.seen.size(), 1u);
  ASSERT_TRUE(WaitFor([&] { return !window.isVisible(); }));
  EXPECT_TRUE(urls.urls.empty());
}

TEST_F(QtWindowTest, WithoutAFlashDriveGoExplainsAndTouchesNothing) {
  platform::FaultInjectingFileSystem guard(platform::NativeFileSystem());
  guard.RefuseAllChanges(13);
  file_system_ = &guard;
  volumes_.clear();
  MainWindow& window = Open();
  EXPECT_EQ(Get<QComboBox>("Drive1")->count(), 0);
  BoxAnswerer answer(QMessageBox::Ok);
  Go();
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(answer.seen[0].text.toStdString(), std::string(kNoFlashDrive));
  EXPECT_EQ(answer.seen[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(guard.journal().empty());
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.model().phase(), Phase::kIdle);
  EXPECT_TRUE(Get("CommanEND")->isEnabled());
}

TEST_F(QtWindowTest, WithoutAKitGoExplainsAndTouchesNothing) {
  platform::FaultInjectingFileSystem guard(platform::NativeFileSystem());
  guard.RefuseAllChanges(13);
  file_system_ = &guard;
  talvex::testing::MakeFile(Built("Talvex/keep.txt"), "the stick's own");
  MainWindow& window = Open();
  std::filesystem::rename(kit_.path() + "/Talvex", kit_.path() + "/Talvex.moved");
  BoxAnswerer answer(QMessageBox::Ok);
  Go();
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(answer.seen[0].text.toStdString(), build::NoKitMessage(kit_.path()));
  EXPECT_EQ(answer.seen[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(guard.journal().empty());
  EXPECT_TRUE(talvex::testing::PathExists(Built("Talvex/keep.txt")));
  EXPECT_EQ(window.model().phase(), Phase::kIdle);
  EXPECT_TRUE(Get("CommanEND")->isEnabled());
}

// GO builds onto the drive picked, as it was when picked, or nowhere: a stick must still be
// listed at its mount point from the same device with the same root folder, a folder named on the
// command line must still be the same folder, and a drive that is not removable needs a yes. The
// list never moves a pick to another entry. Two sticks are mounted in a fake system whose table
// the test changes; the command line's folder comes first.
TEST_F(QtWindowTest, GoBuildsOnlyOnThePickedDriveAsItWasWhenPicked) {
  TempDir place;
  const std::string folder = place.path() + "/stick", first = place.path() + "/FIRST",
                    second = place.path() + "/SECOND";
  std::unique_ptr<talvex::testing::FakeSystem> system;
  std::unique_ptr<platform::FaultInjectingFileSystem> guard;
  enum class Outcome { kBuilt, kNonePicked, kChanged, kDeclined };
  struct Case {
    const char* what;
    bool plain_folder;  // the command line's folder is picked, else the second stick
    std::function<void()> change;
    bool read_again;  // the list is read again (as when it drops down) before GO
    Outcome outcome;
    int entries_after;
    QMessageBox::StandardButton answer = QMessageBox::No;
  };
  const auto unplug = [&] { system->Unmount(second); };
  const auto lazy_unmount = [&] {
    std::filesystem::rename(folder, folder + "-aside");
    std::filesystem::create_directory(folder);
  };
  const std::vector<Case> cases = {
      {"unplugged", false, unplug, false, Outcome::kChanged, 2},
      {"unplugged, the list read again: no pick, not the other stick", false, unplug, true,
       Outcome::kNonePicked, 2},
      {"another device mounted there", false, [&] { unplug(), system->Mount("8:49", second); },
       false, Outcome::kChanged, 3},
      {"a dead mount: dropped", false,
       [&] { guard->FailOn(platform::FsOperation::kOpenDirectory, second, ENOTCONN); }, false,
       Outcome::kChanged, 2},
      {"the folder's stick unmounted lazily", true, lazy_unmount, false, Outcome::kChanged, 3},
      {"the same, the list read again", true, lazy_unmount, true, Outcome::kNonePicked, 3},
      {"the folder removed", true, [&] { std::filesystem::remove_all(folder); }, false,
       Outcome::kChanged, 2},
      {"the same folder, not removable: No", true, [] {}, false, Outcome::kDeclined, 3},
      {"the same folder, not removable: Yes", true, [] {}, false, Outcome::kBuilt, 3,
       QMessageBox::Yes},
      {"the second stick", false, [] {}, false, Outcome::kBuilt, 3},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    std::filesystem::remove_all(place.path());
    for (const std::string& drive : {folder, first, second}) {
      talvex::testing::MakeFile(drive + "/Talvex/keep.txt", "the drive's own");
    }
    system = std::make_unique<talvex::testing::FakeSystem>();
    system->AddSystemDisk();
    system->AddPartition("8:17", talvex::testing::kUsbDisk, "sdb1");
    system->AddPartition("8:33", talvex::testing::kSecondUsbDisk, "sdc1");
    system->AddPartition("8:49", talvex::testing::kCardReader, "sdd1", true);
    system->Mount("8:17", first);
    system->Mount("8:33", second);
    list_volumes_ = [&] {
      std::vector<RemovableVolume> volumes =
          platform::posix::ListRemovableVolumes(system->root(), kit_.path());
      volumes.insert(volumes.begin(), RemovableVolume{folder, {}, {}});
      return volumes;
    };
    guard = std::make_unique<platform::FaultInjectingFileSystem>(platform::NativeFileSystem());
    file_system_ = guard.get();
    const std::string picked = test.plain_folder ? folder : second;
    MainWindow& window = Open();
    auto* drives = Get<QComboBox>("Drive1");
    ASSERT_EQ(drives->count(), 3);
    if (!test.plain_folder) {
      drives->setCurrentIndex(2);
      emit drives->activated(2);
    }
    ASSERT_EQ(window.model().drive_pick()->root, picked);
    const std::vector<std::string> first_before = talvex::testing::TreeListing(first);
    test.change();
    if (test.read_again) {
      drives->showPopup();
      drives->hidePopup();
      EXPECT_EQ(drives->currentIndex(), -1);
    }
    BoxAnswerer answer({test.answer, QMessageBox::No});
    Go();
    ASSERT_GE(answer.seen.size(), 1u);
    const std::map<Outcome, std::string> told = {
        {Outcome::kBuilt, "Поздравляю, всё готово!"},
        {Outcome::kNonePicked, std::string(kNoFlashDrive)},
        {Outcome::kChanged, DriveChangedMessage(picked)},
        {Outcome::kDeclined, NotRemovableDriveQuestion(folder)}};
    const BoxAnswerer::Seen& last = answer.seen.back();
    EXPECT_EQ((test.outcome == Outcome::kBuilt ? last.title : last.text).toStdString(),
              told.at(test.outcome));
    // Asked only when the drive is no stick, and then with No the default.
    const bool asked = test.outcome == Outcome::kDeclined ||
                       (test.outcome == Outcome::kBuilt && test.plain_folder);
    EXPECT_EQ(answer.seen.size(), test.outcome == Outcome::kBuilt && asked ? 2u : 1u);
    if (asked) {
      EXPECT_FALSE(answer.seen[0].yes_is_default);
    }
    if (test.outcome == Outcome::kBuilt) {
      EXPECT_FALSE(talvex::testing::PathExists(picked + "/Talvex/keep.txt"));
    } else {
      EXPECT_EQ(last.icon, QMessageBox::Warning);
      EXPECT_TRUE(guard->journal().empty());
    }
    EXPECT_EQ(talvex::testing::TreeListing(first), first_before);
    EXPECT_EQ(drives->count(), test.entries_after);
    EXPECT_EQ(window.model().phase(), Phase::kIdle);
    window_.reset();
  }
}

TEST_F(QtWindowTest, ABuildThatWouldDeleteItsKitIsRefusedWithAWarning) {
  volumes_ = {{kit_.path(), {}, "8:17"}};
  MainWindow& window = Open();
  BoxAnswerer answer(QMessageBox::Yes);
  Go();
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(answer.seen[0].icon, QMessageBox::Warning);
  EXPECT_EQ(answer.seen[0].title, "Talvex - Auto");
  EXPECT_TRUE(talvex::testing::PathExists(kit_.path() + "/Talvex/readme.txt"));
  QApplication::processEvents();
  EXPECT_TRUE(window.isVisible());
}

// Counts the paint events a widget gets.
class PaintCounter final : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(QtWindowTest, DuringABuildTheWindowIsLockedBusyAndRepaintedAndDropsInput) {
  SlowDrive slow(drive_.path(), std::chrono::milliseconds(20));
  file_system_ = &slow.fs;
  MainWindow& window = Open();
  QWidget* go = Get("CommanEND");
  auto* drives = Get<QComboBox>("Drive1");
  TempDir second;
  PaintCounter painted;
  Get("Frame1")->installEventFilter(&painted);
  const options::BuildOptions before = window.model().options();

  BoxAnswerer answer(QMessageBox::No);
  ASSERT_TRUE(GoAndWaitForTheCopy());
  ProgressWindow* progress = window.progress();
  EXPECT_TRUE(progress->isVisible());
  EXPECT_EQ(progress->windowModality(), Qt::NonModal);
  EXPECT_EQ(progress->parentWidget(), &window);
  EXPECT_FALSE(go->isEnabled());
  EXPECT_FALSE(Check("mc")->isEnabled());
  EXPECT_FALSE(Get("TextIP")->isEnabled());
  EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
  const int paints_before = painted.paints;
  Get("Frame1")->update();
  EXPECT_TRUE(WaitFor([&] { return painted.paints > paints_before; }));

  // What is clicked and typed meanwhile is dropped, not acted on when the build is over.
  for (const char* box : {"mc", "Chftp", "Chupnp", "pvr"}) Click(Check(box));
  Click(Text("TexSMBsh"));
  QTest::keyClicks(Text("TexSMBsh"), "films");
  QTest::keyClicks(Text("TextIP"), "9");
  Click(go);
  Click(Get("Command1"));
  // A stick plugged in meanwhile shows once the build is over.
  volumes_.push_back({second.path(), {}, "8:33"});
  drives->showPopup();
  drives->hidePopup();
  EXPECT_EQ(drives->count(), 1);

  // The close box asks; No lets the build go on.
  window.close();
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(answer.seen[0].text.toStdString(), std::string(kCloseDuringBuildQuestion));
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.progress(), progress);

  // The measurement takes no input either.
  ASSERT_TRUE(WaitFor([&] { return StageShown() == "Подсчёт размера"; }, 60000));
  EXPECT_FALSE(Check("mc")->isEnabled());
  Click(Check("mc"));
  ASSERT_TRUE(WaitFor([&] { return !Building(); }, 60000));

  // One build, one report.
  ASSERT_EQ(answer.seen.size(), 2u);
  EXPECT_EQ(answer.seen[1].title, "Поздравляю, всё готово!");
  EXPECT_EQ(slow.flushes, 2);  // what was written, then the renames that put it in place
  ExpectSameChoices(window.model().options(), before);
  EXPECT_EQ(Text("TexSMBsh")->text(), "");
  EXPECT_FALSE(Check("mc")->isChecked());
  EXPECT_EQ(drives->count(), 2);
  EXPECT_EQ(drives->currentIndex(), 0);
  EXPECT_EQ(window.about(), nullptr);
  EXPECT_TRUE(go->isEnabled());
  EXPECT_NE(window.cursor().shape(), Qt::WaitCursor);
  EXPECT_TRUE(window.isVisible());
}

// The window's thread handles its events (a timer at 20 ms) throughout a build onto a slow stick,
// and the progress window names every stage. TALVEX_GAP_TARGET names a real volume's folder to
// measure instead, with a file of TALVEX_GAP_FILE_MIB MiB in PVR (a sparse one: the kit's disk
// reads it as zeros, the volume writes it whole).
TEST_F(QtWindowTest, ABuildLeavesTheWindowHandlingEventsAndShowsEveryStage) {
  std::string target = drive_.path();
  SlowDrive slow(target, std::chrono::milliseconds(25));
  file_system_ = &slow.fs;
  const char* real_volume = std::getenv("TALVEX_GAP_TARGET");
  if (real_volume != nullptr) {
    target = real_volume;
    file_system_ = &platform::NativeFileSystem();
    const char* mib = std::getenv("TALVEX_GAP_FILE_MIB");
    const std::string big = kit_.path() + "/PVR/big.ts";
    talvex::testing::MakeFile(big);
    std::filesystem::resize_file(
        big, std::uintmax_t{mib != nullptr ? std::strtoull(mib, nullptr, 10) : 1024} << 20);
    volumes_ = {{target, {}, "as a listed stick"}};
  }
  // An old build for the removal to take away.
  talvex::testing::MakeFile(target + "/Talvex/etc/old.txt", "old");
  Open();
  if (real_volume != nullptr) Click(Check("pvr"));

  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> ticks;
  QTimer ticker;
  ticker.setInterval(20);
  QObject::connect(&ticker, &QTimer::timeout, [&] { ticks.push_back(Clock::now()); });
  std::vector<QString> stages;
  QTimer watcher;
  watcher.setInterval(2);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    const QString shown = StageShown();
    if (!shown.isEmpty() && (stages.empty() || stages.back() != shown)) stages.push_back(shown);
  });

  BoxAnswerer answer(QMessageBox::No);
  ticker.start();
  watcher.start();
  ticks.push_back(Clock::now());
  Go(real_volume != nullptr ? 600000 : 60000);
  ticks.push_back(Clock::now());
  ticker.stop();
  watcher.stop();

  Clock::duration longest{};
  int over_50_ms = 0;
  for (std::size_t tick = 1; tick < ticks.size(); ++tick) {
    const Clock::duration gap = ticks[tick] - ticks[tick - 1];
    longest = std::max(longest, gap);
    if (gap > std::chrono::milliseconds(50)) ++over_50_ms;
  }
  const auto longest_ms = std::chrono::duration_cast<std::chrono::milliseconds>(longest).count();
  std::printf(
      "build of %.1f s: longest gap between the window's 20 ms ticks %lld ms; %d of %zu "
      "gaps over 50 ms\n",
      std::chrono::duration<double>(ticks.back() - ticks.front()).count(),
      static_cast<long long>(longest_ms), over_50_ms, ticks.size() - 1);
  EXPECT_LT(longest_ms, 100);
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(answer.seen[0].title, "Поздравляю, всё готово!");
  EXPECT_FALSE(talvex::testing::PathExists(target + "/Talvex/etc/old.txt"));

  // Each stage, in the build's order. (A real volume may pass some quicker than the eye.)
  if (real_volume != nullptr) return;
  QStringList seen_in_order;
  for (const QString& stage : stages) {
    if (!seen_in_order.contains(stage)) seen_in_order.push_back(stage);
  }
  EXPECT_EQ(seen_in_order.join(", ").toStdString(),
            "Сравнение с флешкой, Запись, Сброс на диск, Проверка записанного, "
            "Замена старых файлов новыми, Подсчёт размера");
}

TEST_F(QtWindowTest, StopEndsTheBuildWithAReportThatSaysSo) {
  SlowDrive slow(drive_.path(), std::chrono::milliseconds(25));
  file_system_ = &slow.fs;
  MainWindow& window = Open();
  BoxAnswerer answer(QMessageBox::No);
  ASSERT_TRUE(GoAndWaitForTheCopy());
  ProgressWindow* progress = window.progress();
  // Far enough for the bar to show it in the screenshot.
  ASSERT_TRUE(WaitFor([&] { return progress->bar()->value() * 8 > progress->bar()->maximum(); }));
  EXPECT_FALSE(progress->item()->text().isEmpty());
  EXPECT_EQ(progress->stop()->text(), "Стоп");

  // The screenshot for the README, taken while the build copies, with its speed once known.
  WaitFor([&] { return progress->figures()->text().contains("/с"); }, 3000);
  const QString folder = QStringLiteral(TALVEX_SCREENSHOTS);
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString file = folder + "/progress_window.png";
  QFile::remove(file);
  ASSERT_TRUE(progress->grab().save(file));
  EXPECT_EQ(QImage(file).size(), progress->size() * progress->devicePixelRatio());

  Click(progress->stop());
  EXPECT_FALSE(progress->stop()->isEnabled());
  EXPECT_EQ(progress->stage()->text(), "Остановка…");
  // Stop has gone grey; the window keeps the focus, so that Escape still reaches it.
  EXPECT_EQ(QApplication::activeWindow(), progress);
  EXPECT_EQ(QApplication::focusWidget(), progress);
  EXPECT_FALSE(progress->figures()->text().isEmpty());
  ASSERT_TRUE(WaitFor([&] { return !Building(); }, 60000));
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(answer.seen[0].title, "Сборка остановлена");
  EXPECT_TRUE(answer.seen[0].text.contains("Сборка остановлена по вашей просьбе"))
      << answer.seen[0].text.toStdString();
  // What was written was flushed; nothing was read back.
  EXPECT_EQ(slow.flushes, 1);
  EXPECT_EQ(slow.reads, 0);
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(Get("CommanEND")->isEnabled());
}

// Every way of closing during a build asks the same question, No the default: Yes stops the
// build and closes the window without a report; No lets the build go on, the progress window
// keeping the focus. (The window manager's close box and Alt+F4 reach a window as the close of its
// platform window; a window blocked by a modal one would never hear of them, so the progress
// window is not modal.)
TEST_F(QtWindowTest, EveryWayOfClosingDuringABuildAsksAndYesStopsAndCloses) {
  struct Way {
    const char* how;
    std::function<void(MainWindow&)> close;
  };
  const Way ways[] = {
      {"the main window's close box", [](MainWindow& window) { window.windowHandle()->close(); }},
      {"the progress window's close box or Alt+F4",
       [](MainWindow& window) { window.progress()->windowHandle()->close(); }},
      {"Escape in the progress window",
       [](MainWindow& window) {
         QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
         (void)window;
       }},
      {"Escape in the main window",
       [](MainWindow& window) { QTest::keyClick(&window, Qt::Key_Escape); }},
  };
  using Clock = std::chrono::steady_clock;
  for (const Way& way : ways) {
    for (const QMessageBox::StandardButton answer_given : {QMessageBox::No, QMessageBox::Yes}) {
      SCOPED_TRACE(std::string(way.how) + (answer_given == QMessageBox::Yes ? ": Yes" : ": No"));
      SlowDrive slow(drive_.path(), std::chrono::milliseconds(25));
      file_system_ = &slow.fs;
      MainWindow& window = Open();
      BoxAnswerer answer({answer_given, QMessageBox::No});
      ASSERT_TRUE(GoAndWaitForTheCopy());
      ProgressWindow* progress = window.progress();
      EXPECT_EQ(progress->windowModality(), Qt::NonModal);
      ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == progress; }));
      ASSERT_TRUE(progress->isAncestorOf(QApplication::focusWidget()) ||
                  QApplication::focusWidget() == progress);
      way.close(window);
      const Clock::time_point answered = Clock::now();
      ASSERT_EQ(answer.seen.size(), 1u);
      EXPECT_EQ(answer.seen[0].text.toStdString(), std::string(kCloseDuringBuildQuestion));
      EXPECT_EQ(answer.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
      EXPECT_FALSE(answer.seen[0].yes_is_default);
      if (answer_given == QMessageBox::Yes) {
        ASSERT_TRUE(WaitFor([&] { return !window.isVisible(); }, 60000));
        EXPECT_LT(Clock::now() - answered, std::chrono::seconds(2));
        EXPECT_EQ(answer.seen.size(), 1u);  // no report
        EXPECT_EQ(slow.reads, 0);
      } else {
        QTest::qWait(100);
        EXPECT_TRUE(Building());
        EXPECT_EQ(window.progress(), progress);
        EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == progress; }));
        Click(progress->stop());
        ASSERT_TRUE(WaitFor([&] { return !Building(); }, 60000));
        ASSERT_EQ(answer.seen.size(), 2u);
        EXPECT_EQ(answer.seen[1].title, "Сборка остановлена");
        EXPECT_TRUE(window.isVisible());
      }
      window_.reset();
    }
  }
}

// On the real slow stick, which holds an earlier build: Стоп while a 1 GiB kit file is copied
// ends the build within a second, and the stick holds the earlier build byte for byte, with no
// temporary beside it.
TEST_F(QtWindowTest, StopDuringAGigabyteCopyOnTheSlowStickEndsWithinASecondKeepingTheEarlierOne) {
  talvex::testing::SlowStick stick;
  if (!stick.unavailable().empty()) GTEST_SKIP() << "SKIPPED: " << stick.unavailable();
  volumes_ = {{stick.mount_point(), "TV STICK", "8:17"}};
  MainWindow& window = Open();
  BoxAnswerer answer(QMessageBox::No);
  Go(30000);
  const talvex::testing::TreeBytes before = talvex::testing::TreeWithBytes(stick.backing());
  ASSERT_TRUE(before.contains("Talvex/clmeta.dat")) << "the earlier build";
  std::filesystem::resize_file(kit_ / "Talvex/clmeta.dat", std::uintmax_t{1} << 30);

  Click(Get("CommanEND"));
  ASSERT_TRUE(WaitFor(
      [&] { return talvex::testing::CopyingPast(stick.backing() + "/Talvex", 16u << 20); }, 30000));
  const auto asked = std::chrono::steady_clock::now();
  Click(window.progress()->stop());
  ASSERT_TRUE(WaitFor([&] { return !Building(); }, 60000));
  talvex::testing::ExpectEndedWithinASecondOf("Стоп", std::chrono::steady_clock::now() - asked);
  ASSERT_EQ(answer.seen.size(), 2u);
  EXPECT_EQ(answer.seen[1].title, "Сборка остановлена");
  EXPECT_TRUE(talvex::testing::TreeWithBytes(stick.backing()) == before);
}

TEST_F(QtWindowTest, AReportNamingFailedStepsComesWithTheWarningIcon) {
  platform::FaultInjectingFileSystem failing(platform::NativeFileSystem());
  failing.FailOn(platform::FsOperation::kRename, Built("Talvex/etc/init.d/access_nfs"), 5,
                 "Input/output error");
  file_system_ = &failing;
  MainWindow& window = Open();
  BoxAnswerer answer(QMessageBox::No);
  Go();
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(answer.seen[0].icon, QMessageBox::Warning);
  EXPECT_EQ(answer.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_TRUE(answer.seen[0].yes_is_default);
  EXPECT_TRUE(
      answer.seen[0].text.contains(QString::fromStdString(Built("Talvex/etc/init.d/access_nfs"))))
      << answer.seen[0].text.toStdString();
  // The rest of the build went on.
  EXPECT_TRUE(talvex::testing::IsDirectory(Built("Talvex/opt/brandeval/usr/sbin")));
  QApplication::processEvents();
  EXPECT_TRUE(window.isVisible());
}

TEST_F(QtWindowTest, ScreenshotsOfBothWindows) {
  MainWindow& window = Open();
  const QString folder = QStringLiteral(TALVEX_SCREENSHOTS);
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString main_file = folder + "/main_window.png";
  const QString about_file = folder + "/about_window.png";
  QFile::remove(main_file);
  QFile::remove(about_file);
  ASSERT_TRUE(window.grab().save(main_file));
  Click(Get("Command1"));
  ASSERT_NE(window.about(), nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.about()));
  ASSERT_TRUE(window.about()->grab().save(about_file));
  EXPECT_EQ(QImage(main_file).size(), window.size() * window.devicePixelRatio());
  EXPECT_EQ(QImage(about_file).size(), window.about()->size() * window.devicePixelRatio());
  std::printf("screenshots: %s\n", folder.toUtf8().constData());
  window.about()->close();
}

}  // namespace
}  // namespace talvex::ui::qt

#include "qt_window_test.moc"
