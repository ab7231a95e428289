// A private temporary folder per fuzz process, removed at exit; on tmpfs
// where there is one, since every save of the model syncs its file.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "fuzz_input.h"

namespace vexq4::fuzz {

// The folder lives as long as the process and is removed with it.
class TempFolder {
 public:
  TempFolder() {
    namespace fs = std::filesystem;
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "vexq4-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) Fail("no temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline const std::filesystem::path& WorkDir() {
  static const TempFolder folder;
  return folder.path();
}

inline void WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vexq4::fuzz
