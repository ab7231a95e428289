// The user-interface services the control and its windows call on: message
// boxes, file dialogs, opening a file or address with the desktop, the wait
// cursor and the screen's size. The desktop answers them with Qt; tests and
// the studio's script mode install their own answers.
#pragma once

#include <QSize>
#include <QString>

#include "vexq4/control/automation.h"

class QWidget;

namespace vexq4::control {

class VEXQ4_CONTROL_API UiServices {
 public:
  enum class Buttons { kOk, kOkCancel, kYesNo };
  enum class Answer { kOk, kCancel, kYes, kNo };
  enum class Icon { kNone, kInformation, kWarning, kError, kQuestion };

  struct FileRequest {
    bool save = true;
    // The filter as the windows write it: "Camera setup (*.cam)|*.cam||".
    QString filter;
    QString defaultExtension;  // without the dot: "cam"
    bool overwritePrompt = true;
    bool fileMustExist = false;
  };
  struct FileOutcome {
    enum Kind { kOk, kCancel, kFailed };
    Kind kind = kCancel;
    QString path;
  };

  virtual ~UiServices() = default;
  virtual Answer MessageBox(QWidget* parent, const QString& caption, const QString& text,
                            Buttons buttons, Icon icon) = 0;
  virtual FileOutcome FileDialog(QWidget* parent, const FileRequest& request) = 0;
  // Opens a file (relative to the current folder) or a web address.
  virtual void OpenWithShell(const QString& target) = 0;
  // Nested: the cursor is restored when every "on" has had its "off".
  virtual void SetWaitCursor(bool on) = 0;
  virtual QSize ScreenSize() = 0;
};

// The installed services (the desktop's by default).
VEXQ4_CONTROL_API UiServices& Ui();
// Installs `services` (kept by the caller while installed); nullptr
// restores the desktop's.
VEXQ4_CONTROL_API void SetUiServices(UiServices* services);

// The desktop's answers, for hosts that wrap them.
VEXQ4_CONTROL_API UiServices& DesktopUiServices();

// The caption of the control's message boxes: the module's name.
VEXQ4_CONTROL_API QString DefaultCaption();

// Shows `text` in an OK box with the default caption.
VEXQ4_CONTROL_API UiServices::Answer ShowMessage(
    QWidget* parent, const QString& text, UiServices::Buttons buttons = UiServices::Buttons::kOk,
    UiServices::Icon icon = UiServices::Icon::kWarning);

// The wait cursor for one scope.
class VEXQ4_CONTROL_API WaitCursor {
 public:
  WaitCursor() { Ui().SetWaitCursor(true); }
  ~WaitCursor() { Ui().SetWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Splits "Camera setup (*.cam)|*.cam||" into Qt's "Camera setup (*.cam)".
VEXQ4_CONTROL_API QString QtFilter(const QString& filter);

}  // namespace vexq4::control
