// The operator's guide, opened with the desktop (F1 in the control's
// windows, the About window's button).
#include <filesystem>
#include <system_error>

#include "module_state.h"
#include "vexq4/control/module.h"
#include "vexq4/control/ui_services.h"

namespace fs = std::filesystem;

namespace vexq4::control {

void OpenHelp() {
  const fs::path module = CXVexCamApp::Instance().ModulePath();
  const fs::path base = module.parent_path();
  // Beside the module; the build's doc folder; the installed docs, with the
  // library in lib/ or in a multiarch lib/<triplet>/.
  const fs::path guide = "vexq4-operator-guide.pdf";
  const fs::path installed = fs::path("share") / "doc" / "vexq4" / guide;
  for (const fs::path& candidate : {base / guide, base / ".." / "doc" / guide,
                                    base / ".." / installed, base / ".." / ".." / installed}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) {
      Ui().OpenWithShell(QString::fromStdString(fs::weakly_canonical(candidate, ec).string()));
      return;
    }
  }
  ShowMessage(nullptr,
              QStringLiteral("The operator's guide vexq4-operator-guide.pdf was not found beside "
                             "%1, in ../doc or in share/doc/vexq4 of the installation.")
                  .arg(QString::fromStdString(module.string())),
              UiServices::Buttons::kOk, UiServices::Icon::kInformation);
}

}  // namespace vexq4::control
