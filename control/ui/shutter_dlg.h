// The Shutter window: shutter mode and speed, programmable exposure, trigger
// mode, polarity and input, smearless, LVAL accumulation, RCT FVAL type,
// partial scan, binning, output bit allocation and the colour bar.
#pragma once

#include <QPointer>
#include <QString>

#include "bindings.h"

class QLineEdit;

namespace vexq4::control {

class CShutterDlg final : public BoundPage {
  Q_OBJECT

 public:
  CShutterDlg();

  void HideRequest() override;
  void OnRefresh(Change change, int number, const QString& text) override;

 protected:
  void BuildWindow(QWidget* page) override;
  void OnInitDialog() override;
  void OnDestroyWindow() override;
  void AfterAction(Change change, int value) override;

 private:
  // The shutter mode rule: the speed list or the mode box in its place,
  // and which exposure boxes can be worked.
  void ShutterModeRule(int mode);
  // Trigger modes that time the exposure themselves leave no shutter mode
  // to choose.
  void TriggerEnabling(int triggerType);
  // Binning works on full frames only.
  void BinningEnabling(int partialScan);
  // After the operator chose a programmable exposure mode: the exposures
  // of that mode go to the camera again.
  void ResendExposures(int mode);

  QPointer<QLineEdit> modeBox_;  // stands in place of the speed list
};

}  // namespace vexq4::control
