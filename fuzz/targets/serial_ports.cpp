// `vexq4 ports` on a machine the input makes up: a sysfs, /dev, /proc and
// /etc tree with adapters, UARTs, links that go nowhere or in circles,
// processes and account files whose contents are any bytes. The scan
// never throws or hangs, sorts its ports in a consistent order, says why
// and what to do for every port this user may not open, and prints each
// port on one line and the whole as a JSON document that parses and is
// UTF-8 whatever bytes the names and texts hold, with and without what
// --probe found (a camera's identity is its own bytes too).
//
// Input: a two-byte length and that many bytes of probe results (per port
// a flag byte and NUL-ended texts, see Probe()), then up to 48 entries of
// the machine, each a kind byte and its NUL-ended texts (see Build()).
#include "serial_ports.h"

#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "work_dir.h"

using namespace vexq4;
namespace fs = std::filesystem;

namespace {

constexpr int kMaxEntries = 48;

// Well-formed UTF-8 as JSON readers take it (RFC 3629: no overlong
// forms, no surrogates, nothing above U+10FFFF).
bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i++]);
    if (c < 0x80) continue;
    std::uint32_t code = 0;
    std::size_t more = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
    } else {
      return false;
    }
    code = c & (0x3Fu >> more);
    if (more > s.size() - i) return false;
    for (std::size_t k = 0; k < more; ++k, ++i) {
      const auto b = static_cast<unsigned char>(s[i]);
      if ((b & 0xC0) != 0x80) return false;
      code = code << 6 | (b & 0x3Fu);
    }
    const std::uint32_t least = more == 1 ? 0x80 : more == 2 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
  }
  return true;
}

// Builds the machine below `root` from the input.
class MachineBuilder {
 public:
  MachineBuilder(fs::path root, fuzz::FuzzInput& in) : root_(std::move(root)), in_(in) {}

  void Build() {
    for (const char* dir : {"sys/class/tty", "sys/devices", "dev/serial/by-id",
                            "dev/serial/by-path", "proc/self", "etc"})
      fs::create_directories(root_ / dir);
    for (int n = 0; n < kMaxEntries && !in_.empty(); ++n) {
      switch (in_.Byte() % 9) {
        case 0:
          UsbAdapter();
          break;
        case 1:
          Uart();
          break;
        case 2:  // a class entry that is any link: nowhere, a loop, a file
          Link(root_ / "sys/class/tty" / Name(), Target(3));
          break;
        case 3:
          Node();
          break;
        case 4:
          Link(root_ / "dev/serial" / (in_.Byte() & 1 ? "by-id" : "by-path") / Name(), Text(false));
          break;
        case 5:
          Process();
          break;
        case 6:
          File(root_ / "proc/self/status", Text());
          break;
        case 7:
          File(root_ / (in_.Byte() & 1 ? "etc/group" : "etc/passwd"), Text());
          break;
        default:
          DeepPort();
          break;
      }
    }
  }

 private:
  // A file name: any bytes but '/' and NUL (a line end or a byte that is
  // no UTF-8 included).
  std::string Name() {
    std::string name = in_.Until(0).substr(0, 80);
    for (char& c : name)
      if (c == '/') c = '_';
    if (name.empty() || name == "." || name == "..") name = "x";
    return name;
  }
  // A file's contents; a size byte that asks for it makes it a few
  // thousand bytes long (attributes longer than a page are no attributes).
  std::string Text(bool mayGrow = true) {
    std::string text = in_.Until(0);
    const std::uint8_t grow = mayGrow ? in_.Byte() : 0;
    if (grow >= 0xF0 && !text.empty()) {
      const std::size_t want = 4000 + (grow - 0xF0) * 16u;
      while (text.size() < want) text += text;
    }
    return text;
  }
  // A relative link target climbing at most `up` folders (it stays in the
  // tree, which is all the scan may read).
  std::string Target(int up) {
    std::string target;
    for (int i = in_.Byte() % (up + 1); i > 0; --i) target += "../";
    std::string rest = in_.Until(0);
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    for (std::size_t at = rest.find(".."); at != std::string::npos; at = rest.find("..", at))
      rest.replace(at, 2, "__");
    return target + rest;
  }

