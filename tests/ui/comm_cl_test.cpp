// The Communication window's source list with Camera Link libraries: the
// real dispatcher over three fake vendors (Alpha Grabbers, Beta Vision, and
// one whose name does not fit the library's buffer), and a fake clallserial
// whose 25 ports belong to "ALPHA grabbers". The test runs from its own
// folder, so these are the libraries the communication library finds.
#include <gtest/gtest.h>

#include <QComboBox>
#include <string>
#include <vector>

#include "comm_dlg.h"
#include "control_fixture.h"
#include "ui_access.h"

namespace vexq4::testing {
namespace {

namespace studio = vexq4::studio;

constexpr int kPorts = 25;

class CommSources : public ControlTest {
 protected:
  CCommDlg& Page() { return dynamic_cast<CCommDlg&>(control->Page(control::kCommunicationWindow)); }
  QWidget* Window() { return control->FrameWindow(control::kCommunicationWindow); }
  std::string Text(const char* name) {
    return studio::TextOf(studio::FindWidget(Window(), QString::fromUtf8(name))).toStdString();
  }
  bool Enabled(const char* name) {
    return studio::FindWidget(Window(), QString::fromUtf8(name))->isEnabled();
  }
  std::string Select(const std::string& entry) {
    const auto problem = studio::Select(Window(), QStringLiteral("CL Manufacturer/COM-ports"),
                                        QString::fromStdString(entry));
    return problem ? problem->toStdString() : "";
  }
  std::vector<std::string> Entries() {
    std::vector<QString> entries;
    studio::Entries(Window(), QStringLiteral("CL Manufacturer/COM-ports"), entries);
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.toStdString());
    return out;
  }
  std::vector<std::string> Boxes() {
    std::vector<std::string> out;
    for (const auto& b : ui.boxes) out.push_back(b.text.toStdString());
    return out;
  }
};

TEST_F(CommSources, EveryEntryIsKeptAVendorServedByClallserialOnceAndAFailedNameAsItsCode) {
  MakeControl();
  std::vector<std::string> expected = {"COM-ports", "Beta Vision", "-10001"};
  for (int port = 0; port < kPorts; ++port) expected.push_back("ALPHA grabbers");
  EXPECT_EQ(Entries(), expected);

  std::vector<short> map = {0, 2, 3};
  for (short port = 0; port < kPorts; ++port) map.push_back(port);
  EXPECT_EQ(Page().positionMap(), map);
  EXPECT_EQ(Page().lastManufacturerPosition(), 2);
  // The restored "COM-ports" entry found the simulated camera on COM1.
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CommSources, AClallserialPortConnectsByItsOwnIndexAndDisablesTheComPorts) {
  MakeOnlineControl();
  EXPECT_EQ(Select("ALPHA grabbers"), "");  // the first of them: position 3, port 0
  EXPECT_EQ(control->GetFrameGrabberIndex(), 3);
  EXPECT_EQ(Profile("Communication", "Frame Grabber"), "3");
  EXPECT_FALSE(Enabled("Auto"));
  EXPECT_FALSE(Enabled("COM-Port"));
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_TRUE(Wire().empty());  // the fake port answered, not the camera on COM1
  EXPECT_TRUE(ui.boxes.empty());

  EXPECT_EQ(Select("Beta Vision"), "");
  EXPECT_EQ(control->GetFrameGrabberIndex(), 1);
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_TRUE(ui.boxes.empty());

  EXPECT_EQ(Select("COM-ports"), "");
  EXPECT_TRUE(Enabled("Auto"));
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_FALSE(Wire().empty());
}

TEST_F(CommSources, APositionBeyondTheControlsRangeIsRefusedByTheControl) {
  MakeOnlineControl();
  // Position 27, the last port: FrameGrabberIndex takes 0..16 only.
  auto* list = qobject_cast<QComboBox*>(
      studio::FindWidget(Window(), QStringLiteral("CL Manufacturer/COM-ports")));
  ASSERT_NE(list, nullptr);
  list->setCurrentIndex(list->count() - 1);
  emit list->activated(list->count() - 1);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Only Frame Grabber 1..16 is valid"});
  EXPECT_EQ(control->GetFrameGrabberIndex(), 0);
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_EQ(ui.waitCursor, 0);
}

TEST_F(CommSources, TheStoredPortIsConnectedAgainAtInitialisation) {
  SetProfile("Communication", "Frame Grabber", "4");  // clallserial port 1
  MakeControl();
  EXPECT_EQ(Text("CL Manufacturer/COM-ports"), "ALPHA grabbers");
  EXPECT_EQ(control->GetFrameGrabberIndex(), 4);
  EXPECT_EQ(Text("Status: online"), "online");
  EXPECT_FALSE(Enabled("COM-Port"));
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
}  // namespace vexq4::testing
