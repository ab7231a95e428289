// The Gain and Shutter windows as an operator sees them: every widget named
// once, every tooltip exactly as written, nothing squeezed or overlapping.
// The windows are also rendered to PNG files (into $VEXQ4_RENDER_DIR when
// set) for a look in review.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <cstdlib>
#include <map>
#include <set>

#include "bound_window_fixture.h"
#include "vexq4/control/controls.h"
#include "window_checks.h"

namespace vexq4::testing {
namespace {

using Tips = std::map<std::string, std::string>;
constexpr char kSpinTip[] = "Use spinebuttons for single steps";

const Tips kGainTips = {
    {"Gain Level: Master", "Select relative Master Gain Level value, -132 ... +429 (0 is 0dB)"},
    {"Gain Level: Red", "Select relative Gain Level value for red, -231 ... +231 (0 is 0dB)"},
    {"Gain Level: Blue", "Select relative Gain Level value for blue, -231 ... +231 (0 is 0dB)"},
    {"Black Level: Red", "Select relative Black Level value for red, 0 ... 1023 (decimal)"},
    {"Black Level: Green", "Select relative Black Level value for green, 0 ... 1023 (decimal)"},
    {"Black Level: Blue", "Select relative Black Level value for blue, 0 ... 1023 (decimal)"},
    {"Knee Point: Red", "Select relative Knee Point value for red, 0 ... 1023 (decimal)"},
    {"Knee Point: Green", "Select relative Knee Point value for green, 0 ... 1023 (decimal)"},
    {"Knee Point: Blue", "Select relative Knee Point Level value for blue, 0 ... 1023 (decimal)"},
    {"Knee Slope: Red", "Select relative Knee Slope value for red, 1 ... 4095 (decimal)"},
    {"Knee Slope: Green", "Select relative Knee Slope value for green, 1 ... 4095 (decimal)"},
    {"Knee Slope: Blue", "Select relative Knee Slope value for blue, 1 ... 4095 (decimal)"},
    {"Knee Select: On", "Knee Selection: On"},
    {"Knee Select: Off", "Knee Selection: Off"},
    {"White Balance", "Select White Balance Mode"},
    {"Auto White Area", "Select Auto White Area"},
    {"Shading Mode: On", "Shading Mode On"},
    {"Shading Mode: Off", "Shading Mode Off"},
    {"Start Auto Shading", "Start Auto Shading Correction"},
    {"Save File", "Save Shading Data from the Camera into File"},
    {"Load File", "Load Shading Data from File into the Camera"},
};

const Tips kShutterTips = {
    {"Shutter Speed", "Select Shutter Value"},
    {"Shutter Speed: mode", "Select \"Edge Pre-Select\" to change Shutter Speed"},
    {"Trigger Mode", "Select Trigger Mode"},
    {"Active L", "Select Active Low Trigger Polarity"},
    {"Active H", "Select Active High Trigger Polarity"},
    {"Partial Scan Mode", "Select Partial Scan Mode"},
    {"RCT FVAL Type: CL", "Select Camera Link Mode"},
    {"VEX Standard", "Select VEX Standard Mode"},
    {"Shutter Mode: Shutter Speed", "Select Shutter Speed Mode"},
    {"Programmable Exposure (RGB common set)", "Select Programmable Exposure (RGB common set)"},
    {"Programmable Exposure (RGB individual set)",
     "Select Programmable Exposure (RGB individual set)"},
    {"Binning", "Select Binning Mode"},
    {"Programmable Exposure: RGB common set",
     "Select relative Programmable Exposure (RGB common set) value, 0...791  "},
    {"Programmable Exposure: Red",
     "Select relative Programmable Exposure for Red, 0...791 (decimal)"},
    {"Programmable Exposure: Green",
     "Select relative Programmable Exposure for Green, 0...791 (decimal)"},
    {"Programmable Exposure: Blue",
     "Select relative Programmable Exposure for Blue, 0...791 (decimal) "},
    {"Smearless: Off", "Select Smearless Mode Off"},
    {"Smearless: On", "Select Smearless Mode On"},
    {"Color Bar: Off", "Select Color Bar Off"},
    {"Color Bar: On", "Select Color Bar On"},
    {"Trigger Input: CL", "Use Trigger on Camera Link Connector"},
    {"Hirose 12pin - 10 p", "Use Trigger on 12pin Hirose Connector"},
    {"Synch", "Select LVAL Synchronous Accumulation"},
    {"Asynch", "Select LVAL Asynchronous Accumulation"},
    {"10 Bit", "Select 10 Bit Output Allocation"},
    {"8 Bit", "Select 8 Bit Output Allocation"},
};

class LayoutTest : public ControlTest {
 protected:
  QWidget* Show(control::ToolWindow which) {
    QWidget* window = control->FrameWindow(which);
    window->show();
    Settle();  // the layouts' requests, posted while showing
    return window;
  }

