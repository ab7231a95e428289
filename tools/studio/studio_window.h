// The studio's desktop window: the control's strip in the middle, the event
// log and the member browser in docks, and menus for what a container
// offers around a control (its property page, registration, always on top,
// the operator's guide). The title names the connection.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>

#include "vexq4/control/XVexCamCtrl.h"

class QAction;
class QDockWidget;
class QLabel;

namespace vexq4::studio {

class CompareWindow;
class EventLog;
class MemberBrowser;

struct StudioOptions {
  // The simulated camera's device (--sim), empty without one.
  QString simDevice;
  // Where the control came from (CreateControl's `source`).
  QString controlSource;
  // Read and write the window's layout and the fast-reads choice in the
  // studio's settings file (without it, reads are fast).
  bool keepLayout = true;
};

class StudioWindow final : public QMainWindow, public vexq4::control::EventSink {
  Q_OBJECT

 public:
  // Takes `control` (made through the class factory) as its own.
  StudioWindow(CXVexCamCtrl* control, StudioOptions options);
  ~StudioWindow() override;
  StudioWindow(const StudioWindow&) = delete;
  StudioWindow& operator=(const StudioWindow&) = delete;

  CXVexCamCtrl* control() const { return control_; }
  EventLog* eventLog() const { return log_; }
  MemberBrowser* memberBrowser() const { return browser_; }
  QDockWidget* logDock() const { return logDock_; }
  QDockWidget* memberDock() const { return memberDock_; }
  QAction* alwaysOnTopAction() const { return alwaysOnTop_; }
  // View > the tool window of `index` (Ctrl+1 to Ctrl+4).
  QAction* toolWindowAction(int index) const {
    return toolWindowActions_[static_cast<std::size_t>(index)];
  }
  QAction* fastReadsAction() const { return fastReads_; }
  // File > Compare with Settings File...: the window (made on first use),
  // then a settings file to compare the camera with.
  CompareWindow* compareWindow();
  void CompareWithSettingsFile();
  // What the status bar says about reads: "Fast reads (15 ms)", ...
  QString ReadsText() const;

  // "vexq4-studio - COM1 (simulated camera) - online".
  QString TitleText() const;
  // The studio's own settings file (window and docks), in the profile's
  // folder beside XVexQ4.ini but never in it.
  static QString SettingsPath();

  // The operator's guide, found by the control as its F1 key finds it;
  // false (and a message box) when there is none.
  bool OpenOperatorGuide();
  void ShowProperties();
  void SetAlwaysOnTop(bool onTop);
  // On (the default): queries wait 15 ms of silence, or what
  // VEXQ4_QUERY_DRAIN_MS says. Off: the standard wait, a whole empty read
  // (a read of all settings over a Camera Link grabber: 44 s instead of
  // 1 s). Kept in the studio's settings file.
  void SetFastReads(bool on);
  // DllRegisterServer / DllUnregisterServer, with a message box saying how
  // it went; the result code.
  std::int32_t Register();
  std::int32_t Unregister();

  // ---- EventSink: the connection's events retitle the window.
  void OnEvent(const vexq4::control::MemberInfo& event) override;

 signals:
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  // The fast-reads choice of the settings file, on when it has none; a
  // line that is no yes/no is refused (fast reads stay on) and said in the
  // log and a message box.
  bool StoredFastReads();
  // Notes `text` in the event log once the window is up.
  void NoteWhenShown(const QString& text);
  void NameParts();
  void ToggleToolWindow(int index);
  void UpdateToolWindowActions();
  void RestoreLayout();
  void SaveLayout();
  void UpdateTitle();
  void AboutStudio();

  QPointer<CXVexCamCtrl> control_;
  StudioOptions options_;
  EventLog* log_ = nullptr;
  MemberBrowser* browser_ = nullptr;
  QDockWidget* logDock_ = nullptr;
  QDockWidget* memberDock_ = nullptr;
  QAction* alwaysOnTop_ = nullptr;
  QAction* guide_ = nullptr;
  std::array<QAction*, 4> toolWindowActions_{};
  QAction* fastReads_ = nullptr;
  QLabel* connection_ = nullptr;
  QLabel* reads_ = nullptr;
  QPointer<CompareWindow> compare_;
  CVexCamInterface::HostReads hostReads_;  // what SetFastReads chose
  bool tabOrderSet_ = false;
};

}  // namespace vexq4::studio
