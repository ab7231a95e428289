// The control's accessibility interfaces.
#include "accessibility.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QToolButton>
#include <functional>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/main_strip.h"

namespace vexq4::control {

namespace {

constexpr char kFrameClass[] = "vexq4::control::FrameWindow";

// A button of one of the control's windows (the strip, a tool window).
bool InControlWindow(const QWidget* w) {
  if (w->window()->inherits(kFrameClass)) return true;
  for (const QWidget* p = w; p; p = p->parentWidget())
    if (qobject_cast<const CXVexCamCtrl*>(p)) return true;
  return false;
}

QString WithoutMnemonic(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return text;
}

// Actions through the bus arrive inside a D-Bus call; what they start (a
// camera exchange, a message box) runs after the call has been answered.
template <typename W, typename F>
void Later(W* widget, F action) {
  QMetaObject::invokeMethod(
      widget,
      [guard = QPointer<W>(widget), action] {
        if (guard && guard->isEnabled()) action(guard.data());
      },
      Qt::QueuedConnection);
}

class ButtonAccessible : public QAccessibleWidget {
 public:
  explicit ButtonAccessible(QAbstractButton* button, std::function<QString()> name = {})
      : QAccessibleWidget(button), name_(std::move(name)) {}

  QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }

  // Asked each time: a toolbar makes its buttons before it makes them
  // checkable.
  QAccessible::Role role() const override {
    if (HasMenu()) return QAccessible::ButtonMenu;
    if (qobject_cast<const QRadioButton*>(button())) return QAccessible::RadioButton;
    if (qobject_cast<const QCheckBox*>(button()) || button()->isCheckable())
      return QAccessible::CheckBox;
    return QAccessible::PushButton;
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    if (button()->isCheckable()) {
      state.checkable = true;
      state.checked = button()->isChecked();
    }
    if (button()->isDown()) state.pressed = true;
    if (HasMenu()) state.hasPopup = true;
    return state;
  }

  QString text(QAccessible::Text t) const override {
    if (t != QAccessible::Name) return QAccessibleWidget::text(t);
    QString name = name_ ? name_() : QString();
    if (name.isEmpty()) name = widget()->accessibleName();
    if (name.isEmpty()) name = WithoutMnemonic(button()->text());
    return name;
  }

  QStringList actionNames() const override {
    QStringList names;
    if (widget()->isEnabled())
      names << (HasMenu()                 ? showMenuAction()
                : button()->isCheckable() ? toggleAction()
                                          : pressAction());
    return names + QAccessibleWidget::actionNames();
  }

  void doAction(const QString& action) override {
    if (action == showMenuAction() && HasMenu()) {
      Later(static_cast<QToolButton*>(button()), [](QToolButton* b) { b->showMenu(); });
    } else if (action == pressAction() || action == toggleAction()) {
      // A click as the mouse makes it: the button's own handlers run (a
      // strip button asks the control, which shows the window and sets
      // the button back).
      Later(button(), [](QAbstractButton* b) { b->animateClick(); });
    } else {
      QAccessibleWidget::doAction(action);
    }
  }

 private:
  bool HasMenu() const {
    auto* tool = qobject_cast<QToolButton*>(button());
    return tool && tool->menu() && tool->popupMode() == QToolButton::InstantPopup;
  }
  std::function<QString()> name_;
};

// A spin button: its position is its value, and a value set through the bus
// goes into the text box as the arrows would put it there.
class SpinAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit SpinAccessible(SpinButton* spin) : QAccessibleWidget(spin, QAccessible::SpinBox) {}

  SpinButton* spin() const { return static_cast<SpinButton*>(widget()); }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return QString::number(spin()->Position());
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return spin()->Position(); }
  void setCurrentValue(const QVariant& value) override {
    const int position = value.toInt();
    Later(spin(), [position](SpinButton* s) {
      if (s->buddy() && !s->buddy()->isReadOnly()) s->SetPosition(position);
    });
  }
  QVariant maximumValue() const override { return spin()->upper(); }
  QVariant minimumValue() const override { return spin()->lower(); }
  QVariant minimumStepSize() const override { return 1; }
};

// The link label: a link while its link is on, a plain text otherwise.
class LinkAccessible : public QAccessibleWidget {
 public:
  explicit LinkAccessible(CLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

  CLabel* label() const { return static_cast<CLabel*>(widget()); }

  QAccessible::Role role() const override {
    return label()->clickOpenEnabled() ? QAccessible::Link : QAccessible::StaticText;
  }
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.linked = label()->clickOpenEnabled();
    return state;
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return label()->text();
    return QAccessibleWidget::text(t);
  }
  QStringList actionNames() const override {
    QStringList names;
    if (label()->clickOpenEnabled() && widget()->isEnabled()) names << pressAction();
    return names + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    if (action == pressAction())
      Later(label(), [](CLabel* l) { l->Click(); });
    else
      QAccessibleWidget::doAction(action);
  }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  auto* w = qobject_cast<QWidget*>(object);
  if (!w) return nullptr;
  if (className == QLatin1String(kFrameClass)) return new QAccessibleWidget(w, QAccessible::Dialog);
  if (auto* spin = qobject_cast<SpinButton*>(w); spin && className == QLatin1String("SpinButton"))
    return new SpinAccessible(spin);
  if (auto* label = qobject_cast<CLabel*>(w); label && className == QLatin1String("CLabel"))
    return new LinkAccessible(label);
  // A status picture is a picture also while it shows nothing (the
  // activity indicator at rest, the message marker off).
  if (className == QLatin1String("StatusPicture"))
    return new QAccessibleWidget(w, QAccessible::Graphic);
  if (const QVariant name = w->property(kScreenReaderNameProperty);
      name.isValid() && className == QLatin1String("QLabel"))
    return new QAccessibleWidget(w, QAccessible::Graphic, name.toString());
  auto* button = qobject_cast<QAbstractButton*>(w);
  if (!button) return nullptr;
  // The toolbar's overflow button, shown when the strip is too narrow for
  // its buttons (Qt's own class, which has no name).
  if (className == QLatin1String("QToolBarExtension") &&
      qobject_cast<CToolBarEx*>(w->parentWidget()))
    return new ButtonAccessible(button, [] { return QStringLiteral("More buttons"); });
  if (className != QLatin1String("QToolButton") && className != QLatin1String("QCheckBox") &&
      className != QLatin1String("QRadioButton") && className != QLatin1String("QPushButton"))
    return nullptr;
  // A spin button's arrows: "Gain Level: Master spin up" and "... down".
  if (auto* spin = qobject_cast<SpinButton*>(w->parentWidget())) {
    const bool up = button == spin->upArrow();
    return new ButtonAccessible(button, [spin = QPointer(spin), up] {
      return spin ? spin->accessibleName() + (up ? QStringLiteral(" up") : QStringLiteral(" down"))
                  : QString();
    });
  }
  if (InControlWindow(button)) return new ButtonAccessible(button);
  return nullptr;
}

}  // namespace

void InstallAccessibility() {
  static const bool installed = (QAccessible::installFactory(&Factory), true);
  (void)installed;
}

}  // namespace vexq4::control
