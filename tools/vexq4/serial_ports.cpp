#include "serial_ports.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string_view>
#include <system_error>

namespace vexq4::cli {
namespace {

namespace fs = std::filesystem;

// Attributes are a line or two; a file that is larger is not an attribute.
constexpr std::size_t kMaxAttributeBytes = 4096;
// A machine has a few thousand open files; far more is not worth waiting for.
constexpr int kMaxFdsLooked = 200000;

constexpr const char* kDialoutFix = "sudo usermod -aG dialout \"$USER\", then log in again";

// Programs known to take serial ports away from their users.
struct PortTaker {
  std::string_view command;  // /proc/PID/comm
  std::string_view hint;
};
constexpr PortTaker kPortTakers[] = {
    {"ModemManager",
     "ModemManager is running: it probes every new serial adapter as a modem and holds it for "
     "a few seconds after it appears; stop it ('sudo systemctl stop ModemManager') or give the "
     "camera's adapter the udev property ID_MM_DEVICE_IGNORE=1"},
    {"brltty",
     "brltty is running: it claims some USB serial adapters (CH340/CH341, CP210x and others) "
     "as braille displays, and their ttyUSB device then vanishes; without a braille display, "
     "remove it ('sudo apt remove brltty')"},
};

std::optional<std::string> ReadAttribute(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxAttributeBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got > kMaxAttributeBytes) return std::nullopt;
  text.resize(got);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

std::optional<std::string> LinkTarget(const fs::path& path) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(path, ec);
  if (ec) return std::nullopt;
  return target.string();
}

// A path of the machine ("/dev/ttyUSB0") inside the tree read.
fs::path Under(const fs::path& root, std::string_view absolute) {
  while (!absolute.empty() && absolute.front() == '/') absolute.remove_prefix(1);
  return root / absolute;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A user, group or process id written in decimal; none when it is not one
// or does not fit (a damaged account file must not end the scan).
template <class Id>
std::optional<Id> DecimalId(std::string_view s) {
  Id value{};
  if (!AllDigits(s)) return std::nullopt;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

// ---- Who we are, as the kernel sees it.

struct Identity {
  unsigned uid = 0;
  unsigned gid = 0;
  std::set<unsigned> groups;  // the effective group and the supplementary ones
};

std::vector<unsigned> Numbers(std::string_view text) {
  std::vector<unsigned> out;
  unsigned value = 0;
  bool in = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      value = value * 10 + static_cast<unsigned>(c - '0');
      in = true;
    } else if (in) {
      out.push_back(value);
      value = 0;
      in = false;
    }
  }
  if (in) out.push_back(value);
  return out;
}

// From proc/self/status of the tree (so a test tree can be another user);
// the process's own credentials where that file is missing.
Identity ReadIdentity(const fs::path& root) {
  Identity id;
  id.uid = ::geteuid();
  id.gid = ::getegid();
  std::array<gid_t, 256> list{};
  const int n = ::getgroups(static_cast<int>(list.size()), list.data());
  for (int i = 0; i < n; ++i) id.groups.insert(list[static_cast<std::size_t>(i)]);

  std::ifstream status(root / "proc/self/status");
  if (!status) {
    id.groups.insert(id.gid);
    return id;
  }
  id.groups.clear();
  for (std::string line; std::getline(status, line);) {
    const std::string_view l = line;
    const auto values =
        Numbers(l.substr(l.find(':') == std::string_view::npos ? l.size() : l.find(':')));
    // Uid: and Gid: list real, effective, saved and file-system ids.
    if (l.starts_with("Uid:") && values.size() >= 2) id.uid = values[1];
    if (l.starts_with("Gid:") && values.size() >= 2) id.gid = values[1];
    if (l.starts_with("Groups:")) id.groups.insert(values.begin(), values.end());
  }
  id.groups.insert(id.gid);
  return id;
}

struct Group {
  std::string name;
  std::vector<std::string> members;
};

std::vector<std::string> Split(std::string_view text, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(sep, start);
    out.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return out;
    start = end + 1;
  }
}

std::map<unsigned, Group> ReadGroups(const fs::path& root) {
  std::map<unsigned, Group> groups;
  std::ifstream in(root / "etc/group");
  for (std::string line; std::getline(in, line);) {
    const auto fields = Split(line, ':');  // name:password:gid:members
    const auto gid = fields.size() < 4 ? std::nullopt : DecimalId<unsigned>(fields[2]);
    if (!gid) continue;
    Group g{fields[0], {}};
    for (auto& m : Split(fields[3], ','))
      if (!m.empty()) g.members.push_back(m);
    groups.emplace(*gid, std::move(g));
  }
  return groups;
}

// The user's name and primary group from etc/passwd, when listed.
std::pair<std::string, std::optional<unsigned>> ReadUser(const fs::path& root, unsigned uid) {
  std::ifstream in(root / "etc/passwd");
  for (std::string line; std::getline(in, line);) {
    const auto fields = Split(line, ':');  // name:password:uid:gid:...
    if (fields.size() < 4) continue;
    const auto user = DecimalId<unsigned>(fields[2]);
    const auto group = DecimalId<unsigned>(fields[3]);
    if (user && group && *user == uid) return {fields[0], *group};
  }
  return {"", std::nullopt};
}

