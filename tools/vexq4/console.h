// Standard error of the host: diagnostics, the model's message lines (-v),
// notifications (--events) and a one-line progress bar. Results never go
// here; they go to standard output.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
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

  // A long operation begins: the bar shows its name and a moving marker
  // until the first step arrives.
  void BeginProgress(std::string_view operation);
  // Step `step` of `total` of the named operation. total 0: unknown length.
  void Progress(int step, int total, std::string_view operation);
  // Redraws the bar with the time elapsed since BeginProgress; a bar of
  // unknown length moves its marker. Called from a ticker thread, so that
  // a wait without steps (auto shading, a shading frame) still moves.
  void Tick();
  void EndProgress();

  // The bar as drawn, without the carriage return; for tests.
  static std::string Bar(int step, int total, std::string_view operation, int width = 30);
  // The words a user reads for a model operation ("ReadAllFromCamera" is
  // "reading all settings"); other texts as they are.
  static std::string_view Words(std::string_view operation);
  // The whole progress line for a terminal `columns` wide: the bar, the
  // operation in words and the seconds elapsed, narrowed (bar, then the
  // seconds, then the words) to fit in columns - 1, so it never wraps.
  static std::string FitLine(int step, int total, std::string_view operation, long seconds,
                             int columns);

 private:
  void LineLocked(std::string_view text);
  void Clear();
  void Draw();

  std::FILE* err_;
  bool barEnabled_;
  bool barShown_ = false;
  std::mutex mutex_;
  // The bar in progress; operation_ empty: none.
  std::string operation_;
  int step_ = 0;
  int total_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace vexq4::cli
