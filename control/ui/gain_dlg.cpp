// The Gain window.
#include "gain_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/ui_services.h"

namespace vexq4::control {

namespace {

using W = BoundWidget;
using enum Change;

// One row per setting the window keeps, and how it is shown, in the order
// the stored values go to the camera when the window is created; its
// profile key in the "Gain" section and its default are the setting's own.
const Binding kGainTable[] = {
    {.change = KneeSelectChanged,
     .widget = W::kRadios,
     .choices = {{{"On", "Knee Select: On", "Knee Selection: On"},
                  {"Off", "Knee Select: Off", "Knee Selection: Off"}}}},
    {.change = AutoWhiteAreaChanged,
     .widget = W::kList,
     .name = "Auto White Area",
     .tip = "Select Auto White Area"},
    {.change = MasterGainLevelChanged,
     .widget = W::kSpin,
     .label = "Master",
     .name = "Gain Level: Master",
     .tip = "Select relative Master Gain Level value, {min} ... +{max} (0 is 0dB)"},
    {.change = RedGainLevelChanged,
     .widget = W::kSpin,
     .label = "Red",
     .name = "Gain Level: Red",
     .tip = "Select relative Gain Level value for red, {min} ... +{max} (0 is 0dB)"},
    {.change = BlueGainLevelChanged,
     .widget = W::kSpin,
     .label = "Blue",
     .name = "Gain Level: Blue",
     .tip = "Select relative Gain Level value for blue, {min} ... +{max} (0 is 0dB)"},
    {.change = WhiteBalanceChanged,
     .widget = W::kList,
     .name = "White Balance",
     .tip = "Select White Balance Mode"},
    {.change = RedBlackLevelChanged,
     .widget = W::kSpin,
     .label = "Red",
     .name = "Black Level: Red",
     .tip = "Select relative Black Level value for red, {min} ... {max} (decimal)"},
    {.change = GreenKneePointChanged,
     .widget = W::kSpin,
     .label = "Green",
     .name = "Knee Point: Green",
     .tip = "Select relative Knee Point value for green, {min} ... {max} (decimal)"},
    {.change = RedKneePointChanged,
     .widget = W::kSpin,
     .label = "Red",
     .name = "Knee Point: Red",
     .tip = "Select relative Knee Point value for red, {min} ... {max} (decimal)"},
    {.change = GreenBlackLevelChanged,
     .widget = W::kSpin,
     .label = "Green",
     .name = "Black Level: Green",
     .tip = "Select relative Black Level value for green, {min} ... {max} (decimal)"},
    {.change = BlueBlackLevelChanged,
     .widget = W::kSpin,
     .label = "Blue",
     .name = "Black Level: Blue",
     .tip = "Select relative Black Level value for blue, {min} ... {max} (decimal)"},
    {.change = BlueKneePointChanged,
     .widget = W::kSpin,
     .label = "Blue",
     .name = "Knee Point: Blue",
     .tip = "Select relative Knee Point Level value for blue, {min} ... {max} (decimal)"},
    {.change = RedKneeSlopeChanged,
     .widget = W::kSpin,
     .label = "Red",
     .name = "Knee Slope: Red",
     .tip = "Select relative Knee Slope value for red, {min} ... {max} (decimal)"},
    {.change = GreenKneeSlopeChanged,
     .widget = W::kSpin,
     .label = "Green",
     .name = "Knee Slope: Green",
     .tip = "Select relative Knee Slope value for green, {min} ... {max} (decimal)"},
    {.change = BlueKneeSlopeChanged,
     .widget = W::kSpin,
     .label = "Blue",
     .name = "Knee Slope: Blue",
     .tip = "Select relative Knee Slope value for blue, {min} ... {max} (decimal)"},
    {.change = ShadingModeChanged,
     .widget = W::kRadios,
     .choices = {{{"On", "Shading Mode: On", "Shading Mode On"},
                  {"Off", "Shading Mode: Off", "Shading Mode Off"}}}},
};

// The knee select goes to the control before the ranges are set, the other
// rows after them.
constexpr Change kKneeSelectFirst[] = {KneeSelectChanged};

constexpr char kAutoShadingQuestion[] =
    "A non-static shading correction will be generated.\n"
    "It can't be stored in any user area !!\n\nYou can save the data in a file.";
constexpr char kShadingFilter[] = "Shading Data (*.csv)|*.csv||";

QPushButton* Button(QWidget* parent, const char* text, const char* tip = nullptr) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setAccessibleName(button->text());
  if (tip) button->setToolTip(QString::fromLatin1(tip));
  return button;
}

}  // namespace

CGainDlg::CGainDlg() : BoundPage(kGainTable, model::Window::kGain) { SetSection(QStringLiteral("Gain")); }

