#include "ui/qt/main_window.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QUrl>

#include "fsutil/kit_lookup.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "ui/qt/about_window.h"
#include "ui/qt/build_runner.h"
#include "ui/qt/filtered_line_edit.h"

namespace talvex::ui::qt {

namespace {

// The readme beside the kit, in the backslash form of the kit's tables.
constexpr std::string_view kReadmeFile = "\\Talvex\\readme.txt";

// The drive list reads the mounted volumes again whenever it opens, so a stick plugged in after
// the start can be picked.
class DriveList final : public QComboBox {
 public:
  DriveList(std::function<void()> before_popup, QWidget* parent)
      : QComboBox(parent), before_popup_(std::move(before_popup)) {}
  void showPopup() override {
    before_popup_();
    QComboBox::showPopup();
  }

 private:
  std::function<void()> before_popup_;
};

// The frame's caption in its own colour. Fusion draws a frame's caption in its text colours, which
// the controls inside would inherit; they get the usual ones back explicitly.
void ColourCaption(QGroupBox& frame, Rgb colour) {
  const QPalette usual = frame.palette();
  QPalette coloured = usual;
  QPalette restored = usual;
  const QColor caption(colour.red, colour.green, colour.blue);
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text}) {
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
      coloured.setColor(group, role, caption);
      restored.setColor(group, role, usual.color(group, role));
    }
    restored.setColor(QPalette::Disabled, role, usual.color(QPalette::Disabled, role));
  }
  frame.setPalette(coloured);
  for (QWidget* child : frame.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    child->setPalette(restored);
  }
}

// The controls stay locked until the report: input taken while the tree is measured changes
// nothing.
class WindowProgress final : public BuildProgress {
 public:
  void BetweenSteps() override {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  void WhileMeasuring() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
};

}  // namespace

Services DefaultServices(std::string source_root) {
  Services services;
  services.file_system = &platform::NativeFileSystem();
  services.decimal_separator = platform::DecimalSeparator();
  services.list_volumes = [kit = source_root] { return ListRemovableVolumes("/", kit); };
  services.mount_table = "/proc/self/mountinfo";
  services.source_root = std::move(source_root);
  return services;
}

std::string DriveChangedMessage(std::string_view mount_point) {
  return "Флешка \"" + std::string(mount_point) +
         "\" отключена, заменена или стала доступна только для чтения с тех пор, как список был "
         "прочитан. Список дисков обновлён; выберите флешку ещё раз.";
}

MainWindow::MainWindow(Services services) : services_(std::move(services)) {
  MakeFixedDialogFrame(*this, kMainWindow, Qt::Window, "FrmMain");
  CreateControls();
  widgets_.Place(LogicalDpiOf(*this));
  dialog_scale_ = FitDialogFonts(widgets_);
  SetTabOrder();
  FillDriveList();
  WatchMountTable();
  MirrorModel();
  CentreOnScreen();
  if (QWidget* drive = widgets_.Find("Drive1")) drive->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() {
  if (about_) delete about_.data();
  // The notifier goes before the descriptor it watches.
  delete mount_table_watch_;
  if (mount_table_fd_ >= 0) ::close(mount_table_fd_);
}

void MainWindow::WatchMountTable() {
  if (services_.mount_table.empty()) return;
  // Only the exceptional condition means a change: the table is always readable.
  mount_table_fd_ = ::open(services_.mount_table.c_str(), O_RDONLY | O_CLOEXEC);
  if (mount_table_fd_ < 0) return;  // the list is still read again whenever it drops down
  mount_table_watch_ = new QSocketNotifier(mount_table_fd_, QSocketNotifier::Exception, this);
  connect(mount_table_watch_, &QSocketNotifier::activated, this, [this] { FillDriveList(); });
}

QWidget* MainWindow::CreateControl(const ControlRow& row, QWidget* parent) {
  const QString caption = ToQString(CaptionOf(row));
  const std::string name(row.name);
  switch (row.kind) {
    case ControlKind::kFrame:
      return new QGroupBox(caption, parent);
    case ControlKind::kCheckBox: {
      auto* box = new QCheckBox(caption, parent);
      connect(box, &QCheckBox::clicked, this, [this, box, name](bool checked) {
        model_.CheckChanged(
            name, checked ? options::CheckState::kChecked : options::CheckState::kUnchecked);
        (void)box;
        MirrorModel();
      });
      return box;
    }
    case ControlKind::kButton: {
      auto* button = new QPushButton(caption, parent);
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, name] { Carry(model_.Clicked(name)); });
      return button;
    }
    case ControlKind::kLabel:
      return new QLabel(caption, parent);
    case ControlKind::kTextBox: {
      auto* box = new FilteredLineEdit(
          [this, name](char32_t typed) { return model_.AcceptTyped(name, typed); },
          [this, name](std::string_view text) { return model_.FilterPasted(name, text); }, parent);
      box->setText(QString::fromStdString(model_.TextOf(name).value_or("")));
      connect(box, &QLineEdit::textEdited, this,
              [this, name](const QString& text) { model_.TextChanged(name, text.toStdString()); });
      connect(box, &FilteredLineEdit::clickedInto, this,
              [this, name] { Carry(model_.Clicked(name)); });
      return box;
    }
    case ControlKind::kDriveList: {
      auto* list = new DriveList([this] { FillDriveList(); }, parent);
      connect(list, &QComboBox::activated, this,
              [this, list] { model_.DriveChosen(list->currentText().toStdString()); });
      return list;
    }
    case ControlKind::kPicture:
      break;
  }
  return nullptr;
}

