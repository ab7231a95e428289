#include "console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace vexq4::cli {
namespace {

// Width of the terminal behind `file`, re-read at every draw so that a
// resized window is followed; 80 when it cannot be told.
int Columns(std::FILE* file) {
  winsize size{};
  if (::ioctl(::fileno(file), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

Console::Console(std::FILE* err, bool progress)
    : err_(err), barEnabled_(progress && ::isatty(::fileno(err)) == 1) {}

Console::~Console() { EndProgress(); }

void Console::Clear() {
  if (barShown_) {
    std::fputs("\r\033[K", err_);
    barShown_ = false;
  }
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
  if (!barEnabled_ || operation_.empty()) return;
  auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_)
          .count();
  const std::string bar = FitLine(step_, total_, operation_, seconds, Columns(err_));
  std::fputs("\r", err_);
  std::fputs(bar.c_str(), err_);
  std::fputs("\033[K", err_);
  std::fflush(err_);
  barShown_ = true;
}

void Console::LineLocked(std::string_view text) {
  Clear();
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
  Draw();
}

void Console::Line(std::string_view text) {
  std::lock_guard lock(mutex_);
  LineLocked(text);
}

void Console::Error(std::string_view text) {
  std::lock_guard lock(mutex_);
  LineLocked("vexq4: " + std::string(text));
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
  if (!barEnabled_) return;
  std::lock_guard lock(mutex_);
  operation_ = operation;
  step_ = 0;
  total_ = 0;
  start_ = std::chrono::steady_clock::now();
  Draw();
}

void Console::Progress(int step, int total, std::string_view operation) {
  if (!barEnabled_) return;
  std::lock_guard lock(mutex_);
  if (operation_.empty()) start_ = std::chrono::steady_clock::now();
  operation_ = operation;
  step_ = step;
  total_ = total;
  Draw();
}

void Console::Tick() {
  if (!barEnabled_) return;
  std::lock_guard lock(mutex_);
  if (operation_.empty()) return;
  if (total_ <= 0) ++step_;
  Draw();
}

void Console::EndProgress() {
  std::lock_guard lock(mutex_);
  Clear();
  operation_.clear();
  std::fflush(err_);
}

}  // namespace vexq4::cli
