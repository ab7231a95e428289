// Port connections: the slot table, the library-wide transport selection,
// opening (with the camera probe) and closing.
#include "ports.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

#include "VexQ4Comm.h"
#include "cameralink.h"
#include "vexq4/platform/abandon.h"
#include "vexq4/platform/clock.h"
#include "vexq4/platform/ini_file.h"

namespace vexq4::comm {
namespace {

// A flooding camera must not hold a drain forever: a few seconds of line
// traffic at 9600 baud is far more than any reply.
constexpr int kMaxDrainBytes = 4096;

std::array<PortSlot, kPortSlots> g_slots;
// Transports of the caller's (AttachTransport), by port; they outlive the
// openings and closings of their ports.
std::array<std::atomic<ByteTransport*>, kPortSlots> g_attached{};
bool g_tableInitialised = false;
TransportState g_transport;
// Opening and closing change the slot table and the selection: one at a
// time. Transactions of open ports go on meanwhile, each under its port's
// lock, so that a program can run several COM ports on threads of its own.
std::mutex g_connectionsMutex;

// The query drain: the host's choice (-1: none, the environment decides)
// and VEXQ4_QUERY_DRAIN_MS as the last opening found it. Atomic because a
// host may set it while another thread runs a query.
constexpr int kNoHostChoice = -1;
constexpr int kStandard = static_cast<int>(kStandardDrain);
std::atomic<int> g_hostQueryDrainMs{kNoHostChoice};
std::atomic<int> g_envQueryDrainMs{kStandard};

// VEXQ4_QUERY_DRAIN_MS: 1 to 100 milliseconds; anything else (unset, empty,
// 0, a unit after the number, more) keeps the standard drain, the safe way
// to read a mistyped value.
int QueryDrainFromEnvironment() {
  const char* text = std::getenv("VEXQ4_QUERY_DRAIN_MS");
  const auto ms = platform::PlainNumber(text ? text : "", static_cast<unsigned>(kMaxQueryDrainMs));
  return ms ? static_cast<int>(*ms) : kStandard;
}

void CloseSlot(PortSlot& slot) {
  slot.isReady = 0;
  slot.isOpen = 0;
  slot.lock.reset();
  slot.comTransport.Attach(nullptr);
  slot.com.reset();  // closes the device and restores its settings
}

bool AnyPortOpen() {
  for (const PortSlot& slot : g_slots)
    if (slot.isOpen) return true;
  return false;
}

// Every slot closed, as before the first opening.
void ResetTable() {
  for (PortSlot& slot : g_slots) {
    CloseSlot(slot);
    slot.lastCommandTick = 0;
  }
  g_tableInitialised = true;
}

// Opens COM port `port` into its slot; 0 or -2.
int StartComPort(PortSlot& slot, unsigned port) {
  platform::OpenResult opened = platform::OpenComPort(port);
  if (!opened.device) return VEXQ4_E_PORT_OPEN;
  slot.com = std::move(opened.device);
  slot.comTransport.Attach(slot.com.get());
  return VEXQ4_OK;
}

}  // namespace

bool ComTransport::WriteBlock(std::span<const std::uint8_t> bytes) {
  return device_ && device_->Write(bytes);
}

bool ComTransport::ReadByte(std::uint8_t& out, std::uint32_t /*timeoutMs*/) {
  // The device applies its own read time-out (about 101 ms).
  return device_ && device_->ReadByte(out);
}

bool ComTransport::ReadReplyByte(std::uint8_t& out, std::uint32_t leftMs,
                                 std::uint32_t /*lineTimeoutMs*/) {
  // One wait for the time left: the device sleeps until a byte comes.
  return device_ && device_->ReadByteWithin(out, leftMs);
}

bool ComTransport::LineLost() const { return device_ && device_->Lost(); }

void ComTransport::DrainInput(std::uint32_t quietMs) {
  if (!device_) return;
  device_->DiscardInput();
  std::uint8_t byte = 0;
  const auto read = [&] {
    return quietMs == kStandardDrain ? device_->ReadByte(byte)
                                     : device_->ReadByteWithin(byte, quietMs);
  };
  for (int i = 0; i < kMaxDrainBytes && read(); ++i) {
  }
}

bool ComTransport::WriteSingleByte(std::uint8_t byte) {
  if (!device_ || !device_->Write(std::span(&byte, 1))) return false;
  // Let each byte leave the port so the camera is not overrun; the byte
  // itself was written, so a failed drain is not a failed write.
  device_->Drain();
  return true;
}

TransportState& Transport() { return g_transport; }

PortSlot* Slot(int port) {
  if (port < 0 || port >= kPortSlots) return nullptr;
  return &g_slots[static_cast<std::size_t>(port)];
}

bool IsReady(int port) {
  const PortSlot* slot = Slot(port);
  return slot && slot->isReady && slot->lock.has_value();
}

std::unique_lock<std::mutex> LockReadyPort(int port) {
  if (!IsReady(port)) return {};
  return std::unique_lock<std::mutex>(*Slot(port)->lock);
}

bool ShadingTransferStopped(int port) {
  const PortSlot* slot = Slot(port);
  return platform::AbandonRequested() ||
         (slot && slot->shadingStopped.load(std::memory_order_relaxed));
}

std::uint32_t QueryDrainMs() {
  const int host = g_hostQueryDrainMs.load(std::memory_order_relaxed);
  const int ms = host != kNoHostChoice ? host : g_envQueryDrainMs.load(std::memory_order_relaxed);
  return static_cast<std::uint32_t>(ms);
}

int AttachTransport(int port, ByteTransport* transport) {
  if (port < 1 || port >= kPortSlots || !transport) return VEXQ4_E_ARGUMENT;
  g_attached[static_cast<std::size_t>(port)].store(transport);
  return VEXQ4_OK;
}

void DetachTransport(int port) {
  if (port >= 1 && port < kPortSlots) g_attached[static_cast<std::size_t>(port)].store(nullptr);
}

std::uint32_t CommandDrainMs() {
  return QueryDrainMs() == kStandardDrain ? kStandardDrain : kCommandQuietMs;
}

ByteTransport* TransportFor(int port) {
  PortSlot* slot = Slot(port);
  if (!slot || !slot->isReady) return nullptr;
  // A port on the caller's transport is its own line, whatever the
  // library-wide selection says.
  if (ByteTransport* attached = g_attached[static_cast<std::size_t>(port)].load()) return attached;
  const TransportState& t = g_transport;
  // Any non-zero allSerialMode counts as clallserial, as when closing.
  if (t.allSerialMode != 0) return &cameralink::AllSerialTransport();
  // Closing a connection ends the selection (-1). A COM port still open
  // beside it keeps its own device: several cameras on COM ports can then
  // be closed one by one, while the others go on working.
  if (t.grabberIndex == -1 && slot->com) return &slot->comTransport;
  if (t.grabberIndex != 0) return &cameralink::LinkportTransport();
  return slot->com ? &slot->comTransport : nullptr;
}

}  // namespace vexq4::comm

