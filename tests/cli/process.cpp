#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace vexq4::cli::test {
namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) std::abort();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
  ::signal(SIGPIPE, SIG_IGN);
}

Process::~Process() {
  if (!done_) {
    Kill(SIGKILL);
    Wait(5000);
  }
  for (int fd : {in_, out_, err_})
    if (fd >= 0) ::close(fd);
}

void Process::Write(const std::string& text) {
  std::size_t done = 0;
  while (in_ >= 0 && done < text.size()) {
    ssize_t n = ::write(in_, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

void Process::CloseInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

void Process::Kill(int signal) {
  if (pid_ > 0 && !done_) ::kill(pid_, signal);
}

// Moves whatever is there from the two pipes into the buffers, waiting at
// most timeoutMs for something to arrive.
void Process::Pump(int timeoutMs) {
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  if (::poll(fds, 2, timeoutMs) <= 0) return;
  char buf[4096];
  for (int i = 0; i < 2; ++i) {
    int& fd = i == 0 ? out_ : err_;
    if (fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      (i == 0 ? outBuf_ : errBuf_).append(buf, static_cast<std::size_t>(n));
    } else {
      ::close(fd);
      fd = -1;
    }
  }
}

std::string Process::ReadLine(int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto lf = outBuf_.find('\n');
    if (lf != std::string::npos) {
      std::string line = outBuf_.substr(0, lf);
      outBuf_.erase(0, lf + 1);
      return line;
    }
    if (out_ < 0 || Remaining(deadline) == 0) return {};
    Pump(std::min(Remaining(deadline), 50));
  }
}

Result Process::Wait(int timeoutMs) {
  if (done_) return result_;
  CloseInput();
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  for (;;) {
    if (out_ >= 0 || err_ >= 0) Pump(std::min(Remaining(deadline), 50));
    pid_t r = ::wait4(pid_, &status, WNOHANG, &result_.usage);
    if (r == pid_) break;
    if (Remaining(deadline) == 0) {
      result_.timedOut = true;
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    if (out_ < 0 && err_ < 0) ::usleep(10000);
  }
  // Whatever is still in the pipes.
  for (int i = 0; i < 50 && (out_ >= 0 || err_ >= 0); ++i) Pump(100);
  done_ = true;
  result_.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result_.out = outBuf_;
  result_.err = errBuf_;
  return result_;
}

PtyProcess::PtyProcess(const std::vector<std::string>& argv, int columns,
                       const std::vector<std::string>& env) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) std::abort();
  const std::string slave = ::ptsname(master_);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = static_cast<unsigned short>(columns);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setsid();
    const int fd = ::open(slave.c_str(), O_RDWR);  // the controlling terminal
    if (fd < 0) ::_exit(127);
    ::ioctl(fd, TIOCSCTTY, 0);
    ::ioctl(fd, TIOCSWINSZ, &size);
    for (int target = 0; target < 3; ++target) ::dup2(fd, target);
    if (fd > 2) ::close(fd);
    ::putenv(const_cast<char*>("TERM=xterm"));
    for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
}

PtyProcess::~PtyProcess() {
  if (!done_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    Wait(5000);
  }
  if (master_ >= 0) ::close(master_);
}

void PtyProcess::Type(const std::string& text) {
  if (master_ >= 0 && !text.empty()) [[maybe_unused]]
    auto n = ::write(master_, text.data(), text.size());
}

std::string PtyProcess::ReadUntil(const std::string& token, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto at = shown_.find(token, from_);
    if (at != std::string::npos) {
      std::string got = shown_.substr(from_, at + token.size() - from_);
      from_ = at + token.size();
      return got;
    }
    if (Remaining(deadline) == 0) return shown_.substr(from_);
    pollfd pfd{master_, POLLIN, 0};
    if (::poll(&pfd, 1, std::min(Remaining(deadline), 50)) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) {
      ::usleep(10000);  // the program has ended (EIO): nothing more comes
      if (Remaining(deadline) == 0) return shown_.substr(from_);
      continue;
    }
    shown_.append(buf, static_cast<std::size_t>(n));
  }
}

int PtyProcess::Wait(int timeoutMs) {
  if (done_) return status_;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  for (;;) {
    ReadUntil(std::string(1, '\0'), 20);  // keeps the terminal drained
    if (::waitpid(pid_, &status, WNOHANG) == pid_) break;
    if (Remaining(deadline) == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      done_ = true;
      return status_ = -1;
    }
  }
  done_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return status_;
}

Result RunProgram(const std::vector<std::string>& argv, const std::string& input, int timeoutMs,
                  const std::vector<std::string>& env) {
  Process p(argv, env);
  p.Write(input);
  return p.Wait(timeoutMs);
}

}  // namespace vexq4::cli::test
