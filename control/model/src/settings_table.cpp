// The tables of settings.h: one row per setting and one per notification,
// both made from the one list of VEXQ4_MODEL_NOTIFICATIONS.
#include <algorithm>
#include <array>

#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::model {
namespace {

using M = CVexCamInterface;

// What a row's kind says: a list setting takes its list's indices, which
// the model itself checks; the control checks a ranged one's range.
enum class Kind { kList, kRanged, kPlain };
constexpr SettingRow Finish(Kind kind, SettingRow row) {
  if (kind == Kind::kRanged) row.checked = true;
  if (kind == Kind::kList) {
    row.min = 0;
    row.max = static_cast<int>(row.list.size()) - 1;
    row.checkMax = row.max;
  }
  return row;
}

#define VEXQ4_LIST_ROW(Notification, Property, TextProperty, Methods, Code, ...) \
  Finish(Kind::kList, SettingRow{.property = #Property,                          \
                                 .textProperty = #TextProperty,                  \
                                 .event = #Notification,                         \
                                 .methods = #Methods,                            \
                                 .code = Code,                                   \
                                 .mnemonic = #Code,                              \
                                 .notification = &M::Notification,               \
                                 __VA_ARGS__}),
#define VEXQ4_RANGED_ROW(Notification, Property, Code, ...)          \
  Finish(Kind::kRanged, SettingRow{.property = #Property,            \
                                   .event = #Notification,           \
                                   .methods = #Property,             \
                                   .code = Code,                     \
                                   .mnemonic = #Code,                \
                                   .notification = &M::Notification, \
                                   __VA_ARGS__}),
#define VEXQ4_PLAIN_ROW(Notification, Property, Code, ...)          \
  Finish(Kind::kPlain, SettingRow{.property = #Property,            \
                                  .event = #Notification,           \
                                  .code = Code,                     \
                                  .mnemonic = #Code,                \
                                  .notification = &M::Notification, \
                                  __VA_ARGS__}),
constexpr std::array kSettings = [] {
  std::array rows = {VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_SKIP, VEXQ4_LIST_ROW,
                                               VEXQ4_RANGED_ROW, VEXQ4_PLAIN_ROW)};
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i].index = i;
  return rows;
}();
#undef VEXQ4_LIST_ROW
#undef VEXQ4_RANGED_ROW
#undef VEXQ4_PLAIN_ROW

constexpr const SettingRow* ByEvent(std::string_view event) {
  for (const SettingRow& row : kSettings)
    if (row.event == event) return &row;
  return nullptr;
}

constexpr NotificationRow OfSetting(const SettingRow* row) {
  return {.name = row->event,
          .eventDispid = row->eventDispid,
          .windows = WindowBit(row->window),
          .setting = row};
}

}  // namespace

// The rows of the status flags and events name the model's own fields.
struct NotificationTable {
  static constexpr std::array<NotificationRow, kNotificationCount> Build() {
#define VEXQ4_STATUS_ROW(Notification, ...) \
  NotificationRow{.name = #Notification, __VA_ARGS__, .takesState = true},
#define VEXQ4_EVENT_ROW(Notification, ...) NotificationRow{.name = #Notification, __VA_ARGS__},
#define VEXQ4_SETTING_ROW(Notification, ...) OfSetting(ByEvent(#Notification)),
    return {VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_STATUS_ROW, VEXQ4_EVENT_ROW, VEXQ4_SETTING_ROW,
                                      VEXQ4_SETTING_ROW, VEXQ4_SETTING_ROW)};
#undef VEXQ4_STATUS_ROW
#undef VEXQ4_EVENT_ROW
#undef VEXQ4_SETTING_ROW
  }
};

namespace {

constexpr std::array kNotifications = NotificationTable::Build();

template <class Rows, class Key>
constexpr bool Unique(const Rows& rows, Key key) {
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = i + 1; j < rows.size(); ++j)
      if (key(rows[i]) != 0 && key(rows[i]) == key(rows[j])) return false;
  return true;
}

