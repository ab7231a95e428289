// The table of camera settings: one row per property, read by the model's
// get and set shapes and by everything that walks the settings by name.
#include <algorithm>
#include <array>

#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::model {
namespace {

using M = CVexCamInterface;
constexpr int kNoCheck = -1;

constexpr SettingRow Number(std::string_view property, unsigned code, std::string_view mnemonic,
                            int M::*field, void (M::*notification)(), bool quietReceive = false,
                            bool closeOnFailedSet = false) {
  return {property, code,         mnemonic,         field,       nullptr, {},
          kNoCheck, quietReceive, closeOnFailedSet, notification};
}

constexpr SettingRow Indexed(std::string_view property, unsigned code, std::string_view mnemonic,
                             int M::*field, std::string M::*text,
                             std::span<const std::string_view> list, void (M::*notification)()) {
  return {property, code,  mnemonic,    field, text, list, static_cast<int>(list.size()) - 1,
          false,    false, notification};
}

constexpr bool kQuiet = true;

constexpr std::array kRows = {
    Indexed("ShutterSpeedIndex", SH, "SH", &M::shutterSpeedIndex, &M::shutterSpeedStr,
            kShutterSpeedList, &M::ShutterSpeedChanged),
    Indexed("TriggerTypeIndex", TR, "TR", &M::triggerTypeIndex, &M::triggerTypeStr,
            kTriggerTypeList, &M::TriggerTypeChanged),
    Indexed("PartialScanIndex", SC, "SC", &M::partialScanIndex, &M::partialScanStr,
            kPartialScanList, &M::PartialScanChanged),
    Indexed("BinningIndex", BI, "BI", &M::binningIndex, &M::binningStr, kBinningList,
            &M::BinningChanged),
    Indexed("WhiteBalanceIndex", WB, "WB", &M::whiteBalanceIndex, &M::whiteBalanceStr,
            kWhiteBalanceList, &M::WhiteBalanceChanged),
    Indexed("AutoWhiteAreaIndex", WA, "WA", &M::autoWhiteAreaIndex, &M::autoWhiteAreaStr,
            kAutoWhiteAreaList, &M::AutoWhiteAreaChanged),
    Number("MasterGainLevel", GA, "GA", &M::masterGainLevel, &M::MasterGainLevelChanged),
    Number("RedGainLevel", GAR, "GAR", &M::redGainLevel, &M::RedGainLevelChanged),
    Number("BlueGainLevel", GAB, "GAB", &M::blueGainLevel, &M::BlueGainLevelChanged, kQuiet),
    Number("RedBlackLevel", BLR, "BLR", &M::redBlackLevel, &M::RedBlackLevelChanged),
    Number("GreenBlackLevel", BLG, "BLG", &M::greenBlackLevel, &M::GreenBlackLevelChanged),
    Number("BlueBlackLevel", BLB, "BLB", &M::blueBlackLevel, &M::BlueBlackLevelChanged, kQuiet),
    Number("RedKneePoint", KPR, "KPR", &M::redKneePoint, &M::RedKneePointChanged),
    Number("GreenKneePoint", KPG, "KPG", &M::greenKneePoint, &M::GreenKneePointChanged),
    Number("BlueKneePoint", KPB, "KPB", &M::blueKneePoint, &M::BlueKneePointChanged, kQuiet),
    Number("RedKneeSlope", KSR, "KSR", &M::redKneeSlope, &M::RedKneeSlopeChanged),
    Number("GreenKneeSlope", KSG, "KSG", &M::greenKneeSlope, &M::GreenKneeSlopeChanged, kQuiet),
    Number("BlueKneeSlope", KSB, "KSB", &M::blueKneeSlope, &M::BlueKneeSlopeChanged, kQuiet),
    Number("ProgrammableExposure", PE, "PE", &M::programmableExposure,
           &M::ProgrammableExposureChanged, kQuiet),
    Number("ProgrammableExposureRed", PER, "PER", &M::programmableExposureRed,
           &M::ProgrammableExposureRedChanged, kQuiet),
    // A failed PEG or PEB command closes the connection without a probe.
    Number("ProgrammableExposureGreen", PEG, "PEG", &M::programmableExposureGreen,
           &M::ProgrammableExposureGreenChanged, kQuiet, true),
    Number("ProgrammableExposureBlue", PEB, "PEB", &M::programmableExposureBlue,
           &M::ProgrammableExposureBlueChanged, kQuiet, true),
    Number("Red3200KWBalPreset", WPR1, "WPR1", &M::red3200KWBalPreset,
           &M::Red3200KWBalPresetChanged),
    Number("Blue3200KWBalPreset", WPB1, "WPB1", &M::blue3200KWBalPreset,
           &M::Blue3200KWBalPresetChanged),
    Number("Red4600KWBalPreset", WPR2, "WPR2", &M::red4600KWBalPreset,
           &M::Red4600KWBalPresetChanged),
    Number("Blue4600KWBalPreset", WPB2, "WPB2", &M::blue4600KWBalPreset,
           &M::Blue4600KWBalPresetChanged),
    Number("Red5600KWBalPreset", WPR3, "WPR3", &M::red5600KWBalPreset,
           &M::Red5600KWBalPresetChanged),
    Number("Blue5600KWBalPreset", WPB3, "WPB3", &M::blue5600KWBalPreset,
           &M::Blue5600KWBalPresetChanged),
    Number("ShutterMode", SM, "SM", &M::shutterMode, &M::ShutterModeChanged),
    Number("KneeSelect", KN, "KN", &M::kneeSelect, &M::KneeSelectChanged),
    Number("ShadingMode", SDM, "SDM", &M::shadingMode, &M::ShadingModeChanged),
    Number("TriggerPolarity", TP, "TP", &M::triggerPolarity, &M::TriggerPolarityChanged),
    Number("Smearless", SL, "SL", &M::smearless, &M::SmearlessChanged),
    Number("RCTFVALType", RF, "RF", &M::rctFvalType, &M::RCTFVALTypeChanged),
    Number("ColorBar", CBAR, "CBAR", &M::colorBar, &M::ColorBarChanged),
    Number("TriggerInput", TI, "TI", &M::triggerInput, &M::TriggerInputChanged),
    Number("Accumulation", LS, "LS", &M::accumulation, &M::AccumulationChanged),
    Number("OutputBitAllocation", BA, "BA", &M::outputBitAllocation,
           &M::OutputBitAllocationChanged),
};

constexpr bool CodesUnique() {
  for (std::size_t i = 0; i < kRows.size(); ++i)
    for (std::size_t j = i + 1; j < kRows.size(); ++j)
      if (kRows[i].code == kRows[j].code) return false;
  return true;
}
static_assert(kRows.size() == 38);
static_assert(CodesUnique());

}  // namespace

std::span<const SettingRow> Settings() { return kRows; }

const SettingRow* FindSetting(std::string_view propertyOrMnemonic) {
  auto it = std::find_if(kRows.begin(), kRows.end(), [&](const SettingRow& row) {
    return row.property == propertyOrMnemonic || row.mnemonic == propertyOrMnemonic;
  });
  return it == kRows.end() ? nullptr : &*it;
}

const SettingRow* FindSettingByCode(unsigned code) {
  auto it = std::find_if(kRows.begin(), kRows.end(),
                         [&](const SettingRow& row) { return row.code == code; });
  return it == kRows.end() ? nullptr : &*it;
}

}  // namespace vexq4::model
