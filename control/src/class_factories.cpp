// The module's class factories, its object count and its application
// object: what DllGetClassObject hands out and DllCanUnloadNow counts.
#include <dlfcn.h>

#include <atomic>
#include <filesystem>
#include <system_error>

#include "module_state.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/module.h"

namespace fs = std::filesystem;
namespace ctl = vexq4::control;

namespace vexq4::control {
namespace {

std::atomic<int> liveObjects{0};
std::atomic<int> locks{0};

// An unlock without its lock is ignored: the count never goes below zero,
// so a careless host cannot keep the module loaded for ever.
std::int32_t Lock(std::int32_t lock) {
  if (lock != 0)
    ++locks;
  else if (locks.load() > 0)
    --locks;
  return kSOk;
}

// ---- Class factories: one for the control, one for its property page.
// The caller owns what CreateInstance hands out (or the widget parent it
// gave does).
template <class Object>
class Factory final : public IVexClassFactory {
 public:
  std::int32_t CreateInstance(QWidget* parent, void** object) override {
    if (!object) return kPointerError;
    *object = new Object(parent);
    return kSOk;
  }
  std::int32_t LockServer(std::int32_t lock) override { return Lock(lock); }
};

Factory<CXVexCamCtrl> controlFactory;
Factory<COlePropPage1> propPageFactory;

}  // namespace

void ModuleObjectCreated() { ++liveObjects; }
void ModuleObjectDestroyed() { --liveObjects; }

const CXVexCamApp& CXVexCamApp::Instance() {
  static const CXVexCamApp app;
  return app;
}

fs::path CXVexCamApp::ModulePath() const {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllGetClassObject), &info) == 0 || !info.dli_fname) return {};
  std::error_code ec;
  const fs::path path = fs::canonical(info.dli_fname, ec);
  return ec ? fs::path(info.dli_fname) : path;
}

}  // namespace vexq4::control

extern "C" std::int32_t DllGetClassObject(const VexGuid* clsid, const VexGuid* iid, void** object) {
  if (!object) return ctl::kPointerError;
  *object = nullptr;
  if (!clsid || !iid) return ctl::kPointerError;
  IVexClassFactory* factory = nullptr;
  if (*clsid == ctl::kControlClsid)
    factory = &ctl::controlFactory;
  else if (*clsid == ctl::kPropPageClsid)
    factory = &ctl::propPageFactory;
  else
    return ctl::kClassNotAvailable;
  if (!(*iid == ctl::kClassFactoryIid)) return ctl::kNoInterface;
  *object = factory;
  return ctl::kSOk;
}

extern "C" std::int32_t DllCanUnloadNow() {
  return ctl::liveObjects.load() == 0 && ctl::locks.load() == 0 ? ctl::kSOk : ctl::kSFalse;
}
