// CXVexCamCtrl: the RX-Q4 control that a host places on its form. It is at
// once a Qt widget (a strip with four toolbar buttons that show and hide the
// tool windows) and the camera model (its second base). Its automation
// members, typed here and listed in the member table (automation.h), check
// values, call the model and turn the model's status codes into automation
// errors; its overrides of the model's notifications refresh the tool
// window that shows the value and fire the matching event.
//
// Everything runs on the thread that created the control. Calls that reach
// the camera block until the camera answers or the line times out.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "vexq4/control/automation.h"
#include "vexq4/control/changes.h"
#include "vexq4/model/VexCamInterface.h"

class CDlg1;
class CToolWinDlg;
class CMainDlg;
class CProgress;

namespace vexq4::control {

using Bool = std::int32_t;  // zero false, anything else true (automation sets -1)
using Long = std::int32_t;

// A listener of the control's events (DISPIDs 1..45), its stock error event
// and its message lines. Hosts add as many as they like.
class VEXQ4_CONTROL_API EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void OnEvent(const MemberInfo& /*event*/) {}
  // Set `cancelDisplay` to keep the control from showing the error's text
  // in a message box.
  virtual void OnErrorEvent(const AutomationError& /*error*/, bool& /*cancelDisplay*/) {}
  // One message line of the model (a query or command with its outcome).
  virtual void OnCommandMessage(const QString& /*line*/) {}
};

class MessageHook;

}  // namespace vexq4::control

class VEXQ4_CONTROL_API CXVexCamCtrl : public QWidget, public CVexCamInterface {
  Q_OBJECT

 public:
  using Bool = vexq4::control::Bool;
  using Long = vexq4::control::Long;

  explicit CXVexCamCtrl(QWidget* parent = nullptr);
  ~CXVexCamCtrl() override;

  // ---- Properties.
  // The settings' properties and their range and list queries, made from
  // the model's description (vexq4/model/settings.h): Get/Set<Property>
  // (short) for each setting; for a list setting also Get/Set<TextProperty>
  // (its text), GetMinMax<Methods> and GetValid<Methods>; for a setting whose
  // range the control checks, GetMinMax<Property>.
#define VEXQ4_DECLARE_PROPERTY(Property) \
  short Get##Property();                 \
  void Set##Property(short value);
#define VEXQ4_DECLARE_LIST(Notification, Property, TextProperty, Methods, ...) \
  VEXQ4_DECLARE_PROPERTY(Property)                                             \
  QString Get##TextProperty();                                                 \
  void Set##TextProperty(const QString& value);                                \
  short GetMinMax##Methods(short* pMin, short* pMax);                          \
  short GetValid##Methods(short index, QString* text);
#define VEXQ4_DECLARE_RANGED(Notification, Property, ...) \
  VEXQ4_DECLARE_PROPERTY(Property)                        \
  short GetMinMax##Property(short* pMin, short* pMax);
#define VEXQ4_DECLARE_PLAIN(Notification, Property, ...) VEXQ4_DECLARE_PROPERTY(Property)
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_SKIP, VEXQ4_DECLARE_LIST, VEXQ4_DECLARE_RANGED,
                            VEXQ4_DECLARE_PLAIN)
#undef VEXQ4_DECLARE_PROPERTY
#undef VEXQ4_DECLARE_LIST
#undef VEXQ4_DECLARE_RANGED
#undef VEXQ4_DECLARE_PLAIN
  // The control's other properties: X(Name, Type, ParameterType, VarType,
  // DISPID, getter reads the camera); DISPID 0 is the model's for the name.
  // The user ID's getter reads it from the camera first.
#define VEXQ4_CONTROL_PROPERTIES(X)                    \
  X(ComPort, short, short, kShort, 0, false)           \
  X(ShowShutterWnd, Bool, Bool, kBool, 2, false)       \
  X(ShowGainWnd, Bool, Bool, kBool, 3, false)          \
  X(ShowCommunicationWnd, Bool, Bool, kBool, 4, false) \
  X(ShowAboutWnd, Bool, Bool, kBool, 5, false)         \
  X(FrameGrabberIndex, short, short, kShort, 0, false) \
  X(UserID, QString, const QString&, kText, 0, true)
#define VEXQ4_DECLARE_CONTROL_PROPERTY(Name, Type, Parameter, ...) \
  Type Get##Name();                                                \
  void Set##Name(Parameter value);
  VEXQ4_CONTROL_PROPERTIES(VEXQ4_DECLARE_CONTROL_PROPERTY)
