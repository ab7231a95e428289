// The studio's desktop window around a control in virtual time: the member
// browser against the type description and the control, the event log's
// order, the title, the layout file, the menus, and the pictures.
#include "studio_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QDockWidget>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <filesystem>
#include <map>

#include "compare_window.h"
#include "control_fixture.h"
#include "event_log.h"
#include "member_browser.h"
#include "screenshots.h"
#include "ui_access.h"
#include "vexq4/control/module.h"
#include "vexq4/control/tool_windows.h"
#include "vexq4/platform/clock.h"
#include "vexq4/platform/ini_file.h"

namespace vexq4::testing {
namespace {

namespace fs = std::filesystem;
namespace ctl = vexq4::control;
using studio::EventLog;
using studio::MemberBrowser;
using studio::StudioWindow;

const ctl::MemberInfo& M(std::string_view name) {
  const ctl::MemberInfo* m = ctl::FindMember(name);
  if (!m) m = ctl::FindEvent(name);
  EXPECT_NE(m, nullptr) << name;
  return *m;
}

// Share of the pixels that differ from the picture's most common colour.
double InkShare(const QImage& image) {
  std::map<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  int most = 0;
  for (const auto& [colour, n] : counts) most = std::max(most, n);
  const double total = double(image.width()) * image.height();
  return total > 0 ? (total - most) / total : 0;
}

class StudioTest : public ControlTest {
 protected:
  ScopedEnv registry{"VEXQ4_REGISTRY_DIR", (dir / "registry").string()};
  ScopedEnv com1{"VEXQ4_COM1", "/dev/rxq4-test"};

