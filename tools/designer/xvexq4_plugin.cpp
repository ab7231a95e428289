// The control in Qt Designer. Designer creates it like any host does,
// through the module's class factory, so on a form it behaves as it will in
// the finished program (its strip, its tool windows, its connection).
#include "xvexq4_plugin.h"

#include <QIcon>
#include <QLabel>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/module.h"

namespace ctl = vexq4::control;

XVexQ4DesignerPlugin::XVexQ4DesignerPlugin(QObject* parent) : QObject(parent) {}

QString XVexQ4DesignerPlugin::name() const { return QStringLiteral("CXVexCamCtrl"); }
QString XVexQ4DesignerPlugin::group() const { return QStringLiteral("RX-Q4 Camera"); }
QString XVexQ4DesignerPlugin::toolTip() const { return QStringLiteral("RX-Q4 camera control"); }
QString XVexQ4DesignerPlugin::whatsThis() const {
  return QStringLiteral(
      "The RX-Q4 camera control: a strip whose buttons show the Shutter, Gain, Communication and "
      "About windows, and every camera setting as an automation member.");
}
QString XVexQ4DesignerPlugin::includeFile() const {
  return QStringLiteral("vexq4/control/XVexCamCtrl.h");
}
QIcon XVexQ4DesignerPlugin::icon() const {
  return QIcon(QStringLiteral(":/vexq4-designer/xvexq4.svg"));
}
bool XVexQ4DesignerPlugin::isContainer() const { return false; }
bool XVexQ4DesignerPlugin::isInitialized() const { return initialized_; }
void XVexQ4DesignerPlugin::initialize(QDesignerFormEditorInterface*) { initialized_ = true; }

QWidget* XVexQ4DesignerPlugin::createWidget(QWidget* parent) {
  void* object = nullptr;
  if (DllGetClassObject(&ctl::kControlClsid, &ctl::kClassFactoryIid, &object) == ctl::kSOk &&
      object) {
    void* control = nullptr;
    if (static_cast<IVexClassFactory*>(object)->CreateInstance(parent, &control) == ctl::kSOk &&
        control)
      return static_cast<CXVexCamCtrl*>(control);
  }
  // Designer needs a widget in any case; say what went wrong on the form.
  return new QLabel(QStringLiteral("The RX-Q4 control could not be created."), parent);
}

QString XVexQ4DesignerPlugin::domXml() const {
  // The control's own extent: 175 x 30 pixels.
  return QStringLiteral(
      "<ui language=\"c++\">\n"
      " <widget class=\"CXVexCamCtrl\" name=\"cameraControl\">\n"
      "  <property name=\"geometry\">\n"
      "   <rect><x>0</x><y>0</y><width>175</width><height>30</height></rect>\n"
      "  </property>\n"
      " </widget>\n"
      "</ui>\n");
}
