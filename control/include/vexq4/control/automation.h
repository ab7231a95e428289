// The control's automation layer: typed values, the member table that names
// every property, method and event with its DISPID and parameters, the
// automation error, and dispatch by name or DISPID.
//
// One table drives everything that addresses members from outside C++:
// dispatch, the type description that hosts list, the registry's type
// library file and the studio's script mode. C++ hosts may also call the
// control's typed members directly; both ways reach the same code.
#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "vexq4/model/settings.h"
#include "vexq4/model/status.h"

#if defined(__GNUC__)
#define VEXQ4_CONTROL_API __attribute__((visibility("default")))
#else
#define VEXQ4_CONTROL_API
#endif

class CXVexCamCtrl;

namespace vexq4::control {

// ---- Codes the control raises (two standard control codes) and the
// dispatch layer's own codes.
inline constexpr std::uint32_t kInvalidPropertyValue = 0x800A017C;  // 380
inline constexpr std::uint32_t kDeviceIoError = 0x800A0039;         // 57
inline constexpr std::uint32_t kMemberNotFound = 0x80020003;
inline constexpr std::uint32_t kTypeMismatch = 0x80020005;
inline constexpr std::uint32_t kOverflow = 0x8002000A;
inline constexpr std::uint32_t kBadParamCount = 0x8002000E;
inline constexpr std::uint32_t kNotCallable = 0x80020009;

inline constexpr int kDispidAboutBox = -552;
inline constexpr int kDispidErrorEvent = -608;
// The whole short range: a numeric property whose setter checks nothing.
inline constexpr int kNoMin = model::kShortMin;
inline constexpr int kNoMax = model::kShortMax;

// The control's string table: identifier and text, byte for byte. The
// texts of the outcomes are the ones the outcomes' descriptions name
// (vexq4/model/status.h).
enum StringId : int {
  kIdsOnlyCom1To16 = 32786,
  kIdsCameraNotFound = 32787,  // formatted with the port number
  kIdsInvalidNull = 32795,
  kIdsInvalidParameter = model::Describe(model::Status::kOutOfRange).stringId,          // 32796
  kIdsUnknownCommand = model::Describe(model::Status::kNotAcknowledged).stringId,       // 32797
  kIdsUnknownCommandReply = model::Describe(model::Status::kMalformedAnswer).stringId,  // 32798
  kIdsCameraOffline = model::Describe(model::Status::kOffline).stringId,                // 32799
  kIdsErrorWriting = model::Describe(model::Status::kFileNotWritable).stringId,         // 32805
  kIdsErrorReading = model::Describe(model::Status::kFileNotReadable).stringId,         // 32806
  // Formatted with the file name.
  kIdsNotValidIniFile = model::Describe(model::Status::kInvalidSettingsFile).stringId,  // 32807
  kIdsOnlyGrabber1To16 = 32872,
  kIdsGrabberNotFound = 32873,
};
VEXQ4_CONTROL_API QString LoadString(int id);

// Name of the module: the source of every automation error and the name of
// its profile.
inline constexpr char kModuleName[] = "XVexQ4";

// An automation error: what a failed property access or method call ends
// with. Typed members throw it; dispatch returns it.
class VEXQ4_CONTROL_API AutomationError : public std::exception {
 public:
  AutomationError(std::uint32_t scode, QString description, int helpContext,
                  QString source = QString::fromLatin1(kModuleName))
      : scode_(scode),
        description_(std::move(description)),
        source_(std::move(source)),
        helpContext_(helpContext),
        what_(description_.toUtf8()) {}
  // Text from the string table, help context = its identifier.
  static AutomationError FromId(std::uint32_t scode, int id) {
    return AutomationError(scode, LoadString(id), id);
  }

  std::uint32_t scode() const { return scode_; }
  const QString& description() const { return description_; }
  const QString& source() const { return source_; }
  int helpContext() const { return helpContext_; }
  const char* what() const noexcept override { return what_.constData(); }

