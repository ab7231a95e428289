// The Communication window against the simulated camera on COM1, driven
// through the same accessible names the studio's scripts use.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "comm_dlg.h"
#include "control_fixture.h"
#include "ui_access.h"
#include "vexq4/control/controls.h"

namespace vexq4::testing {
namespace {

namespace studio = vexq4::studio;
using control::UiServices;

constexpr char kOffline[] = "Operation failed. The Camera is offline ******\r\n";

class CommWindow : public ControlTest {
 protected:
  CCommDlg& Page() { return dynamic_cast<CCommDlg&>(control->Page(control::kCommunicationWindow)); }
  QWidget* Window() { return control->FrameWindow(control::kCommunicationWindow); }
  QWidget* Find(const char* name) { return studio::FindWidget(Window(), QString::fromUtf8(name)); }
  std::string Text(const char* name) {
    QWidget* w = Find(name);
    return w ? studio::TextOf(w).toStdString() : "<no widget>";
  }
  bool Shown(const char* name) { return studio::IsShownIn(Find(name), Window()); }
  bool Enabled(const char* name) { return Find(name)->isEnabled(); }
  std::string Click(const char* name) {
    const auto problem = studio::Click(Window(), QString::fromUtf8(name));
    return problem ? problem->toStdString() : "";
  }
  std::string Select(const char* name, const char* entry) {
    const auto problem =
        studio::Select(Window(), QString::fromUtf8(name), QString::fromUtf8(entry));
    return problem ? problem->toStdString() : "";
  }
  std::vector<std::string> Entries(const char* name) {
    std::vector<QString> entries;
    studio::Entries(Window(), QString::fromUtf8(name), entries);
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.toStdString());
    return out;
  }
  // Message boxes as "CAPTION|TEXT".
  std::vector<std::string> Boxes() {
    std::vector<std::string> out;
    for (const auto& b : ui.boxes)
      out.push_back((b.caption + QLatin1Char('|') + b.text).toStdString());
    return out;
  }
  std::string Log() { return Page().messageLog().toStdString(); }
  // Runs the event loop until `done` or `limitMs` passed; the time taken.
  template <class Done>
  qint64 WaitFor(Done done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::msleep(2);
    }
    return clock.elapsed();
  }
};

TEST_F(CommWindow, FreshProfileFindsTheCameraOnCom1) {
  MakeControl();
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_EQ(Text("Synchronize: status"), "not-synchronized");
  EXPECT_EQ(Entries("CL Manufacturer/COM-ports"), std::vector<std::string>{"COM-ports"});
  EXPECT_EQ(Text("CL Manufacturer/COM-ports"), "COM-ports");
  const auto ports = Entries("COM-Port");
  ASSERT_EQ(ports.size(), 16u);
  EXPECT_EQ(ports.front(), "COM1");
  EXPECT_EQ(ports.back(), "COM16");
  EXPECT_EQ(Text("COM-Port"), "COM1");
  EXPECT_EQ(Entries("Factory and User Settings In Camera"),
            (std::vector<std::string>{"Factory", "User 1", "User 2", "User 3"}));
  EXPECT_EQ(Text("Factory and User Settings In Camera"), "Factory");
  EXPECT_FALSE(Enabled("Store"));
  EXPECT_TRUE(Enabled("Auto"));
  EXPECT_EQ(Text("EEPROM Current Area"), "Factory");
  EXPECT_TRUE(studio::IsReadOnly(Find("EEPROM Current Area")));
  EXPECT_FALSE(Shown("Status: activity"));
  EXPECT_EQ(Text("message marker"), "");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(Profile("Communication", "ComPort"), "1");
  EXPECT_EQ(Profile("Communication", "Frame Grabber"), "0");
  EXPECT_EQ(Profile("Communication", "EEPROM Current Area"), "Factory");
  EXPECT_EQ(Profile("Communication", "Is Visible"), "0");
  // The EEPROM query is the one exchange the window asks for itself.
  EXPECT_NE(Log().find("EA?\r\n"), std::string::npos);
}

