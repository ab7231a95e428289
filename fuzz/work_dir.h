// A private temporary folder per fuzz process, removed at exit; on tmpfs
// where there is one, since every save of the model syncs its file.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "fuzz_input.h"

namespace vexq4::fuzz {

inline std::filesystem::path WorkDir() {
  namespace fs = std::filesystem;
  static const fs::path dir = [] {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "vexq4-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) Fail("no temporary folder");
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(WorkDir(), ec);
    });
    return fs::path(pattern);
  }();
  return dir;
}

inline void WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vexq4::fuzz
