// The member table of the control's automation interface, and dispatch.
//
// Rows bind a DISPID, a name and typed parameters to the control's typed
// member through a thunk generated from the member's C++ signature, so
// dispatch converts arguments in one place for every member.
#include <QStringList>
#include <algorithm>
#include <array>
#include <limits>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/automation.h"

namespace vexq4::control {

QString LoadString(int id) {
  // The outcomes' texts are the words of their one description (0: an
  // outcome that raises nothing, and no text).
  for (const model::StatusDescription& d : model::kStatusDescriptions)
    if (id != 0 && d.stringId == id)
      return QString::fromLatin1(d.words.data(), static_cast<qsizetype>(d.words.size()));
  switch (id) {
    case kIdsOnlyCom1To16:
      return QStringLiteral("Only COM %1..%2 is valid")
          .arg(model::kFirstComPort)
          .arg(model::kLastComPort);
    case kIdsCameraNotFound:
      return QStringLiteral(
          "Camera not found or unable to open communication port\n  Communication port %d.\n\n"
          "Make sure that no other programs \n are connected to this port.");
    case kIdsInvalidNull:
      return QStringLiteral("Invalid input parameter (NULL)");
    case kIdsOnlyGrabber1To16:
      return QStringLiteral("Only Frame Grabber %1..%2 is valid")
          .arg(model::kFirstGrabber)
          .arg(model::kLastGrabber);
    case kIdsGrabberNotFound:
      return QStringLiteral("Frame Grabber Manufacturer not found ");
    default:
      return {};
  }
}

namespace {

using C = CXVexCamCtrl;
constexpr auto kIn = ParamDir::kIn;
constexpr auto kOut = ParamDir::kOut;
constexpr auto kInOut = ParamDir::kInOut;
constexpr auto kShort = VarType::kShort;
constexpr auto kLong = VarType::kLong;
constexpr auto kBool = VarType::kBool;
constexpr auto kText = VarType::kText;
constexpr auto kVoid = VarType::kVoid;

// ---- Converting one argument to the C++ parameter and back.
std::int32_t NumberOf(const Value& value) {
  const auto* n = std::get_if<std::int32_t>(&value);
  return n ? *n : 0;
}
QString TextOf(const Value& value) {
  const auto* t = std::get_if<QString>(&value);
  return t ? *t : QString();
}

template <class T>
struct ArgAdapter;
template <>
struct ArgAdapter<short> {
  explicit ArgAdapter(Arg& arg) : value(static_cast<short>(NumberOf(arg.value))) {}
  short get() const { return value; }
  void commit(Arg&) const {}
  short value;
};
template <>
struct ArgAdapter<std::int32_t> {
  explicit ArgAdapter(Arg& arg) : value(NumberOf(arg.value)) {}
  std::int32_t get() const { return value; }
  void commit(Arg&) const {}
  std::int32_t value;
};
template <>
struct ArgAdapter<const QString&> {
  explicit ArgAdapter(Arg& arg) : value(TextOf(arg.value)) {}
  const QString& get() const { return value; }
  void commit(Arg&) const {}
  QString value;
};
template <>
struct ArgAdapter<short*> {
  explicit ArgAdapter(Arg& arg)
      : present(arg.present), value(static_cast<short>(NumberOf(arg.value))) {}
  short* get() { return present ? &value : nullptr; }
  void commit(Arg& arg) const {
    if (present) arg.value = static_cast<std::int32_t>(value);
  }
  bool present;
  short value;
};
template <>
struct ArgAdapter<QString*> {
  explicit ArgAdapter(Arg& arg) : present(arg.present), value(TextOf(arg.value)) {}
  QString* get() { return present ? &value : nullptr; }
  void commit(Arg& arg) const {
    if (present) arg.value = value;
  }
  bool present;
  QString value;
};

Value ToValue(short v) { return static_cast<std::int32_t>(v); }
Value ToValue(std::int32_t v) { return v; }
Value ToValue(const QString& v) { return v; }

template <auto Fn>
struct Thunk;
template <class R, class... A, R (C::*Fn)(A...)>
struct Thunk<Fn> {
  static constexpr std::size_t kArity = sizeof...(A);

  static Value Call(C& control, std::span<Arg> args) {
    return CallWith(control, args, std::index_sequence_for<A...>{});
  }

