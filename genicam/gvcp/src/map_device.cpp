#include "vexq4/gvcp/map_device.h"

#include "VexQ4Comm.h"
#include "vexq4/genicam/features.h"
#include "vexq4/genicam/genapi_xml.h"

namespace vexq4::gvcp {

std::uint16_t GvcpStatus(genicam::Access access) {
  using genicam::Access;
  switch (access) {
    case Access::kOk:
      return kSuccess;
    case Access::kInvalidAddress:
      return kInvalidAddress;
    case Access::kBadAlignment:
      return kBadAlignment;
    case Access::kWriteProtect:
      return kWriteProtect;
    case Access::kRefused:
      return kInvalidParameter;
    case Access::kAccessDenied:
      return kAccessDenied;
    case Access::kCameraFailed:
      return kError;
  }
  return kError;
}

MapDevice::MapDevice(genicam::ModelCamera& camera, bool readOnly, std::string about)
    : camera_(camera), map_(camera, readOnly) {
  info_.manufacturer = std::string(genicam::kVendorName);
  info_.model = "RX-Q4";
  info_.version = "";
  info_.manufacturerInfo = std::move(about);
}

bool MapDevice::IsImmediate(std::uint32_t address, std::uint32_t size) const {
  return genicam::RegisterMap::IsConstant(address, size) ||
         !genicam::RegisterMap::Exists(address, size);
}

std::uint16_t MapDevice::StatusOf(genicam::Access access) {
  // The camera may have come back inside the access: learn who it is.
  if (!identityKnown_ && camera_.Online()) ReadIdentity();
  return GvcpStatus(access);
}

std::uint16_t MapDevice::Read(std::uint32_t address, std::span<std::uint8_t> out) {
  if (IsImmediate(address, static_cast<std::uint32_t>(out.size())))
    return GvcpStatus(genicam::RegisterMap::ReadConstant(address, out));
  return StatusOf(map_.Read(address, out));
}

std::uint16_t MapDevice::Write(std::uint32_t address, std::span<const std::uint8_t> data) {
  const std::uint16_t status = StatusOf(map_.Write(address, data));
  if (status == kSuccess && address == genicam::TextAddress(UD)) ReadIdentity();
  return status;
}

std::uint16_t MapDevice::WriteUserName(std::string_view name) {
  std::vector<std::uint8_t> bytes(name.begin(), name.end());
  return Write(genicam::TextAddress(UD), bytes);
}

std::chrono::milliseconds MapDevice::Duration(std::uint32_t address, bool write) const {
  // A camera that does not answer is tried again first: two probes.
  return genicam::RegisterMap::Duration(address, write) + std::chrono::milliseconds(1500);
}

DeviceInfo MapDevice::Info() const {
  std::lock_guard lock(mutex_);
  return info_;
}

std::string MapDevice::XmlUrl() const { return genicam::XmlLocalUrl(); }

void MapDevice::ReadIdentity() {
  DeviceInfo info = Info();
  std::string text;
  bool all = true;
  const auto read = [&](genicam::Text which, std::string& field) {
    if (camera_.ReadText(which, text) == 0)
      field = text;
    else
      all = false;
  };
  read(genicam::Text::kModelName, info.model);
  read(genicam::Text::kCameraID, info.serial);
  read(genicam::Text::kUserID, info.userName);
  read(genicam::Text::kFirmwareVersion, info.version);
  identityKnown_ = all;
  std::lock_guard lock(mutex_);
  info_ = std::move(info);
}

bool MapDevice::Refresh() {
  if (!camera_.Online()) {
    identityKnown_ = false;
    if (camera_.Reconnect() != 0) return false;
  }
  if (!identityKnown_) ReadIdentity();
  return camera_.Online();
}

}  // namespace vexq4::gvcp
