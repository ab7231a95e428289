// The Communication window.
#include "comm_dlg.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>
#include <string_view>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/ui_services.h"

namespace ctl = vexq4::control;
namespace model = vexq4::model;
using ctl::Change;
using ctl::Ui;
using ctl::UiServices;

namespace {

const QString kCamFilter = QStringLiteral("Camera setup (*.cam)|*.cam||");
const QString kCamExtension = QStringLiteral("cam");
constexpr char kUserAreaSection[] = "User Area";
constexpr char kSelectedUserAreaKey[] = "Selected User Area";

// State names of the status pictures (":/vexq4/comm-<state>.svg"); the
// scripts read them.
const QString kOnline = QStringLiteral("online");
const QString kOffline = QStringLiteral("offline");
const QString kSending = QStringLiteral("sending");
const QString kReceiving = QStringLiteral("receiving");
const QString kSynchronized = QStringLiteral("synchronized");
const QString kNotSynchronized = QStringLiteral("not-synchronized");
const QString kMarkerFailed = QStringLiteral("failed");

QString AreaText(int area) {
  switch (area) {
    case 0:
      return QStringLiteral("Factory");
    case 1:
      return QStringLiteral("User 1");
    case 2:
      return QStringLiteral("User 2");
    case 3:
      return QStringLiteral("User 3");
    default:
      return {};
  }
}

UiServices::FileRequest SaveRequest(const QString& filter, const QString& extension) {
  UiServices::FileRequest request;
  request.save = true;
  request.filter = filter;
  request.defaultExtension = extension;
  request.overwritePrompt = true;
  request.fileMustExist = false;
  return request;
}

}  // namespace

CCommDlg::CCommDlg() { SetSection(QStringLiteral("Communication")); }

void CCommDlg::HideRequest() { control()->SetShowCommunicationWnd(0); }

void CCommDlg::SetActivityTailMs(int ms) { activityTailMs_ = ms; }

void CCommDlg::SetLinkPollMs(int ms) {
  linkPollMs_ = ms;
  if (pollTimer_ && pollTimer_->isActive()) pollTimer_->start(linkPollMs_);
}

// ---- The window.
void CCommDlg::BuildWindow(QWidget* page) {
  // The groups, made in the order the operator tabs through them.
  auto* status = BuildStatusGroup(page);
  auto* communication = BuildCommunicationGroup(page);
  auto* synchronize = BuildSynchronizeGroup(page);
  auto* files = BuildFilesGroup(page);
  auto* eeprom = BuildEepromGroup(page);
  auto* areas = BuildAreasGroup(page);
  auto* report = BuildReportGroup(page);
  auto* messages = BuildMessagesGroup(page);

  // Layout: the link on the left, what moves settings on the right, the
  // log across the bottom.
  auto* left = new QVBoxLayout;
  left->addWidget(status);
  left->addWidget(communication);
  left->addWidget(synchronize);
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(files);
  right->addWidget(eeprom);
  right->addWidget(areas);
  right->addWidget(report);
  right->addStretch(1);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 1);
  columns->addLayout(right, 1);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(columns);
  layout->addWidget(messages, 1);

  // Timer 1 hides the activity indicator after the last transfer; timer 2
  // checks the link.
  activityTimer_ = new QTimer(page);
  activityTimer_->setTimerType(Qt::PreciseTimer);  // at least the whole tail
  pollTimer_ = new QTimer(page);
  connect(activityTimer_, &QTimer::timeout, this, [this] { Act([this] { HideActivity(); }); });
  connect(pollTimer_, &QTimer::timeout, this, [this] { Act([this] { PollLink(); }); });

  // Until the first notifications: no online text with the off-line
  // picture, no activity.
  onlineIcon_->SetState(onlineText_ == QLatin1String("On-line") ? kOnline : kOffline);
  if (!syncText_.isEmpty())
    syncIcon_->SetState(syncText_ == QLatin1String("Synchronized") ? kSynchronized
                                                                   : kNotSynchronized);
  activityIcon_->hide();
  marker_->SetState(markerOn_ ? kMarkerFailed : QString());
  RefreshControls();
}

