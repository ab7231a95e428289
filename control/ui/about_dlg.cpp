// The About window.
#include "about_dlg.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/ui_services.h"

namespace ctl = vexq4::control;

namespace {

QString Latin1(const char* text) { return QString::fromLatin1(text); }

// A label that names itself after its text, for screen readers and scripts.
QLabel* NamedLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setAccessibleName(text);
  return label;
}

// A read-only box whose text is centred (camera ID, model name).
QLineEdit* CentredBox(const QString& name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setReadOnly(true);
  box->setAlignment(Qt::AlignCenter);
  box->setAccessibleName(name);
  return box;
}

}  // namespace

CAboutDlg::CAboutDlg() { SetSection(QStringLiteral("About")); }

void CAboutDlg::HideRequest() { control()->SetShowAboutWnd(0); }

QString CAboutDlg::UserIdProblem(const QString& userId) {
  if (userId.size() > kUserIdMaxLength)
    return QStringLiteral("The User ID was not saved: the camera keeps at most %1 characters.")
        .arg(kUserIdMaxLength);
  const bool printable = std::all_of(userId.begin(), userId.end(), [](QChar c) {
    return c.unicode() >= 0x20 && c.unicode() <= 0x7E;
  });
  if (!printable)
    return QStringLiteral(
        "The User ID was not saved: the camera takes only letters, digits, blanks and the "
        "punctuation of plain ASCII (no tabs, line breaks or accented letters).");
  return {};
}

// ---- The window.
// Picture and product lines side by side.
QHBoxLayout* CAboutDlg::BuildProductLines(QWidget* page) {
  picture_ = new QLabel(page);
  picture_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  picture_->setAccessibleName(QStringLiteral("Camera picture"));

  icon_ = new QLabel(page);
  icon_->setProperty(ctl::kScreenReaderNameProperty, QStringLiteral("Control tool icon"));
  auto* product = NamedLabel(Latin1(kProductLine), page);
  QFont bold = product->font();
  bold.setBold(true);
  product->setFont(bold);
  platform_ = new QLabel(page);
  auto* version = NamedLabel(Latin1(kVersionLine), page);
  auto* notice = NamedLabel(Latin1(kNoticeLine), page);
  link_ = new CLabel(page);
  link_->setText(Latin1(kWebAddress));
  link_->setAccessibleName(link_->text());
  onTop_ = new QCheckBox(QStringLiteral("Windows Always on Top"), page);
  onTop_->setAccessibleName(onTop_->text());

  auto* titleRow = new QHBoxLayout;
  titleRow->addWidget(icon_);
  titleRow->addWidget(product, 1);
  auto* lines = new QVBoxLayout;
  lines->addLayout(titleRow);
  lines->addWidget(platform_);
  lines->addWidget(version);
  lines->addWidget(notice);
  lines->addWidget(link_);
  lines->addStretch(1);
  lines->addWidget(onTop_);
  auto* top = new QHBoxLayout;
  top->addWidget(picture_, 0, Qt::AlignTop);
  top->addLayout(lines, 1);
  return top;
}

// Camera Data: the identity and the user ID, with its protection.
QGroupBox* CAboutDlg::BuildCameraData(QWidget* page) {
  auto* camera = new QGroupBox(QStringLiteral("Camera Data"), page);
  camera->setAccessibleName(camera->title());
  // The boxes carry their labels' texts as names; the labels stay unnamed
  // so that a name finds the box.
  auto* modelLabel = new QLabel(QStringLiteral("Model Name"), camera);
  modelNameBox_ = CentredBox(modelLabel->text(), camera);
  modelLabel->setBuddy(modelNameBox_);
  auto* idLabel = new QLabel(QStringLiteral("Camera ID"), camera);
  cameraIdBox_ = CentredBox(idLabel->text(), camera);
  idLabel->setBuddy(cameraIdBox_);
  auto* userLabel = new QLabel(QStringLiteral("User ID"), camera);
  userIdBox_ = new QLineEdit(camera);
  userIdBox_->setMaxLength(kUserIdMaxLength);
  userIdBox_->setAccessibleName(userLabel->text());
  userLabel->setBuddy(userIdBox_);
  saveUserId_ = new QPushButton(QStringLiteral("Save User ID"), camera);
  saveUserId_->setAccessibleName(saveUserId_->text());
  protect_ = new QRadioButton(QStringLiteral("Protect User ID"), camera);
  protect_->setAccessibleName(protect_->text());
  edit_ = new QRadioButton(QStringLiteral("Edit User ID"), camera);
  edit_->setAccessibleName(edit_->text());

  auto* radios = new QHBoxLayout;
  radios->addWidget(protect_);
  radios->addWidget(edit_);
  radios->addStretch(1);
  auto* grid = new QGridLayout(camera);
  grid->addWidget(modelLabel, 0, 0);
  grid->addWidget(modelNameBox_, 0, 1, 1, 2);
  grid->addWidget(idLabel, 1, 0);
  grid->addWidget(cameraIdBox_, 1, 1, 1, 2);
  grid->addWidget(userLabel, 2, 0);
  grid->addWidget(userIdBox_, 2, 1);
  grid->addWidget(saveUserId_, 2, 2);
  grid->addLayout(radios, 3, 1, 1, 2);
  grid->setColumnStretch(1, 1);
  return camera;
}

