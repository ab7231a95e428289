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

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/ui_services.h"

namespace vexq4::control {

namespace {

using C = CXVexCamCtrl;
using W = BoundWidget;
using enum Change;

// One row per setting the window keeps: what it sets, how it is shown, and
// where its last value lives in the "Gain" section of the profile.
const Binding kGainTable[] = {
    {.change = MasterGainLevelChanged,
     .widget = W::kSpin,
     .key = "Master Gain Level",
     .defaultValue = 122,
     .set = &C::SetMasterGainLevel,
     .range = &C::GetMinMaxMasterGainLevel,
     .label = "Master",
     .name = "Gain Level: Master",
     .tip = "Select relative Master Gain Level value, -132 ... +429 (0 is 0dB)"},
    {.change = RedGainLevelChanged,
     .widget = W::kSpin,
     .key = "Gain Level for red",
     .defaultValue = 122,
     .set = &C::SetRedGainLevel,
     .range = &C::GetMinMaxRedGainLevel,
     .label = "Red",
     .name = "Gain Level: Red",
     .tip = "Select relative Gain Level value for red, -231 ... +231 (0 is 0dB)"},
    {.change = BlueGainLevelChanged,
     .widget = W::kSpin,
     .key = "Gain Level for Blue",
     .defaultValue = 24,
     .set = &C::SetBlueGainLevel,
     .range = &C::GetMinMaxBlueGainLevel,
     .label = "Blue",
     .name = "Gain Level: Blue",
     .tip = "Select relative Gain Level value for blue, -231 ... +231 (0 is 0dB)"},
    {.change = RedBlackLevelChanged,
     .widget = W::kSpin,
     .key = "Black Level for Red",
     .defaultValue = 122,
     .set = &C::SetRedBlackLevel,
     .range = &C::GetMinMaxRedBlackLevel,
     .label = "Red",
     .name = "Black Level: Red",
     .tip = "Select relative Black Level value for red, 0 ... 1023 (decimal)"},
    {.change = GreenBlackLevelChanged,
     .widget = W::kSpin,
     .key = "Black Level for Green",
     .defaultValue = 127,
     .set = &C::SetGreenBlackLevel,
     .range = &C::GetMinMaxGreenBlackLevel,
     .label = "Green",
     .name = "Black Level: Green",
     .tip = "Select relative Black Level value for green, 0 ... 1023 (decimal)"},
    {.change = BlueBlackLevelChanged,
     .widget = W::kSpin,
     .key = "Black Level for Blue",
     .defaultValue = 127,
     .set = &C::SetBlueBlackLevel,
     .range = &C::GetMinMaxBlueBlackLevel,
     .label = "Blue",
     .name = "Black Level: Blue",
     .tip = "Select relative Black Level value for blue, 0 ... 1023 (decimal)"},
    {.change = RedKneePointChanged,
     .widget = W::kSpin,
     .key = "Knee Point for Red",
     .defaultValue = 122,
     .set = &C::SetRedKneePoint,
     .range = &C::GetMinMaxRedKneePoint,
     .label = "Red",
     .name = "Knee Point: Red",
     .tip = "Select relative Knee Point value for red, 0 ... 1023 (decimal)"},
    {.change = GreenKneePointChanged,
     .widget = W::kSpin,
     .key = "Knee Point for Green",
     .defaultValue = 122,
     .set = &C::SetGreenKneePoint,
     .range = &C::GetMinMaxGreenKneePoint,
     .label = "Green",
     .name = "Knee Point: Green",
     .tip = "Select relative Knee Point value for green, 0 ... 1023 (decimal)"},
    {.change = BlueKneePointChanged,
     .widget = W::kSpin,
     .key = "Knee Point for Blue",
     .defaultValue = 127,
     .set = &C::SetBlueKneePoint,
     .range = &C::GetMinMaxBlueKneePoint,
     .label = "Blue",
     .name = "Knee Point: Blue",
     .tip = "Select relative Knee Point Level value for blue, 0 ... 1023 (decimal)"},
    {.change = RedKneeSlopeChanged,
     .widget = W::kSpin,
     .key = "Knee Slope for Red",
     .defaultValue = 127,
     .set = &C::SetRedKneeSlope,
     .range = &C::GetMinMaxRedKneeSlope,
     .label = "Red",
     .name = "Knee Slope: Red",
     .tip = "Select relative Knee Slope value for red, 1 ... 4095 (decimal)"},
    {.change = GreenKneeSlopeChanged,
     .widget = W::kSpin,
     .key = "Knee Slope for Green",
     .defaultValue = 127,
     .set = &C::SetGreenKneeSlope,
     .range = &C::GetMinMaxGreenKneeSlope,
     .label = "Green",
     .name = "Knee Slope: Green",
     .tip = "Select relative Knee Slope value for green, 1 ... 4095 (decimal)"},
    {.change = BlueKneeSlopeChanged,
     .widget = W::kSpin,
     .key = "Knee Slope for Blue",
     .defaultValue = 127,
     .set = &C::SetBlueKneeSlope,
     .range = &C::GetMinMaxBlueKneeSlope,
     .label = "Blue",
     .name = "Knee Slope: Blue",
     .tip = "Select relative Knee Slope value for blue, 1 ... 4095 (decimal)"},
    {.change = KneeSelectChanged,
     .widget = W::kRadios,
     .key = "Knee Select",
     .defaultValue = 1,
     .set = &C::SetKneeSelect,
     .choices = {{{"On", "Knee Select: On", "Knee Selection: On"},
                  {"Off", "Knee Select: Off", "Knee Selection: Off"}}}},
    {.change = ShadingModeChanged,
     .widget = W::kRadios,
     .key = "Shading Mode",
     .defaultValue = 1,
     .set = &C::SetShadingMode,
     .choices = {{{"On", "Shading Mode: On", "Shading Mode On"},
                  {"Off", "Shading Mode: Off", "Shading Mode Off"}}}},
    {.change = WhiteBalanceChanged,
     .widget = W::kList,
     .key = "White Balance",
     .defaultValue = 0,
     .set = &C::SetWhiteBalanceIndex,
     .range = &C::GetMinMaxWhiteBalance,
     .entry = &C::GetValidWhiteBalance,
     .name = "White Balance",
     .tip = "Select White Balance Mode"},
    {.change = AutoWhiteAreaChanged,
     .widget = W::kList,
     .key = "Auto White Area",
     .defaultValue = 0,
     .set = &C::SetAutoWhiteAreaIndex,
     .range = &C::GetMinMaxAutoWhiteArea,
     .entry = &C::GetValidAutoWhiteArea,
     .name = "Auto White Area",
     .tip = "Select Auto White Area"},
};

// The order in which the spin ranges are asked for.
constexpr Change kRangeOrder[] = {
    MasterGainLevelChanged, RedGainLevelChanged,  RedBlackLevelChanged,  GreenKneePointChanged,
    RedKneePointChanged,    BlueGainLevelChanged, BlueBlackLevelChanged, GreenBlackLevelChanged,
    BlueKneePointChanged,   RedKneeSlopeChanged,  GreenKneeSlopeChanged, BlueKneeSlopeChanged,
};

// The order in which the stored values go to the camera at creation, after
// the knee select.
constexpr Change kPushOrder[] = {
    AutoWhiteAreaChanged,   MasterGainLevelChanged, RedGainLevelChanged,   BlueGainLevelChanged,
    WhiteBalanceChanged,    RedBlackLevelChanged,   GreenKneePointChanged, RedKneePointChanged,
    GreenBlackLevelChanged, BlueBlackLevelChanged,  BlueKneePointChanged,  RedKneeSlopeChanged,
    GreenKneeSlopeChanged,  BlueKneeSlopeChanged,   ShadingModeChanged,
};

constexpr Change kKneeSelectFirst[] = {KneeSelectChanged};

// The white balance modes.
constexpr int kManualOnePush = 0;
constexpr int kContinuousAwb = 1;
constexpr int kFirstPreset = 2;
constexpr int kLastPreset = 4;

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

CGainDlg::CGainDlg() : BoundPage(kGainTable) { SetSection(QStringLiteral("Gain")); }

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
  levels->setRowStretch(3, 1);

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
  ReadProfile();
  Push(kKneeSelectFirst);
  SetRanges(kRangeOrder);
  InitStep([&] { control()->SetShowGainWnd(visibleField() ? 1 : 0); });
  ReadProfile();
  Push(kPushOrder);
  ReportRefusedValues();
}

void CGainDlg::OnDestroyWindow() {
  onePush_ = nullptr;
  onePushResult_ = nullptr;
  BoundPage::OnDestroyWindow();
}

void CGainDlg::Refresh(Change change, int number, const QString& text) {
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
    // A preset shows in its gain box (and, being a change of that box's
    // text, is set as the gain when it is in range).
    case Red3200KWBalPresetChanged:
    case Red4600KWBalPresetChanged:
    case Red5600KWBalPresetChanged:
      if (QLineEdit* box = Widgets(RedGainLevelChanged).box) box->setText(QString::number(number));
      return;
    case Blue3200KWBalPresetChanged:
    case Blue4600KWBalPresetChanged:
    case Blue5600KWBalPresetChanged:
      if (QLineEdit* box = Widgets(BlueGainLevelChanged).box) box->setText(QString::number(number));
      return;
    default:
      BoundPage::Refresh(change, number, text);
      return;
  }
}

void CGainDlg::WhiteBalanceRule(int mode) {
  const bool manual = mode == kManualOnePush;
  const bool preset = mode >= kFirstPreset && mode <= kLastPreset;
  if (manual || mode == kContinuousAwb || preset) {
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
  // Emptying or refilling a box is a change of its text: it sends the
  // spin position again.
  if (mode == kContinuousAwb || (preset && !online)) {
    if (red) red->setText(QString());
    if (blue) blue->setText(QString());
  } else if (manual && !online) {
    const Binding& redRow = Row(RedGainLevelChanged);
    const Binding& blueRow = Row(BlueGainLevelChanged);
    if (red) red->setText(QString::number(ProfileInt(redRow.key, redRow.defaultValue)));
    if (blue) blue->setText(QString::number(ProfileInt(blueRow.key, blueRow.defaultValue)));
  }
  WriteProfile(Row(WhiteBalanceChanged).key, mode);
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
