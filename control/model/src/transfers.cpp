// Whole-camera transfers, identity, and the white balance operations.
#include <algorithm>
#include <array>
#include <cstring>

#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/model/settings_compare.h"

using vexq4::model::Direction;

namespace {

using vexq4::model::SettingRow;
using vexq4::model::Transfer;
using vexq4::model::TransferOrder;
using vexq4::model::WhiteBalanceRegister;

// UD, MD, ID and EA follow the settings.
constexpr int kIdentitySteps = 4;

// Camera exchanges of a read-all while the white balance is `mode`.
int ReadAllExchanges(int mode) {
  const auto order = TransferOrder(Transfer::kReadAll);
  return static_cast<int>(std::count_if(
             order.begin(), order.end(),
             [&](const SettingRow* row) { return WhiteBalanceRegister(*row, mode) != nullptr; })) +
         kIdentitySteps;
}

}  // namespace

int CVexCamInterface::WhiteBalanceMode() const {
  return Value(*vexq4::model::FindSettingByCode(WB));
}

int CVexCamInterface::ReadAllFromCamera() { return ReadAll("ReadAllFromCamera", 0, 0); }

int CVexCamInterface::ReadAll(std::string_view operation, int firstStep, int extraSteps) {
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  // The total follows the white balance mode once WB has been read.
  auto total = [&] { return firstStep + extraSteps + ReadAllExchanges(WhiteBalanceMode()); };
  int step = firstStep;
  int failure = VEXQ4_OK;
  bool stopped = false;
  auto run = [&](auto&& exchange) {
    stopped = stopped || !ReportProgress(operation, step++, total());
    if (stopped) return;
    const int result = exchange();
    if (result != VEXQ4_OK) failure = result;
  };
  for (const SettingRow* row : TransferOrder(Transfer::kReadAll)) {
    // The gains of the mode just read (or kept, if the WB query failed).
    if (const SettingRow* read = WhiteBalanceRegister(*row, WhiteBalanceMode()))
      run([&] { return Query(*read); });
  }
  run([&] { return GetUserID(); });
  std::array<char, VEXQ4_MODEL_NAME_SIZE> scratch{};
  run([&] { return GetModelName(scratch.data()); });
  run([&] { return GetCameraID(scratch.data()); });
  if (stopped || !ReportProgress(operation, step++, total())) return kStopped;
  const int area = GetEEPROMCurrentAreaNo();
  ReportProgress(operation, total(), total());
  if (area != VEXQ4_OK) return area;
  if (failure != VEXQ4_OK) return failure;
  NotifySynchronized(1);
  return VEXQ4_OK;
}

int CVexCamInterface::WriteAllToCamera() {
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  constexpr std::string_view kOperation = "WriteAllToCamera";
  const auto order = TransferOrder(Transfer::kWriteAll);
  const int total = static_cast<int>(order.size()) + 1;
  int step = 0;
  int failure = VEXQ4_OK;
  for (const SettingRow* row : order) {
    if (!ReportProgress(kOperation, step++, total)) return StoppedUnsynchronized();
    const int result = SetSetting(*row, Value(*row));
    if (result != VEXQ4_OK) failure = result;
  }
  if (!ReportProgress(kOperation, step++, total)) return StoppedUnsynchronized();
  const std::string user = userID;
  const int userResult = SetUserID(user);
  ReportProgress(kOperation, total, total);
  if (userResult != VEXQ4_OK) return userResult;
  if (failure != VEXQ4_OK) return failure;
  NotifySynchronized(1);
  return VEXQ4_OK;
}

int CVexCamInterface::LoadSettings(int area) {
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  if (!ReportProgress("LoadSettings", 0, 1 + ReadAllExchanges(WhiteBalanceMode()))) return kStopped;
  const int result = VexQ4SendCameraData(comPort, LD, area);
  ReportCommand(Direction::kCommand, "LD", area, {}, result);
  if (result != VEXQ4_OK) {
    CheckConnection();
    ReportProgress("LoadSettings", 1, 1);
    return result;
  }
  const int read = ReadAll("LoadSettings", 1, 0);
  // The camera holds the area now, the cache only part of it.
  return read != VEXQ4_OK && StopRequested() ? StoppedUnsynchronized() : read;
}

int CVexCamInterface::StoppedUnsynchronized() {
  if (isSynchronized != 0) NotifySynchronized(0);
  return kStopped;
}

