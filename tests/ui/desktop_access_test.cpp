// The control's windows for an operator at the keyboard or with a screen
// reader, offscreen against the simulated camera: what the accessibility
// interfaces (which the accessibility bus serves) say and do, the order in
// which Tab visits each window, Enter on buttons and the link, and the
// open windows surviving the application's ordinary way out.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include "control_fixture.h"
#include "event_log.h"
#include "member_browser.h"
#include "studio_window.h"
#include "ui_access.h"
#include "vexq4/control/keyboard.h"
#include "vexq4/control/main_strip.h"
#include "vexq4/control/tool_windows.h"
#include "window_checks.h"

namespace vexq4::testing {
namespace {

namespace studio = vexq4::studio;
using Names = std::vector<std::string>;
using Lines = std::vector<std::string>;

class DesktopAccessTest : public ControlTest {
 protected:
  // The control on its form, online, with tool window `i` shown.
  QWidget* Open(int i) {
    if (!control) {
      MakeOnlineControl();
      control->show();
    }
    control->SetToolWindowVisibleProperty(i, -1);
    Settle();
    return control->FrameWindow(i);
  }
  static QAccessibleInterface* Iface(QWidget* w) {
    return QAccessible::queryAccessibleInterface(w);
  }
  static void Act(QAccessibleInterface* iface, const QString& action) {
    ASSERT_NE(iface->actionInterface(), nullptr);
    ASSERT_TRUE(iface->actionInterface()->actionNames().contains(action))
        << iface->text(QAccessible::Name).toStdString();
    iface->actionInterface()->doAction(action);
  }
  QWidget* Named(QWidget* window, const char* name) {
    QWidget* w = studio::FindWidget(window, QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  bool Sent(const std::string& command) {
    const auto wire = Wire();
    return std::find(wire.begin(), wire.end(), command) != wire.end();
  }

  // What Tab visits, from the first stop (`first`, else the first in
  // reading order): the accessible names (or texts), once round.
  static Names TabStops(QWidget* window, QWidget* first = nullptr) {
    window->activateWindow();
    EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window; }));
    for (QWidget* w : control::ReadingOrder(window))
      if (!first && w->isEnabled() && w->isVisibleTo(window)) first = w;
    if (!first) return {};
    first->setFocus(Qt::TabFocusReason);
    Names stops;
    for (QWidget* at = QApplication::focusWidget(); at;) {
      std::string name = at->accessibleName().toStdString();
      if (name.empty()) name = studio::TextOf(at).toStdString();
      if (!stops.empty() && name == stops.front()) break;  // round again
      stops.push_back(name);
      QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
      QApplication::sendEvent(at, &tab);
      QApplication::processEvents();  // a radio group hands on to its chosen button
      at = QApplication::focusWidget();
      if (stops.size() > 100) break;
    }
    return stops;
  }
  static void Press(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
  }
};

TEST_F(DesktopAccessTest, EveryWindowIsADialogWhosePartsAreNamedOnce) {
  for (int i = 0; i < control::kToolWindowCount; ++i) {
    QWidget* window = Open(i);
    QAccessibleInterface* frame = Iface(window);
    EXPECT_EQ(frame->role(), QAccessible::Dialog);
    EXPECT_EQ(frame->text(QAccessible::Name), control->Frame(i).caption());
    SCOPED_TRACE(control->Frame(i).caption().toStdString());
    ExpectEveryPartNamedOnce(window);
  }
  ExpectEveryPartNamedOnce(control.get());
  const auto strip = AccessibleTree(control.get());
  EXPECT_NE(FindNode(strip, "More buttons", QAccessible::ButtonMenu), nullptr);
}

TEST_F(DesktopAccessTest, StripButtonsPressedThroughTheBusShowAndHideTheirWindows) {
  MakeControl();
  control->show();
  for (int i = 0; i < control::kToolWindowCount; ++i) {
    SCOPED_TRACE(i);
    QAction* action = control->MainStrip()->button(i);
    QAccessibleInterface* button = Iface(control->MainStrip()->toolBar()->widgetForAction(action));
    const char* section = control::InfoOf(static_cast<control::ToolWindow>(i)).section;
    EXPECT_EQ(button->role(), QAccessible::CheckBox);
    Act(button, QAccessibleActionInterface::toggleAction());
    ASSERT_TRUE(WaitFor([&] { return control->FrameWindow(i)->isVisible(); }));
    EXPECT_TRUE(action->isChecked());
    EXPECT_TRUE(button->state().checked);
    EXPECT_EQ(Profile(section, "Is Visible"), "1");
    Act(button, QAccessibleActionInterface::toggleAction());
    ASSERT_TRUE(WaitFor([&] { return !control->FrameWindow(i)->isVisible(); }));
    EXPECT_FALSE(action->isChecked());
    EXPECT_EQ(Profile(section, "Is Visible"), "0");
  }
}

TEST_F(DesktopAccessTest, ChoicesWorkedThroughTheBusReachTheCamera) {
  QWidget* gain = Open(control::kGainWindow);
  Act(Iface(Named(gain, "Knee Select: On")), QAccessibleActionInterface::toggleAction());
  ASSERT_TRUE(WaitFor([&] { return Sent("KN=0"); }));
  EXPECT_EQ(studio::TextOf(Named(gain, "Knee Select: On")), "1");

  // The spin button is a spin button: its value is the box's, set through
  // the bus it goes to the camera; its arrows carry its name.
  QAccessibleInterface* spin = Iface(Named(gain, "Gain Level: Master spin"));
  EXPECT_EQ(spin->role(), QAccessible::SpinBox);
  ASSERT_NE(spin->valueInterface(), nullptr);
  EXPECT_EQ(spin->valueInterface()->minimumValue().toInt(), -132);
  EXPECT_EQ(spin->valueInterface()->maximumValue().toInt(), 429);
  spin->valueInterface()->setCurrentValue(100);
  ASSERT_TRUE(WaitFor([&] { return Sent("GA=100"); }));
  EXPECT_EQ(studio::TextOf(Named(gain, "Gain Level: Master")), "100");
  EXPECT_EQ(spin->valueInterface()->currentValue().toInt(), 100);
  ASSERT_EQ(spin->childCount(), 2);
  EXPECT_EQ(spin->child(0)->text(QAccessible::Name), "Gain Level: Master spin up");
  EXPECT_EQ(spin->child(1)->text(QAccessible::Name), "Gain Level: Master spin down");
  Act(spin->child(0), QAccessibleActionInterface::pressAction());
  ASSERT_TRUE(WaitFor([&] { return Sent("GA=101"); }));

  // Always on top, ticked through the bus, rebuilds the windows on top.
  QWidget* about = Open(control::kAboutWindow);
  Act(Iface(Named(about, "Windows Always on Top")), QAccessibleActionInterface::toggleAction());
  ASSERT_TRUE(WaitFor([&] { return control->Frame(0).alwaysOnTop(); }));
}

TEST_F(DesktopAccessTest, IndicatorsSayWhatTheyShow) {
  QWidget* comm = Open(control::kCommunicationWindow);
  const auto description = [&](const char* name, const char* kind) {
    for (QWidget* w : studio::NamedWidgets(comm))
      if (w->accessibleName() == QLatin1String(name) && studio::KindOf(w) == QLatin1String(kind))
        return Iface(w)->text(QAccessible::Description).toStdString();
    return std::string("<none>");
  };
  EXPECT_EQ(description("Status: online", "label"), "On-line");
  EXPECT_EQ(description("Status: online", "picture"), "online");
  EXPECT_EQ(description("Synchronize: status", "label"), "Not Synchronized");
  EXPECT_EQ(description("Synchronize: status", "picture"), "not synchronized");
  EXPECT_EQ(description("message marker", "picture"), "off");
  QWidget* gain = Open(control::kGainWindow);
  EXPECT_EQ(Iface(Named(gain, "online bar"))->text(QAccessible::Description), "online");

  link->camera().faults().silent = true;  // the camera vanishes
  control->GetIsOnline();
  EXPECT_EQ(description("Status: online", "label"), "Off-line");
  EXPECT_EQ(description("Status: online", "picture"), "offline");
  EXPECT_EQ(Iface(Named(gain, "online bar"))->text(QAccessible::Description), "offline");
}

TEST_F(DesktopAccessTest, LinkIsALinkThatTabReachesAndEnterFollows) {
  QWidget* about = Open(control::kAboutWindow);
  const auto tree = AccessibleTree(about);
  const AccessibleNode* link = nullptr;
  for (const auto& node : tree)
    if (node.role == QAccessible::Link) link = &node;
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(link->iface->state().focusable);
  Act(link->iface, QAccessibleActionInterface::pressAction());
  ASSERT_TRUE(WaitFor([&] { return ui.opened.size() == 1; }));
  EXPECT_EQ(ui.opened[0].toStdString(), link->name);

  const Names stops = TabStops(about);
  EXPECT_NE(std::find(stops.begin(), stops.end(), link->name), stops.end());
  QWidget* label = Named(about, link->name.c_str());
  label->setFocus();
  Press(label, Qt::Key_Return);
  Press(label, Qt::Key_Space);
  EXPECT_EQ(ui.opened.size(), 3u);
}

// Tab runs through each window top to bottom, left to right by group,
// passing over what is disabled (the Shutter window's exposure boxes in
// the shutter speed mode, Store for the factory area, Save User ID while
// the ID is protected). A group of radio buttons is one stop, at its chosen
// button (Qt's own stop is the first one); the arrow keys choose within the
// group, and that choice goes to the camera as a click does.
TEST_F(DesktopAccessTest, TabFollowsEachWindowInReadingOrder) {
  EXPECT_EQ(TabStops(Open(control::kShutterWindow)),
            (Names{"Shutter Mode: Shutter Speed", "Shutter Speed", "Trigger Mode",
                   "Partial Scan Mode", "Binning", "Smearless: Off", "Synch", "RCT FVAL Type: CL",
                   "Trigger Input: CL", "Active L", "10 Bit", "Color Bar: Off"}));
  QWidget* gain = Open(control::kGainWindow);
  EXPECT_EQ(TabStops(gain), (Names{"White Balance",      "Auto White Area",    "One Push",
                                   "One Push Result",    "Gain Level: Master", "Gain Level: Red",
                                   "Gain Level: Blue",   "Black Level: Red",   "Black Level: Green",
                                   "Black Level: Blue",  "Knee Point: Red",    "Knee Point: Green",
                                   "Knee Point: Blue",   "Knee Slope: Red",    "Knee Slope: Green",
                                   "Knee Slope: Blue",   "Knee Select: Off",   "Shading Mode: Off",
                                   "Start Auto Shading", "Save File",          "Load File"}));
  link->camera().ClearLog();
  QWidget* kneeOff = Named(gain, "Knee Select: Off");
  kneeOff->setFocus();
  Press(kneeOff, Qt::Key_Left);
  EXPECT_TRUE(Named(gain, "Knee Select: On")->hasFocus());
  EXPECT_EQ(Wire(), (Lines{"KN=0"}));
  // Up and Down step a box's value; in a list they choose the next entry.
  QWidget* master = Named(gain, "Gain Level: Master");
  master->setFocus();
  Press(master, Qt::Key_Up);
  Press(master, Qt::Key_Down);
  Press(master, Qt::Key_Down);
  QWidget* area = Named(gain, "Auto White Area");
  area->setFocus();
  Press(area, Qt::Key_Down);
  EXPECT_EQ(Wire(), (Lines{"KN=0", "GA=123", "GA=122", "GA=121", "WA=1"}));

  EXPECT_EQ(TabStops(Open(control::kCommunicationWindow)),
            (Names{"CL Manufacturer/COM-ports", "COM-Port", "Auto", "Synchronize Camera",
                   "Synchronize Program", "Write to File...", "Read from File...",
                   "EEPROM Current Area", "Get Area", "Factory and User Settings In Camera", "Load",
                   "Write Camera Data", "Control Tool Messages", "Write To File", "Clear"}));
  EXPECT_EQ(TabStops(Open(control::kAboutWindow)),
            (Names{"https://rx-q4.example.org/", "Windows Always on Top", "Model Name", "Camera ID",
                   "User ID", "Protect User ID", "Select Help File", "Open Help File"}));
  // The strip's buttons are Tab stops of the form they sit on.
  EXPECT_EQ(TabStops(control->window()), (Names{"Shutter", "Gain", "Communication", "About"}));
}

TEST_F(DesktopAccessTest, EnterWorksTheFocusedButtonAsSpaceDoes) {
  QWidget* about = Open(control::kAboutWindow);
  about->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == about; }));
  // No help file in the folder: the button says so.
  QWidget* openHelp = Named(about, "Open Help File");
  openHelp->setFocus();
  Press(openHelp, Qt::Key_Return);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "No file was selected!!");
  QWidget* edit = Named(about, "Edit User ID");
  edit->setFocus();
  Press(edit, Qt::Key_Enter);
  EXPECT_TRUE(Named(about, "Save User ID")->isEnabled());

  // A strip button takes Enter and Space alike.
  QWidget* strip = control->window();
  strip->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == strip; }));
  QWidget* gain = control->MainStrip()->toolBar()->widgetForAction(control->MainStrip()->button(1));
  gain->setFocus();
  Press(gain, Qt::Key_Return);
  EXPECT_TRUE(control->FrameWindow(1)->isVisible());
  Press(gain, Qt::Key_Space);
  EXPECT_FALSE(control->FrameWindow(1)->isVisible());
}

