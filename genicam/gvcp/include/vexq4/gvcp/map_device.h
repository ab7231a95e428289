// The RX-Q4's register map as a GigE Vision device: the map's registers
// from 0x10000 on, its description behind the first URL, and the camera's
// identity in the bootstrap registers and discovery (model name, camera ID
// as serial number, user ID as user-defined name), read when the camera
// answers and kept for the threads that answer at once.
#pragma once

#include <mutex>

#include "vexq4/genicam/register_map.h"
#include "vexq4/gvcp/control_channel.h"

namespace vexq4::gvcp {

class MapDevice : public Device {
 public:
  // `about`: the bridge and its line, for the manufacturer info field.
  MapDevice(genicam::ModelCamera& camera, bool readOnly, std::string about);

  bool IsImmediate(std::uint32_t address, std::uint32_t size) const override;
  std::uint16_t Read(std::uint32_t address, std::span<std::uint8_t> out) override;
  std::uint16_t Write(std::uint32_t address, std::span<const std::uint8_t> data) override;
  std::uint16_t WriteUserName(std::string_view name) override;
  std::chrono::milliseconds Duration(std::uint32_t address, bool write) const override;
  DeviceInfo Info() const override;
  std::string XmlUrl() const override;

  // On the device's thread: takes back a camera that answers again and
  // reads its identity. True when the camera is connected.
  bool Refresh();

 private:
  std::uint16_t StatusOf(genicam::Access access);
  void ReadIdentity();

  genicam::ModelCamera& camera_;
  genicam::RegisterMap map_;
  mutable std::mutex mutex_;
  DeviceInfo info_;
  bool identityKnown_ = false;
};

// The GVCP status of a map access.
std::uint16_t GvcpStatus(genicam::Access access);

}  // namespace vexq4::gvcp
