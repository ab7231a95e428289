// The camera model: a cached copy of every RX-Q4 setting, read and written
// through VexQ4Comm by port number, with a virtual notification per change.
//
// The control derives from CVexCamInterface and overrides the notifications
// to fire its events and refresh its windows. Everything is synchronous and
// single-threaded: each camera exchange blocks until the camera answers or
// the library's time-out passes. Failures are status codes (0 success, the
// negative VexQ4Comm codes, -7 to -9 for files), never exceptions.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

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

// One step of a long operation (read-all, write-all, load, report, shading
// transfer), announced before each camera exchange and once more at the end
// with step == total.
struct ProgressStep {
  std::string_view operation;  // e.g. "ReadAllFromCamera"
  int step;
  int total;
};

enum class Direction { kQuery, kCommand };

struct SettingRow;

}  // namespace vexq4::model

// Visible from libXVexQ4.so, so C++ hosts can use the model directly.
#if defined(__GNUC__)
#define VEXQ4_MODEL_API __attribute__((visibility("default")))
#else
#define VEXQ4_MODEL_API
#endif

class VEXQ4_MODEL_API CVexCamInterface {
 public:
  // Number given to ReportCommand by commands without a numeric value.
  static constexpr int NoValue = -99999;
  static constexpr int kShadingTableInts = 1546;

  CVexCamInterface();
  CVexCamInterface(const CVexCamInterface&) = delete;
  CVexCamInterface& operator=(const CVexCamInterface&) = delete;
  virtual ~CVexCamInterface();

  // ---- Notifications, in their fixed order. The model calls each right
  // after it changed the matching field(s); overrides read the new value
  // from the model. The four status ones store their flag; keep that when
  // overriding (call the base).
  virtual void OnlineStatusChanged(int online);
  virtual void SynchronizedStatusChanged(int synchronized);
  virtual void SendingToCamStatusChanged(int sending);
  virtual void ReceiveFromCamStatusChanged(int receiving);
  virtual void ComPortChanged();
  virtual void FrameGrabberChanged();
  virtual void ShutterSpeedChanged();
  virtual void TriggerTypeChanged();
  virtual void TriggerPolarityChanged();
  virtual void SmearlessChanged();
  virtual void RCTFVALTypeChanged();
  virtual void ShutterModeChanged();
  virtual void ProgrammableExposureChanged();
  virtual void BlueGainLevelChanged();
  virtual void BlueBlackLevelChanged();
  virtual void ProgrammableExposureRedChanged();
  virtual void ProgrammableExposureGreenChanged();
  virtual void ProgrammableExposureBlueChanged();
  virtual void BlueKneePointChanged();
  virtual void RedKneeSlopeChanged();
  virtual void GreenKneeSlopeChanged();
  virtual void BlueKneeSlopeChanged();
  virtual void TriggerInputChanged();
  virtual void AccumulationChanged();
  virtual void OutputBitAllocationChanged();
  virtual void PartialScanChanged();
  virtual void BinningChanged();
  virtual void WhiteBalanceChanged();
  virtual void MasterGainLevelChanged();
  virtual void RedGainLevelChanged();
  virtual void RedBlackLevelChanged();
  virtual void Red3200KWBalPresetChanged();
  virtual void Blue3200KWBalPresetChanged();
  virtual void Red4600KWBalPresetChanged();
  virtual void Blue4600KWBalPresetChanged();
  virtual void Red5600KWBalPresetChanged();
  virtual void Blue5600KWBalPresetChanged();
  virtual void GreenBlackLevelChanged();
  virtual void GreenKneePointChanged();
  virtual void RedKneePointChanged();
  virtual void KneeSelectChanged();
  virtual void ShadingModeChanged();
  virtual void ColorBarChanged();
  virtual void UserIDChanged();
  virtual void CameraIDChanged();
  virtual void ModelNameChanged();
  virtual void EEPROMCurrentAreaNoChanged();
  virtual void OnePushResultChanged();
  virtual void AutoWhiteAreaChanged();
  // One message line pair (query or command with its outcome), CR LF ended.
  virtual void CommandMessage(std::string line);

