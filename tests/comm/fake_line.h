// A scripted serial line for the communication tests: a virtual clock, a
// fake COM device that records every write with its time, and a small
// camera that answers lines (or whatever a test scripts instead).
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vexq4/platform/clock.h"
#include "vexq4/platform/serial_device.h"

namespace vexq4::test {

class TestClock final : public platform::Clock {
 public:
  std::uint32_t TickCount() override { return now; }
  void Sleep(std::uint32_t ms) override { now += ms; }
  std::uint32_t now = 5'000'000;
};

struct Written {
  std::uint32_t timeMs;
  std::string bytes;
};

// The camera's end of the line, shared between a test and the device the
// library owns.
class FakeLine {
 public:
  explicit FakeLine(platform::Clock& clock) : clock_(clock) {}

  // Queues bytes for the host, the first `delayMs` from now, then one per
  // millisecond (about 9600 baud).
  void Send(std::string_view bytes, std::uint32_t delayMs = 2) {
    std::uint32_t at = clock_.TickCount() + delayMs;
    if (!incoming.empty()) at = std::max(at, incoming.back().first + 1);
    for (const char c : bytes) incoming.emplace_back(at++, static_cast<std::uint8_t>(c));
  }

  // Called with every complete line (CR LF included) the host wrote; by
  // default the built-in camera answers it.
  std::function<void(std::string_view line)> onLine = [this](std::string_view line) {
    Answer(line);
  };
  // When set, gets every written block raw instead of line splitting.
  std::function<void(std::span<const std::uint8_t>)> onBytes;

  // The built-in camera: answers "XX?" with "XX=<value>" and acknowledges
  // "XX=v" with "COMPLETE" (after an echo when `echo` is set).
  void Answer(std::string_view line) {
    if (silent || line.size() < 3) return;
    const std::string_view body = line.substr(0, line.size() - 2);
    if (const auto q = body.find('?'); q != std::string_view::npos && q + 1 == body.size()) {
      const std::string name(body.substr(0, q));
      const auto it = values.find(name);
      Send(name + "=" + (it == values.end() ? std::string("0") : it->second) + "\r\n");
    } else if (const auto eq = body.find('='); eq != std::string_view::npos) {
      values[std::string(body.substr(0, eq))] = std::string(body.substr(eq + 1));
      Send((echo ? std::string(body) + "\r\n" : std::string()) + "COMPLETE\r\n");
    }
  }

  // Host side, used by the device.
  bool Write(std::span<const std::uint8_t> bytes) {
    if (failWrites || (failAfterBytes >= 0 && bytesWritten >= failAfterBytes)) return false;
    bytesWritten += static_cast<long>(bytes.size());
    std::string text(bytes.begin(), bytes.end());
    writes.push_back({clock_.TickCount(), text});
    if (onBytes) {
      onBytes(bytes);
      return true;
    }
    pending_ += text;
    for (std::size_t end; (end = pending_.find("\r\n")) != std::string::npos;) {
      const std::string line = pending_.substr(0, end + 2);
      pending_.erase(0, end + 2);
      onLine(line);
    }
    return true;
  }

  bool ReadByte(std::uint8_t& out, std::uint32_t timeoutMs = 101) {
    ++reads;
    const std::uint32_t now = clock_.TickCount();
    if (!incoming.empty() &&
        static_cast<std::int32_t>(incoming.front().first - (now + timeoutMs)) <= 0) {
      const std::uint32_t at = incoming.front().first;
      if (static_cast<std::int32_t>(at - now) > 0) clock_.Sleep(at - now);
      out = incoming.front().second;
      incoming.pop_front();
      lastByteReadMs = clock_.TickCount();
      return true;
    }
    clock_.Sleep(timeoutMs);  // the COM read time-out, or the caller's
    return false;
  }

  // Everything written, as one string.
  std::string AllWritten() const {
    std::string all;
    for (const Written& w : writes) all += w.bytes;
    return all;
  }

  std::map<std::string, std::string> values{{"SH", "0"}};
  bool silent = false;
  bool echo = false;
  bool failWrites = false;
  long failAfterBytes = -1;  // writes fail once this many bytes went out
  long bytesWritten = 0;
  std::vector<Written> writes;
  std::deque<std::pair<std::uint32_t, std::uint8_t>> incoming;
  int reads = 0;
  int drains = 0;
  bool closed = false;
  std::uint32_t lastByteReadMs = 0;

 private:
  platform::Clock& clock_;
  std::string pending_;
};

class FakeDevice final : public platform::SerialDevice {
 public:
  explicit FakeDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}
  ~FakeDevice() override { line_->closed = true; }
  bool Write(std::span<const std::uint8_t> bytes) override { return line_->Write(bytes); }
  bool ReadByte(std::uint8_t& out) override { return line_->ReadByte(out); }
  bool ReadByteWithin(std::uint8_t& out, std::uint32_t timeoutMs) override {
    return line_->ReadByte(out, timeoutMs);
  }
  bool Drain() override {
    ++line_->drains;
    return true;
  }

 private:
  std::shared_ptr<FakeLine> line_;
};

}  // namespace vexq4::test
