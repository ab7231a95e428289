// What the code knows about each camera setting, written once.
//
// VEXQ4_MODEL_NOTIFICATIONS below lists the model's notifications in their
// fixed order; those that announce a camera setting carry that setting's
// whole description: its automation names and DISPIDs, its parameter code,
// the values it takes, its key in the settings file and in the tool
// window's profile section, and its label in the camera data report.
// Everything else is derived from this list: the
// model's get and set members and notifications, the control's typed
// members, its member table and events, the tool windows' bound widgets,
// the settings file, the report and every host's list of settings.
//
// A host iterates the settings with Settings() (a row per setting: name,
// code and mnemonic, minimum and maximum or list texts, DISPIDs) and reads
// or writes one through the model with GetSetting, SetSetting and Value
// (VexCamInterface.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class CVexCamInterface;

// Visible from libXVexQ4.so, so C++ hosts can use the model directly.
#if !defined(VEXQ4_MODEL_API)
#if defined(__GNUC__)
#define VEXQ4_MODEL_API __attribute__((visibility("default")))
#else
#define VEXQ4_MODEL_API
#endif
#endif

namespace vexq4::model {

// Texts of the value lists, exactly as the operator sees them and the
// settings files hold them ("Midle Right" included).
inline constexpr std::array<std::string_view, 10> kAutoWhiteAreaList = {
    "Full Area", "Upper Left",  "Upper Middle", "Upper Right",  "Middle Left",
    "Middle",    "Midle Right", "Lower Left",   "Under Middle", "Lower Right"};
inline constexpr std::array<std::string_view, 12> kShutterSpeedList = {
    "OFF",    "1/60",   "1/100",  "1/120",   "1/250",   "1/500",
    "1/1000", "1/2000", "1/4000", "1/10000", "1/16000", "1/50000"};
inline constexpr std::array<std::string_view, 5> kTriggerTypeList = {
    "Normal (Continuous)", "Edge Pre-select", "Pulse Width control", "Sensor Gate Control",
    "Reset Continuous"};
inline constexpr std::array<std::string_view, 4> kPartialScanList = {"Full Frame", "1/2 Partial",
                                                                     "1/4 Partial", "1/8 Partial"};
inline constexpr std::array<std::string_view, 2> kBinningList = {"Binning OFF", "Vertical Binning"};
inline constexpr std::array<std::string_view, 5> kWhiteBalanceList = {
    "Manual/One Push", "Continuous AWB", "3200 K", "4600 K", "5600 K"};
inline constexpr std::array<std::string_view, 7> kOnePushResultList = {
    "Complete", "Too Bright", "Too Dark", "Timeout Error", "Busy", "Limit", "Trig is not Normal"};

// How the camera data report shows the two- and three-valued settings.
inline constexpr std::array<std::string_view, 3> kReportShutterModes = {
    "Shutter Speed", "Progr.Exp.(RGB Common set)", "Progr.Exp. (RGB individual set)"};
inline constexpr std::array<std::string_view, 2> kReportOffOn = {"Off", "On"};
inline constexpr std::array<std::string_view, 2> kReportOnOff = {"On", "Off"};
inline constexpr std::array<std::string_view, 2> kReportSyncAsync = {"Sync", "Async"};
inline constexpr std::array<std::string_view, 2> kReportRctFval = {"CameraLink", "VEX Standard"};
inline constexpr std::array<std::string_view, 2> kReportTriggerInputs = {"CameraLink",
                                                                         "Hirose12pin"};
inline constexpr std::array<std::string_view, 2> kReportPolarities = {"Active Low", "Active High"};
inline constexpr std::array<std::string_view, 2> kReportBitAllocations = {"10bit", "8bit"};

// The control's tool windows, by the index the control gives them. A
// setting shown in the Shutter or Gain window is kept, when it has a key,
// in that window's profile section and in the settings file's section of
// the same name.
enum class Window : std::int8_t { kShutter = 0, kGain = 1, kCommunication = 2, kAbout = 3, kNone };
inline constexpr unsigned WindowBit(Window window) {
  return window == Window::kNone ? 0u : 1u << static_cast<int>(window);
}
inline constexpr unsigned kShutterBit = WindowBit(Window::kShutter);
inline constexpr unsigned kGainBit = WindowBit(Window::kGain);
inline constexpr unsigned kCommunicationBit = WindowBit(Window::kCommunication);
inline constexpr unsigned kAboutBit = WindowBit(Window::kAbout);
inline constexpr unsigned kAllWindows = kShutterBit | kGainBit | kCommunicationBit | kAboutBit;
// "Shutter", "Gain", "Communication", "About"; empty for kNone.
inline constexpr std::string_view SectionOf(Window window) {
  constexpr std::array<std::string_view, 5> kSections = {"Shutter", "Gain", "Communication",
                                                         "About", ""};
  return kSections[static_cast<std::size_t>(window)];
}

// The range of a 16-bit automation value: a setting that neither the
// control nor the model checks takes any of them.
inline constexpr int kShortMin = -32768;
inline constexpr int kShortMax = 32767;

// The COM ports the control offers and searches, and the frame grabbers'
// manufacturer entries it takes.
inline constexpr int kFirstComPort = 1;
inline constexpr int kLastComPort = 16;
inline constexpr int kFirstGrabber = 1;
inline constexpr int kLastGrabber = 16;

// A setting's GenICam feature where the rule does not give it (the rule:
// the automation property's name, a list setting's without "Index"): the
// SFNC name, and for a feature behind a selector that selector and this
// row's entry; an Enumeration's entry names where the list texts are not
// the standard's.
struct GenICamFacts {
  std::string_view name = {};      // e.g. "Gain"; empty: by the rule
  std::string_view selector = {};  // e.g. "GainSelector"; empty: none
  std::string_view entry = {};     // e.g. "Red", this row's entry of the selector
  std::span<const std::string_view> entries = {};  // e.g. "Off", "ColorBar"
  bool readOnly = false;  // the camera has no set form
};
inline constexpr std::array<std::string_view, 2> kTestPatternEntries = {"Off", "ColorBar"};

// One camera setting. The rows of VEXQ4_MODEL_NOTIFICATIONS fill the
// fields from `field` on; the names, the code and the notification come
// from the row's head.
struct SettingRow {
  // ---- Names (the automation property, its text form, its notification).
  std::string_view property = {};      // e.g. "MasterGainLevel", "ShutterSpeedIndex"
  std::string_view textProperty = {};  // list settings: e.g. "ShutterSpeedStr"; else empty
  std::string_view event = {};         // the notification and event, e.g. "ShutterSpeedChanged"
  // The methods' common name: GetMinMax<methods>, GetValid<methods>; empty
  // when the control has no range query for the setting.
  std::string_view methods = {};
  unsigned code = 0;               // ParameterCode
  std::string_view mnemonic = {};  // e.g. "GA"
  void (CVexCamInterface::*notification)() = nullptr;

