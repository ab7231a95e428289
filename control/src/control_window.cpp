// The control's window side: construction of the tool windows, the strip
// that appears when the host gives the control its place, the saved
// visibility of the tool windows, and the placeholder drawn without a strip.
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <array>

#include "accessibility.h"
#include "module_state.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/keyboard.h"
#include "vexq4/control/main_strip.h"
#include "vexq4/control/progress.h"
#include "vexq4/control/tool_windows.h"
#include "vexq4/control/ui_services.h"
#include "vexq4/platform/ini_file.h"

namespace ctl = vexq4::control;

// The icons live in the library's resources; a static link of the library
// would drop them unless something refers to them.
static void InitControlResources() { Q_INIT_RESOURCE(control); }

namespace vexq4::control {

const ToolWindowInfo& InfoOf(ToolWindow window) {
  static constexpr std::array<ToolWindowInfo, 4> kWindows = {{
      {"Shutter and Sync Signals", 134, "Shutter", "ShowShutterWnd"},
      {"Gain and Setup Levels", 131, "Gain", "ShowGainWnd"},
      {"Communication", 145, "Communication", "ShowCommunicationWnd"},
      {"About", 100, "About", "ShowAboutWnd"},
  }};
  return kWindows[static_cast<std::size_t>(window)];
}

// One per control instance: installed on the application while the
// control's window exists. Qt gives the tool windows keyboard navigation
// and tooltips itself; what stays ours is F1 over any of the control's
// windows, which opens the operator's guide, Enter on a focused button,
// which clicks it as Space does, and noticing that the application quits.
class MessageHook : public QObject {
 public:
  explicit MessageHook(CXVexCamCtrl* control) : control_(control) {
    qApp->installEventFilter(this);
  }
  ~MessageHook() override { qApp->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Quit && watched == qApp) {
      control_->OnApplicationQuit();
      return false;
    }
    if (event->type() == QEvent::FocusIn) {
      if (auto* widget = qobject_cast<QWidget*>(watched); widget && Belongs(widget))
        FocusChosenRadioOnTab(widget, event);
      return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !Belongs(widget)) return false;
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
      OpenHelp();
      return true;
    }
    return ClickFocusedButtonOnEnter(widget, event);
  }

 private:
  bool Belongs(QWidget* widget) const {
    if (widget == control_ || control_->isAncestorOf(widget)) return true;
    for (int i = 0; i < kToolWindowCount; ++i)
      if (control_->FrameWindow(i) == widget->window()) return true;
    return false;
  }
  CXVexCamCtrl* control_;
};

}  // namespace vexq4::control

CXVexCamCtrl::CXVexCamCtrl(QWidget* parent) : QWidget(parent) {
  static const bool resources = (InitControlResources(), true);
  (void)resources;
  ctl::ModuleObjectCreated();
  ctl::InstallAccessibility();
  setObjectName(QStringLiteral("XVexQ4"));
  setAccessibleName(QStringLiteral("RX-Q4 camera control"));
  resize(sizeHint());
  for (int i = 0; i < ctl::kToolWindowCount; ++i) {
    frames_[static_cast<std::size_t>(i)] = std::make_unique<CDlg1>();
    pages_[static_cast<std::size_t>(i)] =
        ctl::CreateToolWindowPage(static_cast<ctl::ToolWindow>(i));
  }
  // The windows initialise now, each pushing and showing its settings: one
  // profile save for all of them.
  const vexq4::platform::ModuleProfileBatch batch;
  CreateToolWindowFrames(false);
}

CXVexCamCtrl::~CXVexCamCtrl() {
  hook_.reset();
  // Windows first: they must not hear the model closing the connection.
  for (auto& frame : frames_) frame.reset();
  for (auto& page : pages_) page.reset();
  ctl::ModuleObjectDestroyed();
}

void CXVexCamCtrl::CreateToolWindowFrames(bool alwaysOnTop) {
  for (int i = 0; i < ctl::kToolWindowCount; ++i) {
    const auto& info = ctl::InfoOf(static_cast<ctl::ToolWindow>(i));
    frames_[static_cast<std::size_t>(i)]->CreateToolWindowFrame(
        pages_[static_cast<std::size_t>(i)].get(), this, info.dialogId,
        QString::fromLatin1(info.caption), alwaysOnTop);
  }
}

