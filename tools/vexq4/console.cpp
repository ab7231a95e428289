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
  if (!barEnabled_ || bar_.empty()) return;
  std::fputs("\r", err_);
  std::fputs(bar_.c_str(), err_);
  std::fputs("\033[K", err_);
  std::fflush(err_);
  barShown_ = true;
}

void Console::Line(std::string_view text) {
  Clear();
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
  Draw();
}

void Console::Error(std::string_view text) { Line("vexq4: " + std::string(text)); }

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
    out += "] " + std::to_string(step);
  }
  out += ' ';
  out += operation;
  return out;
}

void Console::Progress(int step, int total, std::string_view operation) {
  if (!barEnabled_) return;
  bar_ = Bar(step, total, operation);
  Draw();
}

void Console::EndProgress() {
  Clear();
  bar_.clear();
  std::fflush(err_);
}

}  // namespace vexq4::cli