#undef VEXQ4_DECLARE_CONTROL_PROPERTY

  // ---- Methods: the range and list queries that belong to no setting
  // (error event, never raise).
  short GetMinMaxComPortId(short* pMin, short* pMax);
  short GetMinMaxUserSettingsId(short* pMin, short* pMax);
  short GetMinMaxPowerOnSettings(short* pMin, short* pMax);
  short GetMinMaxOnePushResult(short* pMin, short* pMax);
  short GetMinMaxFrameGrabberIndex(short* pMin, short* pMax);
  short GetValidOnePushResult(short OnePushResultIndex, QString* pOnePushResultStr);

  // ---- Methods: connection, transfers, files, identity.
  Long AutoSearchComPort(short FirstPort, short LastPort, short DoShowProgress);
  short GetMainWindowDefaultPosition(short* pXPos, short* pYPos);
  short SetMainWindowDefaultPosition(short XPos, short YPos);
  short WriteAllToCamera();
  short ReadAllFromCamera();
  short WriteAllToFile(const QString& FileName);
  short ReadAllFromFile(const QString& FileName);
  Bool GetIsOnline();
  Bool GetIsSynchronized();
  Bool GetIsSending();
  Bool GetIsReceiving();
  short StoreSettings(short AreaSelection);
  short LoadSettings(short AreaSelection);
  short ClSerialGetNumManufacturers(short* pNumManufacturers);
  short ClSerialGetManufacturer(short ManufacturerIndex, QString* ManufacturerName,
                                short* BufferSize, short* Version);
  short ClSerialSelectManufacturer(const QString& ManufacturerName);
  short ClSerialGetNumSerialPorts(short* NumSerialPorts);
  short GetCameraID(QString* CameraID);
  short GetModelName(QString* ModelName);
  short SetOnePushMode();
  short WriteCameraDataToFile(const QString& FileName);
  short GetFirmwareVersion();
  short GetEEPROMCurrentAreaNo();
  short GetOnePushResult();
  short SetWindowPosTopBottom(Long AlwaysOnTop);
  short ClAllSerialGetNumPorts(short* numPorts);
  short ClAllSerialGetPortInfo(short serialIndex, QString* ManufacturerName, short* nameBytes,
                               QString* portID, short* IDBytes, short* Version);
  short ClAllSerialSetFrameGrabberIndex(short FrameGrabberIndex);
  short ClAllSerialGetNumBytesAvail(short* numBytes);
  short ClAllSerialGetSupportedBaudRates(short* baudRates);
  short ClAllSerialSetBaudRate(short baudRate);
  short ClSerialSetFrameGrabberIndex(short FrameGrabberIndex);
  short StartAutoShadingCorrection();
  short SaveShadingDataIntoFile(const QString& FileName);
  short LoadShadingDataFromFile(const QString& FileName);
  void AboutBox();

  // ---- Events and sinks.
  void AddEventSink(vexq4::control::EventSink* sink);
  void RemoveEventSink(vexq4::control::EventSink* sink);
  // Fires the stock error event with a string-table text; shows the text
  // in a message box unless a sink cancels the display.
  void FireError(std::uint32_t scode, int stringId);

  // ---- Windows.
  // Shows or hides tool window `index` (once the saved visibility has been
  // applied), moves its toolbar button and keeps the page's field.
  void SetToolWindowVisible(int index, Bool show);
  // The visibility property of `index` (as the setter: writes the profile).
  void SetToolWindowVisibleProperty(int index, Bool show);
  Bool ToolWindowVisible(int index) const { return visible_[static_cast<std::size_t>(index)]; }
  bool toolWindowsShown() const { return toolWindowsShown_; }
  CDlg1& Frame(int index) { return *frames_[static_cast<std::size_t>(index)]; }
  CToolWinDlg& Page(int index) { return *pages_[static_cast<std::size_t>(index)]; }
  // The frame's top-level window, or nullptr while it does not exist.
  QWidget* FrameWindow(int index);
  CMainDlg* MainStrip() const { return strip_; }
  // The auto search's progress window while it exists.
  CProgress* ProgressWindow() const { return progress_; }
  bool IsModified() const { return modified_; }
  void SetModifiedFlag(bool modified = true) { modified_ = modified; }
  bool hasMessageHook() const { return hook_ != nullptr; }
  // True while the application quits: Qt then closes every window, the
  // tool windows among them, and that is not the operator closing them
  // (which windows are open stays in the profile for the next start).
  bool applicationQuitting() const { return quitting_; }

  // Toolbar commands (32771 Shutter, 32773 Gain, 32784 Communication,
  // 32785 About): toggle that window.
  void OnToolbarCommand(int command);
  static constexpr std::array<int, 4> kToolbarCommands = {32771, 32773, 32784, 32785};

  QSize sizeHint() const override { return {175, 30}; }

  // ---- Model notifications.
#define VEXQ4_DECLARE_STATUS(Name, ...) void Name(int state) override;
#define VEXQ4_DECLARE_NOTIFICATION(Name, ...) void Name() override;
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_DECLARE_STATUS, VEXQ4_DECLARE_NOTIFICATION,
                            VEXQ4_DECLARE_NOTIFICATION, VEXQ4_DECLARE_NOTIFICATION,
                            VEXQ4_DECLARE_NOTIFICATION)
#undef VEXQ4_DECLARE_STATUS
#undef VEXQ4_DECLARE_NOTIFICATION
  void CommandMessage(std::string line) override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // Refreshes the windows of `change`, then fires its event.
  void Changed(vexq4::control::Change change);
  void FireEvent(int dispid);
  void OnCreate();
  void ApplySavedVisibility();
  friend class vexq4::control::MessageHook;
  void OnApplicationQuit();
  void CreateToolWindowFrames(bool alwaysOnTop);
  void PaintPlaceholder(QPainter& painter, const QRect& bounds);
  short NumericGet(const vexq4::model::SettingRow& row);
  void NumericSet(const vexq4::model::SettingRow& row, short value);
  void TextSet(const QString& text, std::span<const std::string_view> list,
               void (CXVexCamCtrl::*set)(short));
  short MinMax(short lo, short hi, short* pMin, short* pMax);
  short ValidEntry(std::span<const std::string_view> list, short index, QString* text);

  std::array<std::unique_ptr<CDlg1>, 4> frames_;
  std::array<std::unique_ptr<CToolWinDlg>, 4> pages_;
  std::array<Bool, 4> visible_{};
  bool toolWindowsShown_ = false;
  bool created_ = false;
  bool modified_ = false;
  bool quitting_ = false;
  CMainDlg* strip_ = nullptr;  // child widget, owned by Qt
  CProgress* progress_ = nullptr;
  std::unique_ptr<vexq4::control::MessageHook> hook_;
  std::vector<vexq4::control::EventSink*> sinks_;
};
