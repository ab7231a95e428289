// The RX-Q4's GenICam features and their registers, made from the settings
// table: one feature per setting row (or one per selector for the rows
// behind one), plus the identity, the user sets and the commands that are
// no setting. The GenApi description (genapi_xml.h), the register map
// (register_map.h) and the documentation's table all read this one list.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vexq4/model/settings.h"

namespace vexq4::genicam {

// ---- The register space. Addresses are derived from the camera's
// parameter codes (VexQ4Comm.h), which never change, so a register keeps
// its address as rows are added. Integers are signed, 32 bits, big-endian.
inline constexpr std::uint32_t kSettingBase = 0x00010000;  // + code * stride
inline constexpr std::uint32_t kSettingStride = 0x10;
inline constexpr std::uint32_t kValueOffset = 0x0;      // the setting (RW, or RO)
inline constexpr std::uint32_t kMinOffset = 0x4;        // its minimum (RO, constant)
inline constexpr std::uint32_t kMaxOffset = 0x8;        // its maximum (RO, constant)
inline constexpr std::uint32_t kTextBase = 0x00020000;  // + code * stride: the camera's texts
inline constexpr std::uint32_t kTextStride = 0x20;      // 32 bytes, NUL-padded
inline constexpr std::uint32_t kVendorNameAddress = 0x00030000;  // 32 bytes, constant
// The GenApi description in device memory (its length in XmlText().size()).
inline constexpr std::uint32_t kXmlAddress = 0x00100000;
inline constexpr std::uint32_t kXmlMaxLength = 0x00100000;

inline constexpr std::uint32_t SettingAddress(unsigned code, std::uint32_t offset = kValueOffset) {
  return kSettingBase + code * kSettingStride + offset;
}
inline constexpr std::uint32_t TextAddress(unsigned code) { return kTextBase + code * kTextStride; }

inline constexpr std::string_view kVendorName = "VEX";
inline constexpr std::string_view kUserSetSelectorName = "UserSetSelector";

enum class FeatureType { kInteger, kEnumeration, kString, kCommand };

struct Entry {
  std::string name = {};         // the symbolic value, e.g. "Red", "Value1_60"
  std::string displayName = {};  // e.g. "1/60"
  int value = 0;
  const model::SettingRow* row = nullptr;  // a selector's entry: the row it selects
};

// One feature of the description.
struct Feature {
  std::string name = {};  // e.g. "Gain", "ShutterMode", "DeviceUserID"
  FeatureType type = FeatureType::kInteger;
  std::string category = {};  // e.g. "GainControl"
  std::string description = {};
  bool writable = false;
  bool sfnc = false;  // a name of the SFNC, with its meaning there
  // Selectors: no register (the client keeps the value, a write sends
  // nothing); the features they select, their entries.
  bool isSelector = false;
  std::vector<std::string> selects = {};
  // A selected feature: its selector; its value register is
  // SettingAddress(entry value) (the selector's entries are codes).
  std::string selector = {};
  // Integer: the range (a selected Integer reads it from its min and max
  // registers). Enumeration: the entries.
  int min = 0, max = 0;
  std::vector<Entry> entries = {};
  // The register: a setting's value (SettingAddress), a text, a command's.
  std::uint32_t address = 0;
  std::uint32_t length = 4;
  // A command that writes the value of this Integer feature (the selector's
  // value node) instead of a constant.
  std::string commandValueFrom = {};
  int commandValue = 1;
  // What reaches the camera, for the documentation: "GA", "LD=n", "ID?".
  std::string camera = {};
  // The settings behind it (one, or one per selector entry).
  std::vector<const model::SettingRow*> rows = {};
};

// The GenICam name of a row: its facts' name, else the automation
// property's name, a list setting's without "Index".
std::string FeatureName(const model::SettingRow& row);
// A list text as a GenICam name: letters and digits kept, '/' as '_',
// other characters end a word (the next letter upper case), a leading digit
// prefixed with "Value" ("1/60" -> "Value1_60", "Full Area" -> "FullArea").
std::string EntryName(std::string_view text);

// Every feature, in the description's order; built once.
const std::vector<Feature>& Features();
const Feature* FindFeature(std::string_view name);

}  // namespace vexq4::genicam
