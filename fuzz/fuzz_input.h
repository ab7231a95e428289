// Reading a fuzz input as a stream of decisions and byte strings. Running
// out of input is never an error: every read then gives its fallback, so
// each input, however short, is a complete run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vexq4::fuzz {

class FuzzInput {
 public:
  explicit FuzzInput(std::span<const std::uint8_t> data) : data_(data) {}

  bool empty() const { return data_.empty(); }
  std::size_t remaining() const { return data_.size(); }

  std::uint8_t Byte(std::uint8_t fallback = 0) {
    if (data_.empty()) return fallback;
    const std::uint8_t b = data_.front();
    data_ = data_.subspan(1);
    return b;
  }

  // Two bytes, little-endian.
  std::uint16_t Word(std::uint16_t fallback = 0) {
    if (data_.size() < 2) return fallback;
    const auto w = static_cast<std::uint16_t>(data_[0] | (data_[1] << 8));
    data_ = data_.subspan(2);
    return w;
  }

  std::span<const std::uint8_t> Take(std::size_t n) {
    n = std::min(n, data_.size());
    const auto out = data_.first(n);
    data_ = data_.subspan(n);
    return out;
  }

  std::span<const std::uint8_t> Rest() { return Take(data_.size()); }

  // Bytes up to (not including) the next `separator`, which is consumed.
  std::string Until(std::uint8_t separator) {
    const auto end = std::find(data_.begin(), data_.end(), separator);
    const std::size_t n = static_cast<std::size_t>(end - data_.begin());
    std::string out(reinterpret_cast<const char*>(data_.data()), n);
    data_ = data_.subspan(std::min(n + 1, data_.size()));
    return out;
  }

 private:
  std::span<const std::uint8_t> data_;
};

inline std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Stops the run with a message: under libFuzzer the abort is the finding,
// in the replay test it fails the test.
[[noreturn]] void Fail(std::string_view what);

#define VEXQ4_FUZZ_CHECK(cond, what)        \
  do {                                      \
    if (!(cond)) ::vexq4::fuzz::Fail(what); \
  } while (0)

}  // namespace vexq4::fuzz
