// The About window: what the tool and the connected camera are (product,
// version, platform, the camera's ID, model name and user ID), saving a new
// user ID into the camera, the PDF help files of the current folder, and
// the choice whether the tool windows stay on top.
#pragma once

#include <QString>

#include "VexQ4Comm.h"
#include "vexq4/control/tool_windows.h"

class CLabel;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class StatusPicture;

class CAboutDlg final : public CToolWinDlg {
  Q_OBJECT

 public:
  // The window's fixed texts.
  static constexpr char kProductLine[] = "RX-Q4CL Control Tool";
  static constexpr char kPlatformLine[] = "For 64bit Linux";
  static constexpr char kVersionLine[] = "Version 1.7";
  static constexpr char kNoticeLine[] = "(C) 2026 the RX-Q4 control project";
  static constexpr char kWebAddress[] = "https://rx-q4.example.org/";
  static constexpr char kOpenHelpTip[] = "Online help and documentation";
  static constexpr char kEmptyUserId[] = "A valid User ID must contain some characters !!";
  static constexpr char kNoFileSelected[] = "No file was selected!!";
  // What the camera keeps of a user ID.
  static constexpr int kUserIdMaxLength = VEXQ4_USER_ID_MAX_SET;

  CAboutDlg();

  void HideRequest() override;
  void OnRefresh(vexq4::control::Change change, int number, const QString& text) override;

  // The operator's actions, as the window's controls run them.
  void OnProtectUserId();
  void OnEditUserId();
  void OnSaveUserId();
  void OnAlwaysOnTop();
  void OnOpenHelpFile();

  // What the window keeps across a rebuild of the tool windows.
  const QString& cameraIdText() const { return cameraId_; }
  const QString& modelNameText() const { return modelName_; }
  const QString& userIdText() const { return userId_; }
  int protectIndex() const { return protectIndex_; }
  bool alwaysOnTop() const { return alwaysOnTop_; }

  // Why the camera would refuse `userId`, or an empty text when it takes it.
  static QString UserIdProblem(const QString& userId);

 protected:
  void BuildWindow(QWidget* page) override;
  void OnInitDialog() override;
  void OnDestroyWindow() override;

 private:
  // The window's parts, made on `page`.
  QHBoxLayout* BuildProductLines(QWidget* page);
  QGroupBox* BuildCameraData(QWidget* page);
  QGroupBox* BuildHelp(QWidget* page);

  // Shows the kept values in the controls ("refresh").
  void ShowFields();
  void SetProtectMode(int index);
  void FillHelpList();
  void SetCameraId(const QString& text);
  void SetModelName(const QString& text);
  void SetUserIdText(const QString& text);

  // Kept by the window object: they survive the window.
  QString cameraId_;
  QString modelName_;
  QString userId_;
  int protectIndex_ = -1;
  bool alwaysOnTop_ = false;

  // Widgets of the current window; null while it does not exist.
  QLabel* picture_ = nullptr;
  QLabel* icon_ = nullptr;
  QLabel* platform_ = nullptr;
  CLabel* link_ = nullptr;
  QCheckBox* onTop_ = nullptr;
  QLineEdit* modelNameBox_ = nullptr;
  QLineEdit* cameraIdBox_ = nullptr;
  QLineEdit* userIdBox_ = nullptr;
  QPushButton* saveUserId_ = nullptr;
  QRadioButton* protect_ = nullptr;
  QRadioButton* edit_ = nullptr;
  QComboBox* helpList_ = nullptr;
  QPushButton* openHelp_ = nullptr;
  StatusPicture* onlineBar_ = nullptr;
};
