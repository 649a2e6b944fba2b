// The main window's controls: made from the rows of its layout table, each wired to the window
// model, and put in the order Tab visits them.
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/qt/filtered_line_edit.h"
#include "ui/qt/main_window.h"
#include "ui/qt/window_layout.h"

namespace talvex::ui::qt {

namespace {

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

}  // namespace

QWidget* MainWindow::CreateControl(const ControlRow& row, QWidget* parent) {
  const QString caption = ToQString(CaptionOf(row));
  const std::string name(row.name);
  switch (row.kind) {
    case ControlKind::kFrame:
      return NewCaptionedFrame(caption, parent);
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
      connect(list, &QComboBox::activated, this, [this](int index) { PickDrive(index); });
      return list;
    }
    case ControlKind::kPicture:
      break;
  }
  return nullptr;
}

void MainWindow::CreateControls() {
  enter_clicks_ = new EnterClicksButtons(this);
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

void MainWindow::SetTabOrder() {
  QWidget* previous = nullptr;
  for (std::string_view name : kMainTabOrder) {
    QWidget* widget = widgets_.Find(name);
    if (widget == nullptr) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

}  // namespace talvex::ui::qt