void CGainDlg::HideRequest() { control()->SetShowGainWnd(0); }

void CGainDlg::BuildWindow(QWidget* page) {
  // White balance at the left; the levels in a grid of two columns with
  // their on/off choices below them (the tab order runs along its rows);
  // automatic shading and the online bar across the bottom.
  auto* top = new QVBoxLayout(page);
  auto* columns = new QHBoxLayout;
  top->addLayout(columns);
  auto* left = new QVBoxLayout;
  auto* levels = new QGridLayout;
  columns->addLayout(left);
  columns->addLayout(levels);

  left->addWidget(ListGroup(page, "White Balance", WhiteBalanceChanged));
  left->addWidget(ListGroup(page, "Auto White Area", AutoWhiteAreaChanged));
  QGroupBox* autoWhite = Group(page, "Auto White Balance");
  auto* autoWhiteLayout = new QVBoxLayout(autoWhite);
  onePush_ = Button(autoWhite, "One Push");
  auto* resultLabel = new QLabel(QStringLiteral("One Push Result"), autoWhite);
  onePushResult_ = new QLineEdit(autoWhite);
  onePushResult_->setReadOnly(true);
  onePushResult_->setAlignment(Qt::AlignCenter);
  onePushResult_->setAccessibleName(QStringLiteral("One Push Result"));
  resultLabel->setBuddy(onePushResult_);
  resultLabel->setAccessibleName(QStringLiteral("One Push Result label"));
  autoWhiteLayout->addWidget(onePush_);
  autoWhiteLayout->addWidget(resultLabel);
  autoWhiteLayout->addWidget(onePushResult_);
  left->addWidget(autoWhite);
  left->addStretch(1);

  constexpr Change gain[] = {MasterGainLevelChanged, RedGainLevelChanged, BlueGainLevelChanged};
  constexpr Change kneePoint[] = {RedKneePointChanged, GreenKneePointChanged, BlueKneePointChanged};
  constexpr Change black[] = {RedBlackLevelChanged, GreenBlackLevelChanged, BlueBlackLevelChanged};
  constexpr Change kneeSlope[] = {RedKneeSlopeChanged, GreenKneeSlopeChanged, BlueKneeSlopeChanged};
  levels->addWidget(SpinGroup(page, "Gain Level", gain), 0, 0);
  levels->addWidget(SpinGroup(page, "Black Level", black), 0, 1);
  levels->addWidget(SpinGroup(page, "Knee Point", kneePoint), 1, 0);
  levels->addWidget(SpinGroup(page, "Knee Slope", kneeSlope), 1, 1);
  levels->addWidget(RadioGroup(page, "Knee Select", KneeSelectChanged), 2, 0);
  levels->addWidget(RadioGroup(page, "Shading Mode", ShadingModeChanged), 2, 1);
  if (QGroupBox* more = MoreSettingsGroup(page)) levels->addWidget(more, 3, 0, 1, 2);
  levels->setRowStretch(4, 1);

  QGroupBox* shading = Group(page, "Auto Shading");
  auto* shadingLayout = new QHBoxLayout(shading);
  QPushButton* start = Button(shading, "Start Auto Shading", "Start Auto Shading Correction");
  QPushButton* save = Button(shading, "Save File", "Save Shading Data from the Camera into File");
  QPushButton* load = Button(shading, "Load File", "Load Shading Data from File into the Camera");
  shadingLayout->addWidget(start);
  shadingLayout->addWidget(save);
  shadingLayout->addWidget(load);
  top->addWidget(shading);
  top->addWidget(AddOnlineBar(page));

  connect(onePush_, &QPushButton::clicked, this, [this] { OnOnePush(); });
  connect(start, &QPushButton::clicked, this, [this] { OnStartAutoShading(); });
  connect(save, &QPushButton::clicked, this, [this] { OnShadingFile(true); });
  connect(load, &QPushButton::clicked, this, [this] { OnShadingFile(false); });
}

void CGainDlg::OnInitDialog() {
  CToolWinDlg::OnInitDialog();
  InitStep([&] { ShowOnlineFromControl(); });
  FillList(WhiteBalanceChanged);
  FillList(AutoWhiteAreaChanged);
  FillMoreSettingsLists();
  ReadProfile();
  Push(kKneeSelectFirst);
  SetRanges(SpinRows());
  InitStep([&] { control()->SetShowGainWnd(visibleField() ? 1 : 0); });
  ReadProfile();
  Push(TableOrder(kKneeSelectFirst));
  ReportRefusedValues();
}

void CGainDlg::OnDestroyWindow() {
  onePush_ = nullptr;
  onePushResult_ = nullptr;
  BoundPage::OnDestroyWindow();
}

