// The operator's view of the control's windows, for the studio's window
// commands and for tests: finding a window by its caption and a widget by
// its accessible name, reading what it shows, and working it as an
// operator would (only what is enabled, shown and writable).
#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

class CXVexCamCtrl;

namespace vexq4::studio {

// A window of the control: a frame by its caption, "strip", or "progress".
QWidget* FindWindow(CXVexCamCtrl& control, const QString& name);

// The widgets of `window` that carry an accessible name, in creation order.
std::vector<QWidget*> NamedWidgets(QWidget* window);
// The widget of that name; where a label or group box shares the name with
// the field it captions, the field.
QWidget* FindWidget(QWidget* window, const QString& name);

// "button", "radio", "check", "list", "edit", "spin", "label", "picture",
// "group", or empty for a widget the scripts do not know.
QString KindOf(QWidget* widget);
// The text the widget shows, as the scripts read it (a widget's
// kExactTextProperty, controls.h, when it has one).
QString TextOf(QWidget* widget);
bool IsReadOnly(QWidget* widget);
// Shown inside its window (whether or not the window is shown).
bool IsShownIn(QWidget* widget, QWidget* window);

// Operator actions. Each returns an error text when the operator could not
// do it (no such widget or entry, disabled, hidden, read-only, wrong kind).
std::optional<QString> Click(QWidget* window, const QString& name);
std::optional<QString> Select(QWidget* window, const QString& name, const QString& text);
std::optional<QString> SetText(QWidget* window, const QString& name, const QString& text);
std::optional<QString> Spin(QWidget* window, const QString& name, bool up);
std::optional<QString> Entries(QWidget* window, const QString& name, std::vector<QString>& out);

}  // namespace vexq4::studio
