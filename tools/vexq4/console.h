// Standard error of the host: diagnostics, the model's message lines (-v),
// notifications (--events) and a one-line progress bar. Results never go
// here; they go to standard output.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vexq4::cli {

class Console {
 public:
  // The bar is drawn only when `progress` is set and standard error is a
  // terminal: a log file or a pipe gets no carriage-return noise.
  Console(std::FILE* err, bool progress);
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  ~Console();

  bool progressShown() const { return barEnabled_; }

  // One line of text; a bar on screen is cleared first and drawn again after.
  void Line(std::string_view text);
  void Error(std::string_view text);  // "vexq4: " + text

  // Step `step` of `total` of the named operation. total 0: unknown length.
  void Progress(int step, int total, std::string_view operation);
  void EndProgress();

  // The bar as drawn, without the carriage return; for tests.
  static std::string Bar(int step, int total, std::string_view operation, int width = 30);

 private:
  void Clear();
  void Draw();

  std::FILE* err_;
  bool barEnabled_;
  bool barShown_ = false;
  std::string bar_;
};

}  // namespace vexq4::cli
