// The four tool windows' pages.
#include "about_dlg.h"
#include "comm_dlg.h"
#include "gain_dlg.h"
#include "shutter_dlg.h"
#include "vexq4/control/tool_windows.h"

namespace vexq4::control {

std::unique_ptr<CToolWinDlg> CreateToolWindowPage(ToolWindow window) {
  switch (window) {
    case kShutterWindow:
      return std::make_unique<CShutterDlg>();
    case kGainWindow:
      return std::make_unique<CGainDlg>();
    case kCommunicationWindow:
      return std::make_unique<CCommDlg>();
    case kAboutWindow:
      return std::make_unique<CAboutDlg>();
    case kToolWindowCount:
      break;
  }
  return nullptr;
}

}  // namespace vexq4::control
