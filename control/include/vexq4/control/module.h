// The module XVexQ4: its application object, the class identities, the
// class factories of the control and its property page, registration in
// the registry folder, and the property page itself.
//
// The registry is a folder of INI files: $VEXQ4_REGISTRY_DIR, else
// $XDG_DATA_HOME/vexq4/registry, else $HOME/.local/share/vexq4/registry.
// Registering writes {CLSID}.ini per class and {LIBID}.ini for the type
// library; unregistering removes them.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "vexq4/control/automation.h"

class CXVexCamCtrl;
class QCheckBox;

// A class or interface identity, laid out as the usual 128-bit GUID.
struct VexGuid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};

VEXQ4_CONTROL_API bool operator==(const VexGuid& a, const VexGuid& b);

// What DllGetClassObject hands out for IID_IClassFactory.
class IVexClassFactory {
 public:
  // Creates the class's object as a widget child of `parent` (may be null);
  // *object receives a CXVexCamCtrl* or a COlePropPage1*, which the caller
  // owns (or its parent does).
  virtual std::int32_t CreateInstance(QWidget* parent, void** object) = 0;
  virtual std::int32_t LockServer(std::int32_t lock) = 0;

 protected:
  ~IVexClassFactory() = default;
};

extern "C" {
VEXQ4_CONTROL_API std::int32_t DllRegisterServer();
VEXQ4_CONTROL_API std::int32_t DllUnregisterServer();
VEXQ4_CONTROL_API std::int32_t DllGetClassObject(const VexGuid* clsid, const VexGuid* iid,
                                                 void** object);
VEXQ4_CONTROL_API std::int32_t DllCanUnloadNow();
}

namespace vexq4::control {

inline constexpr std::int32_t kSOk = 0;
inline constexpr std::int32_t kSFalse = 1;
inline constexpr std::int32_t kSelfRegTypeLib = static_cast<std::int32_t>(0x80040200);
inline constexpr std::int32_t kSelfRegClass = static_cast<std::int32_t>(0x80040201);
inline constexpr std::int32_t kClassNotAvailable = static_cast<std::int32_t>(0x80040111);
inline constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002);
inline constexpr std::int32_t kPointerError = static_cast<std::int32_t>(0x80004003);

// The module's identities, fixed once for all builds.
inline constexpr VexGuid kLibId = {
    0xB7ABE3A6, 0xD998, 0x457D, {0xBF, 0x00, 0x0D, 0xCF, 0xF3, 0x6D, 0xA6, 0x60}};
inline constexpr VexGuid kDispatchIid = {
    0x1E2902C9, 0xFD21, 0x4F57, {0xB2, 0x51, 0x43, 0x7B, 0xD7, 0x97, 0xFC, 0x29}};
inline constexpr VexGuid kEventsIid = {
    0xDF2A0723, 0x8933, 0x43F4, {0x95, 0x44, 0x02, 0xCD, 0xDE, 0xD3, 0xDC, 0xCF}};
inline constexpr VexGuid kControlClsid = {
    0x847F5E75, 0x9D5A, 0x4348, {0x87, 0x59, 0x8D, 0x2F, 0x4C, 0xE6, 0xD5, 0x65}};
inline constexpr VexGuid kPropPageClsid = {
    0x3AF2B0B1, 0xEB92, 0x4838, {0xBF, 0xB2, 0xD3, 0x14, 0xE4, 0xAF, 0x24, 0x96}};
// The standard class-factory interface.
inline constexpr VexGuid kClassFactoryIid = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline constexpr char kControlProgId[] = "XVEXQ4.XVexQ4Ctrl.1";
inline constexpr char kPropPageProgId[] = "XVEXQ4.OlePropPage1.1";
inline constexpr std::uint32_t kControlMiscStatus = 0x20191;

// "{847F5E75-9D5A-4348-8759-8D2F4CE6D565}"
VEXQ4_CONTROL_API std::string GuidText(const VexGuid& guid);
VEXQ4_CONTROL_API std::optional<VexGuid> ParseGuid(std::string_view text);

// The module's application object: its name is the source of automation
// errors and the name of its profile.
class VEXQ4_CONTROL_API CXVexCamApp {
 public:
  static const CXVexCamApp& Instance();
  QString name() const { return QString::fromLatin1(kModuleName); }
  // The module's file (the shared library that holds this code).
  std::filesystem::path ModulePath() const;
};

// The registry folder (created by registering when missing).
VEXQ4_CONTROL_API std::filesystem::path RegistryDirectory();
// The bytes of the registry's files, as registering writes them.
VEXQ4_CONTROL_API std::string ControlRegistryFile(const std::filesystem::path& module);
VEXQ4_CONTROL_API std::string PropPageRegistryFile(const std::filesystem::path& module);
VEXQ4_CONTROL_API std::string TypeLibRegistryFile(const std::filesystem::path& module);

// What the registry says about a ProgID: the class and the module.
struct RegisteredClass {
  VexGuid clsid;
  std::filesystem::path module;
};
VEXQ4_CONTROL_API std::optional<RegisteredClass> FindRegisteredProgId(std::string_view progId);

// The properties verb: shows the control's property page in a dialog,
// modal to `parent`'s window, and returns at once. The dialog deletes
// itself when closed; OK and Apply set the visibility properties.
VEXQ4_CONTROL_API QDialog* ShowPropertyPages(CXVexCamCtrl* control, QWidget* parent);

}  // namespace vexq4::control

// The property page "Show Windows": four check boxes bound to the
// visibility properties of the controls being edited.
class VEXQ4_CONTROL_API COlePropPage1 : public QWidget {
  Q_OBJECT

 public:
  explicit COlePropPage1(QWidget* parent = nullptr);
  ~COlePropPage1() override;
  void SetControl(CXVexCamCtrl* control);
  // Control -> boxes.
  void Load();
  // Boxes -> control, in the order Shutter, Gain, About, Communication.
  void Apply();
  QCheckBox* box(int i) const { return boxes_[static_cast<std::size_t>(i)]; }
  static QString Caption() { return QStringLiteral("Show Windows"); }

 private:
  CXVexCamCtrl* control_ = nullptr;
  std::array<QCheckBox*, 4> boxes_{};
};