TEST_F(CommWindow, LabelsAndIndicatorsShowTheirTexts) {
  MakeControl();
  // A label shares its name with the field or picture beside it; the
  // field is what a command finds.
  auto kindOf = [&](const char* name) { return studio::KindOf(Find(name)).toStdString(); };
  EXPECT_EQ(kindOf("COM-Port"), "list");
  EXPECT_EQ(kindOf("Factory and User Settings In Camera"), "list");
  EXPECT_EQ(kindOf("Status: online"), "picture");
  EXPECT_EQ(kindOf("Control Tool Messages"), "edit");
  std::vector<std::string> labels;
  for (QWidget* w : studio::NamedWidgets(Window()))
    if (studio::KindOf(w) == QLatin1String("label"))
      labels.push_back((w->accessibleName() + QLatin1Char('=') + studio::TextOf(w)).toStdString());
  EXPECT_EQ(labels, (std::vector<std::string>{
                        "Status: online=On-line",
                        "Status: activity=", "CL Manufacturer/COM-ports=CL Manufacturer/COM-ports",
                        "COM-Port=COM-Port", "Synchronize: status=Not Synchronized"}));
  std::vector<std::string> tips;
  for (QWidget* w : studio::NamedWidgets(Window()))
    if (!w->toolTip().isEmpty())
      tips.push_back((w->accessibleName() + QLatin1Char('=') + w->toolTip()).toStdString());
  EXPECT_EQ(tips, (std::vector<std::string>{
                      "COM-Port=Select Camera Link Frame Grabber",
                      "Auto=Click to search for camera on COM1..COM16",
                      "Synchronize Camera=Click to write all settings to the camera",
                      "Synchronize Program=Click to read all settings from the camera",
                      "Write to File...=Click to write all settings to a selectable file",
                      "Read from File...=Click to read settings from a file",
                      "Write Camera Data=Write All Camera Data to File"}));
}

TEST_F(CommWindow, StoredSelectionsAreRestoredAndAMissingCameraIsNoError) {
  SetProfile("Communication", "ComPort", "3");
  SetProfile("User Area", "Selected User Area", "2");
  MakeControl();
  EXPECT_EQ(Text("COM-Port"), "COM3");
  EXPECT_EQ(Text("Status: online"), "offline");
  EXPECT_EQ(Text("Factory and User Settings In Camera"), "User 2");
  EXPECT_TRUE(Enabled("Store"));
  EXPECT_TRUE(ui.boxes.empty());
  // Off-line, the EEPROM area is not asked for.
  EXPECT_EQ(Text("EEPROM Current Area"), "");
}

TEST_F(CommWindow, RejectedFrameGrabberRestoreIsShownOnceAndTheRestStillRuns) {
  SetProfile("Communication", "Frame Grabber", "17");
  MakeControl();
  EXPECT_EQ(Boxes(), std::vector<std::string>{"XVexQ4|Only Frame Grabber 1..16 is valid"});
  EXPECT_EQ(Text("Synchronize: status"), "not-synchronized");
  EXPECT_EQ(Entries("Factory and User Settings In Camera").size(), 4u);
  EXPECT_EQ(Text("EEPROM Current Area"), "Factory");
  // The COM port restored before it still holds.
  EXPECT_EQ(Text("Status: online"), "online");
}

