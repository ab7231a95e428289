// What the tests of vexq4 run as a user runs it share: the programs, a
// vexq4-sim process that logs what reaches the camera, and the pieces of
// their output.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "table_counts.h"
#include "test_dir.h"

namespace vexq4::cli::test {

namespace fs = std::filesystem;
using vexq4::testing::ReadFile;

inline const std::string kVexq4 = VEXQ4_EXE;
inline const std::string kSim = VEXQ4_SIM_EXE;

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The lines of `vexq4 list`: every property of the model and the identity
// a read-all reads (the camera ID, model name and settings area).
inline std::size_t ListedValues() { return testing::ModelPropertyCount() + 3; }

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

enum class Pace { kAtOnce, kCamera };

// A vexq4-sim process logging every line it receives, answering at once or
// at the camera's own pace (9600 baud after its latency).
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> extra = {}, Pace pace = Pace::kAtOnce) {
    std::vector<std::string> argv{kSim, "--log"};
    if (pace == Pace::kAtOnce) argv.insert(argv.end(), {"--no-pacing", "--latency", "1"});
    argv.insert(argv.end(), extra.begin(), extra.end());
    process_ = std::make_unique<Process>(argv);
    path_ = process_->ReadLine(5000);
  }
  const std::string& path() const { return path_; }
  // Stops the simulator and gives what it logged: one line per line received.
  std::string StopAndLog() {
    process_->Kill(SIGTERM);
    return process_->Wait(5000).err;
  }
  void Kill() { process_->Kill(SIGKILL); }

 private:
  std::unique_ptr<Process> process_;
  std::string path_;
};

// Lines of the log that are commands ("XX=value"); queries end in '?'.
inline std::vector<std::string> Commands(const std::string& log) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(log))
    if (Has(line, "=")) out.push_back(line);
  return out;
}

inline long MsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

class TempDir : public ::testing::Test {
 protected:
  vexq4::testing::TestDir dir_{"vexq4-cli"};
};

}  // namespace vexq4::cli::test