// A window that refuses to close, as a host's window with unsaved work.
class Refusing : public QWidget {
 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

TEST_F(DesktopAccessTest, QuittingKeepsTheOpenWindowsForTheNextStart) {
  Open(control::kGainWindow);
  Open(control::kAboutWindow);
  // Qt closes every window when the application quits; that is not the
  // operator closing the tool windows.
  QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_EQ(Profile("Gain", "Is Visible"), "1");
  EXPECT_EQ(Profile("About", "Is Visible"), "1");
  EXPECT_TRUE(control->MainStrip()->ButtonPressed(control::kGainWindow));

  // When something refuses and the application goes on, they come back.
  Refusing host;
  host.show();
  QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  QTimer::singleShot(50, qApp, [] { QCoreApplication::exit(7); });
  EXPECT_EQ(QApplication::exec(), 7);
  EXPECT_TRUE(control->FrameWindow(control::kGainWindow)->isVisible());
  EXPECT_TRUE(control->FrameWindow(control::kAboutWindow)->isVisible());
  EXPECT_EQ(Profile("Gain", "Is Visible"), "1");

  // The operator's own close still hides and remembers it.
  control->FrameWindow(control::kGainWindow)->close();
  EXPECT_EQ(Profile("Gain", "Is Visible"), "0");
}

// The studio's own window around the control.
class StudioDesktopTest : public DesktopAccessTest {
 protected:
  ScopedEnv registry{"VEXQ4_REGISTRY_DIR", (dir / "registry").string()};