// Help: a help file chosen and opened.
QGroupBox* CAboutDlg::BuildHelp(QWidget* page) {
  auto* help = new QGroupBox(QStringLiteral("Help"), page);
  help->setAccessibleName(help->title());
  auto* listLabel = new QLabel(QStringLiteral("Select Help File"), help);
  helpList_ = new QComboBox(help);
  helpList_->setEditable(true);
  helpList_->setInsertPolicy(QComboBox::NoInsert);  // only entries of the list count
  helpList_->setAccessibleName(listLabel->text());
  helpList_->lineEdit()->setAccessibleName(listLabel->text() + QStringLiteral(": typed name"));
  listLabel->setBuddy(helpList_);
  openHelp_ = new QPushButton(QStringLiteral("Open Help File"), help);
  openHelp_->setAccessibleName(openHelp_->text());
  auto* helpGrid = new QGridLayout(help);
  helpGrid->addWidget(listLabel, 0, 0, 1, 2);
  helpGrid->addWidget(helpList_, 1, 0);
  helpGrid->addWidget(openHelp_, 1, 1);
  helpGrid->setColumnStretch(0, 1);
  return help;
}

void CAboutDlg::BuildWindow(QWidget* page) {
  // Made in the order the operator tabs through them.
  auto* top = BuildProductLines(page);
  auto* camera = BuildCameraData(page);
  auto* help = BuildHelp(page);

  onlineBar_ = ctl::MakeOnlineBar(page);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(top);
  layout->addWidget(camera);
  layout->addWidget(help);
  layout->addWidget(onlineBar_);

  // The user ID box keeps the window's text: what the operator typed
  // survives a refresh and a rebuild.
  connect(userIdBox_, &QLineEdit::textChanged, this,
          [this](const QString& text) { userId_ = text; });
  connect(protect_, &QRadioButton::clicked, this, &CAboutDlg::OnProtectUserId);
  connect(edit_, &QRadioButton::clicked, this, &CAboutDlg::OnEditUserId);
  connect(saveUserId_, &QPushButton::clicked, this, &CAboutDlg::OnSaveUserId);
  connect(onTop_, &QCheckBox::clicked, this, &CAboutDlg::OnAlwaysOnTop);
  connect(openHelp_, &QPushButton::clicked, this, &CAboutDlg::OnOpenHelpFile);
  // Typing an entry's name in the list's field selects that entry.
  connect(helpList_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
    const int index = helpList_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0 && index != helpList_->currentIndex()) helpList_->setCurrentIndex(index);
  });
}

void CAboutDlg::OnDestroyWindow() {
  picture_ = icon_ = platform_ = nullptr;
  link_ = nullptr;
  onTop_ = nullptr;
  modelNameBox_ = cameraIdBox_ = userIdBox_ = nullptr;
  saveUserId_ = openHelp_ = nullptr;
  protect_ = edit_ = nullptr;
  helpList_ = nullptr;
  onlineBar_ = nullptr;
}

void CAboutDlg::OnInitDialog() {
  CToolWinDlg::OnInitDialog();
  // The box shows what the windows were built with: its own choice after
  // its own rebuild, and also a host's SetWindowPosTopBottom.
  if (frame()) alwaysOnTop_ = frame()->alwaysOnTop();

  const QPixmap camera = ctl::ResourcePixmap(QStringLiteral("about-camera"), {});
  picture_->setPixmap(camera);
  picture_->setFixedSize(camera.size() + QSize(2, 2) * picture_->frameWidth());
  icon_->setPixmap(ctl::ResourcePixmap(QStringLiteral("about-icon"), {32, 32}));

  openHelp_->setToolTip(Latin1(kOpenHelpTip));

  link_->EnableClickOpen(true);
  link_->SetLabelColour(QColor(0, 0, 255));
  link_->SetUnderline(true);
  link_->SetPointerCursor(true);

  InitStep([&] { control()->SetShowAboutWnd(visibleField() ? 1 : 0); });

  FillHelpList();

  bool online = false;
  InitStep([&] { online = control()->GetIsOnline() != 0; });
  onlineBar_->SetState(online ? QStringLiteral("online") : QStringLiteral("offline"));
  if (online) {
    InitStep([&] {
      QString text;
      if (control()->GetCameraID(&text) == 0) SetCameraId(text);
    });
    InitStep([&] {
      QString text;
      if (control()->GetModelName(&text) == 0) SetModelName(text);
    });
    InitStep([&] { userId_ = control()->GetUserID(); });
  }

  SetProtectMode(0);
  platform_->setText(Latin1(kPlatformLine));
  platform_->setAccessibleName(platform_->text());
  ShowFields();
}