using namespace vexq4::comm;

extern "C" {

int VexQ4InitComm(int grabberIndex, unsigned port, int allSerialMode) {
  std::unique_lock connections(g_connectionsMutex);
  if (!g_tableInitialised) ResetTable();
  if (port >= static_cast<unsigned>(kPortSlots)) return VEXQ4_E_ARGUMENT;

  // The selection is library-wide and replaced even when this port turns
  // out to be open already.
  TransportState& t = g_transport;
  t.grabberIndex = grabberIndex;
  t.allSerialMode = allSerialMode;

  PortSlot& slot = *Slot(static_cast<int>(port));
  if (slot.isOpen) return VEXQ4_E_NO_CONNECTION;
  slot.isOpen = 1;
  slot.shadingStopped.store(false, std::memory_order_relaxed);  // a stop of an earlier connection
  g_envQueryDrainMs.store(QueryDrainFromEnvironment(), std::memory_order_relaxed);

  if (allSerialMode != 0) {
    if (cameralink::LoadAllSerial() != VEXQ4_OK) {
      slot.isOpen = 0;
      return VEXQ4_E_CAMERA_LINK;
    }
    if (const int rc = cameralink::OpenAllSerial(grabberIndex); rc != VEXQ4_OK) {
      t.allSerialRef = nullptr;
      ResetTable();
      return rc;
    }
  } else if (grabberIndex != 0) {
    if (cameralink::LoadLinkport() != VEXQ4_OK) {
      slot.isOpen = 0;
      return VEXQ4_E_CAMERA_LINK;
    }
    if (const int rc = cameralink::OpenLinkport(grabberIndex); rc != VEXQ4_OK) {
      t.linkportRef = nullptr;
      ResetTable();
      return rc;
    }
  } else if (g_attached[port].load() != nullptr) {
    // The caller's transport is the line: nothing to open.
  } else if (StartComPort(slot, port) != VEXQ4_OK) {
    slot.isOpen = 0;
    return VEXQ4_E_PORT_OPEN;
  }

  slot.lock.emplace();
  slot.isReady = 1;
  // The probe is a transaction of this port alone: other ports may open
  // meanwhile.
  connections.unlock();

  // Probe: a camera answers "SH?"; give it a second chance.
  int shutter = 0;
  if (VexQ4GetCameraData(static_cast<int>(port), SH, &shutter) == VEXQ4_OK) return VEXQ4_OK;
  const int rc = VexQ4GetCameraData(static_cast<int>(port), SH, &shutter);
  if (rc == VEXQ4_OK) return VEXQ4_OK;
  // A Camera Link reference stays open until VexQ4ExitComm.
  connections.lock();
  CloseSlot(slot);
  return rc;
}

int VexQ4ExitComm(int port) {
  const std::lock_guard connections(g_connectionsMutex);
  // A number outside 0..254 has no slot and touches nothing in the table;
  // the library-wide steps still run.
  PortSlot* slot = Slot(port);
  TransportState& t = g_transport;
  const bool comPorts = t.grabberIndex == 0 && t.allSerialMode == 0;
  if (!comPorts) cameralink::CloseReferences();
  if (slot) {
    // The COM device goes whatever the selection says now: a later
    // selection change must not leave the port held open (and locked).
    CloseSlot(*slot);
  }
  cameralink::UnloadAll();
  // Closing one of several open COM ports must not take the others'
  // transport away; the selection ends with the last connection.
  if (!(comPorts && AnyPortOpen())) t.grabberIndex = -1;
  return VEXQ4_OK;
}

int VexQ4SetQueryDrainTime(int ms) {
  if (ms < kNoHostChoice || ms > kMaxQueryDrainMs) return VEXQ4_E_ARGUMENT;
  g_hostQueryDrainMs.store(ms, std::memory_order_relaxed);
  return VEXQ4_OK;
}

int VexQ4StopShadingTransfer(int port, int stop) {
  PortSlot* slot = Slot(port);
  if (!slot) return VEXQ4_E_ARGUMENT;
  slot->shadingStopped.store(stop != 0, std::memory_order_relaxed);
  return VEXQ4_OK;
}

int VexQ4AbandonComm(void) {
  vexq4::platform::RequestAbandon();
  return VEXQ4_OK;
}

}  // extern "C"
