#include "vexq4/gvcp/bootstrap.h"

#include <algorithm>

#include "vexq4/gvcp/control_channel.h"

namespace vexq4::gvcp {
namespace {

constexpr std::uint32_t kSize = kCcpAddress + 4;

void Put(std::vector<std::uint8_t>& image, std::uint32_t address, std::uint32_t value) {
  image[address] = static_cast<std::uint8_t>(value >> 24);
  image[address + 1] = static_cast<std::uint8_t>(value >> 16);
  image[address + 2] = static_cast<std::uint8_t>(value >> 8);
  image[address + 3] = static_cast<std::uint8_t>(value);
}

// A string field, NUL-padded; cut so that a NUL always ends it.
void PutText(std::vector<std::uint8_t>& image, std::uint32_t address, std::uint32_t size,
             const std::string& text) {
  const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::copy_n(text.begin(), n, image.begin() + address);
}

}  // namespace

std::uint32_t BootstrapSize() { return kSize; }

std::vector<std::uint8_t> BootstrapImage(const DeviceInfo& info, const BootstrapState& state) {
  std::vector<std::uint8_t> image(kSize, 0);
  Put(image, kVersionAddress, 2u << 16 | 0u);  // GigE Vision 2.0
  // Big-endian, a transmitter, UTF-8 strings.
  Put(image, kDeviceModeAddress, 0x80000000u | 0x1u);
  // No network card of its own: a locally administered address made of
  // the IPv4 address it serves.
  Put(image, kMacHighAddress, 0x0200u);
  Put(image, kMacLowAddress, state.ip);
  Put(image, kSupportedIpConfigAddress, 0x5);  // persistent IP and link-local
  Put(image, kCurrentIpConfigAddress, 0x1);    // persistent IP: the address given
  Put(image, kCurrentIpAddress, state.ip);
  Put(image, kSubnetMaskAddress, state.netmask);
  Put(image, kGatewayAddress, 0);
  PutText(image, kManufacturerNameAddress, 32, info.manufacturer);
  PutText(image, kModelNameAddress, 32, info.model);
  PutText(image, kDeviceVersionAddress, 32, info.version);
  PutText(image, kManufacturerInfoAddress, 48, info.manufacturerInfo);
  PutText(image, kSerialNumberAddress, 16, info.serial);
  // The user ID takes up to 16 characters: the field is full without a NUL.
  std::copy_n(info.userName.begin(), std::min<std::size_t>(info.userName.size(), kUserNameSize),
              image.begin() + kUserNameAddress);
  PutText(image, kFirstUrlAddress, kUrlSize, state.url);
  Put(image, kNetworkInterfacesAddress, 1);
  Put(image, kPersistentIpAddress, state.ip);
  Put(image, kPersistentSubnetAddress, state.netmask);
  Put(image, kMessageChannelsAddress, 0);
  Put(image, kStreamChannelsAddress, 0);
  Put(image, kGvcpCapabilityAddress,
      kCapabilityUserName | kCapabilitySerialNumber | kCapabilityPendingAck | kCapabilityWriteMem);
  Put(image, kHeartbeatAddress, state.heartbeatMs);
  Put(image, kGvcpConfigAddress, state.gvcpConfig);
  Put(image, kPendingTimeoutAddress, state.pendingTimeoutMs);
  Put(image, kCcpAddress, state.ccp);
  return image;
}

bool IsReadableBootstrap(std::uint32_t address) {
  if (address % 4 != 0 || address >= kSize) return false;
  if (address >= kManufacturerNameAddress && address < kDiscoveryDataSize) return true;
  if (address >= kFirstUrlAddress && address < kSecondUrlAddress + kUrlSize) return true;
  switch (address) {
    case kVersionAddress:
    case kDeviceModeAddress:
    case kMacHighAddress:
    case kMacLowAddress:
    case kSupportedIpConfigAddress:
    case kCurrentIpConfigAddress:
    case kCurrentIpAddress:
    case kSubnetMaskAddress:
    case kGatewayAddress:
    case kNetworkInterfacesAddress:
    case kPersistentIpAddress:
    case kPersistentSubnetAddress:
    case kPersistentGatewayAddress:
    case kMessageChannelsAddress:
    case kStreamChannelsAddress:
    case kActionSignalsAddress:
    case kGvcpCapabilityAddress:
    case kHeartbeatAddress:
    case kTickFrequencyHighAddress:
    case kTickFrequencyLowAddress:
    case kGvcpConfigAddress:
    case kPendingTimeoutAddress:
    case kCcpAddress:
      return true;
    default:
      return false;
  }
}

}  // namespace vexq4::gvcp