 private:
  std::uint32_t scode_;
  QString description_;
  QString source_;
  int helpContext_;
  QByteArray what_;
};

// ---- Types and the member table.
enum class VarType : std::uint8_t { kVoid, kShort, kLong, kBool, kText };
enum class ParamDir : std::uint8_t { kIn, kOut, kInOut };
enum class MemberKind : std::uint8_t { kProperty, kMethod, kEvent };

// A value crossing the automation boundary: nothing (a method without
// result), a number (short, long and BOOL all travel as 32-bit), or a text.
using Value = std::variant<std::monostate, std::int32_t, QString>;

// One argument of a call. An out or in/out parameter may be missing (the
// host passed no pointer); a present one holds its initial value and, after
// the call, what the member wrote.
struct Arg {
  bool present = true;
  Value value;
};

struct ParamInfo {
  std::string_view name;
  VarType type;
  ParamDir dir;
};

using GetThunk = Value (*)(CXVexCamCtrl&);
using PutThunk = void (*)(CXVexCamCtrl&, const Value&);
using CallThunk = Value (*)(CXVexCamCtrl&, std::span<Arg>);

struct MemberInfo {
  int dispid;
  std::string_view name;
  MemberKind kind;
  VarType type;  // a property's type, a method's result type
  std::span<const ParamInfo> params;
  GetThunk get = nullptr;       // properties
  PutThunk put = nullptr;       // properties
  CallThunk call = nullptr;     // methods
  bool getReadsCamera = false;  // a property whose getter asks the camera first
};

// Every member: the 51 properties (DISPID 1..51), the 75 methods (52..126)
// and AboutBox (-552), then the 45 events (DISPID 1..45).
VEXQ4_CONTROL_API std::span<const MemberInfo> Members();
// A property or method by exact name (letter case included), or an event.
VEXQ4_CONTROL_API const MemberInfo* FindMember(std::string_view name);
// A property or method by DISPID (events are not addressed this way).
VEXQ4_CONTROL_API const MemberInfo* FindMember(int dispid);
// An event by name or DISPID.
VEXQ4_CONTROL_API const MemberInfo* FindEvent(std::string_view name);
VEXQ4_CONTROL_API const MemberInfo* FindEvent(int dispid);

VEXQ4_CONTROL_API std::string_view KindName(MemberKind kind);
VEXQ4_CONTROL_API std::string_view TypeName(VarType type);

// ---- Dispatch.
enum class InvokeKind { kGet, kPut, kCall };

struct InvokeResult {
  enum Status {
    kOk,
    kException,  // the member raised `error`
    kWrongKind,  // get/put of a method, call of a property, an event
    kBadParamCount,
    kTypeMismatch,  // a text where a number belongs, or the reverse
    kOverflow,      // a number outside its type (a short beyond 16 bits)
  };
  Status status = kOk;
  std::optional<AutomationError> error;  // kException, and the dispatch codes
  Value result;                          // get and call
  QString problem;                       // what was wrong, for kWrongKind..kOverflow
};

// Checks `args` against the member's parameters, then calls it. For a get
// `args` is empty; for a put it holds the one new value. Out and in/out
// arguments come back holding what the member wrote.
VEXQ4_CONTROL_API InvokeResult Invoke(CXVexCamCtrl& control, const MemberInfo& member,
                                      InvokeKind kind, std::span<Arg> args);
// Invoke by name or by DISPID (properties and methods).
VEXQ4_CONTROL_API InvokeResult Invoke(CXVexCamCtrl& control, std::string_view name, InvokeKind kind,
                                      std::span<Arg> args);
VEXQ4_CONTROL_API InvokeResult Invoke(CXVexCamCtrl& control, int dispid, InvokeKind kind,
                                      std::span<Arg> args);

// Property browsers: the predefined strings of ShutterSpeedStr (7),
// TriggerTypeStr (9) and AutoWhiteAreaStr (45), each cookie its index.
VEXQ4_CONTROL_API std::vector<QString> PredefinedStrings(int dispid);
VEXQ4_CONTROL_API std::optional<QString> PredefinedValue(int dispid, int cookie);

}  // namespace vexq4::control
