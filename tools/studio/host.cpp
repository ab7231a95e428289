// Creating the control through the module's class factory.
#include "host.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>

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

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

CXVexCamCtrl* CreateControl(QWidget* parent, QString* source) {
  if (const auto registered = ctl::FindRegisteredProgId(ctl::kControlProgId)) {
    const auto linked = ctl::CXVexCamApp::Instance().ModulePath();
    // Another copy of the module cannot serve a program linked with this
    // one: its classes would run this copy's code and share nothing of its
    // state (the user-interface services, the object count).
    if (!SameFile(registered->module, linked)) {
      std::fprintf(stderr,
                   "vexq4-studio: the registry names %s; this program uses its own module %s\n",
                   registered->module.c_str(), linked.c_str());
    } else if (void* module = dlopen(registered->module.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      // The same file as ours: the loader hands back the loaded module,
      // which stays loaded for the life of the process.
      auto get = reinterpret_cast<GetClassObject>(dlsym(module, "DllGetClassObject"));
      if (auto* control = CreateWith(get, registered->clsid, parent)) {
        if (source)
          *source =
              QStringLiteral("registry: ") + QString::fromStdString(registered->module.string());
        return control;
      }
    }
  }
  if (source) *source = QStringLiteral("built-in module");
  return CreateWith(&DllGetClassObject, ctl::kControlClsid, parent);
}

}  // namespace vexq4::studio
