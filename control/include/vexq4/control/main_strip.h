// The control's strip: the toolbar whose four buttons show and hide the
// tool windows.
#pragma once

#include <QToolBar>
#include <QWidget>
#include <array>

#include "vexq4/control/automation.h"

class QAction;
class CXVexCamCtrl;

// A toolbar whose buttons take their tips from the command's string: the
// text before its first line break, the whole text when it has none.
class VEXQ4_CONTROL_API CToolBarEx : public QToolBar {
  Q_OBJECT

 public:
  explicit CToolBarEx(QWidget* parent = nullptr);
  // Adds a checkable button for `command` with its icon and string.
  QAction* AddCommandButton(int command, const QString& commandString, const QIcon& icon);
  static QString TipOf(const QString& commandString);
  static QString ButtonTextOf(const QString& commandString);
  static constexpr int kTipDelayMs = 500;
};

class VEXQ4_CONTROL_API CMainDlg : public QWidget {
  Q_OBJECT

 public:
  explicit CMainDlg(CXVexCamCtrl* control);
  CToolBarEx* toolBar() const { return toolBar_; }
  // Presses or releases the button of tool window `index`.
  void SetButtonPressed(int index, bool pressed);
  bool ButtonPressed(int index) const;
  QAction* button(int index) const { return buttons_[static_cast<std::size_t>(index)]; }
  // "Properties...": the strip's context menu, the control's properties verb.
  QAction* propertiesAction() const { return properties_; }

 private:
  CToolBarEx* toolBar_;
  std::array<QAction*, 4> buttons_{};
  QAction* properties_ = nullptr;
};