std::string ModeText(mode_t mode) {
  std::string text = S_ISCHR(mode) ? "c" : S_ISREG(mode) ? "-" : "?";
  constexpr std::array<mode_t, 9> kBits{S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP,
                                        S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH};
  for (std::size_t i = 0; i < kBits.size(); ++i) text += (mode & kBits[i]) ? "rwx"[i % 3] : '-';
  return text;
}

class AccessJudge {
 public:
  explicit AccessJudge(const fs::path& root)
      : root_(root),
        realMachine_(fs::weakly_canonical(root) == fs::path("/")),
        id_(ReadIdentity(root)),
        groups_(ReadGroups(root)) {
    std::tie(userName_, primaryGroup_) = ReadUser(root, id_.uid);
  }

  void Judge(SerialPort& port) const {
    struct stat st {};
    if (::stat(port.openPath.c_str(), &st) != 0) {
      port.access = {false, "there is no device node " + port.device};
      port.hints.push_back(
          "udev has not made it (yet): check 'dmesg', or unplug the adapter and plug it in "
          "again");
      return;
    }
    port.nodeExists = true;
    const bool rw = (st.st_mode & 6) == 6;
    const bool groupRw = ((st.st_mode >> 3) & 6) == 6;
    const bool ownerRw = ((st.st_mode >> 6) & 6) == 6;
    const bool inGroup = id_.groups.count(st.st_gid) != 0;
    bool may = id_.uid == 0 || (id_.uid == st.st_uid ? ownerRw : inGroup ? groupRw : rw);
    // On the machine itself the kernel has the last word (access lists).
    if (realMachine_)
      may = ::faccessat(AT_FDCWD, port.openPath.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    if (may) {
      port.access = {true, ""};
      return;
    }
    const std::string group = GroupName(st.st_gid);
    const std::string owner = st.st_uid == 0 ? "root" : std::to_string(st.st_uid);
    const std::string modes = ModeText(st.st_mode) + " " + owner + " " + group;
    if (groupRw && !inGroup && id_.uid != st.st_uid) {
      port.access = {false, "only the group " + group + " may open it (" + modes +
                                "); this user is not in it"};
      if (Listed(st.st_gid))
        port.hints.push_back("this user was added to " + group +
                             " after logging in: log in again (or run 'newgrp " + group + "')");
      else
        port.hints.push_back(group == "dialout"
                                 ? std::string("add the user to dialout: ") + kDialoutFix
                                 : "add the user to the group " + group + ": sudo usermod -aG " +
                                       group + " \"$USER\", then log in again");
      return;
    }
    port.access = {false, "this user may not read and write it (" + modes + ")"};
    port.hints.push_back(
        "a udev rule can give the group dialout access (GROUP=\"dialout\", MODE=\"0660\"); "
        "then " +
        std::string(kDialoutFix));
  }

 private:
  std::string GroupName(unsigned gid) const {
    const auto it = groups_.find(gid);
    return it != groups_.end() ? it->second.name : std::to_string(gid);
  }
  // Whether the group database already counts the user in, for a session
  // that started before they were added.
  bool Listed(unsigned gid) const {
    if (primaryGroup_ == gid) return true;
    const auto it = groups_.find(gid);
    return it != groups_.end() && !userName_.empty() &&
           std::find(it->second.members.begin(), it->second.members.end(), userName_) !=
               it->second.members.end();
  }

  fs::path root_;
  bool realMachine_;
  Identity id_;
  std::map<unsigned, Group> groups_;
  std::string userName_;
  std::optional<unsigned> primaryGroup_;
};

// ---- Processes.

struct Processes {
  std::map<std::string, std::vector<PortHolder>> holders;  // by device path
  std::vector<std::string> hints;
};

Processes ScanProcesses(const fs::path& root) {
  Processes out;
  const std::string self = std::to_string(::getpid());
  const bool realMachine = fs::weakly_canonical(root) == fs::path("/");
  std::set<std::string_view> takersSeen;
  std::error_code ec;
  int looked = 0;
  for (fs::directory_iterator it(root / "proc", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string pid = it->path().filename().string();
    const auto number = DecimalId<int>(pid);
    if (!number || *number <= 0 || (realMachine && pid == self)) continue;
    const std::string command = ReadAttribute(it->path() / "comm").value_or("");
    for (const PortTaker& t : kPortTakers)
      if (command == t.command) takersSeen.insert(t.command);
    std::error_code fdEc;
    for (fs::directory_iterator fd(it->path() / "fd", fdEc), fdEnd;
         !fdEc && fd != fdEnd && looked < kMaxFdsLooked; fd.increment(fdEc), ++looked) {
      const auto target = LinkTarget(fd->path());
      if (!target || !target->starts_with("/dev/")) continue;
      auto& list = out.holders[*target];
      if (std::none_of(list.begin(), list.end(),
                       [&](const PortHolder& h) { return h.pid == *number; }))
        list.push_back({*number, command});
    }
  }
  for (const PortTaker& t : kPortTakers)
    if (takersSeen.count(t.command)) out.hints.emplace_back(t.hint);
  return out;
}

// ---- Devices.

// The driver behind a tty's device. Newer kernels put each UART port on
// the serial-base bus, whose drivers ("port", "ctrl") say nothing; the
// device's own driver sits above those.
std::string DriverOf(const fs::path& sysRoot, fs::path device) {
  for (int depth = 0; depth < 8 && device.string().starts_with(sysRoot.string()); ++depth) {
    if (const auto link = LinkTarget(device / "driver")) {
      const bool serialBase = link->find("/serial-base/") != std::string::npos;
      if (!serialBase) return fs::path(*link).filename().string();
    }
    device = device.parent_path();
  }
  return {};
}

// The USB device above a port: the first folder up with idVendor.
void ReadUsb(const fs::path& sysRoot, fs::path device, SerialPort& port) {
  for (int depth = 0; depth < 12 && device.string().starts_with(sysRoot.string()); ++depth) {
    if (const auto vendor = ReadAttribute(device / "idVendor")) {
      port.vendorId = *vendor;
      port.productId = ReadAttribute(device / "idProduct").value_or("");
      port.serialNumber = ReadAttribute(device / "serial").value_or("");
      port.manufacturer = ReadAttribute(device / "manufacturer").value_or("");
      port.product = ReadAttribute(device / "product").value_or("");
      return;
    }
    device = device.parent_path();
  }
}

// Names under dev/serial/by-id or by-path whose links end at `name`.
std::map<std::string, std::vector<std::string>> StableNames(const fs::path& root,
                                                            std::string_view kind) {
  std::map<std::string, std::vector<std::string>> names;
  std::error_code ec;
  const std::string folder = "/dev/serial/" + std::string(kind) + "/";
  for (fs::directory_iterator it(Under(root, folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    const auto target = LinkTarget(it->path());
    if (!target) continue;
    names[fs::path(*target).filename().string()].push_back(folder + it->path().filename().string());
  }
  for (auto& [name, list] : names) std::sort(list.begin(), list.end());
  return names;
}

bool IsSerialName(std::string_view name) {
  return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

}  // namespace

std::filesystem::path SystemRoot() {
  const char* root = std::getenv("VEXQ4_SYSFS_ROOT");
  return root && *root ? fs::path(root) : fs::path("/");
}

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i]));
    const bool db = std::isdigit(static_cast<unsigned char>(b[j]));
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string_view na(a.data() + i, ei - i), nb(b.data() + j, ej - j);
      while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

PortScan ScanSerialPorts(const std::filesystem::path& root) {
  PortScan scan;
  const fs::path sysRoot = Under(root, "/sys");
  std::error_code ec;
  const fs::path canonicalSys = fs::weakly_canonical(sysRoot, ec);
  std::set<std::string> seen;

  for (fs::directory_iterator it(sysRoot / "class/tty", ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const fs::path entry = it->path();
    std::error_code linkEc;
    const fs::path device = fs::canonical(entry / "device", linkEc);
    if (linkEc) continue;  // virtual terminals, pseudo-terminals, the console alias
    // The 8250 driver makes ttyS0..ttyS3 (or more) whatever the hardware;
    // a port without a UART behind it reports type 0.
    if (name.starts_with("ttyS") && ReadAttribute(entry / "type").value_or("") == "0") continue;
    SerialPort port;
    port.name = name;
    port.driver = DriverOf(canonicalSys, device);
    ReadUsb(canonicalSys, device, port);
    port.console = ReadAttribute(entry / "console").value_or("") == "Y";
    scan.ports.push_back(std::move(port));
    seen.insert(name);
  }
  // USB and ACM nodes that sysfs does not show (a container with a partial
  // /sys, say) are still serial ports.
  for (fs::directory_iterator it(Under(root, "/dev"), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (IsSerialName(name) && !seen.count(name)) {
      SerialPort port;
      port.name = name;
      scan.ports.push_back(std::move(port));
    }
  }
  std::sort(scan.ports.begin(), scan.ports.end(),
            [](const SerialPort& a, const SerialPort& b) { return NaturalLess(a.name, b.name); });

  const auto byId = StableNames(root, "by-id");
  const auto byPath = StableNames(root, "by-path");
  const AccessJudge judge(root);
  Processes processes = ScanProcesses(root);
  for (SerialPort& port : scan.ports) {
    port.device = "/dev/" + port.name;
    port.openPath = Under(root, port.device).string();
    if (const auto found = byId.find(port.name); found != byId.end()) port.byId = found->second;
    if (const auto found = byPath.find(port.name); found != byPath.end())
      port.byPath = found->second;
    judge.Judge(port);
    if (const auto found = processes.holders.find(port.device); found != processes.holders.end()) {
      port.holders = found->second;
      std::string names;
      for (const PortHolder& h : port.holders)
        names += (names.empty() ? "" : ", ") + h.name + " (pid " + std::to_string(h.pid) + ")";
      port.hints.push_back("in use by " + names + ": end it or choose another port");
    }
  }
  scan.hints = std::move(processes.hints);
  return scan;
}

}  // namespace vexq4::cli
