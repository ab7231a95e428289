// A host that knows the control only through the registry folder, as a
// third party's program would: it is not linked with libXVexQ4.so, reads
// the class's entry itself, loads the module it names and creates the
// control through the module's class factory.
//
//   vexq4-foreign-host register|unregister MODULE
//       loads MODULE and calls its DllRegisterServer / DllUnregisterServer;
//       prints the result in hex, exit 0 when it is 0.
//   vexq4-foreign-host create PROGID
//       prints "module: ...", "class: ...", "code: ...", "unload: N" while
//       the control lives, "unload-after: N"; exit 1 when PROGID is not
//       registered or its module cannot create it.
#include <dlfcn.h>

#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

// Types and constants only: nothing of the module is linked.
#include "vexq4/control/module.h"

namespace fs = std::filesystem;

namespace {

using Entry = std::int32_t (*)();
using GetClassObject = std::int32_t (*)(const VexGuid*, const VexGuid*, void**);
using CanUnloadNow = std::int32_t (*)();

fs::path RegistryFolder() {
  if (const char* dir = std::getenv("VEXQ4_REGISTRY_DIR"); dir && *dir) return dir;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
    return fs::path(data) / "vexq4" / "registry";
  return fs::path(std::getenv("HOME") ? std::getenv("HOME") : ".") / ".local/share/vexq4/registry";
}

// The [Class] section of one entry.
std::map<std::string, std::string> ClassSection(const fs::path& file) {
  std::map<std::string, std::string> values;
  std::ifstream in(file);
  std::string line;
  bool inClass = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inClass = line == "[Class]";
    } else if (inClass && line.find('=') != std::string::npos) {
      values[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
  }
  return values;
}

bool ParseGuid(const std::string& text, VexGuid& g) {
  unsigned d[11];
  if (text.size() != 38 ||
      std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2],
                  &d[3], &d[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10]) != 11)
    return false;
  g.data1 = d[0];
  g.data2 = static_cast<std::uint16_t>(d[1]);
  g.data3 = static_cast<std::uint16_t>(d[2]);
  for (int i = 0; i < 8; ++i) g.data4[i] = static_cast<std::uint8_t>(d[3 + i]);
  return true;
}

int Register(const std::string& module, const char* entry) {
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::printf("cannot load: %s\n", dlerror());
    return 1;
  }
  auto call = reinterpret_cast<Entry>(dlsym(handle, entry));
  if (!call) return 1;
  const std::int32_t result = call();
  std::printf("%s: 0x%08X\n", entry, static_cast<unsigned>(result));
  return result == 0 ? 0 : 1;
}

int Create(const std::string& progId) {
  std::error_code ec;
  for (const auto& file : fs::directory_iterator(RegistryFolder(), ec)) {
    if (!file.is_regular_file() || file.path().extension() != ".ini") continue;
    auto values = ClassSection(file.path());
    if (values["ProgID"] != progId) continue;
    VexGuid clsid{};
    if (!ParseGuid(values["CLSID"], clsid)) return 1;
    std::printf("module: %s\n", values["Module"].c_str());
    void* handle = dlopen(values["Module"].c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::printf("cannot load: %s\n", dlerror());
      return 1;
    }
    auto get = reinterpret_cast<GetClassObject>(dlsym(handle, "DllGetClassObject"));
    auto canUnload = reinterpret_cast<CanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
    void* object = nullptr;
    if (!get || !canUnload || get(&clsid, &vexq4::control::kClassFactoryIid, &object) != 0)
      return 1;
    void* created = nullptr;
    if (static_cast<IVexClassFactory*>(object)->CreateInstance(nullptr, &created) != 0 || !created)
      return 1;
    // The control is a QWidget first: what a container places on its form.
    auto* widget = static_cast<QWidget*>(created);
    std::printf("class: %s\n", widget->metaObject()->className());
    Dl_info info{};
    if (dladdr(*reinterpret_cast<void**>(created), &info) != 0 && info.dli_fname)
      std::printf("code: %s\n", fs::canonical(info.dli_fname).c_str());
    std::printf("unload: %d\n", canUnload());
    delete widget;
    std::printf("unload-after: %d\n", canUnload());
    return 0;
  }
  std::printf("not registered: %s\n", progId.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() == 3 && args[1] == "register")
    return Register(args[2].toStdString(), "DllRegisterServer");
  if (args.size() == 3 && args[1] == "unregister")
    return Register(args[2].toStdString(), "DllUnregisterServer");
  if (args.size() == 3 && args[1] == "create") return Create(args[2].toStdString());
  std::fputs("usage: vexq4-foreign-host register|unregister MODULE | create PROGID\n", stderr);
  return 2;
}
