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

}  // namespace

std::span<const SettingRow> Settings() { return kSettings; }

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
