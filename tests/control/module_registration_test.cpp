// The module: registration into a private registry folder, the class
// objects and the unload test, the property page and the properties verb.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <filesystem>
#include <fstream>
#include <map>

#include "control_fixture.h"
#include "vexq4/control/main_strip.h"
#include "vexq4/control/module.h"
#include "vexq4/control/tool_windows.h"

namespace vexq4::testing {
namespace {

namespace fs = std::filesystem;
namespace ctl = vexq4::control;

class ModuleTest : public ControlTest {
 protected:
  TestDir reg{"vexq4-registry"};
  // Not there yet: registering creates it.
  fs::path folder = reg / "registry";
  ScopedEnv registryDir{"VEXQ4_REGISTRY_DIR", folder.string()};

  fs::path Entry(const VexGuid& guid) const { return folder / (ctl::GuidText(guid) + ".ini"); }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static bool Has(const std::string& text, const std::string& line) {
    return text.find(line + "\r\n") != std::string::npos;
  }
};

TEST_F(ModuleTest, RegisteringWritesOneEntryPerClassAndOneForTheTypeLibrary) {
  ASSERT_EQ(DllRegisterServer(), 0);
  const std::string control = ctl::GuidText(ctl::kControlClsid) + ".ini";
  const std::string page = ctl::GuidText(ctl::kPropPageClsid) + ".ini";
  const std::string typeLib = ctl::GuidText(ctl::kLibId) + ".ini";
  std::vector<std::string> expected{control, page, typeLib};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Files(), expected);

  const std::string module = "Module=" + ctl::CXVexCamApp::Instance().ModulePath().string();
  const std::string c = ReadFile(folder / control);
  for (const std::string& line : std::vector<std::string>{
           "[Class]", "CLSID=" + ctl::GuidText(ctl::kControlClsid), "ProgID=XVEXQ4.XVexQ4Ctrl.1",
           "TypeName=XVexQ4 Control", "ThreadingModel=Apartment", "MiscStatus=131473",
           "TypeLib=" + ctl::GuidText(ctl::kLibId), "Version=1.0", module})
    EXPECT_TRUE(Has(c, line)) << line;
  const std::string p = ReadFile(folder / page);
  for (const std::string& line :
       std::vector<std::string>{"ProgID=XVEXQ4.OlePropPage1.1", "TypeName=Show Windows", module})
    EXPECT_TRUE(Has(p, line)) << line;
  const std::string t = ReadFile(folder / typeLib);
  for (const std::string& line : std::vector<std::string>{
           "Name=XVEXQ4Lib", "Version=1.0", "Locale=1033",
           "HelpString=XVexQ4 ActiveX Control module", "HelpFile=XVexQ4.hlp",
           "IID=" + ctl::GuidText(ctl::kDispatchIid),
           "HelpString=Dispatch interface for XVexQ4 Control", "Flags=hidden dispatchable",
           "IID=" + ctl::GuidText(ctl::kEventsIid), "HelpString=Event interface for XVexQ4 Control",
           "Property6=short ShutterSpeedIndex", "Event1=OnlineStatusChanged", module})
    EXPECT_TRUE(Has(t, line)) << line;
}

TEST_F(ModuleTest, RegisteringTwiceGivesTheSameBytesAndUnregisteringRemovesThem) {
  ASSERT_EQ(DllRegisterServer(), 0);
  std::map<std::string, std::string> first;
  for (const auto& name : Files()) first[name] = ReadFile(folder / name);
  // A damaged entry is replaced whole by the next registration.
  WriteFile(Entry(ctl::kControlClsid), "[Class]\r\nProgID=half");
  ASSERT_EQ(DllRegisterServer(), 0);
  std::map<std::string, std::string> second;
  for (const auto& name : Files()) second[name] = ReadFile(folder / name);
  EXPECT_EQ(first, second);  // and no temporary file left behind

  ASSERT_EQ(DllUnregisterServer(), 0);
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(ctl::FindRegisteredProgId(ctl::kControlProgId), std::nullopt);
  EXPECT_EQ(DllUnregisterServer(), 0);  // nothing left to remove is no failure
}

TEST_F(ModuleTest, FailuresGiveTheSelfRegistrationCodes) {
  // The registry folder cannot be made: the type library is the first entry.
  WriteFile(folder, "not a folder");
  EXPECT_EQ(DllRegisterServer(), static_cast<std::int32_t>(0x80040200));
  fs::remove(folder);

  // A pipe in the place of an entry is left alone, and not waited on.
  fs::create_directories(folder);
  ASSERT_EQ(mkfifo(Entry(ctl::kPropPageClsid).c_str(), 0600), 0);
  EXPECT_EQ(DllRegisterServer(), static_cast<std::int32_t>(0x80040201));
  EXPECT_EQ(DllUnregisterServer(), 0);  // removes the pipe with the rest
  EXPECT_TRUE(Files().empty());

  // The control's entry cannot be written (a folder holds its name).
  fs::create_directories(Entry(ctl::kControlClsid) / "x");
  EXPECT_EQ(DllRegisterServer(), static_cast<std::int32_t>(0x80040201));
  EXPECT_EQ(DllUnregisterServer(), static_cast<std::int32_t>(0x80040201));
  EXPECT_FALSE(fs::exists(Entry(ctl::kLibId)));
}

TEST_F(ModuleTest, TheRegistryFindsTheControlByProgId) {
  EXPECT_EQ(ctl::FindRegisteredProgId(ctl::kControlProgId), std::nullopt);  // no folder at all
  ASSERT_EQ(DllRegisterServer(), 0);
  // Whatever else lies in the folder is passed over.
  WriteFile(folder / "junk.ini", std::string("\0\xff[Class\r\nProgID", 15));
  fs::create_directory(folder / "folder.ini");
  ASSERT_EQ(mkfifo((folder / "fifo.ini").c_str(), 0600), 0);
  const auto found = ctl::FindRegisteredProgId(ctl::kControlProgId);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->clsid, ctl::kControlClsid);
  EXPECT_EQ(found->module, ctl::CXVexCamApp::Instance().ModulePath());
  const auto page = ctl::FindRegisteredProgId(ctl::kPropPageProgId);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->clsid, ctl::kPropPageClsid);
  EXPECT_EQ(ctl::FindRegisteredProgId("XVEXQ4.Nothing.1"), std::nullopt);

  // A module path longer than a profile value is read whole.
  const std::string deep = "/opt/" + std::string(400, 'd') + "/libXVexQ4.so";
  WriteFile(Entry(ctl::kControlClsid), "[Class]\r\nCLSID=" + ctl::GuidText(ctl::kControlClsid) +
                                           "\r\nProgID=XVEXQ4.XVexQ4Ctrl.1\r\nModule=" + deep +
                                           "\r\n");
  EXPECT_EQ(ctl::FindRegisteredProgId(ctl::kControlProgId)->module, deep);
}

