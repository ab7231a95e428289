// Rendering the control's windows into PNG files.
#include "screenshots.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>

#include "ui_access.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/tool_windows.h"

namespace vexq4::studio {

namespace ctl = vexq4::control;

namespace {

// Lets layouts, pictures and the activity indicators' short tails settle.
void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool Save(QWidget* window, const QString& name, const QString& folder,
          std::vector<Screenshot>& shots, QString* error) {
  if (!window) {
    if (error) *error = QStringLiteral("no window ") + name;
    return false;
  }
  const QPixmap picture = window->grab();
  const QString file = QDir(folder).filePath(ScreenshotFileName(name));
  if (picture.isNull() || !picture.save(file, "PNG")) {
    if (error) *error = QStringLiteral("cannot write ") + file;
    return false;
  }
  shots.push_back({name, file, picture.size()});
  return true;
}

}  // namespace

QString ScreenshotFileName(const QString& window) {
  QString name;
  for (const QChar c : window.toLower()) {
    if (c.isLetterOrNumber())
      name += c;
    else if (!name.isEmpty() && !name.endsWith(QLatin1Char('-')))
      name += QLatin1Char('-');
  }
  while (name.endsWith(QLatin1Char('-'))) name.chop(1);
  return name + QStringLiteral(".png");
}

std::vector<Screenshot> RenderScreenshots(CXVexCamCtrl& control, QWidget* studio,
                                          const QString& folder, QString* error,
                                          const std::function<void()>& beforeStudio,
                                          const std::function<QWidget*()>& studioWindow) {
  std::vector<Screenshot> shots;
  if (!QDir().mkpath(folder)) {
    if (error) *error = QStringLiteral("cannot create the folder ") + folder;
    return {};
  }
  // The strip exists once the control's window has been shown.
  if (!control.MainStrip()) {
    QWidget* top = control.window();
    top->show();
  }
  Settle(100);
  if (!Save(FindWindow(control, QStringLiteral("strip")), QStringLiteral("strip"), folder, shots,
            error))
    return {};

  for (int i = 0; i < ctl::kToolWindowCount; ++i) {
    const QString caption = control.Frame(i).caption();
    const ctl::Bool wasVisible = control.ToolWindowVisible(i);
    control.SetToolWindowVisible(i, -1);
    Settle(250);
    const bool saved = Save(FindWindow(control, caption), caption, folder, shots, error);
    control.SetToolWindowVisible(i, wasVisible);
    if (!saved) return {};
  }
  if (studio) {
    if (beforeStudio) beforeStudio();
    Settle(100);
    if (!Save(
            studio,
            studio->objectName().isEmpty() ? QStringLiteral("vexq4-studio") : studio->objectName(),
            folder, shots, error))
      return {};
  }
  if (studioWindow) {
    QWidget* window = studioWindow();
    Settle(150);
    if (!Save(window, window ? window->windowTitle() : QStringLiteral("studio window"), folder,
              shots, error))
      return {};
  }
  return shots;
}

}  // namespace vexq4::studio
