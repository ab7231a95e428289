// The About window offscreen against the simulated camera: the camera's
// identity off-line and on-line, the user ID's protection and saving, the
// help list, the always-on-top choice across its own rebuild, and the
// window as drawn.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <filesystem>
#include <fstream>

#include "about_dlg.h"
#include "control_fixture.h"
#include "ui_access.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/tool_windows.h"

namespace vexq4::testing {
namespace {

namespace fs = std::filesystem;
namespace studio = vexq4::studio;
using control::kAboutWindow;

// Runs the test in `dir` (the About window lists the PDF files of the
// current folder).
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const fs::path& dir) : old_(fs::current_path()) {
    fs::current_path(dir);
  }
  ~ScopedCurrentDir() { fs::current_path(old_); }
  ScopedCurrentDir(const ScopedCurrentDir&) = delete;
  ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

 private:
  fs::path old_;
};

class AboutTest : public ControlTest {
 protected:
  TestDir work{"vexq4-about"};
  ScopedCurrentDir cwd{work.path()};

  // The Communication window finds no camera on its stored port (COM3).
  CXVexCamCtrl& MakeOfflineControl() {
    SetProfile("Communication", "ComPort", "3");
    return MakeControl();
  }
  CAboutDlg& Page() { return static_cast<CAboutDlg&>(control->Page(kAboutWindow)); }
  QWidget* Window() { return control->FrameWindow(kAboutWindow); }
  QWidget* Find(const char* name) {
    QWidget* w = studio::FindWidget(Window(), QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString Text(const char* name) { return studio::TextOf(Find(name)); }
  QLineEdit* Box(const char* name) { return qobject_cast<QLineEdit*>(Find(name)); }
  void Click(const char* name) {
    ASSERT_EQ(studio::Click(Window(), QString::fromUtf8(name)), std::nullopt) << name;
  }
  void Type(const char* name, const QString& text) {
    ASSERT_EQ(studio::SetText(Window(), QString::fromUtf8(name), text), std::nullopt) << name;
  }
  // Builds the About window again as the control does, leaving the
  // connection as it is (a rebuild of all windows would close it).
  void ReopenWindow() {
    CDlg1& frame = control->Frame(kAboutWindow);
    frame.DestroyWindow();
    Settle();
    frame.CreateToolWindowFrame(&Page(), control.get(), 100, QStringLiteral("About"), false);
  }
  void Touch(const char* name) { std::ofstream(work / name) << "%PDF-1.4\n"; }
  std::vector<std::string> Entries() {
    std::vector<QString> entries;
    EXPECT_EQ(studio::Entries(Window(), QStringLiteral("Select Help File"), entries), std::nullopt);
    std::vector<std::string> out;
    for (const QString& e : entries) out.push_back(e.toStdString());
    return out;
  }
  bool WireHasUserIdSet() {
    for (const auto& line : Wire())
      if (line.rfind("UD=", 0) == 0) return true;
    return false;
  }
};

TEST_F(AboutTest, FixedTextsAndTheOneTooltip) {
  MakeOfflineControl();
  EXPECT_EQ(Text("RX-Q4CL Control Tool"), "RX-Q4CL Control Tool");
  EXPECT_EQ(Text("For 64bit Linux"), "For 64bit Linux");
  EXPECT_EQ(Text("Version 1.7"), "Version 1.7");
  int tips = 0;
  for (QWidget* w : studio::NamedWidgets(Window())) {
    if (w->toolTip().isEmpty()) continue;
    ++tips;
    EXPECT_EQ(w->accessibleName(), "Open Help File");
    EXPECT_EQ(w->toolTip(), "Online help and documentation");
  }
  EXPECT_EQ(tips, 1);
  EXPECT_EQ(Text("online bar"), "offline");
}

TEST_F(AboutTest, OffLineTheCameraBoxesWaitForTheModelAndSurviveARebuild) {
  MakeOfflineControl();
  EXPECT_EQ(Text("Camera ID"), "");
  EXPECT_EQ(Text("Model Name"), "");
  EXPECT_EQ(Text("User ID"), "");

  link->camera().identity().userId = "Line 3";
  control->SetComPort(1);
  EXPECT_EQ(Text("online bar"), "online");
  QString text;
  control->GetCameraID(&text);
  control->GetModelName(&text);
  control->GetUserID();
  EXPECT_EQ(Text("Camera ID"), sim::kDefaultCameraId);
  EXPECT_EQ(Text("Model Name"), sim::kDefaultModelName);
  EXPECT_EQ(Text("User ID"), "Line 3");
  EXPECT_EQ(Profile("About", "Camera ID"), sim::kDefaultCameraId);
  EXPECT_EQ(Profile("About", "Model Name"), sim::kDefaultModelName);
  EXPECT_EQ(Profile("About", "User ID"), "Line 3");

  // The rebuild closes the connection, and the camera does not answer the
  // Communication window's probe: the window shows what it kept.
  link->camera().faults().silent = true;
  control->SetWindowPosTopBottom(0);
  Settle();
  EXPECT_EQ(Text("online bar"), "offline");
  EXPECT_EQ(Text("Camera ID"), sim::kDefaultCameraId);
  EXPECT_EQ(Text("Model Name"), sim::kDefaultModelName);
  EXPECT_EQ(Text("User ID"), "Line 3");
}

TEST_F(AboutTest, OnLineTheWindowReadsTheCamerasIdentity) {
  // The Communication window, built first, finds the camera on COM1.
  link->camera().identity().userId = "Cell 7";
  MakeControl();
  EXPECT_EQ(Text("online bar"), "online");
  EXPECT_EQ(Text("Camera ID"), sim::kDefaultCameraId);
  EXPECT_EQ(Text("Model Name"), sim::kDefaultModelName);
  EXPECT_EQ(Text("User ID"), "Cell 7");
  EXPECT_EQ(Profile("About", "Camera ID"), sim::kDefaultCameraId);
  EXPECT_EQ(Profile("About", "Model Name"), sim::kDefaultModelName);
  EXPECT_EQ(Profile("About", "User ID"), "Cell 7");
  const auto wire = Wire();
  for (const char* query : {"ID?", "MD?", "UD?"})
    EXPECT_NE(std::find(wire.begin(), wire.end(), query), wire.end()) << query;
  EXPECT_TRUE(Box("Camera ID")->isReadOnly());
  EXPECT_TRUE(Box("Model Name")->isReadOnly());
  EXPECT_EQ(Box("Camera ID")->alignment(), Qt::AlignCenter);
}

TEST_F(AboutTest, ProtectAndEditModesAndProtectAgainAfterEachCreation) {
  MakeOfflineControl();
  EXPECT_EQ(Page().protectIndex(), 0);
  EXPECT_TRUE(Box("User ID")->isReadOnly());
  EXPECT_FALSE(Find("Save User ID")->isEnabled());
  EXPECT_EQ(Text("Protect User ID"), "1");

  Click("Edit User ID");
  EXPECT_FALSE(Box("User ID")->isReadOnly());
  EXPECT_TRUE(Find("Save User ID")->isEnabled());
  EXPECT_EQ(Text("Edit User ID"), "1");
  EXPECT_EQ(Text("Protect User ID"), "0");
  Click("Protect User ID");
  EXPECT_TRUE(Box("User ID")->isReadOnly());
  EXPECT_FALSE(Find("Save User ID")->isEnabled());

  Click("Edit User ID");
  Type("User ID", QStringLiteral("typed, not saved"));
  control->SetWindowPosTopBottom(0);
  Settle();
  EXPECT_TRUE(Box("User ID")->isReadOnly());
  EXPECT_FALSE(Find("Save User ID")->isEnabled());
  // What the operator typed is still there to be saved.
  EXPECT_EQ(Text("User ID"), "typed, not saved");
}

TEST_F(AboutTest, TheUserIdBoxTakesSixteenCharacters) {
  MakeControl();
  Click("Edit User ID");
  Type("User ID", QStringLiteral("0123456789abcdefXYZ"));
  EXPECT_EQ(Text("User ID"), "0123456789abcdef");
}

TEST_F(AboutTest, AnEmptyOrBlankUserIdIsRefused) {
  MakeOnlineControl();
  Click("Edit User ID");
  for (const QString& text : {QString(), QStringLiteral("   ")}) {
    ui.boxes.clear();
    Type("User ID", text);
    Click("Save User ID");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "A valid User ID must contain some characters !!");
    EXPECT_EQ(ui.boxes[0].caption, "XVexQ4");
    EXPECT_EQ(ui.boxes[0].buttons, control::UiServices::Buttons::kOk);
  }
  EXPECT_FALSE(WireHasUserIdSet());
}

TEST_F(AboutTest, SavingSendsTheUserIdWithoutItsLeadingBlanks) {
  MakeOnlineControl();
  Click("Edit User ID");
  Type("User ID", QStringLiteral("   Line 3 left  "));
  Click("Save User ID");
  EXPECT_TRUE(ui.boxes.empty());
  const auto wire = Wire();
  EXPECT_NE(std::find(wire.begin(), wire.end(), "UD=Line 3 left  "), wire.end());
  EXPECT_EQ(link->camera().identity().userId, "Line 3 left  ");
  EXPECT_EQ(Text("User ID"), "Line 3 left  ");
  EXPECT_EQ(Profile("About", "User ID"), "Line 3 left");  // profile values are trimmed
  EXPECT_EQ(sink.Count("UserIDChanged"), 1);
}

TEST_F(AboutTest, SavingOffLineDoesNothingVisible) {
  MakeOfflineControl();
  Click("Edit User ID");
  Type("User ID", QStringLiteral("Line 3"));
  sink.Clear();
  Click("Save User ID");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(sink.Count("UserIDChanged"), 0);
  EXPECT_EQ(Text("User ID"), "Line 3");
  EXPECT_EQ(Profile("About", "User ID"), "<missing>");
}

TEST_F(AboutTest, ACameraThatVanishedBeforeTheSaveGetsNothingAndSaysNothing) {
  MakeOnlineControl();
  Click("Edit User ID");
  Type("User ID", QStringLiteral("Line 3"));
  link->camera().faults().silent = true;
  Click("Save User ID");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(WireHasUserIdSet());
  EXPECT_EQ(Text("online bar"), "offline");
}

TEST_F(AboutTest, ATextTheCameraWouldRefuseIsExplainedNotSent) {
  MakeOnlineControl();
  Click("Edit User ID");
  for (const QString& text :
       {QStringLiteral("Line\t3"), QStringLiteral("Z\u00fcrich"), QStringLiteral("a\nb")}) {
    ui.boxes.clear();
    Type("User ID", text);
    Click("Save User ID");
    ASSERT_EQ(ui.boxes.size(), 1u) << text.toStdString();
    EXPECT_TRUE(ui.boxes[0].text.startsWith("The User ID was not saved"))
        << ui.boxes[0].text.toStdString();
  }
  EXPECT_FALSE(WireHasUserIdSet());
  // Longer than the box (a text that came from elsewhere) is refused too.
  EXPECT_FALSE(CAboutDlg::UserIdProblem(QString(17, QLatin1Char('x'))).isEmpty());
  EXPECT_TRUE(CAboutDlg::UserIdProblem(QStringLiteral("~ 0123456789abc")).isEmpty());
}

TEST_F(AboutTest, ACameraThatRefusesTheUserIdIsReportedByTheControl) {
  MakeOnlineControl();
  Click("Edit User ID");
  Type("User ID", QStringLiteral("Line 3"));
  link->camera().faults().rejectCommands = true;
  Click("Save User ID");
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, "Unknown Command");
}

