#include "console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace vexq4::cli {
Console::Console(std::FILE* err, bool progress) : board_(std::make_shared<Board>()) {
  board_->err = err;
  board_->barEnabled = progress && ::isatty(::fileno(err)) == 1;
  board_->lanes.emplace_back();
}

Console::Console(Console& shared, std::string label)
    : board_(shared.board_), prefix_(label + ": ") {
  std::lock_guard lock(board_->mutex);
  lane_ = board_->lanes.size();
  board_->lanes.push_back({std::move(label), {}, 0, 0, {}});
}

Console::~Console() { EndProgress(); }

bool Console::progressShown() const { return board_->barEnabled; }

void Console::Clear() {
  Board& b = *board_;
  if (b.drawnLines == 0) return;
  if (b.drawnLines == 1) {
    std::fputs("\r\033[K", b.err);
  } else {
    // Up to the first bar line, then everything below it goes.
    std::fprintf(b.err, "\r\033[%dA\033[J", b.drawnLines - 1);
  }
  b.drawnLines = 0;
}

std::string_view Console::Words(std::string_view operation) {
  static constexpr std::pair<std::string_view, std::string_view> kWords[] = {
      {"ReadAllFromCamera", "reading all settings"},
      {"WriteAllToCamera", "writing all settings"},
      {"LoadSettings", "loading the area, then reading all settings"},
      {"ReadAllFromFile", "applying the settings file"},
      {"WriteCameraDataToFile", "writing the camera data report"},
      {"SaveShadingDataIntoFile", "reading the shading table"},
      {"LoadShadingDataFromFile", "sending the shading table"},
      {"StartAutoShadingCorrection", "auto shading (up to 10 s)"},
      {"CompareWithCamera", "comparing the camera with the file"},
      {"ApplySettingsFile", "applying the differences"},
  };
  for (const auto& [name, words] : kWords)
    if (name == operation) return words;
  return operation;
}

std::string Console::FitLine(int step, int total, std::string_view operation, long seconds,
                             int columns) {
  constexpr int kWidestBar = 30;
  constexpr int kNarrowestBar = 8;
  const std::size_t room = static_cast<std::size_t>(std::max(columns - 1, 1));
  std::string words(Words(operation));
  std::string time = seconds > 0 ? "  " + std::to_string(seconds) + " s" : "";
  const std::size_t rest = Bar(step, total, words, 1).size() - 1 + time.size();
  const int width = static_cast<int>(std::clamp<long>(
      static_cast<long>(room) - static_cast<long>(rest), kNarrowestBar, kWidestBar));
  std::string line = Bar(step, total, words, width) + time;
  if (line.size() > room) line = Bar(step, total, words, width);  // the seconds go first
  if (line.size() > room) line.resize(room);                      // then the end of the words
  return line;
}

void Console::Draw() {
  Board& b = *board_;
  if (!b.barEnabled) return;
  winsize size{};
  const bool sized = ::ioctl(::fileno(b.err), TIOCGWINSZ, &size) == 0;
  const int columns = sized && size.ws_col > 0 ? size.ws_col : 80;
  // Bars that would not fit on the screen would scroll the block away.
  const int rows = sized && size.ws_row > 1 ? size.ws_row - 1 : 24;
  const auto now = std::chrono::steady_clock::now();
  std::vector<const Lane*> busy;
  for (const Lane& l : b.lanes)
    if (!l.operation.empty()) busy.push_back(&l);
  if (busy.empty()) {
    Clear();
    return;
  }
  const std::size_t shown = std::min<std::size_t>(busy.size(), static_cast<std::size_t>(rows));
  // Back to the first line of the block on screen; a line drawn over
  // keeps its place, so one bar alone is redrawn in place.
  std::string block;
  if (b.drawnLines > 1) block = "\r\033[" + std::to_string(b.drawnLines - 1) + "A";
  for (std::size_t i = 0; i < shown; ++i) {
    const Lane& l = *busy[i];
    std::string line;
    if (i + 1 == shown && shown < busy.size()) {
      line = "... and " + std::to_string(busy.size() - i) + " more cameras at work";
      if (line.size() >= static_cast<std::size_t>(columns))
        line.resize(static_cast<std::size_t>(std::max(columns - 1, 1)));
    } else {
      const std::string label = l.label.empty() ? "" : l.label + ": ";
      const long seconds = std::chrono::duration_cast<std::chrono::seconds>(now - l.start).count();
      line = label + FitLine(l.step, l.total, l.operation, seconds,
                             std::max(columns - static_cast<int>(label.size()), 10));
      if (line.size() >= static_cast<std::size_t>(columns))
        line.resize(static_cast<std::size_t>(std::max(columns - 1, 1)));
    }
    block += (i == 0 ? "\r" : "\n\r") + line + "\033[K";
  }
  if (static_cast<int>(shown) < b.drawnLines) block += "\033[J";  // the block shrank
  std::fputs(block.c_str(), b.err);
  std::fflush(b.err);
  b.drawnLines = static_cast<int>(shown);
}

void Console::LineLocked(std::string_view text) {
  Clear();
  std::fwrite(text.data(), 1, text.size(), board_->err);
  std::fputc('\n', board_->err);
  std::fflush(board_->err);
  Draw();
}

void Console::Line(std::string_view text) {
  std::lock_guard lock(board_->mutex);
  LineLocked(prefix_ + std::string(text));
}

void Console::Error(std::string_view text) {
  std::lock_guard lock(board_->mutex);
  // "vexq4: /dev/ttyUSB0: ..." for one camera of several.
  LineLocked("vexq4: " + prefix_ + std::string(text));
}

void Console::WithBarsCleared(const std::function<void()>& write) {
  std::lock_guard lock(board_->mutex);
  Clear();
  std::fflush(board_->err);
  write();
  Draw();
}

std::string Console::Bar(int step, int total, std::string_view operation, int width) {
  std::string out = "[";
  if (total > 0) {
    int s = std::clamp(step, 0, total);
    int filled = static_cast<int>(static_cast<long long>(s) * width / total);
    out.append(static_cast<std::size_t>(filled), '#');
    out.append(static_cast<std::size_t>(width - filled), '-');
    out += "] " + std::to_string(s) + "/" + std::to_string(total);
  } else {
    // Unknown length: a marker that moves with every step.
    int pos = std::max(step, 0) % width;
    out.append(static_cast<std::size_t>(pos), '-');
    out += '#';
    out.append(static_cast<std::size_t>(width - pos - 1), '-');
    out += "]";
  }
  out += ' ';
  out += operation;
  return out;
}

void Console::BeginProgress(std::string_view operation) {
  if (!board_->barEnabled) return;
  std::lock_guard lock(board_->mutex);
  Lane& l = lane();
  l.operation = operation;
  l.step = 0;
  l.total = 0;
  l.start = std::chrono::steady_clock::now();
  Draw();
}

void Console::Progress(int step, int total, std::string_view operation) {
  if (!board_->barEnabled) return;
  std::lock_guard lock(board_->mutex);
  Lane& l = lane();
  if (l.operation.empty()) l.start = std::chrono::steady_clock::now();
  l.operation = operation;
  l.step = step;
  l.total = total;
  Draw();
}

void Console::Tick() {
  if (!board_->barEnabled) return;
  std::lock_guard lock(board_->mutex);
  Lane& l = lane();
  if (l.operation.empty()) return;
  if (l.total <= 0) ++l.step;
  Draw();
}

void Console::EndProgress() {
  std::lock_guard lock(board_->mutex);
  Clear();
  lane().operation.clear();
  Draw();
  std::fflush(board_->err);
}

}  // namespace vexq4::cli
