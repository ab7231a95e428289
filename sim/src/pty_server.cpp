#include "vexq4/sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace vexq4::sim {
namespace {

constexpr int kMaxPollMs = 20;  // bounds the reaction to Stop()

std::uint32_t NowMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::string SysError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool MakeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

// "14:03:27.512"
std::string TimeOfDay() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&secs, &tm);
  std::array<char, 32> buf{};
  std::snprintf(buf.data(), buf.size(), "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms));
  return buf.data();
}

std::string Printable(std::string_view text) {
  std::string s;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      s.push_back(static_cast<char>(c));
    } else {
      std::array<char, 8> buf{};
      std::snprintf(buf.data(), buf.size(), "\\x%02X", c);
      s += buf.data();
    }
  }
  return s;
}

}  // namespace

PtyServer::PtyServer(Config config) : camera_(std::move(config)) {}

PtyServer::~PtyServer() { Stop(); }

bool PtyServer::Start(std::string* error) {
  auto fail = [&](std::string why) {
    if (error) *error = std::move(why);
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = master_ = -1;
    slavePath_.clear();
    return false;
  };
  if (running()) return fail("already serving");
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail(SysError("posix_openpt"));
  if (grantpt(master_) != 0) return fail(SysError("grantpt"));
  if (unlockpt(master_) != 0) return fail(SysError("unlockpt"));
  std::array<char, 128> name{};
  if (ptsname_r(master_, name.data(), name.size()) != 0) return fail(SysError("ptsname"));
  slavePath_ = name.data();
  // Raw on both sides: the shading frame is binary, and an echo or a CR/LF
  // translation would corrupt the line before a client sets its own mode.
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail(SysError(slavePath_.c_str()));
  if (!MakeRaw(slave_) || !MakeRaw(master_)) return fail(SysError("tcsetattr"));
  const int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
    return fail(SysError("fcntl"));
  }
  stop_ = false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void PtyServer::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    thread_.join();
  }
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
}

void PtyServer::LogNewLines() {
  const auto& log = camera_.log();
  if (log.size() < logged_) logged_ = 0;  // a test cleared it
  for (; logged_ < log.size(); ++logged_) {
    ++lines_;
    if (!log_) continue;
    const std::string& text = log[logged_].text;
    *log_ << TimeOfDay() << "  " << (text.empty() ? "(empty line)" : Printable(text)) << std::endl;
  }
}

void PtyServer::Serve() {
  std::vector<std::uint8_t> due;
  std::array<std::uint8_t, 512> buf{};
  while (!stop_) {
    int timeout = kMaxPollMs;
    {
      std::lock_guard lock(mutex_);
      const std::uint32_t now = NowMs();
      while (auto b = camera_.PopByte(now)) due.push_back(*b);
      if (auto next = camera_.NextByteTime()) {
        const auto wait = static_cast<std::int32_t>(*next - now);
        timeout = std::clamp(wait, 1, kMaxPollMs);
      }
      LogNewLines();  // also a frame dropped when its gap ran out
    }
    if (!due.empty()) {
      // A full pty (nobody reading) loses bytes like an unread serial line.
      std::size_t done = 0;
      while (done < due.size()) {
        const ssize_t n = write(master_, due.data() + done, due.size() - done);
        if (n > 0) {
          done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
          continue;
        } else {
          break;
        }
      }
      due.clear();
    }
    pollfd pfd{master_, POLLIN, 0};
    const int r = poll(&pfd, 1, timeout);
    if (r < 0) {
      if (errno != EINTR) poll(nullptr, 0, timeout);  // wait, do not spin
      continue;
    }
    if (r == 0) continue;
    if (pfd.revents & POLLIN) {
      const ssize_t n = read(master_, buf.data(), buf.size());
      if (n > 0) {
        std::lock_guard lock(mutex_);
        camera_.Receive(std::span(buf.data(), static_cast<std::size_t>(n)), NowMs());
        LogNewLines();
        continue;
      }
    }
    // Hang-up or error without data (no client side open): wait out the
    // time-out instead of spinning on a poll that returns at once.
    poll(nullptr, 0, timeout);
  }
}

}  // namespace vexq4::sim