TEST(ModuleGuids, TextAndBackAgain) {
  EXPECT_EQ(ctl::GuidText(ctl::kClassFactoryIid), "{00000001-0000-0000-C000-000000000046}");
  for (const VexGuid& g :
       {ctl::kLibId, ctl::kDispatchIid, ctl::kEventsIid, ctl::kControlClsid, ctl::kPropPageClsid})
    EXPECT_EQ(ctl::ParseGuid(ctl::GuidText(g)), g);
  EXPECT_EQ(ctl::ParseGuid("{847F5E75-9D5A-4348-8759-8D2F4CE6D56}"), std::nullopt);
  EXPECT_EQ(ctl::ParseGuid("{847F5E75-9D5A-4348-8759-8D2F4CE6D56X}"), std::nullopt);
  EXPECT_EQ(ctl::ParseGuid("847F5E75-9D5A-4348-8759-8D2F4CE6D565"), std::nullopt);
}

IVexClassFactory* Factory(const VexGuid& clsid) {
  void* object = nullptr;
  EXPECT_EQ(DllGetClassObject(&clsid, &ctl::kClassFactoryIid, &object), 0);
  return static_cast<IVexClassFactory*>(object);
}

TEST_F(ModuleTest, ClassObjectsAndTheUnloadTest) {
  void* object = &object;
  const VexGuid unknown{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(DllGetClassObject(&unknown, &ctl::kClassFactoryIid, &object), ctl::kClassNotAvailable);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(DllGetClassObject(&ctl::kControlClsid, &unknown, &object), ctl::kNoInterface);
  EXPECT_EQ(DllGetClassObject(&ctl::kControlClsid, &ctl::kClassFactoryIid, nullptr),
            ctl::kPointerError);

  EXPECT_EQ(DllCanUnloadNow(), 0);
  void* created = nullptr;
  ASSERT_EQ(Factory(ctl::kControlClsid)->CreateInstance(nullptr, &created), 0);
  std::unique_ptr<CXVexCamCtrl> made(static_cast<CXVexCamCtrl*>(created));
  EXPECT_EQ(made->metaObject()->className(), std::string("CXVexCamCtrl"));
  EXPECT_EQ(DllCanUnloadNow(), 1);
  made.reset();
  Settle();
  EXPECT_EQ(DllCanUnloadNow(), 0);

  ASSERT_EQ(Factory(ctl::kPropPageClsid)->CreateInstance(nullptr, &created), 0);
  std::unique_ptr<COlePropPage1> page(static_cast<COlePropPage1*>(created));
  EXPECT_EQ(DllCanUnloadNow(), 1);
  page.reset();
  EXPECT_EQ(DllCanUnloadNow(), 0);

  IVexClassFactory* factory = Factory(ctl::kControlClsid);
  factory->LockServer(1);
  EXPECT_EQ(DllCanUnloadNow(), 1);
  factory->LockServer(0);
  EXPECT_EQ(DllCanUnloadNow(), 0);
  factory->LockServer(0);  // one unlock too many changes nothing
  factory->LockServer(1);
  EXPECT_EQ(DllCanUnloadNow(), 1);
  factory->LockServer(0);
  EXPECT_EQ(DllCanUnloadNow(), 0);
}

QPushButton* Button(QDialog* dialog, QDialogButtonBox::StandardButton which) {
  return dialog->findChild<QDialogButtonBox*>()->button(which);
}

TEST_F(ModuleTest, ThePropertyPageWithOnlyGainTickedShowsOnlyTheGainWindow) {
  MakeControl().show();
  control->SetShowShutterWnd(-1);
  control->SetShowAboutWnd(-1);
  QPointer<QDialog> dialog = ctl::ShowPropertyPages(control.get(), control.get());
  auto* page = dialog->findChild<COlePropPage1*>();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(dialog->findChild<QGroupBox*>()->title(), "Show tool windows");
  // The boxes start from the control, in the exchange order.
  const char* texts[] = {"Shutter", "Gain", "About", "Communication"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(page->box(i)->text(), texts[i]);
  EXPECT_TRUE(page->box(0)->isChecked());
  EXPECT_FALSE(page->box(1)->isChecked());
  EXPECT_TRUE(page->box(2)->isChecked());

  if (const char* shots = std::getenv("VEXQ4_SCREENSHOT_DIR"))
    dialog->grab().save(QString::fromUtf8(shots) + QStringLiteral("/properties.png"));
  for (int i = 0; i < 4; ++i) page->box(i)->setChecked(i == 1);
  Button(dialog, QDialogButtonBox::Ok)->click();
  Settle();
  EXPECT_TRUE(dialog.isNull());
  for (int i = 0; i < ctl::kToolWindowCount; ++i)
    EXPECT_EQ(control->FrameWindow(i)->isVisible(), i == ctl::kGainWindow) << i;
  EXPECT_EQ(Profile("Gain", "Is Visible"), "1");
  for (const char* section : {"Shutter", "About", "Communication"})
    EXPECT_EQ(Profile(section, "Is Visible"), "0") << section;
  EXPECT_TRUE(control->MainStrip()->ButtonPressed(ctl::kGainWindow));
  EXPECT_FALSE(control->MainStrip()->ButtonPressed(ctl::kShutterWindow));
}

TEST_F(ModuleTest, ApplyKeepsThePageOpenAndCancelChangesNothing) {
  MakeControl().show();
  QPointer<QDialog> dialog = ctl::ShowPropertyPages(control.get(), control.get());
  auto* page = dialog->findChild<COlePropPage1*>();
  page->box(2)->setChecked(true);
  Button(dialog, QDialogButtonBox::Apply)->click();
  Settle();
  ASSERT_FALSE(dialog.isNull());
  EXPECT_NE(control->GetShowAboutWnd(), 0);
  page->box(2)->setChecked(false);
  page->box(0)->setChecked(true);
  Button(dialog, QDialogButtonBox::Cancel)->click();
  Settle();
  EXPECT_TRUE(dialog.isNull());
  EXPECT_NE(control->GetShowAboutWnd(), 0);
  EXPECT_EQ(control->GetShowShutterWnd(), 0);

  // A page whose control goes closes with it.
  dialog = ctl::ShowPropertyPages(control.get(), nullptr);
  control.reset();
  Settle();
  EXPECT_TRUE(dialog.isNull());
}

TEST_F(ModuleTest, TheStripsContextMenuOffersThePropertiesVerb) {
  MakeControl().show();
  CMainDlg* strip = control->MainStrip();
  ASSERT_NE(strip, nullptr);
  // A right click on a toolbar button reaches the strip's menu.
  QStringList offered;
  QTimer::singleShot(0, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* a : menu->actions()) offered << a->text();
      menu->close();
    }
  });
  QWidget* button = strip->toolBar()->widgetForAction(strip->button(ctl::kGainWindow));
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                          button->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(button, &event);
  EXPECT_EQ(offered, QStringList{QStringLiteral("Properties...")});

  strip->propertiesAction()->trigger();
  auto* dialog = control->findChild<QDialog*>(QStringLiteral("properties"));
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "XVexQ4 Control Properties");
  EXPECT_TRUE(dialog->isVisible());
  Button(dialog, QDialogButtonBox::Cancel)->click();
  Settle();

  // The buttons still show and hide their windows.
  strip->button(ctl::kGainWindow)->trigger();
  EXPECT_TRUE(control->FrameWindow(ctl::kGainWindow)->isVisible());
  strip->button(ctl::kGainWindow)->trigger();
  EXPECT_FALSE(control->FrameWindow(ctl::kGainWindow)->isVisible());
}

TEST_F(ModuleTest, F1OpensTheBuiltOperatorsGuide) {
  MakeControl().show();
  control->SetShowAboutWnd(-1);
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QApplication::sendEvent(control->FrameWindow(ctl::kAboutWindow), &f1);
  ASSERT_EQ(ui.opened.size(), 1u);
  const fs::path guide = ui.opened[0].toStdString();
  EXPECT_EQ(guide.filename(), "vexq4-operator-guide.pdf");
  EXPECT_TRUE(fs::is_regular_file(guide));
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
}  // namespace vexq4::testing
