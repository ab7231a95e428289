#include "console.h"

#include <unistd.h>

#include <algorithm>

namespace vexq4::cli {

Console::Console(std::FILE* err, bool progress)
    : err_(err), barEnabled_(progress && ::isatty(::fileno(err)) == 1) {}

Console::~Console() { EndProgress(); }

void Console::Clear() {
  if (barShown_) {
    std::fputs("\r\033[K", err_);
    barShown_ = false;
  }
}

void Console::Draw() {
  if (!barEnabled_ || operation_.empty()) return;
  std::string bar = Bar(step_, total_, operation_);
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::steady_clock::now() - start_)
                     .count();
  if (seconds > 0) bar += "  " + std::to_string(seconds) + " s";
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
