// Every window with the desktop's default font and with a 14-point one, at
// the scale CTest runs it (once as it is, once with QT_SCALE_FACTOR=1.5):
// every text whole, nothing over its neighbour, and the tool windows small
// enough for a 1920 x 1080 screen. Each window is also rendered to a PNG
// file ($VEXQ4_RENDER_DIR when set) for a look.
#include <gtest/gtest.h>

#include <QFont>
#include <QScreen>
#include <cstdlib>

#include "control_fixture.h"
#include "screenshots.h"
#include "studio_window.h"
#include "ui_access.h"
#include "vexq4/control/tool_windows.h"
#include "window_checks.h"

namespace vexq4::testing {
namespace {

namespace studio = vexq4::studio;

class ScaleTest : public ControlTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    if (const int points = GetParam(); points > 0) {
      QFont font = QApplication::font();
      font.setPointSize(points);
      QApplication::setFont(font);
    }
  }
  void TearDown() override {
    ControlTest::TearDown();
    QApplication::setFont(original_);
  }
  static double Scale() { return qApp->primaryScreen()->devicePixelRatio(); }
  std::string Suffix() const {
    return (GetParam() > 0 ? "-" + std::to_string(GetParam()) + "pt" : std::string()) +
           (Scale() != 1.0 ? "-x" + std::to_string(static_cast<int>(Scale() * 100))
                           : std::string());
  }
  void Render(QWidget* window, const QString& name) {
    const char* folder = std::getenv("VEXQ4_RENDER_DIR");
    const QString file = studio::ScreenshotFileName(name).chopped(4) +
                         QString::fromStdString(Suffix()) + QStringLiteral(".png");
    const QString path =
        QString::fromLocal8Bit(folder ? folder : dir.path().c_str()) + QLatin1Char('/') + file;
    EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
  }
  // The window's size on the screen in device pixels.
  static QSize OnScreen(QWidget* window) { return window->frameGeometry().size() * Scale(); }

 private:
  QFont original_ = QApplication::font();
};

TEST_P(ScaleTest, ToolWindowsShowEveryTextWhole) {
  MakeOnlineControl();
  control->show();
  Settle();
  ExpectNothingCutOrOverlapping(control.get());
  Render(control.get(), QStringLiteral("strip"));
  for (int i = 0; i < control::kToolWindowCount; ++i) {
    const QString caption = control->Frame(i).caption();
    SCOPED_TRACE(caption.toStdString());
    control->SetToolWindowVisibleProperty(i, -1);
    Settle();
    QWidget* window = control->FrameWindow(i);
    ExpectNothingCutOrOverlapping(window);
    Render(window, caption);
    // A 1920 x 1080 screen holds every window, a 14-point font or 150 %
    // alike (both at once make the larger windows taller than the screen).
    if (GetParam() == 0 || Scale() == 1.0) {
      EXPECT_LE(OnScreen(window).width(), 1920);
      EXPECT_LE(OnScreen(window).height(), 1080 - 60);  // a panel
    }
    if (i == control::kShutterWindow) {
      for (const char* mode : {"Programmable Exposure (RGB common set)",
                               "Programmable Exposure (RGB individual set)"}) {
        ASSERT_EQ(studio::Click(window, QString::fromLatin1(mode)), std::nullopt);
        Settle();
        ExpectNothingCutOrOverlapping(window);
      }
    }
  }
}

TEST_P(ScaleTest, StudioShowsEveryTextWhole) {
  ScopedEnv registry{"VEXQ4_REGISTRY_DIR", (dir / "registry").string()};
  MakeOnlineControl();
  studio::StudioOptions options;
  options.keepLayout = false;
  options.controlSource = QStringLiteral("built-in module");
  studio::StudioWindow window(control.release(), options);
  window.show();
  Settle();
  ExpectNothingCutOrOverlapping(&window);
  Render(&window, QStringLiteral("vexq4-studio"));
}

INSTANTIATE_TEST_SUITE_P(Fonts, ScaleTest, ::testing::Values(0, 14),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param > 0 ? "Font" + std::to_string(info.param) + "pt"
                                                 : std::string("DefaultFont");
                         });

}  // namespace
}  // namespace vexq4::testing
