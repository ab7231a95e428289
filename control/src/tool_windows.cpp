// Frames and the page base of the tool windows.
#include "vexq4/control/tool_windows.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMoveEvent>
#include <QVBoxLayout>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/keyboard.h"
#include "vexq4/control/ui_services.h"
#include "vexq4/platform/ini_file.h"

namespace ctl = vexq4::control;
namespace platform = vexq4::platform;

namespace {
std::string Std(const QString& text) { return text.toUtf8().toStdString(); }
}  // namespace

// ---- The page base.
CToolWinDlg::~CToolWinDlg() { DestroyWindow(); }

bool CToolWinDlg::Create(QWidget* parent, int dialogId) {
  DestroyWindow();
  dialogId_ = dialogId;
  window_ = new QWidget(parent);
  window_->setObjectName(section_);
  BuildWindow(window_);
  // Tab follows the layout: top to bottom, left to right by group.
  ctl::SetTabOrderFromLayout(window_);
  OnInitDialog();
  return true;
}

void CToolWinDlg::DestroyWindow() {
  if (!window_) return;
  OnDestroyWindow();
  initialised_ = false;
  window_->hide();
  window_->deleteLater();
  window_ = nullptr;
}

void CToolWinDlg::OnInitDialog() {
  // Read as text and taken like atoi: a value that is not a number is 0.
  auto number = [&](std::string_view key, std::string_view fallback) {
    const std::string text = Std(ProfileString(key, fallback)).substr(0, 99);
    return platform::LeadingNumber(text).value_or(0);
  };
  topLeftX_ = number("TopLeftX", "100");
  topLeftY_ = number("TopLeftY", "100");
  visible_ = number("Is Visible", "0") != 0;
  // A position saved beyond the screen's edges is not used: the frame
  // would open where the operator cannot reach it.
  const QSize screen = ctl::Ui().ScreenSize();
  if (topLeftX_ < 0 || topLeftX_ > screen.width() - 5) topLeftX_ = 100;
  if (topLeftY_ < 0 || topLeftY_ > screen.height() - 5) topLeftY_ = 100;
  initialised_ = true;
}

void CToolWinDlg::SavePosition(int x, int y) {
  if (!initialised_) return;
  if (x == topLeftX_ && y == topLeftY_) return;  // nothing moved
  topLeftX_ = x;
  topLeftY_ = y;
  WriteProfile("TopLeftX", x);
  WriteProfile("TopLeftY", y);
}

QString CToolWinDlg::ProfileString(std::string_view key, std::string_view defaultValue) const {
  return QString::fromStdString(platform::GetModuleProfileString(Std(section_), key, defaultValue));
}

int CToolWinDlg::ProfileInt(std::string_view key, int defaultValue) const {
  return platform::GetModuleProfileInt(Std(section_), key, defaultValue);
}

void CToolWinDlg::WriteProfile(std::string_view key, const QString& value) const {
  platform::WriteModuleProfileString(Std(section_), key, Std(value));
}

void CToolWinDlg::WriteProfile(std::string_view key, int value) const {
  platform::WriteModuleProfileString(Std(section_), key, std::to_string(value));
}

void CToolWinDlg::Act(const std::function<void()>& action) {
  try {
    action();
  } catch (const ctl::AutomationError& error) {
    ctl::ShowMessage(window_, error.description());
  }
}

void CToolWinDlg::InitStep(const std::function<void()>& step) { Act(step); }

// ---- The frame's window.
namespace vexq4::control {

// A screen reader hears it as a dialog (accessibility.cpp, by this class).
class FrameWindow : public QWidget {
  Q_OBJECT

 public:
  FrameWindow(CDlg1* frame, bool alwaysOnTop) : frame_(frame) {
    Qt::WindowFlags flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                            Qt::WindowMinimizeButtonHint;
    if (alwaysOnTop) flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    // The application quitting closes every window: this one goes with it,
    // and stays open in the profile and on its button.
    CToolWinDlg* page = frame_->page_;
    if (page && page->control() && page->control()->applicationQuitting()) {
      event->accept();
      return;
    }
    // The frame only hides: the page asks the control, which keeps the
    // toolbar button and the profile in step.
    event->ignore();
    if (page) page->HideRequest();
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      CToolWinDlg* page = frame_->page_;
      if (page) page->HideRequest();
      event->accept();
      // The keyboard goes back to the window the control sits on.
      if (page && page->control()) {
        QWidget* home = page->control()->window();
        if (home && home != this && home->isVisible()) home->activateWindow();
      }
      return;
    }
    QWidget::keyPressEvent(event);
  }
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    frame_->OnMoved(pos());
  }

 private:
  CDlg1* frame_;
};

}  // namespace vexq4::control

#include "tool_windows.moc"

CDlg1::~CDlg1() {
  if (page_) page_->DestroyWindow();
  delete window_.data();
}

bool CDlg1::CreateToolWindowFrame(CToolWinDlg* page, CXVexCamCtrl* control, int dialogId,
                                  const QString& caption, bool alwaysOnTop) {
  alwaysOnTop_ = alwaysOnTop;
  page_ = page;
  dialogId_ = dialogId;
  caption_ = caption;
  page->SetControl(control);
  page->SetFrame(this);
  window_ = new ctl::FrameWindow(this, alwaysOnTop);
  window_->setWindowTitle(caption);
  window_->setAccessibleName(caption);
  PlaceToolWindow();
  return true;
}

void CDlg1::PlaceToolWindow() {
  auto* layout = new QVBoxLayout(window_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // the frame fits its page
  page_->Create(window_, dialogId_);
  layout->addWidget(page_->window());
  // The frame appears where the operator left it.
  placing_ = true;
  window_->move(page_->savedTopLeft());
  placing_ = false;
}

void CDlg1::DestroyWindow() {
  if (page_) page_->DestroyWindow();
  if (window_) {
    window_->hide();
    // Later: the rebuild may have been asked for by a click inside it.
    window_->deleteLater();
    window_ = nullptr;
  }
}

QWidget* CDlg1::window() const { return window_.data(); }

void CDlg1::Show(bool show) {
  if (!window_) return;
  window_->setVisible(show);
  if (show) window_->raise();
}

void CDlg1::OnMoved(QPoint topLeft) {
  if (placing_ || !page_ || !window_) return;
  page_->SavePosition(topLeft.x(), topLeft.y());
}
