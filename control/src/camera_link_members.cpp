// The control's Camera Link members: the frame grabbers' manufacturers and
// serial ports, and the manufacturer-independent serial library's ports,
// forwarded to the model with the control's arguments.
#include <algorithm>
#include <array>

#include "VexQ4Comm.h"
#include "member_support.h"
#include "vexq4/control/XVexCamCtrl.h"

using namespace vexq4::control::members;
namespace ctl = vexq4::control;

namespace {

// How a count from the library reaches the host's out-parameter when the
// library failed: left as it was, set to 0, or the count as the library
// gave it (without linkport it still counts its "COM-ports" entry).
enum class OnFailure { kUntouched, kZero, kAsReported };

// Runs a library count query into `out` (which the host must supply).
template <class Query>
short CountInto(short* out, OnFailure onFailure, Query&& query) {
  RequirePresent(out);
  unsigned count = 0;
  const int result = query(&count);
  if (result == VEXQ4_OK || onFailure == OnFailure::kAsReported)
    *out = Short(static_cast<int>(count));
  else if (onFailure == OnFailure::kZero)
    *out = 0;
  return Short(result);
}

}  // namespace

short CXVexCamCtrl::ClSerialGetNumManufacturers(short* pNumManufacturers) {
  return CountInto(pNumManufacturers, OnFailure::kAsReported, [this](unsigned* count) {
    return CVexCamInterface::ClSerialGetNumManufacturers(count);
  });
}

short CXVexCamCtrl::ClSerialGetManufacturer(short ManufacturerIndex, QString* ManufacturerName,
                                            short* BufferSize, short* Version) {
  RequirePresent(ManufacturerName, BufferSize, Version);
  std::array<char, VEXQ4_CL_NAME_SIZE + 1> name{};
  // The library may fill as much as it is told: never more than our buffer.
  unsigned size =
      static_cast<unsigned>(std::clamp<int>(*BufferSize, 0, static_cast<int>(name.size())));
  unsigned version = static_cast<unsigned short>(*Version);
  const int result = CVexCamInterface::ClSerialGetManufacturer(
      static_cast<unsigned short>(ManufacturerIndex), name.data(), &size, &version);
  name.back() = '\0';
  *ManufacturerName = result == VEXQ4_OK ? FromBuffer(name.data()) : QString();
  *BufferSize = Short(static_cast<int>(size));
  *Version = Short(static_cast<int>(version));
  return Short(result);
}

short CXVexCamCtrl::ClSerialSelectManufacturer(const QString& ManufacturerName) {
  return Short(
      CVexCamInterface::ClSerialSelectManufacturer(ManufacturerName.toLatin1().constData()));
}

short CXVexCamCtrl::ClSerialGetNumSerialPorts(short* NumSerialPorts) {
  return CountInto(NumSerialPorts, OnFailure::kAsReported, [this](unsigned* count) {
    return CVexCamInterface::ClSerialGetNumSerialPorts(count);
  });
}

short CXVexCamCtrl::ClAllSerialGetNumPorts(short* numPorts) {
  return CountInto(numPorts, OnFailure::kUntouched, [this](unsigned* count) {
    return CVexCamInterface::ClAllSerialGetNumPorts(count);
  });
}

short CXVexCamCtrl::ClAllSerialGetPortInfo(short serialIndex, QString* ManufacturerName,
                                           short* nameBytes, QString* portID, short* IDBytes,
                                           short* Version) {
  RequirePresent(ManufacturerName, nameBytes, portID, IDBytes, Version);
  std::array<char, VEXQ4_CL_NAME_SIZE + 1> name{};
  std::array<char, VEXQ4_CL_NAME_SIZE + 1> id{};
  unsigned nameSize = VEXQ4_CL_NAME_SIZE;
  unsigned idSize = VEXQ4_CL_NAME_SIZE;
  unsigned version = 0;
  const int result = CVexCamInterface::ClAllSerialGetPortInfo(
      static_cast<unsigned short>(serialIndex), name.data(), &nameSize, id.data(), &idSize,
      &version);
  if (result != VEXQ4_OK) return Short(result);
  *ManufacturerName = FromBuffer(name.data());
  *nameBytes = Short(static_cast<int>(nameSize));
  *portID = FromBuffer(id.data());
  *IDBytes = Short(static_cast<int>(idSize));
  *Version = Short(static_cast<int>(version));
  return 0;
}

namespace {

// A grabber selection's result: off-line is returned, other failures raise.
short GrabberSelected(int result) {
  if (result != VEXQ4_OK && result != VEXQ4_E_NO_CONNECTION)
    Raise(ctl::kDeviceIoError, ctl::kIdsGrabberNotFound);
  return Short(result);
}
}  // namespace

short CXVexCamCtrl::ClAllSerialSetFrameGrabberIndex(short index) {
  return GrabberSelected(CVexCamInterface::ClAllSerialSetFrameGrabberIndex(index));
}

short CXVexCamCtrl::ClSerialSetFrameGrabberIndex(short index) {
  return GrabberSelected(CVexCamInterface::ClSerialSetFrameGrabberIndex(index));
}

short CXVexCamCtrl::ClAllSerialGetNumBytesAvail(short* numBytes) {
  return CountInto(numBytes, OnFailure::kUntouched, [this](unsigned* count) {
    return CVexCamInterface::ClAllSerialGetNumBytesAvail(count);
  });
}

short CXVexCamCtrl::ClAllSerialGetSupportedBaudRates(short* baudRates) {
  return CountInto(baudRates, OnFailure::kUntouched, [this](unsigned* count) {
    return CVexCamInterface::ClAllSerialGetSupportedBaudRates(count);
  });
}

short CXVexCamCtrl::ClAllSerialSetBaudRate(short baudRate) {
  return Short(CVexCamInterface::ClAllSerialSetBaudRate(static_cast<unsigned short>(baudRate)));
}
