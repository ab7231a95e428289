// Pictures of the control's windows for the user's guide: the strip, each
// tool window and the studio's own window, rendered into PNG files. The
// tool windows are found by their frames' captions, so whatever pages the
// control has are pictured as they are.
#pragma once

#include <QSize>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class CXVexCamCtrl;

namespace vexq4::studio {

struct Screenshot {
  QString window;  // "strip", a frame's caption, or "vexq4-studio"
  QString file;    // full path of the PNG
  QSize size;      // the window's size in pixels, as rendered
};

// The file name of a window's picture: "Gain and Setup Levels" ->
// "gain-and-setup-levels.png".
QString ScreenshotFileName(const QString& window);

// Renders the strip and every tool window of `control` (each shown for the
// moment, then returned to its state), then `studio` when given (after
// `beforeStudio` has run, to put something on it), into `folder` (created
// when missing). Empty with `error` set when a picture could not be written.
// `studioWindow`, when given, is called after the studio's picture for one
// more of its windows (named by its title), shown and ready.
std::vector<Screenshot> RenderScreenshots(CXVexCamCtrl& control, QWidget* studio,
                                          const QString& folder, QString* error,
                                          const std::function<void()>& beforeStudio = {},
                                          const std::function<QWidget*()>& studioWindow = {});

}  // namespace vexq4::studio
