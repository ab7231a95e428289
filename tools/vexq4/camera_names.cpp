#include "camera_names.h"

#include <sys/stat.h>

#include <map>

#include "vexq4/platform/network_device.h"

namespace vexq4::cli {
namespace {

bool Kept(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_' || c == '+';
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// What makes two names one device. A path that cannot be looked at (not
// there yet, not allowed) is known by its name only.
std::string Identity(const std::string& device) {
  namespace p = vexq4::platform;
  if (p::IsNetworkDeviceName(device)) {
    const auto address = p::ParseNetworkDeviceName(device);
    if (!address) return "name " + device;
    return std::string(address->scheme == p::NetworkScheme::kRfc2217 ? "rfc2217 " : "socket ") +
           Lower(address->host) + " " + std::to_string(address->port);
  }
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return "name " + device;
  // Two nodes of one character device open the same line.
  if (S_ISCHR(st.st_mode)) return "char " + std::to_string(st.st_rdev);
  return "file " + std::to_string(st.st_dev) + " " + std::to_string(st.st_ino);
}

}  // namespace

std::string FileSafeName(std::string_view device) {
  if (device.starts_with("/dev/")) device.remove_prefix(5);
  std::string out;
  bool gap = false;
  for (const char c : device) {
    if (!Kept(c)) {
      gap = true;
      continue;
    }
    if (gap && !out.empty()) out += '_';
    gap = false;
    out += c;
  }
  if (out.empty()) return "_";
  if (out.front() == '.') out.front() = '_';
  return out;
}

bool HasCameraPlaceholder(std::string_view file) {
  return file.find(kCameraPlaceholder) != std::string_view::npos;
}

std::string WithCamera(std::string_view file, std::string_view camera) {
  std::string out;
  for (;;) {
    const std::size_t at = file.find(kCameraPlaceholder);
    out += file.substr(0, at);
    if (at == std::string_view::npos) return out;
    out += camera;
    file.remove_prefix(at + kCameraPlaceholder.size());
  }
}

std::string FileForEachCamera(std::string_view command, const std::string& file,
                              const std::vector<CameraFileName>& cameras) {
  if (!HasCameraPlaceholder(file)) {
    // "one.cam" becomes "one-{camera}.cam" in the example.
    const std::size_t base = file.rfind('/') == std::string::npos ? 0 : file.rfind('/') + 1;
    std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot <= base) dot = file.size();
    const std::string example =
        file.substr(0, dot) + "-" + std::string(kCameraPlaceholder) + file.substr(dot);
    return std::string(command) + " " + file +
           ": one file would hold one camera of several and lose the others; put " +
           std::string(kCameraPlaceholder) + " in the file name for a file per camera (" +
           std::string(command) + " '" + example + "'), or name one camera";
  }
  std::map<std::string, std::string> seen;  // file -> the camera writing it
  for (const CameraFileName& camera : cameras) {
    const std::string name = WithCamera(file, camera.name);
    if (const auto [it, fresh] = seen.emplace(name, camera.label); !fresh)
      return std::string(command) + ": " + it->second + " and " + camera.label +
             " would both write " + name +
             " (their names differ only in characters a file name leaves out)";
  }
  return {};
}

std::optional<std::pair<std::string, std::string>> SameDeviceTwice(
    const std::vector<NamedDevice>& named) {
  std::map<std::string, std::string> seen;  // identity -> the first label naming it
  for (const NamedDevice& n : named) {
    const auto [it, fresh] = seen.emplace(Identity(n.device), n.label);
    if (!fresh) return std::pair{it->second, n.label};
  }
  return std::nullopt;
}

}  // namespace vexq4::cli
