// What the control's automation members share: raising an automation
// error from the string table, and the library's numbers and texts as the
// members give them.
#pragma once

#include <QString>
#include <cstdint>

#include "vexq4/control/automation.h"

namespace vexq4::control::members {

[[noreturn]] inline void Raise(std::uint32_t scode, int id) {
  throw AutomationError::FromId(scode, id);
}

// Out-parameters the host must supply.
template <class... T>
void RequirePresent(T*... pointers) {
  const bool missing = ((pointers == nullptr) || ...);
  if (missing) Raise(kInvalidPropertyValue, kIdsInvalidNull);
}

inline QString FromBuffer(const char* text) { return QString::fromLatin1(text); }

inline short Short(int value) { return static_cast<short>(value); }

}  // namespace vexq4::control::members