void CCommDlg::OnDestroyWindow() {
  if (activityTimer_) activityTimer_->stop();
  if (pollTimer_) pollTimer_->stop();
  sourceList_ = nullptr;
  comPortList_ = nullptr;
  userAreaList_ = nullptr;
  autoButton_ = nullptr;
  storeButton_ = nullptr;
  onlineLabel_ = nullptr;
  activityLabel_ = nullptr;
  syncLabel_ = nullptr;
  onlineIcon_ = nullptr;
  activityIcon_ = nullptr;
  syncIcon_ = nullptr;
  marker_ = nullptr;
  eepromBox_ = nullptr;
  logBox_ = nullptr;
  activityTimer_ = nullptr;
  pollTimer_ = nullptr;
}

// ---- Initialisation.
void CCommDlg::OnInitDialog() {
  CToolWinDlg::OnInitDialog();
  SetMarker(false);
  // (The tooltips were attached when the widgets were built.)
  InitStep([this] { control()->SetShowCommunicationWnd(visibleField() ? 1 : 0); });
  InitStep([this] { BuildSourceList(); });

  InitStep([this] {
    comPortList_->clear();
    control()->GetMinMaxComPortId(&firstComPort_, &lastComPort_);
    for (int port = firstComPort_; port <= lastComPort_; ++port)
      comPortList_->addItem(QString::asprintf("COM%d", port));
  });

  // The stored port is tried again; no camera there is no error here.
  try {
    control()->SetComPort(static_cast<short>(ProfileInt("ComPort", 1)));
  } catch (const ctl::AutomationError&) {
  }

  // A grabber that is gone is reported once; the rest still runs. The
  // first source is the COM ports themselves: no camera answering there is
  // what the COM port's restore just met, and no missing grabber.
  if (ProfileInt("Frame Grabber", 0) == 0) {
    try {
      RestoreFrameGrabber();
    } catch (const ctl::AutomationError&) {
    }
  } else {
    InitStep([this] { RestoreFrameGrabber(); });
  }

  syncText_ = QStringLiteral("Not Synchronized");
  syncIcon_->SetState(kNotSynchronized);
  RefreshControls();

  pollTimer_->start(linkPollMs_);

  InitStep([this] {
    userAreaList_->clear();
    userAreaList_->addItem(AreaText(0));
    short first = 1;
    short last = 3;
    control()->GetMinMaxUserSettingsId(&first, &last);
    for (int area = first; area <= last; ++area)
      userAreaList_->addItem(QStringLiteral("User ") + QString::number(area));
  });

  int area = ProfileIntIn(kUserAreaSection, kSelectedUserAreaKey, 0);
  // A stored position the list does not have selects "Factory".
  if (area < 0 || area >= userAreaList_->count()) area = 0;
  userAreaList_->setCurrentIndex(area);
  storeButton_->setEnabled(area != 0);

  ReadControls();
  InitStep([this] { control()->GetEEPROMCurrentAreaNo(); });
}

void CCommDlg::BuildSourceList() {
  sourceList_->clear();
  manufacturerNames_.clear();
  portNames_.clear();
  positionMap_.clear();
  keep_.clear();

  firstManufacturer_ = 0;
  lastManufacturer_ = -1;
  control()->GetMinMaxFrameGrabberIndex(&firstManufacturer_, &lastManufacturer_);
  // A query that fails shows its code in place of the name.
  for (int index = firstManufacturer_; index <= lastManufacturer_; ++index) {
    QString name;
    short size = 256;
    short version = 0;
    const short result =
        control()->ClSerialGetManufacturer(static_cast<short>(index), &name, &size, &version);
    manufacturerNames_.push_back(result == 0 ? name : QString::number(result));
  }

  clPortCount_ = 0;
  control()->ClAllSerialGetNumPorts(&clPortCount_);
  for (int port = 0; port < clPortCount_; ++port) {
    QString name;
    QString id;
    short nameBytes = 0;
    short idBytes = 0;
    short version = 0;
    const short result = control()->ClAllSerialGetPortInfo(static_cast<short>(port), &name,
                                                           &nameBytes, &id, &idBytes, &version);
    portNames_.push_back(result == 0 ? name : QString::number(result));
  }

  // A grabber that clallserial also serves is listed once, as its port.
  for (std::size_t i = 0; i < manufacturerNames_.size(); ++i) {
    bool listed = true;
    for (const QString& port : portNames_)
      if (manufacturerNames_[i].compare(port, Qt::CaseInsensitive) == 0) listed = false;
    keep_.push_back(listed);
    if (!listed) continue;
    sourceList_->addItem(manufacturerNames_[i]);
    positionMap_.push_back(static_cast<short>(firstManufacturer_ + static_cast<int>(i)));
  }
  lastManufacturerPos_ = static_cast<int>(positionMap_.size()) - 1;
  for (std::size_t port = 0; port < portNames_.size(); ++port) {
    sourceList_->addItem(portNames_[port]);
    positionMap_.push_back(static_cast<short>(port));
  }
}

