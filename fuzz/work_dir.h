// A private scratch folder per fuzz process, removed at exit.
#pragma once

#include <filesystem>
#include <span>

#include "fuzz_input.h"
#include "test_dir.h"

namespace vexq4::fuzz {

inline const std::filesystem::path& WorkDir() {
  static const testing::TestDir folder("vexq4-fuzz");
  return folder.path();
}

inline void WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  testing::WriteFile(path, AsText(bytes));
}

}  // namespace vexq4::fuzz
