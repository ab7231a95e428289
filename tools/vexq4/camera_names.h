// How one run tells its cameras apart: in file names, where several
// cameras each write a file of their own ("line3-{camera}.cam"), and when
// the same camera is named twice under different names (a link and its
// target), which would otherwise open it twice.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexq4::cli {

// Stands for the camera in a file name; replaced wherever it appears.
inline constexpr std::string_view kCameraPlaceholder = "{camera}";

// The camera's device as a piece of a file name: "/dev/" left out, and
// every run of characters other than ASCII letters, digits, '.', '-', '_'
// and '+' (slashes, colons, blanks, control characters and bytes above
// 127) one '_', none at either end; a leading '.' becomes '_' too, so the
// name never hides the file or climbs out of its folder. "/dev/ttyUSB0" is
// "ttyUSB0", "/dev/serial/by-id/usb-FTDI-if00" "serial_by-id_usb-FTDI-if00",
// "rfc2217://line3:4001" "rfc2217_line3_4001". Never empty.
std::string FileSafeName(std::string_view device);

bool HasCameraPlaceholder(std::string_view file);

// `file` with every {camera} replaced by `camera`.
std::string WithCamera(std::string_view file, std::string_view camera);

struct CameraFileName {
  std::string label;  // the camera as its results name it: "/dev/ttyUSB0"
  std::string name;   // what {camera} becomes for it: "ttyUSB0"
};

// Why `command FILE`, which writes FILE, cannot run on several cameras:
// without {camera} one file would hold one of them only, and two cameras
// whose names give the same file would overwrite each other. Empty when
// each of `cameras` gets its own file. `cameras` empty: who they are is not
// known yet (--all), only the placeholder is looked at.
std::string FileForEachCamera(std::string_view command, const std::string& file,
                              const std::vector<CameraFileName>& cameras);

// A camera as the command line names it (--device PATH, or COM n by the
// device it stands for).
struct NamedDevice {
  std::string label;   // what the user wrote: "/tmp/rxq4", "COM2"
  std::string device;  // the device it opens: a path or a network line
};

// The first two of `named` that are one device: the same name, a link and
// its target, two nodes of one device (by the device's number), or a
// network line written in two ways (the scheme and host in other letter
// case). Nothing is opened, only looked at.
std::optional<std::pair<std::string, std::string>> SameDeviceTwice(
    const std::vector<NamedDevice>& named);

}  // namespace vexq4::cli
