// The model's core: construction, notifications, the probe, message lines
// and the two shapes every single-setting get and set take.
#include <utility>

#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"

using vexq4::model::Direction;
using vexq4::model::SettingRow;

namespace {

const SettingRow& RowOf(unsigned code) {
  // Every caller passes a code of the table; a miss is a programming error
  // caught by the tests, so fall back to the first row rather than crash.
  const SettingRow* row = vexq4::model::FindSettingByCode(code);
  return row ? *row : vexq4::model::Settings().front();
}

const std::string kNoText;

}  // namespace

CVexCamInterface::CVexCamInterface() {
  for (const SettingRow& row : vexq4::model::Settings()) {
    values_[row.index] = row.initial;
    if (row.isList())
      texts_[row.index] = std::string(row.list[static_cast<std::size_t>(row.initial)]);
  }
}

CVexCamInterface::~CVexCamInterface() {
  // From here on only the model's own behaviour runs: the derived control
  // is already gone, its overrides must not be reached.
  ownBehaviourOnly_ = true;
  CloseConnection();
}

// ---- Notifications: the model's own behaviour.
// The four status notifications store their flag; the others do nothing.
void CVexCamInterface::OnlineStatusChanged(int) {}
void CVexCamInterface::SynchronizedStatusChanged(int synchronized) {
  isSynchronized = synchronized;
}
void CVexCamInterface::SendingToCamStatusChanged(int sending) { isSending = sending; }
void CVexCamInterface::ReceiveFromCamStatusChanged(int receiving) { isReceiving = receiving; }
#define VEXQ4_NOTHING_TO_DO(Name, ...) \
  void CVexCamInterface::Name() {}
VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_NOTHING_TO_DO, VEXQ4_NOTHING_TO_DO, VEXQ4_NOTHING_TO_DO,
                          VEXQ4_NOTHING_TO_DO)
#undef VEXQ4_NOTHING_TO_DO
void CVexCamInterface::CommandMessage(std::string) {}

// ---- Dispatch: every notification of the model goes through these.
void CVexCamInterface::Notify(void (CVexCamInterface::*notification)()) {
  // The parameter notifications have no behaviour of the model's own.
  if (!ownBehaviourOnly_) (this->*notification)();
}
void CVexCamInterface::NotifyOnline(int online) {
  if (!ownBehaviourOnly_) OnlineStatusChanged(online);
}
void CVexCamInterface::NotifySynchronized(int synchronized) {
  if (ownBehaviourOnly_)
    CVexCamInterface::SynchronizedStatusChanged(synchronized);
  else
    SynchronizedStatusChanged(synchronized);
}
void CVexCamInterface::NotifySending(int sending) {
  if (ownBehaviourOnly_)
    CVexCamInterface::SendingToCamStatusChanged(sending);
  else
    SendingToCamStatusChanged(sending);
}
void CVexCamInterface::NotifyReceiving(int receiving) {
  if (ownBehaviourOnly_)
    CVexCamInterface::ReceiveFromCamStatusChanged(receiving);
  else
    ReceiveFromCamStatusChanged(receiving);
}
void CVexCamInterface::NotifyMessage(std::string line) {
  if (!ownBehaviourOnly_) CommandMessage(std::move(line));
}

// ---- Building blocks.
int CVexCamInterface::CheckConnection() {
  NotifySending(1);
  int ignored = 0;
  const int result = VexQ4GetCameraData(comPort, SH, &ignored);
  NotifySending(0);
  if (result != VEXQ4_OK) CloseConnection();
  return result;
}

int CVexCamInterface::CloseConnection() {
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  const int connected = connectedPort_;
  const int result = VexQ4ExitComm(connected >= 0 ? connected : comPort);
  if (result != VEXQ4_OK) return result;
  connectedPort_ = -1;
  isOnline = 0;
  isSynchronized = 0;
  NotifySynchronized(0);
  NotifyOnline(0);
  return VEXQ4_OK;
}

std::string_view CVexCamInterface::StatusText(int result) {
  return vexq4::model::Describe(vexq4::model::LibraryStatus(result)).line;
}

std::string CVexCamInterface::MessageLine(Direction direction, std::string_view mnemonic,
                                          int number, std::string_view value, int result) {
  std::string shown(value);
  if (shown.empty() && number != NoValue) shown = std::to_string(number);
  std::string line(mnemonic);
  if (direction == Direction::kQuery) {
    line += "?\r\n";
    if (result != VEXQ4_OK) {
      line += StatusText(result);
    } else {
      line += mnemonic;
      line += '=';
      line += shown;
    }
  } else {
    line += '=';
    line += shown;
    line += "\r\n";
    line += StatusText(result);
  }
  line += "\r\n";
  return line;
}

