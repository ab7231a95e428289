#include "output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>

#include "console.h"

namespace vexq4::cli {
namespace {

// errno of the first failed write; kUnknown when the failure left none
// (a stream flushed inside the C++ library); 0: none.
constexpr int kUnknown = -1;
std::mutex g_mutex;  // the first error, and one writer at a time
int g_firstError = 0;
Console* g_console = nullptr;
thread_local std::string t_prefix;

void Check(bool ok) {
  if (!ok && g_firstError == 0) g_firstError = errno != 0 ? errno : kUnknown;
}

void Write(std::string_view text) {
  std::lock_guard lock(g_mutex);
  const auto write = [&] {
    errno = 0;
    Check(std::fwrite(text.data(), 1, text.size(), stdout) == text.size());
    Check(std::fflush(stdout) == 0);
  };
  if (g_console != nullptr && ::isatty(STDOUT_FILENO) == 1)
    g_console->WithBarsCleared(write);
  else
    write();
}

}  // namespace

void PrintText(std::string_view text) { Write(text); }

void PrintLine(std::string_view line) {
  std::string whole = t_prefix;
  whole += line;
  whole += '\n';
  Write(whole);
}

OutputPrefix::OutputPrefix(const std::string& label) { t_prefix = label + ": "; }

OutputPrefix::~OutputPrefix() { t_prefix.clear(); }

void ShareTerminalWith(Console* console) {
  std::lock_guard lock(g_mutex);
  g_console = console;
}

bool FinishOutput(std::string& error) {
  std::lock_guard lock(g_mutex);
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
