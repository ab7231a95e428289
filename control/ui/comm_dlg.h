// The Communication window: how the camera is reached (a PC COM port, a
// frame grabber's Camera Link serial channel through linkport, or a port of
// clallserial), the link status, the transfers between camera, program and
// files, the camera's user areas, the camera data report, and the running
// log of every exchange with the camera (newest on top).
//
// Like every page it acts only through the control's automation members,
// and the control calls Refresh/AppendMessage when the model reports.
#pragma once

#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

#include "vexq4/control/tool_windows.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class StatusPicture;

class CCommDlg final : public CToolWinDlg {
  Q_OBJECT

 public:
  // A log longer than this is emptied before the next message goes on top.
  static constexpr int kMaxLogLength = 10000;
  // How long the activity indicator stays after the last transfer, and how
  // often the link is checked while the window is shown.
  static constexpr int kDefaultActivityTailMs = 200;
  static constexpr int kDefaultLinkPollMs = 60000;

  CCommDlg();

  void HideRequest() override;
  void OnRefresh(vexq4::control::Change change, int number, const QString& text) override;
  void AppendMessage(const QString& line) override;

  // The log exactly as it stands (what "Write To File" writes).
  const QString& messageLog() const { return log_; }
  bool markerOn() const { return markerOn_; }
  // What each source-list position stands for: a manufacturer index up to
  // lastManufacturerPosition(), a clallserial port index after it.
  const std::vector<short>& positionMap() const { return positionMap_; }
  int lastManufacturerPosition() const { return lastManufacturerPos_; }

  // Shorter periods for tests; they apply to timers started afterwards and
  // restart a running link poll.
  void SetActivityTailMs(int ms);
  void SetLinkPollMs(int ms);

 protected:
  void BuildWindow(QWidget* page) override;
  void OnInitDialog() override;
  void OnDestroyWindow() override;

 private:
  // The window's groups (comm_dlg_window.cpp), each made, named and wired
  // on `page`.
  QGroupBox* BuildStatusGroup(QWidget* page);
  QGroupBox* BuildCommunicationGroup(QWidget* page);
  QGroupBox* BuildSynchronizeGroup(QWidget* page);
  QGroupBox* BuildFilesGroup(QWidget* page);
  QGroupBox* BuildEepromGroup(QWidget* page);
  QGroupBox* BuildAreasGroup(QWidget* page);
  QGroupBox* BuildReportGroup(QWidget* page);
  QGroupBox* BuildMessagesGroup(QWidget* page);
  // What an operator's action runs: `action`, as the page runs actions.
  std::function<void()> Acting(void (CCommDlg::*action)());

  // Copies the lists' selections into the fields, and the reverse.
  void ReadControls();
  void RefreshControls();

  void BuildSourceList();
  void RestoreFrameGrabber();
  // Connects through the entry at source-list `position`.
  void ConnectSource(int position);

  void SetMarker(bool on);
  void ReportOperation(short result);
  void ShowActivity(const QString& text, const QString& state);
  void HideActivity();
  void PollLink();
  void ShowDialogFailure(bool save);

  // Operator actions.
  void OnComPortSelected();
  void OnSourceSelected();
  void OnAuto();
  void OnSynchronizeCamera();
  void OnSynchronizeProgram();
  void OnWriteSettingsFile();
  void OnReadSettingsFile();
  void OnUserAreaSelected();
  void OnStore();
  void OnLoad();
  void OnWriteCameraData();
  void OnGetArea();
  void OnWriteLog();
  void OnClear();

  // Fields that outlive a rebuild of the window.
  int comPortPos_ = 0;
  int sourcePos_ = 0;
  int userAreaPos_ = 0;
  QString onlineText_;
  QString activityText_;
  QString syncText_;
  QString eepromText_;
  QString log_;
  bool markerOn_ = false;
  short firstComPort_ = vexq4::model::kFirstComPort;
  short lastComPort_ = vexq4::model::kLastComPort;
  short firstManufacturer_ = 0;
  short lastManufacturer_ = -1;
  short clPortCount_ = 0;
  std::vector<QString> manufacturerNames_;
  std::vector<QString> portNames_;
  std::vector<short> positionMap_;
  std::vector<bool> keep_;
  int lastManufacturerPos_ = -1;
  int activityTailMs_ = kDefaultActivityTailMs;
  int linkPollMs_ = kDefaultLinkPollMs;

  // Widgets of the current window (null while it does not exist).
  QPointer<QComboBox> sourceList_;
  QPointer<QComboBox> comPortList_;
  QPointer<QComboBox> userAreaList_;
  QPointer<QPushButton> autoButton_;
  QPointer<QPushButton> storeButton_;
  QPointer<QLabel> onlineLabel_;
  QPointer<QLabel> activityLabel_;
  QPointer<QLabel> syncLabel_;
  QPointer<StatusPicture> onlineIcon_;
  QPointer<StatusPicture> activityIcon_;
  QPointer<StatusPicture> syncIcon_;
  QPointer<StatusPicture> marker_;
  QPointer<QLineEdit> eepromBox_;
  QPointer<QPlainTextEdit> logBox_;
  QPointer<QTimer> activityTimer_;  // timer 1
  QPointer<QTimer> pollTimer_;      // timer 2
};
