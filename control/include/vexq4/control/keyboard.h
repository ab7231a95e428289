// Working the control's windows from the keyboard: the order in which Tab
// visits a window's controls, and Enter on a focused button.
#pragma once

#include <vector>

#include "vexq4/control/automation.h"

class QEvent;
class QObject;
class QWidget;

namespace vexq4::control {

// The widgets inside `root` that Tab stops at, in reading order: each
// layout's items in turn (a grid row by row, each row left to right), a
// group box's or panel's own layout where it stands. Widgets that are in no
// layout follow in the order they were made. Hidden and disabled widgets
// are listed too; Tab passes over them while they are.
VEXQ4_CONTROL_API std::vector<QWidget*> ReadingOrder(QWidget* root);
// Makes Tab and Shift+Tab follow ReadingOrder(root). Run once, after the
// window's layout is built.
VEXQ4_CONTROL_API void SetTabOrderFromLayout(QWidget* root);

// For an event filter: Enter or Return pressed on a focused, enabled
// button clicks it, as Space does (Qt leaves Enter to dialogs' default
// buttons). True when the key was taken.
VEXQ4_CONTROL_API bool ClickFocusedButtonOnEnter(QObject* watched, QEvent* event);

// For an event filter: Tab into a group of radio buttons lands on the one
// that is chosen (Qt lands on the first, or the last one focused); the
// arrow keys then move within the group.
VEXQ4_CONTROL_API void FocusChosenRadioOnTab(QObject* watched, QEvent* event);

}  // namespace vexq4::control
