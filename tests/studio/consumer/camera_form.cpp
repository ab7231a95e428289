// A form with the RX-Q4 control, as Designer saves it; prints what it sees
// of the control, and of the Designer plugin when given its file.
#include <vexq4/control/XVexCamCtrl.h>
#include <vexq4/control/automation.h>

#include <QApplication>
#include <QPluginLoader>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <cstdio>
#include <memory>

#include "ui_camera_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget form;
  Ui::CameraForm ui;
  ui.setupUi(&form);
  form.show();
  QApplication::processEvents();

  short lo = 0, hi = 0;
  const short status = ui.cameraControl->GetMinMaxMasterGainLevel(&lo, &hi);
  std::printf("control %s: %zu members, master gain %d..%d (%d)\n",
              ui.cameraControl->metaObject()->className(), vexq4::control::Members().size(), lo, hi,
              status);

  if (argc > 1) {
    QPluginLoader loader(QString::fromLocal8Bit(argv[1]));
    auto* entry = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
    if (!entry) {
      std::printf("plugin: %s\n", qPrintable(loader.errorString()));
      return 1;
    }
    std::unique_ptr<QWidget> made(entry->createWidget(nullptr));
    std::printf("plugin %s: %s\n", qPrintable(entry->name()),
                made ? made->metaObject()->className() : "none");
  }
  return 0;
}
