// The studio's desktop window.
#include "studio_window.h"

#include <sys/stat.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>
#include <optional>

#include "compare_window.h"
#include "event_log.h"
#include "host_lines.h"
#include "member_browser.h"
#include "vexq4/control/keyboard.h"
#include "vexq4/control/module.h"
#include "vexq4/control/tool_windows.h"
#include "vexq4/control/ui_services.h"
#include "vexq4/platform/ini_file.h"

namespace vexq4::studio {

namespace ctl = vexq4::control;
using ctl::UiServices;

namespace {

const QString kCaption = QStringLiteral("vexq4-studio");
constexpr int kLayoutVersion = 1;
const QString kFastReadsKey = QStringLiteral("camera/fastReads");

// Whether the settings file may be read and written: missing, or a
// regular file. A FIFO of that name would block the program at its start,
// deaf to everything; a device is no place for a layout either.
bool SettingsFileUsable(const QString& path) {
  struct stat status {};
  if (::stat(QFile::encodeName(path).constData(), &status) != 0) return errno == ENOENT;
  return S_ISREG(status.st_mode);
}

// Passes every request on and notes whether the shell was asked to open
// something: how the studio learns that the control found its guide.
class OpenProbe final : public UiServices {
 public:
  explicit OpenProbe(UiServices& inner) : inner_(inner) {}
  bool opened = false;
  bool told = false;  // the control said why itself

  Answer MessageBox(QWidget* parent, const QString& caption, const QString& text, Buttons buttons,
                    Icon icon) override {
    told = true;
    return inner_.MessageBox(parent, caption, text, buttons, icon);
  }
  FileOutcome FileDialog(QWidget* parent, const FileRequest& request) override {
    return inner_.FileDialog(parent, request);
  }
  void OpenWithShell(const QString& target) override {
    opened = true;
    inner_.OpenWithShell(target);
  }
  void SetWaitCursor(bool on) override { inner_.SetWaitCursor(on); }
  QSize ScreenSize() override { return inner_.ScreenSize(); }