  template <std::size_t... I>
  static Value CallWith(C& control, [[maybe_unused]] std::span<Arg> args,
                        std::index_sequence<I...>) {
    std::tuple<ArgAdapter<A>...> adapters{ArgAdapter<A>(args[I])...};
    Value result;
    if constexpr (std::is_void_v<R>) {
      (control.*Fn)(std::get<I>(adapters).get()...);
    } else {
      result = ToValue((control.*Fn)(std::get<I>(adapters).get()...));
    }
    // Only a member that returned writes its out-parameters.
    (std::get<I>(adapters).commit(args[I]), ...);
    return result;
  }

  // Properties: the getter takes nothing, the setter one value.
  static Value Get(C& control) { return ToValue((control.*Fn)()); }
  static void Put(C& control, const Value& value) {
    Arg arg{true, value};
    (void)Call(control, std::span<Arg>(&arg, 1));
  }
};

template <auto Getter, auto Setter>
MemberInfo PropertyRow(int dispid, std::string_view name, VarType type) {
  static_assert(Thunk<Getter>::kArity == 0 && Thunk<Setter>::kArity == 1);
  return {dispid, name, MemberKind::kProperty, type, {}, &Thunk<Getter>::Get, &Thunk<Setter>::Put,
          nullptr};
}

template <auto Fn>
MemberInfo Method(int dispid, std::string_view name, VarType result,
                  std::span<const ParamInfo> params) {
  return {dispid, name, MemberKind::kMethod, result, params, nullptr, nullptr, &Thunk<Fn>::Call};
}

// ---- Parameter lists.
constexpr ParamInfo kMinMaxParams[] = {{"pMin", kShort, kOut}, {"pMax", kShort, kOut}};
constexpr ParamInfo kValidOnePushResultParams[] = {{"OnePushResultIndex", kShort, kIn},
                                                   {"pOnePushResultStr", kText, kOut}};

// The parameters of a setting's GetValid<Methods>, named as the row names
// them: every setting's pair, by SettingRow::index.
std::span<const ParamInfo> ValidParams(const model::SettingRow& row) {
  using Pair = std::array<ParamInfo, 2>;
  static const auto kLists = [] {
    std::array<Pair, model::kSettingCount> lists{};
    for (const model::SettingRow& each : model::Settings())
      lists[each.index] = {ParamInfo{each.validParams[0], kShort, kIn},
                           ParamInfo{each.validParams[1], kText, kOut}};
    return lists;
  }();
  return kLists[row.index];
}

const model::SettingRow& Row(std::string_view property) { return *model::FindSetting(property); }

// The DISPID of a property the model announces that is not a setting's.
int ModelDispid(std::string_view property) {
  for (const model::NotificationRow& row : model::Notifications())
    if (row.property == property) return row.dispid;
  return 0;
}
constexpr ParamInfo kAutoSearchParams[] = {
    {"FirstPort", kShort, kIn}, {"LastPort", kShort, kIn}, {"DoShowProgress", kShort, kIn}};
constexpr ParamInfo kGetPositionParams[] = {{"pXPos", kShort, kOut}, {"pYPos", kShort, kOut}};
constexpr ParamInfo kSetPositionParams[] = {{"XPos", kShort, kIn}, {"YPos", kShort, kIn}};
constexpr ParamInfo kFileNameParams[] = {{"FileName", kText, kIn}};
constexpr ParamInfo kAreaParams[] = {{"AreaSelection", kShort, kIn}};
constexpr ParamInfo kNumManufacturersParams[] = {{"pNumManufacturers", kShort, kOut}};
constexpr ParamInfo kGetManufacturerParams[] = {{"ManufacturerIndex", kShort, kIn},
                                                {"ManufacturerName", kText, kOut},
                                                {"BufferSize", kShort, kInOut},
                                                {"Version", kShort, kInOut}};
constexpr ParamInfo kManufacturerNameParams[] = {{"ManufacturerName", kText, kIn}};
constexpr ParamInfo kNumSerialPortsParams[] = {{"NumSerialPorts", kShort, kOut}};
constexpr ParamInfo kCameraIdParams[] = {{"CameraID", kText, kOut}};
constexpr ParamInfo kModelNameParams[] = {{"ModelName", kText, kOut}};
constexpr ParamInfo kAlwaysOnTopParams[] = {{"AlwaysOnTop", kLong, kIn}};
constexpr ParamInfo kNumPortsParams[] = {{"numPorts", kShort, kOut}};
constexpr ParamInfo kPortInfoParams[] = {
    {"serialIndex", kShort, kIn}, {"ManufacturerName", kText, kOut}, {"nameBytes", kShort, kOut},
    {"portID", kText, kOut},      {"IDBytes", kShort, kOut},         {"Version", kShort, kOut}};

constexpr ParamInfo kNumBytesParams[] = {{"numBytes", kShort, kOut}};
constexpr ParamInfo kBaudRatesParams[] = {{"baudRates", kShort, kOut}};
constexpr ParamInfo kBaudRateParams[] = {{"baudRate", kShort, kIn}};

// The frame grabber methods take the index the property of that name
// holds: their parameter is named as the table names that property.
std::span<const ParamInfo> GrabberIndexParams() {
  static const ParamInfo params[] = {
      {model::FindNotification("FrameGrabberChanged")->property, kShort, kIn}};
  return params;
}

// The properties: the control's own, then the settings' with their range
// and list queries.
void AddProperties(std::vector<MemberInfo>& rows) {
#define VEXQ4_CONTROL_PROPERTY_ROW(Name, Type, Parameter, Var, Dispid, readsCamera) \
  rows.push_back(PropertyRow<&C::Get##Name, &C::Set##Name>(                         \
      Dispid != 0 ? Dispid : ModelDispid(#Name), #Name, Var));                      \
  rows.back().getReadsCamera = readsCamera;
  VEXQ4_CONTROL_PROPERTIES(VEXQ4_CONTROL_PROPERTY_ROW)
#undef VEXQ4_CONTROL_PROPERTY_ROW

  // The settings' properties and their range and list queries.
#define VEXQ4_PROPERTY_ROWS(Property)                                                     \
  rows.push_back(PropertyRow<&C::Get##Property, &C::Set##Property>(Row(#Property).dispid, \
                                                                   #Property, kShort));
#define VEXQ4_RANGE_ROWS(Methods, Property)                                                        \
  rows.push_back(Method<&C::GetMinMax##Methods>(Row(#Property).minMaxDispid, "GetMinMax" #Methods, \
                                                kShort, kMinMaxParams));
#define VEXQ4_LIST_ROWS(Notification, Property, TextProperty, Methods, ...)                     \
  VEXQ4_PROPERTY_ROWS(Property)                                                                 \
  rows.push_back(PropertyRow<&C::Get##TextProperty, &C::Set##TextProperty>(                     \
      Row(#Property).textDispid, #TextProperty, kText));                                        \
  VEXQ4_RANGE_ROWS(Methods, Property)                                                           \
  rows.push_back(Method<&C::GetValid##Methods>(Row(#Property).validDispid, "GetValid" #Methods, \
                                               kShort, ValidParams(Row(#Property))));
#define VEXQ4_RANGED_ROWS(Notification, Property, ...) \
  VEXQ4_PROPERTY_ROWS(Property)                        \
  VEXQ4_RANGE_ROWS(Property, Property)
#define VEXQ4_PLAIN_ROWS(Notification, Property, ...) VEXQ4_PROPERTY_ROWS(Property)
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_SKIP, VEXQ4_LIST_ROWS, VEXQ4_RANGED_ROWS,
                            VEXQ4_PLAIN_ROWS)
#undef VEXQ4_PROPERTY_ROWS
#undef VEXQ4_RANGE_ROWS
#undef VEXQ4_LIST_ROWS
#undef VEXQ4_RANGED_ROWS
#undef VEXQ4_PLAIN_ROWS
}

void AddMethods(std::vector<MemberInfo>& rows) {
  const auto kGrabberIndexParams = GrabberIndexParams();
  rows.push_back(Method<&C::GetMinMaxComPortId>(52, "GetMinMaxComPortId", kShort, kMinMaxParams));
  rows.push_back(
      Method<&C::GetMinMaxUserSettingsId>(74, "GetMinMaxUserSettingsId", kShort, kMinMaxParams));
  rows.push_back(
      Method<&C::GetMinMaxPowerOnSettings>(75, "GetMinMaxPowerOnSettings", kShort, kMinMaxParams));
  rows.push_back(
      Method<&C::GetMinMaxOnePushResult>(106, "GetMinMaxOnePushResult", kShort, kMinMaxParams));
  rows.push_back(Method<&C::GetMinMaxFrameGrabberIndex>(78, "GetMinMaxFrameGrabberIndex", kShort,
                                                        kMinMaxParams));
  rows.push_back(Method<&C::GetValidOnePushResult>(107, "GetValidOnePushResult", kShort,
                                                   kValidOnePushResultParams));
  rows.push_back(Method<&C::AutoSearchComPort>(53, "AutoSearchComPort", kLong, kAutoSearchParams));
  rows.push_back(Method<&C::GetMainWindowDefaultPosition>(54, "GetMainWindowDefaultPosition",
                                                          kShort, kGetPositionParams));
  rows.push_back(Method<&C::SetMainWindowDefaultPosition>(55, "SetMainWindowDefaultPosition",
                                                          kShort, kSetPositionParams));
  rows.push_back(Method<&C::WriteAllToCamera>(56, "WriteAllToCamera", kShort, {}));
  rows.push_back(Method<&C::ReadAllFromCamera>(57, "ReadAllFromCamera", kShort, {}));
  rows.push_back(Method<&C::WriteAllToFile>(58, "WriteAllToFile", kShort, kFileNameParams));
  rows.push_back(Method<&C::ReadAllFromFile>(59, "ReadAllFromFile", kShort, kFileNameParams));
  rows.push_back(Method<&C::GetIsOnline>(60, "GetIsOnline", kBool, {}));
  rows.push_back(Method<&C::GetIsSynchronized>(61, "GetIsSynchronized", kBool, {}));
  rows.push_back(Method<&C::GetIsSending>(62, "GetIsSending", kBool, {}));
  rows.push_back(Method<&C::GetIsReceiving>(63, "GetIsReceiving", kBool, {}));
  rows.push_back(Method<&C::StoreSettings>(71, "StoreSettings", kShort, kAreaParams));
  rows.push_back(Method<&C::LoadSettings>(72, "LoadSettings", kShort, kAreaParams));
  rows.push_back(Method<&C::ClSerialGetNumManufacturers>(79, "ClSerialGetNumManufacturers", kShort,
                                                         kNumManufacturersParams));
  rows.push_back(Method<&C::ClSerialGetManufacturer>(80, "ClSerialGetManufacturer", kShort,
                                                     kGetManufacturerParams));
  rows.push_back(Method<&C::ClSerialSelectManufacturer>(81, "ClSerialSelectManufacturer", kShort,
                                                        kManufacturerNameParams));
  rows.push_back(Method<&C::ClSerialGetNumSerialPorts>(82, "ClSerialGetNumSerialPorts", kShort,
                                                       kNumSerialPortsParams));
  rows.push_back(Method<&C::GetCameraID>(96, "GetCameraID", kShort, kCameraIdParams));
  rows.push_back(Method<&C::GetModelName>(97, "GetModelName", kShort, kModelNameParams));
  rows.push_back(Method<&C::SetOnePushMode>(98, "SetOnePushMode", kShort, {}));
  rows.push_back(
      Method<&C::WriteCameraDataToFile>(101, "WriteCameraDataToFile", kShort, kFileNameParams));
  rows.push_back(Method<&C::GetFirmwareVersion>(102, "GetFirmwareVersion", kShort, {}));
  rows.push_back(Method<&C::GetEEPROMCurrentAreaNo>(103, "GetEEPROMCurrentAreaNo", kShort, {}));
  rows.push_back(Method<&C::GetOnePushResult>(105, "GetOnePushResult", kShort, {}));
  rows.push_back(
      Method<&C::SetWindowPosTopBottom>(110, "SetWindowPosTopBottom", kShort, kAlwaysOnTopParams));
  rows.push_back(
      Method<&C::ClAllSerialGetNumPorts>(111, "ClAllSerialGetNumPorts", kShort, kNumPortsParams));
  rows.push_back(
      Method<&C::ClAllSerialGetPortInfo>(112, "ClAllSerialGetPortInfo", kShort, kPortInfoParams));
  rows.push_back(Method<&C::ClAllSerialSetFrameGrabberIndex>(113, "ClAllSerialSetFrameGrabberIndex",
                                                             kShort, kGrabberIndexParams));
  rows.push_back(Method<&C::ClAllSerialGetNumBytesAvail>(114, "ClAllSerialGetNumBytesAvail", kShort,
                                                         kNumBytesParams));
  rows.push_back(Method<&C::ClAllSerialGetSupportedBaudRates>(
      115, "ClAllSerialGetSupportedBaudRates", kShort, kBaudRatesParams));
  rows.push_back(
      Method<&C::ClAllSerialSetBaudRate>(116, "ClAllSerialSetBaudRate", kShort, kBaudRateParams));
  rows.push_back(Method<&C::ClSerialSetFrameGrabberIndex>(117, "ClSerialSetFrameGrabberIndex",
                                                          kShort, kGrabberIndexParams));
  rows.push_back(
      Method<&C::StartAutoShadingCorrection>(118, "StartAutoShadingCorrection", kShort, {}));
  rows.push_back(
      Method<&C::SaveShadingDataIntoFile>(125, "SaveShadingDataIntoFile", kShort, kFileNameParams));
  rows.push_back(
      Method<&C::LoadShadingDataFromFile>(126, "LoadShadingDataFromFile", kShort, kFileNameParams));
  rows.push_back(Method<&C::AboutBox>(kDispidAboutBox, "AboutBox", kVoid, {}));
}

std::vector<MemberInfo> BuildTable() {
  std::vector<MemberInfo> rows;
  rows.reserve(51 + 76 + 45);
  AddProperties(rows);
  AddMethods(rows);

  // Properties and methods in DISPID order, AboutBox last.
  auto order = [](const MemberInfo& m) { return m.dispid < 0 ? 1000 : m.dispid; };
  std::stable_sort(rows.begin(), rows.end(),
                   [&](const MemberInfo& a, const MemberInfo& b) { return order(a) < order(b); });

  // Events.
  // Events: the model's notifications that fire one, by DISPID.
  std::vector<MemberInfo> events;
  for (const model::NotificationRow& n : model::Notifications())
    if (n.eventDispid != 0)
      events.push_back(
          {n.eventDispid, n.name, MemberKind::kEvent, kVoid, {}, nullptr, nullptr, nullptr});
  std::sort(events.begin(), events.end(),
            [](const MemberInfo& a, const MemberInfo& b) { return a.dispid < b.dispid; });
  rows.insert(rows.end(), events.begin(), events.end());
  return rows;
}

const std::vector<MemberInfo>& Table() {
  static const std::vector<MemberInfo> table = BuildTable();
  return table;
}

bool IsNumber(VarType type) { return type == kShort || type == kLong || type == kBool; }

// Whether `value` can travel as `type`; fills `result` when it cannot.
bool CheckValue(const Value& value, VarType type, std::string_view what, InvokeResult& result) {
  const auto* number = std::get_if<std::int32_t>(&value);
  const bool isText = std::holds_alternative<QString>(value);
  if ((IsNumber(type) && !number) || (type == kText && !isText)) {
    result.status = InvokeResult::kTypeMismatch;
    result.problem =
        QStringLiteral("%1 takes %2")
            .arg(QString::fromUtf8(what.data(), static_cast<int>(what.size())),
                 IsNumber(type) ? QStringLiteral("a number") : QStringLiteral("a text"));
    result.error = AutomationError(kTypeMismatch, QStringLiteral("Type mismatch"), 0);
    return false;
  }
  if (type == kShort && (*number < std::numeric_limits<short>::min() ||
                         *number > std::numeric_limits<short>::max())) {
    result.status = InvokeResult::kOverflow;
    result.problem = QStringLiteral("%1 is a short: %2 to %3")
                         .arg(QString::fromUtf8(what.data(), static_cast<int>(what.size())))
                         .arg(model::kShortMin)
                         .arg(model::kShortMax);
    result.error = AutomationError(kOverflow, QStringLiteral("Overflow"), 0);
    return false;
  }
  return true;
}

InvokeResult Refuse(InvokeResult::Status status, std::uint32_t scode, QString problem) {
  InvokeResult result;
  result.status = status;
  result.problem = problem;
  result.error = AutomationError(scode, std::move(problem), 0);
  return result;
}

}  // namespace

std::span<const MemberInfo> Members() { return Table(); }

const MemberInfo* FindMember(std::string_view name) {
  for (const auto& m : Table())
    if (m.name == name) return &m;
  return nullptr;
}

const MemberInfo* FindMember(int dispid) {
  for (const auto& m : Table())
    if (m.dispid == dispid && m.kind != MemberKind::kEvent) return &m;
  return nullptr;
}

const MemberInfo* FindEvent(std::string_view name) {
  for (const auto& m : Table())
    if (m.kind == MemberKind::kEvent && m.name == name) return &m;
  return nullptr;
}

const MemberInfo* FindEvent(int dispid) {
  for (const auto& m : Table())
    if (m.kind == MemberKind::kEvent && m.dispid == dispid) return &m;
  return nullptr;
}

std::string_view KindName(MemberKind kind) {
  switch (kind) {
    case MemberKind::kProperty:
      return "property";
    case MemberKind::kMethod:
      return "method";
    case MemberKind::kEvent:
      return "event";
  }
  return "";
}

std::string_view TypeName(VarType type) {
  switch (type) {
    case VarType::kVoid:
      return "void";
    case VarType::kShort:
      return "short";
    case VarType::kLong:
      return "long";
    case VarType::kBool:
      return "BOOL";
    case VarType::kText:
      return "BSTR";
  }
  return "";
}

InvokeResult Invoke(CXVexCamCtrl& control, const MemberInfo& member, InvokeKind kind,
                    std::span<Arg> args) {
  const QString name = QString::fromUtf8(member.name.data(), static_cast<int>(member.name.size()));
  const bool isProperty = member.kind == MemberKind::kProperty;
  if (member.kind == MemberKind::kEvent)
    return Refuse(InvokeResult::kWrongKind, kNotCallable, name + QStringLiteral(" is an event"));
  if (isProperty != (kind != InvokeKind::kCall))
    return Refuse(
        InvokeResult::kWrongKind, kMemberNotFound,
        name + (isProperty ? QStringLiteral(" is a property") : QStringLiteral(" is a method")));

  InvokeResult result;
  if (kind == InvokeKind::kGet) {
    if (!args.empty())
      return Refuse(InvokeResult::kBadParamCount, kBadParamCount,
                    name + QStringLiteral(" takes no argument"));
  } else if (kind == InvokeKind::kPut) {
    if (args.size() != 1)
      return Refuse(InvokeResult::kBadParamCount, kBadParamCount,
                    name + QStringLiteral(" takes one value"));
    if (!CheckValue(args[0].value, member.type, member.name, result)) return result;
  } else {
    if (args.size() != member.params.size())
      return Refuse(InvokeResult::kBadParamCount, kBadParamCount,
                    QStringLiteral("%1 takes %2 argument(s)").arg(name).arg(member.params.size()));
    for (std::size_t i = 0; i < args.size(); ++i) {
      const ParamInfo& param = member.params[i];
      if (param.dir == ParamDir::kIn) {
        if (!args[i].present)
          return Refuse(
              InvokeResult::kTypeMismatch, kTypeMismatch,
              QStringLiteral("%1 is not an out-parameter")
                  .arg(QString::fromUtf8(param.name.data(), static_cast<int>(param.name.size()))));
        if (!CheckValue(args[i].value, param.type, param.name, result)) return result;
      } else if (args[i].present && !std::holds_alternative<std::monostate>(args[i].value)) {
        if (!CheckValue(args[i].value, param.type, param.name, result)) return result;
      }
    }
  }

  try {
    switch (kind) {
      case InvokeKind::kGet:
        result.result = member.get(control);
        break;
      case InvokeKind::kPut:
        member.put(control, args[0].value);
        break;
      case InvokeKind::kCall:
        result.result = member.call(control, args);
        break;
    }
  } catch (const AutomationError& error) {
    result.status = InvokeResult::kException;
    result.error = error;
  }
  return result;
}

InvokeResult Invoke(CXVexCamCtrl& control, std::string_view name, InvokeKind kind,
                    std::span<Arg> args) {
  const MemberInfo* member = FindMember(name);
  if (!member)
    return Refuse(InvokeResult::kWrongKind, kMemberNotFound,
                  QStringLiteral("no member named %1")
                      .arg(QString::fromUtf8(name.data(), static_cast<int>(name.size()))));
  return Invoke(control, *member, kind, args);
}

InvokeResult Invoke(CXVexCamCtrl& control, int dispid, InvokeKind kind, std::span<Arg> args) {
  const MemberInfo* member = FindMember(dispid);
  if (!member)
    return Refuse(InvokeResult::kWrongKind, kMemberNotFound,
                  QStringLiteral("no member with DISPID %1").arg(dispid));
  return Invoke(control, *member, kind, args);
}

std::vector<QString> PredefinedStrings(int dispid) {
  std::vector<QString> texts;
  for (const model::SettingRow& row : model::Settings()) {
    if (row.textDispid != dispid || !row.browserList) continue;
    for (auto text : row.list)
      texts.push_back(QString::fromLatin1(text.data(), static_cast<int>(text.size())));
  }
  return texts;
}

std::optional<QString> PredefinedValue(int dispid, int cookie) {
  const auto texts = PredefinedStrings(dispid);
  if (cookie < 0 || static_cast<std::size_t>(cookie) >= texts.size()) return std::nullopt;
  return texts[static_cast<std::size_t>(cookie)];
}

}  // namespace vexq4::control
