// Small widgets the tool windows are built from: the link label, the spin
// button attached to a text box, and the status pictures.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include "vexq4/control/automation.h"

class QAbstractScrollArea;
class QTimer;
class QToolButton;

// A static text that can act as a link: blue, underlined, a pointing hand,
// and a click opens its own text with the desktop. While it is a link, Tab
// stops at it and Enter or Space opens it too. It can also blink.
class VEXQ4_CONTROL_API CLabel : public QLabel {
  Q_OBJECT

 public:
  enum Blink { kNoBlink = 0, kBlinkText = 1, kBlinkBackground = 2 };
  explicit CLabel(QWidget* parent = nullptr);

  void EnableClickOpen(bool enable);
  bool clickOpenEnabled() const { return linkEnabled_; }
  void SetPointerCursor(bool pointingHand);
  void SetLabelColour(const QColor& colour);
  void SetUnderline(bool underline);
  // Starts (kBlinkText, kBlinkBackground) or stops blinking.
  void SetBlink(Blink kind, int periodMs = 500);
  // One tick of the blink timer.
  void OnBlinkTimer();
  // A click as the operator makes it.
  void Click();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool linkEnabled_ = true;
  Blink blink_ = kNoBlink;
  bool phase_ = false;
  QString savedText_;
  QTimer* timer_ = nullptr;
};

// A spin button attached to a text box (its buddy): it shows its position
// in the box as a decimal number, steps it with its arrows and the arrow
// keys, and takes its position back from the box's text whenever it is
// asked for it, keeping the old one when the text is not a number in range.
class VEXQ4_CONTROL_API SpinButton : public QWidget {
  Q_OBJECT

 public:
  SpinButton(QLineEdit* buddy, QWidget* parent = nullptr);
  void SetRange(int lower, int upper);
  int lower() const { return lower_; }
  int upper() const { return upper_; }
  // The position, read back from the box's text first.
  int Position();
  // Sets the position and writes it into the box.
  void SetPosition(int position);
  // One arrow step (up: +1), written into the box.
  void StepBy(int steps);
  QLineEdit* buddy() const { return buddy_; }
  QToolButton* upArrow() const { return up_; }
  QToolButton* downArrow() const { return down_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QPointer<QLineEdit> buddy_;
  QToolButton* up_;
  QToolButton* down_;
  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
};

// A picture that shows one of a few named states ("online", "offline",
// "sending", ...); the state's name is also what the scripts read, and what
// a screen reader hears as the picture's description ("not synchronized",
// "off" when it shows nothing).
class VEXQ4_CONTROL_API StatusPicture : public QLabel {
  Q_OBJECT

 public:
  // Pictures are the resources ":/vexq4/<prefix><state>.svg".
  explicit StatusPicture(QWidget* parent = nullptr, QSize size = {16, 16},
                         QString resourcePrefix = {});
  // Shows the picture of `state`; an empty state shows nothing.
  void SetState(const QString& state);
  const QString& state() const { return state_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Render();
  QString state_;
  QString prefix_;
};

namespace vexq4::control {
// The thin bar across the bottom of the Gain, Shutter and About windows:
// green "online" or grey "offline" (accessible name "online bar").
VEXQ4_CONTROL_API StatusPicture* MakeOnlineBar(QWidget* parent);

// Shows `text` in an indicator's label. The label is named after what it
// shows ("Status: online"); the text ("On-line") is also its accessible
// description, so a screen reader hears both.
VEXQ4_CONTROL_API void SetIndicatorText(QLabel* label, const QString& text);

// Names the parts of a scrolled box after the box: "NAME: vertical scroll
// bar", "NAME: horizontal scroll bar", and the areas that hold them.
VEXQ4_CONTROL_API void NameScrollParts(QAbstractScrollArea* box, const QString& name);
}  // namespace vexq4::control

namespace vexq4::control {
// The dynamic property in which a widget that shows its text in another
// form keeps the text exactly (a log box shows each CR LF as one line
// break); the scripts read it in place of the shown text.
inline constexpr char kExactTextProperty[] = "vexq4ExactText";

// The dynamic property that names a picture for screen readers only: one
// the scripts do not know (a decorative icon), which an accessible name
// would add to the windows' named widgets.
inline constexpr char kScreenReaderNameProperty[] = "vexq4ScreenReaderName";

// The fixed-pitch font of the message logs: the desktop's, and no smaller
// than the application's own font (an operator who made the text larger
// reads the logs too).
VEXQ4_CONTROL_API QFont LogFont();

// An icon from the control's resources (":/vexq4/<name>.svg").
VEXQ4_CONTROL_API QIcon ResourceIcon(const QString& name);
VEXQ4_CONTROL_API QPixmap ResourcePixmap(const QString& name, QSize size);
}  // namespace vexq4::control
