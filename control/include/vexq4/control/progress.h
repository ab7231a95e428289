// CProgress: the small window that shows the COM-port search's progress,
// with a Cancel button that the search looks at between ports.
#pragma once

#include <QDialog>
#include <QPointer>

#include "vexq4/control/automation.h"

class QLabel;
class QProgressBar;
class QPushButton;

class VEXQ4_CONTROL_API CProgress : public QDialog {
  Q_OBJECT

 public:
  explicit CProgress(QWidget* parent = nullptr);
  ~CProgress() override;

  void SetRange(int lower, int upper);
  void ShowCancel(bool show);
  // Disables the host's main window while the search runs; this window
  // stays usable. Undone when this window goes.
  void BeginModeless(QWidget* mainWindow);
  // Advances the bar by one step and puts the percentage in the title.
  void Step();
  // The line of text above the bar.
  void SetText(const QString& text);
  QString text() const;
  bool cancelRequested() const { return cancelRequested_; }
  int position() const { return position_; }

  // "Progress" followed by the percentage of `position` in lower..upper as
  // "%5.1f%%" (a range of zero width counts as complete).
  static QString TitleFor(int lower, int upper, int position);

 private:
  bool cancelRequested_ = false;
  QPointer<QWidget> disabledMainWindow_;
  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
  QLabel* text_;
  QPushButton* cancel_;
  QProgressBar* bar_;
};
