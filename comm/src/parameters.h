// The camera's parameter codes: which mnemonic each code names and which line
// forms the camera understands for it. One row per code, indexed by code.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vexq4::comm {

struct Parameter {
  std::string_view mnemonic;  // empty: the code is unassigned
  bool hasSet = false;        // "XX=<value>\r\n"
  bool hasQuery = false;      // "XX?\r\n"
  bool textValue = false;     // identity texts, served by their own functions
};

inline constexpr unsigned kParameterCount = 55;

namespace detail {
constexpr Parameter Both(std::string_view m) { return {m, true, true, false}; }
constexpr Parameter SetOnly(std::string_view m) { return {m, true, false, false}; }
constexpr Parameter QueryOnly(std::string_view m) { return {m, false, true, false}; }
constexpr Parameter Text(std::string_view m, bool set) { return {m, set, true, true}; }
constexpr Parameter None() { return {}; }
}  // namespace detail

inline constexpr std::array<Parameter, kParameterCount> kParameters = [] {
  using namespace detail;
  return std::array<Parameter, kParameterCount>{
      Both("EB"),
      Both("SC"),
      Both("TR"),
      Both("SH"),
      Both("TP"),  // 0-4
      Both("SL"),
      Both("RF"),
      None(),
      Both("CBAR"),
      None(),  // 5-9
      None(),
      Both("KN"),
      Both("GA"),
      Both("SA"),
      Both("LD"),  // 10-14
      Both("SM"),
      Both("PE"),
      None(),
      None(),
      Both("TI"),  // 15-19
      Both("LS"),
      Both("BA"),
      Both("BI"),
      Both("GAB"),
      Both("BLB"),  // 20-24
      Both("PER"),
      Both("PEG"),
      Both("PEB"),
      Both("KPB"),
      Both("KSR"),  // 25-29
      Both("GAR"),
      Both("BL"),
      Both("BLR"),
      Both("KPG"),
      Both("KPR"),  // 30-34
      Both("WB"),
      Text("ID", false),
      Text("MD", false),
      Text("UD", true),
      SetOnly("AW"),  // 35-39
      Both("KSG"),
      Both("KSB"),
      QueryOnly("VN"),
      QueryOnly("EA"),
      Both("BLG"),  // 40-44
      QueryOnly("AWRS"),
      Both("SDM"),
      Both("WA"),
      SetOnly("ATSH"),
      Both("WPR1"),  // 45-49
      Both("WPB1"),
      Both("WPR2"),
      Both("WPB2"),
      Both("WPR3"),
      Both("WPB3"),  // 50-54
  };
}();

// The code whose command waits long for its acknowledgement: auto shading
// runs on the camera before it answers.
inline constexpr unsigned kAutoShadingCode = 48;

// The row of `code` when VexQ4GetCameraData may query it (a numeric query
// form; the identity texts have their own functions).
constexpr const Parameter* QueryableParameter(unsigned code) {
  if (code >= kParameterCount) return nullptr;
  const Parameter& p = kParameters[code];
  return (p.hasQuery && !p.textValue) ? &p : nullptr;
}

// The row of `code` when VexQ4SendCameraData may set it (a "%d" set form).
constexpr const Parameter* SettableParameter(unsigned code) {
  if (code >= kParameterCount) return nullptr;
  const Parameter& p = kParameters[code];
  return (p.hasSet && !p.textValue) ? &p : nullptr;
}

static_assert(kParameters[52].mnemonic == "WPB2");
static_assert(kParameters[38].mnemonic == "UD");
static_assert(!QueryableParameter(39) && !QueryableParameter(48) && !QueryableParameter(36));
static_assert(!SettableParameter(42) && !SettableParameter(38) && SettableParameter(39)->hasSet);

}  // namespace vexq4::comm
