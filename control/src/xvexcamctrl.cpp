// The control's automation members: each checks its arguments, calls the
// model and turns the model's status codes into automation errors.
#include "vexq4/control/XVexCamCtrl.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>

#include "VexQ4Comm.h"
#include "member_support.h"
#include "vexq4/control/progress.h"
#include "vexq4/control/tool_windows.h"
#include "vexq4/control/ui_services.h"
#include "vexq4/platform/ini_file.h"

using vexq4::control::AutomationError;
using vexq4::control::kDeviceIoError;
using vexq4::control::kInvalidPropertyValue;
namespace ctl = vexq4::control;
namespace model = vexq4::model;

using namespace vexq4::control::members;

namespace {

using model::Status;

// Raises `scode` with the outcome's own text when it is one of `raising`.
void RaiseIfOneOf(Status status, std::initializer_list<Status> raising, std::uint32_t scode) {
  for (Status s : raising)
    if (status == s) Raise(scode, model::Describe(status).stringId);
}

QString FromModel(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string ToPath(const QString& fileName) { return fileName.toUtf8().toStdString(); }

const model::SettingRow& Row(std::string_view property) { return *model::FindSetting(property); }

// The camera's own rule for a user ID: at most so many printable characters.
constexpr qsizetype kUserIdMaxLength = VEXQ4_USER_ID_MAX_SET;
bool AcceptableUserId(const QString& text) {
  if (text.size() > kUserIdMaxLength) return false;
  return std::all_of(text.begin(), text.end(),
                     [](QChar c) { return c.unicode() >= 0x20 && c.unicode() <= 0x7E; });
}

constexpr int kMainWindowDefault = 100;

}  // namespace

// ---- Numeric and text properties.
short CXVexCamCtrl::NumericGet(const model::SettingRow& row) { return Short(Value(row)); }

void CXVexCamCtrl::NumericSet(const model::SettingRow& row, short value) {
  if (row.checked && (value < row.min || value > row.max))
    Raise(kInvalidPropertyValue, ctl::kIdsInvalidParameter);
  // The model stores and announces the value before it reaches the camera,
  // so an off-line set succeeds for the host.
  const int result = SetSetting(row, value);
  RaiseIfOneOf(model::LibraryStatus(result), {Status::kNotAcknowledged}, kDeviceIoError);
  SetModifiedFlag();
}

void CXVexCamCtrl::TextSet(const QString& text, std::span<const std::string_view> list,
                           void (CXVexCamCtrl::*set)(short)) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (text == QLatin1String(list[i].data(), static_cast<qsizetype>(list[i].size()))) {
      (this->*set)(static_cast<short>(i));
      return;
    }
  }
  Raise(kInvalidPropertyValue, ctl::kIdsInvalidParameter);
}

// The settings' typed members (declared from the same list).
#define VEXQ4_DEFINE_PROPERTY(Property)                                      \
  short CXVexCamCtrl::Get##Property() { return NumericGet(Row(#Property)); } \
  void CXVexCamCtrl::Set##Property(short value) { NumericSet(Row(#Property), value); }
#define VEXQ4_DEFINE_RANGE(Methods, Property)                        \
  short CXVexCamCtrl::GetMinMax##Methods(short* pMin, short* pMax) { \
    const model::SettingRow& row = Row(#Property);                   \
    return MinMax(Short(row.min), Short(row.max), pMin, pMax);       \
  }