static_assert(kSettings.size() == kSettingCount);
static_assert(Unique(kSettings, [](const SettingRow& r) { return r.code + 1; }));
static_assert(Unique(kSettings, [](const SettingRow& r) { return r.dispid; }));
static_assert(Unique(kSettings, [](const SettingRow& r) { return r.textDispid; }));
static_assert(Unique(kSettings, [](const SettingRow& r) { return r.minMaxDispid; }));
static_assert(Unique(kNotifications, [](const NotificationRow& r) { return r.eventDispid; }));
static_assert(std::all_of(kSettings.begin(), kSettings.end(), [](const SettingRow& row) {
  // Every setting shows in a window, and the report shows every setting
  // the settings file holds.
  return row.window != Window::kNone && row.reportLabel.empty() == row.key.empty() &&
         row.dispid != 0 && row.eventDispid != 0;
}));

// ---- The white balance rule and the transfer orders, checked here.

constexpr const SettingRow* ByMnemonic(std::string_view mnemonic) {
  for (const SettingRow& row : kSettings)
    if (row.mnemonic == mnemonic) return &row;
  return nullptr;
}

template <class Names>
constexpr bool AllNameRows(const Names& names) {
  return std::all_of(names.begin(), names.end(),
                     [](std::string_view name) { return ByMnemonic(name) != nullptr; });
}

constexpr bool InRule(const SettingRow& row) {
  return std::any_of(
      kWhiteBalanceGains.begin(), kWhiteBalanceGains.end(),
      [&](const GainMnemonics& g) { return g.red == row.mnemonic || g.blue == row.mnemonic; });
}

constexpr bool InTransferOrder(const SettingRow& row) {
  return std::find(kTransferOrder.begin(), kTransferOrder.end(), row.mnemonic) !=
         kTransferOrder.end();
}

// The gains of the manual mode are the gain keys themselves.
constexpr GainMnemonics kGainKeys = kWhiteBalanceGains[kManualWhiteBalance];
static_assert(kGainKeys.red == "GAR" && kGainKeys.blue == "GAB");
static_assert(kWhiteBalanceGains[kContinuousWhiteBalance].red.empty());

static_assert(std::all_of(kWhiteBalanceGains.begin(), kWhiteBalanceGains.end(),
                          [](const GainMnemonics& g) {
                            return g.red.empty() == g.blue.empty() &&
                                   (g.red.empty() || (ByMnemonic(g.red) && ByMnemonic(g.blue)));
                          }),
              "a white balance mode's gains are both rows, or neither");
static_assert(AllNameRows(kTransferOrder), "kTransferOrder names a setting that is no row");
static_assert(
    [] {
      for (std::size_t i = 0; i < kTransferOrder.size(); ++i)
        for (std::size_t j = i + 1; j < kTransferOrder.size(); ++j)
          if (kTransferOrder[i] == kTransferOrder[j]) return false;
      return true;
    }(),
    "kTransferOrder names a setting twice");
static_assert(std::all_of(kSettings.begin(), kSettings.end(),
                          [](const SettingRow& row) {
                            // The presets are in no order: the gains stand for them.
                            const bool preset = InRule(row) && row.mnemonic != kGainKeys.red &&
                                                row.mnemonic != kGainKeys.blue;
                            return InTransferOrder(row) != preset;
                          }),
              "a setting is missing from kTransferOrder (settings.h), or a white balance preset "
              "is in it");
static_assert(std::all_of(kTransferOrder.begin(), kTransferOrder.end(),
                          [](std::string_view name) {
                            const SettingRow* row = ByMnemonic(name);
                            return row && row->inFile() && !row->reportLabel.empty();
                          }),
              "a setting of kTransferOrder has no settings file key or report label");
static_assert(AllNameRows(kNotWrittenByWriteAll));

// kTransferOrder without `leftOut`, the moves made one after the other.
template <std::size_t N>
constexpr std::array<const SettingRow*, N> Derive(std::span<const std::string_view> leftOut,
                                                  std::span<const TransferMove> moves) {
  std::array<std::string_view, kTransferOrder.size()> names{};
  std::size_t size = 0;
  for (std::string_view name : kTransferOrder)
    if (std::find(leftOut.begin(), leftOut.end(), name) == leftOut.end()) names[size++] = name;
  for (const TransferMove& move : moves) {
    const auto end = names.begin() + size;
    const auto from = std::find(names.begin(), end, move.setting);
    if (from == end) throw "a moved setting is not in the order";
    std::rotate(from, from + 1, end);  // to the end
    if (!move.after.empty()) {
      const auto after = std::find(names.begin(), end - 1, move.after);
      if (after == end - 1) throw "a move names a setting after which that is not in the order";
      std::rotate(after + 1, end - 1, end);
    }
  }
  if (size != N) throw "the derived order has another length";
  std::array<const SettingRow*, N> rows{};
  for (std::size_t i = 0; i < N; ++i) rows[i] = ByMnemonic(names[i]);
  return rows;
}

