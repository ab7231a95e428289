// Command lines of the shell: from a terminal with line editing and
// history (libedit: arrow keys, Ctrl-R, ...), otherwise plainly from the
// stream.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace vexq4::cli {

class LineReader {
 public:
  enum class Result {
    kLine,         // `line` holds the line, without its end
    kEnd,          // end of the input
    kInterrupted,  // a signal ended the read (what was typed is dropped)
  };

  virtual ~LineReader() = default;
  // `prompt` is shown only by the editing reader.
  virtual Result Read(const std::string& prompt, std::string& line) = 0;
  virtual bool edits() const = 0;

  // The editing reader when `in` is a terminal, the plain one otherwise.
  static std::unique_ptr<LineReader> For(std::FILE* in);
};

}  // namespace vexq4::cli
