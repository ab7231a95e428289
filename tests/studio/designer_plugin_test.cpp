// The Designer plugin as Qt Designer uses it: loaded with QPluginLoader
// from its file, asked for its entry, and made to create the widget. This
// process links no control library of its own: the plugin brings
// libXVexQ4.so, as it does inside Designer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPluginLoader>
#include <QWidget>
#include <QXmlStreamReader>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <cstdlib>
#include <memory>

#include "test_dir.h"

namespace {

TEST(DesignerPlugin, LoadsAndCreatesTheControl) {
  // A private profile and registry, and no camera on COM1.
  vexq4::testing::TestDir dir("vexq4-designer");
  setenv("VEXQ4_PROFILE_DIR", dir.path().c_str(), 1);
  setenv("VEXQ4_REGISTRY_DIR", (dir / "registry").c_str(), 1);
  setenv("VEXQ4_COM1", (dir / "no-camera").c_str(), 1);

  QPluginLoader loader(QStringLiteral(VEXQ4_DESIGNER_PLUGIN));
  ASSERT_TRUE(loader.load()) << loader.errorString().toStdString();
  EXPECT_EQ(loader.metaData().value(QStringLiteral("IID")).toString(),
            "org.qt-project.Qt.QDesignerCustomWidgetInterface");
  auto* entry = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->name(), "CXVexCamCtrl");
  EXPECT_EQ(entry->includeFile(), "vexq4/control/XVexCamCtrl.h");
  EXPECT_FALSE(entry->isContainer());
  EXPECT_FALSE(entry->group().isEmpty());
  EXPECT_FALSE(entry->icon().isNull());

  // The form's XML: the class and its extent.
  QXmlStreamReader xml(entry->domXml());
  bool widget = false;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("widget")) {
      EXPECT_EQ(xml.attributes().value(QLatin1String("class")), QLatin1String("CXVexCamCtrl"));
      widget = true;
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_TRUE(widget);
  EXPECT_TRUE(entry->domXml().contains("<width>175</width><height>30</height>"));

  // Designer places the widget on a form and shows it: the strip appears.
  QWidget form;
  QWidget* control = entry->createWidget(&form);
  ASSERT_NE(control, nullptr);
  EXPECT_STREQ(control->metaObject()->className(), "CXVexCamCtrl");
  EXPECT_EQ(control->parentWidget(), &form);
  EXPECT_EQ(control->accessibleName(), "RX-Q4 camera control");
  form.show();
  QApplication::processEvents();
  EXPECT_FALSE(control->findChildren<QWidget*>().isEmpty());
  delete control;
  form.close();
}

}  // namespace
