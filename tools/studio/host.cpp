// Creating the control through the module's class factory.
#include <dlfcn.h>

#include "host.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/module.h"

namespace vexq4::studio {

namespace ctl = vexq4::control;

namespace {

using GetClassObject = std::int32_t (*)(const VexGuid*, const VexGuid*, void**);

CXVexCamCtrl* CreateWith(GetClassObject get, const VexGuid& clsid, QWidget* parent) {
  void* object = nullptr;
  if (!get || get(&clsid, &ctl::kClassFactoryIid, &object) != ctl::kSOk || !object) return nullptr;
  auto* factory = static_cast<IVexClassFactory*>(object);
  void* control = nullptr;
  if (factory->CreateInstance(parent, &control) != ctl::kSOk) return nullptr;
  return static_cast<CXVexCamCtrl*>(control);
}

}  // namespace

CXVexCamCtrl* CreateControl(QWidget* parent, QString* source) {
  if (const auto registered = ctl::FindRegisteredProgId(ctl::kControlProgId)) {
    // The module stays loaded for the life of the process (the control's
    // code lives in it).
    if (void* module = dlopen(registered->module.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      auto get = reinterpret_cast<GetClassObject>(dlsym(module, "DllGetClassObject"));
      if (auto* control = CreateWith(get, registered->clsid, parent)) {
        if (source) *source = QStringLiteral("registry: ") + QString::fromStdString(registered->module.string());
        return control;
      }
    }
  }
  if (source) *source = QStringLiteral("built-in module");
  return CreateWith(&DllGetClassObject, ctl::kControlClsid, parent);
}

}  // namespace vexq4::studio
