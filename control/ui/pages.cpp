// The four tool windows' pages.
#include <QLabel>
#include <QVBoxLayout>

#include "about_dlg.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/tool_windows.h"
#include "gain_dlg.h"
#include "shutter_dlg.h"

namespace vexq4::control {
namespace {

// A page that shows its caption until its window is built.
class PlainPage final : public CToolWinDlg {
 public:
  explicit PlainPage(ToolWindow window) : window_(window) {
    SetSection(QString::fromLatin1(InfoOf(window).section));
  }
  void HideRequest() override { control()->SetToolWindowVisibleProperty(window_, 0); }

 protected:
  void BuildWindow(QWidget* page) override {
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QString::fromLatin1(InfoOf(window_).caption), page));
    page->setMinimumSize(360, 240);
  }
  void OnInitDialog() override {
    CToolWinDlg::OnInitDialog();
    control()->SetToolWindowVisibleProperty(window_, visibleField() ? 1 : 0);
  }

 private:
  ToolWindow window_;
};

}  // namespace

std::unique_ptr<CToolWinDlg> CreateToolWindowPage(ToolWindow window) {
  switch (window) {
    case kShutterWindow: return std::make_unique<CShutterDlg>();
    case kGainWindow: return std::make_unique<CGainDlg>();
    case kCommunicationWindow: return std::make_unique<PlainPage>(window);
    case kAboutWindow: return std::make_unique<CAboutDlg>();
    case kToolWindowCount: break;
  }
  return nullptr;
}

}  // namespace vexq4::control