void CCommDlg::RestoreFrameGrabber() {
  const int position = ProfileInt("Frame Grabber", 0);
  control()->SetFrameGrabberIndex(static_cast<short>(position));
  ConnectSource(position);
}

void CCommDlg::ConnectSource(int position) {
  // A stored position the list no longer has (the grabber was removed)
  // stands for nothing to connect to.
  if (position < 0 || position >= static_cast<int>(positionMap_.size())) return;
  const short index = positionMap_[static_cast<std::size_t>(position)];
  if (position <= lastManufacturerPos_)
    control()->ClSerialSetFrameGrabberIndex(index);
  else
    control()->ClAllSerialSetFrameGrabberIndex(index);
}

// ---- Fields and controls.
void CCommDlg::ReadControls() {
  if (comPortList_) comPortPos_ = comPortList_->currentIndex();
  if (sourceList_) sourcePos_ = sourceList_->currentIndex();
  if (userAreaList_) userAreaPos_ = userAreaList_->currentIndex();
}

void CCommDlg::RefreshControls() {
  auto select = [](QComboBox* list, int position) {
    if (!list) return;
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
  };
  select(comPortList_, comPortPos_);
  select(sourceList_, sourcePos_);
  select(userAreaList_, userAreaPos_);
  if (onlineLabel_) ctl::SetIndicatorText(onlineLabel_, onlineText_);
  if (activityLabel_) ctl::SetIndicatorText(activityLabel_, activityText_);
  if (syncLabel_) ctl::SetIndicatorText(syncLabel_, syncText_);
  if (eepromBox_) eepromBox_->setText(eepromText_);
  if (logBox_ && logBox_->property(ctl::kExactTextProperty).toString() != log_) {
    // The box shows CR LF as one line break; the property keeps the log as
    // it stands for whoever reads the window's text.
    logBox_->setProperty(ctl::kExactTextProperty, log_);
    logBox_->setPlainText(log_);
  }
}

void CCommDlg::SetMarker(bool on) {
  markerOn_ = on;
  if (marker_) marker_->SetState(on ? kMarkerFailed : QString());
}

// ---- Refresh operations.
void CCommDlg::OnRefresh(Change change, int number, const QString& /*text*/) {
  switch (change) {
    case Change::OnlineStatusChanged:
      onlineText_ = number != 0 ? QStringLiteral("On-line") : QStringLiteral("Off-line");
      if (onlineIcon_) onlineIcon_->SetState(number != 0 ? kOnline : kOffline);
      RefreshControls();
      break;
    case Change::SynchronizedStatusChanged:
      syncText_ = number != 0 ? QStringLiteral("Synchronized") : QStringLiteral("Not Synchronized");
      if (syncIcon_) syncIcon_->SetState(number != 0 ? kSynchronized : kNotSynchronized);
      RefreshControls();
      break;
    case Change::SendingToCamStatusChanged:
      if (number != 0)
        ShowActivity(QStringLiteral("Sending"), kSending);
      else if (activityTimer_)
        activityTimer_->start(activityTailMs_);
      break;
    case Change::ReceiveFromCamStatusChanged:
      if (number != 0)
        ShowActivity(QStringLiteral("Receiving"), kReceiving);
      else if (activityTimer_)
        activityTimer_->start(activityTailMs_);
      break;
    case Change::ComPortChanged:
      comPortPos_ = number - firstComPort_;
      RefreshControls();
      WriteProfile("ComPort", number);
      break;
    case Change::FrameGrabberChanged: {
      sourcePos_ = number - firstManufacturer_;
      RefreshControls();
      // COM ports only mean something for the "COM-ports" entry.
      const bool comPorts = sourcePos_ == 0;
      if (autoButton_) autoButton_->setEnabled(comPorts);
      if (comPortList_) comPortList_->setEnabled(comPorts);
      WriteProfile("Frame Grabber", number);
      break;
    }
    case Change::EEPROMCurrentAreaNoChanged:
      eepromText_ = AreaText(number);
      RefreshControls();
      WriteProfile("EEPROM Current Area", eepromText_);
      break;
    default:
      break;
  }
}