TEST_F(AboutTest, TheHelpListShowsThePdfFilesOfTheCurrentFolderSorted) {
  Touch("b.pdf");
  Touch("A.pdf");
  Touch("c.PDF");
  Touch("notes.txt");
  fs::create_directory(work / "folder.pdf");
  // Neither a pipe nor a dangling link is a help file (nor may it block).
  ASSERT_EQ(mkfifo((work / "pipe.pdf").c_str(), 0600), 0);
  fs::create_symlink(work / "gone", work / "gone.pdf");
  // Nor a link to a device; a link to a help file is one.
  fs::create_symlink("/dev/zero", work / "zero.pdf");
  fs::create_symlink(work / "b.pdf", work / "link.pdf");
  MakeControl();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"A.pdf", "b.pdf", "c.PDF", "link.pdf"}));
  EXPECT_EQ(Text("Select Help File"), "A.pdf");
  Click("Open Help File");
  ASSERT_EQ(ui.opened.size(), 1u);
  EXPECT_EQ(ui.opened[0], "A.pdf");
  ASSERT_EQ(studio::Select(Window(), QStringLiteral("Select Help File"), QStringLiteral("c.PDF")),
            std::nullopt);
  Click("Open Help File");
  EXPECT_EQ(ui.opened.back(), "c.PDF");
  EXPECT_TRUE(ui.boxes.empty());

  // Text typed into the list's field is not a selection.
  auto* list = qobject_cast<QComboBox*>(Find("Select Help File"));
  list->lineEdit()->setText(QStringLiteral("missing.pdf"));
  Click("Open Help File");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "No file was selected!!");
  EXPECT_EQ(ui.opened.size(), 2u);
}

