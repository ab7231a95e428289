// Settings files (*.cam): one camera configuration as the model caches it,
// in profile (INI) form with the sections "Main", "Shutter" and "Gain".
#include <array>
#include <climits>
#include <optional>
#include <string>

#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/ini_file.h"

namespace vexq4::model {
namespace {

using M = CVexCamInterface;

constexpr std::string_view kMain = "Main";
constexpr std::string_view kCameraTypeKey = "Camera Type";
constexpr std::string_view kCameraType = "RX-Q4";
constexpr std::string_view kNotFound = "Not Found";

constexpr int kAny = INT_MIN;  // no range check on reading

// One key of the file, bound to a row of the settings table by mnemonic.
// Keys with a list take the row's list text; the others its number.
struct FileKey {
  std::string_view section;
  std::string_view key;  // written exactly so, odd letter case included
  std::string_view mnemonic;
  int min = kAny;
  int max = kAny;
};

// In the order the file is written and read.
constexpr std::array kKeys = {
    FileKey{"Shutter", "Shutter Mode", "SM"},
    FileKey{"Shutter", "Shutter Speed", "SH"},
    FileKey{"Shutter", "Programmable Exposure (RGB common set)", "PE", 0, 791},
    FileKey{"Shutter", "Programmable Exposure for Red", "PER", 0, 791},
    FileKey{"Shutter", "Programmable Exposure for Green", "PEG", 0, 791},
    FileKey{"Shutter", "Programmable Exposure for Blue", "PEB", 0, 791},
    FileKey{"Shutter", "Trigger Mode", "TR"},
    FileKey{"Shutter", "Smearless", "SL"},
    FileKey{"Shutter", "LVAL Synchronous Accumulation", "LS"},
    FileKey{"Shutter", "RCT FVAL Type", "RF"},
    FileKey{"Shutter", "Trigger Input", "TI"},
    FileKey{"Shutter", "Trigger Polarity", "TP"},
    FileKey{"Shutter", "Partial Scan", "SC"},
    FileKey{"Shutter", "Binning", "BI"},
    FileKey{"Shutter", "Output Bit Allocation", "BA"},
    FileKey{"Shutter", "Color Bar", "CBAR"},
    FileKey{"Gain", "White Balance", "WB"},
    FileKey{"Gain", "Auto White Area", "WA"},
    FileKey{"Gain", "Master Gain Level", "GA", -132, 429},
    FileKey{"Gain", "Gain Level for red", "GAR", -231, 231},
    FileKey{"Gain", "Gain Level for Blue", "GAB", -231, 231},
    FileKey{"Gain", "Black Level for Green", "BLG", 0, 1023},
    FileKey{"Gain", "Black Level for Red", "BLR", 0, 1023},
    FileKey{"Gain", "Black Level for Blue", "BLB", 0, 1023},
    FileKey{"Gain", "Knee Select", "KN"},
    FileKey{"Gain", "Knee Slope for Red", "KSR", 1, 4095},
    FileKey{"Gain", "Knee Slope for Green", "KSG", 1, 4095},
    FileKey{"Gain", "Knee Slope for Blue", "KSB", 1, 4095},
    FileKey{"Gain", "Knee Point for Red", "KPR", 0, 1023},
    FileKey{"Gain", "Knee Point for Green", "KPG", 0, 1023},
    FileKey{"Gain", "Knee Point for Blue", "KPB", 0, 1023},
    FileKey{"Gain", "Shading Mode", "SDM"},
};

// After an off-line read every window is refreshed, in this order.
constexpr std::array kOfflineNotifications = {
    &M::ShutterModeChanged,
    &M::ShutterSpeedChanged,
    &M::ProgrammableExposureChanged,
    &M::ProgrammableExposureRedChanged,
    &M::ProgrammableExposureGreenChanged,
    &M::ProgrammableExposureBlueChanged,
    &M::TriggerTypeChanged,
    &M::SmearlessChanged,
    &M::AccumulationChanged,
    &M::RCTFVALTypeChanged,
    &M::TriggerInputChanged,
    &M::TriggerPolarityChanged,
    &M::PartialScanChanged,
    &M::BinningChanged,
    &M::OutputBitAllocationChanged,
    &M::ColorBarChanged,
    &M::AutoWhiteAreaChanged,
    &M::MasterGainLevelChanged,
    &M::RedGainLevelChanged,
    &M::BlueGainLevelChanged,
    &M::WhiteBalanceChanged,
    &M::GreenBlackLevelChanged,
    &M::RedBlackLevelChanged,
    &M::BlueBlackLevelChanged,
    &M::KneeSelectChanged,
    &M::RedKneeSlopeChanged,
    &M::GreenKneeSlopeChanged,
    &M::BlueKneeSlopeChanged,
    &M::RedKneePointChanged,
    &M::GreenKneePointChanged,
    &M::BlueKneePointChanged,
    &M::ShadingModeChanged,
};

const SettingRow& RowOf(const FileKey& key) {
  // Every mnemonic above is in the settings table (checked by the tests).
  return *FindSetting(key.mnemonic);
}

}  // namespace

}  // namespace vexq4::model