void MainWindow::CreateControls() {
  for (const ControlRow& row : kMainControls) {
    QWidget* parent = row.container.empty() ? this : widgets_.Find(row.container);
    QWidget* widget = CreateControl(row, parent);
    if (widget == nullptr) continue;
    widget->setObjectName(ToQString(row.name));
    widget->setToolTip(ToQString(TooltipOf(row)));
    widgets_.Add(row, widget);
  }
  for (const auto& placed : widgets_) {
    auto* frame = qobject_cast<QGroupBox*>(placed.widget);
    if (frame != nullptr && placed.row->colour) ColourCaption(*frame, *placed.row->colour);
  }
}

void MainWindow::FillDriveList() {
  auto* list = qobject_cast<QComboBox*>(widgets_.Find("Drive1"));
  if (list == nullptr) return;
  // A build goes on with the drive and the options it started with; the list catches up after.
  if (model_.phase() != Phase::kIdle) {
    refresh_after_build_ = true;
    return;
  }
  refresh_after_build_ = false;
  const QString chosen = list->currentText();
  listed_.clear();
  for (RemovableVolume& volume :
       services_.list_volumes ? services_.list_volumes() : std::vector<RemovableVolume>{}) {
    ListedVolume listed{std::move(volume), std::nullopt};
    platform::FileId folder;
    if (listed.volume.device.empty() &&
        services_.file_system->Identify(listed.volume.mount_point, folder).ok()) {
      listed.folder = folder;
    }
    listed_.push_back(std::move(listed));
  }
  list->clear();
  int widest = 0;
  for (const ListedVolume& listed : listed_) {
    const QString entry = ToQString(VolumeEntryText(listed.volume));
    list->addItem(entry);
    widest = std::max(widest, list->fontMetrics().horizontalAdvance(entry));
  }
  // Mount points are longer than drive letters: the open list is as wide as its longest entry.
  const QStyle& style = *list->style();
  list->view()->setMinimumWidth(widest + style.pixelMetric(QStyle::PM_ScrollBarExtent) +
                                4 * style.pixelMetric(QStyle::PM_DefaultFrameWidth) +
                                2 * style.pixelMetric(QStyle::PM_FocusFrameHMargin));
  // The volume picked before stays picked while it is mounted; otherwise the first one.
  const int kept = list->findText(chosen);
  list->setCurrentIndex(kept >= 0 ? kept : (listed_.empty() ? -1 : 0));
  model_.DriveChosen(list->currentText().toStdString());
}

bool MainWindow::StillAsListed(std::size_t entry) {
  const ListedVolume& listed = listed_[entry];
  if (listed.volume.device.empty()) {
    platform::FileId now;
    return listed.folder && services_.file_system->Identify(listed.volume.mount_point, now).ok() &&
           now == *listed.folder;
  }
  // Listed again means mounted at the same place from the same device, writable, and still
  // neither the system's volume nor the kit's.
  for (const RemovableVolume& volume : services_.list_volumes()) {
    if (volume.mount_point == listed.volume.mount_point && volume.device == listed.volume.device) {
      return true;
    }
  }
  return false;
}