 private:
  UiServices& inner_;
};

// A yes/no line of the settings file in the words people write; nothing
// for anything else.
std::optional<bool> SwitchWord(const QString& text) {
  const QString word = text.trimmed().toLower();
  for (const char* yes : {"yes", "on", "true", "1"})
    if (word == QLatin1String(yes)) return true;
  for (const char* no : {"no", "off", "false", "0"})
    if (word == QLatin1String(no)) return false;
  return std::nullopt;
}

// A value from the environment in the status bar: a few words at most.
QString Shortened(const QString& text) {
  constexpr int kMost = 16;
  return text.size() <= kMost ? text : text.left(kMost) + QChar(0x2026);
}

QString Hex(std::int32_t code) {
  return QString::asprintf("0x%08X", static_cast<std::uint32_t>(code));
}

}  // namespace

StudioWindow::StudioWindow(CXVexCamCtrl* control, StudioOptions options)
    : control_(control), options_(std::move(options)) {
  setObjectName(QStringLiteral("vexq4-studio"));
  setWindowIcon(QIcon(QStringLiteral(":/vexq4-studio/vexq4-studio.svg")));

  // The strip keeps its own size at the top left; the docks take the rest.
  auto* centre = new QWidget(this);
  auto* stripRow = new QHBoxLayout;
  // The control's own extent, as on any form.
  control_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  stripRow->addWidget(control_);
  stripRow->addStretch();
  auto* hint = new QLabel(
      QStringLiteral("The control's buttons show and hide its tool windows: Shutter, Gain, "
                     "Communication and About."),
      centre);
  hint->setWordWrap(true);
  hint->setEnabled(false);
  auto* layout = new QVBoxLayout(centre);
  layout->addLayout(stripRow);
  layout->addWidget(hint);
  layout->addStretch();
  setCentralWidget(centre);
  // The main window gives its centre no more height than its minimum, which
  // knows nothing of the wrapped hint's lines: the event filter asks for
  // them at each width.

  log_ = new EventLog(*control_, this);
  logDock_ = new QDockWidget(QStringLiteral("Event log"), this);
  logDock_->setObjectName(QStringLiteral("event log dock"));
  logDock_->setWidget(log_);
  addDockWidget(Qt::BottomDockWidgetArea, logDock_);

  browser_ = new MemberBrowser(*control_, this);
  memberDock_ = new QDockWidget(QStringLiteral("Members"), this);
  memberDock_->setObjectName(QStringLiteral("members dock"));
  memberDock_->setWidget(browser_);
  addDockWidget(Qt::RightDockWidgetArea, memberDock_);

  connect(browser_, &MemberBrowser::Requested, log_,
          [this](const QString& r) { log_->Note(QStringLiteral("> ") + r); });
  connect(browser_, &MemberBrowser::Answered, log_,
          [this](const QString& a) { log_->Note(QStringLiteral("< ") + a); });

  reads_ = new QLabel(this);
  reads_->setTextFormat(Qt::PlainText);  // it may show the environment's text
  statusBar()->addPermanentWidget(reads_);
  connection_ = new QLabel(this);
  connection_->setAccessibleName(QStringLiteral("Connection"));
  statusBar()->addPermanentWidget(connection_);
  statusBar()->showMessage(QStringLiteral("Control from the ") + options_.controlSource);

  BuildMenus();
  control_->AddEventSink(this);
  UpdateTitle();
  // The member list takes the whole right side; the log sits under the strip.
  setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
  setCorner(Qt::TopRightCorner, Qt::RightDockWidgetArea);
  resize(1000, 680);
  resizeDocks({memberDock_}, {540}, Qt::Horizontal);
  resizeDocks({logDock_}, {520}, Qt::Vertical);
  NameParts();
  // Enter on a focused button of this window clicks it, as Space does; and
  // the centre's resizes.
  qApp->installEventFilter(this);
  if (options_.keepLayout) RestoreLayout();
  SetFastReads(StoredFastReads());
  if (!hostReads_.ignoredVariable.empty())
    NoteWhenShown(
        QStringLiteral("VEXQ4_QUERY_DRAIN_MS=%1 is not 0 to %2 milliseconds; it is ignored")
            .arg(QString::fromStdString(hostReads_.ignoredVariable))
            .arg(CVexCamInterface::kMaxQueryDrainMs));
}

bool StudioWindow::StoredFastReads() {
  if (!options_.keepLayout || !SettingsFileUsable(SettingsPath())) return true;
  const QVariant stored = QSettings(SettingsPath(), QSettings::IniFormat).value(kFastReadsKey);
  if (!stored.isValid()) return true;
  // A comma makes QSettings read a list: joined again, as written.
  const QString text = stored.typeId() == QMetaType::QStringList
                           ? stored.toStringList().join(QStringLiteral(", "))
                           : stored.toString();
  if (const std::optional<bool> on = SwitchWord(text)) return *on;
  const QString why = QStringLiteral(
                          "The line fastReads=%1 of the studio's settings file %2 was refused: it "
                          "takes yes or no, on or off, true or false, 1 or 0. Fast reads stay on.")
                          .arg(text, SettingsPath());
  NoteWhenShown(why);
  // Said once the window is up, as the control says its refused values.
  QTimer::singleShot(0, this, [this, why] {
    ctl::Ui().MessageBox(this, kCaption, why, UiServices::Buttons::kOk, UiServices::Icon::kWarning);
  });
  return true;
}

void StudioWindow::NoteWhenShown(const QString& text) {
  // A long line noted before the log has its width scrolls it sideways.
  QTimer::singleShot(0, log_, [this, text] { log_->Note(text); });
}

// What a screen reader needs beyond the widgets' own texts: names for the
// window's frame parts (menu bar, menus, the status bar's grip).
void StudioWindow::NameParts() {
  menuBar()->setAccessibleName(QStringLiteral("Menu bar"));
  for (QMenu* menu : menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
    QString title = menu->title();
    menu->setAccessibleName(title.remove(QLatin1Char('&')));
  }
  statusBar()->setAccessibleName(QStringLiteral("Status bar"));
  for (QWidget* grip : statusBar()->findChildren<QSizeGrip*>())
    grip->setAccessibleName(QStringLiteral("Resize the window"));
}

bool StudioWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == centralWidget()) {
    QWidget* centre = centralWidget();
    centre->setMinimumHeight(centre->layout()->totalHeightForWidth(centre->width()));
    return false;
  }
  if (event->type() == QEvent::KeyPress) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this && ctl::ClickFocusedButtonOnEnter(widget, event))
      return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void StudioWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (tabOrderSet_ || !control_ || !control_->MainStrip()) return;
  // Tab in reading order: the control's strip at the top left, the event
  // log under it, then the member browser on the right. (The strip exists
  // once the control has been shown, just before this window.)
  tabOrderSet_ = true;
  std::vector<QWidget*> order;
  for (QWidget* part : {static_cast<QWidget*>(control_.data()), static_cast<QWidget*>(log_),
                        static_cast<QWidget*>(browser_)}) {
    const std::vector<QWidget*> inside = ctl::ReadingOrder(part);
    order.insert(order.end(), inside.begin(), inside.end());
  }
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