  // Its place in Settings(): the model keeps its value (and a list
  // setting's text) at this index. Set by the table.
  std::size_t index = 0;

  // ---- The values it takes. A list setting takes 0 .. list.size() - 1.
  std::span<const std::string_view> list = {};  // list settings: the texts by index
  int min = kShortMin;
  int max = kShortMax;
  int initial = 0;  // the model's value before the camera or a host gave one
  // The control's property setter refuses values outside min..max; without
  // it the value goes to the model unchecked (which refuses a list index
  // beyond its list, taken as unsigned: checkMax).
  bool checked = false;
  std::string_view meaning = {};  // what the values mean, for help texts
  bool quietReceive = false;      // a get raises no ReceiveFromCamStatusChanged
  bool closeOnFailedSet = false;  // a failed set closes without probing (PEG, PEB)

  // ---- Automation DISPIDs (0: none).
  int dispid = 0;
  int textDispid = 0;  // the ...Str property
  int eventDispid = 0;
  int minMaxDispid = 0;
  int validDispid = 0;
  // Type library names of GetValid<methods>'s index and text parameters.
  std::array<std::string_view, 2> validParams = {};
  bool browserList = false;  // property browsers offer the list as the text's values

  // ---- The tool window that shows it (and refreshes on its notification),
  // its profile section and key.
  Window window = Window::kNone;
  // The key in the window's profile section and in the settings file's
  // section of the same name (written exactly so, odd letter case
  // included); empty: the setting is in neither.
  std::string_view key = {};
  int profileDefault = 0;      // the window's value before it stored one
  bool profileByText = false;  // the window keeps the entry's text, not its index

  // ---- The camera data report's row.
  std::string_view reportLabel = {};
  std::span<const std::string_view> reportTexts = {};  // empty: the list, or decimal
  bool reportDecidesStatus = true;  // a failed read of it ends the report's column

  // The model's own check: a set refuses unsigned(v) > checkMax; -1: none.
  int checkMax = -1;

  // ---- Its GenICam feature (genicam/README.md).
  GenICamFacts genicam = {};

