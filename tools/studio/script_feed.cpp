#include "script_feed.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "stop_signals.h"

namespace vexq4::studio {
namespace {

// Lines read ahead of the runner: enough to keep it busy, little to hold.
constexpr std::size_t kMaxQueuedLines = 64;
constexpr int kUsageError = 2;

}  // namespace

std::optional<ScriptInput> ScriptInput::Open(const QString& path, QString* error) {
  if (path == QLatin1String("-")) return ScriptInput(STDIN_FILENO, false);
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (fd < 0 || ::fstat(fd, &status) != 0) {
    *error = QStringLiteral("cannot read the script %1: %2")
                 .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  if (S_ISDIR(status.st_mode)) {
    *error = QStringLiteral("cannot read the script %1: it is a folder").arg(path);
    ::close(fd);
    return std::nullopt;
  }
  return ScriptInput(fd, true);
}

ScriptInput::~ScriptInput() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

ScriptFeed::ScriptFeed(ScriptRunner& runner, int fd) : runner_(runner), fd_(fd) {
  if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
}

ScriptFeed::~ScriptFeed() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  space_.notify_all();
  if (wake_[1] >= 0) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
  }
  if (reader_.joinable()) reader_.join();
  for (int fd : wake_)
    if (fd >= 0) ::close(fd);
}

void ScriptFeed::Start() {
  if (wake_[0] < 0) {
    // Without a way to stop it the reader could outlive us.
    std::fprintf(stderr, "vexq4-studio: cannot start reading the script: %s\n",
                 std::strerror(errno));
    Finish(kUsageError);
    return;
  }
  reader_ = std::thread([this] { ReadLines(); });
}

void ScriptFeed::ReadLines() {
  std::string line;
  bool dropping = false;  // the rest of an overlong line
  std::array<char, 65536> buffer{};
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      Push({Item::kReadError, {}, errno});
      return;
    }
    if (fds[1].revents != 0) return;
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      Push({Item::kReadError, {}, errno});
      return;
    }
    if (n == 0) {
      if (!line.empty() && !dropping) PushLine(line);
      Push({Item::kEnd, {}, 0});
      return;
    }
    std::string_view data(buffer.data(), static_cast<std::size_t>(n));
    while (!data.empty()) {
      const std::size_t newline = data.find('\n');
      const std::string_view piece = data.substr(0, newline);
      if (!dropping) {
        if (line.size() + piece.size() > kMaxLineBytes) {
          if (!Push({Item::kOverlong, {}, 0})) return;
          line.clear();
          line.shrink_to_fit();
          dropping = true;
        } else {
          line.append(piece);
        }
      }
      if (newline == std::string_view::npos) break;
      data.remove_prefix(newline + 1);
      if (!dropping) {
        PushLine(line);
        line.clear();
      }
      dropping = false;
      {
        const std::lock_guard lock(mutex_);
        if (stopping_) return;
      }
    }
  }
}

void ScriptFeed::PushLine(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (utf8.hasError())
    Push({Item::kNotText, {}, 0});
  else
    Push({Item::kLine, std::move(text), 0});
}

bool ScriptFeed::Push(Item item) {
  std::unique_lock lock(mutex_);
  space_.wait(lock, [this] { return stopping_ || items_.size() < kMaxQueuedLines; });
  if (stopping_) return false;
  const bool wasEmpty = items_.empty();
  items_.push_back(std::move(item));
  lock.unlock();
  if (wasEmpty)
    QMetaObject::invokeMethod(
        this, [this] { Drain(); }, Qt::QueuedConnection);
  return true;
}

void ScriptFeed::Drain() {
  if (busy_ || finished_) return;
  busy_ = true;
  for (;;) {
    if (const int sig = StopSignals::Arrived(); sig != 0) {
      Finish(128 + sig);
      break;
    }
    Item item;
    {
      const std::lock_guard lock(mutex_);
      if (items_.empty()) break;
      item = std::move(items_.front());
      items_.pop_front();
    }
    space_.notify_one();
    switch (item.kind) {
      case Item::kLine:
        runner_.Execute(item.line);
        continue;
      case Item::kOverlong:
        runner_.Refuse(QStringLiteral("the line is longer than %1 bytes").arg(kMaxLineBytes));
        continue;
      case Item::kNotText:
        runner_.Refuse(QStringLiteral("the line is not UTF-8 text"));
        continue;
      case Item::kReadError:
        std::fprintf(stderr, "vexq4-studio: cannot read the script: %s\n",
                     std::strerror(item.error));
        Finish(kUsageError);
        break;
      case Item::kEnd:
        Finish(runner_.errors() > 0 ? kUsageError : 0);
        break;
    }
    break;
  }
  busy_ = false;
}

void ScriptFeed::Finish(int status) {
  finished_ = true;
  QCoreApplication::exit(status);
}

}  // namespace vexq4::studio
