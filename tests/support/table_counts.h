// Counts the tests expect, derived from the settings table, so that a new
// row moves them with it instead of failing tests that catch no fault.
#pragma once

#include <algorithm>
#include <cstddef>

#include "vexq4/model/settings.h"

namespace vexq4::testing {

template <class Rows, class Pred>
std::size_t CountRows(const Rows& rows, Pred pred) {
  return static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), pred));
}

inline std::size_t ListSettingCount() {
  return CountRows(model::Settings(), [](const model::SettingRow& r) { return r.isList(); });
}

// The automation properties the model holds: every setting (a list
// setting by its index and by its text) and the model's own (ComPort,
// FrameGrabberIndex, UserID).
inline std::size_t ModelPropertyCount() {
  return model::kSettingCount + ListSettingCount() +
         CountRows(model::Notifications(),
                   [](const model::NotificationRow& n) { return !n.property.empty(); });
}

// The control's range queries (GetMinMax<methods>) and list queries
// (GetValid<methods>) of the settings.
inline std::size_t RangeQueryCount() {
  return CountRows(model::Settings(), [](const model::SettingRow& r) { return r.minMaxDispid; });
}
inline std::size_t ListQueryCount() {
  return CountRows(model::Settings(), [](const model::SettingRow& r) { return r.validDispid; });
}

// The notifications the control fires as events.
inline std::size_t EventCount() {
  return CountRows(model::Notifications(),
                   [](const model::NotificationRow& n) { return n.eventDispid != 0; });
}

// A read-all's camera exchanges while the white balance is `mode`: the
// settings (the gains as the mode has them) and the four identity reads.
inline std::size_t ReadAllExchanges(int mode) {
  const auto order = model::TransferOrder(model::Transfer::kReadAll);
  return CountRows(order,
                   [&](const model::SettingRow* r) {
                     return model::WhiteBalanceRegister(*r, mode) != nullptr;
                   }) +
         4;
}

}  // namespace vexq4::testing
