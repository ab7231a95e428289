#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace vexq4::cli {
namespace {

// errno of the first failed write; kUnknown when the failure left none
// (a stream flushed inside the C++ library); 0: none.
constexpr int kUnknown = -1;
int g_firstError = 0;

void Check(bool ok) {
  if (!ok && g_firstError == 0) g_firstError = errno != 0 ? errno : kUnknown;
}

}  // namespace

void PrintText(std::string_view text) {
  errno = 0;
  Check(std::fwrite(text.data(), 1, text.size(), stdout) == text.size());
  Check(std::fflush(stdout) == 0);
}

void PrintLine(std::string_view line) {
  errno = 0;
  Check(std::fwrite(line.data(), 1, line.size(), stdout) == line.size());
  Check(std::fputc('\n', stdout) != EOF);
  Check(std::fflush(stdout) == 0);
}

bool FinishOutput(std::string& error) {
  errno = 0;
  Check(std::fflush(stdout) == 0);
  // Help texts go through std::cout, which shares standard output.
  std::cout.flush();
  Check(static_cast<bool>(std::cout) && !std::ferror(stdout));
  if (g_firstError == 0) return true;
  error = g_firstError == kUnknown ? "a write failed" : std::strerror(g_firstError);
  return false;
}

}  // namespace vexq4::cli
