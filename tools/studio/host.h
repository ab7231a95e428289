// How the studio obtains its control: by ProgID through the registry
// folder, falling back to the module it was built with.
#pragma once

#include <QString>
#include <QWidget>

class CXVexCamCtrl;

namespace vexq4::studio {

// Creates the control as a child of `parent`; `source` tells where it came
// from ("registry: <module>" or "built-in module"). Null when no factory
// could create it.
CXVexCamCtrl* CreateControl(QWidget* parent, QString* source = nullptr);

}  // namespace vexq4::studio