TEST_F(CommWindow, SynchronizingMovesEverySettingAndMarksTheProgram) {
  MakeOnlineControl();
  EXPECT_EQ(Click("Synchronize Camera"), "");
  const auto written = Wire();
  ASSERT_GT(written.size(), 20u);
  // Every setting goes out as a set command (the model adds its own
  // queries, such as the gains after the white balance).
  const auto sets = std::count_if(written.begin(), written.end(),
                                  [](const std::string& l) { return l.find('=') != l.npos; });
  EXPECT_GE(sets, 30);
  EXPECT_EQ(written.front(), "SM=0");
  EXPECT_EQ(Text("Synchronize: status"), "synchronized");
  EXPECT_EQ(ui.waitCursor, 0);
  EXPECT_GE(ui.waitCursorUses, 1);

  link->camera().ClearLog();
  link->camera().SetValue("GA", 77);
  EXPECT_EQ(Click("Synchronize Program"), "");
  EXPECT_EQ(control->GetMasterGainLevel(), 77);
  const auto read = Wire();
  EXPECT_NE(std::find(read.begin(), read.end(), "GA?"), read.end());
  EXPECT_FALSE(Page().markerOn());
  // Every exchange is in the log.
  EXPECT_NE(Log().find("GA=77\r\n"), std::string::npos);
}

TEST_F(CommWindow, OfflineOperationAddsItsLineAndTheMarker) {
  MakeOnlineControl();
  link->SetUnplugged(true);
  control->GetIsOnline();
  ASSERT_EQ(Text("Status: online"), "offline");
  EXPECT_EQ(Click("Synchronize Camera"), "");
  EXPECT_EQ(Log().rfind(kOffline, 0), 0u) << Log();
  EXPECT_EQ(Text("message marker"), "failed");
  EXPECT_TRUE(Page().markerOn());
  EXPECT_EQ(Click("Load"), "");
  EXPECT_EQ(Log().rfind(std::string(kOffline) + kOffline, 0), 0u);
  // The next message takes the marker away.
  Page().AppendMessage(QStringLiteral("SH?\r\nSH=0\r\n"));
  EXPECT_EQ(Text("message marker"), "");
  EXPECT_EQ(Log().rfind("SH?\r\nSH=0\r\n", 0), 0u);
}

TEST_F(CommWindow, OtherFailuresOnlyShowTheMarker) {
  MakeOnlineControl();
  link->camera().faults().rejectCommands = true;
  EXPECT_EQ(Click("Load"), "");  // LD refused (-3), the camera still there
  EXPECT_EQ(Log().rfind("LD=0\r\nUnknown Command ****", 0), 0u) << Log();
  EXPECT_EQ(Log().find(kOffline), std::string::npos);
  EXPECT_EQ(Text("message marker"), "failed");
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CommWindow, MessageLogIsNewestFirstAndEmptiedBeyondTenThousand) {
  MakeControl();
  EXPECT_EQ(Click("Clear"), "");
  Page().AppendMessage(QStringLiteral("A?\r\nA=1\r\n"));
  Page().AppendMessage(QStringLiteral("B?\r\nB=2\r\n"));
  EXPECT_EQ(Log(), "B?\r\nB=2\r\nA?\r\nA=1\r\n");
  // The box shows the log; the scripts read it exactly.
  EXPECT_EQ(Text("Control Tool Messages"), Log());
  EXPECT_EQ(
      qobject_cast<QPlainTextEdit*>(Find("Control Tool Messages"))->toPlainText().toStdString(),
      "B?\nB=2\nA?\nA=1\n");
  EXPECT_TRUE(studio::IsReadOnly(Find("Control Tool Messages")));

  const QString line(100, QLatin1Char('x'));
  EXPECT_EQ(Click("Clear"), "");
  for (int i = 0; i < 100; ++i) Page().AppendMessage(line);
  EXPECT_EQ(Page().messageLog().size(), 10000);  // not longer than 10,000: kept
  Page().AppendMessage(QStringLiteral("C\r\n"));
  EXPECT_EQ(Page().messageLog().size(), 10003);
  Page().AppendMessage(QStringLiteral("D\r\n"));
  EXPECT_EQ(Log(), "D\r\n");
}

