// The camera's parameter codes: which mnemonic each code names and which line
// forms the camera understands for it. One row per code, indexed by code.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "VexQ4Comm.h"

namespace vexq4::comm {

struct Parameter {
  std::string_view mnemonic;  // empty: the code is unassigned
  bool hasSet = false;        // "XX=<value>\r\n"
  bool hasQuery = false;      // "XX?\r\n"
  bool textValue = false;     // identity texts, served by their own functions
};

namespace detail {
// A row by the FORMS of VexQ4Comm.h's list, named as the list names them.
constexpr Parameter BOTH(std::string_view m) { return {m, true, true, false}; }
constexpr Parameter SET_ONLY(std::string_view m) { return {m, true, false, false}; }
constexpr Parameter QUERY_ONLY(std::string_view m) { return {m, false, true, false}; }
constexpr Parameter TEXT(std::string_view m) { return {m, false, true, true}; }
constexpr Parameter TEXT_SET(std::string_view m) { return {m, true, true, true}; }

#define VEXQ4_PARAMETER_CODE(Mnemonic, Code, Forms) Code,
constexpr unsigned kCodes[] = {VEXQ4_PARAMETERS(VEXQ4_PARAMETER_CODE)};
#undef VEXQ4_PARAMETER_CODE
constexpr unsigned LastCode() {
  unsigned last = 0;
  for (unsigned code : kCodes) last = code > last ? code : last;
  return last;
}
constexpr bool CodesDistinct() {
  for (std::size_t i = 0; i < std::size(kCodes); ++i)
    for (std::size_t j = i + 1; j < std::size(kCodes); ++j)
      if (kCodes[i] == kCodes[j]) return false;
  return true;
}
static_assert(CodesDistinct(), "two parameters of VexQ4Comm.h's list share a code");
}  // namespace detail

inline constexpr unsigned kParameterCount = detail::LastCode() + 1;

// One row per code of VexQ4Comm.h's list, its mnemonic the enumerator's
// name; the unassigned codes have none.
inline constexpr std::array<Parameter, kParameterCount> kParameters = [] {
  std::array<Parameter, kParameterCount> rows{};
#define VEXQ4_PARAMETER_ROW(Mnemonic, Code, Forms) rows[Code] = detail::Forms(#Mnemonic);
  VEXQ4_PARAMETERS(VEXQ4_PARAMETER_ROW)
#undef VEXQ4_PARAMETER_ROW
  return rows;
}();

// The code whose command waits long for its acknowledgement: auto shading
// runs on the camera before it answers.
inline constexpr unsigned kAutoShadingCode = ATSH;

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

static_assert(kParameterCount > WPB3 && kParameters[WPB2].mnemonic == "WPB2");
static_assert(kParameters[UD].mnemonic == "UD" && kParameters[7].mnemonic.empty());
static_assert(!QueryableParameter(AW) && !QueryableParameter(ATSH) && !QueryableParameter(ID));
static_assert(!SettableParameter(VN) && !SettableParameter(UD) && SettableParameter(AW)->hasSet);

}  // namespace vexq4::comm
