// vexq4-studio: the control's host, for operators (its strip and tool
// windows on the desktop) and integrators (every member by name, every
// event logged; a script mode that drives the control line by line).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFont>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "compare_window.h"
#include "event_log.h"
#include "host.h"
#include "member_browser.h"
#include "screenshots.h"
#include "script.h"
#include "script_feed.h"
#include "stop_signals.h"
#include "studio_window.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/module.h"
#include "vexq4/control/ui_services.h"
#include "vexq4/platform/ini_file.h"
#include "vexq4/sim/pty_server.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kHostFailure = 1;
constexpr int kMinFontPoints = 4;
constexpr int kMaxFontPoints = 72;

const char* const kDescription =
    "The RX-Q4 camera control's host: its strip and tool windows for operators,\n"
    "and a script mode that drives the control one command per line.\n"
    "\n"
    "Examples:\n"
    "  vexq4-studio --sim                      the desktop program with a simulated camera\n"
    "  vexq4-studio -platform offscreen --sim --script -   commands from standard input\n"
    "  vexq4-studio --register                 register the control (registry folder)\n"
    "  vexq4-studio -platform offscreen --screenshots docs/images   pictures of every window\n"
    "  vexq4-studio --sim --font-size 14       larger text (QT_SCALE_FACTOR=1.5 scales it all)\n"
    "\n"
    "Script commands: get NAME, put NAME VALUE, call NAME [ARG...], members,\n"
    "echo TEXT, answer OK|Cancel|Yes|No, file PATH|cancel|fail, error-display on|off,\n"
    "wait MS, messages on|off, ui windows|dump|entries|tips|click|select|text|spin|close|escape.\n"
    "\n"
    "Exit status: 0 success; 1 the host failed (no control); 2 a script line could\n"
    "not be run, or a usage error.";

// While the pictures are taken nobody is there to answer: a message box
// takes its first button, a file dialog is cancelled, nothing is opened,
// and each is reported on standard error, so a run in CI never waits.
class UnattendedUi final : public vexq4::control::UiServices {
 public:
  Answer MessageBox(QWidget*, const QString& caption, const QString& text, Buttons buttons,
                    Icon) override {
    std::fprintf(stderr, "vexq4-studio: message box \"%s\": %s\n", qPrintable(caption),
                 qPrintable(text.simplified()));
    return buttons == Buttons::kYesNo ? Answer::kYes : Answer::kOk;
  }
  FileOutcome FileDialog(QWidget*, const FileRequest&) override { return {}; }
  void OpenWithShell(const QString& target) override {
    std::fprintf(stderr, "vexq4-studio: not opening %s\n", qPrintable(target));
  }
  void SetWaitCursor(bool) override {}
  QSize ScreenSize() override { return vexq4::control::DesktopUiServices().ScreenSize(); }
};

// What the studio's picture shows: the camera on COM1 and a setting put
// through the member browser, with its events and message line logged.
void PutSomethingOnTheStudio(vexq4::studio::StudioWindow& studio) {
  namespace ctl = vexq4::control;
  vexq4::studio::MemberBrowser& browser = *studio.memberBrowser();
  auto put = [&](std::string_view name, const char* value) {
    if (const ctl::MemberInfo* member = ctl::FindMember(name); member && browser.Select(*member)) {
      browser.SetEntry(-1, QString::fromLatin1(value));
      browser.Put();
    }
  };
  // The port, the one value whose setting opens a line, and the master gain.
  const auto& notifications = vexq4::model::Notifications();
  const auto port = std::find_if(notifications.begin(), notifications.end(),
                                 [](const vexq4::model::NotificationRow& n) { return n.open; });
  if (!studio.control()->IsOnline()) put(port->property, "1");
  put(vexq4::model::FindSetting("GA")->property, "100");
}

// The compare window against a settings file of the camera that differs
// in three settings, for its picture.
QWidget* ShowTheCompareWindow(vexq4::studio::StudioWindow& studio, const QTemporaryDir& folder) {
  const QString path = folder.filePath(QStringLiteral("line3.cam"));
  CXVexCamCtrl& control = *studio.control();
  // The camera's own settings, then three of them otherwise.
  control.ReadAllFromCamera();
  control.SaveSettingsFile(path.toStdString());
  vexq4::platform::ProfileDocument doc;
  const std::filesystem::path file(path.toStdString());
  if (doc.Load(file) && doc.Set("Shutter", "Shutter Speed", "1/250") &&
      doc.Set("Gain", "Master Gain Level", "80") && doc.Set("Gain", "Auto White Area", "Middle"))
    doc.Save(file);
  vexq4::studio::CompareWindow* window = studio.compareWindow();
  window->show();
  window->Compare(path);
  window->table()->scrollToItem(window->table()->topLevelItem(0));
  return window;
}