TEST_F(CommWindow, WriteToFileWritesTheLogByteForByte) {
  MakeControl();
  EXPECT_EQ(Click("Clear"), "");
  // Empty: no dialog at all.
  EXPECT_EQ(Click("Write To File"), "");
  EXPECT_TRUE(ui.dialogs.empty());

  Page().AppendMessage(QStringLiteral("GA=-20\r\nCOMPLETE\r\n"));
  Page().AppendMessage(QString::fromLatin1("ID?\r\n\xB5-cam\r\n"));
  const auto path = dir / "messages.txt";
  WriteFile(path, std::string(5000, 'z'));  // truncated, not appended to
  ui.QueueFile(path.string());
  EXPECT_EQ(Click("Write To File"), "");
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_TRUE(ui.dialogs[0].save);
  EXPECT_EQ(ui.dialogs[0].filter.toStdString(), "Control Tool Messages (*.txt)|*.txt||");
  EXPECT_EQ(ui.dialogs[0].defaultExtension.toStdString(), "txt");
  EXPECT_TRUE(ui.dialogs[0].overwritePrompt);
  EXPECT_EQ(ReadFile(path), "ID?\r\n\xB5-cam\r\nGA=-20\r\nCOMPLETE\r\n");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.waitCursor, 0);

  // Cancel does nothing; a dialog that fails says so; a file that cannot
  // be written says so.
  ui.files.push_back({UiServices::FileOutcome::kCancel, {}});
  ui.files.push_back({UiServices::FileOutcome::kFailed, {}});
  ui.QueueFile("/dev/full");
  ui.QueueFile(dir.path().string());
  // A FIFO nobody reads fails at once instead of hanging the window.
  const auto fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ui.QueueFile(fifo.string());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Click("Write To File"), "");
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "Save Error|Error in Save Dialog !", "XVexQ4|Error writing to file",
                         "XVexQ4|Error writing to file", "XVexQ4|Error writing to file"}));
}

// A camera that answers too late on the stored COM port at start: no
// camera there, which the start does not report, and no missing grabber.
TEST_F(CommWindow, LateCameraAtStartIsNoMissingGrabber) {
  link->camera().faults().lateReplyMs = 1500;
  MakeControl();
  EXPECT_EQ(control->IsOnline(), 0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{});
}

// A write that fails half-way (a full disk; here a file size limit) keeps
// the old file whole and leaves no fragment beside it.
TEST_F(CommWindow, WriteToFileThatFailsKeepsTheOldFile) {
  MakeControl();
  EXPECT_EQ(Click("Clear"), "");
  for (int i = 0; i < 200; ++i) Page().AppendMessage(QStringLiteral("GA=-20\r\nCOMPLETE\r\n"));
  const auto path = dir / "messages.txt";
  const std::string old(3000, 'o');
  WriteFile(path, old);

  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  ui.QueueFile(path.string());
  const std::string clicked = Click("Write To File");
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(clicked, "");
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"XVexQ4|Error writing to file"}));
  EXPECT_EQ(ReadFile(path), old);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
    entries += entry.path().filename().string().starts_with(".messages.txt");
  EXPECT_EQ(entries, 0u);
}