StudioWindow::~StudioWindow() {
  // The drain is the process's: back to the library's own choice.
  CVexCamInterface::SetQueryDrainTime(-1);
  // The control goes first, while the docks still listen: closing its
  // connection fires events.
  log_->Detach();
  browser_->Detach();
  if (control_) {
    control_->RemoveEventSink(this);
    delete control_.data();
  }
}

CompareWindow* StudioWindow::compareWindow() {
  if (!compare_) compare_ = new CompareWindow(*control_, this);
  return compare_;
}

void StudioWindow::CompareWithSettingsFile() {
  CompareWindow* window = compareWindow();
  window->show();
  window->raise();
  window->activateWindow();
  window->ChooseAndCompare();
}

void StudioWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  QAction* save =
      file->addAction(QStringLiteral("&Save event log..."), log_, &EventLog::SaveWithDialog);
  save->setShortcut(QKeySequence::Save);
  file->addAction(QStringLiteral("&Compare with Settings File..."), this,
                  [this] { CompareWithSettingsFile(); });
  file->addSeparator();
  QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
  quit->setShortcut(QKeySequence::Quit);

  QMenu* control = menuBar()->addMenu(QStringLiteral("&Control"));
  control->addAction(QStringLiteral("&Properties..."), this, &StudioWindow::ShowProperties);
  alwaysOnTop_ = control->addAction(QStringLiteral("Always on &top"));
  alwaysOnTop_->setCheckable(true);
  alwaysOnTop_->setChecked(control_->Frame(0).alwaysOnTop());
  alwaysOnTop_->setToolTip(
      QStringLiteral("Keeps the tool windows above other windows (rebuilds and hides them)"));
  connect(alwaysOnTop_, &QAction::triggered, this, &StudioWindow::SetAlwaysOnTop);
  fastReads_ = control->addAction(QStringLiteral("&Fast reads"));
  fastReads_->setObjectName(QStringLiteral("fast reads"));
  fastReads_->setCheckable(true);
  fastReads_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
  fastReads_->setToolTip(
      QStringLiteral("On (the default), queries wait for %1 ms of silence. Off, each waits "
                     "for a whole empty read, about 101 ms on a serial port and 1.2 s over a "
                     "Camera Link grabber: Synchronize Program takes 4 s, or 44 s over a "
                     "grabber, instead of 1 s. Turn it off for a camera that answers long "
                     "after its time-out.")
          .arg(CVexCamInterface::kFastReadsDrainMs));
  connect(fastReads_, &QAction::triggered, this, [this](bool on) {
    SetFastReads(on);
    if (!options_.keepLayout || !SettingsFileUsable(SettingsPath())) return;
    QSettings settings(SettingsPath(), QSettings::IniFormat);
    settings.setValue(kFastReadsKey, on);
    settings.sync();
    if (settings.status() != QSettings::NoError)
      statusBar()->showMessage(QStringLiteral("The fast-reads choice could not be saved to ") +
                               SettingsPath());
  });
  // The About window can change it too: the menu shows the frames' choice.
  connect(control, &QMenu::aboutToShow, this, [this] {
    if (control_) alwaysOnTop_->setChecked(control_->Frame(0).alwaysOnTop());
  });
  control->addSeparator();
  control->addAction(QStringLiteral("&Register the control"), this, [this] { Register(); });
  control->addAction(QStringLiteral("&Unregister the control"), this, [this] { Unregister(); });
  control->addSeparator();
  control->addAction(QStringLiteral("&About the control"), this, [this] {
    if (control_) control_->AboutBox();
  });

  // The tool windows from the keyboard: each entry does what the strip's
  // button does, from any of the program's windows (a tool window too).
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  for (int i = 0; i < ctl::kToolWindowCount; ++i) {
    QAction* show = view->addAction(control_->Frame(i).caption());
    show->setCheckable(true);
    show->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + i)));
    show->setShortcutContext(Qt::ApplicationShortcut);
    connect(show, &QAction::triggered, this, [this, i] { ToggleToolWindow(i); });
    toolWindowActions_[static_cast<std::size_t>(i)] = show;
  }
  connect(view, &QMenu::aboutToShow, this, &StudioWindow::UpdateToolWindowActions);
  view->addSeparator();
  view->addAction(logDock_->toggleViewAction());
  view->addAction(memberDock_->toggleViewAction());

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  guide_ =
      help->addAction(QStringLiteral("&Operator's guide"), this, [this] { OpenOperatorGuide(); });
  guide_->setShortcut(QKeySequence::HelpContents);
  help->addAction(QStringLiteral("&About vexq4-studio"), this, &StudioWindow::AboutStudio);
}

