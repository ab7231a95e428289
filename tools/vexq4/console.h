// Standard error of the host: diagnostics, the model's message lines (-v),
// notifications (--events) and a one-line progress bar. Results never go
// here; they go to standard output.
#pragma once

#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vexq4::cli {

class Console {
 public:
  // The bar is drawn only when `progress` is set and standard error is a
  // terminal: a log file or a pipe gets no carriage-return noise.
  Console(std::FILE* err, bool progress);
  // One camera's view of `shared`, for a run on several cameras: its lines
  // start with "`label`: ", and its bar is its own line of a block of bars,
  // one line per camera at work. Lives no longer than `shared`.
  Console(Console& shared, std::string label);
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  ~Console();

  bool progressShown() const;

  // One line of text; bars on screen are cleared first and drawn again after.
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

  // Runs `write` (results going to standard output) with the bars taken
  // off the terminal and drawn again after, so that the two never mix.
  void WithBarsCleared(const std::function<void()>& write);

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
  struct Lane {
    std::string label;  // empty: the program's own lane
    // The bar in progress; operation empty: none.
    std::string operation;
    int step = 0;
    int total = 0;
    std::chrono::steady_clock::time_point start;
  };
  // What the views of one standard error share.
  struct Board {
    std::FILE* err;
    bool barEnabled;
    std::mutex mutex;
    int drawnLines = 0;  // bar lines on screen, the cursor on the last
    std::deque<Lane> lanes;
  };

  Lane& lane() { return board_->lanes[lane_]; }
  void LineLocked(std::string_view text);
  void Clear();
  void Draw();

  std::shared_ptr<Board> board_;
  std::size_t lane_ = 0;
  std::string prefix_;  // "label: " or empty
};

}  // namespace vexq4::cli
