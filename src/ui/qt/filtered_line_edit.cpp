#include "ui/qt/filtered_line_edit.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>

namespace talvex::ui::qt {

namespace {

// Text a key would insert: printable characters only. Control characters (Tab, Return,
// Backspace) and shortcuts are the line edit's own business and insert nothing.
bool InsertsText(const QKeyEvent& event) {
  if (event.text().isEmpty()) return false;
  if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  for (const QChar character : event.text()) {
    if (character.category() == QChar::Other_Control) return false;
  }
  return true;
}

}  // namespace

FilteredLineEdit::FilteredLineEdit(std::function<bool(char32_t)> accept_typed,
                                   std::function<std::string(std::string_view)> filter_pasted,
                                   QWidget* parent)
    : QLineEdit(parent),
      accept_typed_(std::move(accept_typed)),
      filter_pasted_(std::move(filter_pasted)) {}

void FilteredLineEdit::PasteFiltered(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  const std::string filtered = filter_pasted_(std::string_view(utf8.constData(), utf8.size()));
  // insert() replaces the selection and counts as a user edit (textEdited follows).
  insert(QString::fromStdString(filtered));
}

void FilteredLineEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    if (!isReadOnly()) PasteFiltered(QGuiApplication::clipboard()->text());
    event->accept();
    return;
  }
  if (InsertsText(*event)) {
    for (const char32_t typed : event->text().toUcs4()) {
      if (!accept_typed_(typed)) {
        event->accept();
        return;
      }
    }
  }
  QLineEdit::keyPressEvent(event);
}

void FilteredLineEdit::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clickedInto();
  QLineEdit::mousePressEvent(event);
}

void FilteredLineEdit::mouseReleaseEvent(QMouseEvent* event) {
  // X11 pastes the primary selection with the middle button.
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (event->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
    if (!isReadOnly()) {
      setCursorPosition(cursorPositionAt(event->position().toPoint()));
      PasteFiltered(clipboard->text(QClipboard::Selection));
    }
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

// The standard menu's paste action: its text ends in the paste shortcut, whatever the language.
QAction* PasteActionOf(const QMenu& menu) {
  const QString shortcut =
      '\t' + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
  for (QAction* action : menu.actions()) {
    if (action->text().endsWith(shortcut)) return action;
  }
  return nullptr;
}

void FilteredLineEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  if (QAction* paste = PasteActionOf(*menu)) {
    paste->disconnect();
    connect(paste, &QAction::triggered, this,
            [this] { PasteFiltered(QGuiApplication::clipboard()->text()); });
  }
  menu->popup(event->globalPos());
}

void FilteredLineEdit::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasText() || isReadOnly()) {
    event->ignore();
    return;
  }
  setCursorPosition(cursorPositionAt(event->position().toPoint()));
  PasteFiltered(event->mimeData()->text());
  event->acceptProposedAction();
}

// Dead keys and input methods commit their text here, not as key presses: the commit passes the
// same filter as pasted text, and the text being composed stays as the method shows it.
void FilteredLineEdit::inputMethodEvent(QInputMethodEvent* event) {
  if (event->commitString().isEmpty()) {
    QLineEdit::inputMethodEvent(event);
    return;
  }
  const QByteArray utf8 = event->commitString().toUtf8();
  const QString filtered = QString::fromStdString(
      filter_pasted_(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size()))));
  QInputMethodEvent passed(event->preeditString(), event->attributes());
  passed.setCommitString(filtered, event->replacementStart(), event->replacementLength());
  QLineEdit::inputMethodEvent(&passed);
  event->accept();
}

}  // namespace talvex::ui::qt