  // ---- Building blocks.
  // Probes with an SH query (isSending raised); closes on failure.
  int CheckConnection();
  // 0, -5 when no connection is open, or VexQ4ExitComm's code.
  int CloseConnection();
  // Builds the message line of one exchange and passes it to CommandMessage.
  void ReportCommand(vexq4::model::Direction direction, std::string_view mnemonic, int number,
                     std::string_view value, int result);
  // The text ReportCommand passes on, for callers that only need the line.
  static std::string MessageLine(vexq4::model::Direction direction, std::string_view mnemonic,
                                 int number, std::string_view value, int result);
  // Status text of a result: the 46-character error texts, "COMPLETE", or
  // empty for codes without a text.
  static std::string_view StatusText(int result);

  // ---- Settings by table row (the Get/Set members below are wrappers).
  int GetSetting(const vexq4::model::SettingRow& row);
  // White balance goes through SetWhiteBalanceIndex (it re-reads gains).
  int SetSetting(const vexq4::model::SettingRow& row, int value);
  int Value(const vexq4::model::SettingRow& row) const;

  int GetShutterSpeedIndex();
  int SetShutterSpeedIndex(int v);
  int GetTriggerTypeIndex();
  int SetTriggerTypeIndex(int v);
  int GetPartialScanIndex();
  int SetPartialScanIndex(int v);
  int GetBinningIndex();
  int SetBinningIndex(int v);
  int GetWhiteBalanceIndex();
  int SetWhiteBalanceIndex(int mode);
  int GetAutoWhiteAreaIndex();
  int SetAutoWhiteAreaIndex(int v);
  int GetMasterGainLevel();
  int SetMasterGainLevel(int v);
  int GetRedGainLevel();
  int SetRedGainLevel(int v);
  int GetBlueGainLevel();
  int SetBlueGainLevel(int v);
  int GetRedBlackLevel();
  int SetRedBlackLevel(int v);
  int GetGreenBlackLevel();
  int SetGreenBlackLevel(int v);
  int GetBlueBlackLevel();
  int SetBlueBlackLevel(int v);
  int GetRedKneePoint();
  int SetRedKneePoint(int v);
  int GetGreenKneePoint();
  int SetGreenKneePoint(int v);
  int GetBlueKneePoint();
  int SetBlueKneePoint(int v);
  int GetRedKneeSlope();
  int SetRedKneeSlope(int v);
  int GetGreenKneeSlope();
  int SetGreenKneeSlope(int v);
  int GetBlueKneeSlope();
  int SetBlueKneeSlope(int v);
  int GetProgrammableExposure();
  int SetProgrammableExposure(int v);
  int GetProgrammableExposureRed();
  int SetProgrammableExposureRed(int v);
  int GetProgrammableExposureGreen();
  int SetProgrammableExposureGreen(int v);
  int GetProgrammableExposureBlue();
  int SetProgrammableExposureBlue(int v);
  int GetRed3200KWBalPreset();
  int SetRed3200KWBalPreset(int v);
  int GetBlue3200KWBalPreset();
  int SetBlue3200KWBalPreset(int v);
  int GetRed4600KWBalPreset();
  int SetRed4600KWBalPreset(int v);
  int GetBlue4600KWBalPreset();
  int SetBlue4600KWBalPreset(int v);
  int GetRed5600KWBalPreset();
  int SetRed5600KWBalPreset(int v);
  int GetBlue5600KWBalPreset();
  int SetBlue5600KWBalPreset(int v);
  int GetShutterMode();
  int SetShutterMode(int v);
  int GetKneeSelect();
  int SetKneeSelect(int v);
  int GetShadingMode();
  int SetShadingMode(int v);
  int GetTriggerPolarity();
  int SetTriggerPolarity(int v);
  int GetSmearless();
  int SetSmearless(int v);
  int GetRCTFVALType();
  int SetRCTFVALType(int v);
  int GetColorBar();
  int SetColorBar(int v);
  int GetTriggerInput();
  int SetTriggerInput(int v);
  int GetAccumulation();
  int SetAccumulation(int v);
  int GetOutputBitAllocation();
  int SetOutputBitAllocation(int v);

  // Command SA: stores the camera's working settings into user area 1..3.
  int StoreSettings(int area);