void StudioWindow::ToggleToolWindow(int index) {
  if (!control_) return;
  QWidget* frame = control_->FrameWindow(index);
  const bool hadKeyboard = frame && frame->isActiveWindow();
  control_->OnToolbarCommand(CXVexCamCtrl::kToolbarCommands[static_cast<std::size_t>(index)]);
  UpdateToolWindowActions();
  // Opened from the keyboard, the window takes the keyboard; closed, it
  // gives it back here.
  frame = control_->FrameWindow(index);
  if (frame && frame->isVisible())
    frame->activateWindow();
  else if (hadKeyboard)
    activateWindow();
}

void StudioWindow::UpdateToolWindowActions() {
  for (int i = 0; i < ctl::kToolWindowCount; ++i)
    toolWindowActions_[static_cast<std::size_t>(i)]->setChecked(
        control_ && control_->ToolWindowVisible(i) != 0);
}

// ---- Title.
QString StudioWindow::TitleText() const {
  if (!control_) return kCaption;
  QString connection;
  const vexq4::hosts::ConnectionNumbers numbers = vexq4::hosts::NumbersOf(*control_);
  if (numbers.grabber > 0) {
    connection = QStringLiteral("frame grabber %1").arg(numbers.grabber);
  } else if (numbers.port > 0) {
    const int port = numbers.port;
    QString device = qEnvironmentVariable(qPrintable(QStringLiteral("VEXQ4_COM%1").arg(port)));
    if (device.isEmpty()) device = QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (!options_.simDevice.isEmpty() && device == options_.simDevice)
      device = QStringLiteral("simulated camera");
    connection = QStringLiteral("COM%1 (%2)").arg(port).arg(device);
  } else {
    connection = QStringLiteral("no port");
    if (!options_.simDevice.isEmpty()) connection += QStringLiteral(" (simulated camera on COM1)");
  }
  return QStringLiteral("%1 - %2 - %3")
      .arg(kCaption, connection,
           control_->IsOnline() ? QStringLiteral("online") : QStringLiteral("offline"));
}