  // A window around a new control (shown, so the strip exists).
  std::unique_ptr<StudioWindow> MakeWindow(bool online,
                                           studio::StudioOptions options = NoLayout()) {
    if (online)
      MakeOnlineControl();
    else
      MakeControl();
    auto window = std::make_unique<StudioWindow>(control.release(), options);
    window->show();
    Settle();
    sink.Clear();
    link->camera().ClearLog();
    return window;
  }
  static studio::StudioOptions NoLayout() {
    studio::StudioOptions options;
    options.keepLayout = false;
    options.controlSource = QStringLiteral("built-in module");
    return options;
  }
  bool WireHas(const std::string& line) {
    const auto wire = Wire();
    return std::find(wire.begin(), wire.end(), line) != wire.end();
  }
};

TEST_F(StudioTest, BrowserListsEveryMemberOfTheTypeDescriptionWithoutAskingTheCamera) {
  auto window = MakeWindow(true);
  MemberBrowser& browser = *window->memberBrowser();
  QTreeWidget* tree = browser.tree();
  ASSERT_EQ(tree->topLevelItemCount(), 3);
  // Each group counts the type description's members of its kind.
  int counts[3] = {};
  for (const auto& m : ctl::Members())
    ++counts[m.kind == ctl::MemberKind::kProperty ? 0 : m.kind == ctl::MemberKind::kMethod ? 1 : 2];
  EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Properties (%1)").arg(counts[0]));
  EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("Methods (%1)").arg(counts[1]));
  EXPECT_EQ(tree->topLevelItem(2)->text(0), QStringLiteral("Events (%1)").arg(counts[2]));
  int rows = 0;
  for (int g = 0; g < 3; ++g) rows += tree->topLevelItem(g)->childCount();
  EXPECT_EQ(rows, static_cast<int>(ctl::Members().size()));
  for (const auto& m : ctl::Members()) {
    QTreeWidgetItem* item = browser.ItemOf(m);
    ASSERT_NE(item, nullptr) << m.name;
    EXPECT_EQ(item->text(MemberBrowser::kName).toStdString(), m.name);
    EXPECT_EQ(item->text(MemberBrowser::kDispid), QString::number(m.dispid));
  }
  // Values straight from the control's cache; UserID would ask the camera.
  CXVexCamCtrl& c = *window->control();
  EXPECT_EQ(browser.ItemOf(M("MasterGainLevel"))->text(MemberBrowser::kValue),
            QString::number(c.GetMasterGainLevel()));
  EXPECT_EQ(browser.ItemOf(M("ShutterSpeedStr"))->text(MemberBrowser::kValue),
            "\"" + c.GetShutterSpeedStr() + "\"");
  EXPECT_EQ(browser.ItemOf(M("UserID"))->text(MemberBrowser::kValue), "(Get reads the camera)");
  EXPECT_EQ(browser.ItemOf(M("GetMinMaxMasterGainLevel"))->text(MemberBrowser::kValue),
            "(out short pMin, out short pMax)");
  browser.RefreshValues();
  EXPECT_TRUE(Wire().empty());
}

TEST_F(StudioTest, PutGetAndCallThroughTheBrowserReachTheControl) {
  auto window = MakeWindow(true);
  MemberBrowser& browser = *window->memberBrowser();
  CXVexCamCtrl& c = *window->control();

  ASSERT_TRUE(browser.Select(M("MasterGainLevel")));
  browser.SetEntry(-1, "100");
  browser.Put();
  EXPECT_EQ(browser.resultText(), "ok");
  EXPECT_EQ(c.GetMasterGainLevel(), 100);
  EXPECT_TRUE(WireHas("GA=100"));
  EXPECT_EQ(browser.ItemOf(M("MasterGainLevel"))->text(MemberBrowser::kValue), "100");

  // A change made elsewhere shows once the control's call has returned.
  c.SetMasterGainLevel(-20);
  Settle();
  EXPECT_EQ(browser.ItemOf(M("MasterGainLevel"))->text(MemberBrowser::kValue), "-20");
  browser.Get();
  EXPECT_EQ(browser.resultText(), "MasterGainLevel=-20");
  EXPECT_EQ(browser.Entry(-1), "-20");

  // Refused values: the control's automation error, or no call at all.
  browser.SetEntry(-1, "1000");
  browser.Put();
  EXPECT_TRUE(browser.resultIsError());
  EXPECT_EQ(browser.resultText(), "exception 0x800A017C XVexQ4 32796 \"Invalid input parameter\"");
  sink.Clear();
  browser.SetEntry(-1, "loud");
  browser.Put();
  EXPECT_TRUE(browser.resultIsError());
  EXPECT_TRUE(sink.events.empty());
  EXPECT_EQ(c.GetMasterGainLevel(), -20);

  // A text property takes its text as it stands.
  ASSERT_TRUE(browser.Select(M("ShutterSpeedStr")));
  browser.SetEntry(-1, "1/250");
  browser.Put();
  EXPECT_EQ(browser.resultText(), "ok");
  EXPECT_EQ(c.GetShutterSpeedStr(), "1/250");

  // Methods: out parameters come back into their boxes.
  ASSERT_TRUE(browser.Select(M("GetMinMaxMasterGainLevel")));
  browser.Call();
  EXPECT_EQ(browser.resultText(), "GetMinMaxMasterGainLevel=0\npMin=-132\npMax=429");
  EXPECT_EQ(browser.Entry(0), "-132");
  EXPECT_EQ(browser.Entry(1), "429");
  ASSERT_TRUE(browser.Select(M("GetValidShutterSpeed")));
  browser.SetEntry(0, "4");
  browser.Call();
  EXPECT_EQ(browser.resultText(), "GetValidShutterSpeed=0\nShutterStr=\"1/250\"");
  EXPECT_EQ(browser.Entry(1), "1/250");
  browser.SetEntry(0, "four");
  browser.Call();
  EXPECT_TRUE(browser.resultIsError());

  // A missing out parameter: the control's error event, shown to the user.
  sink.Clear();
  ASSERT_TRUE(browser.Select(M("GetMinMaxMasterGainLevel")));
  browser.SetMissing(0, true);
  browser.Call();
  EXPECT_EQ(browser.resultText(), "GetMinMaxMasterGainLevel=-1\npMax=0");
  ASSERT_EQ(sink.errors.size(), 1u);
  EXPECT_EQ(sink.errors[0].scode(), ctl::kInvalidPropertyValue);
  ASSERT_EQ(ui.boxes.size(), 1u);

  // UserID is read from the camera only when asked.
  link->camera().ClearLog();
  ASSERT_TRUE(browser.Select(M("UserID")));
  browser.Get();
  EXPECT_FALSE(browser.resultIsError()) << browser.resultText().toStdString();
  EXPECT_FALSE(Wire().empty());
}

TEST_F(StudioTest, EventLogHasEveryEventErrorEventAndMessageLineInOrder) {
  auto window = MakeWindow(true);
  EventLog& log = *window->eventLog();
  MemberBrowser& browser = *window->memberBrowser();
  log.Clear();

  // (Settings the Shutter window shows in lists and radios: a gain's box
  // would set the value once more when the Gain window is refreshed.)
  ASSERT_TRUE(browser.Select(M("ShutterSpeedIndex")));
  browser.SetEntry(-1, "4");
  browser.Put();
  ASSERT_TRUE(browser.Select(M("TriggerPolarity")));
  browser.SetEntry(-1, "1");
  browser.Put();
  ASSERT_TRUE(browser.Select(M("GetMinMaxMasterGainLevel")));
  browser.SetMissing(1, true);
  browser.Call();

  std::vector<std::string> kinds, events;
  for (const auto& e : log.entries()) {
    kinds.push_back(EventLog::KindName(e.kind).toStdString());
    if (e.kind == EventLog::Kind::kEvent) events.push_back(e.text.toStdString());
  }
  const std::vector<std::string> expected = {
      "studio", "event",       "message", "studio",   // put ShutterSpeedIndex
      "studio", "event",       "message", "studio",   // put TriggerPolarity
      "studio", "error-event", "studio",  "studio"};  // call with pMax missing
  EXPECT_EQ(kinds, expected);
  EXPECT_EQ(events, sink.events);
  const auto& entries = log.entries();
  EXPECT_EQ(entries[0].text, "> put ShutterSpeedIndex 4");
  EXPECT_EQ(entries[1].text, "ShutterSpeedChanged");
  EXPECT_EQ(entries[2].text, "SH=4 | COMPLETE");
  EXPECT_EQ(entries[3].text, "< ok");
  EXPECT_EQ(entries[8].text, "> call GetMinMaxMasterGainLevel ? null");
  EXPECT_EQ(entries[9].text, "0x800A017C 32795 Invalid input parameter (NULL)");
  for (std::size_t i = 1; i < entries.size(); ++i) EXPECT_LE(entries[i - 1].time, entries[i].time);
  EXPECT_TRUE(EventLog::Line(entries[1]).endsWith("  event       ShutterSpeedChanged"));
  EXPECT_EQ(log.view()->blockCount(), static_cast<int>(entries.size()));
}

TEST_F(StudioTest, EventLogKeepsTheNewestEntriesAndSavesThem) {
  auto window = MakeWindow(false);
  EventLog& log = *window->eventLog();
  log.Clear();
  for (int i = 0; i < EventLog::kMaxEntries + 10; ++i) log.Note(QStringLiteral("note %1").arg(i));
  EXPECT_EQ(log.entries().size(), static_cast<std::size_t>(EventLog::kMaxEntries));
  EXPECT_EQ(log.entries().front().text, "note 10");
  EXPECT_LE(log.view()->blockCount(), EventLog::kMaxEntries);

  log.Clear();
  log.Note("first");
  log.Note("second");
  ui.QueueFile((dir / "log.txt").string());
  log.SaveWithDialog();
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_TRUE(ui.dialogs[0].save);
  const std::string saved = ReadFile(dir / "log.txt");
  EXPECT_NE(saved.find("  studio      first\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("  studio      second\n"), std::string::npos);
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 2);

  // Cancelled: nothing written; an unwritable place: the user is told.
  log.SaveWithDialog();
  ui.QueueFile((dir / "no such folder" / "log.txt").string());
  log.SaveWithDialog();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(ui.boxes[0].text.startsWith("The event log could not be saved"));
  EXPECT_FALSE(fs::exists(dir / "no such folder"));

  // A full disk says so, and a device stays a device.
  if (fs::exists("/dev/full")) {
    QString error;
    EXPECT_FALSE(log.SaveTo("/dev/full", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
  QString error;
  EXPECT_FALSE(log.SaveTo(QString::fromStdString(dir.path().string()), &error));
  EXPECT_TRUE(fs::is_directory(dir.path()));
}

TEST_F(StudioTest, TitleNamesTheConnection) {
  studio::StudioOptions options = NoLayout();
  options.simDevice = QStringLiteral("/dev/rxq4-test");
  // The Communication window selects the stored COM1 at construction; no
  // camera answers there yet.
  link->SetUnplugged(true);
  auto window = MakeWindow(false, options);
  EXPECT_EQ(window->windowTitle(), "vexq4-studio - COM1 (simulated camera) - offline");
  link->SetUnplugged(false);
  window->control()->SetComPort(1);
  EXPECT_EQ(window->windowTitle(), "vexq4-studio - COM1 (simulated camera) - online");
  window.reset();

  auto plain = MakeWindow(true);
  EXPECT_EQ(plain->windowTitle(), "vexq4-studio - COM1 (/dev/rxq4-test) - online");
  // A frame grabber given to the control names the line from then on.
  plain->control()->SetFrameGrabberIndex(2);
  EXPECT_EQ(plain->windowTitle(), "vexq4-studio - frame grabber 2 - online");
}

TEST_F(StudioTest, LayoutIsKeptInTheStudiosOwnFileBesideTheProfile) {
  studio::StudioOptions options = NoLayout();
  options.keepLayout = true;
  auto window = MakeWindow(false, options);
  EXPECT_EQ(StudioWindow::SettingsPath().toStdString(), (dir / "vexq4-studio.conf").string());
  window->memberDock()->toggleViewAction()->trigger();
  EXPECT_FALSE(window->memberDock()->toggleViewAction()->isChecked());
  window->close();
  window.reset();
  ASSERT_TRUE(fs::exists(dir / "vexq4-studio.conf"));
  const std::string profile = ReadFile(dir / "XVexQ4.ini");
  EXPECT_EQ(profile.find("geometry"), std::string::npos);
  EXPECT_EQ(profile.find("window"), std::string::npos);

  auto again = MakeWindow(false, options);
  EXPECT_FALSE(again->memberDock()->toggleViewAction()->isChecked());
  EXPECT_TRUE(again->logDock()->toggleViewAction()->isChecked());
}

// A FIFO in place of the studio's settings file would block the program
// at its start: it is neither read nor written, and the window says so.
TEST_F(StudioTest, LayoutFileThatIsNoFileIsLeftAlone) {
  ASSERT_EQ(::mkfifo((dir / "vexq4-studio.conf").c_str(), 0600), 0);
  studio::StudioOptions options = NoLayout();
  options.keepLayout = true;
  auto window = MakeWindow(false, options);
  EXPECT_NE(window->statusBar()->currentMessage().indexOf(QStringLiteral("not a regular file")),
            -1);
  window->close();
  window.reset();
  EXPECT_TRUE(fs::is_fifo(dir / "vexq4-studio.conf"));
}

TEST_F(StudioTest, AlwaysOnTopRebuildsTheToolWindows) {
  auto window = MakeWindow(false);
  CXVexCamCtrl& c = *window->control();
  QAction* onTop = window->alwaysOnTopAction();
  EXPECT_FALSE(onTop->isChecked());
  onTop->trigger();
  Settle();
  EXPECT_TRUE(onTop->isChecked());
  for (int i = 0; i < ctl::kToolWindowCount; ++i) {
    EXPECT_TRUE(c.Frame(i).alwaysOnTop());
    ASSERT_NE(c.FrameWindow(i), nullptr);
    EXPECT_TRUE(c.FrameWindow(i)->windowFlags() & Qt::WindowStaysOnTopHint);
  }
  onTop->trigger();
  Settle();
  EXPECT_FALSE(onTop->isChecked());
  EXPECT_FALSE(c.Frame(0).alwaysOnTop());

  // Changed elsewhere (the About window has a switch): the menu follows.
  c.SetWindowPosTopBottom(-1);
  Settle();
  for (QAction* menu : window->menuBar()->actions())
    if (menu->text() == "&Control") emit menu->menu()->aboutToShow();
  EXPECT_TRUE(onTop->isChecked());
}

TEST_F(StudioTest, RegistrationFromTheMenuSaysHowItWent) {
  auto window = MakeWindow(false);
  const fs::path entry = dir / "registry" / (ctl::GuidText(ctl::kControlClsid) + ".ini");
  EXPECT_EQ(window->Register(), ctl::kSOk);
  EXPECT_TRUE(fs::exists(entry));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(ui.boxes[0].text.startsWith("The control is registered in"));
  EXPECT_EQ(window->Unregister(), ctl::kSOk);
  EXPECT_FALSE(fs::exists(entry));

  // A registry folder that cannot be made: the failure and its code.
  WriteFile(dir / "blocked", "a file, not a folder");
  ScopedEnv blocked("VEXQ4_REGISTRY_DIR", (dir / "blocked").string());
  EXPECT_NE(window->Register(), ctl::kSOk);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_TRUE(ui.boxes[2].text.contains("failed (0x8004020")) << ui.boxes[2].text.toStdString();
}

TEST_F(StudioTest, HelpAsksTheControlForTheOperatorsGuide) {
  auto window = MakeWindow(false);
  const fs::path module = ctl::CXVexCamApp::Instance().ModulePath();
  const fs::path guide = module.parent_path() / "vexq4-operator-guide.pdf";
  const bool someGuide =
      fs::exists(guide) || fs::exists(module.parent_path() / ".." / "doc" / guide.filename()) ||
      fs::exists(module.parent_path() / ".." / "share" / "doc" / "vexq4" / guide.filename());
  if (!someGuide) {
    EXPECT_FALSE(window->OpenOperatorGuide());
    EXPECT_TRUE(ui.opened.empty());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_TRUE(ui.boxes[0].text.contains("vexq4-operator-guide.pdf was not found"));
    // Put one beside the module for the rest of the test.
    WriteFile(guide, "%PDF-1.4\n");
  }
  ui.boxes.clear();
  EXPECT_TRUE(window->OpenOperatorGuide());
  EXPECT_TRUE(ui.boxes.empty());
  ASSERT_EQ(ui.opened.size(), 1u);
  EXPECT_TRUE(ui.opened[0].endsWith("vexq4-operator-guide.pdf"));
  if (!someGuide) fs::remove(guide);
}

// Fast reads, the default: the Control menu's entry turns them off for the
// standard wait before each query, which a read of all settings feels;
// the choice is kept and the status bar says it.
TEST_F(StudioTest, ReadsAreFastUntilTurnedOffAndTheChoiceIsKept) {
  studio::StudioOptions options = NoLayout();
  options.keepLayout = true;
  auto window = MakeWindow(true, options);
  EXPECT_TRUE(window->fastReadsAction()->isChecked());
  EXPECT_EQ(window->ReadsText(), "Fast reads (15 ms)");
  // Synchronize Program: a read of all settings, in virtual time.
  const auto timed = [](CXVexCamCtrl& c) {
    const std::uint32_t start = platform::TickCount();
    EXPECT_EQ(c.ReadAllFromCamera(), 0);
    return platform::TickCount() - start;
  };
  const std::uint32_t fast = timed(*window->control());
  window->fastReadsAction()->trigger();
  EXPECT_EQ(window->ReadsText(), "Standard reads");
  const std::uint32_t standard = timed(*window->control());
  EXPECT_LT(fast * 2, standard) << fast << " ms against " << standard << " ms";
  window.reset();
  EXPECT_NE(ReadFile(dir / "vexq4-studio.conf").find("fastReads=false"), std::string::npos);

  auto again = MakeWindow(true, options);
  EXPECT_FALSE(again->fastReadsAction()->isChecked());
  EXPECT_EQ(again->fastReadsAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
  EXPECT_EQ(timed(*again->control()), standard);
  again->fastReadsAction()->trigger();
  EXPECT_EQ(again->ReadsText(), "Fast reads (15 ms)");
  EXPECT_NE(ReadFile(dir / "vexq4-studio.conf").find("fastReads=true"), std::string::npos);
}

// The choice in the settings file as people write it; a word the studio
// does not know is refused and said, and fast reads stay on, as without
// the line.
TEST_F(StudioTest, FastReadsLineOfTheSettingsFileTakesTheWordsPeopleWrite) {
  studio::StudioOptions options = NoLayout();
  options.keepLayout = true;
  const auto stored = [&](const std::string& line) {
    WriteFile(dir / "vexq4-studio.conf", "[camera]\n" + line + "\n");
    ui.boxes.clear();
    auto window = MakeWindow(false, options);
    EXPECT_TRUE(ui.boxes.empty() || ui.boxes[0].text.contains("refused")) << line;
    return window->fastReadsAction()->isChecked();
  };
  EXPECT_TRUE(stored("# no fastReads line"));
  for (const char* off : {"no", "off", "false", "0", "No", "OFF", " False "})
    EXPECT_FALSE(stored(std::string("fastReads=") + off)) << off;
  EXPECT_TRUE(ui.boxes.empty());
  for (const char* on : {"yes", "on", "true", "1", "YES", "On"})
    EXPECT_TRUE(stored(std::string("fastReads=") + on)) << on;
  EXPECT_TRUE(ui.boxes.empty());

  for (const char* bad : {"maybe", "2", "no, thanks"}) {
    EXPECT_TRUE(stored(std::string("fastReads=") + bad)) << bad;
    ASSERT_EQ(ui.boxes.size(), 1u) << bad;
    EXPECT_TRUE(ui.boxes[0].text.contains(QStringLiteral("fastReads=") + bad))
        << ui.boxes[0].text.toStdString();
    EXPECT_TRUE(ui.boxes[0].text.contains("yes or no, on or off, true or false, 1 or 0"));
    EXPECT_TRUE(ui.boxes[0].text.contains("Fast reads stay on"));
  }
}

// With fast reads on, VEXQ4_QUERY_DRAIN_MS chooses the wait as the library
// takes it: a value it cannot take is ignored, noted and shown as such.
// Turned off, the standard wait serves whatever the variable says.
TEST_F(StudioTest, StatusBarShowsTheQueryDrainInUse) {
  const auto shown = [&](const std::string& value, bool off = false) {
    ScopedEnv drain("VEXQ4_QUERY_DRAIN_MS", value);
    auto window = MakeWindow(false);
    if (off) window->fastReadsAction()->trigger();
    const bool noted = std::any_of(
        window->eventLog()->entries().begin(), window->eventLog()->entries().end(),
        [](const EventLog::Entry& e) { return e.text.contains("milliseconds; it is ignored"); });
    return std::pair{window->ReadsText().toStdString(), noted};
  };
  EXPECT_EQ(shown("20"), std::pair(std::string("Reads: 20 ms (VEXQ4_QUERY_DRAIN_MS)"), false));
  EXPECT_EQ(shown("0"), std::pair(std::string("Standard reads (VEXQ4_QUERY_DRAIN_MS=0)"), false));
  EXPECT_EQ(shown("20", true), std::pair(std::string("Standard reads"), false));
  EXPECT_EQ(shown("abc"),
            std::pair(std::string("Fast reads (15 ms; VEXQ4_QUERY_DRAIN_MS=abc ignored)"), true));
  EXPECT_EQ(shown("101"),
            std::pair(std::string("Fast reads (15 ms; VEXQ4_QUERY_DRAIN_MS=101 ignored)"), true));
  EXPECT_EQ(shown("<b>15 ms</b> and a great deal more").first,
            "Fast reads (15 ms; VEXQ4_QUERY_DRAIN_MS=<b>15 ms</b> and\u2026 ignored)");
}

// File > Compare with Settings File...: the differences marked in words,
// and Apply Differences sends only those.
TEST_F(StudioTest, CompareWindowMarksTheDifferencesAndAppliesOnlyThem) {
  auto window = MakeWindow(true);
  CXVexCamCtrl& c = *window->control();
  const std::string file = (dir / "line3.cam").string();
  ASSERT_EQ(c.ReadAllFromCamera(), 0);
  ASSERT_EQ(c.SaveSettingsFile(file), model::Status::kOk);
  link->camera().SetValue("GA", 80);
  link->camera().SetValue("WA", 5);
  link->camera().ClearLog();

  ui.files.push_back({ctl::UiServices::FileOutcome::kOk, QString::fromStdString(file)});
  window->CompareWithSettingsFile();
  studio::CompareWindow& compare = *window->compareWindow();
  EXPECT_TRUE(compare.isVisible());
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_FALSE(ui.dialogs[0].save);
  QTreeWidget& table = *compare.table();
  ASSERT_EQ(table.topLevelItemCount(), 30);  // Continuous AWB: no gain keys
  std::vector<std::string> marked;
  for (int i = 0; i < table.topLevelItemCount(); ++i) {
    const QTreeWidgetItem& item = *table.topLevelItem(i);
    if (item.text(3) != "differs") continue;
    EXPECT_TRUE(item.font(0).bold());
    marked.push_back(item.text(0).toStdString() + " " + item.text(1).toStdString() + " " +
                     item.text(2).toStdString());
  }
  EXPECT_EQ(marked, (std::vector<std::string>{"AutoWhiteAreaStr Middle Full Area",
                                              "MasterGainLevel 80 0"}));
  EXPECT_EQ(compare.summary(), "2 of 30 settings differ.");
  EXPECT_TRUE(compare.applyButton()->isEnabled());
  const std::vector<std::string> reads = Wire();  // queries only: nothing sent
  EXPECT_TRUE(std::none_of(reads.begin(), reads.end(),
                           [](const std::string& l) { return l.find('?') == std::string::npos; }));

  link->camera().ClearLog();
  compare.applyButton()->click();
  std::vector<std::string> commands;
  for (const std::string& line : Wire())
    if (line.find('?') == std::string::npos) commands.push_back(line);
  EXPECT_EQ(commands, (std::vector<std::string>{"GA=0", "WA=0"}));
  EXPECT_EQ(compare.differences(), 0);
  EXPECT_FALSE(compare.applyButton()->isEnabled());
  EXPECT_TRUE(compare.summary().startsWith("Applied 2 settings."))
      << compare.summary().toStdString();

  // A file that is none: said, nothing read.
  platform::ProfileDocument doc;
  ASSERT_TRUE(doc.Load(file));
  ASSERT_TRUE(doc.Set("Gain", "Knee Slope for Red", "0"));
  ASSERT_TRUE(doc.Save(file));
  link->camera().ClearLog();
  EXPECT_FALSE(compare.Compare(QString::fromStdString(file)));
  EXPECT_TRUE(Wire().empty());
  EXPECT_TRUE(compare.summary().contains("\"Knee Slope for Red=0\" is outside 1..4095"))
      << compare.summary().toStdString();
  EXPECT_EQ(table.topLevelItemCount(), 0);
}

TEST_F(StudioTest, ScreenshotsPictureEveryWindowAtItsSize) {
  auto window = MakeWindow(true);
  CXVexCamCtrl& c = *window->control();
  QString error;
  const auto shots = studio::RenderScreenshots(
      c, window.get(), QString::fromStdString((dir / "shots").string()), &error);
  ASSERT_EQ(shots.size(), 2u + ctl::kToolWindowCount) << error.toStdString();

  std::vector<QString> expected = {"strip"};
  for (int i = 0; i < ctl::kToolWindowCount; ++i) expected.push_back(c.Frame(i).caption());
  expected.push_back(window->objectName());
  for (std::size_t i = 0; i < shots.size(); ++i) {
    SCOPED_TRACE(shots[i].window.toStdString());
    EXPECT_EQ(shots[i].window, expected[i]);
    EXPECT_EQ(fs::path(shots[i].file.toStdString()).filename().string(),
              studio::ScreenshotFileName(expected[i]).toStdString());
    const QImage image(shots[i].file);
    ASSERT_FALSE(image.isNull());
    QWidget* pictured = i + 1 == shots.size() ? window.get() : studio::FindWindow(c, expected[i]);
    ASSERT_NE(pictured, nullptr);
    EXPECT_EQ(image.size(), pictured->size() * pictured->devicePixelRatio());
    EXPECT_EQ(image.size(), shots[i].size);
    EXPECT_GT(InkShare(image), 0.002);
  }
  // The windows are as they were, and the profile did not hear of it.
  for (int i = 0; i < ctl::kToolWindowCount; ++i) EXPECT_EQ(c.ToolWindowVisible(i), 0);
  EXPECT_EQ(Profile("Gain", "Is Visible"), "0");

  EXPECT_EQ(studio::ScreenshotFileName("Shutter and Sync Signals"), "shutter-and-sync-signals.png");
  EXPECT_EQ(studio::ScreenshotFileName(" A -- b! "), "a-b.png");
  WriteFile(dir / "taken", "x");
  EXPECT_TRUE(studio::RenderScreenshots(c, nullptr,
                                        QString::fromStdString((dir / "taken").string()), &error)
                  .empty());
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace vexq4::testing
