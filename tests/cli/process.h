// A program run as a user runs it: arguments, standard input, its two
// output streams and its exit status, with a time-out that kills it.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace vexq4::cli::test {

struct Result {
  int exitStatus = -1;  // -1: killed by a signal or by the time-out
  bool timedOut = false;
  std::string out, err;
  rusage usage{};  // of the ended process: CPU time, voluntary switches
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

// A program on a pseudo-terminal of its own, as from a user's terminal
// window: standard input, output and error are the terminal, which is its
// controlling terminal, so typed Ctrl-C raises SIGINT.
class PtyProcess {
 public:
  PtyProcess(const std::vector<std::string>& argv, int columns = 80,
             const std::vector<std::string>& env = {});
  ~PtyProcess();  // kills the process if it is still running
  PtyProcess(const PtyProcess&) = delete;
  PtyProcess& operator=(const PtyProcess&) = delete;

  // Types `text` (a byte 3 is Ctrl-C).
  void Type(const std::string& text);
  // Reads until `token` appears in what was read since the last call that
  // found its token; returns all of that (also on time-out, without it).
  std::string ReadUntil(const std::string& token, int timeoutMs);
  // Everything the terminal showed so far.
  const std::string& shown() const { return shown_; }
  // Waits for the end; -1 when killed by a signal or the time-out.
  int Wait(int timeoutMs);

 private:
  pid_t pid_ = -1;
  int master_ = -1;
  std::string shown_;
  std::size_t from_ = 0;
  bool done_ = false;
  int status_ = -1;
};

// Runs to the end with `input` on standard input.
Result RunProgram(const std::vector<std::string>& argv, const std::string& input = "",
                  int timeoutMs = 30000, const std::vector<std::string>& env = {});

}  // namespace vexq4::cli::test