TEST_F(CommWindow, SettingsFilesThroughTheDialogs) {
  MakeOnlineControl();
  EXPECT_EQ(Click("Synchronize Program"), "");  // a cache a file can hold
  const auto path = dir / "setup.cam";
  ui.QueueFile(path.string());
  EXPECT_EQ(Click("Write to File..."), "");
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].filter.toStdString(), "Camera setup (*.cam)|*.cam||");
  EXPECT_EQ(ui.dialogs[0].defaultExtension.toStdString(), "cam");
  EXPECT_TRUE(ui.dialogs[0].save);
  ASSERT_TRUE(std::filesystem::exists(path));

  control->SetMasterGainLevel(100);
  link->camera().ClearLog();
  ui.QueueFile(path.string());
  EXPECT_EQ(Click("Read from File..."), "");
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_FALSE(ui.dialogs[1].save);
  EXPECT_TRUE(ui.dialogs[1].fileMustExist);
  EXPECT_EQ(ui.dialogs[1].filter.toStdString(), "Camera setup (*.cam)|*.cam||");
  EXPECT_NE(control->GetMasterGainLevel(), 100);
  EXPECT_FALSE(Wire().empty());
  EXPECT_TRUE(ui.boxes.empty());

  // A file that is not a settings file: the control's error reaches the
  // operator; failed dialogs have their own boxes.
  const auto bad = dir / "bad.cam";
  WriteFile(bad, "no settings here\n");
  ui.QueueFile(bad.string());
  EXPECT_EQ(Click("Read from File..."), "");
  ui.files.push_back({UiServices::FileOutcome::kFailed, {}});
  EXPECT_EQ(Click("Read from File..."), "");
  ui.files.push_back({UiServices::FileOutcome::kFailed, {}});
  EXPECT_EQ(Click("Write to File..."), "");
  ui.QueueFile((dir / "missing" / "x.cam").string());
  EXPECT_EQ(Click("Write to File..."), "");
  EXPECT_EQ(Boxes(),
            (std::vector<std::string>{
                "XVexQ4|The file \"" + bad.string() + "\" is not a valid inifile for RX-Q4",
                "Load Error|Error in Load Dialog !", "Save Error|Error in Save Dialog !",
                "XVexQ4|Error writing to file"}));
  EXPECT_EQ(ui.waitCursor, 0);
}

TEST_F(CommWindow, CameraDataReport) {
  MakeOnlineControl();
  const auto path = dir / "report.txt";
  ui.QueueFile(path.string());
  EXPECT_EQ(Click("Write Camera Data"), "");
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].filter.toStdString(), "Camera Data (*.txt)|*.txt||");
  EXPECT_EQ(ui.dialogs[0].defaultExtension.toStdString(), "txt");
  EXPECT_FALSE(ReadFile(path).empty());
  EXPECT_TRUE(ui.boxes.empty());
  ui.QueueFile(dir.path().string());  // a folder cannot take the report
  EXPECT_EQ(Click("Write Camera Data"), "");
  EXPECT_EQ(Boxes(), std::vector<std::string>{"XVexQ4|Error writing to file"});
}

TEST_F(CommWindow, UserAreasStoreAndLoad) {
  MakeOnlineControl();
  EXPECT_EQ(Select("Factory and User Settings In Camera", "User 2"), "");
  EXPECT_EQ(Profile("User Area", "Selected User Area"), "2");
  EXPECT_TRUE(Enabled("Store"));
  EXPECT_EQ(Click("Store"), "");
  EXPECT_EQ(Wire(), std::vector<std::string>{"SA=2"});
  link->camera().ClearLog();
  EXPECT_EQ(Click("Load"), "");
  ASSERT_FALSE(Wire().empty());
  EXPECT_EQ(Wire().front(), "LD=2");
  EXPECT_EQ(Text("EEPROM Current Area"), "User 2");
  EXPECT_EQ(Profile("Communication", "EEPROM Current Area"), "User 2");
  EXPECT_FALSE(Page().markerOn());

  EXPECT_EQ(Select("Factory and User Settings In Camera", "Factory"), "");
  EXPECT_FALSE(Enabled("Store"));
  EXPECT_EQ(Profile("User Area", "Selected User Area"), "0");
}

TEST_F(CommWindow, EepromAreaFollowsTheCamera) {
  MakeControl();
  link->camera().identity().eepromArea = 3;
  EXPECT_EQ(Click("Get Area"), "");
  EXPECT_EQ(Text("EEPROM Current Area"), "User 3");
  Page().Refresh(control::Change::EEPROMCurrentAreaNoChanged, 4, {});  // no such area
  EXPECT_EQ(Text("EEPROM Current Area"), "");
  EXPECT_EQ(Profile("Communication", "EEPROM Current Area"), "");
}

