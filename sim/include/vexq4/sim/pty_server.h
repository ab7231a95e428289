// The simulated camera served on a pseudo-terminal in real time.
//
// A program under test opens the slave side (for example through
// VEXQ4_COM1=/dev/pts/7) exactly as it would open a serial port; a thread
// of the server feeds what it writes to a SimCamera and writes the camera's
// answer back when each byte is due at 9600 baud. Used by the vexq4-sim
// executable, by the command-line host's --sim and by end-to-end tests.
#pragma once

#include <atomic>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "vexq4/sim/sim_camera.h"

namespace vexq4::sim {

class PtyServer {
 public:
  explicit PtyServer(Config config = {});
  ~PtyServer();  // stops serving and closes the pseudo-terminal
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Writes each line the camera receives to `log` with the time of day;
  // call before Start. The stream must outlive the server.
  void SetLog(std::ostream* log) { log_ = log; }

  // Opens the pseudo-terminal (raw, so every byte passes unchanged) and
  // starts serving. False, with the reason in `error`, if it cannot.
  bool Start(std::string* error = nullptr);
  // Stops the serving thread (within about 20 ms) and closes the pty.
  void Stop();
  bool running() const { return thread_.joinable(); }

  // The device path a client opens, e.g. "/dev/pts/7"; empty before Start.
  const std::string& slavePath() const { return slavePath_; }

  // Lines (and shading frames) received since Start; safe from any thread.
  std::size_t linesReceived() const { return lines_.load(); }

  // The camera, locked against the serving thread while this object lives.
  class LockedCamera {
   public:
    LockedCamera(std::mutex& m, SimCamera& camera) : lock_(m), camera_(camera) {}
    SimCamera& operator*() { return camera_; }
    SimCamera* operator->() { return &camera_; }

   private:
    std::unique_lock<std::mutex> lock_;
    SimCamera& camera_;
  };
  LockedCamera camera() { return LockedCamera(mutex_, camera_); }

 private:
  void Serve();
  void LogNewLines();

  std::mutex mutex_;
  SimCamera camera_;
  std::ostream* log_ = nullptr;
  int master_ = -1;
  int slave_ = -1;  // kept open so the pty does not hang up between clients
  std::string slavePath_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> lines_{0};
  std::size_t logged_ = 0;  // entries of the camera's log already counted
  std::thread thread_;
};

}  // namespace vexq4::sim
