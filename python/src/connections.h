// What the cameras of one Python process share: the communication
// library's connection table and its one transport selection.
//
// The library must not open or close a connection while another thread
// exchanges with a camera, so every camera operation holds the gate shared
// and opening and closing hold it alone. A thread waiting to open or close
// holds back operations that have not started yet, so it waits only for
// those under way.
//
// Each connection takes one slot (port number 0..254) of the library; the
// registry hands them out so that two cameras never share one (a failed
// open of the second would close the first). A device path reaches its
// slot through VEXQ4_COM<slot>, as `vexq4 --device` does (the first free
// number from 1); the variable is set while the slot is held and restored
// when it is given back.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "host_lines.h"

namespace vexq4::python {

class Gate {
 public:
  void LockShared();
  void UnlockShared();
  void Lock();
  void Unlock();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int sharers_ = 0;
  int waitingOwners_ = 0;
  bool owned_ = false;
};

Gate& LibraryGate();

// RAII holders of the gate.
class SharedGate {
 public:
  SharedGate() { LibraryGate().LockShared(); }
  ~SharedGate() { LibraryGate().UnlockShared(); }
  SharedGate(const SharedGate&) = delete;
  SharedGate& operator=(const SharedGate&) = delete;
};
class ExclusiveGate {
 public:
  ExclusiveGate() { LibraryGate().Lock(); }
  ~ExclusiveGate() { LibraryGate().Unlock(); }
  ExclusiveGate(const ExclusiveGate&) = delete;
  ExclusiveGate& operator=(const ExclusiveGate&) = delete;
};

using hosts::LineKind;

// A slot taken for one camera. Call with the gate held alone.
struct Slot {
  int port = -1;
  LineKind kind = LineKind::kCom;
  std::string device;                   // kDevice: the path mapped to the slot
  std::optional<std::string> oldValue;  // kDevice: VEXQ4_COM<port> before
};

// Takes a slot for the line, or returns the reason why not (another camera
// of this process holds it, or Camera Link and COM lines would be mixed,
// which the library's one transport selection cannot serve).
std::optional<Slot> TakeSlot(LineKind kind, int comPort, const std::string& device,
                             std::string& why);
void GiveBack(Slot& slot);

}  // namespace vexq4::python