  // ---- Connection management.
  int SetComPort(int port);
  int SetFrameGrabberIndex(int index);
  int ClSerialSetFrameGrabberIndex(int index);
  int ClAllSerialSetFrameGrabberIndex(int index);
  // Camera Link listing, forwarded unchanged to VexQ4Comm.
  int ClSerialGetNumManufacturers(unsigned* count);
  int ClSerialGetManufacturer(unsigned index, char* name, unsigned* size, unsigned* version);
  int ClSerialSelectManufacturer(const char* name);
  int ClSerialGetNumSerialPorts(unsigned* count);
  int ClAllSerialGetNumPorts(unsigned* count);
  int ClAllSerialGetPortInfo(unsigned index, char* manufacturer, unsigned* manufacturerSize,
                             char* portId, unsigned* portIdSize, unsigned* version);
  int ClAllSerialGetNumBytesAvail(unsigned* count);
  int ClAllSerialGetSupportedBaudRates(unsigned* rates);
  int ClAllSerialSetBaudRate(unsigned rate);
  // Fast reads: the quiet time in ms that ends the drain before every
  // query, for the whole process (VexQ4SetQueryDrainTime). 1..100, 0 the
  // standard drain (an empty read of about 101 ms), -1 back to
  // VEXQ4_QUERY_DRAIN_MS. 0, or -1 for other values.
  static int SetQueryDrainTime(int ms);
  // The quiet time of fast reads as vexq4 --fast-reads and the studio's
  // setting choose it.
  static constexpr int kFastReadsDrainMs = 15;

  // ---- Whole-camera transfers and identity.
  int ReadAllFromCamera();
  int WriteAllToCamera();
  // Command LD with the area (0 factory, 1..3 user), then a read-all.
  int LoadSettings(int area);
  // The text goes into `out`, a buffer of at least 10 bytes (9 characters
  // and a NUL), only on success; a null `out` only updates the cache.
  int GetCameraID(char* out);
  int GetModelName(char* out);
  // The same into a buffer of any size: at most out.size() bytes, cut and
  // NUL-terminated; an empty span only updates the cache.
  int GetCameraID(std::span<char> out);
  int GetModelName(std::span<char> out);
  int GetUserID();
  // A null text is the empty user ID.
  int SetUserID(const char* text);
  int SetUserID(std::string_view text);
  int GetFirmwareVersion();
  int GetEEPROMCurrentAreaNo();

  // ---- White balance and one-push.
  int SetOnePushMode();
  int GetOnePushResult();

  // ---- Files (settings file, camera data report, shading table).
  int WriteAllToFile(std::string_view path);
  int ReadAllFromFile(std::string_view path);
  int WriteCameraDataToFile(std::string_view path);
  int StartAutoShadingCorrection();
  int SaveShadingDataIntoFile(std::string_view path);
  int LoadShadingDataFromFile(std::string_view path);

  // ---- Progress of long operations (not a notification: changes no line).
  void SetProgressHandler(std::function<void(const vexq4::model::ProgressStep&)> handler);
  void ReportProgress(std::string_view operation, int step, int total);

