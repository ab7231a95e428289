// The camera model: a cached copy of every RX-Q4 setting, read and written
// through VexQ4Comm by port number, with a virtual notification per change.
//
// The control derives from CVexCamInterface and overrides the notifications
// to fire its events and refresh its windows. Everything is synchronous and
// single-threaded: each camera exchange blocks until the camera answers or
// the library's time-out passes. Failures are status codes (0 success, the
// negative VexQ4Comm codes, -7 to -9 for files; vexq4/model/status.h types
// them), never exceptions.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "vexq4/model/settings.h"
#include "vexq4/model/status.h"

namespace vexq4::model {

// One step of a long operation (read-all, write-all, load, report, shading
// transfer), announced before each camera exchange and once more at the end
// with step == total.
struct ProgressStep {
  std::string_view operation;  // e.g. "ReadAllFromCamera"
  int step;
  int total;
};

enum class Direction { kQuery, kCommand };

struct NotificationTable;
struct TestAccess;

}  // namespace vexq4::model

class VEXQ4_MODEL_API CVexCamInterface {
 public:
  // Number given to ReportCommand by commands without a numeric value.
  static constexpr int NoValue = -99999;
  static constexpr int kShadingTableInts = 1546;
  // What a stopped operation returns (RequestStop).
  static constexpr int kStopped = -6;

  CVexCamInterface();
  CVexCamInterface(const CVexCamInterface&) = delete;
  CVexCamInterface& operator=(const CVexCamInterface&) = delete;
  virtual ~CVexCamInterface();

  // ---- Notifications, in their fixed order. The model calls each right
  // after it changed the matching field(s); overrides read the new value
  // from the model. The four status ones store their flag; keep that when
  // overriding (call the base).
#define VEXQ4_STATUS_NOTIFICATION(Name, ...) virtual void Name(int state);
#define VEXQ4_NOTIFICATION(Name, ...) virtual void Name();
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_STATUS_NOTIFICATION, VEXQ4_NOTIFICATION, VEXQ4_NOTIFICATION,
                            VEXQ4_NOTIFICATION, VEXQ4_NOTIFICATION)
#undef VEXQ4_STATUS_NOTIFICATION
#undef VEXQ4_NOTIFICATION
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
  // Status text of a library result as a message line shows it: the
  // 46-character error texts, "COMPLETE", or empty for codes without a text
  // (vexq4/model/status.h describes every outcome).
  static std::string_view StatusText(int result);

  // ---- Settings by table row (the Get/Set members below are wrappers).
  int GetSetting(const vexq4::model::SettingRow& row);
  // White balance goes through SetWhiteBalanceIndex (it re-reads gains).
  int SetSetting(const vexq4::model::SettingRow& row, int value);

  // Get<Property> and Set<Property> of every setting of settings.h, by the
  // query and the command shape. The white balance's set also reads the
  // gains (or the auto white area) the new mode uses.
#define VEXQ4_SETTING_MEMBERS(Notification, Property, ...) \
  int Get##Property();                                     \
  int Set##Property(int v);
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_SKIP, VEXQ4_SETTING_MEMBERS, VEXQ4_SETTING_MEMBERS,
                            VEXQ4_SETTING_MEMBERS)
