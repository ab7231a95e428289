// The camera as the register map reaches it: a narrow interface, so that
// the same map serves every way the camera is reached (the GigE Vision
// bridge, a frame grabber's CLProtocol library) and knows nothing of how.
//
// Every call is one camera exchange (or a few) and blocks until it is done;
// the result is 0 or the communication library's negative code (VexQ4Comm.h;
// -5: the camera is not connected).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "vexq4/model/settings.h"

class CVexCamInterface;

namespace vexq4::genicam {

// The camera's texts: its identity and the user ID.
enum class Text { kModelName, kCameraID, kUserID, kFirmwareVersion };
// The camera's own state, read only.
enum class Number { kCurrentArea, kOnePushResult };
// Commands that are no setting: LD=n, SA=n, AW=0, ATSH=0.
enum class Command { kLoadArea, kStoreArea, kOnePushWhiteBalance, kAutoShading };

class Camera {
 public:
  virtual ~Camera() = default;
  virtual int ReadSetting(const model::SettingRow& row, int& value) = 0;
  virtual int WriteSetting(const model::SettingRow& row, int value) = 0;
  virtual int ReadText(Text which, std::string& text) = 0;
  virtual int WriteUserID(std::string_view text) = 0;
  virtual int ReadNumber(Number which, int& value) = 0;
  // `argument` is the area of kLoadArea and kStoreArea.
  virtual int Run(Command command, int argument) = 0;
};

// The camera through the camera model, which keeps its cache and its
// notifications coherent with what the map does. `model` is used from the
// calling thread only and outlives this object.
//
// A camera that stops answering takes the model off-line; `reconnect` (the
// host's connect operation, e.g. opening the COM port) is then tried before an
// access, at most once per `retryGap`, so that a camera that answers again
// is taken back without a restart. Until it answers, accesses fail at once
// with -5.
class ModelCamera : public Camera {
 public:
  explicit ModelCamera(CVexCamInterface& model, std::function<int()> reconnect = {},
                       std::chrono::milliseconds retryGap = std::chrono::milliseconds(1000));

  int ReadSetting(const model::SettingRow& row, int& value) override;
  int WriteSetting(const model::SettingRow& row, int value) override;
  int ReadText(Text which, std::string& text) override;
  int WriteUserID(std::string_view text) override;
  int ReadNumber(Number which, int& value) override;
  int Run(Command command, int argument) override;

  // Whether the model is connected now; Reconnect() tries now (whatever the
  // gap) and gives the connect operation's result (0: connected).
  bool Online() const;
  int Reconnect();

 private:
  // 0 when connected (reconnecting if due), else -5.
  int Ready();

  CVexCamInterface& model_;
  std::function<int()> reconnect_;
  std::chrono::milliseconds retryGap_;
  std::chrono::steady_clock::time_point lastTry_{};
};

}  // namespace vexq4::genicam
