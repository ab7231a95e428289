// The module: application object, class factories, registration, the
// property page, and the module-wide object count.
#include "vexq4/control/module.h"

#include <dlfcn.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "module_state.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/ui_services.h"
#include "vexq4/platform/ini_file.h"

namespace fs = std::filesystem;
namespace ctl = vexq4::control;

namespace vexq4::control {
namespace {

std::atomic<int> liveObjects{0};
std::atomic<int> locks{0};

// An unlock without its lock is ignored: the count never goes below zero,
// so a careless host cannot keep the module loaded for ever.
std::int32_t Lock(std::int32_t lock) {
  if (lock != 0)
    ++locks;
  else if (locks.load() > 0)
    --locks;
  return kSOk;
}

// ---- Class factories: one for the control, one for its property page.
// The caller owns what CreateInstance hands out (or the widget parent it
// gave does).
template <class Object>
class Factory final : public IVexClassFactory {
 public:
  std::int32_t CreateInstance(QWidget* parent, void** object) override {
    if (!object) return kPointerError;
    *object = new Object(parent);
    return kSOk;
  }
  std::int32_t LockServer(std::int32_t lock) override { return Lock(lock); }
};

Factory<CXVexCamCtrl> controlFactory;
Factory<COlePropPage1> propPageFactory;

// ---- Registry files.
std::string Line(std::string_view key, std::string_view value) {
  return std::string(key) + "=" + std::string(value) + "\r\n";
}

std::string ParamText(const ParamInfo& p) {
  const char* dir = p.dir == ParamDir::kIn ? "in" : p.dir == ParamDir::kOut ? "out" : "in/out";
  return std::string(dir) + " " + std::string(TypeName(p.type)) + " " + std::string(p.name);
}

bool WriteEntry(const fs::path& file, const std::string& text) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  // Unchanged bytes are not rewritten: registering twice changes nothing.
  // Only a regular file is read (opening a pipe of that name would block).
  std::ifstream in;
  if (fs::is_regular_file(file, ec)) in.open(file, std::ios::binary);
  if (in.is_open()) {
    std::stringstream current;
    current << in.rdbuf();
    if (current.str() == text) return true;
  }
  return vexq4::platform::WriteFileAtomically(file, text);
}

bool RemoveEntry(const fs::path& file) {
  std::error_code ec;
  fs::remove(file, ec);
  return !ec;
}

// A registry folder is small; a bound keeps a host's start quick whatever
// else someone put there.
constexpr std::size_t kMaxRegistryFiles = 10000;

bool SameName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// A value of a registry file, read whole: a module's path may be longer
// than a profile value may be.
std::optional<std::string> EntryValue(std::string_view text, std::string_view section,
                                      std::string_view key) {
  bool inSection = false;
  while (!text.empty()) {
    const auto lf = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, lf));
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      inSection = SameName(Trimmed(line.substr(1, line.size() - 2)), section);
    } else if (inSection) {
      const auto eq = line.find('=');
      if (eq != std::string_view::npos && SameName(Trimmed(line.substr(0, eq)), key))
        return std::string(Trimmed(line.substr(eq + 1)));
    }
  }
  return std::nullopt;
}

fs::path EntryPath(const VexGuid& guid) { return RegistryDirectory() / (GuidText(guid) + ".ini"); }

}  // namespace

void ModuleObjectCreated() { ++liveObjects; }
void ModuleObjectDestroyed() { --liveObjects; }
int ModuleObjectCount() { return liveObjects.load(); }

std::string GuidText(const VexGuid& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1,
                g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4],
                g.data4[5], g.data4[6], g.data4[7]);
  return text;
}

std::optional<VexGuid> ParseGuid(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  std::string hex;
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    const char c = text[i];
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (c != '-') return std::nullopt;
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    hex += c;
  }
  auto field = [&](std::size_t at, std::size_t digits) {
    return static_cast<std::uint32_t>(std::stoul(hex.substr(at, digits), nullptr, 16));
  };
  VexGuid g{};
  g.data1 = field(0, 8);
  g.data2 = static_cast<std::uint16_t>(field(8, 4));
  g.data3 = static_cast<std::uint16_t>(field(12, 4));
  for (std::size_t i = 0; i < 8; ++i) g.data4[i] = static_cast<std::uint8_t>(field(16 + 2 * i, 2));
  return g;
}

const CXVexCamApp& CXVexCamApp::Instance() {
  static const CXVexCamApp app;
  return app;
}

fs::path CXVexCamApp::ModulePath() const {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllGetClassObject), &info) == 0 || !info.dli_fname) return {};
  std::error_code ec;
  const fs::path path = fs::canonical(info.dli_fname, ec);
  return ec ? fs::path(info.dli_fname) : path;
}

fs::path RegistryDirectory() {
  auto env = [](const char* name) -> const char* {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
  };
  if (const char* dir = env("VEXQ4_REGISTRY_DIR")) return dir;
  if (const char* data = env("XDG_DATA_HOME")) return fs::path(data) / "vexq4" / "registry";
  if (const char* home = env("HOME"))
    return fs::path(home) / ".local" / "share" / "vexq4" / "registry";
  return fs::path(".local") / "share" / "vexq4" / "registry";
}