  void File(const fs::path& path, const std::string& text) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (!ec && !fs::is_directory(path, ec)) fuzz::WriteBytes(path, AsBytes(text));
  }
  static std::span<const std::uint8_t> AsBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
  }
  void Link(const fs::path& path, const std::string& target) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (!ec && !target.empty()) fs::create_symlink(target, path, ec);
  }
  // A tty below `device`, its class entry and its driver link.
  void Tty(const std::string& tty, const fs::path& device, const std::string& driver) {
    const fs::path classDir = device / "tty" / tty;
    std::error_code ec;
    fs::create_directories(classDir, ec);
    if (ec) return;
    Link(device / "driver", driver);
    Link(classDir / "device", fs::relative(device, classDir, ec).string());
    Link(root_ / "sys/class/tty" / tty,
         fs::relative(classDir, root_ / "sys/class/tty", ec).string());
  }
  void NodeFor(const std::string& tty, std::uint8_t how) {
    const fs::path node = root_ / "dev" / tty;
    if (how & 1) {
      File(node, "");
      ::chmod(node.c_str(), static_cast<mode_t>(in_.Word() & 07777));
    }
  }

  void UsbAdapter() {
    const std::uint8_t flags = in_.Byte();
    const std::string tty = Name();
    const fs::path usb = root_ / "sys/devices/pci0000:00/usb1" / Name();
    for (const char* attribute : {"idVendor", "idProduct", "serial", "manufacturer", "product"})
      if (flags & 2) File(usb / attribute, Text());
    Tty(tty, usb / "1-1:1.0" / tty, "../../../../../bus/usb-serial/drivers/" + Name());
    NodeFor(tty, flags);
    if (flags & 4) Link(root_ / "dev/serial/by-id" / Name(), "../../" + tty);
  }
  void Uart() {
    const std::uint8_t flags = in_.Byte();
    const std::string tty = flags & 2 ? "ttyS" + std::to_string(in_.Byte()) : Name();
    const fs::path pnp = root_ / "sys/devices/pnp0" / Name();
    Link(pnp / "driver", Target(3));
    Link(pnp / "ctrl" / "driver", "../../../../bus/serial-base/drivers/ctrl");
    Tty(tty, pnp / "ctrl" / "port", "../../../../../bus/serial-base/drivers/port");
    File(root_ / "sys/class/tty" / tty / "type", Text());
    if (flags & 4) File(root_ / "sys/class/tty" / tty / "console", Text());
    NodeFor(tty, flags);
  }
  // A port deep below its USB device, driver links anywhere on the way.
  void DeepPort() {
    const std::string tty = Name();
    fs::path device = root_ / "sys/devices";
    const int depth = in_.Byte() % 24;
    for (int i = 0; i < depth; ++i) {
      device /= "d" + std::to_string(i);
      const std::uint8_t what = in_.Byte();
      if (what & 1) File(device / "idVendor", Text());
      if (what & 2) Link(device / "driver", Target(4));
    }
    Tty(tty, device, Target(4));
    NodeFor(tty, 1);
  }
  void Node() {
    const std::string name = Name();
    switch (in_.Byte() % 3) {
      case 0:
        NodeFor(name, 1);
        break;
      case 1:
        fs::create_directories(root_ / "dev" / name, ignored_);
        break;
      default:
        Link(root_ / "dev" / name, Target(1));
        break;
    }
  }
  void Process() {
    const std::string pid = Name();
    const fs::path dir = root_ / "proc" / pid;
    File(dir / "comm", Text());
    for (int fd = in_.Byte() % 4; fd > 0; --fd)
      Link(dir / "fd" / std::to_string(fd), in_.Byte() & 1 ? "/dev/" + Name() : Text(false));
  }

  fs::path root_;
  fuzz::FuzzInput& in_;
  std::error_code ignored_;  // a folder where a file already is: left out
};

// ---- A JSON reader, enough to tell a document from a broken one.

class Json {
 public:
  explicit Json(std::string_view text) : s_(text) {}
  // True when the text is one JSON value; `ports` counts the elements of
  // the top-level "ports" array.
  bool Parse(std::size_t* ports) {
    ports_ = ports;
    return Value(0) && (Space(), at_ == s_.size());
  }

