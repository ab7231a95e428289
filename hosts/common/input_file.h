// Files a command reads (settings files, shading tables, the settings file
// a save keeps foreign lines of), checked before anything is read or sent:
// only a regular file of reasonable size is read, so a FIFO or a device
// cannot hold the program and a huge file is not read whole into memory.
#pragma once

#include <cstdint>
#include <string>

namespace vexq4::hosts {

// Real settings files and shading tables are a few kilobytes.
inline constexpr std::uintmax_t kMaxInputFileBytes = 1024 * 1024;

struct InputFileCheck {
  bool ok = true;
  bool missing = false;  // there is no such file
  std::string problem;   // why it is not read, for the message
};

// Looks at `path` without opening it (following symbolic links).
InputFileCheck CheckInputFile(const std::string& path);

}  // namespace vexq4::hosts