#define VEXQ4_DEFINE_LIST(Notification, Property, TextProperty, Methods, ...)           \
  VEXQ4_DEFINE_PROPERTY(Property)                                                       \
  VEXQ4_DEFINE_RANGE(Methods, Property)                                                 \
  QString CXVexCamCtrl::Get##TextProperty() { return FromModel(Text(Row(#Property))); } \
  void CXVexCamCtrl::Set##TextProperty(const QString& value) {                          \
    TextSet(value, Row(#Property).list, &CXVexCamCtrl::Set##Property);                  \
  }                                                                                     \
  short CXVexCamCtrl::GetValid##Methods(short index, QString* text) {                   \
    return ValidEntry(Row(#Property).list, index, text);                                \
  }
#define VEXQ4_DEFINE_RANGED(Notification, Property, ...) \
  VEXQ4_DEFINE_PROPERTY(Property)                        \
  VEXQ4_DEFINE_RANGE(Property, Property)
#define VEXQ4_DEFINE_PLAIN(Notification, Property, ...) VEXQ4_DEFINE_PROPERTY(Property)
VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_SKIP, VEXQ4_DEFINE_LIST, VEXQ4_DEFINE_RANGED,
                          VEXQ4_DEFINE_PLAIN)
#undef VEXQ4_DEFINE_PROPERTY
#undef VEXQ4_DEFINE_RANGE
#undef VEXQ4_DEFINE_LIST
#undef VEXQ4_DEFINE_RANGED
#undef VEXQ4_DEFINE_PLAIN

short CXVexCamCtrl::GetComPort() { return Short(ComPort()); }

void CXVexCamCtrl::SetComPort(short value) {
  if (CVexCamInterface::SetComPort(value) != VEXQ4_OK) {
    throw AutomationError(kDeviceIoError,
                          ctl::LoadString(ctl::kIdsCameraNotFound)
                              .replace(QLatin1String("%d"), QString::number(value)),
                          0);
  }
  SetModifiedFlag();
}

CXVexCamCtrl::Bool CXVexCamCtrl::GetShowShutterWnd() { return visible_[ctl::kShutterWindow]; }
void CXVexCamCtrl::SetShowShutterWnd(Bool value) {
  SetToolWindowVisibleProperty(ctl::kShutterWindow, value);
}
CXVexCamCtrl::Bool CXVexCamCtrl::GetShowGainWnd() { return visible_[ctl::kGainWindow]; }
void CXVexCamCtrl::SetShowGainWnd(Bool value) {
  SetToolWindowVisibleProperty(ctl::kGainWindow, value);
}
CXVexCamCtrl::Bool CXVexCamCtrl::GetShowCommunicationWnd() {
  return visible_[ctl::kCommunicationWindow];
}
void CXVexCamCtrl::SetShowCommunicationWnd(Bool value) {
  SetToolWindowVisibleProperty(ctl::kCommunicationWindow, value);
}
CXVexCamCtrl::Bool CXVexCamCtrl::GetShowAboutWnd() { return visible_[ctl::kAboutWindow]; }
void CXVexCamCtrl::SetShowAboutWnd(Bool value) {
  SetToolWindowVisibleProperty(ctl::kAboutWindow, value);
}

short CXVexCamCtrl::GetFrameGrabberIndex() { return Short(FrameGrabberIndex()); }

void CXVexCamCtrl::SetFrameGrabberIndex(short value) {
  // 0 is the COM ports; the frame grabbers' entries follow.
  if (value < 0 || value > model::kLastGrabber)
    Raise(kInvalidPropertyValue, ctl::kIdsOnlyGrabber1To16);
  const int result = CVexCamInterface::SetFrameGrabberIndex(value);
  if (result != VEXQ4_OK && result != VEXQ4_E_NO_CONNECTION)
    Raise(kDeviceIoError, ctl::kIdsGrabberNotFound);
  SetModifiedFlag();
}

QString CXVexCamCtrl::GetUserID() {
  CVexCamInterface::GetUserID();
  return FromModel(UserID());
}

void CXVexCamCtrl::SetUserID(const QString& value) {
  // Checked here too: off-line the model would keep a text the camera
  // would refuse later.
  if (!AcceptableUserId(value)) Raise(kInvalidPropertyValue, ctl::kIdsInvalidParameter);
  const int result = CVexCamInterface::SetUserID(value.toLatin1().toStdString());
  RaiseIfOneOf(model::LibraryStatus(result), {Status::kOutOfRange}, kInvalidPropertyValue);
  RaiseIfOneOf(model::LibraryStatus(result), {Status::kNotAcknowledged}, kDeviceIoError);
  SetModifiedFlag();
}

// ---- Range and list queries: they report through the error event.
short CXVexCamCtrl::MinMax(short lo, short hi, short* pMin, short* pMax) {
  if (!pMin || !pMax) {
    FireError(kInvalidPropertyValue, ctl::kIdsInvalidNull);
    return -1;
  }
  *pMin = lo;
  *pMax = hi;
  return 0;
}

// The COM ports offered, user areas 1 to 3, the one-push result's list.
short CXVexCamCtrl::GetMinMaxComPortId(short* pMin, short* pMax) {
  return MinMax(model::kFirstComPort, model::kLastComPort, pMin, pMax);
}
short CXVexCamCtrl::GetMinMaxUserSettingsId(short* pMin, short* pMax) {
  return MinMax(1, 3, pMin, pMax);
}
short CXVexCamCtrl::GetMinMaxPowerOnSettings(short* pMin, short* pMax) {
  return MinMax(1, 3, pMin, pMax);
}
short CXVexCamCtrl::GetMinMaxOnePushResult(short* pMin, short* pMax) {
  return MinMax(0, Short(static_cast<int>(model::kOnePushResultList.size()) - 1), pMin, pMax);
}

short CXVexCamCtrl::GetMinMaxFrameGrabberIndex(short* pMin, short* pMax) {
  if (!pMin || !pMax) return MinMax(0, 0, pMin, pMax);
  *pMin = 0;
  short count = 0;
  ClSerialGetNumManufacturers(&count);
  *pMax = Short(count - 1);
  return 0;
}

short CXVexCamCtrl::ValidEntry(std::span<const std::string_view> list, short index, QString* text) {
  if (!text) {
    FireError(kInvalidPropertyValue, ctl::kIdsInvalidNull);
    return -1;
  }
  const auto position = static_cast<unsigned short>(index);
  if (position >= list.size()) {
    FireError(kInvalidPropertyValue, ctl::kIdsInvalidParameter);
    return -1;
  }
  *text = QString::fromLatin1(list[position].data(), static_cast<qsizetype>(list[position].size()));
  return 0;
}

short CXVexCamCtrl::GetValidOnePushResult(short OnePushResultIndex, QString* pOnePushResultStr) {
  return ValidEntry(model::kOnePushResultList, OnePushResultIndex, pOnePushResultStr);
}

// ---- Connection.
CXVexCamCtrl::Long CXVexCamCtrl::AutoSearchComPort(short FirstPort, short LastPort,
                                                   short DoShowProgress) {
  const auto offered = [](short port) {
    return port >= model::kFirstComPort && port <= model::kLastComPort;
  };
  if (!offered(FirstPort) || !offered(LastPort) || LastPort < FirstPort) {
    FireError(kInvalidPropertyValue, ctl::kIdsOnlyCom1To16);
    return 0;
  }
  std::unique_ptr<CProgress> progress;
  if (DoShowProgress != 0) {
    progress = std::make_unique<CProgress>(this);
    progress->SetRange(FirstPort, LastPort);
    progress->ShowCancel(true);
    progress->BeginModeless(window());
    progress->show();
    progress_ = progress.get();
  }
  Long found = 0;
  for (int port = FirstPort; port <= LastPort; ++port) {
    if (progress) {
      progress->Step();
      progress->SetText(QString::asprintf("Check COM%d ...", port));
      // Lets the operator's Cancel through; the window is modal, so
      // nothing else of ours can be worked meanwhile.
      QCoreApplication::processEvents();
      if (progress->cancelRequested()) break;
    }
    if (CVexCamInterface::SetComPort(port) == VEXQ4_OK) {
      found = port;
      break;
    }
  }
  progress_ = nullptr;
  return found;
}

short CXVexCamCtrl::GetMainWindowDefaultPosition(short* pXPos, short* pYPos) {
  RequirePresent(pXPos, pYPos);
  *pXPos = Short(vexq4::platform::GetModuleProfileInt("Main", "TopLeftX", kMainWindowDefault));
  *pYPos = Short(vexq4::platform::GetModuleProfileInt("Main", "TopLeftY", kMainWindowDefault));
  return 0;
}

short CXVexCamCtrl::SetMainWindowDefaultPosition(short XPos, short YPos) {
  vexq4::platform::WriteModuleProfileString("Main", "TopLeftX", std::to_string(XPos));
  vexq4::platform::WriteModuleProfileString("Main", "TopLeftY", std::to_string(YPos));
  return 0;
}

CXVexCamCtrl::Bool CXVexCamCtrl::GetIsOnline() {
  CheckConnection();
  return IsOnline();
}
CXVexCamCtrl::Bool CXVexCamCtrl::GetIsSynchronized() { return IsSynchronized(); }
CXVexCamCtrl::Bool CXVexCamCtrl::GetIsSending() { return IsSending(); }
CXVexCamCtrl::Bool CXVexCamCtrl::GetIsReceiving() { return IsReceiving(); }

// ---- Transfers, identity, white balance.
// The whole-camera operations refresh every window many times: their
// profile writes go to the file once, at the end (ModuleProfileBatch).
short CXVexCamCtrl::WriteAllToCamera() {
  const vexq4::platform::ModuleProfileBatch batch;
  return Short(CVexCamInterface::WriteAllToCamera());
}
short CXVexCamCtrl::ReadAllFromCamera() {
  const vexq4::platform::ModuleProfileBatch batch;
  return Short(CVexCamInterface::ReadAllFromCamera());
}

short CXVexCamCtrl::StoreSettings(short AreaSelection) {
  const int result = CVexCamInterface::StoreSettings(AreaSelection);
  RaiseIfOneOf(model::LibraryStatus(result), {Status::kNotAcknowledged}, kDeviceIoError);
  return Short(result);
}

short CXVexCamCtrl::LoadSettings(short AreaSelection) {
  const vexq4::platform::ModuleProfileBatch batch;
  return Short(CVexCamInterface::LoadSettings(AreaSelection));
}

short CXVexCamCtrl::GetCameraID(QString* CameraID) {
  RequirePresent(CameraID);
  std::array<char, 256> text{};
  const int result = CVexCamInterface::GetCameraID(std::span<char>(text));
  *CameraID = result == VEXQ4_OK ? FromBuffer(text.data()) : QString();
  return Short(result);
}

short CXVexCamCtrl::GetModelName(QString* ModelName) {
  RequirePresent(ModelName);
  std::array<char, 256> text{};
  const int result = CVexCamInterface::GetModelName(std::span<char>(text));
  *ModelName = result == VEXQ4_OK ? FromBuffer(text.data()) : QString();
  return Short(result);
}

short CXVexCamCtrl::SetOnePushMode() { return Short(CVexCamInterface::SetOnePushMode()); }

short CXVexCamCtrl::GetFirmwareVersion() {
  CVexCamInterface::GetFirmwareVersion();
  return Short(FirmwareVersion());
}

short CXVexCamCtrl::GetEEPROMCurrentAreaNo() {
  CVexCamInterface::GetEEPROMCurrentAreaNo();
  return Short(EEPROMCurrentAreaNo());
}

short CXVexCamCtrl::GetOnePushResult() {
  const int result = CVexCamInterface::GetOnePushResult();
  if (result == VEXQ4_OK) return Short(OnePushResult());
  RaiseIfOneOf(model::LibraryStatus(result), {Status::kMalformedAnswer, Status::kNotAcknowledged},
               kDeviceIoError);
  return Short(result);
}

// ---- Files.
short CXVexCamCtrl::WriteAllToFile(const QString& FileName) {
  const Status status = SaveSettingsFile(ToPath(FileName));
  RaiseIfOneOf(status, {Status::kFileNotWritable}, kInvalidPropertyValue);
  return Short(CodeOf(status));
}

short CXVexCamCtrl::ReadAllFromFile(const QString& FileName) {
  const vexq4::platform::ModuleProfileBatch batch;
  const Status status = LoadSettingsFile(ToPath(FileName));
  if (status == Status::kInvalidSettingsFile) {
    throw AutomationError(
        kInvalidPropertyValue,
        ctl::LoadString(ctl::kIdsNotValidIniFile).replace(QLatin1String("%s"), FileName), 0);
  }
  RaiseIfOneOf(status, {Status::kFileNotReadable}, kInvalidPropertyValue);
  return Short(CodeOf(status));
}

short CXVexCamCtrl::WriteCameraDataToFile(const QString& FileName) {
  const vexq4::platform::ModuleProfileBatch batch;
  const Status status = SaveCameraDataReport(ToPath(FileName));
  RaiseIfOneOf(status, {Status::kNotAcknowledged}, kDeviceIoError);
  return Short(CodeOf(status));
}

short CXVexCamCtrl::StartAutoShadingCorrection() {
  const int result = CVexCamInterface::StartAutoShadingCorrection();
  RaiseIfOneOf(model::LibraryStatus(result), {Status::kNotAcknowledged}, kDeviceIoError);
  return Short(result);
}

short CXVexCamCtrl::SaveShadingDataIntoFile(const QString& FileName) {
  const Status status = SaveShadingFile(ToPath(FileName));
  RaiseIfOneOf(status,
               {Status::kFileNotReadable, Status::kFileNotWritable, Status::kOffline,
                Status::kMalformedAnswer, Status::kNotAcknowledged},
               kInvalidPropertyValue);
  return Short(CodeOf(status));
}

short CXVexCamCtrl::LoadShadingDataFromFile(const QString& FileName) {
  const Status status = LoadShadingFile(ToPath(FileName));
  if (status == Status::kNotAShadingTable) {
    // The string table's words, then where the file is no table and why.
    throw AutomationError(kInvalidPropertyValue,
                          ctl::LoadString(ctl::kIdsErrorReading) + QStringLiteral(": ") +
                              FromModel(ShadingFileProblem()),
                          ctl::kIdsErrorReading);
  }
  RaiseIfOneOf(status,
               {Status::kFileNotReadable, Status::kOffline, Status::kMalformedAnswer,
                Status::kNotAcknowledged},
               kInvalidPropertyValue);
  return Short(CodeOf(status));
}

void CXVexCamCtrl::AboutBox() { SetShowAboutWnd(1); }

// ---- Events.
void CXVexCamCtrl::AddEventSink(ctl::EventSink* sink) {
  if (sink && std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end()) sinks_.push_back(sink);
}

void CXVexCamCtrl::RemoveEventSink(ctl::EventSink* sink) {
  sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

void CXVexCamCtrl::FireEvent(int dispid) {
  const auto* event = ctl::FindEvent(dispid);
  // A sink may add or remove sinks from inside its handler.
  const auto sinks = sinks_;
  for (auto* sink : sinks)
    if (std::find(sinks_.begin(), sinks_.end(), sink) != sinks_.end()) sink->OnEvent(*event);
}

void CXVexCamCtrl::FireError(std::uint32_t scode, int stringId) {
  const AutomationError error = AutomationError::FromId(scode, stringId);
  bool cancelDisplay = false;
  const auto sinks = sinks_;
  for (auto* sink : sinks)
    if (std::find(sinks_.begin(), sinks_.end(), sink) != sinks_.end())
      sink->OnErrorEvent(error, cancelDisplay);
  if (!cancelDisplay)
    ctl::Ui().MessageBox(this, error.source(), error.description(), ctl::UiServices::Buttons::kOk,
                         ctl::UiServices::Icon::kError);
}

// ---- Notifications: refresh the window that shows the value, then fire.
void CXVexCamCtrl::Changed(ctl::Change change) {
  const ctl::ChangeInfo& info = ctl::InfoOf(change);
  const int number = Value(info);
  const QString text = info.hasText() ? FromModel(Text(info)) : QString();
  const bool activity = change == ctl::Change::SendingToCamStatusChanged ||
                        change == ctl::Change::ReceiveFromCamStatusChanged;
  static constexpr std::array kRefreshOrder = {ctl::kCommunicationWindow, ctl::kShutterWindow,
                                               ctl::kGainWindow, ctl::kAboutWindow};
  for (auto window : kRefreshOrder) {
    if ((info.windows & (1u << window)) == 0) continue;
    if (activity && visible_[window] == 0) continue;
    CToolWinDlg* page = pages_[static_cast<std::size_t>(window)].get();
    if (page && page->window()) page->Refresh(change, number, text);
  }
  if (info.eventDispid != 0) FireEvent(info.eventDispid);
}

void CXVexCamCtrl::OnlineStatusChanged(int) { Changed(ctl::Change::OnlineStatusChanged); }

void CXVexCamCtrl::SynchronizedStatusChanged(int synchronized) {
  CVexCamInterface::SynchronizedStatusChanged(synchronized);
  Changed(ctl::Change::SynchronizedStatusChanged);
}

void CXVexCamCtrl::SendingToCamStatusChanged(int sending) {
  CVexCamInterface::SendingToCamStatusChanged(sending);
  Changed(ctl::Change::SendingToCamStatusChanged);
}

void CXVexCamCtrl::ReceiveFromCamStatusChanged(int receiving) {
  CVexCamInterface::ReceiveFromCamStatusChanged(receiving);
  Changed(ctl::Change::ReceiveFromCamStatusChanged);
}

#define VEXQ4_DEFINE_NOTIFICATION(Name, ...) \
  void CXVexCamCtrl::Name() { Changed(ctl::Change::Name); }
VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_DEFINE_NOTIFICATION, VEXQ4_DEFINE_NOTIFICATION,
                          VEXQ4_DEFINE_NOTIFICATION, VEXQ4_DEFINE_NOTIFICATION)
#undef VEXQ4_DEFINE_NOTIFICATION

void CXVexCamCtrl::CommandMessage(std::string line) {
  const QString text = FromModel(line);
  CToolWinDlg* page = pages_[ctl::kCommunicationWindow].get();
  if (page && page->window()) page->AppendMessage(text);
  const auto sinks = sinks_;
  for (auto* sink : sinks)
    if (std::find(sinks_.begin(), sinks_.end(), sink) != sinks_.end()) sink->OnCommandMessage(text);
}

// ---- The settings' members, for the windows' bound widgets.
namespace vexq4::control {
namespace {

using MemberTable = std::array<SettingMembers, static_cast<std::size_t>(Change::kCount)>;

MemberTable BuildMembers() {
  using C = CXVexCamCtrl;
  MemberTable out{};
#define VEXQ4_AT(Notification) out[static_cast<std::size_t>(Change::Notification)]
#define VEXQ4_LIST_MEMBERS(Notification, Property, TextProperty, Methods, ...) \
  VEXQ4_AT(Notification) = {                                                   \
      model::FindSetting(#Property), &C::Get##Property,     &C::Set##Property, \
      &C::GetMinMax##Methods,        &C::GetValid##Methods, &C::Set##TextProperty};
#define VEXQ4_RANGED_MEMBERS(Notification, Property, ...)                                        \
  VEXQ4_AT(Notification) = {model::FindSetting(#Property), &C::Get##Property, &C::Set##Property, \
                            &C::GetMinMax##Property};
#define VEXQ4_PLAIN_MEMBERS(Notification, Property, ...) \
  VEXQ4_AT(Notification) = {model::FindSetting(#Property), &C::Get##Property, &C::Set##Property};
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_SKIP, VEXQ4_LIST_MEMBERS, VEXQ4_RANGED_MEMBERS,
                            VEXQ4_PLAIN_MEMBERS)
#undef VEXQ4_AT
#undef VEXQ4_LIST_MEMBERS
#undef VEXQ4_RANGED_MEMBERS
#undef VEXQ4_PLAIN_MEMBERS
  return out;
}

}  // namespace

const SettingMembers& MembersOf(Change change) {
  static const MemberTable members = BuildMembers();
  return members[static_cast<std::size_t>(change)];
}

}  // namespace vexq4::control