void CVexCamInterface::ReportCommand(Direction direction, std::string_view mnemonic, int number,
                                     std::string_view value, int result) {
  NotifyMessage(MessageLine(direction, mnemonic, number, value, result));
}

void CVexCamInterface::SetProgressHandler(
    std::function<void(const vexq4::model::ProgressStep&)> handler) {
  progress_ = std::move(handler);
}

bool CVexCamInterface::ReportProgress(std::string_view operation, int step, int total) {
  if (StopRequested()) return false;
  if (progress_) progress_(vexq4::model::ProgressStep{operation, step, total});
  return !StopRequested();  // the handler may have asked for it
}

void CVexCamInterface::RequestStop() noexcept {
  stopRequested_.store(true, std::memory_order_relaxed);
  // The one exchange that takes seconds, the shading frame, ends at once.
  if (const int port = connectedPort_; port >= 0) VexQ4StopShadingTransfer(port, 1);
}
void CVexCamInterface::ClearStop() noexcept {
  stopRequested_.store(false, std::memory_order_relaxed);
  if (const int port = connectedPort_; port >= 0) VexQ4StopShadingTransfer(port, 0);
}
bool CVexCamInterface::StopRequested() const noexcept {
  return stopRequested_.load(std::memory_order_relaxed);
}

// ---- The query and command shapes.
int CVexCamInterface::Query(const SettingRow& row) {
  if (!row.quietReceive) NotifyReceiving(1);
  int value = 0;
  int result = VexQ4GetCameraData(comPort, row.code, &value);
  if (!row.quietReceive) NotifyReceiving(0);
  // The camera sends only list positions; anything else is a garbled
  // answer, and indexing the list with it would read past its end.
  if (result == VEXQ4_OK && !row.list.empty() && static_cast<unsigned>(value) >= row.list.size())
    result = VEXQ4_E_MALFORMED;
  ReportCommand(Direction::kQuery, row.mnemonic, value, {}, result);
  if (result == VEXQ4_OK) {
    Store(row, value);
    Notify(row.notification);
  } else {
    CheckConnection();
  }
  return result;
}

int CVexCamInterface::Command(const SettingRow& row, int value) {
  if (row.checkMax >= 0 && static_cast<unsigned>(value) > static_cast<unsigned>(row.checkMax))
    return VEXQ4_E_ARGUMENT;
  // A list row always has a check that keeps the index in its list.
  Store(row, value);
  Notify(row.notification);
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  const int result = VexQ4SendCameraData(comPort, row.code, value);
  ReportCommand(Direction::kCommand, row.mnemonic, value, {}, result);
  if (result != VEXQ4_OK) {
    if (row.closeOnFailedSet)
      CloseConnection();
    else
      CheckConnection();
  }
  return result;
}

int CVexCamInterface::QueryByCode(unsigned code) { return Query(RowOf(code)); }

int CVexCamInterface::GetSetting(const SettingRow& row) { return Query(row); }

int CVexCamInterface::SetSetting(const SettingRow& row, int value) {
  if (row.code == WB) return SetWhiteBalanceMode(value);
  return Command(row, value);
}

void CVexCamInterface::Store(const SettingRow& row, int value) {
  values_[row.index] = value;
  if (row.isList()) texts_[row.index] = std::string(row.list[static_cast<std::size_t>(value)]);
}

// ---- The cached state.
int CVexCamInterface::Value(const SettingRow& row) const { return values_[row.index]; }

const std::string& CVexCamInterface::Text(const SettingRow& row) const { return texts_[row.index]; }

int CVexCamInterface::Value(const vexq4::model::NotificationRow& row) const {
  if (row.setting) return Value(*row.setting);
  return row.number ? this->*row.number : 0;
}

const std::string& CVexCamInterface::Text(const vexq4::model::NotificationRow& row) const {
  if (row.setting) return Text(*row.setting);
  return row.text ? this->*row.text : kNoText;
}

// ---- The settings, one get and one set each.
#define VEXQ4_SETTING_MEMBERS(Notification, Property, ...)       \
  int CVexCamInterface::Get##Property() {                        \
    return GetSetting(*vexq4::model::FindSetting(#Property));    \
  }                                                              \
  int CVexCamInterface::Set##Property(int v) {                   \
    return SetSetting(*vexq4::model::FindSetting(#Property), v); \
  }
VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_SKIP, VEXQ4_SETTING_MEMBERS, VEXQ4_SETTING_MEMBERS,
                          VEXQ4_SETTING_MEMBERS)
#undef VEXQ4_SETTING_MEMBERS

int CVexCamInterface::StoreSettings(int area) {
  if (isOnline == 0) return VEXQ4_E_NO_CONNECTION;
  const int result = VexQ4SendCameraData(comPort, SA, area);
  ReportCommand(Direction::kCommand, "SA", area, {}, result);
  if (result != VEXQ4_OK) CheckConnection();
  return result;
}
