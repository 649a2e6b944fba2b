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
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTimer>
#include <QUrl>

#include "fsutil/kit_lookup.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "ui/qt/about_window.h"
#include "ui/qt/build_runner.h"
#include "ui/qt/filtered_line_edit.h"
#include "ui/qt/progress_window.h"

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

 protected:
  // A mount point is longer than the closed box: it is cut in its middle, where both its start
  // and its last folder (usually the stick's name) stay readable. The open list shows it whole.
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect room =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    // The label is drawn a frame's width in from the field's edges.
    const int inset = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    option.currentText =
        fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, room.width() - inset);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }

 private:
  std::function<void()> before_popup_;
};

// Enter on a focused button clicks it, as on every desktop; a plain window (not a dialog) leaves
// that to its buttons, and a QPushButton takes only Space.
class EnterClicksButtons final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      auto* button = qobject_cast<QPushButton*>(watched);
      if (button != nullptr && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        button->click();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

// Each label above a text box names it: the label is the box's buddy (its mnemonic and what a
// screen reader says for the box), and the box's accessible name is the label's text.
void NameTextBoxesByTheirLabels(const PlacedWidgets& widgets) {
  QLabel* pending = nullptr;
  for (const auto& placed : widgets) {
    if (auto* label = qobject_cast<QLabel*>(placed.widget)) {
      pending = label;
    } else if (auto* box = qobject_cast<QLineEdit*>(placed.widget); box != nullptr && pending) {
      pending->setBuddy(box);
      box->setAccessibleName(pending->text());
      pending = nullptr;
    }
  }
}

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
  enter_clicks_ = new EnterClicksButtons(this);
  CreateControls();
  widgets_.Place(LogicalDpiOf(*this));
  dialog_scale_ = FitDialogFonts(widgets_);
  SetTabOrder();
  FillDriveList();
  WatchMountTable();
  MirrorModel();
  CentreOnScreen();
  if (QWidget* drive = DriveListWidget()) drive->setFocus(Qt::OtherFocusReason);
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
      button->installEventFilter(enter_clicks_);
      connect(button, &QPushButton::clicked, this,
              [this, name] { Carry(model_.Clicked(name), *this); });
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
              [this, name] { Carry(model_.Clicked(name), *this); });
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
  NameTextBoxesByTheirLabels(widgets_);
}

void MainWindow::FillDriveList() {
  auto* list = qobject_cast<QComboBox*>(DriveListWidget());
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
    list->setItemData(list->count() - 1, entry, Qt::ToolTipRole);  // whole, however it is cut
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

QWidget* MainWindow::DriveListWidget() const {
  return widgets_.Find(options::FieldOf(&options::BuildOptions::Drive1).name);
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

void MainWindow::OpenReadme() {
  const QString readme =
      QString::fromStdString(platform::JoinPayloadPath(services_.source_root, kReadmeFile));
  OpenOrSay(this, QUrl::fromLocalFile(readme), readme);
}

void MainWindow::OpenAbout() {
  setEnabled(false);
  about_ = new AboutWindow(this);
  connect(about_, &AboutWindow::closed, this, [this] {
    setEnabled(true);
    // Back where the user left: on the About button, once this window is active again.
    QTimer::singleShot(0, this, [this] {
      if (QWidget* about = widgets_.Find(MainControl(ControlRole::kAbout).name)) {
        about->setFocus(Qt::OtherFocusReason);
      }
    });
  });
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
  auto* list = qobject_cast<QComboBox*>(DriveListWidget());
  const auto chosen =
      static_cast<std::size_t>(std::max(list != nullptr ? list->currentIndex() : 0, 0));
  // The list may be older than the last unplugging: what was listed is checked once more, so a
  // build never lands in the empty folder a stick leaves behind, nor on another volume.
  if (!StillAsListed(chosen)) {
    refuse(DriveChangedMessage(listed_[chosen].volume.mount_point), true);
    return;
  }
  WindowBuildRequest request;
  request.file_system = services_.file_system;
  request.source_root = services_.source_root;
  request.target = listed_[chosen].volume.mount_point;
  request.options = model_.options();
  request.decimal_separator = services_.decimal_separator;

  // The model stays in its building phase until the build has ended: every control is locked,
  // and what is clicked or typed meanwhile is dropped, never acted on afterwards.
  focus_before_build_ = QApplication::focusWidget();
  MirrorModel();
  // Only over this window: the progress window's Stop stays a button to press.
  setCursor(Qt::WaitCursor);
  build_ = std::make_unique<WindowBuild>(std::move(request));
  progress_ = new ProgressWindow(this);
  connect(progress_, &ProgressWindow::stopAsked, this, &MainWindow::StopBuild);
  connect(progress_, &ProgressWindow::closeAsked, this, &QWidget::close);
  connect(build_.get(), &WindowBuild::progressed, this, [this] {
    if (progress_ && build_) progress_->Show(build_->LatestProgress());
  });
  connect(build_.get(), &WindowBuild::ended, this, &MainWindow::BuildEnded);
  progress_->show();
  build_->Start();
}

void MainWindow::StopBuild() {
  if (build_) build_->Stop();
  if (progress_) progress_->ShowStopping();
}

void MainWindow::BuildEnded() {
  // The question to close is still open: its answer decides whether a report comes.
  if (asking_to_close_) {
    ended_while_asking_ = true;
    return;
  }
  // The progress window goes before the report. It may be the one whose close box brought us
  // here, so it is deleted once that has returned.
  if (ProgressWindow* ending = progress_) {
    progress_ = nullptr;
    ending->hide();
    ending->deleteLater();
  }
  model_.BuildEnded();
  if (refresh_after_build_) FillDriveList();
  MirrorModel();
  unsetCursor();
  if (focus_before_build_ && focus_before_build_->isEnabled()) focus_before_build_->setFocus();
  // No build runs while the report is up, so the window closes normally meanwhile.
  std::unique_ptr<WindowBuild> build = std::move(build_);
  if (close_after_build_ || build->ShowReport(this)) {
    // Closed once this event has been handled, not under the button or question still on it.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
  // This call may have come from the build's own signal: it goes once that has returned.
  build.release()->deleteLater();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (build_) {
    // The window stays until the build has ended, so that what was written is flushed.
    event->ignore();
    if (asking_to_close_ || close_after_build_) return;
    asking_to_close_ = true;
    QMessageBox box(QMessageBox::Question, ToQString(kMainWindow.title),
                    ToQString(kCloseDuringBuildQuestion), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    const bool stop = box.exec() == QMessageBox::Yes;
    asking_to_close_ = false;
    if (stop) {
      close_after_build_ = true;
      StopBuild();
    }
    if (ended_while_asking_) {
      ended_while_asking_ = false;
      BuildEnded();
    }
    return;
  }
  if (about_) about_->close();
  event->accept();
}

}  // namespace talvex::ui::qt
