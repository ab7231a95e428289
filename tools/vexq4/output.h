// Standard output of the host: the results. A write that fails (a full
// disk, a device that takes nothing) must not pass as a success, so every
// failure is remembered and the program ends with status 1.
#pragma once

#include <string>
#include <string_view>

namespace vexq4::cli {

class Console;

// `line` and a line end, flushed at once (results of a slow camera appear
// as they come), after the calling thread's prefix. A line is written
// whole: lines of cameras working at once never mix.
void PrintLine(std::string_view line);
// `text` as it is (help texts, the prompt), flushed.
void PrintText(std::string_view text);

// The results of one camera of several: every line this thread prints
// starts with "`label`: " while the object lives.
class OutputPrefix {
 public:
  explicit OutputPrefix(const std::string& label);
  ~OutputPrefix();
  OutputPrefix(const OutputPrefix&) = delete;
  OutputPrefix& operator=(const OutputPrefix&) = delete;
};

// Results written while progress bars are on the same terminal take the
// bars off first (nullptr: none).
void ShareTerminalWith(Console* console);

// `text` as a JSON string: UTF-8 kept, every other byte U+FFFD, control
// characters escaped.
std::string JsonString(std::string_view text);

// Flushes standard output; false when this or any earlier write failed,
// with the system's text of the first failure in `error`.
bool FinishOutput(std::string& error);

}  // namespace vexq4::cli
