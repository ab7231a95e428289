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
#include "vexq4/control/member_lists.h"
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
#define VEXQ4_DECLARE_NUMERIC(dispid, Name, lo, hi) \
  short Get##Name();                                \
  void Set##Name(short value);
  VEXQ4_NUMERIC_PROPERTIES(VEXQ4_DECLARE_NUMERIC)
#undef VEXQ4_DECLARE_NUMERIC
#define VEXQ4_DECLARE_TEXT(dispid, Name, Index, list) \
  QString Get##Name();                                \
  void Set##Name(const QString& value);
  VEXQ4_TEXT_PROPERTIES(VEXQ4_DECLARE_TEXT)
#undef VEXQ4_DECLARE_TEXT
  short GetComPort();
  void SetComPort(short value);
  Bool GetShowShutterWnd();
  void SetShowShutterWnd(Bool value);
  Bool GetShowGainWnd();
  void SetShowGainWnd(Bool value);
  Bool GetShowCommunicationWnd();
  void SetShowCommunicationWnd(Bool value);
  Bool GetShowAboutWnd();
  void SetShowAboutWnd(Bool value);
  short GetFrameGrabberIndex();
  void SetFrameGrabberIndex(short value);
  // The getter reads the user ID from the camera first.
  QString GetUserID();
  void SetUserID(const QString& value);

  // ---- Methods: range and list queries (error event, never raise).
#define VEXQ4_DECLARE_MINMAX(dispid, Name, lo, hi) short GetMinMax##Name(short* pMin, short* pMax);
  VEXQ4_MINMAX_METHODS(VEXQ4_DECLARE_MINMAX)
#undef VEXQ4_DECLARE_MINMAX
  short GetMinMaxFrameGrabberIndex(short* pMin, short* pMax);
#define VEXQ4_DECLARE_VALID(dispid, Name, IndexParam, TextParam, list) \
  short GetValid##Name(short IndexParam, QString* TextParam);
  VEXQ4_VALID_METHODS(VEXQ4_DECLARE_VALID)
#undef VEXQ4_DECLARE_VALID

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
  void OnlineStatusChanged(int online) override;
  void SynchronizedStatusChanged(int synchronized) override;
  void SendingToCamStatusChanged(int sending) override;
  void ReceiveFromCamStatusChanged(int receiving) override;
#define VEXQ4_DECLARE_NOTIFICATION(Name) void Name() override;
  VEXQ4_DECLARE_NOTIFICATION(ComPortChanged)
  VEXQ4_DECLARE_NOTIFICATION(FrameGrabberChanged)
  VEXQ4_DECLARE_NOTIFICATION(ShutterSpeedChanged)
  VEXQ4_DECLARE_NOTIFICATION(TriggerTypeChanged)
  VEXQ4_DECLARE_NOTIFICATION(TriggerPolarityChanged)
  VEXQ4_DECLARE_NOTIFICATION(SmearlessChanged)
  VEXQ4_DECLARE_NOTIFICATION(RCTFVALTypeChanged)
  VEXQ4_DECLARE_NOTIFICATION(ShutterModeChanged)
  VEXQ4_DECLARE_NOTIFICATION(ProgrammableExposureChanged)
  VEXQ4_DECLARE_NOTIFICATION(BlueGainLevelChanged)
  VEXQ4_DECLARE_NOTIFICATION(BlueBlackLevelChanged)
  VEXQ4_DECLARE_NOTIFICATION(ProgrammableExposureRedChanged)
  VEXQ4_DECLARE_NOTIFICATION(ProgrammableExposureGreenChanged)
  VEXQ4_DECLARE_NOTIFICATION(ProgrammableExposureBlueChanged)
  VEXQ4_DECLARE_NOTIFICATION(BlueKneePointChanged)
  VEXQ4_DECLARE_NOTIFICATION(RedKneeSlopeChanged)
  VEXQ4_DECLARE_NOTIFICATION(GreenKneeSlopeChanged)
  VEXQ4_DECLARE_NOTIFICATION(BlueKneeSlopeChanged)
  VEXQ4_DECLARE_NOTIFICATION(TriggerInputChanged)
  VEXQ4_DECLARE_NOTIFICATION(AccumulationChanged)
  VEXQ4_DECLARE_NOTIFICATION(OutputBitAllocationChanged)
  VEXQ4_DECLARE_NOTIFICATION(PartialScanChanged)
  VEXQ4_DECLARE_NOTIFICATION(BinningChanged)
  VEXQ4_DECLARE_NOTIFICATION(WhiteBalanceChanged)
  VEXQ4_DECLARE_NOTIFICATION(MasterGainLevelChanged)
  VEXQ4_DECLARE_NOTIFICATION(RedGainLevelChanged)
  VEXQ4_DECLARE_NOTIFICATION(RedBlackLevelChanged)
  VEXQ4_DECLARE_NOTIFICATION(Red3200KWBalPresetChanged)
  VEXQ4_DECLARE_NOTIFICATION(Blue3200KWBalPresetChanged)
  VEXQ4_DECLARE_NOTIFICATION(Red4600KWBalPresetChanged)
  VEXQ4_DECLARE_NOTIFICATION(Blue4600KWBalPresetChanged)
  VEXQ4_DECLARE_NOTIFICATION(Red5600KWBalPresetChanged)
  VEXQ4_DECLARE_NOTIFICATION(Blue5600KWBalPresetChanged)
  VEXQ4_DECLARE_NOTIFICATION(GreenBlackLevelChanged)
  VEXQ4_DECLARE_NOTIFICATION(GreenKneePointChanged)
  VEXQ4_DECLARE_NOTIFICATION(RedKneePointChanged)
  VEXQ4_DECLARE_NOTIFICATION(KneeSelectChanged)
  VEXQ4_DECLARE_NOTIFICATION(ShadingModeChanged)
  VEXQ4_DECLARE_NOTIFICATION(ColorBarChanged)
  VEXQ4_DECLARE_NOTIFICATION(UserIDChanged)
  VEXQ4_DECLARE_NOTIFICATION(CameraIDChanged)
  VEXQ4_DECLARE_NOTIFICATION(ModelNameChanged)
  VEXQ4_DECLARE_NOTIFICATION(EEPROMCurrentAreaNoChanged)
  VEXQ4_DECLARE_NOTIFICATION(OnePushResultChanged)
  VEXQ4_DECLARE_NOTIFICATION(AutoWhiteAreaChanged)
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
  short NumericGet(int dispid);
  void NumericSet(int dispid, short value, int lo, int hi);
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
