// Placeholder until the Camera Link loaders arrive: no Camera Link library
// can be loaded, so every path that needs one answers -8. The virtual
// "COM-ports" manufacturer works without any library.
#include "cameralink.h"

#include <cstring>

#include "VexQ4Comm.h"

namespace vexq4::comm::cameralink {
namespace {

class NoTransport final : public ByteTransport {
 public:
  bool WriteBlock(std::span<const std::uint8_t>) override { return false; }
  bool ReadByte(std::uint8_t&, std::uint32_t) override { return false; }
  void DrainInput() override {}
  bool WriteSingleByte(std::uint8_t) override { return false; }
};
NoTransport g_none;

constexpr char kComPorts[] = "COM-ports";

}  // namespace

int LoadLinkport() { return VEXQ4_E_CAMERA_LINK; }
int LoadAllSerial() { return VEXQ4_E_CAMERA_LINK; }
void UnloadAll() {}
int OpenLinkport(int) { return VEXQ4_E_CAMERA_LINK; }
int OpenAllSerial(int) { return VEXQ4_E_CAMERA_LINK; }
void CloseReferences() {
  Transport().linkportRef = nullptr;
  Transport().allSerialRef = nullptr;
}
ByteTransport& LinkportTransport() { return g_none; }
ByteTransport& AllSerialTransport() { return g_none; }

}  // namespace vexq4::comm::cameralink

using namespace vexq4::comm;
using namespace vexq4::comm::cameralink;

extern "C" {

int VexQ4CLSerialGetNumManufacturers(unsigned* count) {
  if (!count) return VEXQ4_E_ARGUMENT;
  *count = 1;
  return cameralink::LoadLinkport();
}

int VexQ4CLSerialGetManufacturer(unsigned index, char* name, unsigned* size, unsigned* version) {
  if (!name || !size || !version) return VEXQ4_E_ARGUMENT;
  if (index != 0) return cameralink::LoadLinkport();
  std::memcpy(name, kComPorts, sizeof kComPorts);
  *size = sizeof kComPorts - 1;
  *version = 1;
  return VEXQ4_OK;
}

int VexQ4CLSerialSelectManufacturer(const char* name) {
  if (!name) return VEXQ4_E_ARGUMENT;
  if (std::strcmp(name, kComPorts) == 0) {
    Transport().grabberIndex = 0;
    return VEXQ4_OK;
  }
  return cameralink::LoadLinkport();
}

int VexQ4CLSerialGetNumSerialPorts(unsigned* count) {
  if (!count) return VEXQ4_E_ARGUMENT;
  if (Transport().grabberIndex == 0) {
    *count = 17;
    return VEXQ4_OK;
  }
  return cameralink::LoadLinkport();
}

int VexQ4CLAllSerialGetNumPorts(unsigned* count) {
  return count ? cameralink::LoadAllSerial() : VEXQ4_E_ARGUMENT;
}
int VexQ4CLAllSerialGetPortInfo(unsigned, char* manufacturer, unsigned* manufacturerSize,
                                char* portId, unsigned* portIdSize, unsigned* version) {
  if (!manufacturer || !manufacturerSize || !portId || !portIdSize || !version)
    return VEXQ4_E_ARGUMENT;
  return cameralink::LoadAllSerial();
}
int VexQ4CLAllSerialGetNumBytesAvail(unsigned* count) {
  return count ? VEXQ4_E_CAMERA_LINK : VEXQ4_E_ARGUMENT;
}
int VexQ4CLAllSerialGetSupportedBaudRates(unsigned* rates) {
  return rates ? VEXQ4_E_CAMERA_LINK : VEXQ4_E_ARGUMENT;
}
int VexQ4CLAllSerialSetBaudRate(unsigned) { return VEXQ4_E_CAMERA_LINK; }

}  // extern "C"
