// The RX-Q4's GenICam register space over the camera: reads and writes of
// the registers of Features() become camera exchanges through Camera, and
// the GenApi description is readable at kXmlAddress.
//
// Reads ask the camera every time (it changes some values itself, in
// continuous white balance); a write sends the camera's command. A value
// outside the feature's range, a write to a read-only register and
// UserSetSave with Default selected are refused before anything is sent.
// Not thread-safe: one thread drives a map, except IsConstant() and the
// constant reads, which any thread may do at any time.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>

#include "vexq4/genicam/camera.h"

namespace vexq4::genicam {

enum class Access {
  kOk,
  kInvalidAddress,  // no register there, or an access across two registers
  kBadAlignment,    // an integer register not read or written whole
  kWriteProtect,    // a read-only register
  kRefused,         // the value is out of range or not taken (UserSetSave Default)
  kAccessDenied,    // the map was made read-only
  kCameraFailed     // the camera did not answer, or not as asked
};

class RegisterMap {
 public:
  // `readOnly`: every write that would reach the camera is refused
  // (kAccessDenied).
  explicit RegisterMap(Camera& camera, bool readOnly = false);

  Access Read(std::uint32_t address, std::span<std::uint8_t> out);
  Access Write(std::uint32_t address, std::span<const std::uint8_t> data);
  // The camera's last result after kCameraFailed.
  int lastCameraResult() const { return lastCameraResult_; }

  // True when the access needs no camera exchange (the description, the
  // ranges, the vendor name): it is answered at once, from any thread.
  static bool IsConstant(std::uint32_t address, std::uint32_t size);
  // True when [address, address + size) lies within one register.
  static bool Exists(std::uint32_t address, std::uint32_t size);
  // Reads only constant registers; kInvalidAddress for any other.
  static Access ReadConstant(std::uint32_t address, std::span<std::uint8_t> out);
  // The longest an access may take (for a client waiting on it): a query,
  // a command after the 600 ms gap, a load with its read of all settings,
  // auto shading's 10 s.
  static std::chrono::milliseconds Duration(std::uint32_t address, bool write);

 private:
  Access ReadSetting(const model::SettingRow& row, std::span<std::uint8_t> out);
  Access WriteInteger(std::uint32_t address, std::int32_t value);
  Access WriteText(std::uint32_t address, std::span<const std::uint8_t> data);
  Access FromCamera(int result);

  Camera& camera_;
  bool readOnly_;
  int lastCameraResult_ = 0;
};

// The register at `address` as the description names it ("Gain[Red]",
// "DeviceUserID", "GenApi XML"), for messages; empty when there is none.
std::string RegisterName(std::uint32_t address);

}  // namespace vexq4::genicam
