// The tool windows' frames and the base of their pages.
//
// Each tool window is a captioned top-level frame (CDlg1) around one page
// (a CToolWinDlg). Like dialog objects, the frame and page objects live as
// long as the control, while their windows are created at the control's
// construction and again whenever the tool windows are rebuilt (always on
// top or not): a page keeps its fields across a rebuild, and each creation
// runs its initialisation again.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string_view>

#include "vexq4/control/automation.h"
#include "vexq4/control/changes.h"

class CXVexCamCtrl;
class CDlg1;

namespace vexq4::control {
class FrameWindow;
}

class VEXQ4_CONTROL_API CToolWinDlg : public QObject {
  Q_OBJECT

 public:
  CToolWinDlg() = default;
  ~CToolWinDlg() override;

  // Creates the page's window as a child of `parent` (the frame) and runs
  // its initialisation. False when the page cannot be built.
  bool Create(QWidget* parent, int dialogId);
  // Destroys the page's window; the page's fields stay.
  void DestroyWindow();
  QWidget* window() const { return window_; }
  int dialogId() const { return dialogId_; }

  // The frame asks the page to hide (its close button, Esc).
  virtual void HideRequest() {}
  // The control reports a changed value the page shows (only while the
  // page's window exists): OnRefresh with refreshing() true. A refresh only
  // shows the value and keeps it in the profile; it sends nothing back.
  void Refresh(vexq4::control::Change change, int number, const QString& text);
  // While a refresh runs, a widget that changes shows the model's value: it
  // is not the operator's action and must not set a property.
  bool refreshing() const { return refreshing_ > 0; }
  // A message line of the model (the Communication window shows them).
  virtual void AppendMessage(const QString& /*line*/) {}

  // Saves the frame's top-left in the page's section, once initialised.
  void SavePosition(int x, int y);

  void SetControl(CXVexCamCtrl* control) { control_ = control; }
  void SetFrame(CDlg1* frame) { frame_ = frame; }
  CXVexCamCtrl* control() const { return control_; }
  CDlg1* frame() const { return frame_; }
  const QString& section() const { return section_; }
  bool initialised() const { return initialised_; }
  QPoint savedTopLeft() const { return {topLeftX_, topLeftY_}; }
  bool visibleField() const { return visible_; }
  void SetVisibleField(bool visible) { visible_ = visible; }

  // The page's profile keys (the module's profile, this page's section).
  QString ProfileString(std::string_view key, std::string_view defaultValue) const;
  int ProfileInt(std::string_view key, int defaultValue) const;
  void WriteProfile(std::string_view key, const QString& value) const;
  void WriteProfile(std::string_view key, int value) const;
  // Writes a file the operator chose through a temporary file beside it: a
  // full disk or a stop keeps an old file whole, and a FIFO or device of
  // that name is never written into. False when it could not be written.
  static bool SaveWholeFile(const QString& path, const QByteArray& bytes);
  // A key of another section of the module's profile.
  static int ProfileIntIn(std::string_view section, std::string_view key, int defaultValue);
  static void WriteProfileIn(std::string_view section, std::string_view key, int value);

 protected:
  // Builds the page's widgets and layout into `page`.
  virtual void BuildWindow(QWidget* page) = 0;
  // The page's initialisation. Pages run the base's first: it reads the
  // saved position and visibility.
  virtual void OnInitDialog();
  // Called before the window goes, so a page can drop pointers into it.
  virtual void OnDestroyWindow() {}
  // Shows a changed value (Refresh).
  virtual void OnRefresh(vexq4::control::Change /*change*/, int /*number*/,
                         const QString& /*text*/) {}

  // Runs an operator's action: an automation error that the action does
  // not catch reaches the operator as a message box with its text.
  void Act(const std::function<void()>& action);
  // Runs one step of an initialisation: a rejected set is shown once and
  // the initialisation goes on with its next step.
  void InitStep(const std::function<void()>& step);

  void SetSection(QString section) { section_ = std::move(section); }

 private:
  CXVexCamCtrl* control_ = nullptr;
  CDlg1* frame_ = nullptr;
  QPointer<QWidget> window_;
  int dialogId_ = 0;
  QString section_ = QStringLiteral("Not Defined!");
  bool initialised_ = false;
  int topLeftX_ = 100;
  int topLeftY_ = 100;
  bool visible_ = false;
  int refreshing_ = 0;  // nested refreshes (a refresh may ask the camera)
};

// The captioned top-level frame of one tool window.
class VEXQ4_CONTROL_API CDlg1 {
 public:
  CDlg1() = default;
  ~CDlg1();
  CDlg1(const CDlg1&) = delete;
  CDlg1& operator=(const CDlg1&) = delete;

  bool CreateToolWindowFrame(CToolWinDlg* page, CXVexCamCtrl* control, int dialogId,
                             const QString& caption, bool alwaysOnTop);
  void DestroyWindow();
  // The frame's window, or nullptr while it does not exist.
  QWidget* window() const;
  const QString& caption() const { return caption_; }
  bool alwaysOnTop() const { return alwaysOnTop_; }
  CToolWinDlg* page() const { return page_; }

  // Shows or hides the frame (first showing places it at the page's saved
  // top-left).
  void Show(bool show);

 private:
  friend class vexq4::control::FrameWindow;
  void PlaceToolWindow();
  void OnMoved(QPoint topLeft);

  CToolWinDlg* page_ = nullptr;
  int dialogId_ = 0;
  QString caption_ = QStringLiteral("???");
  bool alwaysOnTop_ = false;
  bool placing_ = false;
  QPointer<vexq4::control::FrameWindow> window_;
};

namespace vexq4::control {

// The four pages, built by the tool windows' library part.
VEXQ4_CONTROL_API std::unique_ptr<CToolWinDlg> CreateToolWindowPage(ToolWindow window);

// The frames' captions and dialog identifiers by tool window index.
struct ToolWindowInfo {
  const char* caption;
  int dialogId;
  const char* section;
  const char* visibilityProperty;
};
VEXQ4_CONTROL_API const ToolWindowInfo& InfoOf(ToolWindow window);

}  // namespace vexq4::control
