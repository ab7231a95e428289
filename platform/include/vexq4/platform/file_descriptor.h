// A file descriptor closed when its holder goes out of scope, so on every
// early return of the function that opened it.
#pragma once

#include <unistd.h>

#include <utility>

namespace vexq4::platform {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Hands the descriptor on: it is no longer closed here.
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace vexq4::platform
