// Tab order from the layout, and Enter on buttons.
#include "vexq4/control/keyboard.h"

#include <QAbstractButton>
#include <QFormLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QRadioButton>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <unordered_set>

namespace vexq4::control {

namespace {

class OrderCollector {
 public:
  explicit OrderCollector(QWidget* root) : root_(root) {}

  void Widget(QWidget* w) {
    if (!w || !seen_.insert(w).second) return;
    if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy()) order_.push_back(w);
    // A widget with a layout of its own (a group box, a panel) is read
    // inside; one without (a list, a text box) looks after its own parts.
    if (QLayout* inner = w->layout()) Layout(inner);
  }

  void Layout(QLayout* layout) {
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
      struct Cell {
        int row, column, index;
      };
      std::vector<Cell> cells;
      for (int i = 0; i < grid->count(); ++i) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        cells.push_back({row, column, i});
      }
      std::stable_sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
      });
      for (const Cell& cell : cells) Item(grid->itemAt(cell.index));
      return;
    }
    if (auto* form = qobject_cast<QFormLayout*>(layout)) {
      for (int row = 0; row < form->rowCount(); ++row)
        for (auto role :
             {QFormLayout::LabelRole, QFormLayout::FieldRole, QFormLayout::SpanningRole})
          Item(form->itemAt(row, role));
      return;
    }
    for (int i = 0; i < layout->count(); ++i) Item(layout->itemAt(i));
  }

  void Rest() {
    // Widgets placed by hand come after the laid-out ones.
    for (QWidget* w : root_->findChildren<QWidget*>())
      if (!w->isWindow() && !InsidePlacedWidget(w)) Widget(w);
  }

  std::vector<QWidget*> Take() { return std::move(order_); }

 private:
  void Item(QLayoutItem* item) {
    if (!item) return;
    if (QWidget* w = item->widget()) {
      Widget(w);
    } else if (QLayout* inner = item->layout()) {
      Layout(inner);
    }
  }
  // Parts of a widget without a layout (a list's text field, a text box's
  // scroll bars) belong to that widget, not to the window's order.
  bool InsidePlacedWidget(QWidget* w) const {
    for (QWidget* p = w->parentWidget(); p && p != root_; p = p->parentWidget())
      if (!p->layout()) return true;
    return false;
  }

  QWidget* root_;
  std::unordered_set<QWidget*> seen_;
  std::vector<QWidget*> order_;
};

}  // namespace

std::vector<QWidget*> ReadingOrder(QWidget* root) {
  if (!root) return {};
  OrderCollector collect(root);
  if (QLayout* layout = root->layout()) collect.Layout(layout);
  collect.Rest();
  return collect.Take();
}

void SetTabOrderFromLayout(QWidget* root) {
  const std::vector<QWidget*> order = ReadingOrder(root);
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

bool ClickFocusedButtonOnEnter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  if (key->modifiers() & ~Qt::KeypadModifier) return false;
  auto* button = qobject_cast<QAbstractButton*>(watched);
  if (!button || !button->hasFocus() || !button->isEnabled() || !button->isVisible()) return false;
  if (key->isAutoRepeat()) return true;  // one click per press, as with Space
  if (auto* tool = qobject_cast<QToolButton*>(button);
      tool && tool->popupMode() == QToolButton::InstantPopup && tool->menu()) {
    tool->showMenu();
    return true;
  }
  button->click();
  return true;
}

void FocusChosenRadioOnTab(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::FocusIn) return;
  const auto reason = static_cast<QFocusEvent*>(event)->reason();
  if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason) return;
  auto* radio = qobject_cast<QRadioButton*>(watched);
  if (!radio || radio->isChecked() || !radio->autoExclusive() || !radio->parentWidget()) return;
  for (QRadioButton* other :
       radio->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
    if (other != radio && other->isChecked() && other->autoExclusive() && other->isEnabled() &&
        other->isVisible()) {
      // Later: focus is still being given to `radio`.
      QMetaObject::invokeMethod(
          other, [other, reason] { other->setFocus(reason); }, Qt::QueuedConnection);
      return;
    }
  }
}

}  // namespace vexq4::control