// Whether the command line asks for something that shows no window (help,
// registration) or renders off the screen (pictures): then no display is
// needed, so a shell on a server or CI can run it as it stands.
bool NeedsNoDisplay(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    for (std::string_view option : {"--help", "-h", "--register", "--unregister", "--screenshots"})
      if (arg == option || (option == "--screenshots" && arg.starts_with("--screenshots=")))
        return true;
  }
  return false;
}

bool HasOption(int argc, char** argv, std::string_view option) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == option || (arg.starts_with(option) && arg.substr(option.size()).starts_with('=')))
      return true;
  }
  return false;
}

// The Qt platform when the command line and the environment name none. A
// script or a shell on a server has no display: a script then runs off the
// screen as with -platform offscreen (its windows behave the same), and the
// desktop program says why it cannot start instead of Qt's abort.
enum class DisplayChoice { kAsGiven, kOffscreen, kMissing };
DisplayChoice ChooseDisplay(int argc, char** argv) {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || HasOption(argc, argv, "-platform") ||
      HasOption(argc, argv, "--platform"))
    return DisplayChoice::kAsGiven;
  if (NeedsNoDisplay(argc, argv)) return DisplayChoice::kOffscreen;
  if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    return DisplayChoice::kAsGiven;
  return HasOption(argc, argv, "--script") ? DisplayChoice::kOffscreen : DisplayChoice::kMissing;
}

// Why the registry folder cannot take the control's entries.
std::string RegistryProblem(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // The nearest part of the path that exists tells: a file where a folder
  // should be, or a folder we may not write.
  for (fs::path at = folder; !at.empty(); at = at.parent_path()) {
    if (!fs::exists(at, ec)) {
      if (at == at.parent_path()) break;
      continue;
    }
    if (!fs::is_directory(at, ec))
      return at == folder ? std::string("it is a file, not a folder")
                          : at.string() + " is a file, not a folder";
    if (::access(at.c_str(), W_OK) != 0) return at.string() + ": " + std::strerror(errno);
    break;
  }
  return "its entries could not be written";
}

// The command line's options, in the order --help lists them.
struct Options {
  QCommandLineOption sim{QStringLiteral("sim"),
                         QStringLiteral("Start a simulated camera on COM1 (a pseudo-terminal).")};
  QCommandLineOption script{
      QStringLiteral("script"),
      QStringLiteral("Run the commands of FILE (- for standard input), then exit."),
      QStringLiteral("FILE")};
  QCommandLineOption registering{
      QStringLiteral("register"),
      QStringLiteral("Register the control in the registry folder and exit.")};
  QCommandLineOption unregistering{QStringLiteral("unregister"),
                                   QStringLiteral("Remove the control's registration and exit.")};
  QCommandLineOption screenshots{
      QStringLiteral("screenshots"),
      QStringLiteral(
          "Render the strip, every tool window and the studio's window into PNG files in DIR,\n"
          "against a simulated camera with a fresh profile, then exit."),
      QStringLiteral("DIR")};
  QCommandLineOption fontSize{
      QStringLiteral("font-size"),
      QStringLiteral("Use a default font of POINTS points (%1 to %2), as a desktop set to larger "
                     "text would; the windows grow to fit it.")
          .arg(kMinFontPoints)
          .arg(kMaxFontPoints),
      QStringLiteral("POINTS")};
};

// Sets the platform for a run without a display; false after saying why
// the desktop program cannot start.
bool SetUpDisplay(int argc, char** argv) {
  switch (ChooseDisplay(argc, argv)) {
    case DisplayChoice::kOffscreen:
      qputenv("QT_QPA_PLATFORM", "offscreen");
      break;
    case DisplayChoice::kMissing:
      std::fputs(
          "vexq4-studio: no display to show the windows on (neither DISPLAY nor WAYLAND_DISPLAY "
          "is set); start it on the desktop, or give --script FILE to run a script without one\n",
          stderr);
      return false;
    case DisplayChoice::kAsGiven:
      break;
  }
  return true;
}