void CGainDlg::OnRefresh(Change change, int number, const QString& text) {
  switch (change) {
    case WhiteBalanceChanged:
      SelectListEntry(change, number);
      WhiteBalanceRule(number);
      return;
    case OnePushResultChanged: {
      QString result;
      if (control()->GetValidOnePushResult(static_cast<short>(number), &result) == 0 &&
          onePushResult_)
        onePushResult_->setText(result);
      return;
    }
    default:
      break;
  }
  // A preset shows in the box of the gain it stands for; being a refresh it
  // is not set as the gain.
  if (const model::SettingRow* setting = SettingOf(change)) {
    const model::SettingRow* gain = model::GainStoodFor(*setting);
    if (gain && gain != setting) {
      if (QLineEdit* box = Widgets(ChangeOf(*gain)).box) box->setText(QString::number(number));
      return;
    }
  }
  BoundPage::OnRefresh(change, number, text);
}

void CGainDlg::WhiteBalanceRule(int mode) {
  // Manual: the gains are the boxes' own; a colour temperature shows its
  // presets in them; Continuous AWB shows none.
  const bool manual = mode == model::kManualWhiteBalance;
  const bool continuous = mode == model::kContinuousWhiteBalance;
  const bool preset = !manual && model::WhiteBalanceGainRows(mode);
  if (manual || continuous || preset) {
    if (onePush_) onePush_->setEnabled(manual);
    if (onePushResult_) onePushResult_->setEnabled(manual);
    EnableSpin(RedGainLevelChanged, manual);
    EnableSpin(BlueGainLevelChanged, manual);
    if (QComboBox* area = Widgets(AutoWhiteAreaChanged).list) area->setEnabled(!preset);
  }
  // This asks the camera, so the answer is the link's state now.
  const bool online = control()->GetIsOnline() != 0;
  QLineEdit* red = Widgets(RedGainLevelChanged).box;
  QLineEdit* blue = Widgets(BlueGainLevelChanged).box;
  // Emptying or refilling a box shows the mode; like every refresh it
  // sends nothing (the spin positions are the profile's, not the camera's).
  if (continuous || (preset && !online)) {
    if (red) red->setText(QString());
    if (blue) blue->setText(QString());
  } else if (manual && !online) {
    const model::SettingRow& redRow = *Members(RedGainLevelChanged).row;
    const model::SettingRow& blueRow = *Members(BlueGainLevelChanged).row;
    if (red) red->setText(QString::number(ProfileInt(redRow.key, redRow.profileDefault)));
    if (blue) blue->setText(QString::number(ProfileInt(blueRow.key, blueRow.profileDefault)));
  }
  WriteProfile(Members(WhiteBalanceChanged).row->key, mode);
}

void CGainDlg::ShadingSwitchOn(int result) {
  constexpr int kOn = 0;
  constexpr int kOff = 1;
  if (result != 0 || Shown(ShadingModeChanged) != kOff) return;
  SelectRadio(ShadingModeChanged, kOn);
  RadioAction(ShadingModeChanged, kOn);
}

void CGainDlg::OnOnePush() {
  // The result box follows the model's notification.
  Act([&] {
    if (control()->SetOnePushMode() == 0) control()->GetOnePushResult();
  });
}

void CGainDlg::OnStartAutoShading() {
  const auto answer = ShowMessage(window(), QString::fromLatin1(kAutoShadingQuestion),
                                  UiServices::Buttons::kOkCancel, UiServices::Icon::kQuestion);
  if (answer != UiServices::Answer::kOk) return;
  WaitCursor wait;
  int result = -1;
  Act([&] { result = control()->StartAutoShadingCorrection(); });
  ShadingSwitchOn(result);
}

void CGainDlg::OnShadingFile(bool save) {
  UiServices::FileRequest request;
  request.save = save;
  request.filter = QString::fromLatin1(kShadingFilter);
  request.defaultExtension = QStringLiteral("csv");
  request.overwritePrompt = save;
  request.fileMustExist = !save;
  const UiServices::FileOutcome outcome = Ui().FileDialog(window(), request);
  if (outcome.kind == UiServices::FileOutcome::kFailed) {
    Ui().MessageBox(
        window(), save ? QStringLiteral("Save Error") : QStringLiteral("Load Error"),
        save ? QStringLiteral("Error in Save Dialog !") : QStringLiteral("Error in Load Dialog !"),
        UiServices::Buttons::kOk, UiServices::Icon::kError);
    return;
  }
  if (outcome.kind != UiServices::FileOutcome::kOk) return;
  WaitCursor wait;
  int result = -1;
  Act([&] {
    result = save ? control()->SaveShadingDataIntoFile(outcome.path)
                  : control()->LoadShadingDataFromFile(outcome.path);
  });
  ShadingSwitchOn(result);
}

}  // namespace vexq4::control
