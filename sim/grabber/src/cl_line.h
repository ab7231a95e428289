// A serial device (a pseudo-terminal or a real port) as the simulated frame
// grabber's serial channel: raw 9600 8N1, exclusive, reads bounded by a
// time-out. Shared by libclsersim.so and libclallserial.so.
#pragma once

#include <termios.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// The Camera Link functions a library exports (everything else is hidden).
#define CL_EXPORT extern "C" __attribute__((visibility("default")))

namespace vexq4::grabber {

// The Camera Link standard's codes the simulated libraries return.
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kBufferTooSmall = -10001;
inline constexpr std::int32_t kPortInUse = -10003;
inline constexpr std::int32_t kTimeout = -10004;
inline constexpr std::int32_t kInvalidIndex = -10005;
inline constexpr std::int32_t kInvalidReference = -10006;
inline constexpr std::int32_t kErrorNotFound = -10007;
inline constexpr std::int32_t kBaudRateNotSupported = -10008;

inline constexpr char kManufacturerName[] = "RX-Q4 Simulated Grabber";
inline constexpr std::uint32_t kVersion1_0 = 2;
inline constexpr std::uint32_t kVersion2_0 = 4;
// 9600 to 115200 baud.
inline constexpr std::uint32_t kSupportedBaudRates = 0x1F;

class Line {
 public:
  ~Line();
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // Opens `path`; kOk, kPortInUse or kInvalidIndex (no such device).
  static std::int32_t Open(const std::string& path, std::unique_ptr<Line>& out);

  // Reads up to *size bytes, waiting at most timeoutMs for them all;
  // *size becomes the count read. kTimeout when fewer came.
  std::int32_t Read(char* buffer, std::uint32_t* size, std::uint32_t timeoutMs);
  // Writes all *size bytes within timeoutMs; kTimeout with the count written
  // otherwise.
  std::int32_t Write(const char* buffer, std::uint32_t* size, std::uint32_t timeoutMs);
  void FlushInput();
  std::uint32_t BytesAvailable();
  std::int32_t SetBaudRate(std::uint32_t rateBit);
  const std::string& path() const { return path_; }

 private:
  struct Key {};

 public:
  Line(Key, int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

 private:
  int fd_;
  std::string path_;
  bool restore_ = false;
  bool locked_ = false;
  bool exclusive_ = false;
  termios original_{};
  std::mutex mutex_;
};

// Copies `text` with its NUL into a caller's buffer under the standard's size
// protocol: kBufferTooSmall and the needed size when it does not fit.
std::int32_t CopyOut(const std::string& text, char* buffer, std::uint32_t* size);

// The standard's error texts.
std::int32_t ErrorText(std::int32_t code, char* text, std::uint32_t* size);

// Open lines by reference: a reference the caller passes back is checked
// against this table before it is used.
class LineTable {
 public:
  static constexpr int kCapacity = 16;
  void* Add(std::unique_ptr<Line> line);
  Line* Find(void* ref);
  void Remove(void* ref);

 private:
  std::mutex mutex_;
  std::unique_ptr<Line> lines_[kCapacity];
};

// The library's lines (cl_serial.cpp, which also has the standard functions
// both libraries share).
LineTable& Lines();

// clSerialInit once the index is checked: opens `path` and hands out its
// reference; kInvalidReference without a place for it.
std::int32_t InitLine(const std::string& path, void** serialRefPtr);

}  // namespace vexq4::grabber
