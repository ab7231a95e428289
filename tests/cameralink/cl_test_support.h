// Helpers of the Camera Link tests: the fake vendors' call log and a capture
// of standard error.
#pragma once

#include <string>
#include <vector>

namespace vexq4::cltest {

// A fresh log file for the fake libraries ($VEXQ4_FAKE_CL_LOG); each line is
// "<tag> <what> <value>", e.g. "alp load 0" or "bet clSerialInit 0".
class CallLog {
 public:
  CallLog();
  ~CallLog();
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;
  std::vector<std::string> Lines() const;
  // How many lines start with `prefix`.
  int Count(const std::string& prefix) const;

 private:
  std::string path_;
};

// Collects what is written to file descriptor 2 while it lives.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  std::string Text() const;

 private:
  std::string path_;
  int saved_ = -1;
};

}  // namespace vexq4::cltest