void CCommDlg::AppendMessage(const QString& line) {
  if (markerOn_) SetMarker(false);
  if (log_.size() > kMaxLogLength) log_.clear();
  log_.prepend(line);
  RefreshControls();
}

// ---- Activity indicator and link polling.
void CCommDlg::ShowActivity(const QString& text, const QString& state) {
  // A transfer in progress keeps the indicator; the tail starts at its end.
  if (activityTimer_) activityTimer_->stop();
  activityText_ = text;
  if (activityLabel_) {
    ctl::SetIndicatorText(activityLabel_, activityText_);
    activityLabel_->show();
  }
  if (activityIcon_) {
    activityIcon_->SetState(state);
    activityIcon_->show();
  }
}

void CCommDlg::HideActivity() {
  if (activityLabel_) activityLabel_->hide();
  if (activityIcon_) activityIcon_->hide();
  if (activityTimer_) activityTimer_->stop();
}

void CCommDlg::PollLink() {
  // The query tells the model whether the camera is still there; a silent
  // camera takes the window off-line through the notifications.
  if (control()->GetShowCommunicationWnd() != 0) control()->GetIsOnline();
}

// ---- Operation failure reporting.
void CCommDlg::ReportOperation(short result) {
  const model::Status status = model::LibraryStatus(result);
  if (status == model::Status::kOk) return;
  // Any other failure the model has already put in the log, exchange by
  // exchange; off-line it had nothing to exchange.
  if (status == model::Status::kOffline) {
    const std::string_view line = model::Describe(status).line;
    log_.prepend(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())) +
                 QStringLiteral("\r\n"));
    RefreshControls();
  }
  SetMarker(true);
}

void CCommDlg::ShowDialogFailure(bool save) {
  if (save)
    Ui().MessageBox(window(), QStringLiteral("Save Error"),
                    QStringLiteral("Error in Save Dialog !"), UiServices::Buttons::kOk,
                    UiServices::Icon::kError);
  else
    Ui().MessageBox(window(), QStringLiteral("Load Error"),
                    QStringLiteral("Error in Load Dialog !"), UiServices::Buttons::kOk,
                    UiServices::Icon::kError);
}

// ---- Operator actions.
void CCommDlg::OnComPortSelected() {
  ReadControls();
  control()->SetComPort(static_cast<short>(comPortPos_ + 1));
}

void CCommDlg::OnSourceSelected() {
  ReadControls();
  const int position = sourcePos_;
  ctl::WaitCursor wait;
  control()->SetFrameGrabberIndex(static_cast<short>(position));
  ConnectSource(position);
  if (position == 0 && position <= lastManufacturerPos_) {
    // The PC's COM ports: check the camera there again.
    try {
      control()->GetIsOnline();
    } catch (const ctl::AutomationError&) {
    }
  }
}

void CCommDlg::OnAuto() {
  // Each camera found may be declined; the search then goes on after it.
  for (int next = firstComPort_; next <= lastComPort_;) {
    ctl::Long found = 0;
    {
      ctl::WaitCursor wait;
      found = control()->AutoSearchComPort(static_cast<short>(next), lastComPort_, 0);
    }
    if (found == 0) break;
    const auto answer = ctl::ShowMessage(
        window(),
        QString::asprintf("Use Camera found on COM%d ?\n(Select NO to continue the search.)",
                          found),
        UiServices::Buttons::kYesNo, UiServices::Icon::kQuestion);
    if (answer == UiServices::Answer::kYes) {
      comPortPos_ = found - 1;
      RefreshControls();
      WriteProfile("ComPort", found);
      return;
    }
    next = found + 1;
  }
  ctl::ShowMessage(window(), QStringLiteral("No camera found"), UiServices::Buttons::kOk,
                   UiServices::Icon::kInformation);
}