  constexpr bool isList() const { return !list.empty(); }
  constexpr bool inFile() const { return !key.empty(); }
};

// One notification of the model, with what the control does with it.
struct NotificationRow {
  std::string_view name = {};  // e.g. "OnlineStatusChanged"
  int eventDispid = 0;         // the event the control fires; 0: none
  unsigned windows = 0;        // WindowBit()s of the tool windows it refreshes
  // Where the model keeps the new value of a notification that is no
  // setting's: a number, or a text. Only the model follows them; hosts read
  // the value with CVexCamInterface::Value(row) and Text(row), which also
  // answer for a setting's notification.
  int CVexCamInterface::*number = nullptr;
  std::string CVexCamInterface::*text = nullptr;
  bool takesState = false;  // called with the new state (the four status flags)
  // The automation property the notification announces when it is not a
  // setting's (ComPort, FrameGrabberIndex, UserID), with its DISPID.
  std::string_view property = {};
  int dispid = 0;
  std::string_view meaning = {};
  const SettingRow* setting = nullptr;  // the setting it announces, or nullptr
  // How a host reaches a value that is no setting's (a setting has its
  // row): the operation that asks the camera for it, the one that sends a
  // new text (the user ID), and the one that sets the number and opens the
  // line it names (the connection's port).
  int (*read)(CVexCamInterface&) = nullptr;
  int (CVexCamInterface::*setText)(std::string_view) = nullptr;
  int (CVexCamInterface::*open)(int) = nullptr;

  // Whether it announces a number (every setting's does) or a text (a list
  // setting's does, besides its index).
  constexpr bool hasNumber() const { return number != nullptr || setting != nullptr; }
  constexpr bool hasText() const {
    return text != nullptr || (setting != nullptr && setting->isList());
  }
};

}  // namespace vexq4::model