  // ---- Fields, in their fixed order (read by the control and the tools).
  int isOnline = 0;
  int isSynchronized = 0;
  int isSending = 0;
  int isReceiving = 0;
  int comPort = 0;
  int frameGrabberIndex = 0;
  int autoWhiteAreaIndex = 0;
  std::string autoWhiteAreaStr;
  std::array<std::string, 10> autoWhiteAreaList;
  int shutterSpeedIndex = 0;
  std::string shutterSpeedStr;
  std::array<std::string, 12> shutterSpeedList;
  int triggerTypeIndex = 0;
  std::string triggerTypeStr;
  std::array<std::string, 5> triggerTypeList;
  int triggerPolarity = 0;
  int smearless = 0;
  int rctFvalType = 0;
  int triggerInput = 0;
  int shutterMode = 0;
  int programmableExposure = 0;
  int blueGainLevel = 0;
  int blueBlackLevel = 0;
  int programmableExposureRed = 0;
  int programmableExposureGreen = 0;
  int programmableExposureBlue = 0;
  int blueKneePoint = 0;
  int redKneeSlope = 0;
  int greenKneeSlope = 0;
  int blueKneeSlope = 0;
  int kneeSelect = 0;
  int shadingMode = 0;
  int accumulation = 0;
  int outputBitAllocation = 0;
  int colorBar = 0;
  int partialScanIndex = 0;
  std::string partialScanStr;
  std::array<std::string, 4> partialScanList;
  int binningIndex = 0;
  std::string binningStr;
  std::array<std::string, 2> binningList;
  int whiteBalanceIndex = 1;
  std::string whiteBalanceStr;
  std::array<std::string, 5> whiteBalanceList;
  int masterGainLevel = 0;
  int redGainLevel = 0;
  int red3200KWBalPreset = 0;
  int blue3200KWBalPreset = 0;
  int red4600KWBalPreset = 0;
  int blue4600KWBalPreset = 0;
  int red5600KWBalPreset = 0;
  int blue5600KWBalPreset = 0;
  int redBlackLevel = 0;
  int greenBlackLevel = 0;
  int greenKneePoint = 0;
  int redKneePoint = 0;
  std::string userID;
  std::string modelName;
  std::string cameraID;
  int firmwareVersion = 0;
  int eepromCurrentAreaNo = 0;
  int onePushResult = 0;
  std::array<std::string, 7> onePushResultList;
  int clAllSerialInUse = 0;
  std::array<int, kShadingTableInts> shadingTable{};

 protected:
  // The helpers every camera operation goes through; the file operations
  // use them too. Each calls the virtual notification, or, once destruction
  // has begun, only the model's own behaviour.
  void Notify(void (CVexCamInterface::*notification)());
  void NotifyOnline(int online);
  void NotifySynchronized(int synchronized);
  void NotifySending(int sending);
  void NotifyReceiving(int receiving);
  void NotifyMessage(std::string line);

 private:
  int Query(const vexq4::model::SettingRow& row);
  int Command(const vexq4::model::SettingRow& row, int value);
  int QueryByCode(unsigned code);
  int SetByCode(unsigned code, int value);
  int Connect(int grabberIndex, int allSerialMode);
  int ReadAll(std::string_view operation, int firstStep, int extraSteps);
  int GetText(int (*read)(int, char*), std::string_view mnemonic, std::span<char> out,
              std::string CVexCamInterface::*field, void (CVexCamInterface::*notification)());

  // What shadingTable holds of the camera's table on this connection: a
  // shading file that leaves entries unfilled keeps the camera's values
  // there, so they must be known (the read view after a read, the send
  // view after a send) or read first.
  enum class ShadingKnown { kNothing, kRead, kSent };
  ShadingKnown shadingKnown_ = ShadingKnown::kNothing;

  bool ownBehaviourOnly_ = false;
  // Port of the connection the model opened (-1: none): a change of comPort
  // must not make us close (and so leak) a different port than that one.
  int connectedPort_ = -1;
  std::function<void(const vexq4::model::ProgressStep&)> progress_;
};

namespace vexq4::model {

// One camera setting: how it is named, where it lives in the model and
// which rules its get and set follow. The model, the settings file, the
// report, the automation layer and the command-line host read this table.
struct SettingRow {
  std::string_view property;  // automation property, e.g. "MasterGainLevel"
  unsigned code;              // ParameterCode
  std::string_view mnemonic;  // e.g. "GA"
  int CVexCamInterface::*field;
  std::string CVexCamInterface::*text;     // list text field, or nullptr
  std::span<const std::string_view> list;  // empty for plain numbers
  int checkMax;                            // set rejects unsigned(v) > checkMax; -1: no check
  bool quietReceive;                       // get raises no ReceiveFromCamStatusChanged
  bool closeOnFailedSet;                   // failed set closes without probing (PEG, PEB)
  void (CVexCamInterface::*notification)();
};

// Every setting with a get and a set, in the order of the automation table.
VEXQ4_MODEL_API std::span<const SettingRow> Settings();
// Row by property name ("MasterGainLevel") or mnemonic ("GA"), or nullptr.
VEXQ4_MODEL_API const SettingRow* FindSetting(std::string_view propertyOrMnemonic);
// Row by parameter code, or nullptr.
VEXQ4_MODEL_API const SettingRow* FindSettingByCode(unsigned code);

}  // namespace vexq4::model
