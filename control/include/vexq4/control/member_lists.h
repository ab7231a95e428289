// The regular families of the control's automation members as lists: each
// list declares the typed C++ members and fills the rows of the member
// table, so a member's DISPID, name and rule are written once.
//
// kNoMin, kNoMax (automation.h) mark a numeric property whose setter makes
// no check of its own (the model applies its rules).
#pragma once

// X(DISPID, Name, min, max): short properties backed by the model's
// settings table; the setter checks min..max, then calls the model.
#define VEXQ4_NUMERIC_PROPERTIES(X)                                          \
  X(6, ShutterSpeedIndex, 0, 11)                                             \
  X(8, TriggerTypeIndex, 0, 4)                                               \
  X(10, TriggerPolarity, vexq4::control::kNoMin, vexq4::control::kNoMax)     \
  X(12, MasterGainLevel, -132, 429)                                          \
  X(13, PartialScanIndex, vexq4::control::kNoMin, vexq4::control::kNoMax)    \
  X(14, ShutterMode, vexq4::control::kNoMin, vexq4::control::kNoMax)         \
  X(15, RCTFVALType, vexq4::control::kNoMin, vexq4::control::kNoMax)         \
  X(16, Smearless, vexq4::control::kNoMin, vexq4::control::kNoMax)           \
  X(17, ProgrammableExposure, 0, 791)                                        \
  X(18, ColorBar, vexq4::control::kNoMin, vexq4::control::kNoMax)            \
  X(19, TriggerInput, vexq4::control::kNoMin, vexq4::control::kNoMax)        \
  X(20, Accumulation, vexq4::control::kNoMin, vexq4::control::kNoMax)        \
  X(21, BinningIndex, vexq4::control::kNoMin, vexq4::control::kNoMax)        \
  X(23, OutputBitAllocation, vexq4::control::kNoMin, vexq4::control::kNoMax) \
  X(25, BlueGainLevel, -231, 231)                                            \
  X(26, BlueBlackLevel, 0, 1023)                                             \
  X(27, ProgrammableExposureRed, 0, 791)                                     \
  X(28, ProgrammableExposureGreen, 0, 791)                                   \
  X(29, ProgrammableExposureBlue, 0, 791)                                    \
  X(30, BlueKneePoint, 0, 1023)                                              \
  X(31, RedKneeSlope, 1, 4095)                                               \
  X(32, RedGainLevel, -231, 231)                                             \
  X(33, RedBlackLevel, 0, 1023)                                              \
  X(34, GreenKneePoint, 0, 1023)                                             \
  X(35, RedKneePoint, 0, 1023)                                               \
  X(36, KneeSelect, vexq4::control::kNoMin, vexq4::control::kNoMax)          \
  X(37, WhiteBalanceIndex, vexq4::control::kNoMin, vexq4::control::kNoMax)   \
  X(40, GreenKneeSlope, 1, 4095)                                             \
  X(41, BlueKneeSlope, 1, 4095)                                              \
  X(42, GreenBlackLevel, 0, 1023)                                            \
  X(43, ShadingMode, vexq4::control::kNoMin, vexq4::control::kNoMax)         \
  X(44, AutoWhiteAreaIndex, 0, 9)                                            \
  X(46, Red3200KWBalPreset, -231, 231)                                       \
  X(47, Blue3200KWBalPreset, -231, 231)                                      \
  X(48, Red4600KWBalPreset, -231, 231)                                       \
  X(49, Blue4600KWBalPreset, -231, 231)                                      \
  X(50, Red5600KWBalPreset, -231, 231)                                       \
  X(51, Blue5600KWBalPreset, -231, 231)

// X(DISPID, Name, IndexProperty, list): text properties chosen from a value
// list; the setter looks the text up and sets the index property.
#define VEXQ4_TEXT_PROPERTIES(X)                               \
  X(7, ShutterSpeedStr, ShutterSpeedIndex, kShutterSpeedList)  \
  X(9, TriggerTypeStr, TriggerTypeIndex, kTriggerTypeList)     \
  X(11, PartialScanStr, PartialScanIndex, kPartialScanList)    \
  X(22, BinningStr, BinningIndex, kBinningList)                \
  X(38, WhiteBalanceStr, WhiteBalanceIndex, kWhiteBalanceList) \
  X(45, AutoWhiteAreaStr, AutoWhiteAreaIndex, kAutoWhiteAreaList)

