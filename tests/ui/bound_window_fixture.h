// What the tests of the Gain and Shutter windows share: the control against
// the simulated camera, with the window's widgets found and worked by the
// names a script or a screen reader uses.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "control_fixture.h"
#include "ui_access.h"
#include "vexq4/control/tool_windows.h"

namespace vexq4::testing {

using Lines = std::vector<std::string>;

class BoundWindowTest : public ControlTest {
 protected:
  explicit BoundWindowTest(control::ToolWindow window) : window_(window) {}

  QWidget* Window() { return control->FrameWindow(window_); }
  QWidget* Widget(const char* name) {
    QWidget* w = studio::FindWidget(Window(), QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  std::string Text(const char* name) { return studio::TextOf(Widget(name)).toStdString(); }
  bool Enabled(const char* name) { return Widget(name)->isEnabled(); }
  bool Shown(const char* name) { return studio::IsShownIn(Widget(name), Window()); }
  void Click(const char* name) {
    EXPECT_EQ(studio::Click(Window(), QString::fromUtf8(name)), std::nullopt) << name;
  }
  void Select(const char* name, const char* entry) {
    EXPECT_EQ(studio::Select(Window(), QString::fromUtf8(name), QString::fromUtf8(entry)),
              std::nullopt)
        << name;
  }
  void Type(const char* name, const char* text) {
    EXPECT_EQ(studio::SetText(Window(), QString::fromUtf8(name), QString::fromUtf8(text)),
              std::nullopt)
        << name;
  }
  // Builds the window again while the camera stays connected (a rebuild of
  // all tool windows would close the connection first).
  void Recreate() {
    CDlg1& frame = control->Frame(window_);
    frame.DestroyWindow();
    Settle();
    const control::ToolWindowInfo& info = control::InfoOf(window_);
    frame.CreateToolWindowFrame(&control->Page(window_), control.get(), info.dialogId,
                                QString::fromLatin1(info.caption), false);
  }
  std::string Key(const char* key) { return Profile(control::InfoOf(window_).section, key); }
  // The commands the camera received (queries and probes left out).
  Lines Commands() {
    Lines out;
    for (const std::string& line : Wire())
      if (line.find('?') == std::string::npos) out.push_back(line);
    return out;
  }

 private:
  control::ToolWindow window_;
};

}  // namespace vexq4::testing