int CVexCamInterface::GetText(int (*read)(int, char*), std::string_view mnemonic,
                              std::span<char> out, std::string CVexCamInterface::*field,
                              void (CVexCamInterface::*notification)()) {
  // Larger than any of the library's value buffers (10 and 20 bytes).
  std::array<char, VEXQ4_USER_ID_SIZE + 1> scratch{};
  NotifyReceiving(1);
  const int result = read(comPort, scratch.data());
  NotifyReceiving(0);
  const std::string text(scratch.data(), strnlen(scratch.data(), scratch.size()));
  ReportCommand(Direction::kQuery, mnemonic, NoValue, text, result);
  if (result == VEXQ4_OK) {
    if (!out.empty()) {
      const std::size_t n = std::min(text.size(), out.size() - 1);
      std::memcpy(out.data(), text.data(), n);
      out[n] = '\0';
    }
    this->*field = text;
    Notify(notification);
  } else {
    CheckConnection();
  }
  return result;
}

int CVexCamInterface::GetCameraID(char* out) {
  return GetCameraID(out ? std::span<char>(out, VEXQ4_CAMERA_ID_SIZE) : std::span<char>{});
}

int CVexCamInterface::GetModelName(char* out) {
  return GetModelName(out ? std::span<char>(out, VEXQ4_MODEL_NAME_SIZE) : std::span<char>{});
}

int CVexCamInterface::GetCameraID(std::span<char> out) {
  return GetText(VexQ4GetCameraID, "ID", out, &CVexCamInterface::cameraID,
                 &CVexCamInterface::CameraIDChanged);
}

int CVexCamInterface::GetModelName(std::span<char> out) {
  return GetText(VexQ4GetModelName, "MD", out, &CVexCamInterface::modelName,
                 &CVexCamInterface::ModelNameChanged);
}

int CVexCamInterface::GetUserID() {
  return GetText(VexQ4GetUserID, "UD", {}, &CVexCamInterface::userID,
                 &CVexCamInterface::UserIDChanged);
}

int CVexCamInterface::SetUserID(const char* text) {
  return SetUserID(text ? std::string_view(text) : std::string_view{});
}

int CVexCamInterface::SetUserID(std::string_view text) {
  userID = std::string(text);
  Notify(&CVexCamInterface::UserIDChanged);
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  int result = VEXQ4_OK;
  if (userID.find('\0') != std::string::npos)
    result = VEXQ4_E_ARGUMENT;  // would reach the camera cut at the NUL
  else if (!userID.empty())
    result = VexQ4SetUserID(comPort, userID.c_str());
  ReportCommand(Direction::kCommand, "UD", NoValue, userID, result);
  if (result != VEXQ4_OK) CheckConnection();
  return result;
}

int CVexCamInterface::GetFirmwareVersion() {
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  int value = 0;
  const int result = VexQ4GetCameraData(comPort, VN, &value);
  ReportCommand(Direction::kQuery, "VN", value, {}, result);
  if (result == VEXQ4_OK)
    firmwareVersion = value;
  else
    CheckConnection();
  return result;
}

int CVexCamInterface::GetEEPROMCurrentAreaNo() {
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  int value = 0;
  const int result = VexQ4GetCameraData(comPort, EA, &value);
  ReportCommand(Direction::kQuery, "EA", value, {}, result);
  if (result == VEXQ4_OK) {
    eepromCurrentAreaNo = value;
    Notify(&CVexCamInterface::EEPROMCurrentAreaNoChanged);
  } else {
    CheckConnection();
  }
  return result;
}

int CVexCamInterface::SetWhiteBalanceMode(int mode) {
  const bool online = isOnline != 0;
  // The row's check refuses a mode beyond the list.
  const int result = Command(*vexq4::model::FindSettingByCode(WB), mode);
  if (!online) return result;
  // Whatever the command did, show what the new mode now uses.
  if (mode == vexq4::model::kManualWhiteBalance) QueryByCode(WA);
  if (const auto gains = vexq4::model::WhiteBalanceGainRows(mode)) {
    Query(*gains.red);
    Query(*gains.blue);
  }
  return result;
}

int CVexCamInterface::SetOnePushMode() {
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  const int result = VexQ4SendCameraData(comPort, AW, 0);
  ReportCommand(Direction::kCommand, "AW", 0, {}, result);
  if (result != VEXQ4_OK) CheckConnection();
  return result;
}

int CVexCamInterface::GetOnePushResult() {
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  int value = 0;
  int result = VexQ4GetCameraData(comPort, AWRS, &value);
  // The Gain window shows the result as a list text.
  if (result == VEXQ4_OK && static_cast<unsigned>(value) >= vexq4::model::kOnePushResultList.size())
    result = VEXQ4_E_MALFORMED;
  ReportCommand(Direction::kQuery, "AWRS", value, {}, result);
  if (result == VEXQ4_OK) {
    onePushResult = value;
    Notify(&CVexCamInterface::OnePushResultChanged);
  } else {
    CheckConnection();
  }
  GetRedGainLevel();
  GetBlueGainLevel();
  return result;
}