void MainWindow::SetTabOrder() {
  QWidget* previous = nullptr;
  for (std::string_view name : kMainTabOrder) {
    QWidget* widget = widgets_.Find(name);
    if (widget == nullptr) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

void MainWindow::CentreOnScreen() {
  const QScreen* where = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  if (where == nullptr) return;
  QRect frame = rect();
  frame.moveCenter(where->availableGeometry().center());
  move(frame.topLeft());
}

void MainWindow::MirrorModel() {
  for (const auto& placed : widgets_) {
    const std::string_view name = placed.row->name;
    if (auto* box = qobject_cast<QCheckBox*>(placed.widget)) {
      const bool checked = model_.CheckOf(name) == options::CheckState::kChecked;
      if (box->isChecked() != checked) box->setChecked(checked);
    }
    // A control inside a disabled frame is disabled by the frame itself, so it keeps its own
    // state enabled and comes back with the frame.
    const bool container_enabled =
        placed.row->container.empty() || model_.IsEnabled(placed.row->container);
    placed.widget->setEnabled(model_.IsEnabled(name) || !container_enabled);
  }
}

void MainWindow::Carry(Action action) {
  switch (action) {
    case Action::kNothing:
      break;
    case Action::kSwitchKeyboardLayout:
      // Keyboard layouts belong to the desktop session here; a program does not switch them.
      break;
    case Action::kOpenReadme:
      OpenReadme();
      break;
    case Action::kOpenAbout:
      OpenAbout();
      break;
    case Action::kRunBuild:
      RunBuild();
      break;
  }
}

void MainWindow::OpenReadme() {
  const std::string readme = platform::JoinPayloadPath(services_.source_root, kReadmeFile);
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(readme)));
}

void MainWindow::OpenAbout() {
  setEnabled(false);
  about_ = new AboutWindow(this);
  connect(about_, &AboutWindow::closed, this, [this] { setEnabled(true); });
  about_->show();
}

void MainWindow::RunBuild() {
  // A refused build ends before it began; the list is read again first when it is out of date.
  const auto refuse = [this](std::string_view why, bool list_out_of_date = false) {
    model_.BuildEnded();
    if (list_out_of_date) FillDriveList();
    QMessageBox::warning(this, ToQString(kMainWindow.title), ToQString(why));
  };
  if (listed_.empty() || model_.options().Drive1.empty()) {
    refuse(kNoFlashDrive);
    return;
  }
  // Without a kit the build would empty the stick's payload and copy nothing back.
  if (!fsutil::HoldsKit(*services_.file_system, services_.source_root)) {
    refuse(fsutil::NoKitMessage(services_.source_root));
    return;
  }
  auto* list = qobject_cast<QComboBox*>(widgets_.Find("Drive1"));
  const auto chosen =
      static_cast<std::size_t>(std::max(list != nullptr ? list->currentIndex() : 0, 0));
  // The list may be older than the last unplugging: what was listed is checked once more, so a
  // build never lands in the empty folder a stick leaves behind, nor on another volume.
  if (!StillAsListed(chosen)) {
    refuse(DriveChangedMessage(listed_[chosen].volume.mount_point), true);
    return;
  }
  BuildRequest request;
  request.file_system = services_.file_system;
  request.source_root = services_.source_root;
  request.target = listed_[chosen].volume.mount_point;
  request.options = &model_.options();
  request.decimal_separator = services_.decimal_separator;

  QWidget* focus = QApplication::focusWidget();
  MirrorModel();  // every control locked while the stages copy
  QApplication::setOverrideCursor(Qt::WaitCursor);
  WindowProgress progress;
  WindowBuild build;
  build.Run(request, progress);
  model_.BuildEnded();
  if (refresh_after_build_) FillDriveList();
  MirrorModel();
  QApplication::restoreOverrideCursor();
  if (focus != nullptr && focus->isEnabled()) focus->setFocus();

  if (build.ShowReport(this, request)) {
    // Closed once this click has been handled, not under the button that is still reporting it.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A build runs on this window's thread; it cannot be left half done under a closed window.
  if (model_.phase() != Phase::kIdle) {
    event->ignore();
    return;
  }
  if (about_) about_->close();
  event->accept();
}

}  // namespace talvex::ui::qt
