// vexq4-studio: the control's host, for operators (its strip and tool
// windows on the desktop) and integrators (every member by name, every
// event logged; a script mode that drives the control line by line).
#include <QApplication>
#include <QCommandLineParser>
#include <QMainWindow>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "host.h"
#include "script.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/module.h"
#include "vexq4/control/ui_services.h"
#include "vexq4/sim/pty_server.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kHostFailure = 1;

const char* const kDescription =
    "The RX-Q4 camera control's host: its strip and tool windows for operators,\n"
    "and a script mode that drives the control one command per line.\n"
    "\n"
    "Examples:\n"
    "  vexq4-studio --sim                      the desktop program with a simulated camera\n"
    "  vexq4-studio -platform offscreen --sim --script -   commands from standard input\n"
    "  vexq4-studio --register                 register the control (registry folder)\n"
    "\n"
    "Script commands: get NAME, put NAME VALUE, call NAME [ARG...], members,\n"
    "echo TEXT, answer OK|Cancel|Yes|No, file PATH|cancel|fail, error-display on|off,\n"
    "wait MS, messages on|off, ui windows|dump|entries|tips|click|select|text|spin|close|escape.\n"
    "\n"
    "Exit status: 0 success; 1 the host failed (no control); 2 a script line could\n"
    "not be run, or a usage error.";

// In script mode, what the control asks of the user while it is created
// (its Gain and Shutter windows report a stored value it rejects), before
// the script runner takes over: printed as the runner prints it, answered
// with the first button, so that no modal box waits for a click.
class CreationUi final : public vexq4::control::UiServices {
 public:
  CreationUi() { vexq4::control::SetUiServices(this); }
  ~CreationUi() override { vexq4::control::SetUiServices(nullptr); }
  CreationUi(const CreationUi&) = delete;
  CreationUi& operator=(const CreationUi&) = delete;

  Answer MessageBox(QWidget*, const QString& caption, const QString& text, Buttons buttons,
                    Icon) override {
    const bool yesNo = buttons == Buttons::kYesNo;
    const char* shown = yesNo ? "YesNo" : buttons == Buttons::kOkCancel ? "OKCancel" : "OK";
    Print(QStringLiteral("messagebox %1 %2 %3 -> %4")
              .arg(vexq4::studio::Quote(caption), vexq4::studio::Quote(text),
                   QString::fromLatin1(shown), yesNo ? QStringLiteral("Yes") : QStringLiteral("OK")));
    return yesNo ? Answer::kYes : Answer::kOk;
  }
  FileOutcome FileDialog(QWidget*, const FileRequest&) override { return {}; }
  void OpenWithShell(const QString& target) override {
    Print(QStringLiteral("open ") + vexq4::studio::Quote(target));
  }
  void SetWaitCursor(bool) override {}
  QSize ScreenSize() override { return vexq4::control::DesktopUiServices().ScreenSize(); }

 private:
  static void Print(const QString& line) {
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
  }
};

// Runs the script's lines one after the other on the user-interface thread.
// A reader thread hands over the lines, so timers and the control's windows
// keep running while the host waits for input; a line that arrives while
// a command runs a nested event loop waits for that command to finish.
class ScriptFeed : public QObject {
 public:
  ScriptFeed(vexq4::studio::ScriptRunner& runner, std::istream& in) : runner_(runner), in_(in) {}

  void Start() {
    std::thread([this] {
      std::string line;
      while (std::getline(in_, line))
        QMetaObject::invokeMethod(this, [this, line] { Add(line); }, Qt::QueuedConnection);
      QMetaObject::invokeMethod(this, [this] { End(); }, Qt::QueuedConnection);
    }).detach();
  }

 private:
  void Add(const std::string& line) {
    lines_.push_back(QString::fromStdString(line));
    Drain();
  }
  void End() {
    ended_ = true;
    Drain();
  }
  void Drain() {
    if (busy_) return;
    busy_ = true;
    while (!lines_.empty()) {
      const QString line = lines_.front();
      lines_.pop_front();
      runner_.Execute(line);
    }
    busy_ = false;
    if (ended_) QCoreApplication::exit(runner_.errors() > 0 ? kUsageError : 0);
  }

  vexq4::studio::ScriptRunner& runner_;
  std::istream& in_;
  std::deque<QString> lines_;
  bool busy_ = false;
  bool ended_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vexq4-studio"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromLatin1(kDescription));
  parser.addHelpOption();
  const QCommandLineOption simOption(QStringLiteral("sim"),
                                     QStringLiteral("Start a simulated camera on COM1 (a pseudo-terminal)."));
  const QCommandLineOption scriptOption(QStringLiteral("script"),
                                        QStringLiteral("Run the commands of FILE (- for standard input), then exit."),
                                        QStringLiteral("FILE"));
  const QCommandLineOption registerOption(QStringLiteral("register"),
                                          QStringLiteral("Register the control in the registry folder and exit."));
  const QCommandLineOption unregisterOption(QStringLiteral("unregister"),
                                            QStringLiteral("Remove the control's registration and exit."));
  parser.addOptions({simOption, scriptOption, registerOption, unregisterOption});
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
  if (parser.isSet(registerOption)) return DllRegisterServer() == 0 ? 0 : kHostFailure;
  if (parser.isSet(unregisterOption)) return DllUnregisterServer() == 0 ? 0 : kHostFailure;

  std::unique_ptr<std::ifstream> scriptFile;
  std::istream* scriptInput = nullptr;
  if (parser.isSet(scriptOption)) {
    const QString path = parser.value(scriptOption);
    if (path == QLatin1String("-")) {
      scriptInput = &std::cin;
    } else {
      scriptFile = std::make_unique<std::ifstream>(path.toStdString());
      if (!*scriptFile) {
        std::fprintf(stderr, "vexq4-studio: cannot read the script %s\n", qPrintable(path));
        return kUsageError;
      }
      scriptInput = scriptFile.get();
    }
  }

  // The simulated camera is there before the control looks for a camera.
  std::unique_ptr<vexq4::sim::PtyServer> sim;
  if (parser.isSet(simOption)) {
    sim = std::make_unique<vexq4::sim::PtyServer>();
    std::string error;
    if (!sim->Start(&error)) {
      std::fprintf(stderr, "vexq4-studio: cannot start the simulated camera: %s\n", error.c_str());
      return kHostFailure;
    }
    setenv("VEXQ4_COM1", sim->slavePath().c_str(), 0);
  }

  auto window = std::make_unique<QMainWindow>();
  QString source;
  auto creationUi = scriptInput ? std::make_unique<CreationUi>() : nullptr;
  CXVexCamCtrl* control = vexq4::studio::CreateControl(window.get(), &source);
  creationUi.reset();
  if (!control) {
    std::fprintf(stderr, "vexq4-studio: the control could not be created\n");
    return kHostFailure;
  }
  window->setCentralWidget(control);
  window->setWindowTitle(sim ? QStringLiteral("vexq4-studio - simulated camera on COM1")
                             : QStringLiteral("vexq4-studio"));

  int status = 0;
  if (scriptInput) {
    vexq4::studio::ScriptRunner runner(*control, stdout);
    window->show();
    ScriptFeed feed(runner, *scriptInput);
    feed.Start();
    status = QApplication::exec();
    window.reset();  // the control goes while the runner still listens
  } else {
    window->show();
    status = QApplication::exec();
    window.reset();
  }
  return status;
}