// The model's notifications in their fixed order. Each row is one of
//   STATUS(Notification, ...)  a status flag; the notification takes the state
//   EVENT(Notification, ...)   any other notification without a setting
//   LIST(Notification, Property, TextProperty, Methods, Code, ...)
//                              a setting chosen from a list of texts
//   RANGED(Notification, Property, Code, ...)
//                              a number the control checks (GetMinMax<Property>)
//   PLAIN(Notification, Property, Code, ...)
//                              a number the control passes on unchecked
// where "..." are the row's fields as designated initializers: those of
// NotificationRow for STATUS and EVENT, those of SettingRow from `field` on
// for the settings. M is CVexCamInterface; codes are VexQ4Comm.h's.
// clang-format off
#define VEXQ4_MODEL_NOTIFICATIONS(STATUS, EVENT, LIST, RANGED, PLAIN)                              \
  STATUS(OnlineStatusChanged, .eventDispid = 1, .windows = kAllWindows,                            \
         .number = &M::isOnline)                                                                   \
  STATUS(SynchronizedStatusChanged, .eventDispid = 2, .windows = kCommunicationBit,                \
         .number = &M::isSynchronized)                                                             \
  STATUS(SendingToCamStatusChanged, .eventDispid = 3, .windows = kCommunicationBit,                \
         .number = &M::isSending)                                                                  \
  STATUS(ReceiveFromCamStatusChanged, .eventDispid = 4, .windows = kCommunicationBit,              \
         .number = &M::isReceiving)                                                                \
  EVENT(ComPortChanged, .eventDispid = 5, .windows = kCommunicationBit, .number = &M::comPort,     \
        .property = "ComPort", .dispid = 1,                                                        \
        .meaning = "port number of the connection", .open = &M::SetComPort)                        \
  EVENT(FrameGrabberChanged, .eventDispid = 20, .windows = kCommunicationBit,                      \
        .number = &M::frameGrabberIndex, .property = "FrameGrabberIndex", .dispid = 24,            \
        .meaning = "frame grabber of the connection (0: COM port)")                                \
  LIST(ShutterSpeedChanged, ShutterSpeedIndex, ShutterSpeedStr, ShutterSpeed, SH,                  \
       .list = kShutterSpeedList,                                                                  \
       .checked = true, .meaning = "shutter speed",                                                \
       .dispid = 6, .textDispid = 7, .eventDispid = 6, .minMaxDispid = 64, .validDispid = 65,      \
       .validParams = {"ShutterIndex", "ShutterStr"}, .browserList = true,                         \
       .window = Window::kShutter, .key = "Shutter Speed", .profileByText = true,                  \
       .reportLabel = "Shutter Speed")                                                             \
  LIST(TriggerTypeChanged, TriggerTypeIndex, TriggerTypeStr, TriggerType, TR,                      \
       .list = kTriggerTypeList,                                                                   \
       .checked = true, .meaning = "trigger mode",                                                 \
       .dispid = 8, .textDispid = 9, .eventDispid = 7, .minMaxDispid = 66, .validDispid = 67,      \
       .validParams = {"nIndex", "pStr"}, .browserList = true,                                     \
       .window = Window::kShutter, .key = "Trigger Mode", .reportLabel = "Trigger Mode")           \
  PLAIN(TriggerPolarityChanged, TriggerPolarity, TP,                                               \
        .meaning = "0 active low, 1 active high",                                                  \
        .dispid = 10, .eventDispid = 8,                                                            \
        .window = Window::kShutter, .key = "Trigger Polarity",                                     \
        .reportLabel = "Trigger Polarity", .reportTexts = kReportPolarities)                       \
  PLAIN(SmearlessChanged, Smearless, SL,                                                           \
        .meaning = "0 off, 1 on", .dispid = 16, .eventDispid = 11,                                 \
        .window = Window::kShutter, .key = "Smearless",                                            \
        .reportLabel = "Smearless", .reportTexts = kReportOffOn)                                   \
  PLAIN(RCTFVALTypeChanged, RCTFVALType, RF,                                                       \
        .meaning = "0 Camera Link mode, 1 VEX Standard mode",                                      \
        .dispid = 15, .eventDispid = 12,                                                           \
        .window = Window::kShutter, .key = "RCT FVAL Type",                                        \
        .reportLabel = "RCT FVAL Type", .reportTexts = kReportRctFval,                             \
        .reportDecidesStatus = false)                                                              \
  PLAIN(ShutterModeChanged, ShutterMode, SM,                                                       \
        .meaning = "0 shutter speed, 1 programmable exposure (RGB common), 2 (RGB individual)",    \
        .dispid = 14, .eventDispid = 15,                                                           \
        .window = Window::kShutter, .key = "Shutter Mode",                                         \
        .reportLabel = "Shutter Mode", .reportTexts = kReportShutterModes)                         \
  RANGED(ProgrammableExposureChanged, ProgrammableExposure, PE,                                    \
         .min = 0, .max = 791,                                                                     \
         .meaning = "programmable exposure, RGB common", .quietReceive = true,                     \
         .dispid = 17, .eventDispid = 13, .minMaxDispid = 73,                                      \
         .window = Window::kShutter, .key = "Programmable Exposure (RGB common set)",              \
         .profileDefault = 2, .reportLabel = "Progr. Exp.")                                        \
  RANGED(BlueGainLevelChanged, BlueGainLevel, GAB,                                                 \
         .min = -231, .max = 231,                                                                  \
         .meaning = "blue gain (0 is 0 dB)", .quietReceive = true,                                 \
         .dispid = 25, .eventDispid = 21, .minMaxDispid = 83,                                      \
         .window = Window::kGain, .key = "Gain Level for Blue", .profileDefault = 24,              \
         .reportLabel = "Gain Level Blue",                                                         \
         .genicam = {.name = "Gain", .selector = "GainSelector", .entry = "Blue"})                 \
  RANGED(BlueBlackLevelChanged, BlueBlackLevel, BLB,                                               \
         .min = 0, .max = 1023,                                                                    \
         .meaning = "blue black level", .quietReceive = true,                                      \
         .dispid = 26, .eventDispid = 22, .minMaxDispid = 84,                                      \
         .window = Window::kGain, .key = "Black Level for Blue", .profileDefault = 127,            \
         .reportLabel = "Black Level Blue",                                                        \
         .genicam = {.name = "BlackLevel", .selector = "BlackLevelSelector", .entry = "Blue"})     \
  RANGED(ProgrammableExposureRedChanged, ProgrammableExposureRed, PER,                             \
         .min = 0, .max = 791,                                                                     \
         .meaning = "programmable exposure, red", .quietReceive = true,                            \
         .dispid = 27, .eventDispid = 23, .minMaxDispid = 85,                                      \
         .window = Window::kShutter, .key = "Programmable Exposure for Red",                       \
         .profileDefault = 127, .reportLabel = "Progr. Exp. Red")                                  \
  RANGED(ProgrammableExposureGreenChanged, ProgrammableExposureGreen, PEG,                         \
         .min = 0, .max = 791,                                                                     \
         .meaning = "programmable exposure, green", .quietReceive = true,                          \
         .closeOnFailedSet = true, .dispid = 28, .eventDispid = 24, .minMaxDispid = 86,            \
         .window = Window::kShutter, .key = "Programmable Exposure for Green",                     \
         .profileDefault = 127, .reportLabel = "Progr. Exp. Green")                                \
  RANGED(ProgrammableExposureBlueChanged, ProgrammableExposureBlue, PEB,                           \
         .min = 0, .max = 791,                                                                     \
         .meaning = "programmable exposure, blue", .quietReceive = true,                           \
         .closeOnFailedSet = true, .dispid = 29, .eventDispid = 25, .minMaxDispid = 87,            \
         .window = Window::kShutter, .key = "Programmable Exposure for Blue",                      \
         .profileDefault = 127, .reportLabel = "Progr. Exp. Blue")                                 \
  RANGED(BlueKneePointChanged, BlueKneePoint, KPB,                                                 \
         .min = 0, .max = 1023,                                                                    \
         .meaning = "blue knee point", .quietReceive = true,                                       \
         .dispid = 30, .eventDispid = 26, .minMaxDispid = 88,                                      \
         .window = Window::kGain, .key = "Knee Point for Blue", .profileDefault = 127,             \
         .reportLabel = "Blue Knee Point")                                                         \
  RANGED(RedKneeSlopeChanged, RedKneeSlope, KSR,                                                   \
         .min = 1, .max = 4095, .meaning = "red knee slope",                                       \
         .dispid = 31, .eventDispid = 27, .minMaxDispid = 89,                                      \
         .window = Window::kGain, .key = "Knee Slope for Red", .profileDefault = 127,              \
         .reportLabel = "Red Knee Slope")                                                          \
  RANGED(GreenKneeSlopeChanged, GreenKneeSlope, KSG,                                               \
         .min = 1, .max = 4095,                                                                    \
         .meaning = "green knee slope", .quietReceive = true,                                      \
         .dispid = 40, .eventDispid = 35, .minMaxDispid = 99,                                      \
         .window = Window::kGain, .key = "Knee Slope for Green", .profileDefault = 127,            \
         .reportLabel = "Green Knee Slope")                                                        \
  RANGED(BlueKneeSlopeChanged, BlueKneeSlope, KSB,                                                 \
         .min = 1, .max = 4095,                                                                    \
         .meaning = "blue knee slope", .quietReceive = true,                                       \
         .dispid = 41, .eventDispid = 36, .minMaxDispid = 100,                                     \
         .window = Window::kGain, .key = "Knee Slope for Blue", .profileDefault = 127,             \
         .reportLabel = "Blue Knee Slope")                                                         \
  PLAIN(TriggerInputChanged, TriggerInput, TI,                                                     \
        .meaning = "0 Camera Link connector, 1 12-pin connector",                                  \
        .dispid = 19, .eventDispid = 16,                                                           \
        .window = Window::kShutter, .key = "Trigger Input",                                        \
        .reportLabel = "Trigger Input", .reportTexts = kReportTriggerInputs)                       \
  PLAIN(AccumulationChanged, Accumulation, LS,                                                     \
        .meaning = "0 LVAL synchronous, 1 LVAL asynchronous",                                      \
        .dispid = 20, .eventDispid = 17,                                                           \
        .window = Window::kShutter, .key = "LVAL Synchronous Accumulation",                        \
        .reportLabel = "LVAL Accumulation", .reportTexts = kReportSyncAsync,                       \
        .reportDecidesStatus = false)                                                              \
  PLAIN(OutputBitAllocationChanged, OutputBitAllocation, BA,                                       \
        .meaning = "0 10-bit, 1 8-bit output",                                                     \
        .dispid = 23, .eventDispid = 19,                                                           \
        .window = Window::kShutter, .key = "Output Bit Allocation",                                \
        .reportLabel = "Output Bit Allocation", .reportTexts = kReportBitAllocations)              \
  LIST(PartialScanChanged, PartialScanIndex, PartialScanStr, PartialScan, SC,                      \
       .list = kPartialScanList,                                                                   \
       .meaning = "partial scan",                                                                  \
       .dispid = 13, .textDispid = 11, .eventDispid = 9, .minMaxDispid = 68, .validDispid = 69,    \
       .validParams = {"PartialScanIndex", "PartialScanStr"},                                      \
       .window = Window::kShutter, .key = "Partial Scan", .reportLabel = "Partial Scan Mode")      \
  LIST(BinningChanged, BinningIndex, BinningStr, Binning, BI,                                      \
       .list = kBinningList,                                                                       \
       .meaning = "binning",                                                                       \
       .dispid = 21, .textDispid = 22, .eventDispid = 18, .minMaxDispid = 76, .validDispid = 77,   \
       .validParams = {"BinningIndex", "BinningStr"},                                              \
       .window = Window::kShutter, .key = "Binning", .reportLabel = "Binning")                     \
  LIST(WhiteBalanceChanged, WhiteBalanceIndex, WhiteBalanceStr, WhiteBalance, WB,                  \
       .list = kWhiteBalanceList, .initial = 1,                                                    \
       .meaning = "white balance mode",                                                            \
       .dispid = 37, .textDispid = 38, .eventDispid = 33, .minMaxDispid = 94, .validDispid = 95,   \
       .validParams = {"WhiteBalanceIndex", "WhiteBalanceStr"},                                    \
       .window = Window::kGain, .key = "White Balance", .reportLabel = "White Balance")            \
  RANGED(MasterGainLevelChanged, MasterGainLevel, GA,                                              \
         .min = -132, .max = 429,                                                                  \
         .meaning = "master gain (0 is 0 dB)",                                                     \
         .dispid = 12, .eventDispid = 10, .minMaxDispid = 70,                                      \
         .window = Window::kGain, .key = "Master Gain Level", .profileDefault = 122,               \
         .reportLabel = "Master Gain Level",                                                       \
         .genicam = {.name = "Gain", .selector = "GainSelector", .entry = "All"})                  \
  RANGED(RedGainLevelChanged, RedGainLevel, GAR,                                                   \
         .min = -231, .max = 231,                                                                  \
         .meaning = "red gain (0 is 0 dB)",                                                        \
         .dispid = 32, .eventDispid = 28, .minMaxDispid = 90,                                      \
         .window = Window::kGain, .key = "Gain Level for red", .profileDefault = 122,              \
         .reportLabel = "Gain Level Red",                                                          \
         .genicam = {.name = "Gain", .selector = "GainSelector", .entry = "Red"})                  \
  RANGED(RedBlackLevelChanged, RedBlackLevel, BLR,                                                 \
         .min = 0, .max = 1023, .meaning = "red black level",                                      \
         .dispid = 33, .eventDispid = 29, .minMaxDispid = 91,                                      \
         .window = Window::kGain, .key = "Black Level for Red", .profileDefault = 122,             \
         .reportLabel = "Black Level Red",                                                         \
         .genicam = {.name = "BlackLevel", .selector = "BlackLevelSelector", .entry = "Red"})      \
  RANGED(Red3200KWBalPresetChanged, Red3200KWBalPreset, WPR1,                                      \
         .min = -231, .max = 231,                                                                  \
         .meaning = "white balance preset, red, 3200 K",                                           \
         .dispid = 46, .eventDispid = 40, .minMaxDispid = 119,                                     \
         .window = Window::kGain)                                                                  \
  RANGED(Blue3200KWBalPresetChanged, Blue3200KWBalPreset, WPB1,                                    \
         .min = -231, .max = 231,                                                                  \
         .meaning = "white balance preset, blue, 3200 K",                                          \
         .dispid = 47, .eventDispid = 41, .minMaxDispid = 120,                                     \
         .window = Window::kGain)                                                                  \
  RANGED(Red4600KWBalPresetChanged, Red4600KWBalPreset, WPR2,                                      \
         .min = -231, .max = 231,                                                                  \
         .meaning = "white balance preset, red, 4600 K",                                           \
         .dispid = 48, .eventDispid = 42, .minMaxDispid = 121,                                     \
         .window = Window::kGain)                                                                  \
  RANGED(Blue4600KWBalPresetChanged, Blue4600KWBalPreset, WPB2,                                    \
         .min = -231, .max = 231,                                                                  \
         .meaning = "white balance preset, blue, 4600 K",                                          \
         .dispid = 49, .eventDispid = 43, .minMaxDispid = 122,                                     \
         .window = Window::kGain)                                                                  \
  RANGED(Red5600KWBalPresetChanged, Red5600KWBalPreset, WPR3,                                      \
         .min = -231, .max = 231,                                                                  \
         .meaning = "white balance preset, red, 5600 K",                                           \
         .dispid = 50, .eventDispid = 44, .minMaxDispid = 123,                                     \
         .window = Window::kGain)                                                                  \
  RANGED(Blue5600KWBalPresetChanged, Blue5600KWBalPreset, WPB3,                                    \
         .min = -231, .max = 231,                                                                  \
         .meaning = "white balance preset, blue, 5600 K",                                          \
         .dispid = 51, .eventDispid = 45, .minMaxDispid = 124,                                     \
         .window = Window::kGain)                                                                  \
  RANGED(GreenBlackLevelChanged, GreenBlackLevel, BLG,                                             \
         .min = 0, .max = 1023,                                                                    \
         .meaning = "green black level", .dispid = 42, .eventDispid = 37, .minMaxDispid = 104,     \
         .window = Window::kGain, .key = "Black Level for Green", .profileDefault = 127,           \
         .reportLabel = "Black Level Green",                                                       \
         .genicam = {.name = "BlackLevel", .selector = "BlackLevelSelector", .entry = "Green"})    \
  RANGED(GreenKneePointChanged, GreenKneePoint, KPG,                                               \
         .min = 0, .max = 1023,                                                                    \
         .meaning = "green knee point", .dispid = 34, .eventDispid = 30, .minMaxDispid = 92,       \
         .window = Window::kGain, .key = "Knee Point for Green", .profileDefault = 122,            \
         .reportLabel = "Green Knee Point")                                                        \
  RANGED(RedKneePointChanged, RedKneePoint, KPR,                                                   \
         .min = 0, .max = 1023,                                                                    \
         .meaning = "red knee point", .dispid = 35, .eventDispid = 31, .minMaxDispid = 93,         \
         .window = Window::kGain, .key = "Knee Point for Red", .profileDefault = 122,              \
         .reportLabel = "Red Knee Point")                                                          \
  PLAIN(KneeSelectChanged, KneeSelect, KN,                                                         \
        .meaning = "0 on, 1 off", .dispid = 36, .eventDispid = 32,                                 \
        .window = Window::kGain, .key = "Knee Select", .profileDefault = 1,                        \
        .reportLabel = "Knee", .reportTexts = kReportOnOff)                                        \
  PLAIN(ShadingModeChanged, ShadingMode, SDM,                                                      \
        .meaning = "0 on, 1 off", .dispid = 43, .eventDispid = 38,                                 \
        .window = Window::kGain, .key = "Shading Mode", .profileDefault = 1,                       \
        .reportLabel = "Shading Mode", .reportTexts = kReportOnOff)                                \
  PLAIN(ColorBarChanged, ColorBar, CBAR,                                                           \
        .meaning = "0 off, 1 on", .dispid = 18, .eventDispid = 14,                                 \
        .window = Window::kShutter, .key = "Color Bar",                                            \
        .reportLabel = "Color Bar", .reportTexts = kReportOffOn,                                   \
         .genicam = {.name = "TestPattern", .entries = kTestPatternEntries})                       \
  EVENT(UserIDChanged, .eventDispid = 34, .windows = kAboutBit, .text = &M::userID,                \
        .property = "UserID", .dispid = 39,                                                        \
        .meaning = "user ID",                                                                      \
        .read = [](M& m) { return m.GetUserID(); }, .setText = &M::SetUserID)                      \
  EVENT(CameraIDChanged, .windows = kAboutBit, .text = &M::cameraID,                               \
        .read = [](M& m) { return m.GetCameraID(std::span<char>()); })                             \
  EVENT(ModelNameChanged, .windows = kAboutBit, .text = &M::modelName,                             \
        .read = [](M& m) { return m.GetModelName(std::span<char>()); })                            \
  EVENT(EEPROMCurrentAreaNoChanged, .windows = kCommunicationBit,                                  \
        .number = &M::eepromCurrentAreaNo,                                                         \
        .read = [](M& m) { return m.GetEEPROMCurrentAreaNo(); })                                   \
  EVENT(OnePushResultChanged, .windows = kGainBit, .number = &M::onePushResult)                    \
  LIST(AutoWhiteAreaChanged, AutoWhiteAreaIndex, AutoWhiteAreaStr, AutoWhiteArea, WA,              \
       .list = kAutoWhiteAreaList, .checked = true, .meaning = "auto white balance area",          \
       .dispid = 44, .textDispid = 45, .eventDispid = 39, .minMaxDispid = 108,                     \
       .validDispid = 109, .validParams = {"AutoWhiteAreaIndex", "AutoWhiteAreaStr"},              \
       .browserList = true,                                                                        \
       .window = Window::kGain, .key = "Auto White Area", .reportLabel = "Auto White Area")
