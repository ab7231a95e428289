// The Gain window: master, red and blue gain, black levels, knee, white
// balance with its auto white area and one-push, shading mode, automatic
// shading correction and the shading files.
#pragma once

#include <QPointer>
#include <QString>

#include "bindings.h"

class QLineEdit;
class QPushButton;

namespace vexq4::control {

class CGainDlg final : public BoundPage {
  Q_OBJECT

 public:
  CGainDlg();

  void HideRequest() override;
  void OnRefresh(Change change, int number, const QString& text) override;

 protected:
  void BuildWindow(QWidget* page) override;
  void OnInitDialog() override;
  void OnDestroyWindow() override;

 private:
  // The white balance rule: what a mode enables, and what the red and blue
  // gain boxes show in it.
  void WhiteBalanceRule(int mode);
  // After a shading operation returned `result`: switch shading on as a
  // click on "On" would, when it is off.
  void ShadingSwitchOn(int result);
  void OnOnePush();
  void OnStartAutoShading();
  void OnShadingFile(bool save);

  QPointer<QPushButton> onePush_;
  QPointer<QLineEdit> onePushResult_;
};

}  // namespace vexq4::control
