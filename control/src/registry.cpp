// Registration: the registry folder's INI files of the control, its
// property page and its type library, written and removed by
// DllRegisterServer and DllUnregisterServer and read to find a ProgID.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "vexq4/control/automation.h"
#include "vexq4/control/module.h"
#include "vexq4/platform/ini_file.h"

namespace fs = std::filesystem;
namespace ctl = vexq4::control;

namespace vexq4::control {
namespace {

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

fs::path EntryPath(const VexGuid& guid) { return RegistryDirectory() / (GuidText(guid) + ".ini"); }

}  // namespace

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
    // Read whole: a module's path may be longer than a profile value.
    auto entry = [&doc](std::string_view key) {
      return doc.Get("Class", key, vexq4::platform::kWholeValue);
    };
    if (entry("ProgID") != std::string(progId)) continue;
    const auto clsid = ParseGuid(entry("CLSID").value_or(""));
    const auto module = entry("Module");
    if (clsid && module && !module->empty()) return RegisteredClass{*clsid, fs::path(*module)};
  }
  return std::nullopt;
}

}  // namespace vexq4::control

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
