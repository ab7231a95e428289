#include <array>

#include "vexq4/genicam/camera.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::genicam {
namespace {
constexpr int kNoConnection = -5;
}

ModelCamera::ModelCamera(CVexCamInterface& model, std::function<int()> reconnect,
                         std::chrono::milliseconds retryGap)
    : model_(model), reconnect_(std::move(reconnect)), retryGap_(retryGap) {}

bool ModelCamera::Online() const { return model_.IsOnline() != 0; }

int ModelCamera::Reconnect() {
  lastTry_ = std::chrono::steady_clock::now();
  if (!reconnect_) return kNoConnection;
  return reconnect_();
}

int ModelCamera::Ready() {
  if (Online()) return 0;
  if (reconnect_ && std::chrono::steady_clock::now() - lastTry_ >= retryGap_) Reconnect();
  return Online() ? 0 : kNoConnection;
}

int ModelCamera::ReadSetting(const model::SettingRow& row, int& value) {
  if (const int ready = Ready(); ready != 0) return ready;
  const int result = model_.GetSetting(row);
  if (result == 0) value = model_.Value(row);
  return result;
}

int ModelCamera::WriteSetting(const model::SettingRow& row, int value) {
  if (const int ready = Ready(); ready != 0) return ready;
  return model_.SetSetting(row, value);
}

int ModelCamera::ReadText(Text which, std::string& text) {
  if (const int ready = Ready(); ready != 0) return ready;
  int result = 0;
  switch (which) {
    case Text::kModelName:
      result = model_.GetModelName(std::span<char>{});
      if (result == 0) text = model_.ModelName();
      break;
    case Text::kCameraID:
      result = model_.GetCameraID(std::span<char>{});
      if (result == 0) text = model_.CameraID();
      break;
    case Text::kUserID:
      result = model_.GetUserID();
      if (result == 0) text = model_.UserID();
      break;
    case Text::kFirmwareVersion:
      result = model_.GetFirmwareVersion();
      if (result == 0) text = std::to_string(model_.FirmwareVersion());
      break;
  }
  return result;
}

int ModelCamera::WriteUserID(std::string_view text) {
  if (const int ready = Ready(); ready != 0) return ready;
  return model_.SetUserID(text);
}

int ModelCamera::ReadNumber(Number which, int& value) {
  if (const int ready = Ready(); ready != 0) return ready;
  int result = 0;
  if (which == Number::kCurrentArea) {
    result = model_.GetEEPROMCurrentAreaNo();
    if (result == 0) value = model_.EEPROMCurrentAreaNo();
  } else {
    result = model_.GetOnePushResult();
    if (result == 0) value = model_.OnePushResult();
  }
  return result;
}

int ModelCamera::Run(Command command, int argument) {
  if (const int ready = Ready(); ready != 0) return ready;
  switch (command) {
    case Command::kLoadArea:
      return model_.LoadSettings(argument);
    case Command::kStoreArea:
      return model_.StoreSettings(argument);
    case Command::kOnePushWhiteBalance:
      return model_.SetOnePushMode();
    case Command::kAutoShading:
      return model_.StartAutoShadingCorrection();
  }
  return -1;
}

}  // namespace vexq4::genicam