TEST_F(CommWindow, ChoosingAComPortThatHasNoCameraShowsTheControlsError) {
  MakeOnlineControl();
  EXPECT_EQ(Select("COM-Port", "COM2"), "");
  EXPECT_EQ(Boxes(), std::vector<std::string>{
                         "XVexQ4|Camera not found or unable to open communication port\n"
                         "  Communication port 2.\n\nMake sure that no other programs \n"
                         " are connected to this port."});
  EXPECT_EQ(Profile("Communication", "ComPort"), "2");
  EXPECT_EQ(Text("COM-Port"), "COM2");
  EXPECT_EQ(Text("Status: online"), "offline");
  EXPECT_EQ(Select("COM-Port", "COM1"), "");
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(CommWindow, ComPortsSourceRechecksTheLinkAndEnablesThePortChoice) {
  MakeOnlineControl();
  Page().Refresh(control::Change::FrameGrabberChanged, 3, {});
  EXPECT_FALSE(Enabled("Auto"));
  EXPECT_FALSE(Enabled("COM-Port"));
  EXPECT_EQ(Profile("Communication", "Frame Grabber"), "3");
  EXPECT_EQ(Select("CL Manufacturer/COM-ports", "COM-ports"), "");
  EXPECT_TRUE(Enabled("Auto"));
  EXPECT_TRUE(Enabled("COM-Port"));
  EXPECT_EQ(Profile("Communication", "Frame Grabber"), "0");
  // Reconnected on COM1 (the library's probe and the model's), then
  // checked once more.
  EXPECT_EQ(Wire(), (std::vector<std::string>{"SH?", "SH?", "SH?"}));
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_EQ(ui.waitCursor, 0);
}

TEST_F(CommWindow, AutoSearchDecliningEveryCameraEndsWithNoCameraFound) {
  MakeOnlineControl();
  ui.answers.push_back(UiServices::Answer::kNo);
  EXPECT_EQ(Click("Auto"), "");
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "XVexQ4|Use Camera found on COM1 ?\n(Select NO to continue the search.)",
                         "XVexQ4|No camera found"}));
  EXPECT_EQ(ui.boxes[0].buttons, UiServices::Buttons::kYesNo);
  EXPECT_EQ(ui.boxes[1].buttons, UiServices::Buttons::kOk);
  // The search went on to COM16 and left the model there.
  EXPECT_EQ(Text("COM-Port"), "COM16");
  EXPECT_EQ(ui.waitCursor, 0);
  EXPECT_TRUE(sink.errors.empty());
}

TEST_F(CommWindow, AutoSearchAcceptedKeepsThePort) {
  SetProfile("Communication", "ComPort", "5");
  MakeControl();
  ASSERT_EQ(Text("Status: online"), "offline");
  ui.answers.push_back(UiServices::Answer::kYes);
  EXPECT_EQ(Click("Auto"), "");
  EXPECT_EQ(Boxes(), std::vector<std::string>{
                         "XVexQ4|Use Camera found on COM1 ?\n(Select NO to continue the search.)"});
  EXPECT_EQ(Text("COM-Port"), "COM1");
  EXPECT_EQ(Profile("Communication", "ComPort"), "1");
  EXPECT_EQ(Text("Status: online"), "online");
}