// clang-format on

// Expands to nothing: for the kinds of rows a use of the list leaves out.
#define VEXQ4_SKIP(...)
#define VEXQ4_COUNT_ROW(...) +1

namespace vexq4::model {

// How many settings and notifications the list holds.
inline constexpr std::size_t kSettingCount = 0 VEXQ4_MODEL_NOTIFICATIONS(
    VEXQ4_SKIP, VEXQ4_SKIP, VEXQ4_COUNT_ROW, VEXQ4_COUNT_ROW, VEXQ4_COUNT_ROW);
inline constexpr std::size_t kNotificationCount = 0 VEXQ4_MODEL_NOTIFICATIONS(
    VEXQ4_COUNT_ROW, VEXQ4_COUNT_ROW, VEXQ4_COUNT_ROW, VEXQ4_COUNT_ROW, VEXQ4_COUNT_ROW);

}  // namespace vexq4::model

namespace vexq4::model {

// Every setting, in the order of the notifications above.
VEXQ4_MODEL_API std::span<const SettingRow> Settings();
// Row by property name ("MasterGainLevel"), text property name
// ("ShutterSpeedStr") or mnemonic ("GA"), or nullptr.
VEXQ4_MODEL_API const SettingRow* FindSetting(std::string_view name);
// Row by parameter code, or nullptr.
VEXQ4_MODEL_API const SettingRow* FindSettingByCode(unsigned code);
// The notifications in their fixed order.
VEXQ4_MODEL_API std::span<const NotificationRow> Notifications();
// Row by notification name ("ComPortChanged"), or nullptr.
VEXQ4_MODEL_API const NotificationRow* FindNotification(std::string_view name);

// ---- The white balance mode's gains.
//
// What the red and blue gain keys (RedGainLevel and BlueGainLevel in the
// settings file, the report's gain rows, the Gain window's boxes) mean in
// each white balance mode, by mnemonic, in the order of kWhiteBalanceList:
// the gains themselves in "Manual/One Push", the mode's preset registers
// in a colour temperature, nothing in "Continuous AWB" (the camera keeps
// its own gains there).
struct GainMnemonics {
  std::string_view red = {};
  std::string_view blue = {};
};
inline constexpr std::array<GainMnemonics, kWhiteBalanceList.size()> kWhiteBalanceGains = {{
    {"GAR", "GAB"},    // Manual/One Push
    {},                // Continuous AWB
    {"WPR1", "WPB1"},  // 3200 K
    {"WPR2", "WPB2"},  // 4600 K
    {"WPR3", "WPB3"},  // 5600 K
}};

// The modes the code tells apart besides by their gains.
inline constexpr int kManualWhiteBalance = 0;      // the gains set by hand or by a one push
inline constexpr int kContinuousWhiteBalance = 1;  // the camera's own gains

// The registers the red and blue gains mean in a white balance mode.
struct WhiteBalanceGains {
  const SettingRow* red = nullptr;  // nullptr: none (Continuous AWB, a mode beyond the list)
  const SettingRow* blue = nullptr;
  constexpr explicit operator bool() const { return red != nullptr; }
};
// The rule of kWhiteBalanceGains, by white balance mode (WhiteBalanceIndex).
VEXQ4_MODEL_API WhiteBalanceGains WhiteBalanceGainRows(int mode);
// The gain (RedGainLevel or BlueGainLevel) whose place a register of the
// rule takes in some mode: itself for the gains, the gain of its colour for
// a preset; nullptr for every other setting.
VEXQ4_MODEL_API const SettingRow* GainStoodFor(const SettingRow& row);
// The register a transfer reads or writes for `row` while the white balance
// is `mode`: for RedGainLevel and BlueGainLevel the mode's gain register
// (nullptr in Continuous AWB), for every other setting the setting itself.
VEXQ4_MODEL_API const SettingRow* WhiteBalanceRegister(const SettingRow& row, int mode);

// ---- The orders of the whole-camera transfers.
//
// Every transfer of all the settings at once follows one order, by
// mnemonic: it is the order of the settings file, and each other transfer
// derives its own from it with the named exceptions below
// (TransferOrder()). Every setting is in it but the white balance presets,
// which the red and blue gains stand for (kWhiteBalanceGains): the table
// does not compile with a setting that neither names, nor with a setting in
// it that has no settings file key and report label. A new setting goes at
// its end unless it depends on another (a read of the white balance mode
// must precede the reads of the gains it chooses).
inline constexpr auto kTransferOrder = std::to_array<std::string_view>(
    {"SM",  "SH",  "PE", "PER", "PEG",  "PEB", "TR",  "SL",  "LS",  "RF",  "TI",
     "TP",  "SC",  "BI", "BA",  "CBAR", "WB",  "WA",  "GA",  "GAR", "GAB", "BLG",
     "BLR", "BLB", "KN", "KSR", "KSG",  "KSB", "KPR", "KPG", "KPB", "SDM"});

// One setting moved from its place in kTransferOrder to just after another
// (to the end when `after` is empty).
struct TransferMove {
  std::string_view setting = {};
  std::string_view after = {};
};
// A write-all sends every setting but these: the camera keeps its own
// auto white balance area.
inline constexpr std::array<std::string_view, 1> kNotWrittenByWriteAll = {"WA"};
// A write-all, and the windows' refresh after an off-line settings file
// load, give the white balance mode after the gains.
inline constexpr std::array<TransferMove, 1> kModeAfterGains = {{{"WB", "GAB"}}};
// The report's rows: its own order, the auto white area last.
inline constexpr std::array<TransferMove, 1> kReportRowMoves = {{{"WA", ""}}};
// The report reads its rows in their order, but the master gain before the
// white balance mode (the gains after the mode that chooses them).
inline constexpr std::array<TransferMove, 1> kReportReadMoves = {{{"WB", "GA"}}};

enum class Transfer {
  kReadAll,         // kTransferOrder; the gains as the mode read says
  kSettingsFile,    // kTransferOrder, written and read
  kWriteAll,        // without kNotWrittenByWriteAll, kModeAfterGains
  kOfflineRefresh,  // kModeAfterGains
  kReportRows,      // kReportRowMoves
  kReportReads,     // kReportRowMoves, then kReportReadMoves
};
// The settings a transfer takes, in its order. The red and blue gains
// stand at their places for whatever kWhiteBalanceGains makes of them.
VEXQ4_MODEL_API std::span<const SettingRow* const> TransferOrder(Transfer transfer);

}  // namespace vexq4::model