void CAboutDlg::ShowFields() {
  if (!window()) return;
  modelNameBox_->setText(modelName_);
  cameraIdBox_->setText(cameraId_);
  userIdBox_->setText(userId_);
  protect_->setChecked(protectIndex_ == 0);
  edit_->setChecked(protectIndex_ == 1);
  onTop_->setChecked(alwaysOnTop_);
}

void CAboutDlg::FillHelpList() {
  // The PDF files of the folder the program runs in, sorted by name
  // without regard to letter case, as a sorted list shows them.
  // Regular files only: a link to a device or a FIFO named *.pdf would
  // open something endless.
  QStringList names =
      QDir::current().entryList({QStringLiteral("*.pdf")}, QDir::Files | QDir::Readable);
  names.removeIf([](const QString& name) {
    struct stat status {};
    return ::stat(QFile::encodeName(name).constData(), &status) != 0 || !S_ISREG(status.st_mode);
  });
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
  });
  helpList_->clear();
  helpList_->addItems(names);
  helpList_->setCurrentIndex(names.isEmpty() ? -1 : 0);
}

void CAboutDlg::SetProtectMode(int index) {
  protectIndex_ = index;
  if (!window()) return;
  userIdBox_->setReadOnly(index == 0);
  saveUserId_->setEnabled(index == 1);
  ShowFields();
}

void CAboutDlg::SetCameraId(const QString& text) {
  cameraId_ = text;
  ShowFields();
  WriteProfile("Camera ID", text);
}

void CAboutDlg::SetModelName(const QString& text) {
  modelName_ = text;
  ShowFields();
  WriteProfile("Model Name", text);
}

void CAboutDlg::SetUserIdText(const QString& text) {
  userId_ = text;
  ShowFields();
  WriteProfile("User ID", text);
}

void CAboutDlg::OnRefresh(ctl::Change change, int number, const QString& text) {
  switch (change) {
    case ctl::Change::CameraIDChanged:
      SetCameraId(text);
      break;
    case ctl::Change::ModelNameChanged:
      SetModelName(text);
      break;
    case ctl::Change::UserIDChanged:
      SetUserIdText(text);
      break;
    case ctl::Change::OnlineStatusChanged:
      if (onlineBar_)
        onlineBar_->SetState(number == 1 ? QStringLiteral("online") : QStringLiteral("offline"));
      break;
    default:
      break;
  }
}

// ---- Operator actions.
void CAboutDlg::OnProtectUserId() { SetProtectMode(0); }

void CAboutDlg::OnEditUserId() { SetProtectMode(1); }

void CAboutDlg::OnSaveUserId() {
  Act([&] {
    if (!window()) return;
    QString text = userIdBox_->text();
    // Leading blanks go; a text of blanks only is as good as none.
    const auto first = std::find_if(text.begin(), text.end(), [](QChar c) { return !c.isSpace(); });
    text.remove(0, first - text.begin());
    if (text.isEmpty()) {
      ctl::ShowMessage(window(), Latin1(kEmptyUserId), ctl::UiServices::Buttons::kOk);
      return;
    }
    userId_ = text;
    ShowFields();
    // Said here rather than raised by the control after a round trip: the
    // operator learns what to change.
    if (const QString problem = UserIdProblem(userId_); !problem.isEmpty()) {
      ctl::ShowMessage(window(), problem, ctl::UiServices::Buttons::kOk);
      return;
    }
    if (control()->GetIsOnline() != 0) control()->SetUserID(userId_);
  });
}

void CAboutDlg::OnAlwaysOnTop() {
  if (!window()) return;
  alwaysOnTop_ = onTop_->isChecked();
  // The rebuild destroys this window (later: we are inside its click) and
  // builds a new one that shows the kept state.
  Act([&] {
    ctl::WaitCursor wait;
    control()->SetWindowPosTopBottom(alwaysOnTop_ ? 1 : 0);
  });
}

void CAboutDlg::OnOpenHelpFile() {
  if (!window()) return;
  const int index = helpList_->currentIndex();
  // Only a selected entry counts, not text typed into the list's field.
  if (index < 0 || helpList_->currentText() != helpList_->itemText(index)) {
    ctl::ShowMessage(window(), Latin1(kNoFileSelected), ctl::UiServices::Buttons::kOk);
    return;
  }
  ctl::Ui().OpenWithShell(helpList_->itemText(index));
}