using vexq4::model::FileKey;

int CVexCamInterface::WriteAllToFile(std::string_view path) {
  using namespace vexq4::model;
  const std::filesystem::path file{std::string(path)};
  vexq4::platform::ProfileDocument doc;
  // An existing file keeps its other lines; one that cannot be read is not
  // replaced.
  if (!doc.Load(file) || !doc.Set(kMain, kCameraTypeKey, kCameraType)) return -7;

  // On-line, a colour-temperature mode stores its presets as the gains.
  int red = redGainLevel;
  int blue = blueGainLevel;
  if (isOnline) {
    switch (whiteBalanceIndex) {
      case 2:
        red = red3200KWBalPreset;
        blue = blue3200KWBalPreset;
        break;
      case 3:
        red = red4600KWBalPreset;
        blue = blue4600KWBalPreset;
        break;
      case 4:
        red = red5600KWBalPreset;
        blue = blue5600KWBalPreset;
        break;
      default:
        break;
    }
  }

  for (const FileKey& key : kKeys) {
    const SettingRow& row = RowOf(key);
    std::string value;
    if (row.code == GAR) {
      value = std::to_string(red);
    } else if (row.code == GAB) {
      value = std::to_string(blue);
    } else if (row.text != nullptr) {
      value = this->*row.text;
    } else {
      value = std::to_string(this->*row.field);
    }
    doc.Set(key.section, key.key, value);
  }
  // All keys reach the disk in one atomic replacement: never half a file.
  return doc.Save(file) ? 0 : -7;
}

int CVexCamInterface::ReadAllFromFile(std::string_view path) {
  using namespace vexq4::model;
  vexq4::platform::ProfileDocument doc;
  doc.Load(std::filesystem::path{std::string(path)});  // missing: every key "Not Found"
  auto read = [&doc](std::string_view section, std::string_view key) {
    return doc.Get(section, key).value_or(std::string(kNotFound));
  };

  int result = 0;
  // "RX-Q4CL" and other variants of the type are accepted.
  if (!read(kMain, kCameraTypeKey).starts_with(kCameraType)) result = -9;

  for (const FileKey& key : kKeys) {
    const SettingRow& row = RowOf(key);
    const std::string value = read(key.section, key.key);
    if (!row.list.empty()) {
      // Exact texts, letter case included.
      bool found = false;
      for (std::size_t i = 0; i < row.list.size(); ++i) {
        if (row.list[i] == value) {
          this->*row.field = static_cast<int>(i);
          this->*row.text = std::string(row.list[i]);
          found = true;
          break;
        }
      }
      if (!found) result = -9;
      continue;
    }
    // A value without a leading number is rejected like one out of range;
    // it never inherits the number of another key.
    const std::optional<int> number = vexq4::platform::LeadingNumber(value);
    if (!number || (key.min != kAny && (*number < key.min || *number > key.max))) {
      result = -9;
      continue;
    }
    this->*row.field = *number;
  }

  if (isOnline) {
    const int written = WriteAllToCamera();
    if (written != 0) result = written;
  } else {
    for (auto notification : kOfflineNotifications) Notify(notification);
  }
  return result;
}
