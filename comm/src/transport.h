// The byte transports under the line protocol, and the library-wide choice
// between them.
//
// Which transport carries a port's bytes is decided afresh on every
// operation from TransportState:
//   grabberIndex 0,     allSerialMode 0  -> the slot's COM device
//   grabberIndex not 0, allSerialMode 0  -> linkport (linkportRef)
//   any,                allSerialMode 1  -> clallserial (allSerialRef)
// A port with a transport of the caller's (AttachTransport) is served by it
// whatever the selection says. ByteTransport itself is declared in
// vexq4/comm/byte_transport.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "vexq4/comm/byte_transport.h"
#include "vexq4/platform/clock.h"

namespace vexq4::comm {

struct TransportState {
  // Read by every transaction, on any thread; written when a connection
  // opens or closes.
  std::atomic<int> grabberIndex{-1};  // 0: COM ports; other: Camera Link; -1: none
  std::atomic<int> allSerialMode{0};  // 1: clallserial
  // One Camera Link connection at a time: set while it opens, read by its
  // transactions.
  void* linkportRef = nullptr;
  void* allSerialRef = nullptr;
};

// The one library-wide selection.
TransportState& Transport();

// The transport that serves `port` now, or nullptr when the port has no
// ready connection or no transport.
ByteTransport* TransportFor(int port);

}  // namespace vexq4::comm
