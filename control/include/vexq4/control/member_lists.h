// The control's range and list queries that belong to no camera setting
// (those of the settings come from the model's description, settings.h):
// each list declares the typed C++ members and fills the rows of the member
// table, so a member's DISPID, name and rule are written once.
#pragma once

// X(DISPID, Name, min, max): GetMinMax<Name>(pMin, pMax) with fixed bounds.
#define VEXQ4_MINMAX_METHODS(X) \
  X(52, ComPortId, 1, 16)       \
  X(74, UserSettingsId, 1, 3)   \
  X(75, PowerOnSettings, 1, 3)  \
  X(106, OnePushResult, 0, static_cast<int>(vexq4::model::kOnePushResultList.size()) - 1)

// X(DISPID, Name, index parameter, text parameter, list):
// GetValid<Name>(index, text) gives the list's entry.
#define VEXQ4_VALID_METHODS(X) \
  X(107, OnePushResult, OnePushResultIndex, pOnePushResultStr, kOnePushResultList)
