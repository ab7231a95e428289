// Finding and working the control's widgets as an operator does.
#include "ui_access.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QToolButton>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/main_strip.h"
#include "vexq4/control/progress.h"
#include "vexq4/control/tool_windows.h"

namespace vexq4::studio {

namespace ctl = vexq4::control;

QWidget* FindWindow(CXVexCamCtrl& control, const QString& name) {
  if (name == QLatin1String("strip")) return control.MainStrip();
  if (name == QLatin1String("progress")) return control.ProgressWindow();
  for (int i = 0; i < ctl::kToolWindowCount; ++i)
    if (control.Frame(i).caption() == name) return control.FrameWindow(i);
  return nullptr;
}

std::vector<QWidget*> NamedWidgets(QWidget* window) {
  std::vector<QWidget*> widgets;
  if (!window) return widgets;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    // A list's text field is part of the list (it carries a name for
    // screen readers only).
    if (qobject_cast<QComboBox*>(w->parentWidget())) continue;
    if (!w->accessibleName().isEmpty() && !KindOf(w).isEmpty()) widgets.push_back(w);
  }
  return widgets;
}

QWidget* FindWidget(QWidget* window, const QString& name) {
  // A field is named after its label or group box, so it may share the
  // name with them: a command means the field.
  QWidget* caption = nullptr;
  for (QWidget* w : NamedWidgets(window)) {
    if (w->accessibleName() != name) continue;
    const QString kind = KindOf(w);
    if (kind != QLatin1String("label") && kind != QLatin1String("group")) return w;
    if (!caption) caption = w;
  }
  return caption;
}

QString KindOf(QWidget* w) {
  if (qobject_cast<QRadioButton*>(w)) return QStringLiteral("radio");
  if (qobject_cast<QCheckBox*>(w)) return QStringLiteral("check");
  if (qobject_cast<QAbstractButton*>(w)) return QStringLiteral("button");
  if (qobject_cast<QComboBox*>(w)) return QStringLiteral("list");
  if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
      qobject_cast<QTextEdit*>(w))
    return QStringLiteral("edit");
  if (qobject_cast<SpinButton*>(w)) return QStringLiteral("spin");
  if (qobject_cast<StatusPicture*>(w)) return QStringLiteral("picture");
  if (qobject_cast<QLabel*>(w)) return QStringLiteral("label");
  if (qobject_cast<QGroupBox*>(w)) return QStringLiteral("group");
  return {};
}

QString TextOf(QWidget* w) {
  // A widget that shows its text in another form keeps it exactly here.
  if (const QVariant exact = w->property(ctl::kExactTextProperty); exact.isValid())
    return exact.toString();
  if (auto* b = qobject_cast<QAbstractButton*>(w))
    return b->isCheckable() ? QString(b->isChecked() ? QStringLiteral("1") : QStringLiteral("0"))
                            : b->text();
  if (auto* c = qobject_cast<QComboBox*>(w))
    return c->currentIndex() < 0 ? QString() : c->currentText();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
  if (auto* e = qobject_cast<QTextEdit*>(w)) return e->toPlainText();
  if (auto* s = qobject_cast<SpinButton*>(w)) return QString::number(s->Position());
  if (auto* p = qobject_cast<StatusPicture*>(w)) return p->state();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

bool IsReadOnly(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->isReadOnly();
  if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->isReadOnly();
  if (auto* e = qobject_cast<QTextEdit*>(w)) return e->isReadOnly();
  return false;
}

bool IsShownIn(QWidget* w, QWidget* window) { return w->isVisibleTo(window); }

namespace {

QString Quoted(const QString& name) { return QLatin1Char('"') + name + QLatin1Char('"'); }

// The widget an operator can work, or why not.
std::optional<QString> Workable(QWidget* window, QWidget* w, const QString& name) {
  if (!w) return QStringLiteral("no widget %1").arg(Quoted(name));
  if (!w->isEnabled()) return QStringLiteral("%1 is disabled").arg(Quoted(name));
  if (!IsShownIn(w, window)) return QStringLiteral("%1 is hidden").arg(Quoted(name));
  return std::nullopt;
}

}  // namespace

std::optional<QString> Click(QWidget* window, const QString& name) {
  QWidget* w = FindWidget(window, name);
  if (auto problem = Workable(window, w, name)) return problem;
  if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->click();
    return std::nullopt;
  }
  if (auto* l = qobject_cast<CLabel*>(w)) {
    if (!l->clickOpenEnabled()) return QStringLiteral("%1 is not a link").arg(Quoted(name));
    l->Click();
    return std::nullopt;
  }
  return QStringLiteral("%1 cannot be clicked").arg(Quoted(name));
}

std::optional<QString> Select(QWidget* window, const QString& name, const QString& text) {
  QWidget* w = FindWidget(window, name);
  if (auto problem = Workable(window, w, name)) return problem;
  auto* combo = qobject_cast<QComboBox*>(w);
  if (!combo) return QStringLiteral("%1 is not a list").arg(Quoted(name));
  const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (index < 0) return QStringLiteral("%1 has no entry %2").arg(Quoted(name), Quoted(text));
  combo->setCurrentIndex(index);
  emit combo->activated(index);
  return std::nullopt;
}

std::optional<QString> SetText(QWidget* window, const QString& name, const QString& text) {
  QWidget* w = FindWidget(window, name);
  if (auto problem = Workable(window, w, name)) return problem;
  if (IsReadOnly(w)) return QStringLiteral("%1 is read-only").arg(Quoted(name));
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    e->setText(text);  // cut to the box's length, one change
    return std::nullopt;
  }
  if (auto* e = qobject_cast<QPlainTextEdit*>(w)) {
    e->setPlainText(text);
    return std::nullopt;
  }
  return QStringLiteral("%1 is not a text box").arg(Quoted(name));
}

std::optional<QString> Spin(QWidget* window, const QString& name, bool up) {
  QWidget* box = FindWidget(window, name);
  if (!box) return QStringLiteral("no widget %1").arg(Quoted(name));
  SpinButton* spin = nullptr;
  for (QWidget* w : NamedWidgets(window)) {
    auto* s = qobject_cast<SpinButton*>(w);
    if (s && s->buddy() == box) spin = s;
  }
  if (!spin) return QStringLiteral("%1 has no spin button").arg(Quoted(name));
  if (auto problem = Workable(window, spin, spin->accessibleName())) return problem;
  spin->StepBy(up ? 1 : -1);
  return std::nullopt;
}

std::optional<QString> Entries(QWidget* window, const QString& name, std::vector<QString>& out) {
  QWidget* w = FindWidget(window, name);
  if (!w) return QStringLiteral("no widget %1").arg(Quoted(name));
  auto* combo = qobject_cast<QComboBox*>(w);
  if (!combo) return QStringLiteral("%1 is not a list").arg(Quoted(name));
  for (int i = 0; i < combo->count(); ++i) out.push_back(combo->itemText(i));
  return std::nullopt;
}

}  // namespace vexq4::studio