QWidget* CXVexCamCtrl::FrameWindow(int index) {
  return frames_[static_cast<std::size_t>(index)]->window();
}

bool CXVexCamCtrl::event(QEvent* event) {
  if (event->type() == QEvent::Show && !created_) OnCreate();
  return QWidget::event(event);
}

void CXVexCamCtrl::OnCreate() {
  created_ = true;
  strip_ = new CMainDlg(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(strip_, 0, Qt::AlignTop);
  for (int i = 0; i < ctl::kToolWindowCount; ++i)
    strip_->SetButtonPressed(i, visible_[static_cast<std::size_t>(i)] != 0);
  hook_ = std::make_unique<ctl::MessageHook>(this);
  if (!toolWindowsShown_) ApplySavedVisibility();
}

void CXVexCamCtrl::OnApplicationQuit() {
  quitting_ = true;
  // Runs only if the application goes on (something refused to close):
  // the windows that were open come back.
  QTimer::singleShot(0, this, [this] {
    quitting_ = false;
    if (!toolWindowsShown_) return;
    for (int i = 0; i < ctl::kToolWindowCount; ++i)
      if (visible_[static_cast<std::size_t>(i)] != 0)
        frames_[static_cast<std::size_t>(i)]->Show(true);
  });
}

void CXVexCamCtrl::ApplySavedVisibility() {
  toolWindowsShown_ = true;
  for (int i = 0; i < ctl::kToolWindowCount; ++i)
    SetToolWindowVisible(i, visible_[static_cast<std::size_t>(i)]);
}

void CXVexCamCtrl::paintEvent(QPaintEvent*) {
  if (!toolWindowsShown_) ApplySavedVisibility();
  if (strip_) return;  // the strip covers the control through the layout
  QPainter painter(this);
  PaintPlaceholder(painter, rect());
}

void CXVexCamCtrl::PaintPlaceholder(QPainter& painter, const QRect& bounds) {
  painter.fillRect(bounds, Qt::white);
  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(bounds.adjusted(0, 0, -1, -1));
  const int right = bounds.left() + bounds.width();
  const int bottom = bounds.top() + bounds.height();
  const int cx = bounds.left() + (right - bounds.left()) / 2;
  const int cy = bounds.top() + (bottom - bounds.top()) / 2;
  const QRect box(QPoint(cx - 120, cy - 20), QPoint(cx + 120 - 1, cy + 20 - 1));
  painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                   QStringLiteral("Design Time of XVexCam-Control"));
}

void CXVexCamCtrl::SetToolWindowVisible(int index, Bool show) {
  const auto i = static_cast<std::size_t>(index);
  visible_[i] = show;
  if (toolWindowsShown_) {
    frames_[i]->Show(show != 0);
    if (strip_) strip_->SetButtonPressed(index, (show & 0xFFFF) != 0);
    pages_[i]->SetVisibleField(show != 0);
  }
  SetModifiedFlag();
}

void CXVexCamCtrl::SetToolWindowVisibleProperty(int index, Bool show) {
  SetToolWindowVisible(index, show);
  const auto& info = ctl::InfoOf(static_cast<ctl::ToolWindow>(index));
  vexq4::platform::WriteModuleProfileString(info.section, "Is Visible", show != 0 ? "1" : "0");
}

void CXVexCamCtrl::OnToolbarCommand(int command) {
  for (int i = 0; i < ctl::kToolWindowCount; ++i) {
    if (kToolbarCommands[static_cast<std::size_t>(i)] == command) {
      SetToolWindowVisibleProperty(i, visible_[static_cast<std::size_t>(i)] == 0 ? 1 : 0);
      return;
    }
  }
}

short CXVexCamCtrl::SetWindowPosTopBottom(Long AlwaysOnTop) {
  // The rebuilt windows push and show every setting: one profile save.
  const vexq4::platform::ModuleProfileBatch batch;
  const int wasSynchronized = IsSynchronized();
  CloseConnection();
  for (int i = 0; i < ctl::kToolWindowCount; ++i) {
    CDlg1& frame = *frames_[static_cast<std::size_t>(i)];
    if (!frame.window()) continue;
    SetToolWindowVisibleProperty(i, 0);
    frame.DestroyWindow();
  }
  CreateToolWindowFrames(AlwaysOnTop != 0);
  SynchronizedStatusChanged(wasSynchronized);
  return 0;
}
