#include "cl_test_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace vexq4::cltest {
namespace {

std::string TempFile(const char* stem) {
  std::string path = std::string("/tmp/") + stem + "XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd >= 0) close(fd);
  return path;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

CallLog::CallLog() : path_(TempFile("vexq4-cl-log")) {
  setenv("VEXQ4_FAKE_CL_LOG", path_.c_str(), 1);
}

CallLog::~CallLog() {
  unsetenv("VEXQ4_FAKE_CL_LOG");
  unlink(path_.c_str());
}

std::vector<std::string> CallLog::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadAll(path_));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int CallLog::Count(const std::string& prefix) const {
  int n = 0;
  for (const std::string& line : Lines()) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

StderrCapture::StderrCapture() : path_(TempFile("vexq4-cl-err")) {
  const int fd = open(path_.c_str(), O_WRONLY | O_TRUNC);
  saved_ = dup(2);
  dup2(fd, 2);
  close(fd);
}

StderrCapture::~StderrCapture() {
  dup2(saved_, 2);
  close(saved_);
  unlink(path_.c_str());
}

std::string StderrCapture::Text() const { return ReadAll(path_); }

}  // namespace vexq4::cltest