// Parses the command line; the exit status when the program ends here
// (help, a usage error), else nullopt.
std::optional<int> Parse(QCommandLineParser& parser, const Options& o) {
  parser.setApplicationDescription(QString::fromLatin1(kDescription));
  parser.addHelpOption();
  parser.addOptions({o.sim, o.script, o.registering, o.unregistering, o.screenshots, o.fontSize});
  if (!parser.parse(QApplication::arguments())) {
    std::fprintf(stderr, "vexq4-studio: %s\n", qPrintable(parser.errorText()));
    return kUsageError;
  }
  if (parser.isSet(QStringLiteral("help"))) {
    std::fputs(qPrintable(parser.helpText()), stdout);
    return 0;
  }
  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "vexq4-studio: unexpected argument %s (see --help)\n",
                 qPrintable(parser.positionalArguments().constFirst()));
    return kUsageError;
  }
  return std::nullopt;
}

// --screenshots with anything that shows no windows; false after saying so.
bool ScreenshotsAlone(const QCommandLineParser& parser, const Options& o) {
  if (!parser.isSet(o.screenshots) ||
      !(parser.isSet(o.script) || parser.isSet(o.registering) || parser.isSet(o.unregistering)))
    return true;
  std::fprintf(stderr, "vexq4-studio: --screenshots runs on its own (see --help)\n");
  return false;
}

// --font-size: the default font; false after saying why not.
bool SetFontSize(const QString& value) {
  bool ok = false;
  const double points = value.toDouble(&ok);
  if (!ok || !(points >= kMinFontPoints && points <= kMaxFontPoints)) {  // NaN too
    std::fprintf(stderr, "vexq4-studio: --font-size takes %d to %d points, not \"%s\"\n",
                 kMinFontPoints, kMaxFontPoints, qPrintable(value));
    return false;
  }
  QFont font = QApplication::font();
  font.setPointSizeF(points);
  QApplication::setFont(font);
  return true;
}

int Register(bool registering) {
  if ((registering ? DllRegisterServer() : DllUnregisterServer()) == 0) return 0;
  std::fprintf(stderr, "vexq4-studio: the control could not be %s in %s: %s\n",
               registering ? "registered" : "unregistered",
               vexq4::control::RegistryDirectory().c_str(),
               RegistryProblem(vexq4::control::RegistryDirectory()).c_str());
  return kHostFailure;
}

// Pictures show a fresh control: factory profile, nothing registered. The
// scratch folder holds them while they are taken; nullptr after saying why
// there is none.
std::unique_ptr<QTemporaryDir> FreshProfile(const QString& folder) {
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "vexq4-studio: cannot create the folder \"%s\" for the pictures\n",
                 qPrintable(folder));
    return nullptr;
  }
  auto scratch = std::make_unique<QTemporaryDir>();
  if (!scratch->isValid()) {
    std::fprintf(stderr, "vexq4-studio: no temporary folder for the pictures' profile\n");
    return nullptr;
  }
  qputenv("VEXQ4_PROFILE_DIR", scratch->path().toLocal8Bit());
  qputenv("VEXQ4_REGISTRY_DIR", scratch->filePath(QStringLiteral("registry")).toLocal8Bit());
  return scratch;
}

// The simulated camera on COM1, there before the control looks for a
// camera; nullptr after saying why it did not start.
std::unique_ptr<vexq4::sim::PtyServer> StartSimulator(bool screenshots) {
  auto sim = std::make_unique<vexq4::sim::PtyServer>();
  std::string error;
  if (!sim->Start(&error)) {
    std::fprintf(stderr, "vexq4-studio: cannot start the simulated camera: %s\n", error.c_str());
    return nullptr;
  }
  // Pictures are always of the simulated camera.
  setenv("VEXQ4_COM1", sim->slavePath().c_str(), screenshots ? 1 : 0);
  return sim;
}

// The script mode: the plain frame around the control, the commands of
// `input`; what the desktop adds (log, members, settings) would only get
// in the way.
int RunScript(vexq4::studio::ScriptInput& input, bool simulated) {
  // The runner is there before the control: what the control asks while
  // it is created (a stored value its windows reject) is printed and
  // answered like everything later, and no modal box waits for a click.
  vexq4::studio::ScriptRunner runner(stdout);
  auto window = std::make_unique<QMainWindow>();
  QString source;
  CXVexCamCtrl* control = vexq4::studio::CreateControl(window.get(), &source);
  if (!control) {
    std::fprintf(stderr, "vexq4-studio: the control could not be created\n");
    return kHostFailure;
  }
  runner.Attach(*control);
  window->setCentralWidget(control);
  window->setWindowTitle(simulated ? QStringLiteral("vexq4-studio - simulated camera on COM1")
                                   : QStringLiteral("vexq4-studio"));
  window->show();
  runner.SetClosedOutputHandler([] { vexq4::studio::StopSignals::Stop(SIGPIPE); });
  int status = 0;
  {
    vexq4::studio::ScriptFeed feed(runner, input.fd());
    feed.Start();
    status = QApplication::exec();
  }
  window.reset();  // the control goes while the runner still listens
  if (const int error = runner.outputError(); error != 0 && error != EPIPE) {
    std::fprintf(stderr, "vexq4-studio: cannot write the results to standard output: %s\n",
                 std::strerror(error));
    if (status == 0) status = kHostFailure;
  }
  return vexq4::studio::StopSignals::FinalStatus(status);
}

