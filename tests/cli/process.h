// A program run as a user runs it: arguments, standard input, its two
// output streams and its exit status, with a time-out that kills it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vexq4::cli::test {

struct Result {
  int exitStatus = -1;  // -1: killed by a signal or by the time-out
  bool timedOut = false;
  std::string out, err;
};

class Process {
 public:
  // Starts `argv` with the extra environment entries ("NAME=value").
  Process(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
  ~Process();  // kills the process if it is still running
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  // Writes to its standard input; Close() ends the input.
  void Write(const std::string& text);
  void CloseInput();
  // Reads standard output until a whole line is there (without LF), or ""
  // after the time-out.
  std::string ReadLine(int timeoutMs);
  // Waits for the end, collecting both streams; kills it after timeoutMs.
  Result Wait(int timeoutMs);
  void Kill(int signal);

 private:
  void Pump(int timeoutMs);

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  std::string outBuf_, errBuf_;
  bool done_ = false;
  Result result_;
};

// Runs to the end with `input` on standard input.
Result RunProgram(const std::vector<std::string>& argv, const std::string& input = "",
           int timeoutMs = 30000, const std::vector<std::string>& env = {});

}  // namespace vexq4::cli::test
