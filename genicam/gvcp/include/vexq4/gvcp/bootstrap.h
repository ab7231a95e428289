// The bootstrap registers of a GigE Vision device (addresses below 0xA000)
// as this bridge has them: the device's identity and address, the first
// URL pointing at the GenApi description, no stream or message channel,
// the GVCP capabilities, heartbeat, pending timeout and the control
// channel privilege.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexq4::gvcp {

struct DeviceInfo;

inline constexpr std::uint32_t kVersionAddress = 0x0000;
inline constexpr std::uint32_t kDeviceModeAddress = 0x0004;
inline constexpr std::uint32_t kMacHighAddress = 0x0008;
inline constexpr std::uint32_t kMacLowAddress = 0x000C;
inline constexpr std::uint32_t kSupportedIpConfigAddress = 0x0010;
inline constexpr std::uint32_t kCurrentIpConfigAddress = 0x0014;
inline constexpr std::uint32_t kCurrentIpAddress = 0x0024;
inline constexpr std::uint32_t kSubnetMaskAddress = 0x0034;
inline constexpr std::uint32_t kGatewayAddress = 0x0044;
inline constexpr std::uint32_t kManufacturerNameAddress = 0x0048;  // 32 bytes
inline constexpr std::uint32_t kModelNameAddress = 0x0068;         // 32 bytes
inline constexpr std::uint32_t kDeviceVersionAddress = 0x0088;     // 32 bytes
inline constexpr std::uint32_t kManufacturerInfoAddress = 0x00A8;  // 48 bytes
inline constexpr std::uint32_t kSerialNumberAddress = 0x00D8;      // 16 bytes
inline constexpr std::uint32_t kUserNameAddress = 0x00E8;          // 16 bytes
inline constexpr std::uint32_t kUserNameSize = 16;
inline constexpr std::uint32_t kDiscoveryDataSize = 0x00F8;
inline constexpr std::uint32_t kFirstUrlAddress = 0x0200;  // 512 bytes
inline constexpr std::uint32_t kSecondUrlAddress = 0x0400;
inline constexpr std::uint32_t kUrlSize = 512;
inline constexpr std::uint32_t kNetworkInterfacesAddress = 0x0600;
inline constexpr std::uint32_t kPersistentIpAddress = 0x064C;
inline constexpr std::uint32_t kPersistentSubnetAddress = 0x065C;
inline constexpr std::uint32_t kPersistentGatewayAddress = 0x066C;
inline constexpr std::uint32_t kMessageChannelsAddress = 0x0900;
inline constexpr std::uint32_t kStreamChannelsAddress = 0x0904;
inline constexpr std::uint32_t kActionSignalsAddress = 0x0908;
inline constexpr std::uint32_t kGvcpCapabilityAddress = 0x0934;
inline constexpr std::uint32_t kHeartbeatAddress = 0x0938;
inline constexpr std::uint32_t kTickFrequencyHighAddress = 0x093C;
inline constexpr std::uint32_t kTickFrequencyLowAddress = 0x0940;
inline constexpr std::uint32_t kGvcpConfigAddress = 0x0954;
inline constexpr std::uint32_t kPendingTimeoutAddress = 0x0958;
inline constexpr std::uint32_t kCcpAddress = 0x0A00;

// GVCP capability bits (bit 0 of the standard's numbering is the most
// significant): user-defined name, serial number, PENDING_ACK, WRITEMEM.
inline constexpr std::uint32_t kCapabilityUserName = 1u << 31;
inline constexpr std::uint32_t kCapabilitySerialNumber = 1u << 30;
inline constexpr std::uint32_t kCapabilityPendingAck = 1u << 5;
inline constexpr std::uint32_t kCapabilityWriteMem = 1u << 1;

// What changes at run time.
struct BootstrapState {
  std::uint32_t ip = 0;  // host order
  std::uint32_t netmask = 0;
  std::uint32_t heartbeatMs = 3000;
  std::uint32_t gvcpConfig = 0;
  std::uint32_t pendingTimeoutMs = 0;
  std::uint32_t ccp = 0;
  std::string url = {};
};

// Bytes 0 .. BootstrapSize() - 1 of the bootstrap memory now.
std::uint32_t BootstrapSize();
std::vector<std::uint8_t> BootstrapImage(const DeviceInfo& info, const BootstrapState& state);
// Whether a 4-byte register read at `address` is one this device has.
bool IsReadableBootstrap(std::uint32_t address);

}  // namespace vexq4::gvcp
