// A single-line text box whose typed and pasted characters pass a filter first, whichever way
// they come: keys, the paste shortcut, the context menu, the middle button's selection, a drop.
#pragma once

#include <QLineEdit>

#include <functional>
#include <string>
#include <string_view>

namespace talvex::ui::qt {

class FilteredLineEdit final : public QLineEdit {
  Q_OBJECT

 public:
  // `accept_typed` decides on one typed character; `filter_pasted` turns pasted text into what
  // typing it could have left.
  FilteredLineEdit(std::function<bool(char32_t)> accept_typed,
                   std::function<std::string(std::string_view)> filter_pasted,
                   QWidget* parent = nullptr);

  // Inserts `text` at the cursor as the filter lets it, as a paste does.
  void PasteFiltered(const QString& text);

 signals:
  // The mouse went down in the box (the user clicked into it).
  void clickedInto();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  std::function<bool(char32_t)> accept_typed_;
  std::function<std::string(std::string_view)> filter_pasted_;
};

}  // namespace talvex::ui::qt
