// A host built like vexq4-studio (linked with libXVexQ4.so, creating the
// control through tools/studio/host.cpp): it says where its control came
// from, for the tests of creation by ProgID.
//
//   vexq4-linked-host      prints "source: ...", "class: ...", "code: ...",
//                          "unload: N" while the control lives and
//                          "unload-after: N" once it is gone; exit 1 when
//                          no control could be created.
#include <dlfcn.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>

#include "host.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/module.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QString source;
  CXVexCamCtrl* control = vexq4::studio::CreateControl(nullptr, &source);
  if (!control) {
    std::puts("no control");
    return 1;
  }
  std::printf("source: %s\n", qPrintable(source));
  std::printf("class: %s\n", control->metaObject()->className());
  // The file that holds the code of the object's class (its vtable).
  Dl_info info{};
  if (dladdr(*reinterpret_cast<void**>(control), &info) != 0 && info.dli_fname)
    std::printf("code: %s\n", std::filesystem::canonical(info.dli_fname).c_str());
  std::printf("unload: %d\n", DllCanUnloadNow());
  delete control;
  std::printf("unload-after: %d\n", DllCanUnloadNow());
  return 0;
}
