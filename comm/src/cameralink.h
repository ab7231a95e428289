// The Camera Link side of the library: the loaders of linkport and
// clallserial, opening and closing through them, and their byte transports.
// The port layer calls these; the VexQ4CL* exports live beside them.
#pragma once

#include "transport.h"

namespace vexq4::comm::cameralink {

// Loaders: 0 when loaded (now or before), -8 when the library or one of its
// entry points is missing. Each library is tried once until UnloadAll.
int LoadLinkport();
int LoadAllSerial();

// Unloads both libraries and resets their attempt counters.
void UnloadAll();

// Opening step of a linkport connection: manufacturer grabberIndex - 1,
// selected by name, serial index 0. 0 or the failing call's code;
// Transport().linkportRef is set on success.
int OpenLinkport(int grabberIndex);
// Opening step of a clallserial connection: its port grabberIndex.
int OpenAllSerial(int grabberIndex);

// Closes whichever references are open (clSerialClose) and nulls them.
void CloseReferences();

// Transports over the open references; used by TransportFor.
ByteTransport& LinkportTransport();
ByteTransport& AllSerialTransport();

}  // namespace vexq4::comm::cameralink