 private:
  void Space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n')) ++at_;
  }
  bool Eat(char c) {
    Space();
    if (at_ >= s_.size() || s_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool String(std::string* out = nullptr) {
    if (!Eat('"')) return false;
    while (at_ < s_.size() && s_[at_] != '"') {
      const auto c = static_cast<unsigned char>(s_[at_++]);
      if (c < 0x20) return false;
      if (c == '\\') {
        if (at_ >= s_.size()) return false;
        const char e = s_[at_++];
        if (e == 'u') {
          for (int k = 0; k < 4; ++k, ++at_)
            if (at_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[at_])))
              return false;
        } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
          return false;
        }
        continue;
      }
      if (out) out->push_back(static_cast<char>(c));
    }
    return Eat('"');
  }
  bool Value(int depth, bool isPorts = false) {
    Space();
    if (depth > 8 || at_ >= s_.size()) return false;
    const char c = s_[at_];
    if (c == '"') return String();
    if (c == '{' || c == '[') {
      ++at_;
      const char close = c == '{' ? '}' : ']';
      if (Eat(close)) return true;
      do {
        std::string key;
        if (c == '{' && !(String(&key) && Eat(':'))) return false;
        const bool counted = depth == 1 && isPorts;
        if (!Value(depth + 1, depth == 0 && key == "ports")) return false;
        if (counted && ports_) ++*ports_;
      } while (Eat(','));
      return Eat(close);
    }
    for (const std::string_view word : {"true", "false", "null"}) {
      if (s_.substr(at_).starts_with(word)) {
        at_ += word.size();
        return true;
      }
    }
    const std::size_t start = at_;
    if (at_ < s_.size() && s_[at_] == '-') ++at_;
    while (at_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_]))) ++at_;
    return at_ > start && std::isdigit(static_cast<unsigned char>(s_[at_ - 1]));
  }

  std::string_view s_;
  std::size_t at_ = 0;
  std::size_t* ports_ = nullptr;
};

void CheckOrder(const std::vector<cli::SerialPort>& ports) {
  // Sorted, and the order is a strict weak order on these names (std::sort
  // with anything else may run off its range).
  const auto less = [](const cli::SerialPort& a, const cli::SerialPort& b) {
    return cli::NaturalLess(a.name, b.name);
  };
  for (std::size_t i = 0; i + 1 < ports.size(); ++i)
    VEXQ4_FUZZ_CHECK(!less(ports[i + 1], ports[i]), "ports out of order");
  for (const auto& a : ports) {
    VEXQ4_FUZZ_CHECK(!less(a, a), "a name sorts before itself");
    for (const auto& b : ports) {
      if (!less(a, b)) continue;
      VEXQ4_FUZZ_CHECK(!less(b, a), "two names each sort before the other");
      for (const auto& c : ports)
        if (less(b, c)) VEXQ4_FUZZ_CHECK(less(a, c), "the name order is not transitive");
    }
  }
}

// What --probe would have found on each port, from the input.
void Probe(fuzz::FuzzInput& in, cli::PortScan& scan) {
  for (cli::SerialPort& port : scan.ports) {
    cli::PortProbe& p = port.probe;
    const std::uint8_t flags = in.Byte();
    p.probed = flags & 1;
    p.found = p.probed && (flags & 2);
    if (p.found) {
      // The identity fits the host's 10-byte buffers.
      p.cameraId = in.Until(0).substr(0, 9);
      p.modelName = in.Until(0).substr(0, 9);
    } else {
      (p.probed ? p.why : p.notProbed) = in.Until(0).substr(0, 200);
    }
  }
}

void CheckPort(const cli::SerialPort& port) {
  VEXQ4_FUZZ_CHECK(port.device == "/dev/" + port.name, "a port's device is not its name in /dev");
  if (!port.access.mayOpen)
    VEXQ4_FUZZ_CHECK(!port.access.why.empty() && !port.hints.empty(),
                     "a port this user may not open without why and what to do");
  for (const auto& holder : port.holders)
    VEXQ4_FUZZ_CHECK(holder.pid > 0, "a port held by a process without a process id");
  for (const bool withProbe : {false, true}) {
    const std::string line = cli::FormatPortLine(port, withProbe);
    VEXQ4_FUZZ_CHECK(line.starts_with(port.device) || line.starts_with("\"/dev/"),
                     "a port's line does not start with its device");
    for (const char c : line)
      VEXQ4_FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f,
                       "a port's line holds a control character: " + line);
  }
}

void CheckJson(const cli::PortScan& scan, bool withProbe) {
  const std::string json = cli::FormatPortsJson(scan, withProbe);
  std::size_t ports = 0;
  VEXQ4_FUZZ_CHECK(Json(json).Parse(&ports), "the JSON output does not parse:\n" + json);
  VEXQ4_FUZZ_CHECK(ports == scan.ports.size(), "the JSON output lists another number of ports");
  VEXQ4_FUZZ_CHECK(ValidUtf8(json), "the JSON output is not UTF-8");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path root = fuzz::WorkDir() / "machine";
  std::error_code ec;
  fs::remove_all(root, ec);
  fuzz::FuzzInput in({data, size});
  fuzz::FuzzInput probes(in.Take(in.Word()));
  MachineBuilder machine(root, in);
  machine.Build();

  cli::PortScan scan = cli::ScanSerialPorts(root);
  CheckOrder(scan.ports);
  CheckJson(scan, false);
  Probe(probes, scan);
  for (const auto& port : scan.ports) CheckPort(port);
  CheckJson(scan, true);
  return 0;
}