template <std::size_t N, std::size_t M>
constexpr std::array<TransferMove, N + M> Joined(const std::array<TransferMove, N>& a,
                                                 const std::array<TransferMove, M>& b) {
  std::array<TransferMove, N + M> all{};
  std::copy(a.begin(), a.end(), all.begin());
  std::copy(b.begin(), b.end(), all.begin() + N);
  return all;
}

constexpr std::size_t kOrderSize = kTransferOrder.size();
constexpr auto kTransferRows = Derive<kOrderSize>({}, {});
constexpr auto kWriteAllRows =
    Derive<kOrderSize - kNotWrittenByWriteAll.size()>(kNotWrittenByWriteAll, kModeAfterGains);
constexpr auto kOfflineRefreshRows = Derive<kOrderSize>({}, kModeAfterGains);
constexpr auto kReportRows = Derive<kOrderSize>({}, kReportRowMoves);
constexpr auto kReportReadRows = Derive<kOrderSize>({}, Joined(kReportRowMoves, kReportReadMoves));

}  // namespace

std::span<const SettingRow> Settings() { return kSettings; }

WhiteBalanceGains WhiteBalanceGainRows(int mode) {
  if (mode < 0 || static_cast<std::size_t>(mode) >= kWhiteBalanceGains.size()) return {};
  const GainMnemonics& gains = kWhiteBalanceGains[static_cast<std::size_t>(mode)];
  if (gains.red.empty()) return {};
  return {.red = ByMnemonic(gains.red), .blue = ByMnemonic(gains.blue)};
}

const SettingRow* GainStoodFor(const SettingRow& row) {
  for (const GainMnemonics& gains : kWhiteBalanceGains) {
    if (!gains.red.empty() && gains.red == row.mnemonic) return ByMnemonic(kGainKeys.red);
    if (!gains.blue.empty() && gains.blue == row.mnemonic) return ByMnemonic(kGainKeys.blue);
  }
  return nullptr;
}

const SettingRow* WhiteBalanceRegister(const SettingRow& row, int mode) {
  const SettingRow* gain = GainStoodFor(row);
  if (gain != &row) return &row;  // no gain key
  const WhiteBalanceGains gains = WhiteBalanceGainRows(mode);
  return row.mnemonic == kGainKeys.red ? gains.red : gains.blue;
}

std::span<const SettingRow* const> TransferOrder(Transfer transfer) {
  switch (transfer) {
    case Transfer::kReadAll:
    case Transfer::kSettingsFile:
      return kTransferRows;
    case Transfer::kWriteAll:
      return kWriteAllRows;
    case Transfer::kOfflineRefresh:
      return kOfflineRefreshRows;
    case Transfer::kReportRows:
      return kReportRows;
    case Transfer::kReportReads:
      return kReportReadRows;
  }
  return {};
}

const SettingRow* FindSetting(std::string_view name) {
  auto it = std::find_if(kSettings.begin(), kSettings.end(), [&](const SettingRow& row) {
    return row.property == name || row.mnemonic == name ||
           (!row.textProperty.empty() && row.textProperty == name);
  });
  return it == kSettings.end() ? nullptr : &*it;
}

const SettingRow* FindSettingByCode(unsigned code) {
  auto it = std::find_if(kSettings.begin(), kSettings.end(),
                         [&](const SettingRow& row) { return row.code == code; });
  return it == kSettings.end() ? nullptr : &*it;
}

std::span<const NotificationRow> Notifications() { return kNotifications; }

const NotificationRow* FindNotification(std::string_view name) {
  auto it = std::find_if(kNotifications.begin(), kNotifications.end(),
                         [&](const NotificationRow& row) { return row.name == name; });
  return it == kNotifications.end() ? nullptr : &*it;
}

}  // namespace vexq4::model
