#include "connections.h"

#include <array>
#include <cstdlib>

#include "VexQ4Comm.h"

namespace vexq4::python {
namespace {

constexpr int kSlots = VEXQ4_MAX_PORT + 1;

struct Registry {
  std::array<bool, kSlots> taken{};
  int comLines = 0;         // COM ports and devices
  bool cameraLink = false;  // a grabber or clallserial line
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::string Variable(int port) { return "VEXQ4_COM" + std::to_string(port); }

std::optional<std::string> Env(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace

void Gate::LockShared() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !owned_ && waitingOwners_ == 0; });
  ++sharers_;
}

void Gate::UnlockShared() {
  std::lock_guard lock(mutex_);
  if (--sharers_ == 0) changed_.notify_all();
}

void Gate::Lock() {
  std::unique_lock lock(mutex_);
  ++waitingOwners_;
  changed_.wait(lock, [this] { return !owned_ && sharers_ == 0; });
  --waitingOwners_;
  owned_ = true;
}

void Gate::Unlock() {
  std::lock_guard lock(mutex_);
  owned_ = false;
  changed_.notify_all();
}

Gate& LibraryGate() {
  static Gate gate;
  return gate;
}

std::optional<Slot> TakeSlot(LineKind kind, int comPort, const std::string& device,
                             std::string& why) {
  Registry& r = TheRegistry();
  const bool cameraLink = kind == LineKind::kGrabber || kind == LineKind::kAllSerial;
  if (r.cameraLink || (cameraLink && r.comLines > 0)) {
    why = cameraLink && !r.cameraLink
              ? "a camera on a COM port or device is open in this process; the communication "
                "library serves a Camera Link line only on its own"
              : "a Camera Link camera is open in this process; the communication library serves "
                "it only on its own (close it first)";
    return std::nullopt;
  }
  Slot slot;
  slot.kind = kind;
  if (kind == LineKind::kCom) {
    if (r.taken[static_cast<std::size_t>(comPort)]) {
      why = "COM" + std::to_string(comPort) + " is already open by another vexq4.Camera";
      return std::nullopt;
    }
    slot.port = comPort;
  } else if (kind == LineKind::kDevice) {
    // A device already open here would share the port: refuse it rather
    // than let the library find the device busy (or worse, the same slot).
    for (int port = hosts::kComPorts.first; port <= hosts::kComPorts.last; ++port) {
      if (r.taken[static_cast<std::size_t>(port)] && Env(Variable(port)) == device) {
        why = device + " is already open by another vexq4.Camera";
        return std::nullopt;
      }
    }
    // The first number whose VEXQ4_COM<n> is free or names the device,
    // as `vexq4 --device` numbers it: the camera's port number is the one
    // `vexq4 list` prints. While it is open, COM<n> of this process is
    // that device.
    slot.port = hosts::ComPortFor(
        device, [&r](int port) { return r.taken[static_cast<std::size_t>(port)]; });
    if (slot.port == 0) {
      why = "no free connection slot for " + device;
      return std::nullopt;
    }
    slot.oldValue = Env(Variable(slot.port));
    slot.device = device;
    hosts::MapComPort(slot.port, device);
  } else {
    // The Camera Link line is the library's only one then; slot 0 names it,
    // as `vexq4 --grabber` does.
    slot.port = 0;
  }
  r.taken[static_cast<std::size_t>(slot.port)] = true;
  if (cameraLink)
    r.cameraLink = true;
  else
    ++r.comLines;
  return slot;
}

void GiveBack(Slot& slot) {
  if (slot.port < 0) return;
  Registry& r = TheRegistry();
  r.taken[static_cast<std::size_t>(slot.port)] = false;
  if (slot.kind == LineKind::kGrabber || slot.kind == LineKind::kAllSerial)
    r.cameraLink = false;
  else
    --r.comLines;
  if (slot.kind == LineKind::kDevice) {
    const std::string name = Variable(slot.port);
    if (slot.oldValue)
      ::setenv(name.c_str(), slot.oldValue->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
  slot.port = -1;
}

}  // namespace vexq4::python
