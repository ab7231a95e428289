// vexq4.Camera: the camera model hosted for Python.
//
// The model runs in the calling thread, as it runs in the control's; the
// interpreter lock is released for every exchange with the camera, so that
// threads can drive several cameras at once. Notifications re-take the lock
// only when a callback is registered, progress steps always: there Ctrl-C
// is noticed. A callback's exception, or Ctrl-C's, is kept, stops this
// camera's long operation at its next exchange (the model's stop, not the
// library-wide abandon: cameras in other threads go on) and is raised when
// the call returns.
//
// Closing while another thread's call runs stops that call's operation and
// leaves the closing to it as it ends; the interpreter's end closes every
// camera the same way (interpreter.h).
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "connections.h"
#include "host_properties.h"
#include "interpreter.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/model/settings.h"

namespace vexq4::sim {
class PtyServer;
}

namespace vexq4::python {

namespace py = pybind11;
using hosts::Kind;
using hosts::Property;

struct ConnectOptions {
  std::optional<int> com;
  std::optional<std::string> device;
  std::optional<int> grabber;
  std::optional<int> clallserial;
  bool sim = false;
  bool fastReads = true;
};

// Hidden like everything of the module (its Python members are).
class __attribute__((visibility("hidden"))) Camera final : public CVexCamInterface {
 public:
  // Opens the line and probes the camera; raises when no camera answers.
  explicit Camera(const ConnectOptions& options);
  ~Camera() override;

  // Closes the line; with another thread's call under way, stops its
  // operation and waits a bounded time for it, then leaves the closing to
  // that thread. Never raises for that.
  void Close();
  // The interpreter's exit function: closes the camera, or has the thread
  // inside a call close it, by `deadline`.
  void CloseAtExit(SteadyTime deadline);
  bool closed() const { return !open_ || closing_; }
  bool Online();
  bool Synchronized();
  std::string Describe() const;  // "COM3 (/dev/ttyS2)", "frame grabber 1", ...

  py::object Get(const Property& p);              // the attribute: the cache
  void Set(const Property& p, py::handle value);  // checks, then sends at once
  void SetMany(py::kwargs values);                // checks all, then sends in order
  py::object QueryByName(std::string_view name);  // asks the camera, like `vexq4 get`
  py::dict Snapshot();                            // every setting, as `vexq4 list`

  void ReadAll(py::object progress);
  void WriteAll(py::object progress);
  py::object Identity();
  void Store(py::handle area);
  void Load(py::handle area, py::object progress);
  void SaveSettings(const std::string& path, py::object progress);
  void LoadSettings(const std::string& path, py::object progress);
  py::dict Diff(const std::string& path);                        // {name: (camera, file)}
  py::dict Apply(const std::string& path, py::object progress);  // {name: (old, new)}
  void Report(const std::string& path, py::object progress);
  void ShadingSave(const std::string& path, py::object progress);
  void ShadingLoad(const std::string& path, py::object progress);
  void AutoShading(py::object progress);
  std::string OnePush();

  void OnChange(py::object callback);
  void OnMessage(py::object callback);

  // ---- The model's notifications.
  void OnlineStatusChanged(int online) override;
  void SynchronizedStatusChanged(int synchronized) override;
  // Every other notification, from the model's list: a setting's, or a
  // value's without a setting (port, user ID, identity, one-push result).
#define VEXQ4_PY_NOTIFICATION(Name, ...)                                  \
  void Name() override {                                                  \
    static const model::NotificationRow* const row = Notification(#Name); \
    Notified(*row);                                                       \
  }
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_PY_NOTIFICATION, VEXQ4_PY_NOTIFICATION,
                            VEXQ4_PY_NOTIFICATION, VEXQ4_PY_NOTIFICATION)
#undef VEXQ4_PY_NOTIFICATION
  void CommandMessage(std::string line) override;

 private:
  class Call;  // one Python call on this camera: thread guard, GIL, errors

  template <typename Operation>
  int Exchange(Call& call, Operation&& operation);
  // One camera operation as a call of its own, raising its failure.
  template <typename Operation>
  void Run(std::string what, py::object progress, Operation&& operation,
           std::string_view file = {});
  // Calls a callback (None: nothing, unless `always`: the signals are
  // still looked at) with the lock.
  template <typename... Args>
  void Invoke(bool always, const py::object& callback, const Args&... args);
  void Raise(const Call& call, int status, std::string_view file = {}) const;
  [[noreturn]] void RaiseConnectFailure(int status);
  void Connect(const ConnectOptions& options);
  void Release();  // closes the line and gives everything back; gate held alone
  // Without the interpreter lock: takes the gate and releases, quietly (no
  // callbacks). What a thread does instead of coming back into Python.
  void ReleaseWithoutInterpreter();
  // The close another thread asked for, as the call under way ends.
  void ReleaseAsked();
  static const model::NotificationRow* Notification(std::string_view name);
  void Notified(const model::NotificationRow& row);
  template <typename T>
  void Changed(std::string_view name, const T& value);
  void Progress(const model::ProgressStep& step);
  int Query(const Property& p);  // asks the camera for one property
  int ReadFirmwareVersion();     // the model's, noting that this connection's is known
  py::object CacheValue(const Property& p) const;
  void RequireOpen(const Call& call) const;

  std::optional<Slot> slot_;          // changed with the gate held alone
  std::atomic<bool> open_{false};     // slot_ holds a line (read by any thread)
  std::atomic<bool> closing_{false};  // close() asked: no call starts, the one under way stops
  bool firmwareKnown_ = false;        // the firmware version of this connection was read
  std::unique_ptr<sim::PtyServer> sim_;
  bool fastReads_ = false;
  std::string line_;    // how the line is named in messages
  std::string device_;  // the serial device, looked at when the camera goes

  // Who is inside a call: another thread is refused; the same thread is a
  // callback (it may read the cache, not talk to the camera).
  std::atomic<std::thread::id> owner_{};
  std::string operation_;  // the call under way, for the refusal's message
  // State of the call under way (touched with the interpreter lock held).
  py::object onChange_ = py::none();
  py::object onMessage_ = py::none();
  py::object progress_ = py::none();
  std::optional<py::error_already_set> callbackError_;
  std::string lastMessage_;
  std::atomic<bool> quiet_{false};  // no callbacks (being destroyed, or the interpreter ending)
};

}  // namespace vexq4::python