  // Every widget an operator reads or works has one name of its own; the
  // tooltips are those of `expected` plus the spin buttons'.
  static void ExpectNamesAndTips(QWidget* window, Tips expected) {
    std::set<std::string> names;
    for (QWidget* w : window->findChildren<QWidget*>()) {
      const bool operated = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                            qobject_cast<QLineEdit*>(w) || qobject_cast<QLabel*>(w) ||
                            qobject_cast<QGroupBox*>(w) || qobject_cast<SpinButton*>(w);
      // The spin button's arrows are part of it.
      const bool arrow = qobject_cast<SpinButton*>(w->parentWidget()) != nullptr;
      if (!operated || arrow || qobject_cast<QComboBox*>(w->parentWidget())) continue;
      const std::string name = w->accessibleName().toStdString();
      EXPECT_FALSE(name.empty()) << w->metaObject()->className();
      EXPECT_TRUE(names.insert(name).second) << "twice: " << name;
    }
    for (QWidget* w : studio::NamedWidgets(window)) {
      if (qobject_cast<SpinButton*>(w)) expected[w->accessibleName().toStdString()] = kSpinTip;
    }
    Tips actual;
    for (QWidget* w : studio::NamedWidgets(window))
      if (!w->toolTip().isEmpty())
        actual[w->accessibleName().toStdString()] = w->toolTip().toStdString();
    EXPECT_EQ(actual, expected);
  }

  void Render(QWidget* window, const std::string& file) {
    const char* folder = std::getenv("VEXQ4_RENDER_DIR");
    const std::string path = (folder ? std::string(folder) : dir.path().string()) + "/" + file;
    EXPECT_TRUE(window->grab().save(QString::fromStdString(path))) << path;
  }
};

TEST_F(LayoutTest, GainWindow) {
  MakeOnlineControl();
  QWidget* window = Show(control::kGainWindow);
  ASSERT_EQ(
      studio::Select(window, QStringLiteral("White Balance"), QStringLiteral("Continuous AWB")),
      std::nullopt);
  ExpectNamesAndTips(window, kGainTips);
  ExpectNothingCutOrOverlapping(window);
  Render(window, "gain-window.png");
}

TEST_F(LayoutTest, ShutterWindowInEachMode) {
  MakeOnlineControl();
  QWidget* window = Show(control::kShutterWindow);
  ExpectNamesAndTips(window, kShutterTips);
  for (auto [radio, file] :
       {std::pair{"Shutter Mode: Shutter Speed", "shutter-window-speed.png"},
        std::pair{"Programmable Exposure (RGB common set)", "shutter-window-common.png"},
        std::pair{"Programmable Exposure (RGB individual set)", "shutter-window-individual.png"}}) {
    ASSERT_EQ(studio::Click(window, QString::fromLatin1(radio)), std::nullopt);
    Settle();
    ExpectNothingCutOrOverlapping(window);
    Render(window, file);
  }
}

}  // namespace
}  // namespace vexq4::testing
