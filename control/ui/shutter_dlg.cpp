// The Shutter window.
#include "shutter_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"

namespace vexq4::control {

namespace {

using W = BoundWidget;
using enum Change;

// One row per setting the window keeps, in the order the stored values go
// to the camera when the window is created; the last values live in the
// "Shutter" section of the profile, under the settings' own keys.
const Binding kShutterTable[] = {
    {.change = TriggerTypeChanged,
     .widget = W::kList,
     .name = "Trigger Mode",
     .tip = "Select Trigger Mode"},
    {.change = PartialScanChanged,
     .widget = W::kList,
     .name = "Partial Scan Mode",
     .tip = "Select Partial Scan Mode"},
    {.change = TriggerInputChanged,
     .widget = W::kRadios,
     .choices = {{{"CL", "Trigger Input: CL", "Use Trigger on Camera Link Connector"},
                  {"Hirose 12pin - 10 p", nullptr, "Use Trigger on 12pin Hirose Connector"}}}},
    {.change = TriggerPolarityChanged,
     .widget = W::kRadios,
     .choices = {{{"Active L", nullptr, "Select Active Low Trigger Polarity"},
                  {"Active H", nullptr, "Select Active High Trigger Polarity"}}}},
    {.change = SmearlessChanged,
     .widget = W::kRadios,
     .choices = {{{"Off", "Smearless: Off", "Select Smearless Mode Off"},
                  {"On", "Smearless: On", "Select Smearless Mode On"}}}},
    {.change = RCTFVALTypeChanged,
     .widget = W::kRadios,
     .choices = {{{"CL", "RCT FVAL Type: CL", "Select Camera Link Mode"},
                  {"VEX Standard", nullptr, "Select VEX Standard Mode"}}}},
    {.change = AccumulationChanged,
     .widget = W::kRadios,
     .choices = {{{"Synch", nullptr, "Select LVAL Synchronous Accumulation"},
                  {"Asynch", nullptr, "Select LVAL Asynchronous Accumulation"}}}},
    {.change = OutputBitAllocationChanged,
     .widget = W::kRadios,
     .choices = {{{"10 Bit", nullptr, "Select 10 Bit Output Allocation"},
                  {"8 Bit", nullptr, "Select 8 Bit Output Allocation"}}}},
    {.change = ShutterModeChanged,
     .widget = W::kRadios,
     .choices = {{{"Shutter Speed", "Shutter Mode: Shutter Speed", "Select Shutter Speed Mode"},
                  {"Programmable Exposure (RGB common set)", nullptr,
                   "Select Programmable Exposure (RGB common set)"},
                  {"Programmable Exposure (RGB individual set)", nullptr,
                   "Select Programmable Exposure (RGB individual set)"}}}},
    {.change = ProgrammableExposureChanged,
     .widget = W::kSpin,
     .label = "RGB common set",
     .name = "Programmable Exposure: RGB common set",
     .tip = "Select relative Programmable Exposure (RGB common set) value, {min}...{max}  "},
    {.change = ProgrammableExposureRedChanged,
     .widget = W::kSpin,
     .label = "Red",
     .name = "Programmable Exposure: Red",
     .tip = "Select relative Programmable Exposure for Red, {min}...{max} (decimal)"},
    {.change = ProgrammableExposureGreenChanged,
     .widget = W::kSpin,
     .label = "Green",
     .name = "Programmable Exposure: Green",
     .tip = "Select relative Programmable Exposure for Green, {min}...{max} (decimal)"},
    {.change = ProgrammableExposureBlueChanged,
     .widget = W::kSpin,
     .label = "Blue",
     .name = "Programmable Exposure: Blue",
     .tip = "Select relative Programmable Exposure for Blue, {min}...{max} (decimal) "},
    // Kept by its text: the profile names the speed, not its position.
    {.change = ShutterSpeedChanged,
     .widget = W::kList,
     .name = "Shutter Speed",
     .tip = "Select Shutter Value"},
    {.change = BinningChanged, .widget = W::kList, .name = "Binning", .tip = "Select Binning Mode"},
    {.change = ColorBarChanged,
     .widget = W::kRadios,
     .choices = {{{"Off", "Color Bar: Off", "Select Color Bar Off"},
                  {"On", "Color Bar: On", "Select Color Bar On"}}}},
};

constexpr Change kExposures[] = {ProgrammableExposureChanged, ProgrammableExposureRedChanged,
                                 ProgrammableExposureGreenChanged, ProgrammableExposureBlueChanged};
constexpr Change kColourExposures[] = {ProgrammableExposureRedChanged,
                                       ProgrammableExposureGreenChanged,
                                       ProgrammableExposureBlueChanged};

// The shutter modes.
constexpr int kSpeedMode = 0;
constexpr int kCommonMode = 1;
constexpr int kIndividualMode = 2;

// Trigger types that time the exposure themselves.
constexpr int kPulseWidthControl = 2;
constexpr int kSensorGateControl = 3;
constexpr int kFullFrame = 0;

}  // namespace

CShutterDlg::CShutterDlg() : BoundPage(kShutterTable, model::Window::kShutter) { SetSection(QStringLiteral("Shutter")); }

void CShutterDlg::HideRequest() { control()->SetShowShutterWnd(0); }

void CShutterDlg::BuildWindow(QWidget* page) {
  // Exposure at the left (mode, speed, exposure values, trigger mode and
  // the scan lists), the two-way choices at the right, the online bar
  // across the bottom.
  auto* top = new QVBoxLayout(page);
  auto* columns = new QHBoxLayout;
  top->addLayout(columns);
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  columns->addLayout(left, 1);
  columns->addLayout(right);

  left->addWidget(RadioGroup(page, "Shutter Mode", ShutterModeChanged, true));

  QGroupBox* speed = Group(page, "Shutter Speed", "Shutter Speed group");
  auto* speedLayout = new QGridLayout(speed);
  speedLayout->addWidget(AddList(speed, ShutterSpeedChanged), 0, 0);
  modeBox_ = new QLineEdit(speed);
  modeBox_->setAccessibleName(QStringLiteral("Shutter Speed: mode"));
  modeBox_->setToolTip(QStringLiteral("Select \"Edge Pre-Select\" to change Shutter Speed"));
  speedLayout->addWidget(modeBox_, 0, 0);  // in the list's place
  left->addWidget(speed);

  left->addWidget(SpinGroup(page, "Programmable Exposure", kExposures));

  left->addWidget(ListGroup(page, "Trigger Mode", TriggerTypeChanged));
  left->addWidget(ListGroup(page, "Partial Scan Mode", PartialScanChanged));
  left->addWidget(ListGroup(page, "Binning", BinningChanged));
  if (QGroupBox* more = MoreSettingsGroup(page)) left->addWidget(more);
  left->addStretch(1);

  for (auto [title, change] : {std::pair{"Smearless", SmearlessChanged},
                               std::pair{"LVAL Synchronous Accumulation", AccumulationChanged},
                               std::pair{"RCT FVAL Type", RCTFVALTypeChanged},
                               std::pair{"Trigger Input", TriggerInputChanged},
                               std::pair{"Trigger Polarity", TriggerPolarityChanged},
                               std::pair{"Output Bit Allocation", OutputBitAllocationChanged},
                               std::pair{"Color Bar", ColorBarChanged}})
    right->addWidget(RadioGroup(page, title, change));
  right->addStretch(1);

  top->addWidget(AddOnlineBar(page));
}

void CShutterDlg::OnInitDialog() {
  CToolWinDlg::OnInitDialog();
  InitStep([&] { ShowOnlineFromControl(); });
  SetRanges(SpinRows());
  FillList(TriggerTypeChanged);
  FillList(BinningChanged);
  FillList(ShutterSpeedChanged);
  FillMoreSettingsLists();
  if (modeBox_) {
    modeBox_->setReadOnly(true);
    modeBox_->hide();
  }
  if (QComboBox* list = Widgets(ShutterSpeedChanged).list) list->show();
  InitStep([&] { control()->SetShowShutterWnd(visibleField() ? 1 : 0); });
  ReadProfile();
  FillList(PartialScanChanged);
  Push(TableOrder());
  ReportRefusedValues();
}

void CShutterDlg::OnDestroyWindow() {
  modeBox_ = nullptr;
  BoundPage::OnDestroyWindow();
}

void CShutterDlg::OnRefresh(Change change, int number, const QString& text) {
  BoundPage::OnRefresh(change, number, text);
  switch (change) {
    case ShutterModeChanged:
      ShutterModeRule(number);
      break;
    case TriggerTypeChanged:
      TriggerEnabling(number);
      break;
    case PartialScanChanged:
      BinningEnabling(number);
      break;
    default:
      break;
  }
}

void CShutterDlg::AfterAction(Change change, int value) {
  if (change == ShutterModeChanged) ResendExposures(value);
}

void CShutterDlg::ShutterModeRule(int mode) {
  if (mode != kSpeedMode && mode != kCommonMode && mode != kIndividualMode) return;
  const bool speed = mode == kSpeedMode;
  if (QComboBox* list = Widgets(ShutterSpeedChanged).list) {
    list->setVisible(speed);
    list->setEnabled(speed);
  }
  if (modeBox_) {
    modeBox_->setVisible(!speed);
    modeBox_->setEnabled(false);
    if (!speed)
      modeBox_->setText(mode == kCommonMode ? QStringLiteral("RGB common set")
                                            : QStringLiteral("RGB individual set"));
  }
  EnableSpin(ProgrammableExposureChanged, mode == kCommonMode);
  for (Change colour : kColourExposures) EnableSpin(colour, mode == kIndividualMode);
}

void CShutterDlg::TriggerEnabling(int triggerType) {
  const bool timedByTrigger =
      triggerType == kPulseWidthControl || triggerType == kSensorGateControl;
  for (const QPointer<QRadioButton>& radio : Widgets(ShutterModeChanged).radios)
    if (radio) radio->setEnabled(!timedByTrigger);
}

void CShutterDlg::BinningEnabling(int partialScan) {
  if (QComboBox* list = Widgets(BinningChanged).list) list->setEnabled(partialScan == kFullFrame);
}

void CShutterDlg::ResendExposures(int mode) {
  if (mode == kCommonMode) {
    SetProperty(ProgrammableExposureChanged, Shown(ProgrammableExposureChanged));
  } else if (mode == kIndividualMode) {
    // Red, blue, then green.
    for (Change colour : {ProgrammableExposureRedChanged, ProgrammableExposureBlueChanged,
                          ProgrammableExposureGreenChanged})
      SetProperty(colour, Shown(colour));
  }
}

}  // namespace vexq4::control