// X(DISPID, Name, min, max): GetMinMax<Name>(pMin, pMax) with fixed bounds.
#define VEXQ4_MINMAX_METHODS(X)            \
  X(52, ComPortId, 1, 16)                  \
  X(64, ShutterSpeed, 0, 11)               \
  X(66, TriggerType, 0, 4)                 \
  X(68, PartialScan, 0, 3)                 \
  X(70, MasterGainLevel, -132, 429)        \
  X(73, ProgrammableExposure, 0, 791)      \
  X(74, UserSettingsId, 1, 3)              \
  X(75, PowerOnSettings, 1, 3)             \
  X(76, Binning, 0, 1)                     \
  X(83, BlueGainLevel, -231, 231)          \
  X(84, BlueBlackLevel, 0, 1023)           \
  X(85, ProgrammableExposureRed, 0, 791)   \
  X(86, ProgrammableExposureGreen, 0, 791) \
  X(87, ProgrammableExposureBlue, 0, 791)  \
  X(88, BlueKneePoint, 0, 1023)            \
  X(89, RedKneeSlope, 1, 4095)             \
  X(90, RedGainLevel, -231, 231)           \
  X(91, RedBlackLevel, 0, 1023)            \
  X(92, GreenKneePoint, 0, 1023)           \
  X(93, RedKneePoint, 0, 1023)             \
  X(94, WhiteBalance, 0, 4)                \
  X(99, GreenKneeSlope, 1, 4095)           \
  X(100, BlueKneeSlope, 1, 4095)           \
  X(104, GreenBlackLevel, 0, 1023)         \
  X(106, OnePushResult, 0, 6)              \
  X(108, AutoWhiteArea, 0, 9)              \
  X(119, Red3200KWBalPreset, -231, 231)    \
  X(120, Blue3200KWBalPreset, -231, 231)   \
  X(121, Red4600KWBalPreset, -231, 231)    \
  X(122, Blue4600KWBalPreset, -231, 231)   \
  X(123, Red5600KWBalPreset, -231, 231)    \
  X(124, Blue5600KWBalPreset, -231, 231)

// X(DISPID, Name, index parameter, text parameter, list):
// GetValid<Name>(index, text) gives the list's entry.
#define VEXQ4_VALID_METHODS(X)                                                     \
  X(65, ShutterSpeed, ShutterIndex, ShutterStr, kShutterSpeedList)                 \
  X(67, TriggerType, nIndex, pStr, kTriggerTypeList)                               \
  X(69, PartialScan, PartialScanIndex, PartialScanStr, kPartialScanList)           \
  X(77, Binning, BinningIndex, BinningStr, kBinningList)                           \
  X(95, WhiteBalance, WhiteBalanceIndex, WhiteBalanceStr, kWhiteBalanceList)       \
  X(107, OnePushResult, OnePushResultIndex, pOnePushResultStr, kOnePushResultList) \
  X(109, AutoWhiteArea, AutoWhiteAreaIndex, AutoWhiteAreaStr, kAutoWhiteAreaList)

// X(DISPID, Name): the 45 events, fired by the model's notifications.
#define VEXQ4_EVENTS(X)                   \
  X(1, OnlineStatusChanged)               \
  X(2, SynchronizedStatusChanged)         \
  X(3, SendingToCamStatusChanged)         \
  X(4, ReceiveFromCamStatusChanged)       \
  X(5, ComPortChanged)                    \
  X(6, ShutterSpeedChanged)               \
  X(7, TriggerTypeChanged)                \
  X(8, TriggerPolarityChanged)            \
  X(9, PartialScanChanged)                \
  X(10, MasterGainLevelChanged)           \
  X(11, SmearlessChanged)                 \
  X(12, RCTFVALTypeChanged)               \
  X(13, ProgrammableExposureChanged)      \
  X(14, ColorBarChanged)                  \
  X(15, ShutterModeChanged)               \
  X(16, TriggerInputChanged)              \
  X(17, AccumulationChanged)              \
  X(18, BinningChanged)                   \
  X(19, OutputBitAllocationChanged)       \
  X(20, FrameGrabberChanged)              \
  X(21, BlueGainLevelChanged)             \
  X(22, BlueBlackLevelChanged)            \
  X(23, ProgrammableExposureRedChanged)   \
  X(24, ProgrammableExposureGreenChanged) \
  X(25, ProgrammableExposureBlueChanged)  \
  X(26, BlueKneePointChanged)             \
  X(27, RedKneeSlopeChanged)              \
  X(28, RedGainLevelChanged)              \
  X(29, RedBlackLevelChanged)             \
  X(30, GreenKneePointChanged)            \
  X(31, RedKneePointChanged)              \
  X(32, KneeSelectChanged)                \
  X(33, WhiteBalanceChanged)              \
  X(34, UserIDChanged)                    \
  X(35, GreenKneeSlopeChanged)            \
  X(36, BlueKneeSlopeChanged)             \
  X(37, GreenBlackLevelChanged)           \
  X(38, ShadingModeChanged)               \
  X(39, AutoWhiteAreaChanged)             \
  X(40, Red3200KWBalPresetChanged)        \
  X(41, Blue3200KWBalPresetChanged)       \
  X(42, Red4600KWBalPresetChanged)        \
  X(43, Blue4600KWBalPresetChanged)       \
  X(44, Red5600KWBalPresetChanged)        \
  X(45, Blue5600KWBalPresetChanged)