void StudioWindow::UpdateTitle() {
  const QString title = TitleText();
  if (title == windowTitle()) return;
  setWindowTitle(title);
  connection_->setText(title.mid(kCaption.size() + 3));
}

void StudioWindow::OnEvent(const ctl::MemberInfo&) {
  // The title names the connection; an event may have changed it.
  UpdateTitle();
}

// ---- Layout.
QString StudioWindow::SettingsPath() {
  return QString::fromStdString(
      (vexq4::platform::ProfileDirectory() / "vexq4-studio.conf").string());
}

void StudioWindow::RestoreLayout() {
  if (!SettingsFileUsable(SettingsPath())) {
    statusBar()->showMessage(SettingsPath() +
                             QStringLiteral(" is not a regular file: the window's layout is "
                                            "neither read from it nor saved to it"));
    return;
  }
  QSettings settings(SettingsPath(), QSettings::IniFormat);
  restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
  restoreState(settings.value(QStringLiteral("window/state")).toByteArray(), kLayoutVersion);
}

void StudioWindow::SaveLayout() {
  if (!SettingsFileUsable(SettingsPath())) return;
  QSettings settings(SettingsPath(), QSettings::IniFormat);
  settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
  settings.setValue(QStringLiteral("window/state"), saveState(kLayoutVersion));
  settings.sync();
  if (settings.status() != QSettings::NoError)
    statusBar()->showMessage(QStringLiteral("The window's layout could not be saved to ") +
                             SettingsPath());
}

void StudioWindow::closeEvent(QCloseEvent* event) {
  if (options_.keepLayout) SaveLayout();
  event->accept();
  emit closed();
}

// ---- Menu commands.
bool StudioWindow::OpenOperatorGuide() {
  if (!control_) return false;
  // The control opens its guide on F1; ask it the same way so there is one
  // place that knows where the guide lives. Our own F1 shortcut is off
  // meanwhile, or the key would come straight back here.
  UiServices& previous = ctl::Ui();
  OpenProbe probe(previous);
  ctl::SetUiServices(&probe);
  guide_->setEnabled(false);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QCoreApplication::sendEvent(control_.data(), &press);
  guide_->setEnabled(true);
  ctl::SetUiServices(&previous == &ctl::DesktopUiServices() ? nullptr : &previous);
  if (probe.opened) return true;
  if (probe.told) return false;  // the control's own message box said it
  const QString library =
      QString::fromStdString(ctl::CXVexCamApp::Instance().ModulePath().string());
  ctl::Ui().MessageBox(
      this, kCaption,
      QStringLiteral("The operator's guide vexq4-operator-guide.pdf was not found.\n"
                     "It is looked for beside the control's library %1, "
                     "in ../doc and in ../share/doc/vexq4 from there.")
          .arg(library),
      UiServices::Buttons::kOk, UiServices::Icon::kInformation);
  return false;
}

void StudioWindow::ShowProperties() {
  if (control_) ctl::ShowPropertyPages(control_, this);
}