void CCommDlg::OnSynchronizeCamera() {
  short result = 0;
  {
    ctl::WaitCursor wait;
    result = control()->WriteAllToCamera();
  }
  ReportOperation(result);
}

void CCommDlg::OnSynchronizeProgram() {
  short result = 0;
  {
    ctl::WaitCursor wait;
    result = control()->ReadAllFromCamera();
  }
  ReportOperation(result);
}

void CCommDlg::OnWriteSettingsFile() {
  const auto outcome = Ui().FileDialog(window(), SaveRequest(kCamFilter, kCamExtension));
  if (outcome.kind == UiServices::FileOutcome::kFailed) return ShowDialogFailure(true);
  if (outcome.kind != UiServices::FileOutcome::kOk) return;
  control()->WriteAllToFile(outcome.path);
}

void CCommDlg::OnReadSettingsFile() {
  UiServices::FileRequest request;
  request.save = false;
  request.filter = kCamFilter;
  request.defaultExtension = kCamExtension;
  request.overwritePrompt = false;
  request.fileMustExist = true;
  const auto outcome = Ui().FileDialog(window(), request);
  if (outcome.kind == UiServices::FileOutcome::kFailed) {
    ShowDialogFailure(false);
  } else if (outcome.kind == UiServices::FileOutcome::kOk) {
    short result = 0;
    {
      ctl::WaitCursor wait;
      result = control()->ReadAllFromFile(outcome.path);
    }
    ReportOperation(result);
  }
  RefreshControls();
}

void CCommDlg::OnUserAreaSelected() {
  ReadControls();
  if (storeButton_) storeButton_->setEnabled(userAreaPos_ != 0);
  WriteProfileIn(kUserAreaSection, kSelectedUserAreaKey, userAreaPos_);
}

void CCommDlg::OnStore() {
  ReadControls();
  control()->StoreSettings(static_cast<short>(userAreaPos_));
}

void CCommDlg::OnLoad() {
  ReadControls();
  short result = 0;
  {
    ctl::WaitCursor wait;
    result = control()->LoadSettings(static_cast<short>(userAreaPos_));
  }
  ReportOperation(result);
  RefreshControls();
}

void CCommDlg::OnWriteCameraData() {
  const auto outcome = Ui().FileDialog(
      window(), SaveRequest(QStringLiteral("Camera Data (*.txt)|*.txt||"), QStringLiteral("txt")));
  if (outcome.kind == UiServices::FileOutcome::kFailed) return ShowDialogFailure(true);
  if (outcome.kind != UiServices::FileOutcome::kOk) return;
  short result = 0;
  {
    ctl::WaitCursor wait;
    result = control()->WriteCameraDataToFile(outcome.path);
  }
  // The report could not be created (a folder, a full disk): say so rather
  // than leave the operator with no file and no word.
  const model::Status status = model::FileStatus(result);
  if (status == model::Status::kFileNotWritable)
    ctl::ShowMessage(window(), ctl::LoadString(model::Describe(status).stringId));
}

void CCommDlg::OnGetArea() { control()->GetEEPROMCurrentAreaNo(); }

void CCommDlg::OnWriteLog() {
  if (log_.isEmpty()) return;
  const auto outcome = Ui().FileDialog(
      window(),
      SaveRequest(QStringLiteral("Control Tool Messages (*.txt)|*.txt||"), QStringLiteral("txt")));
  if (outcome.kind == UiServices::FileOutcome::kFailed) return ShowDialogFailure(true);
  if (outcome.kind != UiServices::FileOutcome::kOk) return;
  bool written = false;
  {
    ctl::WaitCursor wait;
    // The model's lines are 8-bit text: the file holds them byte for byte.
    // Through a temporary file: a full disk or a stop keeps the old file
    // whole, and a FIFO or device of that name is never written into.
    written = SaveWholeFile(outcome.path, log_.toLatin1());
  }
  if (!written) ctl::ShowMessage(window(), ctl::LoadString(ctl::kIdsErrorWriting));
}

void CCommDlg::OnClear() {
  SetMarker(false);
  log_.clear();
  RefreshControls();
}
