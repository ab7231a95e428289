#include "connection.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "VexQ4Comm.h"
#include "errors.h"
#include "host_lines.h"
#include "vexq4/comm/byte_transport.h"
#include "vexq4/platform/clock.h"

namespace vexq4::clprotocol {
namespace {

// How often the gate looks at the abandon flag while it waits for the
// command gap.
constexpr std::uint32_t kGateStepMs = 50;
// Beyond the longest a write takes (RegisterMap::Duration), what may come
// first: a camera taken back after it stopped answering (the probe of a
// reconnection).
constexpr std::chrono::milliseconds kReconnectAllowance{2000};
// A write whose thread ran out of memory (CodeOfCameraResult: a failed
// exchange).
constexpr int kFailedInside = -103;

std::string Hex(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", value);
  return buffer;
}

}  // namespace

CLINT32 CodeOfCameraResult(int result) {
  switch (result) {
    case VEXQ4_OK:
      return CL_ERR_NO_ERR;
    case VEXQ4_E_TIMEOUT:
      return CL_ERR_TIMEOUT;
    case VEXQ4_E_NO_CONNECTION:
      return VEXQ4_CLP_E_CAMERA_OFFLINE;
    case VEXQ4_E_NOT_ACKNOWLEDGED:
      return VEXQ4_CLP_E_NOT_ACKNOWLEDGED;
    case VEXQ4_E_MALFORMED:
      return VEXQ4_CLP_E_MALFORMED_ANSWER;
    case VEXQ4_E_ARGUMENT:
      return VEXQ4_CLP_E_VALUE_REFUSED;
    default:
      return VEXQ4_CLP_E_CAMERA_FAILED;
  }
}

// ---- The gate.

int GatedCamera::Gate() {
  if (!abandon_) return 0;
  for (;;) {
    if (abandon_->load()) return kAbandoned;
    const std::uint32_t left = comm::CommandGapLeftMs(port_);
    if (left == 0) return 0;
    platform::SleepMs(std::min(left, kGateStepMs));
  }
}

int GatedCamera::WriteSetting(const model::SettingRow& row, int value) {
  if (const int rc = Gate(); rc != 0) return rc;
  return inner_.WriteSetting(row, value);
}

int GatedCamera::WriteUserID(std::string_view text) {
  if (const int rc = Gate(); rc != 0) return rc;
  return inner_.WriteUserID(text);
}

int GatedCamera::Run(genicam::Command command, int argument) {
  if (const int rc = Gate(); rc != 0) return rc;
  return inner_.Run(command, argument);
}

// ---- The connection.

struct Connection::PendingWrite {
  std::thread thread;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  genicam::Access access = genicam::Access::kOk;
  int cameraResult = 0;
  std::atomic<bool> abandon{false};
  // Given up by the client (abandoned, or timed out): its outcome is not
  // reported, and the next call on the connection waits for its end.
  bool givenUp = false;
  std::uint32_t address = 0;
  std::chrono::steady_clock::time_point started;
  std::chrono::milliseconds limit{0};
};

Connection::Connection(int port)
    : port_(port),
      camera_(model_, [this] { return hosts::Connect(model_, hosts::LineKind::kCom, port_); }),
      gated_(camera_, port),
      map_(gated_) {}

Connection::~Connection() { Close(); }

int Connection::Open(ISerial* serial, Identity& found, const std::atomic<bool>& stop) {
  transport_.Use(serial);
  if (const int rc = comm::AttachTransport(port_, &transport_); rc != VEXQ4_OK) return rc;
  attached_ = true;
  // The model's connection: VexQ4InitComm on our transport, with the
  // library's own probe (SH?), then the model's.
  if (const int rc = hosts::Connect(model_, hosts::LineKind::kCom, port_); rc != VEXQ4_OK)
    return rc;

  // The RX-Q4 by its answers: each must have the form an RX-Q4 gives. The
  // buffers hold what the model can read later (9 characters).
  struct Question {
    std::string_view mnemonic;
    bool (*valid)(std::string_view);
    std::string* into;
  };
  std::string shutter;
  const std::array<Question, 4> questions = {{{"SH", IsShutterAnswer, &shutter},
                                              {"MD", IsModelAnswer, &found.modelName},
                                              {"ID", IsCameraIdAnswer, &found.cameraId},
                                              {"VN", IsFirmwareAnswer, &found.firmware}}};
  for (const Question& q : questions) {
    if (stop.load()) return kStopped;
    std::array<char, VEXQ4_CAMERA_ID_SIZE> value{};
    const int rc = comm::QueryValueText(port_, q.mnemonic, value);
    if (rc == VEXQ4_E_MALFORMED) return kNotAnRxq4;
    if (rc != VEXQ4_OK) return rc;
    if (!q.valid(value.data())) return kNotAnRxq4;
    *q.into = value.data();
  }
  identity = found;
  return VEXQ4_OK;
}

void Connection::Close() {
  if (closed_) return;
  if (pending_) pending_->abandon = true;
  Settle();
  model_.CloseConnection();
  if (attached_) comm::DetachTransport(port_);
  attached_ = false;
  closed_ = true;
}

void Connection::Settle() {
  if (!pending_) return;
  pending_->abandon = pending_->abandon.load() || pending_->givenUp;
  if (pending_->thread.joinable()) pending_->thread.join();
  pending_.reset();
}

CLINT32 Connection::Outcome(genicam::Access access, int cameraResult, std::uint32_t address,
                            bool write) {
  CLINT32 code = CL_ERR_NO_ERR;
  switch (access) {
    case genicam::Access::kOk:
      return CL_ERR_NO_ERR;
    case genicam::Access::kInvalidAddress:
      code = VEXQ4_CLP_E_NO_REGISTER;
      break;
    case genicam::Access::kBadAlignment:
      code = VEXQ4_CLP_E_PART_OF_INTEGER;
      break;
    case genicam::Access::kWriteProtect:
    case genicam::Access::kAccessDenied:
      code = VEXQ4_CLP_E_READ_ONLY;
      break;
    case genicam::Access::kRefused:
      code = VEXQ4_CLP_E_VALUE_REFUSED;
      break;
    case genicam::Access::kCameraFailed:
      code = CodeOfCameraResult(cameraResult);
      break;
  }
  const std::string name = genicam::RegisterName(address);
  std::string text = std::string(write ? "writing " : "reading ") + Hex(address) +
                     (name.empty() ? "" : " (" + name + ")") + ": " + std::string(ErrorText(code));
  if (access == genicam::Access::kCameraFailed)
    text += " [communication library code " + std::to_string(cameraResult) + "]";
  lastError_ = std::move(text);
  return code;
}

CLINT32 Connection::Read(ISerial* serial, std::uint32_t address, std::span<std::uint8_t> out) {
  Settle();
  transport_.Use(serial);
  // On failure the caller's buffer stays as it was.
  std::vector<std::uint8_t> bytes(out.size());
  const genicam::Access access = map_.Read(address, bytes);
  const CLINT32 code = Outcome(access, map_.lastCameraResult(), address, false);
  if (code == CL_ERR_NO_ERR) std::copy(bytes.begin(), bytes.end(), out.begin());
  return code;
}

CLINT32 Connection::Write(ISerial* serial, std::uint32_t address, std::vector<std::uint8_t> data,
                          std::chrono::milliseconds timeout) {
  Settle();
  transport_.Use(serial);
  pending_ = std::make_unique<PendingWrite>();
  PendingWrite* p = pending_.get();
  p->address = address;
  p->started = std::chrono::steady_clock::now();
  p->limit = genicam::RegisterMap::Duration(address, true) + kReconnectAllowance;
  try {
    p->thread = std::thread([this, p, data = std::move(data)] {
      genicam::Access access = genicam::Access::kCameraFailed;
      int cameraResult = kFailedInside;
      try {
        gated_.Arm(&p->abandon);
        access = map_.Write(p->address, data);
        cameraResult = map_.lastCameraResult();
      } catch (...) {  // out of memory: the write failed
      }
      gated_.Arm(nullptr);
      {
        const std::lock_guard lock(p->mutex);
        p->access = access;
        p->cameraResult = cameraResult;
        p->finished = true;
      }
      p->done.notify_all();
    });
  } catch (...) {  // no thread: nothing was started
    pending_.reset();
    throw;
  }
  return WaitForWrite(timeout);
}

CLINT32 Connection::WaitForWrite(std::chrono::milliseconds timeout) {
  PendingWrite& p = *pending_;
  {
    std::unique_lock lock(p.mutex);
    if (!p.done.wait_for(lock, timeout, [&p] { return p.finished; })) {
      if (std::chrono::steady_clock::now() - p.started < p.limit) return CL_ERR_PENDING_WRITE;
      // Longer than the write ever takes: the client stops asking; the
      // next call on the connection waits for its end.
      p.givenUp = true;
      const std::string name = genicam::RegisterName(p.address);
      lastError_ = "writing " + Hex(p.address) + (name.empty() ? "" : " (" + name + ")") +
                   ": still not done after " + std::to_string(p.limit.count()) + " ms";
      return CL_ERR_TIMEOUT;
    }
  }
  p.thread.join();
  const genicam::Access access = p.access;
  const int cameraResult = p.cameraResult;
  const std::uint32_t address = p.address;
  pending_.reset();
  return Outcome(access, cameraResult, address, true);
}

CLINT32 Connection::Continue(bool keepWaiting, std::chrono::milliseconds timeout) {
  if (!pending_ || pending_->givenUp) return VEXQ4_CLP_E_NO_WRITE_PENDING;
  if (!keepWaiting) {
    // Abandoned: a command not sent yet is never sent; one sent already is
    // acknowledged before the next call on the connection reaches the
    // camera (Settle), so the camera takes further commands.
    pending_->abandon = true;
    pending_->givenUp = true;
    const std::string name = genicam::RegisterName(pending_->address);
    lastError_ = "writing " + Hex(pending_->address) + (name.empty() ? "" : " (" + name + ")") +
                 ": abandoned by the client";
    return CL_ERR_NO_ERR;
  }
  return WaitForWrite(timeout);
}

}  // namespace vexq4::clprotocol
