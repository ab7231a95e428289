// One camera connection of the CLProtocol library (one cookie): the camera
// model on a port of the communication library whose bytes go through the
// producer's serial object, the GenICam register map over it (the same map
// and description the GigE Vision bridge serves), and the write that may
// still be under way (CL_ERR_PENDING_WRITE).
//
// Calls on one connection are serialised by its lock. A register write runs
// on a thread of its own, so that the call can return CL_ERR_PENDING_WRITE
// when the write outlasts the caller's time-out (a command waiting for the
// 600 ms command gap, auto shading's 10 s) and clpContinueWriteRegister
// can wait for it again; every other call first waits for such a write to
// end, so that nothing reaches the camera before it acknowledged.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "device_id.h"
#include "serial_transport.h"
#include "vexq4/clprotocol/clprotocol.h"
#include "vexq4/genicam/camera.h"
#include "vexq4/genicam/register_map.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::clprotocol {

// A camera result of the gate below: the write was abandoned before its
// command was sent.
inline constexpr int kAbandoned = -100;
// Results of Connection::Open besides the library's: the line answers, but
// not as an RX-Q4; the probe was stopped (CLP_STOP_PROBE_DEVICE).
inline constexpr int kNotAnRxq4 = -101;
inline constexpr int kStopped = -102;

// The camera as the map reaches it, with one addition: before a write sends
// its command, it waits for the command gap here, where the wait can be
// abandoned (clpContinueWriteRegister with ContinueWaiting false) with
// nothing sent.
class GatedCamera final : public genicam::Camera {
 public:
  GatedCamera(genicam::Camera& inner, int port) : inner_(inner), port_(port) {}
  // The flag that abandons the write under way; null outside writes.
  void Arm(const std::atomic<bool>* abandon) { abandon_ = abandon; }

  int ReadSetting(const model::SettingRow& row, int& value) override {
    return inner_.ReadSetting(row, value);
  }
  int WriteSetting(const model::SettingRow& row, int value) override;
  int ReadText(genicam::Text which, std::string& text) override {
    return inner_.ReadText(which, text);
  }
  int WriteUserID(std::string_view text) override;
  int ReadNumber(genicam::Number which, int& value) override {
    return inner_.ReadNumber(which, value);
  }
  int Run(genicam::Command command, int argument) override;

 private:
  int Gate();
  genicam::Camera& inner_;
  int port_;
  const std::atomic<bool>* abandon_ = nullptr;
};

class Connection {
 public:
  // A connection on communication-library port `port` (1..254).
  explicit Connection(int port);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the port on `serial` and identifies the camera: 0 with
  // `identity` filled, or the communication library's code of the failed
  // step, kNotAnRxq4 for a line that answers but not as an RX-Q4, kStopped
  // when `stop` was raised (it is looked at between exchanges).
  int Open(ISerial* serial, Identity& identity, const std::atomic<bool>& stop);
  // Ends the write under way (abandoning it if not yet sent), closes the
  // camera connection and gives the port back. Idempotent.
  void Close();

  std::mutex& lock() { return mutex_; }
  bool closed() const { return closed_; }
  int port() const { return port_; }

  // Register access (the connection's lock held). Codes as the exports
  // return them.
  CLINT32 Read(ISerial* serial, std::uint32_t address, std::span<std::uint8_t> out);
  CLINT32 Write(ISerial* serial, std::uint32_t address, std::vector<std::uint8_t> data,
                std::chrono::milliseconds timeout);
  CLINT32 Continue(bool keepWaiting, std::chrono::milliseconds timeout);
  // Waits for a write still under way (one abandoned or timed out).
  void Settle();

  // The last error on this connection, for CL_ERR_GET_LAST_ERROR.
  const std::string& lastError() const { return lastError_; }
  void SetLastError(std::string text) { lastError_ = std::move(text); }

  // The camera's rate, as set on the grabber (CL_BAUDRATE_ bits).
  CLUINT32 baudRate = CL_BAUDRATE_9600;
  Identity identity;

 private:
  struct PendingWrite;
  CLINT32 Outcome(genicam::Access access, int cameraResult, std::uint32_t address, bool write);
  CLINT32 WaitForWrite(std::chrono::milliseconds timeout);

  std::mutex mutex_;
  int port_;
  bool closed_ = false;
  bool attached_ = false;
  SerialTransport transport_;
  CVexCamInterface model_;
  genicam::ModelCamera camera_;
  GatedCamera gated_;
  genicam::RegisterMap map_;
  std::unique_ptr<PendingWrite> pending_;
  std::string lastError_;
};

// The standard's code for a communication-library result (0, -1 .. -9).
CLINT32 CodeOfCameraResult(int result);

}  // namespace vexq4::clprotocol