std::string ControlRegistryFile(const fs::path& module) {
  return "[Class]\r\n" + Line("CLSID", GuidText(kControlClsid)) + Line("ProgID", kControlProgId) +
         Line("TypeName", "XVexQ4 Control") + Line("Module", module.string()) +
         Line("ThreadingModel", "Apartment") +
         Line("MiscStatus", std::to_string(kControlMiscStatus)) + Line("ToolboxBitmap", "1") +
         Line("Control", "1") + Line("TypeLib", GuidText(kLibId)) + Line("Version", "1.0");
}

std::string PropPageRegistryFile(const fs::path& module) {
  return "[Class]\r\n" + Line("CLSID", GuidText(kPropPageClsid)) + Line("ProgID", kPropPageProgId) +
         Line("TypeName", "Show Windows") + Line("Module", module.string()) +
         Line("ThreadingModel", "Apartment") + Line("PropertyPage", "1");
}

std::string TypeLibRegistryFile(const fs::path& module) {
  std::string text = "[TypeLib]\r\n" + Line("LIBID", GuidText(kLibId)) + Line("Name", "XVEXQ4Lib") +
                     Line("Version", "1.0") + Line("Locale", "1033") +
                     Line("HelpString", "XVexQ4 ActiveX Control module") +
                     Line("HelpFile", "XVexQ4.hlp") + Line("Module", module.string());
  text += "\r\n[XVexQ4]\r\n" + Line("CLSID", GuidText(kControlClsid)) +
          Line("HelpString", "XVexQ4 Control") + Line("Flags", "creatable control") +
          Line("DefaultInterface", "_DXVexQ4") + Line("DefaultSource", "_DXVexQ4Events");
  text += "\r\n[_DXVexQ4]\r\n" + Line("IID", GuidText(kDispatchIid)) +
          Line("HelpString", "Dispatch interface for XVexQ4 Control") +
          Line("Flags", "hidden dispatchable");
  std::string events = "\r\n[_DXVexQ4Events]\r\n" + Line("IID", GuidText(kEventsIid)) +
                       Line("HelpString", "Event interface for XVexQ4 Control") +
                       Line("Flags", "dispatchable");
  for (const MemberInfo& m : Members()) {
    const std::string id = std::to_string(m.dispid);
    if (m.kind == MemberKind::kEvent) {
      events += Line("Event" + id, m.name);
    } else if (m.kind == MemberKind::kProperty) {
      text += Line("Property" + id, std::string(TypeName(m.type)) + " " + std::string(m.name));
    } else {
      std::string params;
      for (const ParamInfo& p : m.params) params += (params.empty() ? "" : ", ") + ParamText(p);
      text += Line("Method" + id,
                   std::string(TypeName(m.type)) + " " + std::string(m.name) + "(" + params + ")");
    }
  }
  return text + events;
}

std::optional<RegisteredClass> FindRegisteredProgId(std::string_view progId) {
  // In name order, so that two entries claiming one ProgID (a stale copy)
  // always resolve the same way.
  std::vector<fs::path> files;
  std::error_code ec;
  fs::directory_iterator it(RegistryDirectory(), ec);
  for (std::size_t n = 0; !ec && it != fs::directory_iterator() && n < kMaxRegistryFiles; ++n) {
    if (it->path().extension() == ".ini") files.push_back(it->path());
    it.increment(ec);
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    vexq4::platform::ProfileDocument doc;  // reads regular files only (no FIFO)
    if (!doc.Load(file)) continue;
    const std::string text = doc.Text();
    if (EntryValue(text, "Class", "ProgID") != std::string(progId)) continue;
    const auto clsid = ParseGuid(EntryValue(text, "Class", "CLSID").value_or(""));
    const auto module = EntryValue(text, "Class", "Module");
    if (clsid && module && !module->empty()) return RegisteredClass{*clsid, fs::path(*module)};
  }
  return std::nullopt;
}

void OpenHelp() {
  const fs::path module = CXVexCamApp::Instance().ModulePath();
  const fs::path base = module.parent_path();
  // Beside the module; the build's doc folder; the installed docs, with the
  // library in lib/ or in a multiarch lib/<triplet>/.
  const fs::path guide = "vexq4-operator-guide.pdf";
  const fs::path installed = fs::path("share") / "doc" / "vexq4" / guide;
  for (const fs::path& candidate : {base / guide, base / ".." / "doc" / guide,
                                    base / ".." / installed, base / ".." / ".." / installed}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) {
      Ui().OpenWithShell(QString::fromStdString(fs::weakly_canonical(candidate, ec).string()));
      return;
    }
  }
  ShowMessage(nullptr,
              QStringLiteral("The operator's guide vexq4-operator-guide.pdf was not found beside "
                             "%1, in ../doc or in share/doc/vexq4 of the installation.")
                  .arg(QString::fromStdString(module.string())),
              UiServices::Buttons::kOk, UiServices::Icon::kInformation);
}

