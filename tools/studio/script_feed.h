// The script mode's input: the lines of a file or of standard input, run
// one after the other on the user-interface thread. A reader thread takes
// them from the input, so timers and the control's windows keep running
// while the host waits for a line; a line that arrives while a command
// runs a nested event loop waits for that command to finish.
//
// A line is bounded (1 MiB): a longer one is refused with a short error and
// its bytes are dropped as they come, and so is a line that is not UTF-8
// text (its bytes could not be kept as they are). Once a stop signal has
// arrived no later line runs.
#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "script.h"

namespace vexq4::studio {

// Where the script comes from: a file, or standard input for "-".
class ScriptInput {
 public:
  // nullopt, with the reason in `error`, for a file that cannot be read
  // or a folder.
  static std::optional<ScriptInput> Open(const QString& path, QString* error);
  ScriptInput(ScriptInput&& other) noexcept
      : fd_(std::exchange(other.fd_, -1)), owned_(other.owned_) {}
  ScriptInput& operator=(ScriptInput&&) = delete;
  ~ScriptInput();
  int fd() const { return fd_; }

 private:
  ScriptInput(int fd, bool owned) : fd_(fd), owned_(owned) {}
  int fd_;
  bool owned_;
};

class ScriptFeed final : public QObject {
 public:
  static constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

  // Reads `fd` (not closed here). The event loop is ended with the
  // script's exit status when the input ends.
  ScriptFeed(ScriptRunner& runner, int fd);
  // The reader thread is stopped and joined first.
  ~ScriptFeed() override;
  ScriptFeed(const ScriptFeed&) = delete;
  ScriptFeed& operator=(const ScriptFeed&) = delete;

  void Start();

 private:
  struct Item {
    enum Kind { kLine, kOverlong, kNotText, kEnd, kReadError } kind = kEnd;
    QString line;
    int error = 0;  // errno of kReadError
  };

  void ReadLines();
  // Hands an item to the user-interface thread; false once stopping.
  bool Push(Item item);
  void PushLine(const std::string& bytes);
  void Drain();
  void Finish(int status);

  ScriptRunner& runner_;
  const int fd_;
  int wake_[2] = {-1, -1};  // destructor -> reader
  std::thread reader_;

  std::mutex mutex_;
  std::condition_variable space_;
  std::deque<Item> items_;  // bounded: the reader waits for the runner
  bool stopping_ = false;

  bool busy_ = false;      // a line is running (maybe in a nested event loop)
  bool finished_ = false;  // the end was taken up
};

}  // namespace vexq4::studio