#undef VEXQ4_SETTING_MEMBERS

  // Command SA: stores the camera's working settings into user area 1..3.
  int StoreSettings(int area);

  // ---- Connection management.
  int SetComPort(int port);
  int SetFrameGrabberIndex(int index);
  // The COM port number a Camera Link connection opened next is kept under
  // (the library's connection number), announced, without connecting.
  void SetConnectionPort(int port);
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
  // The quiet time of fast reads, the hosts' default.
  static constexpr int kFastReadsDrainMs = 15;
  // How the hosts (vexq4, vexq4-studio, the Python package) read, set for
  // the process by UseHostReads: the user's choice of the standard reads
  // (vexq4 --standard-reads, the studio's entry, fast_reads=False) comes
  // first; then VEXQ4_QUERY_DRAIN_MS when it holds a number the library
  // takes (0 to 100 ms, 0 the standard drain); then fast reads.
  struct HostReads {
    int drainMs = kFastReadsDrainMs;  // the quiet time in use; 0 the standard drain
    bool fromEnvironment = false;     // VEXQ4_QUERY_DRAIN_MS chose it
    std::string ignoredVariable;      // VEXQ4_QUERY_DRAIN_MS's text, set but not taken
  };
  static HostReads UseHostReads(bool standardReads);
  // The longest quiet time SetQueryDrainTime and VEXQ4_QUERY_DRAIN_MS take.
  static constexpr int kMaxQueryDrainMs = 100;
  // For a host asked to stop (a signal): the exchange under way ends
  // early and every later one fails at once, sending nothing, so a long
  // operation (a write-all, a report) unwinds at its next exchange.
  // Closing the connection still gives the port its settings back. For the
  // rest of the process; async-signal-safe (VexQ4AbandonComm).
  static void AbandonCameraWork() noexcept;

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

  // ---- Files (settings file, camera data report, shading table). Each
  // gives its outcome's code; its typed twin below gives the outcome.
  int WriteAllToFile(std::string_view path);
  int ReadAllFromFile(std::string_view path);
  int WriteCameraDataToFile(std::string_view path);
  int StartAutoShadingCorrection();
  int SaveShadingDataIntoFile(std::string_view path);
  int LoadShadingDataFromFile(std::string_view path);
  vexq4::model::Status SaveSettingsFile(std::string_view path);      // WriteAllToFile
  vexq4::model::Status LoadSettingsFile(std::string_view path);      // ReadAllFromFile
  vexq4::model::Status SaveCameraDataReport(std::string_view path);  // WriteCameraDataToFile
  vexq4::model::Status SaveShadingFile(std::string_view path);       // SaveShadingDataIntoFile
  vexq4::model::Status LoadShadingFile(std::string_view path);       // LoadShadingDataFromFile
  // Why the last shading file loaded was refused as no table
  // (kNotAShadingTable): its line and what is wrong with it, in words the
  // operator mends the file by. Empty after any other outcome.
  const std::string& ShadingFileProblem() const { return shadingFileProblem_; }

  // ---- Progress of long operations (not a notification: changes no line).
  void SetProgressHandler(std::function<void(const vexq4::model::ProgressStep&)> handler);
  // Announces a step; false, without announcing it, once a stop is
  // requested (the operation then sends nothing more).
  bool ReportProgress(std::string_view operation, int step, int total);

  // ---- Stopping this camera's long operation (a script's Ctrl-C). From
  // any thread, a progress handler or a signal handler. The operation that
  // reports progress stops at its next step: nothing is sent after the
  // exchange under way (a shading frame under way ends at once, and a
  // stopped shading transfer writes no file and leaves the camera its
  // table), it returns -6 (as an abandoned exchange does), and
  // a camera it may have left unlike the cache (a write cut short, an area
  // loaded) is no longer synchronized. Until ClearStop() every such
  // operation stops at its first step. Other models, and their cameras,
  // go on.
  void RequestStop() noexcept;
  void ClearStop() noexcept;
  bool StopRequested() const noexcept;

  // ---- The cached state: what the camera last answered or was last sent,
  // for every setting and notification. Hosts and windows read it here and
  // change it only through the operations above, each of which calls its
  // notification.
  // A setting's number (a list setting's index), and a list setting's
  // entry text (empty for the others).
  int Value(const vexq4::model::SettingRow& row) const;
  const std::string& Text(const vexq4::model::SettingRow& row) const;
  // What a notification announces (NotificationRow::hasNumber, hasText);
  // 0 and the empty text where it announces none.
  int Value(const vexq4::model::NotificationRow& row) const;
  const std::string& Text(const vexq4::model::NotificationRow& row) const;
  // The four status flags, each 0 or 1.
  int IsOnline() const { return isOnline; }
  int IsSynchronized() const { return isSynchronized; }
  int IsSending() const { return isSending; }
  int IsReceiving() const { return isReceiving; }
  // The connection: its COM port number (a Camera Link connection's too:
  // it names the library's connection) and frame grabber index.
  int ComPort() const { return comPort; }
  int FrameGrabberIndex() const { return frameGrabberIndex; }
  // Whether the connection goes through the manufacturer-independent
  // Camera Link library (ClAllSerialSetFrameGrabberIndex).
  bool ClAllSerialInUse() const { return clAllSerialInUse != 0; }
  // The identity the camera last reported.
  const std::string& UserID() const { return userID; }
  const std::string& ModelName() const { return modelName; }
  const std::string& CameraID() const { return cameraID; }
  int FirmwareVersion() const { return firmwareVersion; }
  int EEPROMCurrentAreaNo() const { return eepromCurrentAreaNo; }
  // Index into kOnePushResultList of the last one-push white balance.
  int OnePushResult() const { return onePushResult; }
  // The shading table as last read from or sent to the camera
  // (shading_file.cpp says which view holds what).
  std::span<const int> ShadingTable() const { return shadingTable; }

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
  // The notification table names the fields below; the tests' helper
  // presets them (tests/support/model_access.h).
  friend struct vexq4::model::NotificationTable;
  friend struct vexq4::model::TestAccess;

  int Query(const vexq4::model::SettingRow& row);
  int Command(const vexq4::model::SettingRow& row, int value);
  // A setting's value into the cache (and a list setting's text with it).
  void Store(const vexq4::model::SettingRow& row, int value);
  // The white balance's set: the command, then what the new mode uses.
  int SetWhiteBalanceMode(int mode);
  int WhiteBalanceMode() const;
  int QueryByCode(unsigned code);
  int Connect(int grabberIndex, int allSerialMode);
  int ReadAll(std::string_view operation, int firstStep, int extraSteps);
  // A stop that may leave the camera unlike the cache: no longer synchronized.
  int StoppedUnsynchronized();
  int GetText(int (*read)(int, char*), std::string_view mnemonic, std::span<char> out,
              std::string CVexCamInterface::*field, void (CVexCamInterface::*notification)());

  // What shadingTable holds of the camera's table on this connection: a
  // shading file that leaves entries unfilled keeps the camera's values
  // there, so they must be known (the read view after a read, the send
  // view after a send) or read first.
  enum class ShadingKnown { kNothing, kRead, kSent };
  ShadingKnown shadingKnown_ = ShadingKnown::kNothing;
  std::string shadingFileProblem_;

  // The settings' values and list texts, by SettingRow::index.
  std::array<int, vexq4::model::kSettingCount> values_{};
  std::array<std::string, vexq4::model::kSettingCount> texts_;
  // The state that is no setting's; NotificationRow::number and text point
  // here (the names are the table's).
  int isOnline = 0;
  int isSynchronized = 0;
  int isSending = 0;
  int isReceiving = 0;
  int comPort = 0;
  int frameGrabberIndex = 0;
  int clAllSerialInUse = 0;
  std::string userID;
  std::string modelName;
  std::string cameraID;
  int firmwareVersion = 0;
  int eepromCurrentAreaNo = 0;
  int onePushResult = 0;
  std::array<int, kShadingTableInts> shadingTable{};

  bool ownBehaviourOnly_ = false;
  // Port of the connection the model opened (-1: none): a change of comPort
  // must not make us close (and so leak) a different port than that one.
  // Atomic: a stop request reads it from any thread.
  std::atomic<int> connectedPort_{-1};
  std::function<void(const vexq4::model::ProgressStep&)> progress_;
  std::atomic<bool> stopRequested_{false};
  static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
};