QDialog* ShowPropertyPages(CXVexCamCtrl* control, QWidget* parent) {
  // Modal to the host's window without a nested event loop: the caller
  // returns at once, and the dialog goes when it is closed.
  auto* dialog = new QDialog(parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setObjectName(QStringLiteral("properties"));
  dialog->setWindowTitle(QStringLiteral("XVexQ4 Control Properties"));
  dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  // One tab per page, captioned as the page is.
  auto* tabs = new QTabWidget(dialog);
  auto* page = new COlePropPage1(tabs);
  page->SetControl(control);
  tabs->addTab(page, COlePropPage1::Caption());
  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, dialog);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, [dialog, page] {
    page->Apply();
    dialog->accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  QObject::connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, page,
                   &COlePropPage1::Apply);
  // The page edits this control only while it lives.
  if (control) QObject::connect(control, &QObject::destroyed, dialog, &QDialog::reject);
  dialog->show();
  return dialog;
}

}  // namespace vexq4::control

bool operator==(const VexGuid& a, const VexGuid& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::equal(std::begin(a.data4), std::end(a.data4), std::begin(b.data4));
}

// ---- Entry points.
extern "C" std::int32_t DllRegisterServer() {
  const fs::path module = ctl::CXVexCamApp::Instance().ModulePath();
  // An entry without its module could never be created, and a line break
  // in the path would break the entry's lines.
  const std::string path = module.string();
  if (module.empty() || path.find_first_of("\r\n") != std::string::npos)
    return ctl::kSelfRegTypeLib;
  if (!ctl::WriteEntry(ctl::EntryPath(ctl::kLibId), ctl::TypeLibRegistryFile(module)))
    return ctl::kSelfRegTypeLib;
  if (!ctl::WriteEntry(ctl::EntryPath(ctl::kControlClsid), ctl::ControlRegistryFile(module)) ||
      !ctl::WriteEntry(ctl::EntryPath(ctl::kPropPageClsid), ctl::PropPageRegistryFile(module)))
    return ctl::kSelfRegClass;
  return ctl::kSOk;
}

extern "C" std::int32_t DllUnregisterServer() {
  if (!ctl::RemoveEntry(ctl::EntryPath(ctl::kLibId))) return ctl::kSelfRegTypeLib;
  if (!ctl::RemoveEntry(ctl::EntryPath(ctl::kControlClsid)) ||
      !ctl::RemoveEntry(ctl::EntryPath(ctl::kPropPageClsid)))
    return ctl::kSelfRegClass;
  return ctl::kSOk;
}

extern "C" std::int32_t DllGetClassObject(const VexGuid* clsid, const VexGuid* iid, void** object) {
  if (!object) return ctl::kPointerError;
  *object = nullptr;
  if (!clsid || !iid) return ctl::kPointerError;
  IVexClassFactory* factory = nullptr;
  if (*clsid == ctl::kControlClsid)
    factory = &ctl::controlFactory;
  else if (*clsid == ctl::kPropPageClsid)
    factory = &ctl::propPageFactory;
  else
    return ctl::kClassNotAvailable;
  if (!(*iid == ctl::kClassFactoryIid)) return ctl::kNoInterface;
  *object = factory;
  return ctl::kSOk;
}

extern "C" std::int32_t DllCanUnloadNow() {
  return ctl::liveObjects.load() == 0 && ctl::locks.load() == 0 ? ctl::kSOk : ctl::kSFalse;
}

// ---- The property page.
COlePropPage1::COlePropPage1(QWidget* parent) : QWidget(parent) {
  ctl::ModuleObjectCreated();
  setWindowTitle(Caption());
  setAccessibleName(Caption());
  auto* group = new QGroupBox(QStringLiteral("Show tool windows"), this);
  group->setAccessibleName(group->title());
  auto* inner = new QVBoxLayout(group);
  const char* texts[] = {"Shutter", "Gain", "About", "Communication"};
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    boxes_[i] = new QCheckBox(QString::fromLatin1(texts[i]), group);
    boxes_[i]->setAccessibleName(boxes_[i]->text());
    inner->addWidget(boxes_[i]);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
}

COlePropPage1::~COlePropPage1() { ctl::ModuleObjectDestroyed(); }

void COlePropPage1::SetControl(CXVexCamCtrl* control) {
  control_ = control;
  Load();
}

void COlePropPage1::Load() {
  if (!control_) return;
  boxes_[0]->setChecked(control_->GetShowShutterWnd() != 0);
  boxes_[1]->setChecked(control_->GetShowGainWnd() != 0);
  boxes_[2]->setChecked(control_->GetShowAboutWnd() != 0);
  boxes_[3]->setChecked(control_->GetShowCommunicationWnd() != 0);
}

void COlePropPage1::Apply() {
  if (!control_) return;
  control_->SetShowShutterWnd(boxes_[0]->isChecked() ? 1 : 0);
  control_->SetShowGainWnd(boxes_[1]->isChecked() ? 1 : 0);
  control_->SetShowAboutWnd(boxes_[2]->isChecked() ? 1 : 0);
  control_->SetShowCommunicationWnd(boxes_[3]->isChecked() ? 1 : 0);
}