  std::unique_ptr<studio::StudioWindow> MakeStudio() {
    MakeOnlineControl();
    studio::StudioOptions options;
    options.keepLayout = false;
    options.controlSource = QStringLiteral("built-in module");
    auto window = std::make_unique<studio::StudioWindow>(control.release(), options);
    window->show();
    Settle();
    return window;
  }
};

TEST_F(StudioDesktopTest, EveryPartOfTheStudioIsNamedOnce) {
  auto window = MakeStudio();
  ExpectEveryPartNamedOnce(window.get());
  // With a member selected, its form too.
  ASSERT_TRUE(window->memberBrowser()->Select(*control::FindMember("ShutterSpeedStr")));
  Settle();
  ExpectEveryPartNamedOnce(window.get());
  const auto tree = AccessibleTree(window.get());
  EXPECT_NE(FindNode(tree, "Menu bar", QAccessible::MenuBar), nullptr);
  EXPECT_NE(FindNode(tree, "View", QAccessible::PopupMenu), nullptr);
  EXPECT_NE(FindNode(tree, "Event log: vertical scroll bar", QAccessible::ScrollBar), nullptr);
}

TEST_F(StudioDesktopTest, ViewMenuShowsAndHidesEachToolWindowByItsShortcut) {
  auto window = MakeStudio();
  CXVexCamCtrl* c = window->control();
  for (int i = 0; i < control::kToolWindowCount; ++i) {
    QAction* show = window->toolWindowAction(i);
    EXPECT_EQ(show->text(), c->Frame(i).caption());
    EXPECT_EQ(show->shortcut(), QKeySequence(QStringLiteral("Ctrl+%1").arg(i + 1)));
    EXPECT_EQ(show->shortcutContext(), Qt::ApplicationShortcut);  // from a tool window too
    show->trigger();
    EXPECT_TRUE(c->FrameWindow(i)->isVisible());
    EXPECT_TRUE(c->MainStrip()->ButtonPressed(i));
    EXPECT_TRUE(show->isChecked());
    show->trigger();
    EXPECT_FALSE(c->FrameWindow(i)->isVisible());
    EXPECT_FALSE(show->isChecked());
  }
  // The strip's button and the menu agree.
  c->MainStrip()->button(1)->trigger();
  QMenu* view = nullptr;
  for (QMenu* menu : window->findChildren<QMenu*>())
    if (menu->accessibleName() == QLatin1String("View")) view = menu;
  ASSERT_NE(view, nullptr);
  emit view->aboutToShow();
  EXPECT_TRUE(window->toolWindowAction(1)->isChecked());
}

TEST_F(StudioDesktopTest, TabRunsFromTheStripThroughTheLogToTheMembers) {
  auto window = MakeStudio();
  CMainDlg* strip = window->control()->MainStrip();
  const Names stops = TabStops(window.get(), strip->toolBar()->widgetForAction(strip->button(0)));
  ASSERT_GE(stops.size(), 9u);
  EXPECT_EQ(Names(stops.begin(), stops.begin() + 9),
            (Names{"Shutter", "Gain", "Communication", "About", "Clear", "Save", "Event log",
                   "Filter", "Members"}));
  // Enter on a focused button clicks it.
  window->eventLog()->Note(QStringLiteral("something"));
  QWidget* clear = nullptr;
  for (QWidget* w : window->eventLog()->findChildren<QAbstractButton*>())
    if (w->accessibleName() == QLatin1String("Clear")) clear = w;
  ASSERT_NE(clear, nullptr);
  clear->setFocus();
  Press(clear, Qt::Key_Return);
  EXPECT_TRUE(window->eventLog()->entries().empty());
}

}  // namespace
}  // namespace vexq4::testing
