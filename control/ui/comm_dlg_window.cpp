// The Communication window's groups, each built, named and wired by a
// function of its own; BuildWindow (comm_dlg.cpp) lays them out.
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "comm_dlg.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"

namespace ctl = vexq4::control;
namespace model = vexq4::model;

namespace {

QGroupBox* Group(const QString& title, QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  group->setAccessibleName(title);
  return group;
}

QLabel* Label(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setAccessibleName(text);
  return label;
}

QPushButton* Button(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setAccessibleName(text);
  button->setAutoDefault(false);
  return button;
}

QComboBox* DropDown(const QString& name, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setAccessibleName(name);
  list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  return list;
}

// An indicator: the picture and its text side by side, both named after
// what they show.
StatusPicture* Indicator(const QString& name, QWidget* parent) {
  auto* picture = new StatusPicture(parent, QSize(16, 16), QStringLiteral("comm-"));
  picture->setAccessibleName(name);
  return picture;
}

}  // namespace

std::function<void()> CCommDlg::Acting(void (CCommDlg::*action)()) {
  return [this, action] { Act([this, action] { (this->*action)(); }); };
}

// Status: on-line or off-line, and the transfer under way.
QGroupBox* CCommDlg::BuildStatusGroup(QWidget* page) {
  auto* status = Group(QStringLiteral("Status"), page);
  onlineIcon_ = Indicator(QStringLiteral("Status: online"), status);
  onlineLabel_ = Label(QString(), status);
  onlineLabel_->setAccessibleName(QStringLiteral("Status: online"));
  activityIcon_ = Indicator(QStringLiteral("Status: activity"), status);
  activityLabel_ = Label(QString(), status);
  activityLabel_->setAccessibleName(QStringLiteral("Status: activity"));
  // The indicator comes and goes; the window must not jump with it.
  for (QWidget* w : {static_cast<QWidget*>(activityIcon_), static_cast<QWidget*>(activityLabel_)}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }
  const int statusWidth =
      onlineLabel_->fontMetrics().horizontalAdvance(QStringLiteral("Receiving")) + 8;
  onlineLabel_->setMinimumWidth(statusWidth);
  activityLabel_->setMinimumWidth(statusWidth);
  {
    auto* grid = new QGridLayout(status);
    grid->addWidget(onlineIcon_, 0, 0);
    grid->addWidget(onlineLabel_, 0, 1);
    grid->addWidget(activityIcon_, 0, 2);
    grid->addWidget(activityLabel_, 0, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
  }
  return status;
}

// Communication: where the camera is reached.
QGroupBox* CCommDlg::BuildCommunicationGroup(QWidget* page) {
  auto* communication = Group(QStringLiteral("Communication"), page);
  auto* sourceLabel = Label(QStringLiteral("CL Manufacturer/COM-ports"), communication);
  sourceList_ = DropDown(sourceLabel->text(), communication);
  sourceList_->setMinimumContentsLength(16);
  sourceLabel->setBuddy(sourceList_);
  auto* comPortLabel = Label(QStringLiteral("COM-Port"), communication);
  comPortList_ = DropDown(comPortLabel->text(), communication);
  comPortLabel->setBuddy(comPortList_);
  autoButton_ = Button(QStringLiteral("Auto"), communication);
  {
    auto* grid = new QGridLayout(communication);
    grid->addWidget(sourceLabel, 0, 0, 1, 3);
    grid->addWidget(sourceList_, 1, 0, 1, 3);
    grid->addWidget(comPortLabel, 2, 0);
    grid->addWidget(comPortList_, 2, 1);
    grid->addWidget(autoButton_, 2, 2);
    grid->setColumnStretch(1, 1);
  }
  comPortList_->setToolTip(QStringLiteral("Select Camera Link Frame Grabber"));
  autoButton_->setToolTip(QStringLiteral("Click to search for camera on COM%1..COM%2")
                              .arg(model::kFirstComPort)
                              .arg(model::kLastComPort));
  // Lists act on `activated` (a refresh sets them without acting), buttons
  // on `clicked`.
  connect(comPortList_, &QComboBox::activated, this, Acting(&CCommDlg::OnComPortSelected));
  connect(sourceList_, &QComboBox::activated, this, Acting(&CCommDlg::OnSourceSelected));
  connect(autoButton_, &QPushButton::clicked, this, Acting(&CCommDlg::OnAuto));
  return communication;
}

// Synchronize: whether camera and program agree, and the two transfers.
QGroupBox* CCommDlg::BuildSynchronizeGroup(QWidget* page) {
  auto* synchronize = Group(QStringLiteral("Synchronize"), page);
  syncIcon_ = Indicator(QStringLiteral("Synchronize: status"), synchronize);
  syncLabel_ = Label(QString(), synchronize);
  syncLabel_->setAccessibleName(QStringLiteral("Synchronize: status"));
  auto* syncCamera = Button(QStringLiteral("Synchronize Camera"), synchronize);
  auto* syncProgram = Button(QStringLiteral("Synchronize Program"), synchronize);
  {
    auto* grid = new QGridLayout(synchronize);
    grid->addWidget(syncIcon_, 0, 0);
    grid->addWidget(syncLabel_, 0, 1);
    grid->addWidget(syncCamera, 1, 0, 1, 2);
    grid->addWidget(syncProgram, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
  }
  syncCamera->setToolTip(QStringLiteral("Click to write all settings to the camera"));
  syncProgram->setToolTip(QStringLiteral("Click to read all settings from the camera"));
  connect(syncCamera, &QPushButton::clicked, this, Acting(&CCommDlg::OnSynchronizeCamera));
  connect(syncProgram, &QPushButton::clicked, this, Acting(&CCommDlg::OnSynchronizeProgram));
  return synchronize;
}

// Files: the settings file written and read.
QGroupBox* CCommDlg::BuildFilesGroup(QWidget* page) {
  auto* files = Group(QStringLiteral("Files"), page);
  auto* writeFile = Button(QStringLiteral("Write to File..."), files);
  writeFile->setIcon(ctl::ResourceIcon(QStringLiteral("comm-write-file")));
  auto* readFile = Button(QStringLiteral("Read from File..."), files);
  readFile->setIcon(ctl::ResourceIcon(QStringLiteral("comm-read-file")));
  {
    auto* box = new QVBoxLayout(files);
    box->addWidget(writeFile);
    box->addWidget(readFile);
  }
  writeFile->setToolTip(QStringLiteral("Click to write all settings to a selectable file"));
  readFile->setToolTip(QStringLiteral("Click to read settings from a file"));
  connect(writeFile, &QPushButton::clicked, this, Acting(&CCommDlg::OnWriteSettingsFile));
  connect(readFile, &QPushButton::clicked, this, Acting(&CCommDlg::OnReadSettingsFile));
  return files;
}

// EEPROM Current Area: the area the camera runs from.
QGroupBox* CCommDlg::BuildEepromGroup(QWidget* page) {
  auto* eeprom = Group(QStringLiteral("EEPROM Current Area"), page);
  eepromBox_ = new QLineEdit(eeprom);
  eepromBox_->setAccessibleName(eeprom->title());
  eepromBox_->setReadOnly(true);
  eepromBox_->setAlignment(Qt::AlignCenter);
  eepromBox_->setMinimumWidth(
      eepromBox_->fontMetrics().horizontalAdvance(QStringLiteral("Factory")) + 24);
  auto* getArea = Button(QStringLiteral("Get Area"), eeprom);
  {
    auto* row = new QHBoxLayout(eeprom);
    row->addWidget(eepromBox_, 1);
    row->addWidget(getArea);
  }
  connect(getArea, &QPushButton::clicked, this, Acting(&CCommDlg::OnGetArea));
  return eeprom;
}

// Factory and User Settings In Camera: an area chosen, stored, loaded.
QGroupBox* CCommDlg::BuildAreasGroup(QWidget* page) {
  auto* areas = Group(QStringLiteral("Factory and User Settings In Camera"), page);
  userAreaList_ = DropDown(areas->title(), areas);
  userAreaList_->setMinimumContentsLength(8);
  storeButton_ = Button(QStringLiteral("Store"), areas);
  auto* load = Button(QStringLiteral("Load"), areas);
  {
    auto* row = new QHBoxLayout(areas);
    row->addWidget(userAreaList_, 1);
    row->addWidget(storeButton_);
    row->addWidget(load);
  }
  connect(userAreaList_, &QComboBox::activated, this, Acting(&CCommDlg::OnUserAreaSelected));
  connect(storeButton_, &QPushButton::clicked, this, Acting(&CCommDlg::OnStore));
  connect(load, &QPushButton::clicked, this, Acting(&CCommDlg::OnLoad));
  return areas;
}

// Write All Camera Data to File: the camera data report.
QGroupBox* CCommDlg::BuildReportGroup(QWidget* page) {
  auto* report = Group(QStringLiteral("Write All Camera Data to File"), page);
  auto* writeData = Button(QStringLiteral("Write Camera Data"), report);
  {
    auto* row = new QHBoxLayout(report);
    row->addWidget(writeData);
  }
  writeData->setToolTip(QStringLiteral("Write All Camera Data to File"));
  connect(writeData, &QPushButton::clicked, this, Acting(&CCommDlg::OnWriteCameraData));
  return report;
}

// Control Tool Messages: the log, newest first.
QGroupBox* CCommDlg::BuildMessagesGroup(QWidget* page) {
  auto* messages = Group(QStringLiteral("Control Tool Messages"), page);
  logBox_ = new QPlainTextEdit(messages);
  logBox_->setAccessibleName(messages->title());
  logBox_->setReadOnly(true);
  logBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
  logBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  logBox_->setFont(ctl::LogFont());
  {
    // Room for a whole message line (46 characters of text plus its
    // mnemonic) and a few exchanges.
    const QFontMetrics metrics(logBox_->font());
    logBox_->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 52,
                            metrics.lineSpacing() * 8);
  }
  logBox_->setProperty(ctl::kExactTextProperty, log_);
  ctl::NameScrollParts(logBox_, messages->title());
  auto* writeLog = Button(QStringLiteral("Write To File"), messages);
  auto* clear = Button(QStringLiteral("Clear"), messages);
  marker_ = new StatusPicture(messages, QSize(16, 16), QStringLiteral("comm-marker-"));
  marker_->setAccessibleName(QStringLiteral("message marker"));
  {
    auto* box = new QVBoxLayout(messages);
    box->addWidget(logBox_, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(marker_);
    row->addStretch(1);
    row->addWidget(writeLog);
    row->addWidget(clear);
    box->addLayout(row);
  }
  connect(writeLog, &QPushButton::clicked, this, Acting(&CCommDlg::OnWriteLog));
  connect(clear, &QPushButton::clicked, this, Acting(&CCommDlg::OnClear));
  return messages;
}
