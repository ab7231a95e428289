// Opening, replacing and closing the model's one connection, and the Camera
// Link listing forwards.
#include <cstdlib>

#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/ini_file.h"

int CVexCamInterface::Connect(int grabberIndex, int allSerialMode) {
  // The old connection goes first, even when it is on the same port: the
  // library serves one connection at a time.
  if (isOnline != 0) CloseConnection();
  // Not examined: a port that did not open fails the probe below.
  VexQ4InitComm(grabberIndex, static_cast<unsigned>(comPort), allSerialMode);
  connectedPort_ = comPort;
  shadingKnown_ = ShadingKnown::kNothing;  // another camera, perhaps
  isOnline = 1;
  const int result = CheckConnection();
  if (result != VEXQ4_OK) {
    CloseConnection();  // -5 at once: the failed probe already closed it
    return result;
  }
  NotifyOnline(1);
  return VEXQ4_OK;
}

int CVexCamInterface::SetComPort(int port) {
  comPort = port;
  Notify(&CVexCamInterface::ComPortChanged);
  // A clallserial connection is chosen by its own index; the port number
  // only names it, so a new number does not reconnect.
  if (clAllSerialInUse != 0) return VEXQ4_OK;
  return Connect(frameGrabberIndex, 0);
}

void CVexCamInterface::SetConnectionPort(int port) {
  comPort = port;
  Notify(&CVexCamInterface::ComPortChanged);
}

int CVexCamInterface::SetFrameGrabberIndex(int index) {
  frameGrabberIndex = index;
  Notify(&CVexCamInterface::FrameGrabberChanged);
  return VEXQ4_OK;
}

int CVexCamInterface::ClSerialSetFrameGrabberIndex(int index) {
  clAllSerialInUse = 0;
  return Connect(index, 0);
}

int CVexCamInterface::ClAllSerialSetFrameGrabberIndex(int index) {
  clAllSerialInUse = 1;
  return Connect(index, 1);
}

int CVexCamInterface::ClSerialGetNumManufacturers(unsigned* count) {
  return VexQ4CLSerialGetNumManufacturers(count);
}
int CVexCamInterface::ClSerialGetManufacturer(unsigned index, char* name, unsigned* size,
                                              unsigned* version) {
  return VexQ4CLSerialGetManufacturer(index, name, size, version);
}
int CVexCamInterface::ClSerialSelectManufacturer(const char* name) {
  return VexQ4CLSerialSelectManufacturer(name);
}
int CVexCamInterface::ClSerialGetNumSerialPorts(unsigned* count) {
  return VexQ4CLSerialGetNumSerialPorts(count);
}
int CVexCamInterface::ClAllSerialGetNumPorts(unsigned* count) {
  return VexQ4CLAllSerialGetNumPorts(count);
}
int CVexCamInterface::ClAllSerialGetPortInfo(unsigned index, char* manufacturer,
                                             unsigned* manufacturerSize, char* portId,
                                             unsigned* portIdSize, unsigned* version) {
  return VexQ4CLAllSerialGetPortInfo(index, manufacturer, manufacturerSize, portId, portIdSize,
                                     version);
}
int CVexCamInterface::ClAllSerialGetNumBytesAvail(unsigned* count) {
  return VexQ4CLAllSerialGetNumBytesAvail(count);
}
int CVexCamInterface::ClAllSerialGetSupportedBaudRates(unsigned* rates) {
  return VexQ4CLAllSerialGetSupportedBaudRates(rates);
}
int CVexCamInterface::ClAllSerialSetBaudRate(unsigned rate) {
  return VexQ4CLAllSerialSetBaudRate(rate);
}
int CVexCamInterface::SetQueryDrainTime(int ms) { return VexQ4SetQueryDrainTime(ms); }

CVexCamInterface::HostReads CVexCamInterface::UseHostReads(bool standardReads) {
  HostReads reads;
  if (standardReads) {
    reads.drainMs = 0;
  } else if (const char* text = std::getenv("VEXQ4_QUERY_DRAIN_MS"); text && *text) {
    // Read as the library reads it: a plain number, no unit.
    if (const auto ms = vexq4::platform::PlainNumber(text, kMaxQueryDrainMs)) {
      reads.drainMs = static_cast<int>(*ms);
      reads.fromEnvironment = true;
    } else {
      reads.ignoredVariable = text;
    }
  }
  SetQueryDrainTime(reads.drainMs);
  return reads;
}

void CVexCamInterface::AbandonCameraWork() noexcept { VexQ4AbandonComm(); }