// The pictures of every window into `folder`, unattended.
int TakeScreenshots(CXVexCamCtrl& control, std::unique_ptr<vexq4::studio::StudioWindow> window,
                    const QString& folder) {
  UnattendedUi unattended;
  vexq4::control::SetUiServices(&unattended);
  const QTemporaryDir pictureFiles;
  QString error;
  const auto shots = vexq4::studio::RenderScreenshots(
      control, window.get(), folder, &error, [&] { PutSomethingOnTheStudio(*window); },
      [&] { return ShowTheCompareWindow(*window, pictureFiles); });
  window.reset();
  vexq4::control::SetUiServices(nullptr);
  if (shots.empty()) {
    std::fprintf(stderr, "vexq4-studio: %s\n", qPrintable(error));
    return kHostFailure;
  }
  for (const auto& shot : shots)
    std::printf("%s %dx%d \"%s\"\n", qPrintable(shot.file), shot.size.width(), shot.size.height(),
                qPrintable(shot.window));
  return 0;
}

// The desktop program, or its pictures (`screenshots`: the folder).
int RunStudio(const vexq4::sim::PtyServer* sim, const std::optional<QString>& screenshots) {
  QString source;
  CXVexCamCtrl* control = vexq4::studio::CreateControl(nullptr, &source);
  if (!control) {
    std::fprintf(stderr, "vexq4-studio: the control could not be created\n");
    return kHostFailure;
  }
  vexq4::studio::StudioOptions options;
  if (sim) options.simDevice = QString::fromStdString(sim->slavePath());
  options.controlSource = source;
  options.keepLayout = !screenshots;
  auto window = std::make_unique<vexq4::studio::StudioWindow>(control, options);
  // A picture is the same each time it is made: the log's clock stands
  // still at a made-up moment.
  if (screenshots)
    window->eventLog()->SetTimeSource([] { return QDateTime(QDate(2024, 5, 6), QTime(9, 30)); });
  window->show();
  if (screenshots) return TakeScreenshots(*control, std::move(window), *screenshots);
  QObject::connect(window.get(), &vexq4::studio::StudioWindow::closed, qApp,
                   &QCoreApplication::quit);
  const int status = QApplication::exec();
  window.reset();
  return vexq4::studio::StopSignals::FinalStatus(status);
}

}  // namespace

int main(int argc, char** argv) {
  if (!SetUpDisplay(argc, argv)) return kHostFailure;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vexq4-studio"));
  QApplication::setApplicationVersion(QStringLiteral(VEXQ4_VERSION));

  QCommandLineParser parser;
  const Options o;
  if (const auto exit = Parse(parser, o)) return *exit;
  if (parser.isSet(o.fontSize) && !SetFontSize(parser.value(o.fontSize))) return kUsageError;
  if (!ScreenshotsAlone(parser, o)) return kUsageError;
  if (parser.isSet(o.registering) || parser.isSet(o.unregistering))
    return Register(parser.isSet(o.registering));

  // The script's input, a file or standard input; a folder is refused
  // like a file that is not there.
  std::optional<vexq4::studio::ScriptInput> scriptInput;
  if (parser.isSet(o.script)) {
    QString error;
    auto opened = vexq4::studio::ScriptInput::Open(parser.value(o.script), &error);
    if (!opened) {
      std::fprintf(stderr, "vexq4-studio: %s\n", qPrintable(error));
      return kUsageError;
    }
    scriptInput.emplace(std::move(*opened));
  }

  std::optional<QString> screenshots;
  std::unique_ptr<QTemporaryDir> scratch;
  if (parser.isSet(o.screenshots)) {
    screenshots = parser.value(o.screenshots);
    scratch = FreshProfile(*screenshots);
    if (!scratch) return kHostFailure;
  }
  std::unique_ptr<vexq4::sim::PtyServer> sim;
  if (parser.isSet(o.sim) || screenshots) {
    sim = StartSimulator(screenshots.has_value());
    if (!sim) return kHostFailure;
  }

  const vexq4::studio::StopSignals stopSignals;
  if (scriptInput) return RunScript(*scriptInput, sim != nullptr);
  return RunStudio(sim.get(), screenshots);
}
