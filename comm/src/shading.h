// The binary shading frame: 1546 bytes, "SHD=", two header numbers, the 768
// values big-endian and a checksum over the value bytes.
#pragma once

#include <cstdint>
#include <span>

namespace vexq4::comm {

inline constexpr std::size_t kShadingValueCount = 768;
inline constexpr std::size_t kShadingFrameSize = 1546;
inline constexpr std::size_t kShadingReadInts = 1546;
inline constexpr std::size_t kShadingValuesOffset = 8;
inline constexpr std::size_t kShadingChecksumOffset = 1544;

// The frame's 16-bit shift-register checksum (0xA001, bits taken least
// significant first, register starting at 0; "abc" gives 0x8BA3).
std::uint16_t ShadingCrc(std::span<const std::uint8_t> bytes);

// Builds the frame sent for the 768 values (low 16 bits of each).
void BuildShadingFrame(std::span<const int, kShadingValueCount> values,
                       std::span<std::uint8_t, kShadingFrameSize> frame);

// Asks the camera for its frame and fills `values` (1546 ints: the two
// header numbers, the 768 values, the received checksum, zeros). `values`
// is filled even on failure; callers copy it out only on 0. 0, -3, -5.
int ReceiveShadingFrame(int port, std::span<int, kShadingReadInts> values);

// Sends a built frame byte by byte after the command gap and waits for its
// acknowledgement. 0, -3, -5, -6.
int TransmitShadingFrame(int port, std::span<const std::uint8_t, kShadingFrameSize> frame);

}  // namespace vexq4::comm