TEST_F(CommWindow, ActivityIndicatorStaysTheTailAfterTheLastTransfer) {
  MakeOnlineControl();
  // Only while the window is shown.
  control->GetIsOnline();
  EXPECT_FALSE(Shown("Status: activity"));
  control->SetShowCommunicationWnd(-1);
  control->GetIsOnline();
  EXPECT_TRUE(Shown("Status: activity"));
  EXPECT_EQ(Text("Status: activity"), "sending");
  const qint64 hiddenAfter = WaitFor([&] { return !Shown("Status: activity"); }, 3000);
  EXPECT_FALSE(Shown("Status: activity"));
  EXPECT_GE(hiddenAfter, 180);

  control->GetMasterGainLevel();  // no traffic: nothing shows
  Page().Refresh(control::Change::SendingToCamStatusChanged, 1, {});
  Page().Refresh(control::Change::SendingToCamStatusChanged, 0, {});
  Page().Refresh(control::Change::ReceiveFromCamStatusChanged, 1, {});
  EXPECT_TRUE(Shown("Status: activity"));
  EXPECT_EQ(Text("Status: activity"), "receiving");
  // Receiving is still on: the tail of the sending does not hide it.
  WaitFor([] { return false; }, 300);
  EXPECT_TRUE(Shown("Status: activity"));
  Page().Refresh(control::Change::ReceiveFromCamStatusChanged, 0, {});
  EXPECT_TRUE(Shown("Status: activity"));
  WaitFor([&] { return !Shown("Status: activity"); }, 3000);
  EXPECT_FALSE(Shown("Status: activity"));
}

TEST_F(CommWindow, LinkPollOnlyWhileShownAndNoticesAVanishedCamera) {
  MakeOnlineControl();
  Page().SetLinkPollMs(20);
  WaitFor([] { return false; }, 120);
  EXPECT_TRUE(Wire().empty());
  control->SetShowCommunicationWnd(-1);
  WaitFor([&] { return !Wire().empty(); }, 3000);
  EXPECT_EQ(Wire().front(), "SH?");
  link->SetUnplugged(true);
  WaitFor([&] { return Text("Status: online") == "offline"; }, 3000);
  EXPECT_EQ(Text("Status: online"), "offline");
  EXPECT_EQ(Text("Synchronize: status"), "not-synchronized");
}

TEST_F(CommWindow, RebuildKeepsTheLogAndInitialisesAgain) {
  MakeOnlineControl();
  Page().AppendMessage(QStringLiteral("KEEP\r\n"));
  control->SetWindowPosTopBottom(1);
  Settle();
  ASSERT_NE(Window(), nullptr);
  EXPECT_NE(Log().find("KEEP\r\n"), std::string::npos);
  EXPECT_EQ(Text("Control Tool Messages"), Log());
  EXPECT_EQ(Text("Status: online"), "online");  // the stored port again
  EXPECT_EQ(Entries("COM-Port").size(), 16u);
}

// Pictures of the window for a look in review (into $VEXQ4_SNAPSHOT_DIR when
// set): off-line with a fresh profile, and on-line after a transfer with
// its messages, the activity indicator and the marker.
TEST_F(CommWindow, RendersReadably) {
  link->SetUnplugged(true);
  MakeControl();
  const char* folder = std::getenv("VEXQ4_SNAPSHOT_DIR");
  const std::filesystem::path out = folder ? std::filesystem::path(folder) : dir.path();
  auto snapshot = [&](const char* name) {
    control->Frame(control::kCommunicationWindow).Show(true);
    Settle();
    const QPixmap picture = Window()->grab();
    EXPECT_TRUE(picture.save(QString::fromStdString((out / name).string())));
    // Every text fits: no button is narrower than its own text.
    for (auto* button : Window()->findChildren<QPushButton*>())
      EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()))
          << button->text().toStdString();
    return picture.size();
  };
  const QSize offline = snapshot("comm-offline.png");
  EXPECT_GT(offline.width(), 300);

  link->SetUnplugged(false);
  EXPECT_EQ(Select("COM-Port", "COM1"), "");
  EXPECT_EQ(Click("Synchronize Program"), "");
  control->SetShowCommunicationWnd(-1);
  Page().Refresh(control::Change::SendingToCamStatusChanged, 1, {});
  Page().Refresh(control::Change::SendingToCamStatusChanged, 0, {});
  link->SetUnplugged(true);
  control->GetIsOnline();
  EXPECT_EQ(Click("Synchronize Camera"), "");
  EXPECT_EQ(snapshot("comm-online.png"), offline);  // nothing jumps
}

}  // namespace
}  // namespace vexq4::testing