TEST_F(AboutTest, WithoutPdfFilesNothingIsSelectedAndOpenSaysSo) {
  Touch("readme.txt");
  MakeControl();
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(Text("Select Help File"), "");
  Click("Open Help File");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "No file was selected!!");
  EXPECT_EQ(ui.boxes[0].caption, "XVexQ4");
  EXPECT_TRUE(ui.opened.empty());
}

TEST_F(AboutTest, AlwaysOnTopSurvivesTheRebuildItsClickCauses) {
  MakeControl().show();
  control->SetShowAboutWnd(-1);
  QPointer<QWidget> oldWindow = Window();
  Click("Windows Always on Top");
  // The click's own window goes only once the click has returned.
  EXPECT_NE(Window(), oldWindow.data());
  Settle();
  EXPECT_TRUE(oldWindow.isNull());
  EXPECT_EQ(ui.waitCursorUses, 1);
  EXPECT_EQ(ui.waitCursor, 0);
  EXPECT_TRUE(Page().alwaysOnTop());
  EXPECT_EQ(Text("Windows Always on Top"), "1");
  EXPECT_TRUE(Window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  // The rebuild hides every tool window.
  EXPECT_EQ(control->GetShowAboutWnd(), 0);
  EXPECT_EQ(Profile("About", "Is Visible"), "0");

  Click("Windows Always on Top");
  Settle();
  EXPECT_FALSE(Page().alwaysOnTop());
  EXPECT_EQ(Text("Windows Always on Top"), "0");
  EXPECT_FALSE(Window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  // A host's rebuild shows in the box too.
  control->SetWindowPosTopBottom(-1);
  Settle();
  EXPECT_EQ(Text("Windows Always on Top"), "1");
}

TEST_F(AboutTest, TheLinkLabelIsABlueUnderlinedLinkThatOpensItself) {
  MakeControl();
  auto* link = qobject_cast<CLabel*>(Find(CAboutDlg::kWebAddress));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_TRUE(link->font().underline());
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(link->clickOpenEnabled());
  Click(CAboutDlg::kWebAddress);
  ASSERT_EQ(ui.opened.size(), 1u);
  EXPECT_EQ(ui.opened[0], CAboutDlg::kWebAddress);
}

TEST_F(AboutTest, ClosingTheFrameHidesTheWindowThroughItsProperty) {
  MakeControl().show();
  control->SetShowAboutWnd(-1);
  EXPECT_TRUE(Window()->isVisible());
  Window()->close();
  EXPECT_EQ(control->GetShowAboutWnd(), 0);
  EXPECT_FALSE(Window()->isVisible());
  EXPECT_EQ(Profile("About", "Is Visible"), "0");
}

// The window as an operator sees it: nothing cut off, nothing overlapping.
// With VEXQ4_SCREENSHOT_DIR set, the two states are also saved as PNG.
void ExpectReadable(QWidget* window) {
  window->adjustSize();
  std::vector<QWidget*> leaves;
  for (QWidget* w : studio::NamedWidgets(window)) {
    if (studio::KindOf(w) == "group") continue;
    leaves.push_back(w);
    auto* label = qobject_cast<QLabel*>(w);
    if (label && label->wordWrap()) continue;
    EXPECT_GE(w->width(), w->minimumSizeHint().width()) << w->accessibleName().toStdString();
    if (qobject_cast<QAbstractButton*>(w) || (label && label->pixmap().isNull())) {
      EXPECT_GE(w->width(), w->sizeHint().width()) << w->accessibleName().toStdString();
    }
  }
  for (std::size_t i = 0; i < leaves.size(); ++i)
    for (std::size_t j = i + 1; j < leaves.size(); ++j) {
      const QRect a(leaves[i]->mapTo(window, QPoint()), leaves[i]->size());
      const QRect b(leaves[j]->mapTo(window, QPoint()), leaves[j]->size());
      EXPECT_FALSE(a.intersects(b)) << leaves[i]->accessibleName().toStdString() << " / "
                                    << leaves[j]->accessibleName().toStdString();
    }
}

TEST_F(AboutTest, RenderedOffLineAndOnLine) {
  Touch("vexq4-operator-guide.pdf");
  Touch("line3-instructions.pdf");
  const char* shots = std::getenv("VEXQ4_SCREENSHOT_DIR");
  MakeOfflineControl().show();
  control->SetShowAboutWnd(-1);
  Settle();
  ExpectReadable(Window());
  if (shots) Window()->grab().save(QString::fromUtf8(shots) + QStringLiteral("/about-offline.png"));

  link->camera().identity().userId = "Line 3 left";
  control->SetComPort(1);
  ReopenWindow();
  control->SetShowAboutWnd(-1);
  Click("Edit User ID");
  Settle();
  ExpectReadable(Window());
  EXPECT_EQ(Text("User ID"), "Line 3 left");
  if (shots) Window()->grab().save(QString::fromUtf8(shots) + QStringLiteral("/about-online.png"));
}

}  // namespace
}  // namespace vexq4::testing
