// The model's notifications as the control passes them on.
#include "vexq4/control/changes.h"

#include <array>

namespace vexq4::control {
namespace {

using M = CVexCamInterface;
constexpr unsigned kShutter = kShutterBit;
constexpr unsigned kGain = kGainBit;
constexpr unsigned kComm = kCommunicationBit;
constexpr unsigned kAbout = kAboutBit;

constexpr ChangeInfo Row(Change change, std::string_view name, int dispid, unsigned windows,
                         int M::*number, std::string M::*text = nullptr) {
  return {change, name, dispid, windows, number, text};
}

#define VEXQ4_CHANGE(Name) Change::Name, #Name
constexpr std::array kChanges = {
    Row(VEXQ4_CHANGE(OnlineStatusChanged), 1, kComm | kShutter | kGain | kAbout, &M::isOnline),
    Row(VEXQ4_CHANGE(SynchronizedStatusChanged), 2, kComm, &M::isSynchronized),
    Row(VEXQ4_CHANGE(SendingToCamStatusChanged), 3, kComm, &M::isSending),
    Row(VEXQ4_CHANGE(ReceiveFromCamStatusChanged), 4, kComm, &M::isReceiving),
    Row(VEXQ4_CHANGE(ComPortChanged), 5, kComm, &M::comPort),
    Row(VEXQ4_CHANGE(FrameGrabberChanged), 20, kComm, &M::frameGrabberIndex),
    Row(VEXQ4_CHANGE(ShutterSpeedChanged), 6, kShutter, &M::shutterSpeedIndex, &M::shutterSpeedStr),
    Row(VEXQ4_CHANGE(TriggerTypeChanged), 7, kShutter, &M::triggerTypeIndex, &M::triggerTypeStr),
    Row(VEXQ4_CHANGE(TriggerPolarityChanged), 8, kShutter, &M::triggerPolarity),
    Row(VEXQ4_CHANGE(SmearlessChanged), 11, kShutter, &M::smearless),
    Row(VEXQ4_CHANGE(RCTFVALTypeChanged), 12, kShutter, &M::rctFvalType),
    Row(VEXQ4_CHANGE(ShutterModeChanged), 15, kShutter, &M::shutterMode),
    Row(VEXQ4_CHANGE(ProgrammableExposureChanged), 13, kShutter, &M::programmableExposure),
    Row(VEXQ4_CHANGE(BlueGainLevelChanged), 21, kGain, &M::blueGainLevel),
    Row(VEXQ4_CHANGE(BlueBlackLevelChanged), 22, kGain, &M::blueBlackLevel),
    Row(VEXQ4_CHANGE(ProgrammableExposureRedChanged), 23, kShutter, &M::programmableExposureRed),
    Row(VEXQ4_CHANGE(ProgrammableExposureGreenChanged), 24, kShutter,
        &M::programmableExposureGreen),
    Row(VEXQ4_CHANGE(ProgrammableExposureBlueChanged), 25, kShutter, &M::programmableExposureBlue),
    Row(VEXQ4_CHANGE(BlueKneePointChanged), 26, kGain, &M::blueKneePoint),
    Row(VEXQ4_CHANGE(RedKneeSlopeChanged), 27, kGain, &M::redKneeSlope),
    Row(VEXQ4_CHANGE(GreenKneeSlopeChanged), 35, kGain, &M::greenKneeSlope),
    Row(VEXQ4_CHANGE(BlueKneeSlopeChanged), 36, kGain, &M::blueKneeSlope),
    Row(VEXQ4_CHANGE(TriggerInputChanged), 16, kShutter, &M::triggerInput),
    Row(VEXQ4_CHANGE(AccumulationChanged), 17, kShutter, &M::accumulation),
    Row(VEXQ4_CHANGE(OutputBitAllocationChanged), 19, kShutter, &M::outputBitAllocation),
    Row(VEXQ4_CHANGE(PartialScanChanged), 9, kShutter, &M::partialScanIndex, &M::partialScanStr),
    Row(VEXQ4_CHANGE(BinningChanged), 18, kShutter, &M::binningIndex, &M::binningStr),
    Row(VEXQ4_CHANGE(WhiteBalanceChanged), 33, kGain, &M::whiteBalanceIndex, &M::whiteBalanceStr),
    Row(VEXQ4_CHANGE(MasterGainLevelChanged), 10, kGain, &M::masterGainLevel),
    Row(VEXQ4_CHANGE(RedGainLevelChanged), 28, kGain, &M::redGainLevel),
    Row(VEXQ4_CHANGE(RedBlackLevelChanged), 29, kGain, &M::redBlackLevel),
    Row(VEXQ4_CHANGE(Red3200KWBalPresetChanged), 40, kGain, &M::red3200KWBalPreset),
    Row(VEXQ4_CHANGE(Blue3200KWBalPresetChanged), 41, kGain, &M::blue3200KWBalPreset),
    Row(VEXQ4_CHANGE(Red4600KWBalPresetChanged), 42, kGain, &M::red4600KWBalPreset),
    Row(VEXQ4_CHANGE(Blue4600KWBalPresetChanged), 43, kGain, &M::blue4600KWBalPreset),
    Row(VEXQ4_CHANGE(Red5600KWBalPresetChanged), 44, kGain, &M::red5600KWBalPreset),
    Row(VEXQ4_CHANGE(Blue5600KWBalPresetChanged), 45, kGain, &M::blue5600KWBalPreset),
    Row(VEXQ4_CHANGE(GreenBlackLevelChanged), 37, kGain, &M::greenBlackLevel),
    Row(VEXQ4_CHANGE(GreenKneePointChanged), 30, kGain, &M::greenKneePoint),
    Row(VEXQ4_CHANGE(RedKneePointChanged), 31, kGain, &M::redKneePoint),
    Row(VEXQ4_CHANGE(KneeSelectChanged), 32, kGain, &M::kneeSelect),
    Row(VEXQ4_CHANGE(ShadingModeChanged), 38, kGain, &M::shadingMode),
    Row(VEXQ4_CHANGE(ColorBarChanged), 14, kShutter, &M::colorBar),
    Row(VEXQ4_CHANGE(UserIDChanged), 34, kAbout, nullptr, &M::userID),
    Row(VEXQ4_CHANGE(CameraIDChanged), 0, kAbout, nullptr, &M::cameraID),
    Row(VEXQ4_CHANGE(ModelNameChanged), 0, kAbout, nullptr, &M::modelName),
    Row(VEXQ4_CHANGE(EEPROMCurrentAreaNoChanged), 0, kComm, &M::eepromCurrentAreaNo),
    Row(VEXQ4_CHANGE(OnePushResultChanged), 0, kGain, &M::onePushResult),
    Row(VEXQ4_CHANGE(AutoWhiteAreaChanged), 39, kGain, &M::autoWhiteAreaIndex,
        &M::autoWhiteAreaStr),
};
#undef VEXQ4_CHANGE

constexpr bool InOrder() {
  for (std::size_t i = 0; i < kChanges.size(); ++i)
    if (static_cast<std::size_t>(kChanges[i].change) != i) return false;
  return true;
}
static_assert(kChanges.size() == static_cast<std::size_t>(Change::kCount));
static_assert(InOrder(), "rows follow the enumeration");

}  // namespace

std::span<const ChangeInfo> Changes() { return kChanges; }

const ChangeInfo& InfoOf(Change change) { return kChanges[static_cast<std::size_t>(change)]; }

}  // namespace vexq4::control