QString StudioWindow::ReadsText() const {
  if (!fastReads_->isChecked()) return QStringLiteral("Standard reads");
  // On: the environment may choose the quiet time, as the library reads it.
  const CVexCamInterface::HostReads& r = hostReads_;
  if (r.fromEnvironment && r.drainMs == 0)
    return QStringLiteral("Standard reads (VEXQ4_QUERY_DRAIN_MS=0)");
  if (r.fromEnvironment)
    return QStringLiteral("Reads: %1 ms (VEXQ4_QUERY_DRAIN_MS)").arg(r.drainMs);
  const QString fast = QStringLiteral("Fast reads (%1 ms").arg(r.drainMs);
  if (r.ignoredVariable.empty()) return fast + QLatin1Char(')');
  return fast + QStringLiteral("; VEXQ4_QUERY_DRAIN_MS=%1 ignored)")
                    .arg(Shortened(QString::fromStdString(r.ignoredVariable)));
}

void StudioWindow::SetFastReads(bool on) {
  hostReads_ = CVexCamInterface::UseHostReads(!on);
  fastReads_->setChecked(on);
  reads_->setText(ReadsText());
  reads_->setAccessibleName(ReadsText());
  QString tip = fastReads_->toolTip();
  if (on && !hostReads_.ignoredVariable.empty())
    tip += QStringLiteral(
               "\n\nVEXQ4_QUERY_DRAIN_MS holds \"%1\", not 0 to %2 milliseconds: it is "
               "ignored.")
               .arg(QString::fromStdString(hostReads_.ignoredVariable))
               .arg(CVexCamInterface::kMaxQueryDrainMs);
  else if (on && hostReads_.fromEnvironment)
    tip += QStringLiteral("\n\nVEXQ4_QUERY_DRAIN_MS sets the wait while this is on.");
  reads_->setToolTip(tip);
}

void StudioWindow::SetAlwaysOnTop(bool onTop) {
  if (!control_) return;
  try {
    control_->SetWindowPosTopBottom(onTop ? -1 : 0);
    log_->Note(onTop ? QStringLiteral("tool windows always on top (rebuilt, hidden)")
                     : QStringLiteral("tool windows no longer on top (rebuilt, hidden)"));
  } catch (const std::exception& e) {
    log_->Note(QStringLiteral("always on top failed: ") + QString::fromLocal8Bit(e.what()));
  }
  alwaysOnTop_->setChecked(control_->Frame(0).alwaysOnTop());
}

std::int32_t StudioWindow::Register() {
  const std::int32_t result = DllRegisterServer();
  const QString folder = QString::fromStdString(ctl::RegistryDirectory().string());
  const QString text =
      result == ctl::kSOk
          ? QStringLiteral("The control is registered in %1.").arg(folder)
          : QStringLiteral("Registering the control in %1 failed (%2).").arg(folder, Hex(result));
  log_->Note(text);
  ctl::Ui().MessageBox(
      this, kCaption, text, UiServices::Buttons::kOk,
      result == ctl::kSOk ? UiServices::Icon::kInformation : UiServices::Icon::kWarning);
  return result;
}

std::int32_t StudioWindow::Unregister() {
  const std::int32_t result = DllUnregisterServer();
  const QString folder = QString::fromStdString(ctl::RegistryDirectory().string());
  const QString text =
      result == ctl::kSOk
          ? QStringLiteral("The control's registration was removed from %1.").arg(folder)
          : QStringLiteral("Removing the registration from %1 failed (%2).")
                .arg(folder, Hex(result));
  log_->Note(text);
  ctl::Ui().MessageBox(
      this, kCaption, text, UiServices::Buttons::kOk,
      result == ctl::kSOk ? UiServices::Icon::kInformation : UiServices::Icon::kWarning);
  return result;
}

void StudioWindow::AboutStudio() {
  ctl::Ui().MessageBox(
      this, QStringLiteral("About vexq4-studio"),
      QStringLiteral(
          "vexq4-studio %1\n\nThe RX-Q4 camera control's host: its strip and tool windows, "
          "every member by name and every event in the log.\n\n"
          "Control: %2\nWindow layout: %3")
          .arg(QCoreApplication::applicationVersion(), options_.controlSource, SettingsPath()),
      UiServices::Buttons::kOk, UiServices::Icon::kInformation);
}

}  // namespace vexq4::studio
